// The clipboard's file list and its picture made on demand. The owner window keeps the one
// pending picture maker; it is dropped when another program takes over the clipboard.
#include "toolkit/clipboard.h"

#include "toolkit/bitmap.h"

#include <shlobj.h>

#include <cstring>

#include "toolkit/control.h"

namespace velmora {

namespace {

DibMaker PendingDib;  // GUI thread only: the maker of the CF_DIB this program offers

// Writes the DIB into the clipboard, which the caller has open.
void RenderDib() {
  HGLOBAL dib = PendingDib ? PendingDib() : nullptr;
  if (dib && !SetClipboardData(CF_DIB, dib)) GlobalFree(dib);
}

bool ClipboardOwnerHandler(Control* control, WindowMessage& message, LRESULT* result) {
  switch (message.Message) {
    case WM_RENDERFORMAT:
      if (message.WParam == CF_DIB) RenderDib();
      *result = 0;
      return true;
    case WM_RENDERALLFORMATS:
      // The window goes while its picture is still only promised: make it now.
      if (OpenClipboard(control->WindowHandle)) {
        if (GetClipboardOwner() == control->WindowHandle) RenderDib();
        CloseClipboard();
      }
      *result = 0;
      return true;
    case WM_DESTROYCLIPBOARD:
      PendingDib = nullptr;
      *result = 0;
      return true;
    default:
      return false;
  }
}

HGLOBAL BlockOf(const void* data, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (void* p = block ? GlobalLock(block) : nullptr) {
    std::memcpy(p, data, size);
    GlobalUnlock(block);
  }
  return block;
}

}  // namespace

HGLOBAL MakeFileListBlock(const std::vector<std::string>& paths) {
  std::wstring names;
  for (const std::string& path : paths) {
    const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 1) continue;
    std::wstring wide(static_cast<size_t>(n), L'\0');  // with its terminating zero
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), n);
    names += wide;
  }
  if (names.empty()) return nullptr;
  names += L'\0';
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  std::vector<char> block(sizeof header + names.size() * sizeof(wchar_t));
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
  return BlockOf(block.data(), block.size());
}

HGLOBAL MakeCopyEffectBlock() {
  const DWORD effect = DROPEFFECT_COPY;
  return BlockOf(&effect, sizeof effect);
}

HGLOBAL PackedDibOfBitmap(Bitmap* bitmap) {
  if (!bitmap || bitmap->IsEmptyBitmap()) return nullptr;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = bitmap->Width;
  header.biHeight = bitmap->Height;  // bottom-up, as every program takes it
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const size_t rowBytes = (static_cast<size_t>(header.biWidth) * 3 + 3) & ~size_t{3};
  header.biSizeImage = static_cast<DWORD>(rowBytes * header.biHeight);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof header + header.biSizeImage);
  auto* p = block ? static_cast<uint8_t*>(GlobalLock(block)) : nullptr;
  if (!p) {
    if (block) GlobalFree(block);
    return nullptr;
  }
  std::memcpy(p, &header, sizeof header);
  for (int32_t y = 0; y < bitmap->Height; ++y)
    std::memcpy(p + sizeof header + rowBytes * static_cast<size_t>(bitmap->Height - 1 - y),
                bitmap->RowAddress(y), static_cast<size_t>(bitmap->Width) * 3);
  GlobalUnlock(block);
  return block;
}

bool PutFilesOnClipboard(Control* owner, const std::vector<std::string>& paths, DibMaker makeDib) {
  HWND window = owner->GetWindowHandle();
  owner->AddMessageHandler(&ClipboardOwnerHandler);
  // Kept after the program's end has begun: the window's last WM_RENDERALLFORMATS comes then.
  for (int32_t i = 0; i + 1 < owner->MessageHandlers->Count; i += 2)
    if (owner->MessageHandlers->Items[i] == reinterpret_cast<void*>(&ClipboardOwnerHandler))
      owner->MessageHandlers->Items[i + 1] = owner;
  HGLOBAL files = MakeFileListBlock(paths);
  if (!files || !OpenClipboard(window)) {
    if (files) GlobalFree(files);
    return false;
  }
  EmptyClipboard();  // sends WM_DESTROYCLIPBOARD to an earlier owner, this window included
  bool ok = SetClipboardData(CF_HDROP, files) != nullptr;
  if (!ok) GlobalFree(files);
  const UINT effectFormat = RegisterClipboardFormatA(CFSTR_PREFERREDDROPEFFECT);
  if (HGLOBAL effect = MakeCopyEffectBlock(); ok && effect)
    if (!SetClipboardData(effectFormat, effect)) GlobalFree(effect);
  if (ok && makeDib) {
    PendingDib = std::move(makeDib);
    SetClipboardData(CF_DIB, nullptr);
  }
  CloseClipboard();
  return ok;
}

}  // namespace velmora
