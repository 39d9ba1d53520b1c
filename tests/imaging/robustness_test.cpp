// Hostile and broken input: a deterministic corpus of damaged JPEG files, each loaded,
// decoded and re-encoded, and headers that claim pictures too large to hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/codec_bridge.h"
#include "imaging/jpeg_image.h"
#include "test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

uint8_t Texture(int x, int y, int c) {
  return static_cast<uint8_t>((x * 7 + y * 13 + c * 50) ^ (x * y));
}

struct Source {
  const char* Name;
  Bytes Data;
};

std::vector<Source> Sources() {
  test::EncodeOptions progressive, restarts, subsampled, cmyk;
  progressive.Progressive = true;
  restarts.RestartRows = 1;
  subsampled.FullChroma = false;
  subsampled.Quality = 80;
  cmyk.FileSpace = JCS_CMYK;
  return {
      {"colour", test::EncodeJpeg(48, 32, 3, Texture, subsampled)},
      {"gray", test::EncodeJpeg(40, 24, 1, Texture)},
      {"progressive", test::EncodeJpeg(48, 32, 3, Texture, progressive)},
      {"progressive gray", test::EncodeJpeg(32, 32, 1, Texture, progressive)},
      {"restarts", test::EncodeJpeg(48, 32, 3, Texture, restarts)},
      {"cmyk", test::EncodeJpeg(32, 24, 4, Texture, cmyk)},
  };
}

// Width and height from the header, read through the bridge; 0 x 0 when unreadable.
std::pair<unsigned, unsigned> HeaderSize(const Bytes& bytes) {
  Stream* s = test::StreamOf(bytes);
  CodecErrorManager errors;
  jpeg_decompress_struct d;
  std::memset(static_cast<void*>(&d), 0, sizeof d);
  AttachCodecErrors(&errors, reinterpret_cast<j_common_ptr>(&d));
  std::pair<unsigned, unsigned> size{0, 0};
  if (RunCodecCall(&errors, [&] { jpeg_create_decompress(&d); })) {
    AttachStreamSource(&d, s);
    if (RunCodecCall(&errors, [&] { jpeg_read_header(&d, TRUE); }))
      size = {d.image_width, d.image_height};
  }
  jpeg_destroy_decompress(&d);
  FreeObject(s);
  return size;
}

// Offsets of the marker segments between SOI and SOS.
std::vector<std::pair<size_t, size_t>> Segments(const Bytes& bytes) {
  std::vector<std::pair<size_t, size_t>> result;
  size_t i = 2;
  while (i + 4 <= bytes.size() && bytes[i] == 0xFF && bytes[i + 1] != 0xDA) {
    size_t length = 2 + (static_cast<size_t>(bytes[i + 2]) << 8 | bytes[i + 3]);
    result.push_back({i, length});
    i += length;
  }
  return result;
}

