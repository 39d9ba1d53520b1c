// The console tools velmora-shrink and velmora-header run as their own processes. (Sizes
// truncated after the product, byte counts and colours of a shrink in the program: the
// end-to-end runs; colours to a tenth of a level: jpeg_image_test.)
#include <gtest/gtest.h>

#include <filesystem>

#include "exif_samples.h"
#include "app/wording.h"
#include "imaging/batch_shrink.h"
#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;

#ifdef VELMORA_TOOLS_DIR

namespace {

const uint8_t kColours[4][3] = {{220, 40, 30}, {30, 160, 70}, {50, 60, 200}, {230, 220, 40}};

Bytes Quadrants(int w, int h) {
  Bytes bytes = test::EncodeJpeg(
      w, h, 3, [w, h](int x, int y, int c) { return kColours[test::QuadrantOf(x, y, w, h)][c]; });
  return bytes.size() < 600 ? test::PaddedTo(bytes, 600) : bytes;
}

}  // namespace

// Runs TOOL.exe with the arguments (ASCII paths); its exit code, standard output and error.
std::tuple<DWORD, std::string, std::string> RunTool(const std::vector<std::string>& args) {
  std::string exe = std::string(VELMORA_TOOLS_DIR) + "/" + args[0] + ".exe", command;
  for (const std::string& a : args) command += "\"" + (a == args[0] ? exe : a) + "\" ";
  return test::RunProgram(std::wstring(command.begin(), command.end()));
}

// Catches wrong size lines or picture from a good run, and bad input crashing a tool, reported
// as success, or leaving a file behind.
TEST(Tools, GoodInputGivesSizeLinesBadInputOneLineErrorNonZeroExitAndNoFile) {
  Bytes photo = Quadrants(64, 40);
  std::string good = test::WriteTempFile("good.jpg", photo);
  std::string notJpeg = test::WriteTempFile("text.jpg", Bytes(2000, 'z'));
  std::string damaged = test::WriteTempFile("damaged.jpg", test::WithUndefinedTables(photo));
  std::string zero = test::WriteTempFile("zero.jpg", {});
  std::string absent = test::TempPath("no_such_input.jpg"), out = test::TempPath("never.jpg");
  std::string noFolder = test::TempPath("missing_folder") + "\\out.jpg";
  auto [code, output, errors] = RunTool({"velmora-shrink", good, "50", out});
  Bytes saved = test::ReadFileBytes(out);
  test::Decoded back = test::DecodeReference(saved);
  EXPECT_EQ(std::make_tuple(code, output, errors, back.Width, back.Height),
            std::make_tuple(DWORD(0),
                            FormatSizeText(64, 40, uint32_t(photo.size())) + "\n" +
                                FormatSizeText(32, 20, uint32_t(saved.size())) + "\n",
                            std::string(), 32, 20));
  DeleteFileA(out.c_str());
#ifdef VELMORA_HEIF_DATA
  // A HEIC photo (its decoder lies beside the tool) shrinks as a JPEG does.
  auto [heicCode, heicOutput, heicErrors] =
      RunTool({"velmora-shrink", VELMORA_HEIF_DATA "/rotated.heic", "50", out});
  EXPECT_EQ(std::make_tuple(heicCode, heicOutput.substr(0, 14), heicErrors),
            std::make_tuple(DWORD(0), std::string("Size: 90x150 ,"), std::string()));
  EXPECT_EQ(test::DecodeReference(test::ReadFileBytes(out)).Height, 75);
  DeleteFileA(out.c_str());
#endif
  // 64 x 40 at 1% has no pixels left; an output named like the input is refused.
  const std::vector<std::vector<std::string>> runs = {
      {"velmora-shrink", notJpeg, "30", out},
      {"velmora-shrink", damaged, "30", out},
      {"velmora-shrink", absent, "30", out},
      {"velmora-shrink", good, "0", out},
      {"velmora-shrink", good, "101", out},
      {"velmora-shrink", good, "3x", out},
      {"velmora-shrink", good, "", out},
      {"velmora-shrink", good, "1", out},
      {"velmora-shrink", good, "30", noFolder},
      {"velmora-shrink", good, "30", good},
      {"velmora-shrink", good, "30"},
      {"velmora-shrink", good, "30", out, "--bench", "0"},
      {"velmora-header", notJpeg},
      {"velmora-header", absent},
      {"velmora-header", zero}};
  for (const auto& run : runs) {
    SCOPED_TRACE(testing::PrintToString(run));
    auto [exitCode, out1, err1] = RunTool(run);
    EXPECT_NE(exitCode, 0u);
    EXPECT_TRUE(err1.size() > 1 && err1.find('\n') >= err1.size() - 1) << err1;
    EXPECT_TRUE(run[0] == "velmora-shrink" || out1.empty());
    EXPECT_FALSE(std::ifstream(out).is_open() || std::ifstream(noFolder).is_open());
  }
  EXPECT_EQ(test::ReadFileBytes(good), photo);  // named as output, refused, not overwritten
  for (const std::string& path : {good, notJpeg, damaged, zero}) DeleteFileA(path.c_str());
}

