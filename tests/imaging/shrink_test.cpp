// The shrink pipeline (percent to size, HALFTONE stretch, re-encode), the size line, and the
// console tools velmora-shrink and velmora-header run as their own processes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

const uint8_t kColours[4][3] = {{220, 40, 30}, {30, 160, 70}, {50, 60, 200}, {230, 220, 40}};

Bytes Quadrants(int w, int h) {
  Bytes bytes = test::EncodeJpeg(
      w, h, 3, [w, h](int x, int y, int c) { return kColours[test::QuadrantOf(x, y, w, h)][c]; });
  return bytes.size() < 600 ? test::PaddedTo(bytes, 600) : bytes;
}

TEST(SizeText, KilobytesAndHundredthsWithoutLeadingZero) {
  EXPECT_EQ(FormatSizeText(1600, 1200, 524788), "Size: 1600x1200 , 512.48 Kb");
  EXPECT_EQ(FormatSizeText(480, 360, 2560), "Size: 480x360 , 2.50 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1075), "Size: 1x1 , 1.4 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1024), "Size: 1x1 , 1.0 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1023), "Size: 1x1 , 0.99 Kb");
  EXPECT_EQ(FormatSizeText(7, 9, 0xFFFFFFFFu), "Size: 7x9 , 4194303.99 Kb");
}

