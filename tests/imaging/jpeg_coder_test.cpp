// The encoder's coding: the rate-distortion choice of each block against plain rounding, and
// the files it writes (baseline, optimized tables, the pixels they were given).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "imaging/jpeg_coder.h"
#include "imaging/shrink.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;

// Catches a choice that spends more than rounding for what it saves, one that throws away
// more than its bits are worth, and a flat block that gains anything.
TEST(JpegCoder, ChosenBlocksCostNoMoreThanRoundingAndLoseBoundedDistortion) {
  jpeg_compress_struct codec;
  jpeg_error_mgr errors;
  codec.err = jpeg_std_error(&errors);
  jpeg_create_compress(&codec);
  codec.in_color_space = JCS_YCbCr;
  codec.input_components = 3;
  jpeg_set_defaults(&codec);
  jpeg_set_quality(&codec, 90, TRUE);
  const UINT16* quant = codec.quant_tbl_ptrs[0]->quantval;
  const AcCodeLengths lengths = LengthsOf(*codec.ac_huff_tbl_ptrs[0]);  // the standard table
  std::srand(7);
  const std::function<int(int, int)> kinds[] = {
      [](int, int) { return 140; },                             // flat
      [](int x, int) { return x < 3 ? 40 : 210; },              // one edge
      [](int x, int y) { return 120 + (x * 7 + y * 3) % 11; },  // fine texture
      [](int, int) { return 60 + std::rand() % 120; },          // noise
      [](int x, int y) { return int(128 + 90 * std::sin(x * 0.9 + y * 0.4)); }};
  for (float weight : {0.02f, 0.1f, 0.3f}) {
    const float lambda = LambdaFor(quant, weight);
    for (size_t kind = 0; kind < std::size(kinds); ++kind) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " weight " << weight);
      uint8_t samples[64];
      for (int i = 0; i < 64; ++i) samples[i] = uint8_t(kinds[kind](i % 8, i / 8));
      JCOEF raw[64], rounded[64], chosen[64];
      ForwardTransform(samples, 8, false, raw);
      RoundBlock(raw, quant, rounded);
      ChooseBlock(raw, quant, lengths, lambda, chosen);
      const double roundedError = BlockDistortion(raw, quant, rounded);
      const double chosenError = BlockDistortion(raw, quant, chosen);
      const int roundedBits = BlockAcBits(rounded, lengths);
      const int chosenBits = BlockAcBits(chosen, lengths);
      EXPECT_EQ(chosen[0], rounded[0]);
      EXPECT_LE(chosenBits, roundedBits);
      EXPECT_LE(chosenError + lambda * chosenBits, roundedError + lambda * roundedBits + 1e-3);
      EXPECT_LE(chosenError - roundedError, lambda * roundedBits + 1e-3);
      if (kind == 0) {
        EXPECT_EQ(std::vector<JCOEF>(chosen, chosen + 64),
                  std::vector<JCOEF>(rounded, rounded + 64));
      }
    }
  }
  jpeg_destroy_compress(&codec);
}

// Catches a copy that is progressive, keeps the standard tables, or is not what it was given,
// from the codec's own coding and from coefficients held whole (4:2:0 and 4:4:4, sides that
// are no multiple of a block); coefficients rounded without weight come out as the codec's
// own coding does. Copies past the coefficient budget are coded row by row, in bounded memory:
// bench/shrink-bench.sh's 200-megapixel runs say which path ran and measure the peak.
TEST(JpegCoder, CopiesAreBaselineWithTablesOfTheirOwnAndDecodeToTheirPixels) {
  const int w = 641, h = 479;
  Bytes photo = test::EncodeJpeg(w, h, 3, [](int x, int y, int c) {
    return uint8_t(128 + 60 * std::sin(x * 0.05 * (c + 1)) * std::cos(y * 0.03) +
                   (x * 13 + y * 7) % 9);
  });
  test::Decoded original = test::DecodeReference(photo);
  const JpegCoding kept = CopyCoding;
  const JpegCoding codings[] = {kept,
                                {90, 0, false, 1e-9f, true, false},
                                {92, 0, false, 0.08f, true, true},
                                {88, 80, true, 0.002f, true, false}};
  double psnr[4] = {};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    CopyCoding = codings[i];
    Stream* out = MakeMemoryStream();
    ShrinkReport report;
    ASSERT_TRUE(ShrinkJpegBytes(photo.data(), photo.size(), 100, out, report));
    Bytes copy = test::BytesOf(out);
    FreeObject(out);
    EXPECT_GT(test::FindMarker(copy, 0xC0), 0);  // SOF0
    EXPECT_EQ(test::FindMarker(copy, 0xC2), -1);
    EXPECT_FALSE(test::HasStandardAcTable(copy));
    test::Decoded back = test::DecodeReference(copy);
    ASSERT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(w, h));
    double error = 0;
    for (size_t k = 0; k < back.Samples.size(); ++k)
      error += std::pow(double(back.Samples[k]) - original.Samples[k], 2);
    psnr[i] = 10 * std::log10(255.0 * 255.0 * back.Samples.size() / error);
    EXPECT_GT(psnr[i], 34.0);
  }
  CopyCoding = kept;
  EXPECT_NEAR(psnr[1], psnr[0], 0.1);
}
