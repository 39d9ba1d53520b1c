// JpegImage: loading, decoding into bitmaps of each kind, encoding, writing back, failures.
#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"
#include "toolkit/bitmap.h"

using namespace velmora;
using test::Bytes;
using test::Loaded;

namespace {

uint8_t Gradient(int x, int y, int c) {
  return static_cast<uint8_t>(c == 0 ? x * 3 : c == 1 ? y * 4 : 255 - (x + y));
}

Bytes GradientPicture(int w, int h, bool progressive = false) {
  return test::EncodeJpeg(w, h, 3, Gradient, {.Progressive = progressive});
}

// Largest difference between the bitmap's samples (blue first) and the reference's, each
// taken from 3 of the pixel's bytesPerPixel bytes, in rows [fromRow, toRow); 256 when the
// bitmap is missing or of another size.
int WorstSample(Bitmap* b, const test::Decoded& ref, int bytesPerPixel = 3, int fromRow = 0,
                int toRow = -1) {
  if (!b || b->Width != ref.Width || b->Height != ref.Height) return 256;
  int worst = 0;
  for (int y = fromRow; y < (toRow < 0 ? ref.Height : toRow); ++y)
    for (int i = 0; i < ref.Width * 3; ++i)
      worst = std::max(worst, std::abs(b->RowAddress(y)[i / 3 * bytesPerPixel + 2 - i % 3] -
                                       ref.At(i / 3, y, i % 3)));
  return worst;
}

}  // namespace

// Catches wrong row order, channel order, gray table or progressive handling in the decode.
TEST(JpegImage, ColourGrayProgressiveAndCmykFilesDecodeToTheirPixels) {
  // Baseline, and progressive whole and scan by scan: the last pass is the full decode.
  const Bytes colour = GradientPicture(72, 40), progressive = GradientPicture(80, 56, true);
  for (int mode = 0; mode < 3; ++mode) {
    JpegImage* image = Loaded(mode ? progressive : colour);
    image->ScanByScan = mode == 2;
    image->PaintHook = [](JpegImage*, const RECT*) { return 0; };
    Bitmap* bitmap = image->Decode();
    ASSERT_EQ(WorstSample(bitmap, test::DecodeReference(mode ? progressive : colour)), 0) << mode;
    EXPECT_EQ(bitmap->CurrentFormat(), Bpp24);
    EXPECT_FALSE(image->DecodeFailed);
    FreeObject(image);
  }

  // Gray: 8 bits through a table of gray levels.
  const uint8_t levels[4] = {30, 100, 170, 240};
  Bytes gray = test::EncodeJpeg(
      64, 48, 1, [&](int x, int y, int) { return levels[test::QuadrantOf(x, y, 64, 48)]; });
  JpegImage* image = Loaded(test::PaddedTo(gray, std::max<size_t>(gray.size() + 4, 600)));
  Bitmap* bitmap = image->Decode();
  ASSERT_EQ(bitmap ? bitmap->CurrentFormat() : DeviceDependent, Bpp8);
  for (int q = 0; q < 4; ++q) {
    const RGBQUAD& e = bitmap->Header->Colors[bitmap->RowAddress(q & 2 ? 36 : 12)[q & 1 ? 48 : 16]];
    EXPECT_NEAR(e.rgbRed, levels[q], 3) << q;
    EXPECT_TRUE(e.rgbRed == e.rgbGreen && e.rgbRed == e.rgbBlue) << q;
  }
  FreeObject(image);

  // CMYK with the Adobe marker stores inverted ink (255 = none); the hook makes colours.
  const uint8_t ink[4][4] = {
      {0, 200, 180, 10}, {180, 0, 160, 40}, {200, 160, 0, 0}, {10, 20, 30, 100}};
  test::Decoded want{64, 48, 3, Bytes(64 * 48 * 3)};
  for (int i = 0; i < 64 * 48 * 3; ++i) {
    const uint8_t* q = ink[test::QuadrantOf(i / 3 % 64, i / 3 / 64, 64, 48)];
    want.Samples[i] = static_cast<uint8_t>((255 - q[i % 3]) * (255 - q[3]) / 255);
  }
  image = Loaded(test::EncodeJpeg(
      64, 48, 4,
      [&](int x, int y, int c) { return uint8_t(255 - ink[test::QuadrantOf(x, y, 64, 48)][c]); },
      {.FileSpace = JCS_CMYK}));
  ASSERT_LE(WorstSample(bitmap = image->Decode(), want, 4), 4);
  EXPECT_EQ(bitmap->CurrentFormat(), Bpp32);
  FreeObject(image);
}

