// JpegImage: loading, decoding into bitmaps of each kind, encoding, writing back, failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "imaging/jpeg_image.h"
#include "test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;
using test::Loaded;

uint8_t Gradient(int x, int y, int c) {
  return static_cast<uint8_t>(c == 0 ? x * 3 : c == 1 ? y * 4 : 255 - (x + y));
}

Bytes GradientPicture(int w, int h, bool progressive = false) {
  test::EncodeOptions options;
  options.Progressive = progressive;
  return test::EncodeJpeg(w, h, 3, Gradient, options);
}

// Number of samples of the bitmap (blue first in each pixel) that differ from the reference.
int DifferingSamples(Bitmap* bitmap, const test::Decoded& ref, int bytesPerPixel = 3) {
  int differing = 0;
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x)
      for (int c = 0; c < 3; ++c)
        differing += bitmap->RowAddress(y)[x * bytesPerPixel + 2 - c] != ref.At(x, y, c);
  return differing;
}

int NonzeroBytes(Bitmap* bitmap, int fromRow) {
  int nonzero = 0;
  for (int y = fromRow; y < bitmap->Height; ++y)
    for (uint32_t i = 0; i < bitmap->RowSize(); ++i) nonzero += bitmap->RowAddress(y)[i] != 0;
  return nonzero;
}

TEST(JpegImage, EmptyObjectsAndUnopenableFilesGiveNoPictureAndNoBytes) {
  Stream* missing = OpenFileForReading(test::TempPath("not_there.jpg").c_str());
  JpegImage* opened = MakeJpegImage();
  opened->ReadFrom(missing);
  FreeObject(missing);
  for (JpegImage* image : {MakeJpegImage(), opened}) {
    EXPECT_EQ(image->Width(), 0u);
    EXPECT_TRUE(image->IsEmpty());
    EXPECT_EQ(image->Decode(), nullptr);
    EXPECT_TRUE(test::WrittenBytes(image).empty());
    std::string path = test::TempPath("empty.jpg");
    EXPECT_FALSE(image->WriteToFile(path.c_str()));
    EXPECT_FALSE(test::FileExists(path));
    FreeObject(image);
  }
}

TEST(JpegImage, ColourGrayAndProgressiveFilesDecodeToTheirPixels) {
  Bytes colour = GradientPicture(72, 40);
  JpegImage* image = Loaded(colour);
  EXPECT_EQ(image->Width(), 72u);
  EXPECT_EQ(image->Height(), 40u);
  EXPECT_FALSE(image->WriteProgressive);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp24);
  EXPECT_EQ(DifferingSamples(bitmap, test::DecodeReference(colour)), 0);
  EXPECT_NEAR(bitmap->RowAddress(39)[71 * 3 + 1], Gradient(71, 39, 1), 3);  // row 0 is the top
  EXPECT_FALSE(image->DecodeFailed);
  FreeObject(image);

  // Gray: 8 bits through the quantizer's 236 gray levels.
  const uint8_t levels[4] = {30, 100, 170, 240};
  Bytes gray = test::EncodeJpeg(
      64, 48, 1, [&](int x, int y, int) { return levels[test::QuadrantOf(x, y, 64, 48)]; });
  image = Loaded(test::PaddedTo(gray, std::max<size_t>(gray.size() + 4, 600)));
  EXPECT_TRUE(image->Data->StoredGray);
  bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp8);
  const RGBQUAD* table = bitmap->Header->Colors;
  std::set<int> grays;
  for (int i = 0; i < 236; ++i) {
    EXPECT_TRUE(table[i].rgbRed == table[i].rgbGreen && table[i].rgbRed == table[i].rgbBlue);
    grays.insert(table[i].rgbRed);
  }
  EXPECT_EQ(grays.size(), 236u);
  for (int q = 0; q < 4; ++q) {
    int x = (q & 1) ? 40 : 8, y = (q & 2) ? 32 : 8;
    EXPECT_NEAR(table[bitmap->RowAddress(y + 4)[x + 4]].rgbRed, levels[q], 3) << q;
  }
  FreeObject(image);

  // Progressive, whole and scan by scan: passes are drawn, the last one is the full decode.
  Bytes progressive = GradientPicture(80, 56, true);
  test::Decoded ref = test::DecodeReference(progressive);
  static int passes;
  for (bool scanByScan : {false, true}) {
    passes = 0;
    image = Loaded(progressive);
    EXPECT_TRUE(image->WriteProgressive);
    image->ScanByScan = scanByScan;
    image->PaintHook = [](JpegImage*, const RECT*) { return 0; };
    image->ProgressHook = [](j_common_ptr object) {
      passes =
          std::max(passes, reinterpret_cast<j_decompress_ptr>(object)->progress->completed_passes);
    };
    bitmap = image->Decode();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(DifferingSamples(bitmap, ref), 0);
    EXPECT_FALSE(image->DecodeFailed);
    EXPECT_GT(passes, scanByScan ? 1 : 0);
    Stream* s = test::StreamOf(colour);  // baseline bytes clear the flag
    image->ReadFrom(s);
    EXPECT_FALSE(image->WriteProgressive);
    FreeObject(s);
    FreeObject(image);
  }
}

