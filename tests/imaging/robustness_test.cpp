// Hostile and broken input: a deterministic corpus of damaged JPEG files, each loaded, decoded
// whole, shrunk from memory and from a stream, and fitted to a pane; headers that claim more
// than can be held or processed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "exif_samples.h"
#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "imaging/preview.h"
#include "imaging/streaming.h"
#include "test_support.h"
#include "toolkit/bitmap.h"

using namespace velmora;
using test::Bytes;

namespace {

uint8_t Texture(int x, int y, int c) {
  return static_cast<uint8_t>((x * 7 + y * 13 + c * 50) ^ (x * y));
}

Bytes Progressive(int w, int h, int components) {
  return test::EncodeJpeg(w, h, components, Texture, {.Progressive = true});
}

std::vector<Bytes> ExifFiles() {
  Bytes picture = test::EncodeJpeg(24, 16, 3, Texture);
  std::vector<Bytes> files;
  for (const auto& [name, block] : test::DamagedExifBlocks())
    files.push_back(test::WithExif(picture, block));
  return files;
}

std::vector<Bytes> Corpus() {
  const Bytes sources[] = {test::EncodeJpeg(48, 32, 3, Texture, {.FullChroma = false}),
                           test::EncodeJpeg(40, 24, 1, Texture),
                           Progressive(48, 32, 3),
                           Progressive(32, 32, 1),
                           test::EncodeJpeg(48, 32, 3, Texture, {.RestartRows = 1}),
                           test::EncodeJpeg(32, 24, 4, Texture, {.FileSpace = JCS_CMYK})};
  std::vector<Bytes> corpus = {{}, {0xFF}, {0xFF, 0xD8}, {0xFF, 0xD8, 0xFF, 0xD9}};
  uint32_t seed = 20240601;
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  for (const Bytes& data : sources) {
    auto add = [&](auto change) {
      corpus.push_back(data);
      change(corpus.back());
    };
    for (size_t n = 0; n < data.size(); n += data.size() / 150 + 1)  // cut anywhere
      add([n](Bytes& b) { b.resize(n); });
    for (int i = 0; i < 200; ++i)  // one byte changed
      add([&](Bytes& b) { b[next() % b.size()] ^= static_cast<uint8_t>(1 + next() % 255); });
    for (int i = 0; i < 40; ++i)  // two bytes made marker-like
      add([&](Bytes& b) {
        size_t at = next() % (b.size() - 1);
        b[at] = 0xFF;
        b[at + 1] = static_cast<uint8_t>(0xC0 + next() % 0x40);
      });
    // Each marker segment before the scan dropped, or swapped with the next one.
    for (size_t i = 2; i + 4 <= data.size() && data[i] == 0xFF && data[i + 1] != 0xDA;) {
      size_t end = i + 2 + (size_t(data[i + 2]) << 8 | data[i + 3]);
      add([&](Bytes& b) { b.erase(b.begin() + i, b.begin() + end); });
      if (end + 4 <= data.size() && data[end + 1] != 0xDA) {
        size_t after = end + 2 + (size_t(data[end + 2]) << 8 | data[end + 3]);
        add([&](Bytes& b) { std::rotate(b.begin() + i, b.begin() + end, b.begin() + after); });
      }
      i = end;
    }
    // Frame codes of other processes (extended, lossless, arithmetic...).
    int sof = std::max(test::FindMarker(data, 0xC0), test::FindMarker(data, 0xC2));
    for (uint8_t code = 0xC0; code <= 0xCF; ++code)
      if (code != 0xC4 && code != 0xC8 && code != 0xCC) add([&](Bytes& b) { b[sof + 1] = code; });
    // Claimed sizes from nothing to far beyond what can be held.
    const uint16_t sizes[][2] = {{0, 0},         {0, 100},   {100, 0},   {1, 1},
                                 {65535, 65535}, {65000, 1}, {1, 65000}, {30000, 30000},
                                 {2000, 1500},   {17, 3}};
    for (const auto& wh : sizes) corpus.push_back(test::WithFrameSize(data, wh[0], wh[1]));
  }
  std::vector<Bytes> exif = ExifFiles();  // damaged EXIF blocks: a sample of the cuts, all others
  for (size_t i = 0; i < exif.size(); i += 5) corpus.push_back(exif[i]);
  return corpus;
}

// Decodes every row at full size; false when the reader gave up (its Problem says why).
bool DecodeWhole(JpegRowReader& reader) {
  if (!reader.Start(8)) return false;
  std::vector<uint8_t> row(size_t(reader.OutputWidth) * 3 + 16);
  uint8_t* rows[1] = {row.data()};
  while (reader.ReadRows(rows, 1) == 1) {
  }
  return reader.Problem == PictureProblem::None && reader.RowsRead == reader.OutputHeight;
}

}  // namespace

