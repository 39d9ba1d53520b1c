// JpegImage: loading, decoding into bitmaps of each kind, encoding, writing back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "imaging/jpeg_image.h"
#include "jpeg_test_support.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

// Four flat quadrants of these colours (red, green, blue), each 32 x 24.
const uint8_t kQuadrants[4][3] = {{200, 30, 40}, {20, 180, 60}, {40, 50, 220}, {240, 230, 20}};

int QuadrantOf(int x, int y, int w, int h) { return (x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0); }

Bytes QuadrantPicture(int w, int h, const test::EncodeOptions& options = {}) {
  return test::EncodeJpeg(
      w, h, 3, [w, h](int x, int y, int c) { return kQuadrants[QuadrantOf(x, y, w, h)][c]; },
      options);
}

uint8_t Gradient(int x, int y, int c) {
  return static_cast<uint8_t>(c == 0 ? x * 3 : c == 1 ? y * 4 : 255 - (x + y));
}

Bytes GradientPicture(int w, int h, const test::EncodeOptions& options = {}) {
  return test::EncodeJpeg(w, h, 3, Gradient, options);
}

JpegImage* Loaded(const Bytes& bytes) {
  JpegImage* image = MakeJpegImage();
  Stream* s = test::StreamOf(bytes);
  image->ReadFrom(s);
  FreeObject(s);
  return image;
}

// The bitmap matches the reference decode exactly, with blue first in every pixel.
void ExpectSameAsReference(Bitmap* bitmap, const test::Decoded& ref) {
  ASSERT_EQ(bitmap->Width, ref.Width);
  ASSERT_EQ(bitmap->Height, ref.Height);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp24);
  int differing = 0;
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* row = bitmap->RowAddress(y);
    for (int x = 0; x < ref.Width; ++x)
      for (int c = 0; c < 3; ++c)
        if (row[x * 3 + 2 - c] != ref.At(x, y, c)) ++differing;
  }
  EXPECT_EQ(differing, 0);
}

TEST(JpegImage, NewObjectIsEmptyAndWritesNothing) {
  JpegImage* image = MakeJpegImage();
  EXPECT_EQ(image->Width(), 0u);
  EXPECT_EQ(image->Height(), 0u);
  EXPECT_TRUE(image->IsEmpty());
  EXPECT_EQ(image->Decode(), nullptr);
  Stream* out = MakeMemoryStream();
  image->WriteTo(out);
  EXPECT_EQ(out->Size(), 0u);
  std::string path = test::TempPath("empty.jpg");
  EXPECT_FALSE(image->WriteToFile(path.c_str()));
  EXPECT_FALSE(test::FileExists(path));
  FreeObject(out);
  FreeObject(image);
}

TEST(JpegImage, AFileThatCannotBeOpenedGivesAnEmptyPictureWithNoBytes) {
  Stream* missing = OpenFileForReading(test::TempPath("not_there.jpg").c_str());
  JpegImage* image = MakeJpegImage();
  image->ReadFrom(missing);
  EXPECT_TRUE(image->IsEmpty());
  EXPECT_EQ(image->Decode(), nullptr);
  Stream* out = MakeMemoryStream();
  image->WriteTo(out);
  EXPECT_EQ(out->Size(), 0u);
  FreeObject(out);
  FreeObject(image);
  FreeObject(missing);
}

TEST(JpegImage, ColourDecodesToBlueGreenRedRowsTopDown) {
  Bytes bytes = GradientPicture(72, 40);
  JpegImage* image = Loaded(bytes);
  EXPECT_EQ(image->Width(), 72u);
  EXPECT_EQ(image->Height(), 40u);
  EXPECT_FALSE(image->WriteProgressive);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ExpectSameAsReference(bitmap, test::DecodeReference(bytes));
  EXPECT_FALSE(image->DecodeFailed);
  FreeObject(image);

  // Flat areas come out as the colours they were made of.
  image = Loaded(QuadrantPicture(64, 48));
  bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  for (int q = 0; q < 4; ++q) {
    int x = (q & 1) ? 48 : 16, y = (q & 2) ? 36 : 12;
    const uint8_t* p = bitmap->RowAddress(y) + x * 3;
    EXPECT_NEAR(p[2], kQuadrants[q][0], 3) << "quadrant " << q;
    EXPECT_NEAR(p[1], kQuadrants[q][1], 3) << "quadrant " << q;
    EXPECT_NEAR(p[0], kQuadrants[q][2], 3) << "quadrant " << q;
  }
  FreeObject(image);
}

