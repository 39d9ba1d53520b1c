// Bitmap under real GDI: DIB row layout, storage transitions and format conversions that keep
// the picture, and sizes or headers that cannot be used.
#include <gtest/gtest.h>

#include "test_support.h"
#include "toolkit/bitmap.h"

using namespace velmora;
using velmora::test::Surface;

namespace {

// A colour that differs for every pixel of the small pictures used here.
COLORREF PatternColor(int x, int y) {
  return RGB(10 + x * 37 % 240, 20 + y * 53 % 230, 30 + (x * 7 + y * 11) % 220);
}

using ColourAt = std::function<COLORREF(int x, int y)>;  // the screen is 24-bit
ColourAt In(Bitmap* b, int bytesPerPixel = 3) {
  return [=](int x, int y) {
    GdiFlush();
    const uint8_t* p = b->RowAddress(y) + x * bytesPerPixel;
    return RGB(p[2], p[1], p[0]);
  };
}

// Largest channel difference between the pattern and colour(x, y) over w x h pixels.
int PatternError(int w, int h, const ColourAt& colour) {
  int worst = 0;
  for (int i = 0; i < w * h * 3; ++i)
    worst = std::max(worst, std::abs(int(colour(i / 3 % w, i / 3 / w) >> i % 3 * 8 & 0xFF) -
                                     int(PatternColor(i / 3 % w, i / 3 / w) >> i % 3 * 8 & 0xFF)));
  return worst;
}

Bitmap* PatternBitmap24(int w, int h) {
  Bitmap* b = MakeDibBitmap(w, h, Bpp24);
  for (int i = 0; i < w * h; ++i) {
    COLORREF c = PatternColor(i % w, i / w);
    uint8_t* p = b->RowAddress(i / w) + i % w * 3;
    p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
  }
  return b;
}

// A device-dependent bitmap with the pattern drawn through its canvas.
Bitmap* PatternDdb(int w, int h) {
  Bitmap* b = MakeBitmap(w, h);
  for (int i = 0; b->GetCanvas() && i < w * h; ++i)
    SetPixel(b->GetCanvas()->DC, i % w, i / w, PatternColor(i % w, i / w));
  return b;
}

std::vector<std::string> g_reports;  // "file:message" of each assertion report

}  // namespace

// Catches wrong padding, top-down storage, or rows GDI shows upside down.
TEST(BitmapRows, RowsArePaddedToFourBytesStoredBottomUpAndSeenTopDownByGdi) {
  const int h = 3;
  for (PixelFormat f : {Bpp1, Bpp4, Bpp8, Bpp15, Bpp16, Bpp24, Bpp32}) {
    for (int w = 1; w <= 9; ++w) {
      SCOPED_TRACE(testing::Message() << "format " << int(f) << " width " << w);
      Bitmap* b = MakeDibBitmap(w, h, f);
      uint32_t row = (static_cast<uint32_t>(w * BitsPerPixel(f) + 7) / 8 + 3) / 4 * 4;
      EXPECT_EQ(b->RowSize(), row);
      EXPECT_EQ(std::count(b->Bits, b->Bits + b->BitsSize, 0), static_cast<ptrdiff_t>(row * h));
      EXPECT_EQ(std::vector<uint8_t*>(
                    {b->RowAddress(-1), b->RowAddress(0), b->RowAddress(h - 1), b->RowAddress(h)}),
                std::vector<uint8_t*>({nullptr, b->Bits + row * (h - 1), b->Bits, nullptr}));
      b->Free();
    }
  }
  // Drawn by StretchDIBits (no section yet) and by BitBlt from a section, row 0 is the top.
  Bitmap* b = PatternBitmap24(5, 4);
  Surface s(7, 5);
  for (bool section : {false, true}) {
    EXPECT_TRUE(!section || b->EnsureHandle() != nullptr);
    s.Fill();
    b->DrawAt(s.DC, 0, 0);
    EXPECT_EQ(PatternError(5, 4, [&](int x, int y) { return s.At(x, y); }), 0);
    EXPECT_EQ(s.At(6, 4), RGB(1, 2, 3));
  }
  b->Free();
}