// Catches crashes, hangs, wrong sizes and lost bytes on damaged files, a problem left unsaid,
// and the streamed shrink (read as it decodes) differing from the one on bytes in memory.
TEST(Robustness, DamagedFilesNeitherCrashNorHangNorLoseTheirBytes) {
  std::vector<Bytes> corpus = Corpus();
  int decoded = 0, failed = 0, empty = 0, shrunkCount = 0;
  for (size_t index = 0; index < corpus.size(); ++index) {
    const Bytes& input = corpus[index];
    SCOPED_TRACE("input " + std::to_string(index) + ", " + std::to_string(input.size()) + " bytes");
    JpegImage* image = test::Loaded(input);
    if (image->IsEmpty()) {
      ++empty;
    } else {
      JpegRowReader reader;
      const bool whole = reader.Open(input.data(), input.size()) && DecodeWhole(reader);
      EXPECT_TRUE(whole || reader.Problem != PictureProblem::None);
      ++(whole ? decoded : failed);
    }
    // A shrunk picture is a whole JPEG of the promised size, or there is none and a reason;
    // the same from a stream; a pane copy likewise.
    const int percent = static_cast<int>(index % 10 + 1) * 10;
    const int upW = int(image->UprightWidth()), upH = int(image->UprightHeight());
    ShrinkReport report, streamedReport;
    const Bytes shrunk = test::Shrunk(test::WrittenBytes(image), {percent, 100}, &report);
    Stream* file = test::StreamOf(input);
    Stream* streamed = MakeMemoryStream();
    const bool fromStream = ShrinkJpegStream(file, percent, streamed, streamedReport);
    if (!shrunk.empty()) {
      ++shrunkCount;
      test::Decoded back = test::DecodeReference(shrunk);
      EXPECT_EQ(std::make_pair(back.Width, back.Height),
                std::make_pair(ShrunkSide(upW, percent), ShrunkSide(upH, percent)));
      EXPECT_TRUE(fromStream && test::BytesOf(streamed) == shrunk);
    } else {
      EXPECT_TRUE(report.Problem != PictureProblem::None || ShrunkSide(upW, percent) == 0 ||
                  ShrunkSide(upH, percent) == 0);
      EXPECT_FALSE(fromStream);
      if (!image->IsEmpty()) {
        EXPECT_EQ(streamedReport.Problem, report.Problem);
      }
    }
    FreeObject(file);
    FreeObject(streamed);
    PanePreview preview;
    preview.Fit(image, 97, 61);
    EXPECT_TRUE(preview.Copy ? preview.Copy->Width == 97 : preview.Problem != PictureProblem::None);
    EXPECT_EQ(test::WrittenBytes(image), input);  // whatever happened, the bytes are kept
    FreeObject(image);
  }
  std::printf(
      "robustness: tried %d inputs: %d decoded, %d with a fatal error, %d no picture; "
      "%d shrunk\n",
      static_cast<int>(corpus.size()), decoded, failed, empty, shrunkCount);
  EXPECT_GE(corpus.size(), 2000u);
  EXPECT_TRUE(decoded > 0 && failed > 0 && empty > 0 && shrunkCount > 0);
}