TEST(JpegImage, DecodeIsCachedAndNotRepeated) {
  JpegImage* image = Loaded(GradientPicture(16, 16));
  Bitmap* first = image->Decode();
  ASSERT_NE(first, nullptr);
  first->RowAddress(0)[0] ^= 0xFF;  // a second decode would overwrite this
  uint8_t marked = first->RowAddress(0)[0];
  EXPECT_EQ(image->Decode(), first);
  EXPECT_EQ(first->RowAddress(0)[0], marked);
  FreeObject(image);
}

TEST(JpegImage, GrayDecodesToEightBitsWithTheQuantizersGrayTable) {
  const uint8_t levels[4] = {30, 100, 170, 240};
  Bytes bytes = test::EncodeJpeg(
      64, 48, 1, [&](int x, int y, int) { return levels[QuadrantOf(x, y, 64, 48)]; });
  if (bytes.size() < 600) bytes = test::PaddedTo(bytes, 600);  // flat gray packs very small
  JpegImage* image = Loaded(bytes);
  EXPECT_TRUE(image->Data->StoredGray);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp8);
  const RGBQUAD* table = bitmap->Header->Colors;
  std::set<int> grays;
  for (int i = 0; i < 236; ++i) {
    EXPECT_EQ(table[i].rgbRed, table[i].rgbGreen);
    EXPECT_EQ(table[i].rgbRed, table[i].rgbBlue);
    grays.insert(table[i].rgbRed);
  }
  EXPECT_EQ(grays.size(), 236u);  // the quantizer's levels, all different
  for (int q = 0; q < 4; ++q) {
    int x0 = (q & 1) ? 40 : 8, y0 = (q & 2) ? 32 : 8;
    int sum = 0;
    for (int y = y0; y < y0 + 8; ++y)
      for (int x = x0; x < x0 + 8; ++x) sum += table[bitmap->RowAddress(y)[x]].rgbRed;
    EXPECT_NEAR(sum / 64.0, levels[q], 2.0) << "quadrant " << q;
  }
  FreeObject(image);
}

// Ink of each quadrant in C, M, Y, K (0 = none, 255 = full).
const uint8_t kInk[4][4] = {
    {0, 200, 180, 10}, {180, 0, 160, 40}, {200, 160, 0, 0}, {10, 20, 30, 100}};

Bytes CmykPicture(J_COLOR_SPACE fileSpace) {
  test::EncodeOptions options;
  options.FileSpace = fileSpace;
  // The file carries the Adobe marker, so its samples are stored inverted (255 = no ink).
  return test::EncodeJpeg(
      64, 48, 4,
      [](int x, int y, int c) {
        return static_cast<uint8_t>(255 - kInk[QuadrantOf(x, y, 64, 48)][c]);
      },
      options);
}

TEST(JpegImage, CmykAndYcckDecodeToFourSamplesThenTheHookMakesColours) {
  for (J_COLOR_SPACE space : {JCS_CMYK, JCS_YCCK}) {
    SCOPED_TRACE(space == JCS_CMYK ? "CMYK" : "YCCK");
    Bytes bytes = CmykPicture(space);

    JpegImage* raw = Loaded(bytes);
    raw->SetCmykHook(nullptr);
    Bitmap* samples = raw->Decode();
    ASSERT_NE(samples, nullptr);
    ASSERT_EQ(samples->CurrentFormat(), Bpp32);
    for (int q = 0; q < 4; ++q) {
      const uint8_t* p = samples->RowAddress((q & 2) ? 36 : 12) + ((q & 1) ? 48 : 16) * 4;
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(p[c], 255 - kInk[q][c], 3) << q << "/" << c;
    }
    FreeObject(raw);

    JpegImage* image = Loaded(bytes);
    Bitmap* colours = image->Decode();
    ASSERT_NE(colours, nullptr);
    for (int q = 0; q < 4; ++q) {
      const uint8_t* p = colours->RowAddress((q & 2) ? 36 : 12) + ((q & 1) ? 48 : 16) * 4;
      auto expected = [&](int c) { return (255 - kInk[q][c]) * (255 - kInk[q][3]) / 255.0; };
      EXPECT_NEAR(p[0], expected(2), 4) << "blue, quadrant " << q;
      EXPECT_NEAR(p[1], expected(1), 4) << "green, quadrant " << q;
      EXPECT_NEAR(p[2], expected(0), 4) << "red, quadrant " << q;
      EXPECT_EQ(p[3], 0);
    }
    EXPECT_FALSE(image->InCmykHook);
    FreeObject(image);
  }
}

