// The shrink pipeline (percent to size, HALFTONE stretch, re-encode) and the size line.
#include <gtest/gtest.h>

#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

const uint8_t kColours[4][3] = {{220, 40, 30}, {30, 160, 70}, {50, 60, 200}, {230, 220, 40}};

int QuadrantOf(int x, int y, int w, int h) { return (x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0); }

JpegImage* OpenedPicture(int w, int h) {
  Bytes bytes = test::EncodeJpeg(
      w, h, 3, [w, h](int x, int y, int c) { return kColours[QuadrantOf(x, y, w, h)][c]; });
  if (bytes.size() < 600) bytes = test::PaddedTo(bytes, 600);
  Stream* s = test::StreamOf(bytes);
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(s);
  FreeObject(s);
  return image;
}

Bytes WrittenBytes(JpegImage* image) {
  Stream* s = MakeMemoryStream();
  image->WriteTo(s);
  Bytes bytes = test::BytesOf(s);
  FreeObject(s);
  return bytes;
}

TEST(SizeText, KilobytesAndHundredthsWithoutLeadingZero) {
  EXPECT_EQ(FormatSizeText(1600, 1200, 524788), "Size: 1600x1200 , 512.48 Kb");
  EXPECT_EQ(FormatSizeText(480, 360, 2560), "Size: 480x360 , 2.50 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1075), "Size: 1x1 , 1.4 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1024), "Size: 1x1 , 1.0 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1023), "Size: 1x1 , 0.99 Kb");
  EXPECT_EQ(FormatSizeText(0, 0, 0), "Size: 0x0 , 0.0 Kb");
  EXPECT_EQ(FormatSizeText(7, 9, 0xFFFFFFFFu), "Size: 7x9 , 4194303.99 Kb");
}

TEST(Shrink, SizesTruncateAfterTheProduct) {
  struct Case {
    int W, H, Percent, NewW, NewH;
  } cases[] = {{1600, 1200, 30, 480, 360}, {1599, 1199, 30, 479, 359}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
    JpegImage* opened = OpenedPicture(c.W, c.H);
    uint32_t bytes = 0;
    JpegImage* shrunk = ShrinkPicture(opened, c.Percent, &bytes);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(shrunk->Width(), static_cast<uint32_t>(c.NewW));
    EXPECT_EQ(shrunk->Height(), static_cast<uint32_t>(c.NewH));
    Bytes written = WrittenBytes(shrunk);
    EXPECT_EQ(bytes, written.size());
    test::Decoded back = test::DecodeReference(written);
    EXPECT_EQ(back.Width, c.NewW);
    EXPECT_EQ(back.Height, c.NewH);
    FreeObject(shrunk);
    FreeObject(opened);
  }
}

TEST(Shrink, FlatAreasKeepTheirColours) {
  JpegImage* opened = OpenedPicture(400, 300);
  uint32_t bytes = 0;
  JpegImage* shrunk = ShrinkPicture(opened, 30, &bytes);
  ASSERT_NE(shrunk, nullptr);
  test::Decoded back = test::DecodeReference(WrittenBytes(shrunk));
  ASSERT_EQ(back.Width, 120);
  ASSERT_EQ(back.Height, 90);
  for (int q = 0; q < 4; ++q) {
    int x = (q & 1) ? 90 : 30, y = (q & 2) ? 68 : 22;
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(back.At(x, y, c), kColours[q][c], 6) << "quadrant " << q << " sample " << c;
  }
  // Each shrink is a fresh resample of the opened picture, not of the last result.
  JpegImage* again = ShrinkPicture(opened, 30, &bytes);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Width(), 120u);
  FreeObject(again);
  FreeObject(shrunk);
  FreeObject(opened);
}

TEST(Shrink, CmykPicturesShrinkToTheirColours) {
  // Ink per quadrant (C, M, Y, K), stored inverted as files with the Adobe marker do.
  const uint8_t ink[4][4] = {{0, 220, 200, 0}, {200, 0, 180, 30}, {220, 180, 0, 0}, {0, 0, 0, 60}};
  test::EncodeOptions cmyk;
  cmyk.FileSpace = JCS_CMYK;
  Bytes bytes = test::EncodeJpeg(
      160, 120, 4,
      [&](int x, int y, int c) {
        return static_cast<uint8_t>(255 - ink[QuadrantOf(x, y, 160, 120)][c]);
      },
      cmyk);
  Stream* s = test::StreamOf(bytes);
  JpegImage* opened = MakeJpegImage();
  opened->ReadFrom(s);
  FreeObject(s);
  for (int percent : {30, 70}) {  // through a reduced decode, and through opened's own
    SCOPED_TRACE(percent);
    uint32_t count = 0;
    JpegImage* shrunk = ShrinkPicture(opened, percent, &count);
    ASSERT_NE(shrunk, nullptr);
    test::Decoded back = test::DecodeReference(WrittenBytes(shrunk));
    ASSERT_EQ(back.Components, 3);
    for (int q = 0; q < 4; ++q) {
      int x = back.Width * ((q & 1) ? 3 : 1) / 4, y = back.Height * ((q & 2) ? 3 : 1) / 4;
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(back.At(x, y, c), (255 - ink[q][c]) * (255 - ink[q][3]) / 255.0, 8)
            << "quadrant " << q << " sample " << c;
    }
    FreeObject(shrunk);
  }
  FreeObject(opened);
}

