// Bitmap: device-dependent bitmap, DIB in memory and DIB section, with conversions through GDI.
#include "toolkit/bitmap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "toolkit/text_utils.h"

namespace velmora {

PixelFormat DefaultDibFormat = Bpp16;

namespace {

// Pixel blocks larger than this are refused: their sizes no longer fit the 32-bit size
// fields, and a 32-bit process could not hold them anyway.
constexpr uint64_t MaxPixelBytes = 0x7FFFFFFFu;

constexpr DWORD Red565Mask = 0xF800;
constexpr DWORD Green565Mask = 0x07E0;
constexpr DWORD Blue565Mask = 0x001F;

const char* SourceName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}

void DefaultAssertionReport(const std::string& message, const char* file, int line) {
  std::string text = message + " (" + file + ", line " + std::to_string(line) + ")";
  OutputDebugStringA(text.c_str());
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

uint64_t RowBytes(int32_t width, int bitCount) {
  return ((static_cast<uint64_t>(width < 0 ? -static_cast<int64_t>(width) : width) * bitCount +
           31) /
          32) *
         4;
}

// A header for a DIB of width x height at format's bits per pixel, with the 5-6-5 masks
// when withMasks is set; null when the pixels would not fit MaxPixelBytes or memory is short.
DibHeader* NewHeader(int32_t width, int32_t height, PixelFormat format, bool withMasks,
                     uint32_t* pixelBytes) {
  int bits = BitsPerPixel(format);
  uint64_t size = RowBytes(width, bits) * static_cast<uint64_t>(height);
  if (size == 0 || size > MaxPixelBytes) return nullptr;
  auto* header = static_cast<DibHeader*>(std::calloc(1, sizeof(DibHeader)));
  if (!header) return nullptr;
  BITMAPINFOHEADER& info = header->Info;
  info.biSize = sizeof(BITMAPINFOHEADER);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = static_cast<WORD>(bits);
  info.biCompression = BI_RGB;
  if (format == Bpp16 && withMasks) {
    info.biCompression = BI_BITFIELDS;
    auto* masks = reinterpret_cast<DWORD*>(header->Colors);
    masks[0] = Red565Mask;
    masks[1] = Green565Mask;
    masks[2] = Blue565Mask;
  }
  *pixelBytes = static_cast<uint32_t>(size);
  return header;
}

// The format a bit count stands for, taking 16 bits as Bpp15 (compression aside).
PixelFormat FormatOfBitCount(int bitCount) {
  switch (bitCount) {
    case 1:
      return Bpp1;
    case 4:
      return Bpp4;
    case 8:
      return Bpp8;
    case 16:
      return Bpp15;
    case 24:
      return Bpp24;
    case 32:
      return Bpp32;
    default:
      return CustomFormat;
  }
}

bool SameStorageFormat(PixelFormat a, PixelFormat b) {
  auto fold = [](PixelFormat f) { return f == Bpp16 ? Bpp15 : f; };
  return fold(a) == fold(b);
}

int32_t AbsHeight(const DibHeader* header) {
  int32_t h = header->Info.biHeight;
  return h < 0 ? -h : h;
}

void DetachFromCanvas(Bitmap* bitmap) {
  if (!bitmap->PreviousSelection) return;
  if (bitmap->OwnCanvas && bitmap->OwnCanvas->DC) {
    SelectObject(bitmap->OwnCanvas->DC, bitmap->PreviousSelection);
  }
  bitmap->PreviousSelection = nullptr;
}

void CanvasChanged(void* context, Canvas* canvas) {
  static_cast<Bitmap*>(context)->BackColor = canvas->CanvasBrush()->GetColor();
}

void DrawThroughHandle(HDC dc, int32_t x, int32_t y, int32_t width, HBITMAP handle,
                       int32_t fallbackHeight) {
  BITMAP info{};
  int32_t height = GetObjectA(handle, sizeof(info), &info) ? info.bmHeight : fallbackHeight;
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) return;
  HGDIOBJ previous = SelectObject(memory, handle);
  BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

}  // namespace

AssertionReportProc AssertionReportHook = &DefaultAssertionReport;

void ReportAssertion(const std::string& message, const char* file, int line) {
  if (AssertionReportHook) AssertionReportHook(message, SourceName(file), line);
}

int BitsPerPixel(PixelFormat format) {
  switch (format) {
    case Bpp1:
      return 1;
    case Bpp4:
      return 4;
    case Bpp8:
      return 8;
    case Bpp15:
    case Bpp16:
      return 16;
    case Bpp24:
      return 24;
    case Bpp32:
      return 32;
    default:
      return 0;
  }
}

Bitmap* MakeBitmap(int32_t width, int32_t height) {
  Bitmap* bitmap = MakeObject<Bitmap>();
  bitmap->HandleKind = Ddb;
  if (width < 0 || height < 0) return bitmap;
  bitmap->Width = width;
  bitmap->Height = height;
  if (width != 0 && height != 0) {
    HDC screen = GetDC(nullptr);
    bitmap->Handle = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!bitmap->Handle) bitmap->Width = bitmap->Height = 0;
  }
  return bitmap;
}

