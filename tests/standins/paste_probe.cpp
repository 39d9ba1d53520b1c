// A program for tests that takes files the way another program would and records what it got.
//   paste_probe clipboard LOG            reads the clipboard once
//   paste_probe drop LOG X Y W H          shows a window "Velmora drop probe" at X,Y sized W x H,
//                                         registered as an OLE drop target, until one drop
//                                         (or 60 s)
// Record, written to LOG when done, one item a line:
//   file=<each name of the CF_HDROP list, UTF-8>
//   effect=<the "Preferred DropEffect" DWORD, or none>
//   picture=<width>x<height>x<bits> (CF_DIB, clipboard; "none" when absent)
//   dropeffects=<the effects the source allowed> (drop)
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Record;

void NoteFiles(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH * 2] = {};
    DragQueryFileW(drop, i, name, MAX_PATH * 2);
    char utf8[MAX_PATH * 6] = {};
    WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
    Record += std::string("file=") + utf8 + "\n";
  }
}

void NoteEffect(HGLOBAL block) {
  const DWORD* effect = block ? static_cast<const DWORD*>(GlobalLock(block)) : nullptr;
  Record += "effect=" + (effect ? std::to_string(*effect) : std::string("none")) + "\n";
  if (effect) GlobalUnlock(block);
}

void ReadClipboard() {
  bool open = false;
  for (int i = 0; i < 200 && !(open = OpenClipboard(nullptr)); ++i) Sleep(25);
  if (!open) {
    Record += "clipboard=busy\n";
    return;
  }
  if (HANDLE files = GetClipboardData(CF_HDROP)) NoteFiles(static_cast<HDROP>(files));
  NoteEffect(GetClipboardData(RegisterClipboardFormatA(CFSTR_PREFERREDDROPEFFECT)));
  HANDLE dib = GetClipboardData(CF_DIB);
  const auto* header = dib ? static_cast<const BITMAPINFOHEADER*>(GlobalLock(dib)) : nullptr;
  Record += header ? "picture=" + std::to_string(header->biWidth) + "x" +
                         std::to_string(std::abs(header->biHeight)) + "x" +
                         std::to_string(header->biBitCount) + "\n"
                   : std::string("picture=none\n");
  if (header) GlobalUnlock(dib);
  CloseClipboard();
}

class Target : public IDropTarget {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = (iid == IID_IUnknown || iid == IID_IDropTarget) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    Record += "dropeffects=" + std::to_string(*effect) + "\n";
    FORMATETC files{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(&files, &medium))) {
      NoteFiles(static_cast<HDROP>(medium.hGlobal));
      ReleaseStgMedium(&medium);
    }
    FORMATETC preferred = files;
    preferred.cfFormat =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatA(CFSTR_PREFERREDDROPEFFECT));
    medium = {};
    const bool got = SUCCEEDED(data->GetData(&preferred, &medium));
    NoteEffect(got ? medium.hGlobal : nullptr);
    if (got) ReleaseStgMedium(&medium);
    *effect &= DROPEFFECT_COPY;
    PostQuitMessage(0);
    return S_OK;
  }
};

void TakeOneDrop(int x, int y, int w, int h) {
  OleInitialize(nullptr);
  WNDCLASSA kind{};
  kind.lpfnWndProc = DefWindowProcA;
  kind.hInstance = GetModuleHandleA(nullptr);
  kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  kind.lpszClassName = "VelmoraDropProbe";
  RegisterClassA(&kind);
  HWND window = CreateWindowExA(WS_EX_TOPMOST, kind.lpszClassName, "Velmora drop probe",
                                WS_POPUP | WS_VISIBLE | WS_BORDER, x, y, w, h, nullptr, nullptr,
                                kind.hInstance, nullptr);
  Target target;
  RegisterDragDrop(window, &target);
  SetTimer(nullptr, 0, 60000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageA(&msg);
  RevokeDragDrop(window);
  DestroyWindow(window);
  OleUninitialize();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  if (mode == "clipboard")
    ReadClipboard();
  else if (mode == "drop" && argc == 7)
    TakeOneDrop(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  else
    return 2;
  if (FILE* log = std::fopen(argv[2], "wb")) {
    std::fputs(Record.c_str(), log);
    std::fclose(log);
  }
  return 0;
}
