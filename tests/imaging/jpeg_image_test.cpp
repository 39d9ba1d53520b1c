// The row reader that decodes every picture the program shows or shrinks and the writer of
// every copy: pixels against a reference decode, colours kept through a shrink, and a write
// that fails.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <new>

#include "imaging/jpeg_rows.h"
#include "imaging/shrink.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;
using test::Loaded;

namespace {

uint8_t Gradient(int x, int y, int c) {
  return static_cast<uint8_t>(c == 0 ? x * 3 : c == 1 ? y * 4 : 255 - (x + y));
}

// Every row of a whole decode at eighths / 8, blue first, as the reader gives them; empty when
// the header or the start failed.
test::Decoded ReadAll(const Bytes& jpeg, int eighths = 8) {
  JpegRowReader reader;
  test::Decoded out;
  if (!reader.Open(jpeg.data(), jpeg.size()) || !reader.Start(eighths)) return out;
  out = {reader.OutputWidth, reader.OutputHeight, 3, {}};
  out.Samples.resize(size_t(out.Width) * out.Height * 3);
  for (int y = 0; y < out.Height; ++y) {  // rows past a failure stay zero
    uint8_t* row[1] = {&out.Samples[size_t(y) * out.Width * 3]};
    if (reader.ReadRows(row, 1) != 1) break;
  }
  return out;
}

// Largest difference between the reader's rows (blue first) and a reference (red first).
int WorstSample(const test::Decoded& bgr, const test::Decoded& rgb) {
  if (bgr.Width != rgb.Width || bgr.Height != rgb.Height || bgr.Samples.empty()) return 256;
  int worst = 0;
  for (size_t i = 0; i < bgr.Samples.size(); ++i)
    worst = std::max(worst, std::abs(bgr.Samples[i] - rgb.Samples[i / 3 * 3 + 2 - i % 3]));
  return worst;
}

// Mean of each sample (in the file's order, red first) over the whole picture.
std::array<double, 3> Means(const test::Decoded& picture) {
  std::array<double, 3> sum{};
  for (size_t i = 0; i < picture.Samples.size(); ++i) sum[i % 3] += picture.Samples[i];
  for (double& s : sum) s /= double(picture.Samples.size() / 3);
  return sum;
}

}  // namespace

// Catches wrong row order, channel order, gray expansion, progressive handling or CMYK colours
// in the decode, and rows that could be decoded lost from a file cut short.
TEST(RowReader, ColourGrayProgressiveCmykAndCutFilesDecodeToTheirPixels) {
  const Bytes files[] = {test::EncodeJpeg(72, 40, 3, Gradient),
                         test::EncodeJpeg(80, 56, 3, Gradient, {.Progressive = true}),
                         test::EncodeJpeg(64, 48, 1, Gradient)};
  for (const Bytes& file : files) {
    test::Decoded ref = test::DecodeReference(file);
    if (ref.Components == 1) {  // gray: the same level in all three samples
      Bytes rgb;
      for (uint8_t v : ref.Samples) rgb.insert(rgb.end(), {v, v, v});
      ref = {ref.Width, ref.Height, 3, rgb};
    }
    EXPECT_EQ(WorstSample(ReadAll(file), ref), 0) << ref.Width;
  }
  Bytes whole = test::EncodeJpeg(64, 64, 3, Gradient);
  int sos = test::FindMarker(whole, 0xDA);
  test::Decoded cut =
      ReadAll(Bytes(whole.begin(), whole.begin() + sos + (whole.size() - sos) * 3 / 4));
  test::Decoded ref = test::DecodeReference(whole);
  ASSERT_EQ(cut.Height, 64);
  cut.Height = ref.Height = 8;
  cut.Samples.resize(64 * 8 * 3), ref.Samples.resize(64 * 8 * 3);
  EXPECT_EQ(WorstSample(cut, ref), 0);  // a file cut short keeps its first rows

#ifdef VELMORA_TEST_DATA
  // ImageMagick's CMYK file against ImageMagick's own conversion of it.
  Bytes ppm = test::ReadFileBytes(std::string(VELMORA_TEST_DATA) + "/cmyk-srgb.ppm");
  int w = 0, h = 0, maxval = 0, used = 0;
  std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64));
  ASSERT_EQ(std::sscanf(head.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &used), 3);
  ASSERT_GE(ppm.size(), used + 1 + static_cast<size_t>(w) * h * 3);
  test::Decoded magick{w, h, 3, Bytes(ppm.begin() + used + 1, ppm.end())};
  EXPECT_LE(WorstSample(ReadAll(test::ReadFileBytes(std::string(VELMORA_TEST_DATA) + "/cmyk.jpg")),
                        magick),
            4);