TEST(JpegImage, CmykAndYcckDecodeToFourSamplesThenTheHookMakesColours) {
  const uint8_t ink[4][4] = {
      {0, 200, 180, 10}, {180, 0, 160, 40}, {200, 160, 0, 0}, {10, 20, 30, 100}};
  for (J_COLOR_SPACE space : {JCS_CMYK, JCS_YCCK}) {
    SCOPED_TRACE(space == JCS_CMYK ? "CMYK" : "YCCK");
    test::EncodeOptions options;
    options.FileSpace = space;
    // The file carries the Adobe marker, so its samples are stored inverted (255 = no ink).
    Bytes bytes = test::EncodeJpeg(
        64, 48, 4,
        [&](int x, int y, int c) { return uint8_t(255 - ink[test::QuadrantOf(x, y, 64, 48)][c]); },
        options);
    for (bool hook : {false, true}) {
      JpegImage* image = Loaded(bytes);
      if (!hook) image->SetCmykHook(nullptr);
      Bitmap* bitmap = image->Decode();
      ASSERT_NE(bitmap, nullptr);
      ASSERT_EQ(bitmap->CurrentFormat(), Bpp32);
      for (int q = 0; q < 4; ++q) {
        const uint8_t* p = bitmap->RowAddress((q & 2) ? 36 : 12) + ((q & 1) ? 48 : 16) * 4;
        for (int c = 0; c < 4; ++c) {
          double want = !hook   ? 255 - ink[q][c]
                        : c < 3 ? (255 - ink[q][2 - c]) * (255 - ink[q][3]) / 255.0
                                : 0;
          EXPECT_NEAR(p[c], want, 4) << "quadrant " << q << " sample " << c;
        }
      }
      EXPECT_FALSE(image->InCmykHook);
      FreeObject(image);
    }
  }
}

TEST(JpegImage, ImageMagicksCmykFileMatchesImageMagicksOwnConversion) {
#ifndef VELMORA_TEST_DATA
  GTEST_SKIP() << "ImageMagick's convert was not found at configure time";
#else
  Bytes ppm = test::ReadFileBytes(std::string(VELMORA_TEST_DATA) + "/cmyk-srgb.ppm");
  int w = 0, h = 0, maxval = 0, used = 0;
  std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64));
  ASSERT_EQ(std::sscanf(head.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &used), 3);
  ASSERT_EQ(maxval, 255);
  ASSERT_GE(ppm.size(), used + 1 + static_cast<size_t>(w) * h * 3);
  test::Decoded ref{w, h, 3, Bytes(ppm.begin() + used + 1, ppm.end())};

  JpegImage* image = Loaded(test::ReadFileBytes(std::string(VELMORA_TEST_DATA) + "/cmyk.jpg"));
  ASSERT_EQ(image->Width(), static_cast<uint32_t>(w));
  ASSERT_EQ(image->Height(), static_cast<uint32_t>(h));
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp32);
  EXPECT_FALSE(image->DecodeFailed);
  int worst = 0;
  double total = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        int d = std::abs(bitmap->RowAddress(y)[x * 4 + 2 - c] - ref.At(x, y, c));
        worst = std::max(worst, d);
        total += d;
      }
  EXPECT_LE(worst, 4);
  EXPECT_LT(total / (w * h * 3), 1.0);
  FreeObject(image);
