// The command-line file and dropped files: both end in OpenPictureFile, like the Open button.
// Names arrive from the system in UTF-16 and go on in the ANSI code page the program uses.
#include "app/outside_files.h"

#include <windows.h>
#include <shellapi.h>

#include "app/image_actions.h"
#include "app/main_form.h"
#include "toolkit/control.h"

namespace velmora {

namespace {

// Posted at start to the form: open the command-line file. Handled once the loop runs.
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

// The first name of a drop; the drop is finished (its memory freed) here.
std::wstring FirstDroppedName(HDROP drop) {
  std::wstring name;
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    name.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    name.resize(DragQueryFileW(drop, 0, name.data(), static_cast<UINT>(name.size())));
  }
  DragFinish(drop);
  return name;
}

bool OutsideFilesHandler(Control* form, WindowMessage& message, LRESULT* result) {
  if (message.Message == WM_DROPFILES) {
    const std::wstring name = FirstDroppedName(reinterpret_cast<HDROP>(message.WParam));
    *result = 0;
    // While a dialog or message box of the program is open the window is disabled, and the
    // action that opened it is still under way: a drop then is not taken.
    if (!name.empty() && TheMainForm && IsWindowEnabled(form->WindowHandle))
      OpenPictureFile(TheMainForm, AnsiPath(name));
    return true;
  }
  if (message.Message == OpenCommandLineFileMessage) {
    UpdateWindow(form->WindowHandle);  // the window paints before the picture is read
    if (TheMainForm) OpenPictureFile(TheMainForm, CommandLineFile());
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace

std::string CommandLineFile() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const std::wstring first = arguments != nullptr && count > 1 ? arguments[1] : L"";
  LocalFree(arguments);
  return first.empty() ? std::string() : AnsiPath(first);
}

void AcceptOutsideFiles(MainForm* form) {
  Control* window = form->Form;
  window->AddMessageHandler(&OutsideFilesHandler);
  HWND handle = window->GetWindowHandle();
  DragAcceptFiles(handle, TRUE);
  if (!CommandLineFile().empty()) PostMessageA(handle, OpenCommandLineFileMessage, 0, 0);
}

}  // namespace velmora