// Catches crashes, unchecked allocations and lost pixels for sizes or headers that cannot be used.
TEST(BitmapEmpty, UnusableSizesAndHeadersLeaveAUsableBitmapAndFailedGrowthKeepsThePicture) {
  const struct {
    int32_t w, h;
    PixelFormat f;
  } cases[] = {{0, 5, DeviceDependent},  {7, 0, Bpp24},         {-4, 3, Bpp24},
               {3, -4, DeviceDependent}, {65535, 65535, Bpp32}, {0x7FFFFFFF, 2, Bpp32},
               {2, 0x7FFFFFFF, Bpp8},    {46341, 46341, Bpp8},  {65535, 65535, DeviceDependent}};
  Bitmap* small = PatternBitmap24(3, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " format " << int(c.f));
    Bitmap* b = c.f == DeviceDependent ? MakeBitmap(c.w, c.h) : MakeDibBitmap(c.w, c.h, c.f);
    EXPECT_TRUE(b->IsEmptyBitmap());
    EXPECT_EQ(b->RowAddress(0), nullptr);
    EXPECT_EQ(b->EnsureHandle(), nullptr);
    EXPECT_EQ(b->GetCanvas(), nullptr);
    b->DrawAt(nullptr, 0, 0);
    b->ChangeFormat(Bpp32);
    EXPECT_TRUE(b->AssignFrom(small));  // still usable: it becomes a copy of a real picture
    EXPECT_EQ(PatternError(3, 2, In(b)), 0);
    b->Free();
  }
  small->SetWidth(0x7FFFFFFF);
  EXPECT_EQ(small->Width, 3);
  EXPECT_EQ(PatternError(3, 2, In(small)), 0);
  small->SetHeight(0x7FFFFFFF);  // becomes device-dependent first, then the growth fails
  EXPECT_EQ(small->Height, 2);
  ASSERT_NE(small->Handle, nullptr);
  small->ChangeFormat(Bpp24);
  EXPECT_EQ(PatternError(3, 2, In(small)), 0);
  small->Free();

  // A header GDI refuses is reported, never used, and the pixels stay in memory.
  AssertionReportProc saved = std::exchange(
      AssertionReportHook, +[](const std::string& message, const char* file, int line) {
        g_reports.push_back(std::string(file) + (line > 0 ? ":" : ":no line:") + message);
      });
  Bitmap* b = MakeDibBitmap(4, 4, Bpp16);
  b->Header->Info.biCompression = BI_RLE8;  // a 16-bit header no GDI accepts
  uint8_t* bits = b->Bits;
  EXPECT_EQ(b->CurrentFormat(), Bpp16);
  EXPECT_EQ(b->EnsureHandle(), nullptr);
  EXPECT_EQ(b->GetCanvas(), nullptr);
  b->DrawAt(Surface(4, 4).DC, 0, 0);
  AssertionReportHook = saved;
  ASSERT_GE(g_reports.size(), 2u);
  EXPECT_EQ(g_reports[0], "bitmap.cpp:Unsupported bitmap format");
  EXPECT_EQ(g_reports[1].rfind("bitmap.cpp:Can not create DIB section, error: ", 0), 0u);
  EXPECT_EQ(b->Bits, bits);
  b->Free();
}