Bitmap* MakeDibBitmap(int32_t width, int32_t height, PixelFormat format) {
  Bitmap* bitmap = MakeObject<Bitmap>();
  bitmap->HandleKind = Dib;
  bitmap->RequestedFormat = BitsPerPixel(format) ? format : DefaultDibFormat;
  if (width < 0 || height < 0) return bitmap;
  bitmap->Width = width;
  bitmap->Height = height;
  if (bitmap->IsEmptyBitmap()) return bitmap;
  uint32_t size = 0;
  DibHeader* header = NewHeader(width, height, bitmap->RequestedFormat, true, &size);
  auto* bits = header ? static_cast<uint8_t*>(std::calloc(1, size)) : nullptr;
  if (!bits) {
    std::free(header);
    bitmap->Width = bitmap->Height = 0;
    return bitmap;
  }
  bitmap->Header = header;
  bitmap->Bits = bits;
  bitmap->BitsSize = size;
  return bitmap;
}

void Bitmap::Destroy() {
  ClearBitmap();
  ObjectBase::Destroy();
}

HBITMAP Bitmap::EnsureHandle() {
  if (IsEmptyBitmap()) return nullptr;
  if (Handle) return Handle;
  if (!Bits || !Header) return nullptr;
  HDC screen = GetDC(nullptr);
  uint8_t* own = Bits;
  void* sectionBits = nullptr;
  HBITMAP section = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(Header), DIB_RGB_COLORS,
                                     &sectionBits, nullptr, 0);
  if (!section || !sectionBits) {
    DWORD error = GetLastError();
    if (section) DeleteObject(section);
    ReportAssertion("Can not create DIB section, error: " + std::to_string(error) + ", " +
                        SystemErrorText(error),
                    __FILE__, __LINE__);
    ReleaseDC(nullptr, screen);
    Bits = own;
    return nullptr;
  }
  ReleaseDC(nullptr, screen);
  std::memcpy(sectionBits, own, BitsSize);
  if (!BitsInSection) std::free(own);
  Bits = static_cast<uint8_t*>(sectionBits);
  BitsInSection = true;
  Handle = section;
  return Handle;
}

Canvas* Bitmap::GetCanvas() {
  if (IsEmptyBitmap() || !EnsureHandle()) return nullptr;
  if (!OwnCanvas) {
    OwnCanvas = CreateCanvas(CreateCompatibleDC(nullptr));
    OwnCanvas->OnChange = MakeCallback(this, &CanvasChanged);
    OwnCanvas->CanvasBrush()->SetColor(BackColor);
    PreviousSelection = nullptr;
  }
  if (!OwnCanvas->DC) {
    PreviousSelection = nullptr;
    OwnCanvas->BindDC(CreateCompatibleDC(nullptr));
  }
  if (!PreviousSelection && OwnCanvas->DC) PreviousSelection = SelectObject(OwnCanvas->DC, Handle);
  DetachHook = &DetachFromCanvas;
  return OwnCanvas;
}

uint32_t Bitmap::RowSize() {
  if (!Header) return 0;
  if (!RowSizeCache) {
    RowSizeCache = static_cast<uint32_t>(RowBytes(Header->Info.biWidth, Header->Info.biBitCount));
  }
  return RowSizeCache;
}

uint8_t* Bitmap::RowAddress(int32_t y) {
  if (!Header || !Bits) return nullptr;
  int32_t height = AbsHeight(Header);
  if (y < 0 || y >= height) return nullptr;
  int32_t stored = Header->Info.biHeight > 0 ? height - 1 - y : y;
  return Bits + static_cast<size_t>(stored) * RowSize();
}

