// Outside control of the program through user32: every look at a control is a message
// or a window query across processes, every action a posted message or real input.
#include "e2e/app_driver.h"

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstring>

namespace velmora::e2e {

namespace {

constexpr DWORD kMessageWait = 5000;

std::string Narrow(const wchar_t* text, int length) {
  if (length <= 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), n, nullptr, nullptr);
  return result;
}

bool ContainsNoCase(const std::string& text, const char* part) {
  std::string a = text, b = part;
  std::transform(a.begin(), a.end(), a.begin(),
                 [](char c) { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
  std::transform(b.begin(), b.end(), b.begin(),
                 [](char c) { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
  return a.find(b) != std::string::npos;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

void SendMouse(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

}  // namespace

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kMessageWait, &length))
    return {};
  std::vector<wchar_t> buffer(length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, kMessageWait,
                           &copied))
    return {};
  return Narrow(buffer.data(), static_cast<int>(wcslen(buffer.data())));
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

RECT RectInParent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  HWND parent = GetAncestor(window, GA_PARENT);
  if (parent != nullptr && parent != GetDesktopWindow()) {
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

std::vector<HWND> DirectChildren(HWND parent) {
  std::vector<HWND> result;
  for (HWND w = GetWindow(parent, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
    result.push_back(w);
  return result;
}

std::vector<HWND> AllDescendants(HWND parent) {
  std::vector<HWND> result;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&result));
  return result;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
  std::vector<HWND> all, result;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == processId && IsWindowVisible(w)) result.push_back(w);
  }
  return result;
}

AppSession::~AppSession() {
  if (Process != nullptr) {
    if (WaitForSingleObject(Process, 0) != WAIT_OBJECT_0) {
      TerminateProcess(Process, 99);
      WaitForSingleObject(Process, 5000);
    }
    CloseHandle(Process);
  }
}

bool AppSession::Start(const std::string& exe, const std::string& workDir) {
  std::string command = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workDir.c_str(), &startup, &info))
    return false;
  CloseHandle(info.hThread);
  Process = info.hProcess;
  ProcessId = info.dwProcessId;
  WaitForInputIdle(Process, 20000);
  for (int i = 0; i < 400 && Main == nullptr; ++i) {
    for (HWND w : TopLevelWindows(ProcessId)) {
      if (WindowText(w) == "Velmora") Main = w;
    }
    if (Main == nullptr) {
      if (WaitForSingleObject(Process, 50) == WAIT_OBJECT_0) return false;
    }
  }
  return Main != nullptr && WaitIdle();
}