TEST(JpegImage, ProgressiveFilesDecodeAlikeWholeOrScanByScan) {
  test::EncodeOptions progressive;
  progressive.Progressive = true;
  Bytes bytes = GradientPicture(80, 56, progressive);
  test::Decoded ref = test::DecodeReference(bytes);

  JpegImage* image = Loaded(bytes);
  EXPECT_TRUE(image->WriteProgressive);
  Bitmap* whole = image->Decode();
  ASSERT_NE(whole, nullptr);
  ExpectSameAsReference(whole, ref);

  // Scan by scan: intermediate passes are drawn, and the last one is the full decode.
  static int passes;
  passes = 0;
  JpegImage* scans = MakeJpegImage();
  scans->ScanByScan = true;
  scans->PaintHook = [](JpegImage*, const RECT*) { return 0; };
  scans->ProgressHook = [](j_common_ptr object) {
    auto* d = reinterpret_cast<j_decompress_ptr>(object);
    if (d->progress->completed_passes > passes) passes = d->progress->completed_passes;
  };
  Stream* s = test::StreamOf(bytes);
  scans->ReadFrom(s);
  Bitmap* drawn = scans->Decode();
  ASSERT_NE(drawn, nullptr);
  ExpectSameAsReference(drawn, ref);
  EXPECT_FALSE(scans->DecodeFailed);
  EXPECT_GT(passes, 1);

  // A baseline file loaded into the same object clears the flag.
  FreeObject(s);
  s = test::StreamOf(GradientPicture(8, 8));
  scans->ReadFrom(s);
  EXPECT_FALSE(scans->WriteProgressive);
  FreeObject(s);
  FreeObject(scans);
  FreeObject(image);
}

TEST(JpegImage, StopRequestedEndsAScanByScanDecodeWithAFullSizeBitmap) {
  test::EncodeOptions progressive;
  progressive.Progressive = true;
  Bytes bytes = GradientPicture(40, 32, progressive);
  static JpegImage* current;
  JpegImage* image = Loaded(bytes);
  current = image;
  image->ScanByScan = true;
  image->ProgressHook = [](j_common_ptr) { current->StopRequested = true; };
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 40);
  EXPECT_EQ(bitmap->Height, 32);
  EXPECT_TRUE(image->DecodeFailed);
  FreeObject(image);
}

TEST(JpegImage, WriteToAfterReadFromGivesBackExactlyTheBytesRead) {
  Bytes bytes = GradientPicture(48, 32);
  JpegImage* image = Loaded(bytes);
  image->Decode();
  Stream* out = MakeMemoryStream();
  out->Write("ab", 2);  // written at the stream's position, after what is there
  image->WriteTo(out);
  Bytes written = test::BytesOf(out);
  ASSERT_EQ(written.size(), bytes.size() + 2);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), written.begin() + 2));
  FreeObject(out);

  // From a stream positioned after some other bytes only the rest is taken.
  Bytes prefixed(300, 0x55);
  prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
  Stream* in = test::StreamOf(prefixed);
  in->SetPosition(300);
  JpegImage* second = MakeJpegImage();
  second->ReadFrom(in);
  EXPECT_EQ(second->Width(), 48u);
  out = MakeMemoryStream();
  second->WriteTo(out);
  EXPECT_EQ(test::BytesOf(out), bytes);
  FreeObject(out);
  FreeObject(in);
  FreeObject(second);
  FreeObject(image);
}

TEST(JpegImage, DataOf450BytesOrLessIsNeverParsed) {
  Bytes small = test::EncodeJpeg(8, 8, 1, [](int x, int, int) { return uint8_t(x * 30); });
  ASSERT_LT(small.size(), 440u);
  Bytes parsed = test::PaddedTo(small, 451);
  Bytes ignored = test::PaddedTo(small, 450);
  ASSERT_EQ(parsed.size(), 451u);
  ASSERT_EQ(ignored.size(), 450u);

  JpegImage* image = Loaded(parsed);
  EXPECT_EQ(image->Width(), 8u);
  EXPECT_EQ(image->Height(), 8u);
  EXPECT_NE(image->Decode(), nullptr);
  FreeObject(image);

  image = Loaded(ignored);
  EXPECT_EQ(image->Width(), 0u);
  EXPECT_TRUE(image->IsEmpty());
  EXPECT_EQ(image->Decode(), nullptr);
  Stream* out = MakeMemoryStream();
  image->WriteTo(out);
  EXPECT_EQ(test::BytesOf(out), ignored);  // the bytes are kept all the same
  FreeObject(out);
  FreeObject(image);
}

// Quantization table 0 of a baseline file, as stored (zig-zag order).
std::vector<int> LuminanceTable(const Bytes& bytes) {
  int dqt = test::FindMarker(bytes, 0xDB);
  if (dqt < 0 || (bytes[dqt + 4] & 0xF0) != 0) return {};
  return std::vector<int>(bytes.begin() + dqt + 5, bytes.begin() + dqt + 5 + 64);
}

