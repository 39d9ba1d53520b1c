// A CMYK JPEG written by ImageMagick decodes to the colours ImageMagick itself gives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/jpeg_image.h"
#include "jpeg_test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

#ifdef VELMORA_TEST_DATA
Bytes ReadWholeFile(const std::string& path) {
  Stream* file = OpenFileForReading(path.c_str());
  Bytes bytes(file->Size());
  if (!bytes.empty()) bytes.resize(file->Read(bytes.data(), static_cast<uint32_t>(bytes.size())));
  FreeObject(file);
  return bytes;
}

// Width, height and RGB samples of a binary PPM with maximum 255.
bool ParsePpm(const Bytes& ppm, int* w, int* h, const uint8_t** samples) {
  std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64));
  int maxval = 0, used = 0;
  if (std::sscanf(head.c_str(), "P6 %d %d %d%n", w, h, &maxval, &used) != 3 || maxval != 255)
    return false;
  size_t offset = static_cast<size_t>(used) + 1;
  if (ppm.size() < offset + static_cast<size_t>(*w) * *h * 3) return false;
  *samples = ppm.data() + offset;
  return true;
}
#endif

TEST(JpegCmyk, ImageMagickFileMatchesImageMagicksOwnConversion) {
#ifndef VELMORA_TEST_DATA
  GTEST_SKIP() << "ImageMagick's convert was not found at configure time";
#else
  std::string dir = VELMORA_TEST_DATA;
  Bytes jpeg = ReadWholeFile(dir + "/cmyk.jpg");
  Bytes ppm = ReadWholeFile(dir + "/cmyk-srgb.ppm");
  ASSERT_GT(jpeg.size(), 450u);
  int w = 0, h = 0;
  const uint8_t* ref = nullptr;
  ASSERT_TRUE(ParsePpm(ppm, &w, &h, &ref));

  Stream* s = test::StreamOf(jpeg);
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(s);
  FreeObject(s);
  ASSERT_EQ(image->Width(), static_cast<uint32_t>(w));
  ASSERT_EQ(image->Height(), static_cast<uint32_t>(h));
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp32);
  EXPECT_FALSE(image->DecodeFailed);

  int worst = 0;
  double total = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = bitmap->RowAddress(y);
    for (int x = 0; x < w; ++x) {
      const uint8_t* want = ref + (static_cast<size_t>(y) * w + x) * 3;
      for (int c = 0; c < 3; ++c) {
        int d = std::abs(row[x * 4 + 2 - c] - want[c]);
        worst = std::max(worst, d);
        total += d;
      }
    }
  }
  EXPECT_LE(worst, 4);
  EXPECT_LT(total / (w * h * 3), 1.0);
  FreeObject(image);
#endif
}

}  // namespace
}  // namespace velmora