// Catches a batch that loses or reorders photos, writes over an input or a photo of the same
// name, writes a photo that failed, reports failure as success, or prints a wrong total.
TEST(Tools, SeveralPhotosIntoAFolderEachUnderItsNameFailuresNamedAndCounted) {
  const std::string folder = test::TempPath("batch-out"), inputs = test::TempPath("batch-in");
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA(inputs.c_str(), nullptr);
  const Bytes photos[3] = {Quadrants(64, 40), Quadrants(100, 60), Quadrants(30, 90)};
  auto put = [&](const std::string& name, const Bytes& bytes) {
    const std::string path = inputs + "\\" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  };
  const std::string first = put("first.jpg", photos[0]), second = put("Second.JPG", photos[1]);
  const std::string third = put("third.jpeg", photos[2]), text = put("notes.jpg", Bytes(900, 'n'));
  const std::string missing = inputs + "\\missing.jpg";
  std::vector<std::string> run = {"velmora-shrink", "50", first, missing, second, text, third};
#ifdef VELMORA_HEIF_DATA
  const Bytes heic = test::ReadFileBytes(VELMORA_HEIF_DATA "/exif.heic");  // 150 x 90
  run.push_back(put("IMG_7.HEIC", heic));
#endif
  run.insert(run.end(), {"--into", folder});
  auto [code, output, errors] = RunTool(run);
  EXPECT_EQ(code, 1u);
  std::string expected;
  uint64_t before = 0, after = 0;
  size_t shrunk = 3;
  const char* names[3] = {"first.jpg", "Second.JPG", "third.jpeg"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    const Bytes saved = test::ReadFileBytes(folder + "\\" + names[i]);
    const test::Decoded original = test::DecodeReference(photos[i]);
    const test::Decoded back = test::DecodeReference(saved);
    EXPECT_EQ(std::make_pair(back.Width, back.Height),
              std::make_pair(original.Width / 2, original.Height / 2));
    expected += FormatSizeText(original.Width, original.Height, uint32_t(photos[i].size())) + "\n" +
                FormatSizeText(back.Width, back.Height, uint32_t(saved.size())) + "\n";
    before += photos[i].size(), after += saved.size();
  }
#ifdef VELMORA_HEIF_DATA
  // A HEIC photo among JPEGs: its copy is the same kind of JPEG, named NAME.jpg.
  const Bytes heicCopy = test::ReadFileBytes(folder + "\\IMG_7.jpg");
  const test::Decoded heicBack = test::DecodeReference(heicCopy);
  EXPECT_EQ(std::make_pair(heicBack.Width, heicBack.Height), std::make_pair(75, 45));
  expected += FormatSizeText(150, 90, uint32_t(heic.size())) + "\n" +
              FormatSizeText(75, 45, uint32_t(heicCopy.size())) + "\n";
  before += heic.size(), after += heicCopy.size(), ++shrunk;
#endif
  EXPECT_EQ(output, expected + FormatBatchTotal(shrunk, before, after) + "\n");
  EXPECT_NE(errors.find(missing + ": cannot open the file"), std::string::npos) << errors;
  EXPECT_NE(errors.find(text + ": not a JPEG file"), std::string::npos) << errors;
  EXPECT_NE(errors.find("2 of " + std::to_string(shrunk + 2) + " photos not shrunk"),
            std::string::npos)
      << errors;
  EXPECT_FALSE(std::ifstream(folder + "\\notes.jpg").is_open());
  EXPECT_FALSE(std::ifstream(folder + "\\missing.jpg").is_open());

  // Into the inputs' own folder: every copy would replace its input, so none is written. Two
  // photos of one name: the first is written, the second refused. Neither is a success.
  const std::string again = inputs + "\\again";
  CreateDirectoryA(again.c_str(), nullptr);
  const std::string twin = again + "\\first.jpg";
  CopyFileA(second.c_str(), twin.c_str(), FALSE);
  DeleteFileA((folder + "\\first.jpg").c_str());
  const std::vector<std::vector<std::string>> refused = {
      {"velmora-shrink", "50", first, second, "--into", inputs},
      {"velmora-shrink", "50", first, twin, "--into", folder}};
  for (const auto& run : refused) {
    SCOPED_TRACE(testing::PrintToString(run));
    auto [refusedCode, refusedOutput, refusedErrors] = RunTool(run);
    EXPECT_EQ(refusedCode, 1u);
    EXPECT_NE(refusedErrors.find(run[3]), std::string::npos) << refusedErrors;
  }
  EXPECT_EQ(test::ReadFileBytes(first), photos[0]);
  EXPECT_EQ(test::ReadFileBytes(second), photos[1]);
  EXPECT_EQ(test::DecodeReference(test::ReadFileBytes(folder + "\\first.jpg")).Width, 32);

  // Bad arguments: one line, a non-zero exit and no file.
  const std::vector<std::vector<std::string>> bad = {
      {"velmora-shrink", "50", first, "--into", inputs + "\\no-such-folder"},
      {"velmora-shrink", "50", first, "--into", first},
      {"velmora-shrink", "0", first, "--into", again},
      {"velmora-shrink", "50", "--into", again},
      {"velmora-shrink", "50", first, "--into"},
      {"velmora-shrink", "50", first, "--into", again, "--workers", "0"},
      {"velmora-shrink", first, "50", twin, "--workers", "2"}};
  for (const auto& run : bad) {
    SCOPED_TRACE(testing::PrintToString(run));
    auto [badCode, badOutput, badErrors] = RunTool(run);
    EXPECT_NE(badCode, 0u);
    EXPECT_TRUE(badErrors.size() > 1 && badErrors.find('\n') >= badErrors.size() - 1) << badErrors;
    EXPECT_TRUE(badOutput.empty()) << badOutput;
  }
  EXPECT_EQ(test::ReadFileBytes(twin), photos[1]);
  EXPECT_FALSE(std::ifstream(again + "\\first.jpg.jpg").is_open());
  std::filesystem::remove_all(folder);
  std::filesystem::remove_all(inputs);
}

#endif