std::vector<Bytes> Corpus() {
  std::vector<Bytes> corpus;
  uint32_t seed = 20240601;
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };

  corpus.push_back({});
  corpus.push_back({0xFF});
  corpus.push_back({0xFF, 0xD8});
  corpus.push_back({0xFF, 0xD8, 0xFF, 0xD9});
  for (const Source& source : Sources()) {
    const Bytes& data = source.Data;
    // Cut at many offsets, from inside the markers to the last byte.
    size_t step = data.size() / 150 + 1;
    for (size_t n = 0; n < data.size(); n += step)
      corpus.emplace_back(data.begin(), data.begin() + n);
    // One byte changed at a time, anywhere.
    for (int i = 0; i < 200; ++i) {
      Bytes flipped = data;
      flipped[next() % flipped.size()] ^= static_cast<uint8_t>(1 + next() % 255);
      corpus.push_back(std::move(flipped));
    }
    // Two bytes set to marker-like values.
    for (int i = 0; i < 40; ++i) {
      Bytes marked = data;
      size_t at = next() % (marked.size() - 1);
      marked[at] = 0xFF;
      marked[at + 1] = static_cast<uint8_t>(0xC0 + next() % 0x40);
      corpus.push_back(std::move(marked));
    }
    // Marker segments swapped in pairs, and each one dropped.
    auto segments = Segments(data);
    for (size_t a = 0; a < segments.size(); ++a) {
      Bytes dropped(data.begin(), data.begin() + segments[a].first);
      dropped.insert(dropped.end(), data.begin() + segments[a].first + segments[a].second,
                     data.end());
      corpus.push_back(std::move(dropped));
      for (size_t b = a + 1; b < segments.size(); ++b) {
        Bytes swapped(data.begin(), data.begin() + segments[a].first);
        auto piece = [&](size_t k) {
          swapped.insert(swapped.end(), data.begin() + segments[k].first,
                         data.begin() + segments[k].first + segments[k].second);
        };
        for (size_t k = a; k <= b; ++k) piece(k == a ? b : k == b ? a : k);
        swapped.insert(swapped.end(), data.begin() + segments[b].first + segments[b].second,
                       data.end());
        corpus.push_back(std::move(swapped));
      }
    }
    // Frame codes of other processes (extended, progressive, lossless, arithmetic...).
    int sof = test::FindMarker(data, 0xC0);
    if (sof < 0) sof = test::FindMarker(data, 0xC2);
    for (uint8_t code = 0xC0; code <= 0xCF; ++code) {
      if (code == 0xC4 || code == 0xC8 || code == 0xCC) continue;
      Bytes other = data;
      other[sof + 1] = code;
      corpus.push_back(std::move(other));
    }
    // Claimed sizes from nothing to far beyond what can be held.
    const uint16_t sizes[][2] = {{0, 0},         {0, 100},       {100, 0},   {1, 1},
                                 {65535, 65535}, {65500, 65500}, {65000, 1}, {1, 65000},
                                 {30000, 30000}, {2000, 1500},   {17, 3}};
    for (const auto& wh : sizes) corpus.push_back(test::WithFrameSize(data, wh[0], wh[1]));
    // Exactly 450 and 451 bytes: a cut file, and a whole one padded to that length.
    if (data.size() > 451) {
      corpus.emplace_back(data.begin(), data.begin() + 450);
      corpus.emplace_back(data.begin(), data.begin() + 451);
    } else {
      corpus.push_back(test::PaddedTo(data, 450));
      corpus.push_back(test::PaddedTo(data, 451));
    }
  }
  return corpus;
}

TEST(Robustness, DamagedFilesNeitherCrashNorHangNorLoseTheirBytes) {
  std::vector<Bytes> corpus = Corpus();
  int tried = 0, decoded = 0, failed = 0, empty = 0;
  for (size_t index = 0; index < corpus.size(); ++index) {
    const Bytes& input = corpus[index];
    SCOPED_TRACE("input " + std::to_string(index) + ", " + std::to_string(input.size()) + " bytes");
    JpegImage* image = MakeJpegImage();
    if (index % 3 == 1) image->ScanByScan = true;
    if (index % 7 == 2) image->SetOutputDepth(Depth8);
    Stream* in = test::StreamOf(input);
    image->ReadFrom(in);
    FreeObject(in);
    uint32_t w = image->Width(), h = image->Height();
    Bitmap* bitmap = image->Decode();
    ++tried;
    if (!bitmap) {
      ++empty;
      EXPECT_TRUE(w == 0 || h == 0 || image->DecodeFailed);
    } else {
      if (image->DecodeFailed)
        ++failed;
      else
        ++decoded;
      EXPECT_EQ(static_cast<uint32_t>(bitmap->Width), w);
      EXPECT_EQ(static_cast<uint32_t>(bitmap->Height), h);
      // Re-encoding what was decoded gives a readable file of the same size.
      JpegImage* copy = MakeJpegImage();
      copy->SetFromBitmap(bitmap);
      Stream* out = MakeMemoryStream();
      copy->WriteTo(out);
      auto size = HeaderSize(test::BytesOf(out));
      EXPECT_EQ(size.first, w);
      EXPECT_EQ(size.second, h);
      FreeObject(out);
      FreeObject(copy);
    }
    // Whatever happened, the object still holds exactly the bytes it was given.
    Stream* back = MakeMemoryStream();
    image->WriteTo(back);
    EXPECT_EQ(test::BytesOf(back), input);
    FreeObject(back);
    FreeObject(image);
  }
  std::printf(
      "robustness: tried %d inputs: %d decoded, %d decoded with a fatal error, %d gave no "
      "picture\n",
      tried, decoded, failed, empty);
  EXPECT_GE(tried, 2000);
  EXPECT_GT(decoded, 0);
  EXPECT_GT(empty, 0);
}

