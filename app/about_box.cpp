// The About box is the dialog ABOUTBOX of the program's resources: a line with the version, a
// read-only multi-line edit with the licence (resource LICENSE) and the third-party notices
// (resource NOTICES), both UTF-8 text, and OK. Enter and Escape close it, as does OK; the arrow
// and page keys scroll the text, which has the focus.
#include "app/about_box.h"

#include <windows.h>

#include <string>

#include "toolkit/control.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "(development build)"
#endif

namespace velmora {
namespace {

constexpr int kVersionLine = 100;
constexpr int kNoticesText = 101;

// A text resource of type RCDATA as UTF-16 with the line ends an edit control shows.
std::wstring TextResource(const wchar_t* name) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  const int size = found ? static_cast<int>(SizeofResource(module, found)) : 0;
  if (bytes == nullptr || size == 0) return L"";
  std::wstring wide(static_cast<size_t>(size), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes, size, wide.data(), size)));
  std::wstring text;
  text.reserve(wide.size() + wide.size() / 16);
  for (wchar_t c : wide) {
    if (c == L'\r') continue;
    if (c == L'\n') text += L'\r';
    text += c;
  }
  return text;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      SetDlgItemTextA(dialog, kVersionLine, "Velmora " VELMORA_VERSION);
      HWND text = GetDlgItem(dialog, kNoticesText);
      SendMessageW(text, EM_SETLIMITTEXT, 0, 0);  // no limit for the notices
      const std::wstring notices =
          TextResource(L"LICENSE") + L"\r\n\r\n" + TextResource(L"NOTICES");
      SetWindowTextW(text, notices.c_str());
      SetFocus(text);
      return FALSE;  // the focus was set here
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

bool AboutHandler(Control*, WindowMessage& message, LRESULT* result) {
  if (message.Message != WM_SYSCOMMAND || (message.WParam & 0xFFF0) != AboutCommand) return false;
  DialogBoxParamW(GetModuleHandleW(nullptr), L"ABOUTBOX", message.Window, AboutProc, 0);
  *result = 0;
  return true;
}

}  // namespace

void AddAboutItem(Control* form) {
  HMENU menu = GetSystemMenu(form->GetWindowHandle(), FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, AboutCommand, "&About Velmora...");
  form->AddMessageHandler(&AboutHandler);
}

}  // namespace velmora
