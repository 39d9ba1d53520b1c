// The console tools run as their own processes: velmora-shrink and velmora-header.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "imaging/shrink.h"
#include "test_support.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

#ifdef VELMORA_TOOLS_DIR

struct Outcome {
  DWORD ExitCode = 0xFFFFFFFF;
  std::string Out;
  std::string Err;
};

std::string ReadText(const std::string& path) {
  Stream* file = OpenFileForReading(path.c_str());
  std::string text(file->Size(), '\0');
  if (!text.empty()) text.resize(file->Read(text.data(), static_cast<uint32_t>(text.size())));
  FreeObject(file);
  return text;
}

HANDLE InheritableFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs TOOL.exe with the arguments and collects its exit code and both outputs.
Outcome RunTool(const char* tool, const std::vector<std::string>& args) {
  std::string exe = std::string(VELMORA_TOOLS_DIR) + "/" + tool + ".exe";
  std::string command = "\"" + exe + "\"";
  for (const std::string& a : args) command += " \"" + a + "\"";
  std::string outPath = test::TempPath("tool.out"), errPath = test::TempPath("tool.err");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = InheritableFile(outPath);
  startup.hStdError = InheritableFile(errPath);
  PROCESS_INFORMATION process = {};
  Outcome outcome;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &outcome.ExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  outcome.Out = ReadText(outPath);
  outcome.Err = ReadText(errPath);
  DeleteFileA(outPath.c_str());
  DeleteFileA(errPath.c_str());
  return outcome;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string WriteInput(const char* name, const Bytes& bytes) {
  std::string path = test::TempPath(name);
  Stream* file = CreateFileForWriting(path.c_str());
  file->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  FreeObject(file);
  return path;
}

Bytes Photo(int w, int h) {
  return test::EncodeJpeg(w, h, 3, [](int x, int y, int c) {
    return static_cast<uint8_t>((x * (c + 1) + y * (3 - c)) & 0xFF);
  });
}

TEST(ShrinkTool, PrintsBothSizeLinesAndWritesTheShrunkPicture) {
  Bytes photo = Photo(200, 120);
  std::string in = WriteInput("in.jpg", photo);
  std::string out = test::TempPath("out.jpg");
  Outcome run = RunTool("velmora-shrink", {in, "30", out});
  ASSERT_EQ(run.ExitCode, 0u) << run.Err;
  std::string saved = ReadText(out);
  test::Decoded back = test::DecodeReference(Bytes(saved.begin(), saved.end()));
  EXPECT_EQ(back.Width, 60);
  EXPECT_EQ(back.Height, 36);
  std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 2u) << run.Out;
  EXPECT_EQ(lines[0], FormatSizeText(200, 120, static_cast<uint32_t>(photo.size())));
  EXPECT_EQ(lines[1], FormatSizeText(60, 36, static_cast<uint32_t>(saved.size())));
  EXPECT_EQ(run.Err, "");

  Outcome bench = RunTool("velmora-shrink", {in, "50", out, "--bench", "3"});
  ASSERT_EQ(bench.ExitCode, 0u) << bench.Err;
  EXPECT_NE(bench.Out.find("median of 3 runs (ms): read "), std::string::npos) << bench.Out;
  EXPECT_NE(bench.Out.find(" stretch "), std::string::npos);
  DeleteFileA(out.c_str());
  DeleteFileA(in.c_str());
}

TEST(ShrinkTool, BadInputGivesOneLineErrorNonZeroExitAndNoFile) {
  std::string good = WriteInput("good.jpg", Photo(64, 40));
  Bytes text(2000, 'z');
  std::string notJpeg = WriteInput("text.jpg", text);
  Bytes broken = Photo(64, 40);
  int sos = test::FindMarker(broken, 0xDA);
  for (int i = 0; i < broken[sos + 4]; ++i) broken[sos + 6 + 2 * i] = 0x33;  // undefined tables
  std::string damaged = WriteInput("damaged.jpg", broken);
  std::string out = test::TempPath("never.jpg");
  std::string noFolder = test::TempPath("missing_folder") + "\\out.jpg";

  const std::vector<std::vector<std::string>> runs = {
      {notJpeg, "30", out},
      {damaged, "30", out},
      {test::TempPath("no_such_input.jpg"), "30", out},
      {good, "0", out},
      {good, "101", out},
      {good, "3x", out},
      {good, "", out},
      {good, "1", out},  // 64 x 40 at 1% has no pixels left
      {good, "30", noFolder},
      {good, "30", good},
      {good, "30"},
      {good, "30", out, "--bench", "0"},
  };
  for (const auto& args : runs) {
    std::string shown;
    for (const auto& a : args) shown += "[" + a + "] ";
    SCOPED_TRACE(shown);
    Outcome run = RunTool("velmora-shrink", args);
    EXPECT_NE(run.ExitCode, 0u);
    std::vector<std::string> errors = Lines(run.Err);
    ASSERT_EQ(errors.size(), 1u) << run.Err;
    EXPECT_FALSE(errors[0].empty());
    EXPECT_FALSE(test::FileExists(out));
    EXPECT_FALSE(test::FileExists(noFolder));
  }
  // The input named as output was refused, not overwritten.
  EXPECT_EQ(ReadText(good).size(), Photo(64, 40).size());
  DeleteFileA(good.c_str());
  DeleteFileA(notJpeg.c_str());
  DeleteFileA(damaged.c_str());
}

TEST(HeaderTool, PrintsSizeOrRefusesWhatIsNotAJpeg) {
  Bytes photo = Photo(321, 123);
  std::string in = WriteInput("header.jpg", photo);
  Outcome run = RunTool("velmora-header", {in});
  ASSERT_EQ(run.ExitCode, 0u) << run.Err;
  EXPECT_EQ(Lines(run.Out).at(0), "width 321 height 123 bytes " + std::to_string(photo.size()));

  Bytes text(1000, 'q');
  std::string notJpeg = WriteInput("header.txt", text);
  for (const std::string& bad :
       {notJpeg, test::TempPath("absent.jpg"), WriteInput("zero.jpg", {})}) {
    SCOPED_TRACE(bad);
    Outcome refused = RunTool("velmora-header", {bad});
    EXPECT_NE(refused.ExitCode, 0u);
    EXPECT_EQ(Lines(refused.Err).size(), 1u) << refused.Err;
    EXPECT_EQ(refused.Out, "");
  }
  DeleteFileA(in.c_str());
  DeleteFileA(notJpeg.c_str());
  DeleteFileA(test::TempPath("zero.jpg").c_str());
}

#endif

}  // namespace
}  // namespace velmora