#endif
}

// Catches a shrink that shifts colours: the codec's fast transform darkens a dark, saturated
// photo by a level or two, which no reduction averages out. Each channel's mean over the copy
// stays within a tenth of a level of the original's, beyond what one more encode of the copy
// at the same quality shifts it by.
TEST(RowReader, AShrunkCopyKeepsTheMeanOfEveryChannel) {
  uint32_t seed = 7;
  auto noise = [&seed] { return int((seed = seed * 1664525u + 1013904223u) >> 28) - 8; };
  Bytes original =
      test::EncodeJpeg(600, 400, 3,
                       [&](int x, int y, int c) {
                         const int base[3] = {20 + x / 12 + y / 20, 4 + (x + y) / 100, 60 + y / 6};
                         return uint8_t(std::clamp(base[c] + noise() * (c == 1 ? 1 : 2), 0, 255));
                       },
                       {.Quality = 99});
  Stream* out = MakeMemoryStream();
  ShrinkReport report;
  ASSERT_TRUE(ShrinkJpegBytes(original.data(), original.size(), 30, out, report));
  const test::Decoded copy = test::DecodeReference(test::BytesOf(out));
  FreeObject(out);
  ASSERT_EQ(std::make_pair(copy.Width, copy.Height), std::make_pair(180, 120));
  const test::Decoded again = test::DecodeReference(test::EncodeJpeg(
      copy.Width, copy.Height, 3, [&](int x, int y, int c) { return copy.At(x, y, c); },
      {.Quality = ShrinkQuality, .FullChroma = false}));
  const auto want = Means(test::DecodeReference(original)), got = Means(copy),
             reencoded = Means(again);
  for (int c = 0; c < 3; ++c) {
    std::printf("channel %d: original %.3f, copy %.3f, copy encoded again %.3f\n", c, want[c],
                got[c], reencoded[c]);
    EXPECT_LE(std::abs(got[c] - want[c]), 0.1 + std::abs(reencoded[c] - got[c])) << c;
  }
}

// Catches a write that fell short or threw (a memory stream out of memory) taken for a whole
// copy, and a write that throws unwinding through the codec.
TEST(RowWriter, AShortOrThrowingWriteFailsTheCopy) {
  static uint32_t limit;
  static bool throwing;
  for (bool throws : {false, true}) {
    for (uint32_t max : {0xFFFFFFFFu, 100u}) {
      limit = max, throwing = throws && max == 100;
      Stream* out = MakeMemoryStream();
      out->Ops.Write = [](Stream* s, const void* buffer, uint32_t count) {
        if (throwing) throw std::bad_alloc();
        return MemoryStreamOps.Write(s, buffer, std::min(count, limit));
      };
      JpegRowWriter writer;
      std::vector<uint8_t> row(128 * 3);
      uint32_t seed = 12345;
      bool ok = writer.Start(128, 96, 90, out);
      for (int y = 0; ok && y < 96; ++y) {  // noise: far more than one buffer
        for (auto& b : row) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        const uint8_t* rows[1] = {row.data()};
        ok = writer.WriteRows(rows, 1);
      }
      ok = ok && writer.Finish();
      EXPECT_EQ(ok, max != 100) << throws << " " << max;
      if (ok) {
        EXPECT_EQ(test::DecodeReference(test::BytesOf(out)).Width, 128);
      }
      FreeObject(out);
    }
  }
}
