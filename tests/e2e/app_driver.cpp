// Outside control of the program through user32: every look at a control is a message
// or a window query across processes, every action a posted message or real input.
#include "e2e/app_driver.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace velmora::e2e {

namespace {

// Whether the window's class name contains the given upper-case part (the program's own
// classes may carry a prefix before the system's name).
bool IsClass(HWND window, const char* part) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return std::string(CharUpperA(name)).find(part) != std::string::npos;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// All descendants of parent, or with direct set only its children.
std::vector<HWND> Children(HWND parent, bool direct = true) {
  std::vector<HWND> all, result;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all)
    if (!direct || GetAncestor(w, GA_PARENT) == parent) result.push_back(w);
  return result;
}

std::vector<HWND> VisibleTopLevel(DWORD processId) {
  std::vector<HWND> all, result;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == processId && IsWindowVisible(w)) result.push_back(w);
  }
  return result;
}

bool Gone(HWND window) { return !IsWindow(window) || !IsWindowVisible(window); }

}  // namespace

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

std::string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(Ask(window, WM_GETTEXTLENGTH)) + 1, L'\0');
  Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return std::string(text.begin(), text.begin() + wcslen(text.c_str()));  // the texts are ASCII
}

RECT RectInParent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT ClientScreenRectOf(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

AppSession::~AppSession() {
  if (Process == nullptr) return;
  if (WaitForSingleObject(Process, 0) != WAIT_OBJECT_0) {
    TerminateProcess(Process, 99);
    WaitForSingleObject(Process, 5000);
  }
  CloseHandle(Process);
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
  WaitFor([&] {
    for (HWND w : VisibleTopLevel(ProcessId))
      if (WindowText(w) == "Velmora") Main = w;
    return Main != nullptr || WaitForSingleObject(Process, 0) == WAIT_OBJECT_0;
  });
  return Main != nullptr && WaitIdle();
}

long AppSession::CloseAndWait(DWORD timeoutMs) {
  PostMessageW(Main, WM_CLOSE, 0, 0);
  DWORD code = 0;
  if (WaitForSingleObject(Process, timeoutMs) != WAIT_OBJECT_0) return -1;
  GetExitCodeProcess(Process, &code);
  return static_cast<long>(code);
}

bool AppSession::WaitIdle(DWORD timeoutMs) const {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(Main, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool AppSession::Settle(DWORD timeoutMs) const {
  HWND edit = GetWindow(Combo(), GW_CHILD);
  if (edit == nullptr) return false;
  // A one-character selection differing from the current one; typing never leaves one.
  const WORD start = Ask(edit, EM_GETSEL) == MAKELONG(0, 1) ? 1 : 0;
  PostMessageW(edit, EM_SETSEL, start, start + 1);
  return WaitFor([&] { return Ask(edit, EM_GETSEL) == MAKELONG(start, start + 1); },
                 timeoutMs / 1000.0) &&
         WaitIdle(timeoutMs);
}

HWND AppSession::TopPanel() const {
  HWND best = nullptr;
  for (HWND w : Children(Main))
    if (best == nullptr || RectInParent(w).top < RectInParent(best).top) best = w;
  return best;
}

HWND AppSession::Pane(bool right) const {
  // Below the top panel lie the left panel, the splitter and the right panel.
  HWND top = TopPanel(), found = nullptr;
  for (HWND w : Children(Main)) {
    const LONG x = RectInParent(w).left, best = found ? RectInParent(found).left : 0;
    if (w != top && (found == nullptr || (right ? x > best : x < best))) found = w;
  }
  return GetWindow(found, GW_CHILD);
}

HWND AppSession::Find(const char* classPart, const std::string& text) const {
  for (HWND w : Children(TopPanel()))
    if (IsClass(w, classPart) && (text.empty() || WindowText(w) == text)) return w;
  return nullptr;
}

HWND AppSession::LabelAt(int left, int top) const {
  for (HWND w : Children(TopPanel())) {
    RECT r = RectInParent(w);
    if (r.left == left && r.top == top && IsClass(w, "STATIC")) return w;
  }
  return nullptr;
}

void AppSession::MouseClickAt(POINT p) {
  SetCursorPos(p.x, p.y);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT input[3] = {};
  const DWORD flags[3] = {MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, MOUSEEVENTF_LEFTDOWN,
                          MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 3; ++i) {
    input[i].type = INPUT_MOUSE;
    input[i].mi.dwFlags = flags[i];
    input[i].mi.dx = MulDiv(p.x, 65535, w - 1);
    input[i].mi.dy = MulDiv(p.y, 65535, h - 1);
  }
  SendInput(3, input, sizeof(INPUT));
}

HWND AppSession::WaitForWindow(DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND w : VisibleTopLevel(ProcessId))
          if (w != Main) found = w;
        return found != nullptr || WaitForSingleObject(Process, 0) == WAIT_OBJECT_0;
      },
      timeoutMs / 1000.0);
  return found;
}

