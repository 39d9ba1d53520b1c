// The folder dialog over the shell's IFileOpenDialog with the pick-folders option.
// The dialog's interfaces are declared for Vista and later; the program still starts on older
// systems, where creating the dialog simply fails.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "toolkit/folder_dialog.h"

#include <objbase.h>
#include <shobjidl.h>

#include <vector>

namespace velmora {

namespace {

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(wide.size() - 1);
  return wide;
}

// The path in the ANSI code page; a path that code page cannot hold goes by its short name.
std::string Narrow(const std::wstring& path) {
  std::wstring usable = path;
  BOOL lossy = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;  // UTF-8 holds every name and takes no lossy flag
  int n = WideCharToMultiByte(CP_ACP, 0, usable.c_str(), -1, nullptr, 0, nullptr,
                              utf8 ? nullptr : &lossy);
  if (lossy) {
    std::vector<wchar_t> shortName(MAX_PATH * 2);
    if (GetShortPathNameW(path.c_str(), shortName.data(), static_cast<DWORD>(shortName.size())))
      usable = shortName.data();
    n = WideCharToMultiByte(CP_ACP, 0, usable.c_str(), -1, nullptr, 0, nullptr, nullptr);
  }
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, usable.c_str(), -1, text.data(), n, nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
}

template <class T>
struct Released {
  T* Object = nullptr;
  ~Released() {
    if (Object) Object->Release();
  }
};

}  // namespace

FolderChoice ChooseFolder(HWND owner, const std::string& title, std::string* folder) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  FolderChoice choice = FolderChoice::Unavailable;
  {
    Released<IFileOpenDialog> dialog;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFileOpenDialog,
                                   reinterpret_cast<void**>(&dialog.Object)))) {
      FILEOPENDIALOGOPTIONS options = 0;
      dialog.Object->GetOptions(&options);
      dialog.Object->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM |
                                FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR);
      if (!title.empty()) dialog.Object->SetTitle(Wide(title).c_str());
      const HRESULT shown = dialog.Object->Show(owner);
      Released<IShellItem> item;
      PWSTR path = nullptr;
      if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        choice = FolderChoice::Cancelled;
      } else if (SUCCEEDED(shown) && SUCCEEDED(dialog.Object->GetResult(&item.Object)) &&
                 SUCCEEDED(item.Object->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        *folder = Narrow(path);
        CoTaskMemFree(path);
        if (!folder->empty()) {
          if (folder->back() != '\\') folder->push_back('\\');
          choice = FolderChoice::Chosen;
        }
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return choice;
}

}  // namespace velmora