long AppSession::CloseAndWait(DWORD timeoutMs) {
  PostMessageW(Main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(Process, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(Process, &code);
  return static_cast<long>(code);
}

bool AppSession::WaitIdle(DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(Main, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool AppSession::Settle(DWORD timeoutMs) {
  HWND combo = Combo();
  HWND edit = combo != nullptr ? GetWindow(combo, GW_CHILD) : nullptr;
  if (edit == nullptr) return false;
  // The marker is a selection of one character, which typing never leaves behind, and
  // differs from the selection there is now. (The field holds at least two characters, a
  // percentage, by the time the marker arrives.)
  DWORD_PTR now = 0;
  SendMessageTimeoutW(edit, EM_GETSEL, 0, 0, SMTO_NORMAL, timeoutMs, &now);
  const WORD start = now == MAKELONG(0, 1) ? 1 : 0;
  PostMessageW(edit, EM_SETSEL, start, start + 1);
  for (double end = Seconds() + timeoutMs / 1000.0; Seconds() < end; Sleep(5)) {
    DWORD_PTR selection = 0;
    if (SendMessageTimeoutW(edit, EM_GETSEL, 0, 0, SMTO_NORMAL, timeoutMs, &selection) &&
        selection == static_cast<DWORD_PTR>(MAKELONG(start, start + 1)))
      return WaitIdle(timeoutMs);
  }
  return false;
}

HWND AppSession::TopPanel() const {
  HWND best = nullptr;
  for (HWND w : DirectChildren(Main)) {
    if (best == nullptr || RectInParent(w).top < RectInParent(best).top) best = w;
  }
  return best;
}

// The three windows below the top panel, left to right.
static std::vector<HWND> Columns(HWND main, HWND top) {
  std::vector<HWND> columns;
  for (HWND w : DirectChildren(main))
    if (w != top) columns.push_back(w);
  std::sort(columns.begin(), columns.end(),
            [](HWND a, HWND b) { return RectInParent(a).left < RectInParent(b).left; });
  return columns;
}

HWND AppSession::LeftPanel() const {
  auto c = Columns(Main, TopPanel());
  return c.size() == 3 ? c[0] : nullptr;
}

HWND AppSession::Splitter() const {
  auto c = Columns(Main, TopPanel());
  return c.size() == 3 ? c[1] : nullptr;
}

HWND AppSession::RightPanel() const {
  auto c = Columns(Main, TopPanel());
  return c.size() == 3 ? c[2] : nullptr;
}

HWND AppSession::OpenedPane() const {
  HWND panel = LeftPanel();
  return panel != nullptr ? GetWindow(panel, GW_CHILD) : nullptr;
}

HWND AppSession::ShrunkPane() const {
  HWND panel = RightPanel();
  return panel != nullptr ? GetWindow(panel, GW_CHILD) : nullptr;
}

HWND AppSession::Button(const std::string& caption) const {
  for (HWND w : DirectChildren(TopPanel()))
    if (ContainsNoCase(ClassOf(w), "BUTTON") && WindowText(w) == caption) return w;
  return nullptr;
}

HWND AppSession::Combo() const {
  for (HWND w : DirectChildren(TopPanel()))
    if (ContainsNoCase(ClassOf(w), "COMBOBOX")) return w;
  return nullptr;
}

HWND AppSession::LabelAt(int left, int top) const {
  for (HWND w : DirectChildren(TopPanel())) {
    RECT r = RectInParent(w);
    if (r.left == left && r.top == top && ContainsNoCase(ClassOf(w), "STATIC")) return w;
  }
  return nullptr;
}

HWND AppSession::Label(const std::string& text) const {
  for (HWND w : DirectChildren(TopPanel()))
    if (ContainsNoCase(ClassOf(w), "STATIC") && WindowText(w) == text) return w;
  return nullptr;
}

void AppSession::Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }

void AppSession::MouseClickAt(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  Sleep(50);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  Sleep(50);
  SendMouse(MOUSEEVENTF_LEFTUP);
}

void AppSession::MouseDrag(POINT from, POINT to) {
  SetCursorPos(from.x, from.y);
  Sleep(50);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  Sleep(50);
  const int steps = 10;
  for (int i = 1; i <= steps; ++i) {
    SetCursorPos(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
    SendMouse(MOUSEEVENTF_MOVE);
    Sleep(20);
  }
  SendMouse(MOUSEEVENTF_LEFTUP);
  Sleep(50);
}

HWND AppSession::WaitForWindow(DWORD timeoutMs, HWND ignore) const {
  const double end = Seconds() + timeoutMs / 1000.0;
  do {
    for (HWND w : TopLevelWindows(ProcessId))
      if (w != Main && w != ignore) return w;
    if (WaitForSingleObject(Process, 20) == WAIT_OBJECT_0) return nullptr;
  } while (Seconds() < end);
  return nullptr;
}

ShownDialog AppSession::Describe(HWND window) const {
  ShownDialog shown;
  shown.Window = window;
  shown.Caption = WindowText(window);
  for (HWND w : AllDescendants(window)) {
    if (!ContainsNoCase(ClassOf(w), "STATIC")) continue;
    std::string text = WindowText(w);
    if (text.empty()) continue;
    if (!shown.Text.empty()) shown.Text += "\n";
    shown.Text += text;
  }
  return shown;
}

bool AppSession::HasModalWindow() const {
  for (HWND w : TopLevelWindows(ProcessId))
    if (w != Main) return true;
  return false;
}

void AppSession::PressDialogButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool AppSession::ChooseFile(const std::string& path, DWORD timeoutMs, double* okTime) {
  const double end = Seconds() + timeoutMs / 1000.0;
  HWND dialog = nullptr, nameBox = nullptr;
  // The file-name box: an Edit with the identifier 0x47C inside the explorer-style
  // dialog's name combo, or the old-style edt1 (0x480).
  while (nameBox == nullptr && Seconds() < end) {
    dialog = WaitForWindow(timeoutMs);
    if (dialog == nullptr) return false;
    for (HWND w : AllDescendants(dialog)) {
      int id = GetDlgCtrlID(w);
      if (ContainsNoCase(ClassOf(w), "EDIT") && (id == 0x47C || id == 0x480)) nameBox = w;
    }
    if (nameBox == nullptr) Sleep(20);
  }
  if (nameBox == nullptr) return false;
  std::wstring wide(path.begin(), path.end());
  DWORD_PTR result = 0;
  SendMessageTimeoutW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_NORMAL,
                      kMessageWait, &result);
  if (okTime != nullptr) *okTime = Seconds();
  PressDialogButton(dialog, IDOK);
  // Wait for the dialog to close, saying "Yes" when the system asks whether to replace
  // an existing file.
  while (IsWindow(dialog) && IsWindowVisible(dialog) && Seconds() < end) {
    for (HWND w : TopLevelWindows(ProcessId)) {
      if (w != dialog && w != Main && GetWindow(w, GW_OWNER) == dialog &&
          GetDlgItem(w, IDYES) != nullptr) {
        PressDialogButton(w, IDYES);
        Sleep(100);
      }
    }
    Sleep(10);
  }
  return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

bool AppSession::CancelFileDialog(DWORD timeoutMs) {
  HWND dialog = WaitForWindow(timeoutMs);
  if (dialog == nullptr) return false;
  PressDialogButton(dialog, IDCANCEL);
  for (double end = Seconds() + timeoutMs / 1000.0; Seconds() < end; Sleep(10))
    if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return WaitIdle();
  return false;
}

bool ScreenShot::Capture(const RECT& r) {
  Width = r.right - r.left;
  Height = r.bottom - r.top;
  if (Width <= 0 || Height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = dib != nullptr;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, dib);
    ok = BitBlt(memory, 0, 0, Width, Height, screen, r.left, r.top, SRCCOPY) != 0;
    GdiFlush();
    const size_t stride = (static_cast<size_t>(Width) * 3 + 3) & ~size_t{3};
    Bgr.resize(static_cast<size_t>(Width) * 3 * Height);
    for (int y = 0; y < Height; ++y)
      std::memcpy(&Bgr[static_cast<size_t>(y) * Width * 3],
                  static_cast<uint8_t*>(bits) + stride * y, static_cast<size_t>(Width) * 3);
    SelectObject(memory, old);
    DeleteObject(dib);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

COLORREF ScreenShot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return CLR_INVALID;
  const uint8_t* p = &Bgr[(static_cast<size_t>(y) * Width + x) * 3];
  return RGB(p[2], p[1], p[0]);
}

bool ScreenShot::SaveBmp(const std::string& path) const {
  const size_t stride = (static_cast<size_t>(Width) * 3 + 3) & ~size_t{3};
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = Width;
  header.biHeight = Height;  // bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biSizeImage = static_cast<DWORD>(stride * Height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + header.biSizeImage;
  std::vector<uint8_t> out(file.bfSize, 0);
  std::memcpy(out.data(), &file, sizeof file);
  std::memcpy(out.data() + sizeof file, &header, sizeof header);
  for (int y = 0; y < Height; ++y)
    std::memcpy(out.data() + file.bfOffBits + stride * (Height - 1 - y),
                &Bgr[static_cast<size_t>(y) * Width * 3], static_cast<size_t>(Width) * 3);
  return WriteWholeFile(path, out);
}

RECT ScreenRectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

RECT ClientScreenRectOf(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  bytes->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes->insert(bytes->end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace velmora::e2e