#endif
}

TEST(JpegImage, WriteToGivesBackExactlyTheBytesReadAndOnly450BytesOrMoreAreParsed) {
  Bytes bytes = GradientPicture(48, 32);
  Bytes prefixed(300, 0x55);  // read from a stream positioned after other bytes
  prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
  Stream* in = test::StreamOf(prefixed);
  in->SetPosition(300);
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(in);
  FreeObject(in);
  EXPECT_EQ(image->Width(), 48u);
  image->Decode();
  Stream* out = MakeMemoryStream();
  out->Write("ab", 2);  // written at the stream's position, after what is there
  image->WriteTo(out);
  Bytes written = test::BytesOf(out);
  FreeObject(out);
  ASSERT_EQ(written.size(), bytes.size() + 2);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), written.begin() + 2));

  std::string path = test::TempPath("written.jpg");
  ASSERT_TRUE(image->WriteToFile(path.c_str()));
  EXPECT_EQ(test::ReadFileBytes(path), bytes);
  DeleteFileA(path.c_str());
  std::string noFolder = test::TempPath("no_such_folder") + "\\x.jpg";
  EXPECT_FALSE(image->WriteToFile(noFolder.c_str()));
  EXPECT_FALSE(test::FileExists(noFolder));
  FreeObject(image);

  Bytes small = test::EncodeJpeg(8, 8, 1, [](int x, int, int) { return uint8_t(x * 30); });
  ASSERT_LT(small.size(), 440u);
  for (size_t size : {450u, 451u}) {
    SCOPED_TRACE(size);
    Bytes padded = test::PaddedTo(small, size);
    image = Loaded(padded);
    EXPECT_EQ(image->Width(), size == 451 ? 8u : 0u);
    EXPECT_EQ(image->Decode() != nullptr, size == 451);
    EXPECT_EQ(test::WrittenBytes(image), padded);  // the bytes are kept all the same
    FreeObject(image);
  }
}

TEST(JpegImage, EncodeMakesBaselineJfifAtQuality90OfTheBitmapsSize) {
  Bitmap* source = MakeDibBitmap(50, 30, Bpp24);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x)
      for (int c = 0; c < 3; ++c) source->RowAddress(y)[x * 3 + 2 - c] = Gradient(x, y, c);
  JpegImage* image = MakeJpegImage();
  image->SetFromBitmap(source);
  EXPECT_EQ(image->Width(), 50u);  // known before any encode
  EXPECT_EQ(image->Height(), 30u);
  Bytes bytes = test::WrittenBytes(image);
  ASSERT_GT(bytes.size(), 20u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  int app0 = test::FindMarker(bytes, 0xE0);
  ASSERT_GT(app0, 0);
  EXPECT_EQ(std::string(bytes.begin() + app0 + 4, bytes.begin() + app0 + 9),
            std::string("JFIF\0", 5));
  int sof = test::FindMarker(bytes, 0xC0);
  ASSERT_GT(sof, 0) << "baseline frame";
  EXPECT_EQ(bytes[sof + 9], 3) << "three components";
  // Luminance table as libjpeg itself writes it at quality 90.
  test::EncodeOptions q90;
  q90.Quality = 90;
  Bytes reference = test::EncodeJpeg(8, 8, 3, Gradient, q90);
  int dqt = test::FindMarker(bytes, 0xDB), refDqt = test::FindMarker(reference, 0xDB);
  ASSERT_GT(dqt, 0);
  EXPECT_TRUE(std::equal(bytes.begin() + dqt + 4, bytes.begin() + dqt + 69,
                         reference.begin() + refDqt + 4));

  test::Decoded back = test::DecodeReference(bytes);
  EXPECT_EQ(back.Width, 50);
  EXPECT_EQ(back.Height, 30);
  double error = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x)
      for (int c = 0; c < 3; ++c) error += std::abs(back.At(x, y, c) - Gradient(x, y, c));
  EXPECT_LT(error / (50 * 30 * 3), 3.0);
  EXPECT_EQ(source->RowAddress(0)[2], Gradient(0, 0, 0));  // the caller's bitmap is untouched
  EXPECT_EQ(test::WrittenBytes(image), bytes);             // and the bytes stay
  FreeObject(source);
  FreeObject(image);
}

