// Bitmap under real GDI: DIB row layout, the three storage states and their transitions,
// format and kind conversions that keep the picture, and sizes that cannot be allocated.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "toolkit/bitmap.h"

using namespace velmora;

namespace {

// A top-down 32-bit DIB section on its own memory DC, read straight from its pixels; the
// independent witness of what GDI drew.
class Surface {
 public:
  Surface(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~Surface() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    GdiFlush();
    uint32_t v = pixels_[y * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  void Fill(COLORREF c) {
    HBRUSH brush = CreateSolidBrush(c);
    RECT all{0, 0, width_, height_};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
    GdiFlush();
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
  uint32_t* pixels_;
};

// A colour that differs for every pixel of the small pictures used here.
COLORREF PatternColor(int x, int y) {
  return RGB(10 + x * 37 % 240, 20 + y * 53 % 230, 30 + (x * 7 + y * 11) % 220);
}

void PutPixel24(Bitmap* b, int x, int y, COLORREF c) {
  uint8_t* p = b->RowAddress(y) + x * 3;
  p[0] = GetBValue(c);
  p[1] = GetGValue(c);
  p[2] = GetRValue(c);
}

COLORREF Pixel24(Bitmap* b, int x, int y) {
  GdiFlush();
  const uint8_t* p = b->RowAddress(y) + x * 3;
  return RGB(p[2], p[1], p[0]);
}

COLORREF Pixel32(Bitmap* b, int x, int y) {
  GdiFlush();
  const uint8_t* p = b->RowAddress(y) + x * 4;
  return RGB(p[2], p[1], p[0]);
}

Bitmap* PatternBitmap24(int w, int h) {
  Bitmap* b = MakeDibBitmap(w, h, Bpp24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) PutPixel24(b, x, y, PatternColor(x, y));
  return b;
}

void ExpectPattern24(Bitmap* b, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(Pixel24(b, x, y), PatternColor(x, y)) << "pixel " << x << "," << y;
}

void ExpectPatternOn(const Surface& s, int w, int h, int dx = 0, int dy = 0) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(s.At(x + dx, y + dy), PatternColor(x, y)) << "pixel " << x << "," << y;
}

std::vector<uint8_t> PixelBytes(Bitmap* b) {
  GdiFlush();
  return std::vector<uint8_t>(b->Bits, b->Bits + b->BitsSize);
}

int ScreenBitsPerPixel() {
  HDC screen = GetDC(nullptr);
  int bpp = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return bpp;
}

struct Report {
  std::string message;
  std::string file;
  int line = 0;
};
std::vector<Report>* g_reports = nullptr;

void CollectReport(const std::string& message, const char* file, int line) {
  if (g_reports) g_reports->push_back({message, file, line});
}

// Collects assertion reports for the life of the scope.
struct ReportScope {
  std::vector<Report> reports;
  AssertionReportProc saved;
  ReportScope() : saved(AssertionReportHook) {
    g_reports = &reports;
    AssertionReportHook = &CollectReport;
  }
  ~ReportScope() {
    AssertionReportHook = saved;
    g_reports = nullptr;
  }
};

}  // namespace

TEST(BitmapRows, RowsArePaddedToFourBytesAndAddressedTopDown) {
  const PixelFormat formats[] = {Bpp1, Bpp4, Bpp8, Bpp15, Bpp16, Bpp24, Bpp32};
  for (PixelFormat f : formats) {
    for (int w = 1; w <= 9; ++w) {
      const int h = 3;
      Bitmap* b = MakeDibBitmap(w, h, f);
      int bitsPerRow = w * BitsPerPixel(f);
      uint32_t expectedRow = static_cast<uint32_t>((bitsPerRow + 7) / 8);
      expectedRow = (expectedRow + 3) / 4 * 4;
      SCOPED_TRACE(testing::Message() << "format " << int(f) << " width " << w);
      EXPECT_EQ(b->RowSize(), expectedRow);
      EXPECT_EQ(b->BitsSize, expectedRow * h);
      EXPECT_EQ(b->CurrentFormat(), f);
      // Bottom-up storage: the top row is stored last.
      EXPECT_EQ(b->RowAddress(0), b->Bits + expectedRow * (h - 1));
      EXPECT_EQ(b->RowAddress(h - 1), b->Bits);
      EXPECT_EQ(b->RowAddress(1) - b->RowAddress(0), -static_cast<ptrdiff_t>(expectedRow));
      EXPECT_EQ(b->RowAddress(-1), nullptr);
      EXPECT_EQ(b->RowAddress(h), nullptr);
      EXPECT_EQ(b->Handle, nullptr);
      // New pixels are zero.
      std::vector<uint8_t> bytes = PixelBytes(b);
      EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<ptrdiff_t>(bytes.size()));
      b->Free();
    }
  }
}

TEST(BitmapRows, GdiSeesRowZeroAsTheTopOfThePicture) {
  const int w = 5, h = 4;
  Bitmap* b = PatternBitmap24(w, h);
  Surface s(w + 3, h + 2);
  s.Fill(RGB(1, 2, 3));
  b->DrawAt(s.dc(), 2, 1);
  ExpectPatternOn(s, w, h, 2, 1);
  EXPECT_EQ(s.At(0, 0), RGB(1, 2, 3));
  // StretchDIBits drew it: no DIB section was needed.
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_FALSE(b->BitsInSection);

  // The same picture through a DIB section and BitBlt.
  ASSERT_NE(b->EnsureHandle(), nullptr);
  s.Fill(RGB(1, 2, 3));
  b->DrawAt(s.dc(), 0, 0);
  ExpectPatternOn(s, w, h);
  b->Free();
}

TEST(BitmapRows, FormatWithoutBitsBecomesFiveSixFiveWithMasks) {
  Bitmap* b = MakeDibBitmap(4, 2, DeviceDependent);
  ASSERT_NE(b->Header, nullptr);
  EXPECT_EQ(b->Header->Info.biBitCount, 16);
  EXPECT_EQ(b->Header->Info.biCompression, static_cast<DWORD>(BI_BITFIELDS));
  DWORD masks[3];
  std::memcpy(masks, b->Header->Colors, sizeof(masks));
  EXPECT_EQ(masks[0], 0xF800u);
  EXPECT_EQ(masks[1], 0x07E0u);
  EXPECT_EQ(masks[2], 0x001Fu);
  EXPECT_EQ(b->CurrentFormat(), Bpp16);
  EXPECT_EQ(b->Header->Info.biHeight, 2);  // positive: stored bottom-up
  b->Free();
}

TEST(BitmapEmpty, ZeroAndNegativeSizesGiveEmptyUsableBitmaps) {
  Bitmap* ddb = MakeBitmap(0, 5);
  EXPECT_TRUE(ddb->IsEmptyBitmap());
  EXPECT_EQ(ddb->Handle, nullptr);
  EXPECT_EQ(ddb->GetCanvas(), nullptr);
  EXPECT_EQ(ddb->EnsureHandle(), nullptr);
  ddb->DrawAt(nullptr, 0, 0);
  ddb->Free();

  Bitmap* dib = MakeDibBitmap(7, 0, Bpp24);
  EXPECT_TRUE(dib->IsEmptyBitmap());
  EXPECT_EQ(dib->RowAddress(0), nullptr);
  EXPECT_EQ(dib->RowSize(), 0u);
  EXPECT_EQ(dib->CurrentFormat(), DeviceDependent);
  dib->ChangeFormat(Bpp32);
  EXPECT_EQ(dib->Header, nullptr);
  dib->Free();

  Bitmap* negative = MakeDibBitmap(-4, 3, Bpp24);
  EXPECT_TRUE(negative->IsEmptyBitmap());
  EXPECT_EQ(negative->RowAddress(0), nullptr);
  negative->Free();
  Bitmap* negativeDdb = MakeBitmap(3, -4);
  EXPECT_TRUE(negativeDdb->IsEmptyBitmap());
  EXPECT_EQ(negativeDdb->Handle, nullptr);
  negativeDdb->Free();
}

TEST(BitmapEmpty, SizesThatCannotBeAllocatedLeaveAnEmptyUsableBitmap) {
  struct Case {
    int32_t w, h;
    PixelFormat f;
  };
  const Case cases[] = {{65535, 65535, Bpp24},
                        {65535, 65535, Bpp32},
                        {0x7FFFFFFF, 2, Bpp32},
                        {2, 0x7FFFFFFF, Bpp8},
                        {46341, 46341, Bpp8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    Bitmap* b = MakeDibBitmap(c.w, c.h, c.f);
    EXPECT_TRUE(b->IsEmptyBitmap());
    EXPECT_EQ(b->RowAddress(0), nullptr);
    EXPECT_EQ(b->Bits, nullptr);
    EXPECT_EQ(b->EnsureHandle(), nullptr);
    EXPECT_EQ(b->GetCanvas(), nullptr);
    // Still usable: it can become a copy of a real picture.
    Bitmap* small = PatternBitmap24(3, 2);
    EXPECT_TRUE(b->AssignFrom(small));
    ExpectPattern24(b, 3, 2);
    small->Free();
    b->Free();
  }
  Bitmap* ddb = MakeBitmap(65535, 65535);
  EXPECT_TRUE(ddb->IsEmptyBitmap());
  EXPECT_EQ(ddb->Handle, nullptr);
  EXPECT_EQ(ddb->GetCanvas(), nullptr);
  ddb->Free();
}

TEST(BitmapStates, SectionAndMemoryTransitionsKeepThePixels) {
  const int w = 6, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  uint8_t* ownBlock = b->Bits;

  // DIB in memory -> DIB section.
  HBITMAP section = b->EnsureHandle();
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(b->EnsureHandle(), section);
  EXPECT_TRUE(b->BitsInSection);
  DIBSECTION info{};
  ASSERT_EQ(GetObjectA(section, sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(info.dsBm.bmBits, b->Bits);
  EXPECT_NE(b->Bits, ownBlock);
  ExpectPattern24(b, w, h);

  // DIB section -> DIB in memory; the section is gone.
  b->DropHandleKeepPixels();
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_FALSE(b->BitsInSection);
  EXPECT_EQ(GetObjectType(section), 0u);
  EXPECT_EQ(b->CurrentFormat(), Bpp24);
  ExpectPattern24(b, w, h);

  // ReleaseHandle hands a section with the picture to the caller; the bitmap keeps a copy.
  HBITMAP given = b->ReleaseHandle();
  ASSERT_NE(given, nullptr);
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_FALSE(b->BitsInSection);
  ExpectPattern24(b, w, h);
  Surface s(w, h);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(memory, given);
  BitBlt(s.dc(), 0, 0, w, h, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(given);
  ExpectPatternOn(s, w, h);

  // Freed while a canvas holds the section selected: nothing is left behind in use.
  ASSERT_NE(b->GetCanvas(), nullptr);
  HBITMAP selected = b->Handle;
  b->Free();
  EXPECT_EQ(GetObjectType(selected), 0u);
}

TEST(BitmapStates, ColourEntryOnASectionMovesPixelsBackAndTakesEffect) {
  const int w = 4, h = 2;
  Bitmap* b = MakeDibBitmap(w, h, Bpp8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->RowAddress(y)[x] = static_cast<uint8_t>(x + y * w);
  for (int i = 0; i < w * h; ++i) b->SetColorEntry(i, PatternColor(i % w, i / w));
  std::vector<uint8_t> before = PixelBytes(b);

  HBITMAP section = b->EnsureHandle();
  ASSERT_NE(section, nullptr);
  b->SetColorEntry(0, RGB(200, 100, 50));
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(GetObjectType(section), 0u);
  EXPECT_EQ(PixelBytes(b), before);
  EXPECT_EQ(b->CurrentFormat(), Bpp8);

  // A system colour is stored resolved.
  b->SetColorEntry(1, SystemColor(COLOR_WINDOW));
  COLORREF window = GetSysColor(COLOR_WINDOW);
  EXPECT_EQ(b->Header->Colors[1].rgbRed, GetRValue(window));
  EXPECT_EQ(b->Header->Colors[1].rgbBlue, GetBValue(window));

  // The next section uses the new table.
  Surface s(w, h);
  ASSERT_NE(b->GetCanvas(), nullptr);
  b->DrawAt(s.dc(), 0, 0);
  EXPECT_EQ(s.At(0, 0), RGB(200, 100, 50));
  EXPECT_EQ(s.At(1, 0), window);
  EXPECT_EQ(s.At(2, 1), PatternColor(2, 1));

  // Out-of-range indices change nothing.
  RGBQUAD saved[256];
  std::memcpy(saved, b->Header->Colors, sizeof(saved));
  b->SetColorEntry(-1, RGB(1, 1, 1));
  b->SetColorEntry(256, RGB(1, 1, 1));
  EXPECT_EQ(std::memcmp(saved, b->Header->Colors, sizeof(saved)), 0);
  b->Free();
}

TEST(BitmapFormats, ConversionsThroughGdiKeepThePicture) {
  const int w = 5, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  b->ChangeFormat(Bpp32);
  EXPECT_EQ(b->CurrentFormat(), Bpp32);
  EXPECT_EQ(b->RowSize(), static_cast<uint32_t>(w * 4));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ASSERT_EQ(Pixel32(b, x, y), PatternColor(x, y));

  // To 16 bits and back loses the low bits of each channel only.
  b->ChangeFormat(Bpp15);
  EXPECT_EQ(b->CurrentFormat(), Bpp15);
  b->ChangeFormat(Bpp24);
  EXPECT_EQ(b->CurrentFormat(), Bpp24);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      COLORREF want = PatternColor(x, y), got = Pixel24(b, x, y);
      EXPECT_NEAR(GetRValue(got), GetRValue(want), 8);
      EXPECT_NEAR(GetGValue(got), GetGValue(want), 8);
      EXPECT_NEAR(GetBValue(got), GetBValue(want), 8);
    }
  }

  // A DIB and a device-dependent bitmap of the same picture draw alike.
  Bitmap* p = PatternBitmap24(w, h);
  p->ChangeFormat(DeviceDependent);
  EXPECT_EQ(p->HandleKind, Ddb);
  EXPECT_EQ(p->Bits, nullptr);
  ASSERT_NE(p->Handle, nullptr);
  EXPECT_EQ(p->CurrentFormat(), DeviceDependent);
  p->ChangeFormat(Bpp24);
  EXPECT_EQ(p->HandleKind, Dib);
  if (ScreenBitsPerPixel() >= 24) ExpectPattern24(p, w, h);
  b->Free();
  p->Free();
}

TEST(BitmapFormats, EightBitPicturesConvertThroughTheirColourTable) {
  const int w = 3, h = 2;
  Bitmap* b = MakeDibBitmap(w, h, Bpp8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->RowAddress(y)[x] = static_cast<uint8_t>(10 + x + y * w);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetColorEntry(10 + x + y * w, PatternColor(x, y));
  b->ChangeFormat(Bpp24);
  EXPECT_EQ(b->CurrentFormat(), Bpp24);
  ExpectPattern24(b, w, h);
  b->Free();
}

TEST(BitmapFormats, ChangingToTheSameStorageDoesNothing) {
  Bitmap* b = PatternBitmap24(4, 4);
  uint8_t* bits = b->Bits;
  b->ChangeFormat(Bpp24);
  EXPECT_EQ(b->Bits, bits);
  EXPECT_EQ(b->Handle, nullptr);

  Bitmap* sixteen = MakeDibBitmap(4, 4, Bpp15);
  bits = sixteen->Bits;
  sixteen->ChangeFormat(Bpp16);  // same 16-bit storage
  EXPECT_EQ(sixteen->Bits, bits);
  EXPECT_EQ(sixteen->CurrentFormat(), Bpp15);
  b->Free();
  sixteen->Free();
}

TEST(BitmapFormats, CopyOfADeviceBitmapConvertsToBlueGreenRedRows) {
  if (ScreenBitsPerPixel() < 24) GTEST_SKIP() << "screen cannot hold exact colours";
  const int w = 7, h = 5;
  Bitmap* ddb = MakeBitmap(w, h);
  ASSERT_FALSE(ddb->IsEmptyBitmap());
  Canvas* canvas = ddb->GetCanvas();
  ASSERT_NE(canvas, nullptr);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(canvas->DC, x, y, PatternColor(x, y));

  Bitmap* copy = MakeBitmap(0, 0);
  ASSERT_TRUE(copy->AssignFrom(ddb));
  EXPECT_EQ(copy->HandleKind, Ddb);
  EXPECT_NE(copy->Handle, ddb->Handle);
  copy->ChangeFormat(Bpp24);
  EXPECT_EQ(copy->CurrentFormat(), Bpp24);
  ExpectPattern24(copy, w, h);

  // The source is untouched and its canvas still draws.
  ASSERT_EQ(ddb->GetCanvas(), canvas);
  SetPixel(canvas->DC, 0, 0, RGB(9, 9, 9));
  EXPECT_EQ(GetPixel(canvas->DC, 0, 0), RGB(9, 9, 9));
  EXPECT_EQ(GetPixel(canvas->DC, 1, 0), PatternColor(1, 0));
  copy->Free();
  ddb->Free();
}

TEST(BitmapCopies, AssignFromCopiesPixelsAndRefusesMissingSources) {
  Bitmap* source = PatternBitmap24(4, 3);
  ASSERT_NE(source->EnsureHandle(), nullptr);  // copy from a section
  Bitmap* copy = MakeDibBitmap(9, 9, Bpp8);
  ASSERT_TRUE(copy->AssignFrom(source));
  EXPECT_EQ(copy->Width, 4);
  EXPECT_EQ(copy->Height, 3);
  EXPECT_EQ(copy->Handle, nullptr);
  EXPECT_NE(copy->Bits, source->Bits);
  ExpectPattern24(copy, 4, 3);
  EXPECT_TRUE(copy->AssignFrom(copy));  // onto itself: unchanged
  ExpectPattern24(copy, 4, 3);
  PutPixel24(copy, 0, 0, RGB(0, 0, 0));
  EXPECT_EQ(Pixel24(source, 0, 0), PatternColor(0, 0));  // separate pixels

  EXPECT_FALSE(copy->AssignFrom(nullptr));
  EXPECT_TRUE(copy->IsEmptyBitmap());
  EXPECT_EQ(copy->Bits, nullptr);
  ASSERT_TRUE(copy->AssignFrom(source));
  Bitmap* empty = MakeBitmap(0, 0);
  EXPECT_FALSE(copy->AssignFrom(empty));
  EXPECT_TRUE(copy->IsEmptyBitmap());
  empty->Free();
  copy->Free();
  source->Free();
}

TEST(BitmapCanvas, CanvasDrawsIntoThePixelsAndFollowsItsBrushColour) {
  const int w = 6, h = 4;
  Bitmap* b = MakeDibBitmap(w, h, Bpp24);
  b->BackColor = RGB(0, 128, 255);
  Canvas* canvas = b->GetCanvas();
  ASSERT_NE(canvas, nullptr);
  EXPECT_EQ(b->GetCanvas(), canvas);
  EXPECT_TRUE(b->BitsInSection);
  EXPECT_EQ(canvas->CanvasBrush()->GetColor(), b->BackColor);

  canvas->CanvasBrush()->SetColor(RGB(250, 20, 40));
  RECT top{0, 0, w, 1};
  canvas->FillRectangle(top);
  EXPECT_EQ(b->BackColor, RGB(250, 20, 40));  // learnt through the canvas's OnChange
  for (int x = 0; x < w; ++x) EXPECT_EQ(Pixel24(b, x, 0), RGB(250, 20, 40));
  EXPECT_EQ(Pixel24(b, 0, 1), RGB(0, 0, 0));

  // After the pixels moved back to memory, the next canvas selects the new section.
  b->DropHandleKeepPixels();
  EXPECT_EQ(b->OwnCanvas, nullptr);
  EXPECT_EQ(Pixel24(b, 2, 0), RGB(250, 20, 40));
  canvas = b->GetCanvas();
  ASSERT_NE(canvas, nullptr);
  RECT second{0, 1, w, 2};
  canvas->FillRectangle(second);
  EXPECT_EQ(Pixel24(b, 3, 1), RGB(250, 20, 40));
  EXPECT_EQ(Pixel24(b, 3, 2), RGB(0, 0, 0));
  b->Free();
}

TEST(BitmapResize, SizeChangesKeepThePicture) {
  if (ScreenBitsPerPixel() < 24) GTEST_SKIP() << "screen cannot hold exact colours";
  const int w = 4, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  b->BackColor = RGB(7, 77, 177);
  b->SetHeight(h + 2);  // becomes device-dependent, new rows in BackColor
  EXPECT_EQ(b->HandleKind, Ddb);
  EXPECT_EQ(b->Height, h + 2);
  Surface s(w, h + 2);
  b->DrawAt(s.dc(), 0, 0);
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(s.At(x, h + 1), RGB(7, 77, 177));
  }
  b->SetWidth(w + 1);
  EXPECT_EQ(b->Width, w + 1);
  b->ChangeFormat(Bpp24);
  ASSERT_NE(b->Header, nullptr);
  EXPECT_EQ(b->Header->Info.biWidth, w + 1);
  EXPECT_EQ(b->Header->Info.biHeight, h + 2);
  EXPECT_EQ(Pixel24(b, w, 0), RGB(7, 77, 177));
  b->SetHeight(h);
  b->SetWidth(w);
  b->ChangeFormat(Bpp24);
  // The picture's rows survived every step; where they sit depends on the growth in height,
  // so look for the top row among the rows.
  bool found = false;
  for (int y = 0; y < h && !found; ++y) {
    bool match = true;
    for (int x = 0; x < w; ++x) match = match && Pixel24(b, x, y) == PatternColor(x, 0);
    found = match;
  }
  EXPECT_TRUE(found);
  b->Free();
}

TEST(BitmapReports, ReportsCarryMessageFileAndLine) {
  ReportScope scope;
  Bitmap* b = MakeDibBitmap(4, 4, Bpp16);
  b->Header->Info.biCompression = BI_RLE8;  // a 16-bit header no GDI accepts
  EXPECT_EQ(b->CurrentFormat(), Bpp16);
  ASSERT_EQ(scope.reports.size(), 1u);
  EXPECT_EQ(scope.reports[0].message, "Unsupported bitmap format");
  EXPECT_EQ(scope.reports[0].file, "bitmap.cpp");
  EXPECT_GT(scope.reports[0].line, 0);

  scope.reports.clear();
  uint8_t* bits = b->Bits;
  EXPECT_EQ(b->EnsureHandle(), nullptr);
  ASSERT_EQ(scope.reports.size(), 1u);
  EXPECT_EQ(scope.reports[0].message.rfind("Can not create DIB section, error: ", 0), 0u);
  EXPECT_EQ(scope.reports[0].file, "bitmap.cpp");
  EXPECT_GT(scope.reports[0].line, 0);
  // The pixels stay in memory and drawing does not crash.
  EXPECT_EQ(b->Bits, bits);
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(b->GetCanvas(), nullptr);
  Surface s(4, 4);
  b->DrawAt(s.dc(), 0, 0);
  b->Free();
}

TEST(BitmapStates, DeviceBitmapGivesItsPictureToPlainMemory) {
  if (ScreenBitsPerPixel() < 24) GTEST_SKIP() << "screen cannot hold exact colours";
  const int w = 5, h = 4;
  Bitmap* b = MakeBitmap(w, h);
  Canvas* canvas = b->GetCanvas();
  ASSERT_NE(canvas, nullptr);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(canvas->DC, x, y, PatternColor(x, y));
  HBITMAP device = b->Handle;

  b->DropHandleKeepPixels();
  EXPECT_EQ(b->HandleKind, Dib);
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(GetObjectType(device), 0u);
  EXPECT_EQ(b->OwnCanvas, nullptr);
  ASSERT_NE(b->Bits, nullptr);
  // No format was asked for: the default 16-bit storage, five bits per channel.
  EXPECT_EQ(b->CurrentFormat(), Bpp15);
  Surface s(w, h);
  b->DrawAt(s.dc(), 0, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      COLORREF want = PatternColor(x, y), got = s.At(x, y);
      EXPECT_NEAR(GetRValue(got), GetRValue(want), 8);
      EXPECT_NEAR(GetGValue(got), GetGValue(want), 8);
      EXPECT_NEAR(GetBValue(got), GetBValue(want), 8);
    }
  }
  b->Free();
}

TEST(BitmapEmpty, ASizeChangeThatCannotBeAllocatedKeepsThePicture) {
  const int w = 4, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  b->SetWidth(0x7FFFFFFF);
  EXPECT_EQ(b->Width, w);
  EXPECT_EQ(b->CurrentFormat(), Bpp24);
  ExpectPattern24(b, w, h);

  b->SetHeight(0x7FFFFFFF);  // becomes device-dependent first, then the growth fails
  EXPECT_EQ(b->Height, h);
  ASSERT_NE(b->Handle, nullptr);
  b->ChangeFormat(Bpp24);
  if (ScreenBitsPerPixel() >= 24) ExpectPattern24(b, w, h);
  b->Free();
}