// The table libjpeg itself writes at quality (4:2:0 or not makes no difference to it).
std::vector<int> LibraryTableAtQuality(int quality) {
  test::EncodeOptions options;
  options.Quality = quality;
  return LuminanceTable(test::EncodeJpeg(8, 8, 3, Gradient, options));
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
  EXPECT_EQ(image->Data->Compressed, nullptr);
  Stream* out = MakeMemoryStream();
  image->WriteTo(out);
  Bytes bytes = test::BytesOf(out);

  ASSERT_GT(bytes.size(), 20u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  int app0 = test::FindMarker(bytes, 0xE0);
  ASSERT_GT(app0, 0);
  EXPECT_EQ(std::string(bytes.begin() + app0 + 4, bytes.begin() + app0 + 9),
            std::string("JFIF\0", 5));
  int sof = test::FindMarker(bytes, 0xC0);
  ASSERT_GT(sof, 0) << "baseline frame";
  EXPECT_EQ(test::FindMarker(bytes, 0xC2), -1);
  EXPECT_EQ(bytes[sof + 9], 3) << "three components";
  EXPECT_EQ(LuminanceTable(bytes), LibraryTableAtQuality(90));

  test::Decoded back = test::DecodeReference(bytes);
  EXPECT_EQ(back.Width, 50);
  EXPECT_EQ(back.Height, 30);
  double error = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x)
      for (int c = 0; c < 3; ++c) error += std::abs(back.At(x, y, c) - Gradient(x, y, c));
  EXPECT_LT(error / (50 * 30 * 3), 3.0);

  // The caller's bitmap is untouched and the bytes stay: a second WriteTo writes the same.
  EXPECT_EQ(source->RowAddress(0)[2], Gradient(0, 0, 0));
  Stream* again = MakeMemoryStream();
  image->WriteTo(again);
  EXPECT_EQ(test::BytesOf(again), bytes);
  FreeObject(again);
  FreeObject(out);
  FreeObject(image);
  FreeObject(source);
}

TEST(JpegImage, EncodeFromAScreenBitmapKeepsItsColour) {
  Bitmap* screen = MakeBitmap(40, 24);
  Canvas* canvas = screen->GetCanvas();
  ASSERT_NE(canvas, nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(200, 50, 100));
  RECT all = {0, 0, 40, 24};
  FillRect(canvas->CanvasDC(), &all, brush);
  DeleteObject(brush);

  JpegImage* image = MakeJpegImage();
  image->SetFromBitmap(screen);
  FreeObject(screen);
  Stream* out = MakeMemoryStream();
  image->WriteTo(out);
  test::Decoded back = test::DecodeReference(test::BytesOf(out));
  ASSERT_EQ(back.Width, 40);
  ASSERT_EQ(back.Height, 24);
  EXPECT_NEAR(back.At(20, 12, 0), 200, 4);
  EXPECT_NEAR(back.At(20, 12, 1), 50, 4);
  EXPECT_NEAR(back.At(20, 12, 2), 100, 4);
  FreeObject(out);
  FreeObject(image);
}

TEST(JpegImage, WriteToFileWritesTheBytesAndReportsFailure) {
  Bytes bytes = GradientPicture(24, 16);
  JpegImage* image = Loaded(bytes);
  std::string path = test::TempPath("written.jpg");
  ASSERT_TRUE(image->WriteToFile(path.c_str()));
  Stream* file = OpenFileForReading(path.c_str());
  Bytes read(file->Size());
  file->Read(read.data(), static_cast<uint32_t>(read.size()));
  FreeObject(file);
  EXPECT_EQ(read, bytes);
  DeleteFileA(path.c_str());

  std::string missingFolder = test::TempPath("no_such_folder") + "\\x.jpg";
  EXPECT_FALSE(image->WriteToFile(missingFolder.c_str()));
  EXPECT_FALSE(test::FileExists(missingFolder));
  FreeObject(image);
}

TEST(JpegImage, TruncatedFileDecodesToFullSizeWithoutFailure) {
  Bytes bytes = GradientPicture(64, 64);
  test::Decoded ref = test::DecodeReference(bytes);
  int sos = test::FindMarker(bytes, 0xDA);
  Bytes cut(bytes.begin(), bytes.begin() + sos + (bytes.size() - sos) * 3 / 4);
  JpegImage* image = Loaded(cut);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 64);
  EXPECT_EQ(bitmap->Height, 64);
  EXPECT_FALSE(image->DecodeFailed);
  for (int y = 0; y < 8; ++y)  // the rows before the cut are the real ones
    for (int x = 0; x < 64; ++x) ASSERT_EQ(bitmap->RowAddress(y)[x * 3 + 2], ref.At(x, y, 0));
  FreeObject(image);
}