TEST(Robustness, PicturesTooLargeToHoldFailCleanlyAndTheObjectStaysUsable) {
  Bytes good = test::EncodeJpeg(64, 48, 3, Texture);
  JpegImage* image = MakeJpegImage();
  const uint16_t claims[][2] = {{65500, 65500}, {65000, 40000}, {20000, 20000}};
  for (const auto& wh : claims) {
    Stream* s = test::StreamOf(test::WithFrameSize(good, wh[0], wh[1]));
    image->ReadFrom(s);
    FreeObject(s);
    EXPECT_EQ(image->Width(), wh[0]);
    EXPECT_EQ(image->Decode(), nullptr);
    EXPECT_TRUE(image->DecodeFailed);
    EXPECT_EQ(image->Decode(), nullptr);  // asking again changes nothing
  }
  // The same object then opens an ordinary picture.
  Stream* s = test::StreamOf(good);
  image->ReadFrom(s);
  FreeObject(s);
  EXPECT_FALSE(image->DecodeFailed);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 64);
  EXPECT_FALSE(image->DecodeFailed);
  FreeObject(image);
}

TEST(Robustness, LibraryMemoryIsBoundedForHugeProgressivePictures) {
  // A progressive picture keeps all its coefficients (6 bytes a pixel at 4:4:4): for
  // 9000 x 9000 that is past the library's limit, while the bitmap itself could be had.
  test::EncodeOptions progressive;
  progressive.Progressive = true;
  Bytes bytes = test::WithFrameSize(test::EncodeJpeg(64, 64, 3, Texture, progressive), 9000, 9000);
  Stream* s = test::StreamOf(bytes);
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(s);
  FreeObject(s);
  EXPECT_EQ(image->Width(), 9000u);
  Bitmap* bitmap = image->Decode();
  EXPECT_TRUE(image->DecodeFailed);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 9000);
  EXPECT_EQ(bitmap->RowAddress(4500)[4500 * 3], 0);  // nothing was decoded
  FreeObject(image);
}

TEST(Robustness, FilesWithAbsurdScanCountsAreStopped) {
  // Each scan of a progressive file is a pass over all its coefficients; a file that
  // repeats its last scan hundreds of times would keep a large picture busy for minutes.
  test::EncodeOptions progressive;
  progressive.Progressive = true;
  Bytes data = test::EncodeJpeg(64, 64, 3, Texture, progressive);
  size_t last = 0;
  for (size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0xFF && data[i + 1] == 0xDA) last = i;
  ASSERT_GT(last, 0u);
  Bytes scan(data.begin() + last, data.end() - 2);
  Bytes repeated(data.begin(), data.end() - 2);
  for (int i = 0; i < 600; ++i) repeated.insert(repeated.end(), scan.begin(), scan.end());
  repeated.push_back(0xFF);
  repeated.push_back(0xD9);

  for (bool scanByScan : {false, true}) {
    Stream* s = test::StreamOf(repeated);
    JpegImage* image = MakeJpegImage();
    image->ScanByScan = scanByScan;
    image->ReadFrom(s);
    FreeObject(s);
    Bitmap* bitmap = image->Decode();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_TRUE(image->DecodeFailed);
    FreeObject(image);
  }
  // The same file with a few repeats is still an ordinary (if odd) picture.
  Bytes few(data.begin(), data.end() - 2);
  for (int i = 0; i < 3; ++i) few.insert(few.end(), scan.begin(), scan.end());
  few.push_back(0xFF);
  few.push_back(0xD9);
  Stream* s = test::StreamOf(few);
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(s);
  FreeObject(s);
  ASSERT_NE(image->Decode(), nullptr);
  EXPECT_FALSE(image->DecodeFailed);
  FreeObject(image);
}

TEST(Robustness, PicturesWithoutAKnownColourLayoutAreNotDecoded) {
  // Two components: neither gray nor colour nor CMYK. Rows of such a picture would not
  // fit any bitmap kind, so the decode stops before writing any.
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = 40;
  c.image_height = 30;
  c.input_components = 2;
  c.in_color_space = JCS_UNKNOWN;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(80);
  while (c.next_scanline < c.image_height) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 3 + c.next_scanline);
    JSAMPROW r[1] = {row.data()};
    jpeg_write_scanlines(&c, r, 1);
  }
  jpeg_finish_compress(&c);
  Bytes bytes(out, out + outSize);
  jpeg_destroy_compress(&c);
  std::free(out);
  if (bytes.size() < 600) bytes = test::PaddedTo(bytes, 600);

  Stream* s = test::StreamOf(bytes);
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(s);
  FreeObject(s);
  EXPECT_EQ(image->Width(), 40u);
  Bitmap* bitmap = image->Decode();
  EXPECT_TRUE(image->DecodeFailed);
  if (bitmap) {
    int nonzero = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40 * 3; ++x) nonzero += bitmap->RowAddress(y)[x] != 0;
    EXPECT_EQ(nonzero, 0);
  }
  FreeObject(image);
}

}  // namespace
}  // namespace velmora