PixelFormat Bitmap::CurrentFormat() {
  if (HandleKind == Ddb || !Bits || !Header) return DeviceDependent;
  PixelFormat format = FormatOfBitCount(Header->Info.biBitCount);
  if (format == Bpp15 && Header->Info.biCompression != BI_RGB) {
    if (Header->Info.biCompression != BI_BITFIELDS) {
      ReportAssertion("Unsupported bitmap format", __FILE__, __LINE__);
    }
    format = Bpp16;
  }
  return format;
}

void Bitmap::ChangeFormat(PixelFormat f) {
  if (IsEmptyBitmap() || CurrentFormat() == f) return;
  if (f == DeviceDependent) {
    SetHandleKind(Ddb);
    return;
  }
  PixelFormat previous = RequestedFormat;
  RequestedFormat = f;
  SetHandleKind(Dib);
  if (HandleKind != Dib || !Header) {
    RequestedFormat = previous;
    return;
  }
  if (!SameStorageFormat(FormatOfBitCount(Header->Info.biBitCount), f)) {
    if (!Rebuild()) RequestedFormat = previous;
  }
}

void Bitmap::SetHandleKind(BitmapHandleKind kind) {
  if (kind == HandleKind) return;
  BitmapHandleKind previous = HandleKind;
  HandleKind = kind;
  if (!Rebuild()) HandleKind = previous;
}

void Bitmap::SetWidth(int32_t width) {
  if (width == Width || width < 0) return;
  int32_t previous = Width;
  Width = width;
  if (!Rebuild()) Width = previous;
}

void Bitmap::SetHeight(int32_t height) {
  if (height == Height || height < 0) return;
  SetHandleKind(Ddb);
  int32_t previous = Height;
  Height = height;
  if (!Rebuild()) Height = previous;
}

bool Bitmap::Rebuild() {
  if (IsEmptyBitmap()) return true;
  Detach();
  RowSizeCache = 0;
  return HandleKind == Ddb ? RebuildDdb() : RebuildDib();
}

int32_t Bitmap::HeldHeight() {
  if (Bits && Header) return AbsHeight(Header);
  BITMAP info{};
  if (Handle && GetObjectA(Handle, sizeof(info), &info)) return info.bmHeight;
  return Height;
}

bool Bitmap::RebuildDdb() {
  const int32_t oldHeight = HeldHeight();
  HDC screen = GetDC(nullptr);
  HBITMAP fresh = CreateCompatibleBitmap(screen, Width, Height);
  ReleaseDC(nullptr, screen);
  if (!fresh) return false;
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) {
    DeleteObject(fresh);
    return false;
  }
  HGDIOBJ previous = SelectObject(memory, fresh);
  RECT all{0, 0, Width, Height};
  HBRUSH fill = CreateSolidBrush(ResolveColor(BackColor));
  FillRect(memory, &all, fill);
  DeleteObject(fill);
  if (Bits && Header) {
    SelectObject(memory, previous);
    GdiFlush();
    // Never more rows than the old pixels hold.
    UINT rows = static_cast<UINT>(Height < oldHeight ? Height : oldHeight);
    SetDIBits(memory, fresh, 0, rows, Bits, reinterpret_cast<BITMAPINFO*>(Header), DIB_RGB_COLORS);
  } else {
    DrawAt(memory, 0, 0);
    SelectObject(memory, previous);
  }
  DeleteDC(memory);
  FreeStorage();
  Handle = fresh;
  return true;
}

bool Bitmap::RebuildDib() {
  const int32_t oldHeight = HeldHeight();
  PixelFormat format = BitsPerPixel(RequestedFormat) ? RequestedFormat : DefaultDibFormat;
  uint32_t size = 0;
  DibHeader* header = NewHeader(Width, Height, format, RequestedFormat == Bpp16, &size);
  if (!header) return false;
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) {
    std::free(header);
    return false;
  }
  auto* bits = static_cast<uint8_t*>(std::malloc(size));
  HBITMAP section = nullptr;
  bool inSection = false;
  int rows = Height < oldHeight ? Height : oldHeight;
  if (bits) {
    HBITMAP old = EnsureHandle();
    int copied = old ? GetDIBits(memory, old, 0, static_cast<UINT>(rows), bits,
                                 reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS)
                     : 0;
    if (copied != rows) {
      std::free(bits);
      bits = nullptr;
    }
  }
  if (!bits) {
    void* sectionBits = nullptr;
    section = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS,
                               &sectionBits, nullptr, 0);
    if (!section || !sectionBits) {
      if (section) DeleteObject(section);
      std::free(header);
      DeleteDC(memory);
      return false;
    }
    HGDIOBJ previous = SelectObject(memory, section);
    DrawAt(memory, 0, 0);
    SelectObject(memory, previous);
    GdiFlush();
    bits = static_cast<uint8_t*>(sectionBits);
    inSection = true;
  }
  DeleteDC(memory);
  FreeStorage();
  Bits = bits;
  BitsSize = size;
  Header = header;
  Handle = section;
  BitsInSection = inSection;
  return true;
}