TEST(Shrink, SizesTruncateAfterTheProductAndFlatAreasKeepTheirColours) {
  struct Case {
    int W, H, Percent;
  } cases[] = {{1600, 1200, 30}, {1599, 1199, 30}, {400, 300, 30}, {120, 80, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
    JpegImage* opened = test::Loaded(Quadrants(c.W, c.H));
    uint32_t count = 0;
    JpegImage* shrunk = ShrinkPicture(opened, c.Percent, &count);
    ASSERT_NE(shrunk, nullptr);
    Bytes written = test::WrittenBytes(shrunk);
    EXPECT_EQ(count, written.size());
    EXPECT_NE(written, test::WrittenBytes(opened));  // always re-encoded, even at 100%
    test::Decoded back = test::DecodeReference(written);
    EXPECT_EQ(back.Width, c.W * c.Percent / 100);  // 1599 x 30% = 479.7 -> 479
    EXPECT_EQ(back.Height, c.H * c.Percent / 100);
    EXPECT_EQ(shrunk->Width(), static_cast<uint32_t>(back.Width));
    for (int q = 0; q < 4; ++q) {
      int x = back.Width * ((q & 1) ? 3 : 1) / 4, y = back.Height * ((q & 2) ? 3 : 1) / 4;
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(back.At(x, y, k), kColours[q][k], 6) << q << "/" << k;
    }
    FreeObject(shrunk);
    FreeObject(opened);
  }
}

TEST(Shrink, CmykPicturesShrinkToTheirColours) {
  // Ink per quadrant (C, M, Y, K), stored inverted as files with the Adobe marker do.
  const uint8_t ink[4][4] = {{0, 220, 200, 0}, {200, 0, 180, 30}, {220, 180, 0, 0}, {0, 0, 0, 60}};
  test::EncodeOptions cmyk;
  cmyk.FileSpace = JCS_CMYK;
  JpegImage* opened = test::Loaded(test::EncodeJpeg(
      160, 120, 4,
      [&](int x, int y, int c) { return uint8_t(255 - ink[test::QuadrantOf(x, y, 160, 120)][c]); },
      cmyk));
  for (int percent : {30, 70}) {  // through a reduced decode, and through opened's own
    SCOPED_TRACE(percent);
    uint32_t count = 0;
    JpegImage* shrunk = ShrinkPicture(opened, percent, &count);
    ASSERT_NE(shrunk, nullptr);
    test::Decoded back = test::DecodeReference(test::WrittenBytes(shrunk));
    ASSERT_EQ(back.Components, 3);
    for (int q = 0; q < 4; ++q) {
      int x = back.Width * ((q & 1) ? 3 : 1) / 4, y = back.Height * ((q & 2) ? 3 : 1) / 4;
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(back.At(x, y, c), (255 - ink[q][c]) * (255 - ink[q][3]) / 255.0, 8)
            << q << "/" << c;
    }
    FreeObject(shrunk);
  }
  FreeObject(opened);
}

TEST(Shrink, NoPictureForZeroSidesEmptyUndecodableOrHugeInput) {
  uint32_t bytes = 99;
  JpegImage* narrow = test::Loaded(Quadrants(9, 50));
  EXPECT_EQ(ShrinkPicture(narrow, 10, &bytes), nullptr);  // 9 x 10% = 0
  EXPECT_EQ(bytes, 0u);
  JpegImage* shrunk = ShrinkPicture(narrow, 20, &bytes);  // 1 x 10 is still a picture
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(shrunk->Width(), 1u);
  EXPECT_EQ(shrunk->Height(), 10u);
  FreeObject(shrunk);
  FreeObject(narrow);

  JpegImage* opened = test::Loaded(Quadrants(100, 100));
  JpegImage* empty = MakeJpegImage();
  EXPECT_EQ(ShrinkPicture(opened, 0, &bytes), nullptr);  // no list item selected
  EXPECT_EQ(ShrinkPicture(opened, -10, &bytes), nullptr);
  EXPECT_EQ(ShrinkPicture(nullptr, 30, &bytes), nullptr);
  EXPECT_EQ(ShrinkPicture(empty, 30, &bytes), nullptr);
  EXPECT_EQ(bytes, 0u);
  JpegImage* claimed = test::Loaded(test::WithFrameSize(test::WrittenBytes(opened), 65000, 64000));
  EXPECT_EQ(claimed->Width(), 65000u);
  for (int percent : {10, 100}) {  // through a reduced decode and the full-size path
    ShrinkTimes report;
    EXPECT_EQ(ShrinkPicture(claimed, percent, &bytes, &report), nullptr);
    EXPECT_TRUE(report.DecodeFailed);
  }
  FreeObject(claimed);
  FreeObject(empty);
  FreeObject(opened);
}

TEST(Shrink, SmallTargetsStretchAReducedDecodeThatAveragesFineDetail) {
  // One-pixel black and white checks: any area-averaging reduction makes them mid gray,
  // while a bilinear stretch of the full picture picks single checks.
  JpegImage* opened = test::Loaded(test::EncodeJpeg(320, 240, 1, [](int x, int y, int) {
    return static_cast<uint8_t>(((x + y) & 1) ? 255 : 0);
  }));
  const int cases[][2] = {{10, 3}, {25, 2}, {30, 1}, {50, 1}, {60, 0}};  // percent, shift
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c[0]) + "%");
    uint32_t count = 0;
    ShrinkTimes report;
    JpegImage* shrunk = ShrinkPicture(opened, c[0], &count, &report);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(report.ScaleShift, c[1]);
    EXPECT_FALSE(report.DecodeFailed);
    test::Decoded back = test::DecodeReference(test::WrittenBytes(shrunk));
    EXPECT_EQ(back.Width, 320 * c[0] / 100);
    EXPECT_EQ(back.Height, 240 * c[0] / 100);
    if (c[1] > 0) {
      EXPECT_EQ(opened->DecodedBitmap, nullptr);  // the opened picture is left as it was
      double sum = 0;
      for (uint8_t v : back.Samples) sum += v;
      EXPECT_NEAR(sum / back.Samples.size(), 127.5, 12);
      EXPECT_NEAR(back.At(back.Width / 2, back.Height / 2, 0), 127.5, 24);
    }
    FreeObject(shrunk);
  }
  FreeObject(opened);
}

#ifdef VELMORA_TOOLS_DIR

std::string ReadText(const std::string& path) {
  Bytes bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
  }
  return lines;
}

struct Outcome {
  DWORD ExitCode = 0xFFFFFFFF;
  std::string Out, Err;
};

