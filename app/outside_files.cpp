// The command-line files and dropped files: both end in OpenPhotos, like the Open button.
// Names arrive from the system in UTF-16 and go on in the ANSI code page the program uses.
#include "app/outside_files.h"

#include <windows.h>
#include <shellapi.h>

#include "app/main_form.h"
#include "app/image_actions.h"
#include "toolkit/control.h"

namespace velmora {

namespace {

// Posted at start to the form: open the command-line files. Handled once the loop runs.
constexpr UINT OpenCommandLineFileMessage = WM_APP + 0x100;

std::string ToAnsi(const std::wstring& text, bool* lossy) {
  *lossy = false;
  // The UTF-8 code page takes every name and refuses the question whether it lost any.
  BOOL usedDefault = FALSE;
  BOOL* ask = GetACP() == CP_UTF8 ? nullptr : &usedDefault;
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(n > 0 ? n : 1, '\0');
  if (n <= 0 || !WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, result.data(), n, nullptr, ask))
    return std::string();
  result.resize(n - 1);
  *lossy = usedDefault != FALSE;
  return result;
}

// The full path of name in the ANSI code page; its short name when the code page cannot hold
// the long one (the short name may be missing too: then the file is reported as unreadable).
std::string AnsiPath(const std::wstring& name) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
  }
  full.resize(n > 0 && n < full.size() ? n : 0);
  if (full.empty()) full = name;
  bool lossy = false;
  std::string path = ToAnsi(full, &lossy);
  if (!lossy) return path;
  std::wstring shortName(full.size() + 1, L'\0');
  n = GetShortPathNameW(full.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
  shortName.resize(n > 0 && n < shortName.size() ? n : 0);
  return shortName.empty() ? path : ToAnsi(shortName, &lossy);
}

// The names of a drop in its order, as full ANSI paths; the drop is finished (its memory
// freed) here.
std::vector<std::string> DroppedFiles(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
    if (!name.empty()) paths.push_back(AnsiPath(name));
  }
  DragFinish(drop);
  return paths;
}

bool OutsideFilesHandler(Control* form, WindowMessage& message, LRESULT* result) {
  if (message.Message == WM_DROPFILES) {
    const std::vector<std::string> paths = DroppedFiles(reinterpret_cast<HDROP>(message.WParam));
    *result = 0;
    // While a dialog or message box of the program is open the window is disabled, and the
    // action that opened it is still under way: a drop then is not taken.
    if (!paths.empty() && TheMainForm && IsWindowEnabled(form->WindowHandle))
      OpenPhotos(TheMainForm, paths);
    return true;
  }
  if (message.Message == OpenCommandLineFileMessage) {
    UpdateWindow(form->WindowHandle);  // the window paints before the pictures are read
    if (TheMainForm) OpenPhotos(TheMainForm, CommandLineFiles());
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> CommandLineFiles() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> paths;
  for (int i = 1; arguments != nullptr && i < count; ++i)
    if (arguments[i][0] != L'\0') paths.push_back(AnsiPath(arguments[i]));
  LocalFree(arguments);
  return paths;
}

void AcceptOutsideFiles(MainForm* form) {
  Control* window = form->Form;
  window->AddMessageHandler(&OutsideFilesHandler);
  HWND handle = window->GetWindowHandle();
  DragAcceptFiles(handle, TRUE);
  if (!CommandLineFiles().empty()) PostMessageA(handle, OpenCommandLineFileMessage, 0, 0);
}

}  // namespace velmora