// Catches huge claimed sizes allocating, crashing or taken for damage, files of two components
// decoded into rows that do not fit them, and the holder unusable after such a file.
TEST(Robustness, PicturesTooLargeOrOfNoColourModelFailCleanly) {
  Bytes good = test::EncodeJpeg(64, 48, 3, Texture);
  Bytes two = test::EncodeJpeg(40, 30, 2, Texture);
  const struct {
    Bytes Data;
    PictureProblem Expected;
  } cases[] = {
      // Every coefficient of a 9000 x 9000 progressive file (6 bytes a pixel) is over the limit.
      {test::WithFrameSize(Progressive(64, 64, 3), 9000, 9000), PictureProblem::TooLarge},
      {test::WithFrameSize(Progressive(64, 64, 3), 65500, 65500), PictureProblem::TooLarge},
      {test::PaddedTo(two, std::max<size_t>(two.size() + 4, 600)), PictureProblem::Unsupported},
  };
  JpegImage* image = MakeJpegImage();
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Expected));
    JpegRowReader reader;
    ASSERT_TRUE(reader.Open(c.Data.data(), c.Data.size()));
    EXPECT_FALSE(reader.Start(8));
    EXPECT_EQ(reader.Problem, c.Expected);
    for (bool isGood : {false, true}) {  // the same holder then opens a good picture
      Stream* s = test::StreamOf(isGood ? good : c.Data);
      image->ReadFrom(s);
      FreeObject(s);
      EXPECT_EQ(test::Shrunk(test::WrittenBytes(image), {50, 100}).empty(), !isGood);
    }
  }
  FreeObject(image);
}

// Catches a file repeating its last scan hundreds of times keeping the decode busy for minutes.
TEST(Robustness, FilesWithAbsurdScanCountsAreStopped) {
  Bytes data = Progressive(64, 64, 3);
  size_t last = 0;
  for (size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0xFF && data[i + 1] == 0xDA) last = i;
  for (int repeats : {600, 3}) {
    Bytes repeated(data.begin(), data.end() - 2);
    for (int i = 0; i < repeats; ++i)
      repeated.insert(repeated.end(), data.begin() + last, data.end() - 2);
    repeated.insert(repeated.end(), {0xFF, 0xD9});
    JpegRowReader reader;
    ASSERT_TRUE(reader.Open(repeated.data(), repeated.size()));
    EXPECT_EQ(DecodeWhole(reader), repeats < 100) << repeats;  // a few are an odd but fine file
  }
}

// Catches a damaged EXIF block inside a file crashing, hanging or over-reading when the markers
// are kept by the reader and turned into the details and markers of a copy.
TEST(Robustness, FilesWithDamagedExifBlocksGiveDetailsAndCopyMarkersSafely) {
  int upright = 0, withExifCopy = 0;
  for (const Bytes& file : ExifFiles()) {
    Stream* in = test::StreamOf(file);
    JpegRowReader reader;
    ASSERT_TRUE(reader.Open(in, true));
    std::vector<MarkerPayload> kept = reader.Markers();
    FreeObject(in);
    ASSERT_EQ(kept.size(), 1u);
    test::GuardedCopy block(kept[0].Bytes);  // as the codec kept it, ending at a closed page
    PhotoDetails details = CollectPhotoDetails({{ExifMarkerCode, kept[0].Bytes}});
    EXPECT_TRUE(details.Orientation == 1 || details.Orientation == 6);
    EXPECT_EQ(ReadExifOrientation(block.Data, block.Size), details.Orientation);
    upright += details.Orientation == 1;
    std::vector<MarkerPayload> copy = MarkersForCopy(details, 12, 8);
    withExifCopy += !copy.empty();
    for (const MarkerPayload& m : copy)
      EXPECT_EQ(ReadExifOrientation(m.Bytes.data(), m.Bytes.size()), 1);
  }
  EXPECT_TRUE(upright > 0 && withExifCopy > 0);
}