TEST(JpegImage, DamagedDataKeepsAFullSizeBitmapWithWhatCouldBeDecoded) {
  // Truncated: not a failure; the rows before the cut are the real ones.
  Bytes bytes = GradientPicture(64, 64);
  test::Decoded ref = test::DecodeReference(bytes);
  int sos = test::FindMarker(bytes, 0xDA);
  JpegImage* image =
      Loaded(Bytes(bytes.begin(), bytes.begin() + sos + (bytes.size() - sos) * 3 / 4));
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Height, 64);
  EXPECT_FALSE(image->DecodeFailed);
  for (int x = 0; x < 64; ++x) ASSERT_EQ(bitmap->RowAddress(7)[x * 3 + 2], ref.At(x, 7, 0));
  FreeObject(image);

  // Fatal before any row: all zero.
  image = Loaded(test::WithUndefinedTables(GradientPicture(32, 16)));
  bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 32);
  EXPECT_TRUE(image->DecodeFailed);
  EXPECT_EQ(NonzeroBytes(bitmap, 0), 0);

  // Fatal part-way (raised after 24 rows): the rows so far are kept, the rest stays zero.
  Bytes good = GradientPicture(40, 48);
  ref = test::DecodeReference(good);
  Stream* s = test::StreamOf(good);
  image->ReadFrom(s);
  FreeObject(s);
  EXPECT_FALSE(image->DecodeFailed);  // cleared by ReadFrom
  image->ProgressHook = [](j_common_ptr object) {
    if (reinterpret_cast<j_decompress_ptr>(object)->output_scanline >= 24)
      object->err->error_exit(object);
  };
  bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(image->DecodeFailed);
  EXPECT_EQ(bitmap->RowAddress(10)[5 * 3 + 1], ref.At(5, 10, 1));
  EXPECT_EQ(NonzeroBytes(bitmap, 40), 0);
  FreeObject(image);

  // A stop request ends a scan-by-scan decode with a full-size bitmap.
  static JpegImage* current;
  current = image = Loaded(GradientPicture(40, 32, true));
  image->ScanByScan = true;
  image->ProgressHook = [](j_common_ptr) { current->StopRequested = true; };
  bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Height, 32);
  EXPECT_TRUE(image->DecodeFailed);
  FreeObject(image);
}

TEST(JpegImage, OutputDepth8QuantizesColoursAndClearImageEmpties) {
  JpegImage* image = Loaded(GradientPicture(64, 48));
  static int changes;
  changes = 0;
  image->SetChangeHandler(MakeCallback(
      nullptr, +[](void*, JpegImage*) { ++changes; }));
  image->SetOutputDepth(Depth8);
  EXPECT_GE(changes, 1);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp8);
  double error = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const RGBQUAD& e = bitmap->Header->Colors[bitmap->RowAddress(y)[x]];
      error += std::abs(e.rgbRed - Gradient(x, y, 0)) + std::abs(e.rgbGreen - Gradient(x, y, 1)) +
               std::abs(e.rgbBlue - Gradient(x, y, 2));
    }
  EXPECT_LT(error / (64 * 48 * 3), 12.0);
  image->ClearImage();
  EXPECT_TRUE(image->IsEmpty());
  EXPECT_EQ(image->Decode(), nullptr);
  FreeObject(image);
}

}  // namespace
}  // namespace velmora