ShownDialog AppSession::WaitForMessage() const {
  ShownDialog shown;
  shown.Window = WaitForWindow(20000);
  if (shown.Window == nullptr) return shown;
  WaitFor(
      [&] {  // the text may be set a moment after the window shows
        shown.Text.clear();
        for (HWND w : Children(shown.Window, false)) {
          std::string text = IsClass(w, "STATIC") ? WindowText(w) : "";
          if (!text.empty()) shown.Text += (shown.Text.empty() ? "" : "\n") + text;
        }
        return !shown.Text.empty();
      },
      2);
  shown.Caption = WindowText(shown.Window);
  return shown;
}

void AppSession::Dismiss(const ShownDialog& box) const {
  PressDialogButton(box.Window, IDOK);
  WaitFor([&] { return Gone(box.Window); }, 5);
  Settle();
}

void AppSession::PressDialogButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool AppSession::ChooseFile(const std::string& path, double* okTime) const {
  // The name box: an Edit with the identifier 0x47C inside the explorer-style dialog's
  // name combo, or the old-style 0x480.
  HWND dialog = nullptr, nameBox = nullptr;
  WaitFor([&] {
    dialog = WaitForWindow(100);
    for (HWND w : Children(dialog, false))
      if (IsClass(w, "EDIT") && (GetDlgCtrlID(w) == 0x47C || GetDlgCtrlID(w) == 0x480)) nameBox = w;
    return nameBox != nullptr;
  });
  if (nameBox == nullptr) return false;
  std::wstring wide(path.begin(), path.end());
  Ask(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  if (okTime != nullptr) *okTime = Seconds();
  PressDialogButton(dialog, IDOK);
  return WaitFor([&] {
    for (HWND w : VisibleTopLevel(ProcessId))  // the system asks whether to replace a file
      if (GetWindow(w, GW_OWNER) == dialog && GetDlgItem(w, IDYES) != nullptr) {
        PressDialogButton(w, IDYES);
        WaitFor([&] { return Gone(w); }, 5);
      }
    return Gone(dialog);
  });
}

bool ScreenShot::Capture(const RECT& r) {
  Width = r.right - r.left;
  Height = r.bottom - r.top;
  if (Width <= 0 || Height <= 0) return false;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool ok = BitBlt(memory, 0, 0, Width, Height, screen, r.left, r.top, SRCCOPY) != 0;
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), Width, Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  Bits.assign(static_cast<size_t>((Width * 3 + 3) & ~3) * Height, 0);
  ok = ok && GetDIBits(memory, bitmap, 0, Height, Bits.data(), &info, DIB_RGB_COLORS) == Height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

COLORREF ScreenShot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return CLR_INVALID;
  const uint8_t* p = &Bits[static_cast<size_t>((Width * 3 + 3) & ~3) * (Height - 1 - y) + x * 3];
  return RGB(p[2], p[1], p[0]);
}

bool ScreenShot::SaveBmp(const std::string& path) const {
  BITMAPINFOHEADER header = {sizeof header, Width, Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(Bits.size());
  std::vector<uint8_t> out(reinterpret_cast<const uint8_t*>(&file),
                           reinterpret_cast<const uint8_t*>(&file) + sizeof file);
  out.insert(out.end(), reinterpret_cast<const uint8_t*>(&header),
             reinterpret_cast<const uint8_t*>(&header) + sizeof header);
  out.insert(out.end(), Bits.begin(), Bits.end());
  return WriteFileBytes(path, out);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace velmora::e2e
