// Bitmap under real GDI: DIB row layout, storage states and their transitions, format and
// kind conversions that keep the picture, and sizes that cannot be allocated.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"
#include "toolkit/bitmap.h"

using namespace velmora;
using velmora::test::Surface;

namespace {

// A colour that differs for every pixel of the small pictures used here.
COLORREF PatternColor(int x, int y) {
  return RGB(10 + x * 37 % 240, 20 + y * 53 % 230, 30 + (x * 7 + y * 11) % 220);
}

COLORREF Pixel(Bitmap* b, int x, int y, int bytesPerPixel = 3) {
  GdiFlush();
  const uint8_t* p = b->RowAddress(y) + x * bytesPerPixel;
  return RGB(p[2], p[1], p[0]);
}

// Largest channel difference between the pattern and colour(x, y) over w x h pixels.
template <typename ColourAt>
int PatternError(int w, int h, ColourAt colour) {
  int worst = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int(colour(x, y) >> shift & 0xFF) -
                                         int(PatternColor(x, y) >> shift & 0xFF)));
  return worst;
}
int PatternError(Bitmap* b, int w, int h, int bytesPerPixel = 3) {
  return PatternError(w, h, [&](int x, int y) { return Pixel(b, x, y, bytesPerPixel); });
}
int PatternError(const Surface& s, int w, int h) {
  return PatternError(w, h, [&](int x, int y) { return s.At(x, y); });
}

Bitmap* PatternBitmap24(int w, int h) {
  Bitmap* b = MakeDibBitmap(w, h, Bpp24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      COLORREF c = PatternColor(x, y);
      uint8_t* p = b->RowAddress(y) + x * 3;
      p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
    }
  return b;
}

// A device-dependent bitmap with the pattern drawn through its canvas.
Bitmap* PatternDdb(int w, int h) {
  Bitmap* b = MakeBitmap(w, h);
  for (int y = 0; b->GetCanvas() && y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(b->GetCanvas()->DC, x, y, PatternColor(x, y));
  return b;
}

bool ScreenHoldsExactColours() {
  HDC screen = GetDC(nullptr);
  int bpp = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return bpp >= 24;
}

std::vector<std::string> g_reports;  // "file:message" of each assertion report
void CollectReport(const std::string& message, const char* file, int line) {
  g_reports.push_back(std::string(file) + (line > 0 ? ":" : ":no line:") + message);
}

}  // namespace

TEST(BitmapRows, RowsArePaddedToFourBytesStoredBottomUpAndSeenTopDownByGdi) {
  for (PixelFormat f : {Bpp1, Bpp4, Bpp8, Bpp15, Bpp16, Bpp24, Bpp32}) {
    for (int w = 1; w <= 9; ++w) {
      const int h = 3;
      SCOPED_TRACE(testing::Message() << "format " << int(f) << " width " << w);
      Bitmap* b = MakeDibBitmap(w, h, f);
      uint32_t row = (static_cast<uint32_t>(w * BitsPerPixel(f) + 7) / 8 + 3) / 4 * 4;
      EXPECT_EQ(b->RowSize(), row);
      EXPECT_EQ(b->BitsSize, row * h);
      EXPECT_EQ(b->CurrentFormat(), f);
      EXPECT_EQ(b->RowAddress(0), b->Bits + row * (h - 1));  // the top row is stored last
      EXPECT_EQ(b->RowAddress(h - 1), b->Bits);
      EXPECT_EQ(b->RowAddress(-1), nullptr);
      EXPECT_EQ(b->RowAddress(h), nullptr);
      EXPECT_EQ(std::count(b->Bits, b->Bits + b->BitsSize, 0), static_cast<ptrdiff_t>(row * h));
      b->Free();
    }
  }
  // Drawn by StretchDIBits (no section needed) and by BitBlt from a section, row 0 is the top.
  const int w = 5, h = 4;
  Bitmap* b = PatternBitmap24(w, h);
  Surface s(w + 2, h + 1);
  b->DrawAt(s.dc(), 0, 0);
  EXPECT_EQ(PatternError(s, w, h), 0);
  EXPECT_EQ(s.At(w + 1, h), RGB(1, 2, 3));
  EXPECT_EQ(b->Handle, nullptr);
  ASSERT_NE(b->EnsureHandle(), nullptr);
  s.Fill(RGB(1, 2, 3));
  b->DrawAt(s.dc(), 0, 0);
  EXPECT_EQ(PatternError(s, w, h), 0);
  b->Free();
}