TEST(Shrink, HundredPercentKeepsTheSizeAndReencodes) {
  JpegImage* opened = OpenedPicture(120, 80);
  uint32_t bytes = 0;
  JpegImage* shrunk = ShrinkPicture(opened, 100, &bytes);
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(shrunk->Width(), 120u);
  EXPECT_EQ(shrunk->Height(), 80u);
  Bytes written = WrittenBytes(shrunk);
  EXPECT_EQ(bytes, written.size());
  EXPECT_NE(written, WrittenBytes(opened));  // quality 90, not the opened file's bytes
  FreeObject(shrunk);
  FreeObject(opened);
}

TEST(Shrink, NoPictureForZeroSidesEmptyOrUndecodableInput) {
  uint32_t bytes = 99;
  JpegImage* narrow = OpenedPicture(9, 50);
  ASSERT_EQ(narrow->Width(), 9u);
  EXPECT_EQ(ShrinkPicture(narrow, 10, &bytes), nullptr);  // 9 x 10% = 0
  EXPECT_EQ(bytes, 0u);
  JpegImage* shrunk = ShrinkPicture(narrow, 20, &bytes);  // 1 x 10 is still a picture
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(shrunk->Width(), 1u);
  EXPECT_EQ(shrunk->Height(), 10u);
  FreeObject(shrunk);

  JpegImage* opened = OpenedPicture(100, 100);
  EXPECT_EQ(ShrinkPicture(opened, 0, &bytes), nullptr);  // no list item selected
  EXPECT_EQ(ShrinkPicture(opened, -10, &bytes), nullptr);
  EXPECT_EQ(ShrinkPicture(nullptr, 30, &bytes), nullptr);
  JpegImage* empty = MakeJpegImage();
  EXPECT_EQ(ShrinkPicture(empty, 30, &bytes), nullptr);
  EXPECT_EQ(bytes, 0u);

  // A header claiming a picture far too large to hold: no shrunk picture, no crash.
  Bytes huge = test::WithFrameSize(WrittenBytes(opened), 65000, 64000);
  Stream* s = test::StreamOf(huge);
  JpegImage* claimed = MakeJpegImage();
  claimed->ReadFrom(s);
  EXPECT_EQ(claimed->Width(), 65000u);
  ShrinkTimes report;
  EXPECT_EQ(ShrinkPicture(claimed, 10, &bytes, &report), nullptr);
  EXPECT_TRUE(report.DecodeFailed);
  EXPECT_EQ(ShrinkPicture(claimed, 100, &bytes, &report), nullptr);  // the full-size path
  EXPECT_TRUE(report.DecodeFailed);
  FreeObject(s);
  FreeObject(claimed);
  FreeObject(empty);
  FreeObject(opened);
  FreeObject(narrow);
}

TEST(Shrink, SmallTargetsStretchAReducedDecodeThatAveragesFineDetail) {
  // One-pixel black and white checks: any area-averaging reduction makes them mid gray,
  // while a bilinear stretch of the full picture picks single checks.
  Bytes bytes = test::EncodeJpeg(
      320, 240, 1, [](int x, int y, int) { return static_cast<uint8_t>(((x + y) & 1) ? 255 : 0); });
  Stream* s = test::StreamOf(bytes);
  JpegImage* opened = MakeJpegImage();
  opened->ReadFrom(s);
  FreeObject(s);

  struct Case {
    int Percent;
    int Shift;
  } cases[] = {{10, 3}, {25, 2}, {30, 1}, {50, 1}, {60, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Percent) + "%");
    uint32_t count = 0;
    ShrinkTimes report;
    JpegImage* shrunk = ShrinkPicture(opened, c.Percent, &count, &report);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(report.ScaleShift, c.Shift);
    EXPECT_FALSE(report.DecodeFailed);
    test::Decoded back = test::DecodeReference(WrittenBytes(shrunk));
    EXPECT_EQ(back.Width, 320 * c.Percent / 100);
    EXPECT_EQ(back.Height, 240 * c.Percent / 100);
    if (c.Shift > 0) {
      EXPECT_EQ(opened->DecodedBitmap, nullptr);  // the opened picture is left as it was
      double sum = 0;
      for (int y = 0; y < back.Height; ++y)
        for (int x = 0; x < back.Width; ++x) sum += back.At(x, y, 0);
      EXPECT_NEAR(sum / (back.Width * back.Height), 127.5, 12);
      EXPECT_NEAR(back.At(back.Width / 2, back.Height / 2, 0), 127.5, 24);
    }
    FreeObject(shrunk);
  }
  FreeObject(opened);
}

}  // namespace
}  // namespace velmora