// Runs TOOL.exe with the arguments and collects its exit code and both outputs.
Outcome RunTool(const std::string& tool, const std::vector<std::string>& args) {
  std::string exe = std::string(VELMORA_TOOLS_DIR) + "/" + tool + ".exe";
  std::string command = "\"" + exe + "\"";
  for (const std::string& a : args) command += " \"" + a + "\"";
  std::string outPath = test::TempPath("tool.out"), errPath = test::TempPath("tool.err");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
  startup.hStdError = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process = {};
  Outcome outcome;
  if (CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
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

Bytes Photo(int w, int h) {
  return test::EncodeJpeg(w, h, 3, [](int x, int y, int c) {
    return static_cast<uint8_t>((x * (c + 1) + y * (3 - c)) & 0xFF);
  });
}

TEST(Tools, PrintSizeLinesAndWriteTheShrunkPicture) {
  Bytes photo = Photo(200, 120);
  std::string in = test::WriteTempFile("in.jpg", photo), out = test::TempPath("out.jpg");
  Outcome run = RunTool("velmora-shrink", {in, "30", out});
  ASSERT_EQ(run.ExitCode, 0u) << run.Err;
  std::string saved = ReadText(out);
  test::Decoded back = test::DecodeReference(Bytes(saved.begin(), saved.end()));
  EXPECT_EQ(back.Width, 60);
  EXPECT_EQ(back.Height, 36);
  EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                FormatSizeText(200, 120, static_cast<uint32_t>(photo.size())),
                                FormatSizeText(60, 36, static_cast<uint32_t>(saved.size()))}));
  EXPECT_EQ(run.Err, "");

  Outcome bench = RunTool("velmora-shrink", {in, "50", out, "--bench", "3"});
  ASSERT_EQ(bench.ExitCode, 0u) << bench.Err;
  EXPECT_NE(bench.Out.find("median of 3 runs (ms): read "), std::string::npos) << bench.Out;
  EXPECT_NE(bench.Out.find(" stretch "), std::string::npos);

  Outcome header = RunTool("velmora-header", {in});
  ASSERT_EQ(header.ExitCode, 0u) << header.Err;
  EXPECT_EQ(Lines(header.Out).at(0), "width 200 height 120 bytes " + std::to_string(photo.size()));
  DeleteFileA(out.c_str());
  DeleteFileA(in.c_str());
}

TEST(Tools, BadInputGivesOneLineErrorNonZeroExitAndNoFile) {
  Bytes photo = Photo(64, 40);
  std::string good = test::WriteTempFile("good.jpg", photo);
  std::string notJpeg = test::WriteTempFile("text.jpg", Bytes(2000, 'z'));
  std::string damaged = test::WriteTempFile("damaged.jpg", test::WithUndefinedTables(photo));
  std::string zero = test::WriteTempFile("zero.jpg", {});
  std::string absent = test::TempPath("no_such_input.jpg"), out = test::TempPath("never.jpg");
  std::string noFolder = test::TempPath("missing_folder") + "\\out.jpg";
  const std::vector<std::vector<std::string>> runs = {
      {"velmora-shrink", notJpeg, "30", out},
      {"velmora-shrink", damaged, "30", out},
      {"velmora-shrink", absent, "30", out},
      {"velmora-shrink", good, "0", out},
      {"velmora-shrink", good, "101", out},
      {"velmora-shrink", good, "3x", out},
      {"velmora-shrink", good, "", out},
      {"velmora-shrink", good, "1", out},  // 64 x 40 at 1% has no pixels left
      {"velmora-shrink", good, "30", noFolder},
      {"velmora-shrink", good, "30", good},
      {"velmora-shrink", good, "30"},
      {"velmora-shrink", good, "30", out, "--bench", "0"},
      {"velmora-header", notJpeg},
      {"velmora-header", absent},
      {"velmora-header", zero},
  };
  for (const auto& run : runs) {
    std::string shown;
    for (const auto& a : run) shown += "[" + a + "] ";
    SCOPED_TRACE(shown);
    Outcome outcome = RunTool(run[0], std::vector<std::string>(run.begin() + 1, run.end()));
    EXPECT_NE(outcome.ExitCode, 0u);
    std::vector<std::string> errors = Lines(outcome.Err);
    ASSERT_EQ(errors.size(), 1u) << outcome.Err;
    EXPECT_FALSE(errors[0].empty());
    if (run[0] == "velmora-header") {
      EXPECT_EQ(outcome.Out, "");
    }
    EXPECT_FALSE(test::FileExists(out));
    EXPECT_FALSE(test::FileExists(noFolder));
  }
  EXPECT_EQ(ReadText(good).size(), photo.size());  // named as output, refused, not overwritten
  for (const std::string& path : {good, notJpeg, damaged, zero}) DeleteFileA(path.c_str());
}

#endif

}  // namespace
}  // namespace velmora