TEST(BitmapEmpty, EmptyOrUnallocatableSizesLeaveAnEmptyUsableBitmap) {
  struct Case {
    int32_t w, h;
    PixelFormat f;
  } cases[] = {{0, 5, DeviceDependent},        {7, 0, Bpp24},         {-4, 3, Bpp24},
               {3, -4, DeviceDependent},       {65535, 65535, Bpp24}, {65535, 65535, Bpp32},
               {0x7FFFFFFF, 2, Bpp32},         {2, 0x7FFFFFFF, Bpp8}, {46341, 46341, Bpp8},
               {65535, 65535, DeviceDependent}};
  Bitmap* small = PatternBitmap24(3, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " format " << int(c.f));
    Bitmap* b = c.f == DeviceDependent ? MakeBitmap(c.w, c.h) : MakeDibBitmap(c.w, c.h, c.f);
    EXPECT_TRUE(b->IsEmptyBitmap());
    EXPECT_EQ(b->Bits, nullptr);
    EXPECT_EQ(b->RowAddress(0), nullptr);
    EXPECT_EQ(b->EnsureHandle(), nullptr);
    EXPECT_EQ(b->GetCanvas(), nullptr);
    b->DrawAt(nullptr, 0, 0);
    b->ChangeFormat(Bpp32);
    EXPECT_EQ(b->Header, nullptr);
    EXPECT_TRUE(b->AssignFrom(small));  // still usable: it becomes a copy of a real picture
    EXPECT_EQ(PatternError(b, 3, 2), 0);
    b->Free();
  }
  small->Free();
}

TEST(BitmapEmpty, SizeChangesKeepThePictureEvenWhenTheyCannotBeAllocated) {
  const int w = 4, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  b->SetWidth(0x7FFFFFFF);
  EXPECT_EQ(b->Width, w);
  EXPECT_EQ(b->CurrentFormat(), Bpp24);
  EXPECT_EQ(PatternError(b, w, h), 0);
  b->SetHeight(0x7FFFFFFF);  // becomes device-dependent first, then the growth fails
  EXPECT_EQ(b->Height, h);
  ASSERT_NE(b->Handle, nullptr);
  if (ScreenHoldsExactColours()) {
    b->ChangeFormat(Bpp24);
    EXPECT_EQ(PatternError(b, w, h), 0);
    // Growth that succeeds fills the new area with BackColor.
    b->BackColor = RGB(7, 77, 177);
    b->SetHeight(h + 2);
    b->SetWidth(w + 1);
    EXPECT_EQ(b->HandleKind, Ddb);
    b->ChangeFormat(Bpp24);
    EXPECT_EQ(b->Header->Info.biWidth, w + 1);
    EXPECT_EQ(b->Header->Info.biHeight, h + 2);
    EXPECT_EQ(Pixel(b, w, 0), RGB(7, 77, 177));
    EXPECT_EQ(Pixel(b, 0, h + 1), RGB(7, 77, 177));
  }
  b->Free();
}