// Catches pixels lost or handles leaked when storage moves between memory, section and device.
TEST(BitmapStates, SectionMemoryAndDeviceTransitionsKeepThePixels) {
  const int w = 6, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  HBITMAP section = b->EnsureHandle();
  ASSERT_NE(section, nullptr);
  b->DropHandleKeepPixels();
  EXPECT_EQ(GetObjectType(section), 0u);
  EXPECT_EQ(PatternError(w, h, In(b)), 0);
  // ReleaseHandle hands a section with the picture to the caller; the bitmap keeps a copy.
  HBITMAP given = b->ReleaseHandle();
  DIBSECTION info{};
  ASSERT_EQ(GetObjectA(given, sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(PatternError(w, h, In(b)), 0);
  EXPECT_TRUE(std::equal(b->Bits, b->Bits + b->BitsSize, static_cast<uint8_t*>(info.dsBm.bmBits)));
  DeleteObject(given);
  // A canvas made after the pixels moved back to memory draws into the new section.
  b->BackColor = RGB(250, 20, 40);
  b->GetCanvas(), b->DropHandleKeepPixels();
  b->GetCanvas()->FillRectangle(RECT{0, 1, w, 2});
  EXPECT_EQ(std::make_pair(In(b)(3, 1), In(b)(3, 2)),
            std::make_pair(RGB(250, 20, 40), PatternColor(3, 2)));
  HBITMAP selected = b->Handle;  // freed while its canvas holds it: deleted all the same
  b->Free();
  EXPECT_EQ(GetObjectType(selected), 0u);

  // A device bitmap moved to plain memory keeps its picture (default 16-bit storage).
  Bitmap* ddb = PatternDdb(w, h);
  HBITMAP device = ddb->Handle;
  ddb->DropHandleKeepPixels();
  EXPECT_EQ(GetObjectType(device), 0u);
  EXPECT_EQ(ddb->CurrentFormat(), Bpp15);
  Surface s(w, h);
  ddb->DrawAt(s.DC, 0, 0);
  EXPECT_LE(PatternError(w, h, [&](int x, int y) { return s.At(x, y); }), 8);
  ddb->Free();
}

// Catches conversions that lose or scramble the picture, and copies that share pixels.
TEST(BitmapFormats, ConversionsAndCopiesThroughGdiKeepThePicture) {
  const int w = 5, h = 3;
  Bitmap* b = PatternBitmap24(w, h);
  b->ChangeFormat(Bpp32);
  EXPECT_EQ(PatternError(w, h, In(b, 4)), 0);

  Bitmap* source = PatternBitmap24(4, 3);
  ASSERT_NE(source->EnsureHandle(), nullptr);  // copy from a section
  Bitmap* copy = MakeDibBitmap(9, 9, Bpp8);
  ASSERT_TRUE(copy->AssignFrom(source));
  EXPECT_TRUE(copy->AssignFrom(copy));  // onto itself: unchanged
  EXPECT_EQ(PatternError(4, 3, In(copy)), 0);
  copy->RowAddress(0)[0] ^= 0xFF;
  EXPECT_EQ(In(source)(0, 0), PatternColor(0, 0));  // separate pixels
  Bitmap* empty = MakeBitmap(0, 0);
  for (Bitmap* missing : {static_cast<Bitmap*>(nullptr), empty}) {
    EXPECT_FALSE(copy->AssignFrom(missing));
    EXPECT_TRUE(copy->IsEmptyBitmap());
  }
  // A copy of a device-dependent bitmap converts to blue-green-red rows of its picture, and
  // the source's canvas still draws afterwards.
  Bitmap* ddb = PatternDdb(7, 5);
  Canvas* canvas = ddb->GetCanvas();
  ASSERT_TRUE(empty->AssignFrom(ddb));
  EXPECT_NE(empty->Handle, ddb->Handle);
  empty->ChangeFormat(Bpp24);
  EXPECT_EQ(PatternError(7, 5, In(empty)), 0);
  ASSERT_EQ(ddb->GetCanvas(), canvas);
  SetPixel(canvas->DC, 0, 0, RGB(9, 9, 9));
  EXPECT_EQ(GetPixel(canvas->DC, 0, 0), RGB(9, 9, 9));
  for (Bitmap* x : {b, empty, copy, source, ddb}) x->Free();
}