// Catches a colour conversion of CMYK files that differs from what ImageMagick shows.
TEST(JpegImage, ImageMagicksCmykFileMatchesImageMagicksOwnConversion) {
#ifndef VELMORA_TEST_DATA
  GTEST_SKIP() << "ImageMagick's convert was not found at configure time";
#else
  Bytes ppm = test::ReadFileBytes(std::string(VELMORA_TEST_DATA) + "/cmyk-srgb.ppm");
  int w = 0, h = 0, maxval = 0, used = 0;
  std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64));
  ASSERT_EQ(std::sscanf(head.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &used), 3);
  ASSERT_GE(ppm.size(), used + 1 + static_cast<size_t>(w) * h * 3);
  test::Decoded ref{w, h, 3, Bytes(ppm.begin() + used + 1, ppm.end())};
  JpegImage* image = Loaded(test::ReadFileBytes(std::string(VELMORA_TEST_DATA) + "/cmyk.jpg"));
  EXPECT_LE(WorstSample(image->Decode(), ref, 4), 4);
  EXPECT_FALSE(image->DecodeFailed);
  FreeObject(image);
#endif
}

// Catches bytes changed, lost or added on the way back out, headers parsed too early, and
// stray output or files from objects without a picture.
TEST(JpegImage, WriteToGivesBackExactlyTheBytesReadAndOnly450BytesOrMoreAreParsed) {
  Stream* missing = OpenFileForReading(test::TempPath("not_there.jpg").c_str());
  JpegImage* opened = MakeJpegImage();
  opened->ReadFrom(missing);
  FreeObject(missing);
  const std::string empty = test::TempPath("empty.jpg");
  for (JpegImage* image : {MakeJpegImage(), opened}) {
    EXPECT_TRUE(image->IsEmpty() && image->Decode() == nullptr);
    EXPECT_TRUE(test::WrittenBytes(image).empty());
    EXPECT_FALSE(image->WriteToFile(empty.c_str()) || std::ifstream(empty).is_open());
    FreeObject(image);
  }
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
  EXPECT_EQ(Bytes(written.begin(), written.begin() + 2), Bytes({'a', 'b'}));
  EXPECT_EQ(Bytes(written.begin() + 2, written.end()), bytes);
  FreeObject(out);
  std::string path = test::TempPath("written.jpg");
  ASSERT_TRUE(image->WriteToFile(path.c_str()));
  EXPECT_EQ(test::ReadFileBytes(path), bytes);
  DeleteFileA(path.c_str());
  std::string noFolder = test::TempPath("no_such_folder") + "\\x.jpg";
  EXPECT_FALSE(image->WriteToFile(noFolder.c_str()));
  EXPECT_FALSE(std::ifstream(noFolder).is_open());
  FreeObject(image);

  Bytes small = test::EncodeJpeg(8, 8, 1, [](int x, int, int) { return uint8_t(x * 30); });
  ASSERT_LT(small.size(), 440u);
  for (size_t size : {450u, 451u}) {
    Bytes padded = test::PaddedTo(small, size);
    image = Loaded(padded);
    EXPECT_EQ(image->Width(), size == 451 ? 8u : 0u) << size;
    EXPECT_EQ(image->Decode() != nullptr, size == 451) << size;
    EXPECT_EQ(test::WrittenBytes(image), padded) << size;  // the bytes are kept all the same
    FreeObject(image);
  }
}

// Catches a save that leaves the tail of a longer old file, or replaces a read-only one.
TEST(JpegImage, WriteToFileReplacesAFileWholeAndLeavesAReadOnlyOneAlone) {
  Bytes bytes = GradientPicture(40, 24);
  JpegImage* image = Loaded(bytes);
  const std::string path = test::TempPath("replaced.jpg");
  test::WriteTempFile("replaced.jpg", Bytes(bytes.size() * 3, 0x77));
  ASSERT_TRUE(image->WriteToFile(path.c_str()));
  EXPECT_EQ(test::ReadFileBytes(path), bytes);

  const Bytes old(1000, 0x11);
  const std::string locked = test::WriteTempFile("read-only.jpg", old);
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(image->WriteToFile(locked.c_str()));
  EXPECT_EQ(test::ReadFileBytes(locked), old);
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(locked.c_str());
  DeleteFileA(path.c_str());
  FreeObject(image);
}