TEST(JpegImage, FatalErrorsLeaveAFullSizeBitmapWithZeroRowsAndDecodeFailed) {
  // A scan that uses Huffman tables the file never defines: fatal before any row.
  Bytes bytes = GradientPicture(32, 16);
  int sos = test::FindMarker(bytes, 0xDA);
  ASSERT_GT(sos, 0);
  for (int i = 0; i < bytes[sos + 4]; ++i) bytes[sos + 6 + 2 * i] = 0x33;
  JpegImage* image = Loaded(bytes);
  EXPECT_EQ(image->Width(), 32u);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 32);
  EXPECT_EQ(bitmap->Height, 16);
  EXPECT_TRUE(image->DecodeFailed);
  int nonzero = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32 * 3; ++x) nonzero += bitmap->RowAddress(y)[x] != 0;
  EXPECT_EQ(nonzero, 0);

  // A fatal error part-way (here raised by a progress monitor after 24 rows) keeps the
  // rows decoded so far and leaves the rest zero.
  Bytes good = GradientPicture(40, 48);
  test::Decoded ref = test::DecodeReference(good);
  Stream* s = test::StreamOf(good);
  image->ReadFrom(s);
  EXPECT_FALSE(image->DecodeFailed);  // cleared by ReadFrom
  image->ProgressHook = [](j_common_ptr object) {
    auto* d = reinterpret_cast<j_decompress_ptr>(object);
    if (d->output_scanline >= 24) object->err->error_exit(object);
  };
  bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(image->DecodeFailed);
  EXPECT_EQ(bitmap->RowAddress(0)[2], ref.At(0, 0, 0));
  EXPECT_EQ(bitmap->RowAddress(10)[5 * 3 + 1], ref.At(5, 10, 1));
  nonzero = 0;
  for (int y = 40; y < 48; ++y)
    for (int x = 0; x < 40 * 3; ++x) nonzero += bitmap->RowAddress(y)[x] != 0;
  EXPECT_EQ(nonzero, 0);
  FreeObject(s);
  FreeObject(image);
}

TEST(JpegImage, ScaleShiftDecodesAtAFractionOfTheSize) {
  JpegImage* image = Loaded(GradientPicture(64, 48));
  image->SetScaleShift(1);
  EXPECT_EQ(image->Width(), 32u);
  EXPECT_EQ(image->Height(), 24u);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width, 32);
  EXPECT_EQ(bitmap->Height, 24);
  // New bytes bring their own size.
  Stream* s = test::StreamOf(GradientPicture(40, 16));
  image->ReadFrom(s);
  EXPECT_EQ(image->Width(), 20u);
  EXPECT_EQ(image->Height(), 8u);
  FreeObject(s);
  FreeObject(image);
}

TEST(JpegImage, OutputDepth8QuantizesColoursAndClearImageEmpties) {
  JpegImage* image = Loaded(QuadrantPicture(64, 48));
  static int changes;
  changes = 0;
  image->SetChangeHandler(MakeCallback(
      nullptr, +[](void*, JpegImage*) { ++changes; }));
  image->SetOutputDepth(Depth8);
  EXPECT_GE(changes, 1);
  Bitmap* bitmap = image->Decode();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->CurrentFormat(), Bpp8);
  const RGBQUAD* table = bitmap->Header->Colors;
  for (int q = 0; q < 4; ++q) {
    int x0 = (q & 1) ? 40 : 8, y0 = (q & 2) ? 28 : 4;
    double r = 0, g = 0, b = 0;
    for (int y = y0; y < y0 + 8; ++y)
      for (int x = x0; x < x0 + 8; ++x) {
        const RGBQUAD& e = table[bitmap->RowAddress(y)[x]];
        r += e.rgbRed, g += e.rgbGreen, b += e.rgbBlue;
      }
    EXPECT_NEAR(r / 64, kQuadrants[q][0], 8) << "quadrant " << q;
    EXPECT_NEAR(g / 64, kQuadrants[q][1], 8) << "quadrant " << q;
    EXPECT_NEAR(b / 64, kQuadrants[q][2], 8) << "quadrant " << q;
  }
  image->ClearImage();
  EXPECT_TRUE(image->IsEmpty());
  EXPECT_EQ(image->Decode(), nullptr);
  FreeObject(image);
}

}  // namespace
}  // namespace velmora
