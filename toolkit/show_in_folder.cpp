// Explorer with files selected: a command line for one, the shell's own call for several.
#include "toolkit/show_in_folder.h"

#include <windows.h>
#include <shlobj.h>

#include "toolkit/file_drag.h"
#include "toolkit/process.h"

namespace velmora {

namespace {

// The shell's item of a path; released with ILFree.
PIDLIST_ABSOLUTE ItemOf(const std::string& path) {
  const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (n <= 1) return nullptr;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), n);
  return ILCreateFromPathW(wide.c_str());
}

bool SelectSeveral(const std::vector<std::string>& paths) {
  const std::string folder = paths[0].substr(0, paths[0].find_last_of('\\') + 1);
  if (folder.empty() || !EnsureOle()) return false;
  PIDLIST_ABSOLUTE folderItem = ItemOf(folder);
  std::vector<PIDLIST_ABSOLUTE> items;
  std::vector<LPCITEMIDLIST> children;
  for (const std::string& path : paths)
    if (PIDLIST_ABSOLUTE item = ItemOf(path)) {
      items.push_back(item);
      children.push_back(ILFindLastID(item));
    }
  const bool ok = folderItem && !children.empty() &&
                  SUCCEEDED(SHOpenFolderAndSelectItems(
                      folderItem, static_cast<UINT>(children.size()), children.data(), 0));
  for (PIDLIST_ABSOLUTE item : items) ILFree(item);
  if (folderItem) ILFree(folderItem);
  return ok;
}

}  // namespace

std::string SelectInExplorerCommand(const std::string& path) {
  return "explorer.exe /select,\"" + path + "\"";
}

bool ShowInFolder(const std::vector<std::string>& paths) {
  if (paths.empty()) return false;
  if (paths.size() > 1 && SelectSeveral(paths)) return true;
  HANDLE process = nullptr;
  const bool ended =
      RunProcess("", SelectInExplorerCommand(paths[0]), "", SW_SHOWNORMAL, 0, &process);
  if (process) CloseHandle(process);
  return ended || process != nullptr;
}

}  // namespace velmora