TEST(BitmapStates, SectionMemoryAndDeviceTransitionsKeepThePixels) {
  const int w = 6, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  HBITMAP section = b->EnsureHandle();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(b->EnsureHandle(), section);
  DIBSECTION info{};
  ASSERT_EQ(GetObjectA(section, sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(info.dsBm.bmBits, b->Bits);
  EXPECT_EQ(PatternError(b, w, h), 0);

  b->DropHandleKeepPixels();
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_FALSE(b->BitsInSection);
  EXPECT_EQ(GetObjectType(section), 0u);
  EXPECT_EQ(PatternError(b, w, h), 0);

  // ReleaseHandle hands a section with the picture to the caller; the bitmap keeps a copy.
  HBITMAP given = b->ReleaseHandle();
  ASSERT_EQ(GetObjectA(given, sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(PatternError(b, w, h), 0);
  EXPECT_TRUE(std::equal(b->Bits, b->Bits + b->BitsSize, static_cast<uint8_t*>(info.dsBm.bmBits)));
  DeleteObject(given);

  // Freed while its canvas holds the section selected: the section is deleted all the same.
  ASSERT_NE(b->GetCanvas(), nullptr);
  HBITMAP selected = b->Handle;
  b->Free();
  EXPECT_EQ(GetObjectType(selected), 0u);

  // A device bitmap moved to plain memory keeps its picture (default 16-bit storage).
  Bitmap* ddb = PatternDdb(w, h);
  HBITMAP device = ddb->Handle;
  ddb->DropHandleKeepPixels();
  EXPECT_EQ(ddb->HandleKind, Dib);
  EXPECT_EQ(GetObjectType(device), 0u);
  ASSERT_NE(ddb->Bits, nullptr);
  EXPECT_EQ(ddb->CurrentFormat(), Bpp15);
  Surface s(w, h);
  ddb->DrawAt(s.dc(), 0, 0);
  EXPECT_LE(PatternError(s, w, h), ScreenHoldsExactColours() ? 8 : 255);
  ddb->Free();
}

TEST(BitmapStates, ColourEntryOnASectionMovesPixelsBackAndTakesEffect) {
  const int w = 4, h = 2;
  Bitmap* b = MakeDibBitmap(w, h, Bpp8);
  for (int i = 0; i < w * h; ++i) {
    b->RowAddress(i / w)[i % w] = static_cast<uint8_t>(i);
    b->SetColorEntry(i, PatternColor(i % w, i / w));
  }
  std::vector<uint8_t> before(b->Bits, b->Bits + b->BitsSize);
  HBITMAP section = b->EnsureHandle();
  ASSERT_NE(section, nullptr);
  b->SetColorEntry(0, RGB(200, 100, 50));
  b->SetColorEntry(-1, RGB(1, 1, 1));  // out of range: ignored
  b->SetColorEntry(256, RGB(1, 1, 1));
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(GetObjectType(section), 0u);
  EXPECT_EQ(std::vector<uint8_t>(b->Bits, b->Bits + b->BitsSize), before);
  Surface s(w, h);
  ASSERT_NE(b->GetCanvas(), nullptr);  // the next section uses the new table
  b->DrawAt(s.dc(), 0, 0);
  EXPECT_EQ(s.At(0, 0), RGB(200, 100, 50));
  EXPECT_EQ(s.At(2, 1), PatternColor(2, 1));
  b->ChangeFormat(Bpp24);  // converted through the colour table
  EXPECT_EQ(Pixel(b, 0, 0), RGB(200, 100, 50));
  EXPECT_EQ(Pixel(b, 3, 1), PatternColor(3, 1));
  b->Free();
}

TEST(BitmapFormats, ConversionsThroughGdiKeepThePicture) {
  const int w = 5, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  b->ChangeFormat(Bpp32);
  EXPECT_EQ(b->CurrentFormat(), Bpp32);
  EXPECT_EQ(b->RowSize(), static_cast<uint32_t>(w * 4));
  EXPECT_EQ(PatternError(b, w, h, 4), 0);
  b->ChangeFormat(Bpp15);  // to 16 bits and back loses the low bits of each channel only
  EXPECT_EQ(b->CurrentFormat(), Bpp15);
  b->ChangeFormat(Bpp24);
  EXPECT_LE(PatternError(b, w, h), 8);
  b->ChangeFormat(DeviceDependent);
  EXPECT_EQ(b->HandleKind, Ddb);
  EXPECT_EQ(b->Bits, nullptr);
  EXPECT_NE(b->Handle, nullptr);
  b->Free();
}

TEST(BitmapCopies, AssignFromCopiesPixelsOfEitherKindAndRefusesMissingSources) {
  Bitmap* source = PatternBitmap24(4, 3);
  ASSERT_NE(source->EnsureHandle(), nullptr);  // copy from a section
  Bitmap* copy = MakeDibBitmap(9, 9, Bpp8);
  ASSERT_TRUE(copy->AssignFrom(source));
  EXPECT_EQ(copy->Width, 4);
  EXPECT_EQ(copy->Height, 3);
  EXPECT_NE(copy->Bits, source->Bits);
  EXPECT_EQ(PatternError(copy, 4, 3), 0);
  EXPECT_TRUE(copy->AssignFrom(copy));  // onto itself: unchanged
  EXPECT_EQ(PatternError(copy, 4, 3), 0);
  copy->RowAddress(0)[0] ^= 0xFF;
  EXPECT_EQ(Pixel(source, 0, 0), PatternColor(0, 0));  // separate pixels

  Bitmap* empty = MakeBitmap(0, 0);
  for (Bitmap* missing : {static_cast<Bitmap*>(nullptr), empty}) {
    ASSERT_TRUE(copy->AssignFrom(source));
    EXPECT_FALSE(copy->AssignFrom(missing));
    EXPECT_TRUE(copy->IsEmptyBitmap());
    EXPECT_EQ(copy->Bits, nullptr);
  }

  // A copy of a device-dependent bitmap converts to blue-green-red rows of its picture.
  if (ScreenHoldsExactColours()) {
    const int w = 7, h = 5;
    Bitmap* ddb = PatternDdb(w, h);
    Canvas* canvas = ddb->GetCanvas();
    ASSERT_NE(canvas, nullptr);
    ASSERT_TRUE(empty->AssignFrom(ddb));
    EXPECT_EQ(empty->HandleKind, Ddb);
    EXPECT_NE(empty->Handle, ddb->Handle);
    empty->ChangeFormat(Bpp24);
    EXPECT_EQ(empty->CurrentFormat(), Bpp24);
    EXPECT_EQ(PatternError(empty, w, h), 0);
    ASSERT_EQ(ddb->GetCanvas(), canvas);  // the source's canvas still draws
    SetPixel(canvas->DC, 0, 0, RGB(9, 9, 9));
    EXPECT_EQ(GetPixel(canvas->DC, 0, 0), RGB(9, 9, 9));
    EXPECT_EQ(GetPixel(canvas->DC, 1, 0), PatternColor(1, 0));
    ddb->Free();
  }
  empty->Free();
  copy->Free();
  source->Free();
}

TEST(BitmapCanvas, CanvasDrawsIntoThePixelsAndFollowsItsBrushColour) {
  Bitmap* b = MakeDibBitmap(6, 4, Bpp24);
  b->BackColor = RGB(0, 128, 255);
  ASSERT_NE(b->GetCanvas(), nullptr);
  EXPECT_EQ(b->GetCanvas()->CanvasBrush()->GetColor(), b->BackColor);
  b->GetCanvas()->CanvasBrush()->SetColor(RGB(250, 20, 40));
  b->GetCanvas()->FillRectangle(RECT{0, 0, 6, 1});
  EXPECT_EQ(b->BackColor, RGB(250, 20, 40));  // learnt through the canvas's OnChange
  EXPECT_EQ(Pixel(b, 5, 0), RGB(250, 20, 40));
  EXPECT_EQ(Pixel(b, 0, 1), RGB(0, 0, 0));
  // After the pixels moved back to memory, the next canvas selects the new section.
  b->DropHandleKeepPixels();
  EXPECT_EQ(b->OwnCanvas, nullptr);
  ASSERT_NE(b->GetCanvas(), nullptr);
  b->GetCanvas()->FillRectangle(RECT{0, 1, 6, 2});
  EXPECT_EQ(Pixel(b, 3, 1), RGB(250, 20, 40));
  EXPECT_EQ(Pixel(b, 3, 2), RGB(0, 0, 0));
  b->Free();
}

TEST(BitmapReports, UnusableHeadersAreReportedAndKeepThePixelsInMemory) {
  AssertionReportProc saved = std::exchange(AssertionReportHook, &CollectReport);
  g_reports.clear();
  Bitmap* b = MakeDibBitmap(4, 4, Bpp16);
  b->Header->Info.biCompression = BI_RLE8;  // a 16-bit header no GDI accepts
  uint8_t* bits = b->Bits;
  EXPECT_EQ(b->CurrentFormat(), Bpp16);
  EXPECT_EQ(b->EnsureHandle(), nullptr);
  EXPECT_EQ(b->GetCanvas(), nullptr);
  Surface s(4, 4);
  b->DrawAt(s.dc(), 0, 0);
  AssertionReportHook = saved;
  ASSERT_GE(g_reports.size(), 2u);
  EXPECT_EQ(g_reports[0], "bitmap.cpp:Unsupported bitmap format");
  EXPECT_EQ(g_reports[1].rfind("bitmap.cpp:Can not create DIB section, error: ", 0), 0u);
  EXPECT_EQ(b->Bits, bits);
  EXPECT_EQ(b->Handle, nullptr);
  b->Free();
}