bool Bitmap::AssignFrom(Bitmap* source) {
  if (source == this) return !IsEmptyBitmap();
  ClearBitmap();
  if (!source || source->IsEmptyBitmap()) return false;
  Width = source->Width;
  Height = source->Height;
  HandleKind = source->HandleKind;
  if (HandleKind == Ddb) {
    // The source must not stay selected into its canvas while it is read.
    source->Detach();
    Handle = source->Handle ? static_cast<HBITMAP>(CopyImage(source->Handle, IMAGE_BITMAP, 0, 0, 0))
                            : nullptr;
    if (!Handle) {
      ClearBitmap();
      return false;
    }
    return true;
  }
  if (!source->Header || !source->Bits) {
    ClearBitmap();
    return false;
  }
  auto* header = static_cast<DibHeader*>(std::malloc(sizeof(DibHeader)));
  auto* bits = static_cast<uint8_t*>(std::malloc(source->BitsSize ? source->BitsSize : 1));
  if (!header || !bits) {
    std::free(header);
    std::free(bits);
    ClearBitmap();
    return false;
  }
  GdiFlush();
  std::memcpy(header, source->Header, sizeof(DibHeader));
  std::memcpy(bits, source->Bits, source->BitsSize);
  Header = header;
  Bits = bits;
  BitsSize = source->BitsSize;
  return true;
}

void Bitmap::DrawAt(HDC dc, int32_t x, int32_t y) {
  if (IsEmptyBitmap()) return;
  if (Handle) {
    Detach();
    DrawThroughHandle(dc, x, y, Width, EnsureHandle(), Height);
    return;
  }
  if (!Header || !Bits) return;
  int32_t height = AbsHeight(Header);
  if (StretchDIBits(dc, x, y, Width, height, 0, 0, Width, height, Bits,
                    reinterpret_cast<BITMAPINFO*>(Header), DIB_RGB_COLORS, SRCCOPY) == 0) {
    if (HBITMAP handle = EnsureHandle()) DrawThroughHandle(dc, x, y, Width, handle, Height);
  }
}

void Bitmap::SetColorEntry(int32_t index, velmora::Color color) {
  if (!Bits || !Header || index < 0 || index > 255) return;
  DropHandleKeepPixels();
  if (!Header) return;
  COLORREF rgb = ResolveColor(color);
  Header->Colors[index] = RGBQUAD{GetBValue(rgb), GetGValue(rgb), GetRValue(rgb), 0};
}

void Bitmap::DropCanvas() {
  Detach();
  FreeAndNull(OwnCanvas);
  DetachHook = nullptr;
  PreviousSelection = nullptr;
}

void Bitmap::DropHandleKeepPixels() {
  DropCanvas();
  if (Handle) {
    if (HBITMAP handle = ReleaseHandle()) DeleteObject(handle);
  }
}

HBITMAP Bitmap::ReleaseHandle() {
  SetHandleKind(Dib);
  if (HandleKind != Dib) return nullptr;
  HBITMAP handle = EnsureHandle();
  if (!handle) return nullptr;
  Detach();
  if (BitsInSection) {
    auto* own = static_cast<uint8_t*>(std::malloc(BitsSize));
    if (!own) return nullptr;
    GdiFlush();
    std::memcpy(own, Bits, BitsSize);
    Bits = own;
  }
  BitsInSection = false;
  Handle = nullptr;
  return handle;
}

void Bitmap::FreeStorage() {
  Detach();
  if (Handle) DeleteObject(Handle);
  if (Bits && !BitsInSection) std::free(Bits);
  Handle = nullptr;
  Bits = nullptr;
  BitsSize = 0;
  BitsInSection = false;
  std::free(Header);
  Header = nullptr;
  RowSizeCache = 0;
}

void Bitmap::ClearBitmap() {
  DropCanvas();
  FreeStorage();
  Width = Height = 0;
  BitsInSection = false;
}

}  // namespace velmora