// Catches an encode in the wrong process, quality or size, or one that changes the source.
TEST(JpegImage, EncodeMakesBaselineJfifAtQuality90OfTheBitmapsSize) {
  Bitmap* source = MakeDibBitmap(50, 30, Bpp24);
  for (int i = 0; i < 50 * 30 * 3; ++i)
    source->RowAddress(i / 150)[i % 150 / 3 * 3 + 2 - i % 3] =
        Gradient(i % 150 / 3, i / 150, i % 3);
  JpegImage* image = MakeJpegImage();
  image->SetFromBitmap(source);
  EXPECT_EQ(std::make_pair(image->Width(), image->Height()), std::make_pair(50u, 30u));  // at once
  Bytes bytes = test::WrittenBytes(image);
  int app0 = test::FindMarker(bytes, 0xE0), sof = test::FindMarker(bytes, 0xC0);
  ASSERT_TRUE(app0 > 0 && sof > 0) << "JFIF marker, baseline frame";
  EXPECT_EQ(std::string(bytes.begin() + app0 + 4, bytes.begin() + app0 + 9),
            std::string("JFIF\0", 5));
  // Luminance table as libjpeg itself writes it at quality 90.
  Bytes reference = test::EncodeJpeg(8, 8, 3, Gradient, {.Quality = 90});
  int dqt = test::FindMarker(bytes, 0xDB), refDqt = test::FindMarker(reference, 0xDB);
  ASSERT_GT(dqt, 0);
  EXPECT_EQ(Bytes(bytes.begin() + dqt + 4, bytes.begin() + dqt + 69),
            Bytes(reference.begin() + refDqt + 4, reference.begin() + refDqt + 69));
  test::Decoded back = test::DecodeReference(bytes);
  ASSERT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(50, 30));
  EXPECT_LE(WorstSample(source, back), 12);
  EXPECT_EQ(source->RowAddress(0)[2], Gradient(0, 0, 0));  // the caller's bitmap is untouched
  EXPECT_EQ(test::WrittenBytes(image), bytes);             // and the bytes stay
  FreeObject(source);
  FreeObject(image);
}

// Catches damaged data losing the rows that could be decoded, or garbage in the rest.
TEST(JpegImage, DamagedDataKeepsAFullSizeBitmapWithWhatCouldBeDecoded) {
  Bytes bytes = GradientPicture(64, 64);  // truncated: not a failure, the first rows are real
  int sos = test::FindMarker(bytes, 0xDA);
  JpegImage* image =
      Loaded(Bytes(bytes.begin(), bytes.begin() + sos + (bytes.size() - sos) * 3 / 4));
  EXPECT_EQ(WorstSample(image->Decode(), test::DecodeReference(bytes), 3, 0, 8), 0);
  EXPECT_FALSE(image->DecodeFailed);
  FreeObject(image);

  test::Decoded zero{40, 48, 3, Bytes(40 * 48 * 3)};
  image = Loaded(test::WithUndefinedTables(GradientPicture(40, 48)));  // fatal before any row
  EXPECT_EQ(WorstSample(image->Decode(), zero), 0);
  EXPECT_TRUE(image->DecodeFailed);

  // Fatal part-way (raised after 24 rows): the rows so far are kept, the rest stays zero.
  Bytes good = GradientPicture(40, 48);
  Stream* s = test::StreamOf(good);
  image->ReadFrom(s);
  FreeObject(s);
  EXPECT_FALSE(image->DecodeFailed);  // cleared by ReadFrom
  image->ProgressHook = [](j_common_ptr object) {
    if (reinterpret_cast<j_decompress_ptr>(object)->output_scanline >= 24)
      object->err->error_exit(object);
  };
  Bitmap* bitmap = image->Decode();
  EXPECT_TRUE(image->DecodeFailed);
  EXPECT_EQ(WorstSample(bitmap, test::DecodeReference(good), 3, 0, 16), 0);
  EXPECT_EQ(WorstSample(bitmap, zero, 3, 40, 48), 0);
  FreeObject(image);
}
