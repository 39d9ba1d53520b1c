// Hostile and broken input: a deterministic corpus of damaged JPEG files, each loaded,
// decoded and re-encoded, shrunk and fitted to a pane through the streamed path, and headers that
// claim more than can be held or processed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "exif_samples.h"
#include "imaging/codec_bridge.h"
#include "imaging/photo_metadata.h"
#include "imaging/preview.h"
#include "imaging/shrink_picture.h"
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

}  // namespace

// Catches crashes, hangs, wrong-size bitmaps and lost bytes on damaged files.
TEST(Robustness, DamagedFilesNeitherCrashNorHangNorLoseTheirBytes) {
  std::vector<Bytes> corpus = Corpus();
  int decoded = 0, failed = 0, empty = 0, shrunkCount = 0;
  for (size_t index = 0; index < corpus.size(); ++index) {
    const Bytes& input = corpus[index];
    SCOPED_TRACE("input " + std::to_string(index) + ", " + std::to_string(input.size()) + " bytes");
    JpegImage* image = MakeJpegImage();
    image->ScanByScan = index % 3 == 1;
    if (index % 7 == 2) image->SetOutputDepth(Depth8);  // before reading: it re-encodes
    Stream* in = test::StreamOf(input);
    image->ReadFrom(in);
    FreeObject(in);
    uint32_t w = image->Width(), h = image->Height();
    Bitmap* bitmap = image->Decode();
    if (!bitmap) {
      ++empty;
      EXPECT_TRUE(w == 0 || h == 0 || image->DecodeFailed);
    } else {
      ++(image->DecodeFailed ? failed : decoded);
      JpegImage* copy = MakeJpegImage();  // what was decoded re-encodes at the file's size
      copy->SetFromBitmap(bitmap);
      test::Decoded back = test::DecodeReference(test::WrittenBytes(copy));
      EXPECT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(int(w), int(h)));
      FreeObject(copy);
    }
    // The streamed path: a shrunk picture is a whole JPEG of the promised size, or there is
    // none and a reason; a pane copy likewise.
    const int percent = static_cast<int>(index % 10 + 1) * 10;
    const int upW = int(image->UprightWidth()), upH = int(image->UprightHeight());
    uint32_t count = 0;
    ShrinkReport report;
    if (JpegImage* shrunk = ShrinkPicture(image, percent, &count, &report)) {
      ++shrunkCount;
      test::Decoded back = test::DecodeReference(test::WrittenBytes(shrunk));
      EXPECT_EQ(std::make_pair(back.Width, back.Height),
                std::make_pair(ShrunkSide(upW, percent), ShrunkSide(upH, percent)));
      FreeObject(shrunk);
    } else {
      EXPECT_TRUE(report.Problem != PictureProblem::None || ShrunkSide(upW, percent) == 0 ||
                  ShrunkSide(upH, percent) == 0);
    }
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

// Catches huge claimed sizes allocating, crashing or leaving the object unusable.
TEST(Robustness, PicturesTooLargeToHoldFailCleanlyAndTheObjectStaysUsable) {
  Bytes good = test::EncodeJpeg(64, 48, 3, Texture);
  JpegImage* image = MakeJpegImage();
  const uint16_t claims[][2] = {{65500, 65500}, {65000, 40000}, {20000, 20000}, {0, 0}};
  for (const auto& wh : claims) {  // the same object then opens an ordinary picture
    Stream* s = test::StreamOf(wh[0] ? test::WithFrameSize(good, wh[0], wh[1]) : good);
    image->ReadFrom(s);
    FreeObject(s);
    EXPECT_EQ(image->Width(), wh[0] ? wh[0] : 64u);
    for (int again = 0; again < 2; ++again) {
      Bitmap* bitmap = image->Decode();
      EXPECT_EQ(bitmap ? bitmap->Width : 0, wh[0] ? 0 : 64);
      EXPECT_EQ(image->DecodeFailed, wh[0] != 0);
    }
  }
  FreeObject(image);

  // 9000 x 9000 progressive: all coefficients (6 bytes a pixel) exceed the library's limit.
  image = test::Loaded(test::WithFrameSize(Progressive(64, 64, 3), 9000, 9000));
  Bitmap* bitmap = image->Decode();
  EXPECT_TRUE(image->DecodeFailed);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 9000);
  EXPECT_EQ(bitmap->RowAddress(4500)[4500 * 3], 0);  // nothing was decoded
  FreeObject(image);

  // Two components (neither gray, colour nor CMYK) fit no bitmap kind: no row is written.
  Bytes two = test::EncodeJpeg(40, 30, 2, Texture);
  image = test::Loaded(test::PaddedTo(two, std::max<size_t>(two.size() + 4, 600)));
  bitmap = image->Decode();
  EXPECT_TRUE(image->DecodeFailed);
  for (int y = 0; bitmap && y < 30; ++y)
    EXPECT_EQ(std::count(bitmap->RowAddress(y), bitmap->RowAddress(y) + bitmap->RowSize(), 0),
              static_cast<ptrdiff_t>(bitmap->RowSize()));
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
    for (bool scanByScan : {false, true}) {
      SCOPED_TRACE(testing::Message() << repeats << " repeats, scan by scan " << scanByScan);
      JpegImage* image = test::Loaded(repeated);
      image->ScanByScan = scanByScan;
      ASSERT_NE(image->Decode(), nullptr);
      EXPECT_EQ(image->DecodeFailed, repeats > 100);  // a few repeats are an odd but fine file
      FreeObject(image);
    }
  }
}

// Catches a damaged EXIF block inside a file crashing, hanging or over-reading when the markers
// are kept through the codec bridge and turned into the details and markers of a copy.
TEST(Robustness, FilesWithDamagedExifBlocksGiveDetailsAndCopyMarkersSafely) {
  int upright = 0, withExifCopy = 0;
  for (const Bytes& file : ExifFiles()) {
    CodecContext* context = new CodecContext;
    std::memset(static_cast<void*>(context), 0, sizeof(CodecContext));
    AttachCodecErrors(&context->Error, &context->Common);
    j_decompress_ptr d = &context->Decompress;
    Stream* in = test::StreamOf(file);
    bool read = RunCodecCall(&context->Error, [&] {
      jpeg_create_decompress(d);
      AttachStreamSource(d, in);
      KeepPhotoMarkers(d);
      jpeg_read_header(d, TRUE);
    });
    ASSERT_TRUE(read);
    std::vector<MarkerPayload> kept = KeptMarkers(d);
    CleanupCodecContext(context);
    delete context;
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
