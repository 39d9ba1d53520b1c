// Puts a test stand-in library into the system folder for as long as the object lives, where
// programs that load libraries only from there find it, and puts back what was there. Only
// under Wine, whose prefix belongs to the test run; on Windows itself nothing is touched.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::standins {

inline bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline std::string SystemFolder() {
  char path[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryA(path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) + "\\" : std::string();
}

// The library `source` as SystemFolder() + `name`. The file it replaces (Wine's placeholder
// for its built-in library) is kept beside it under a second name; one kept by an earlier
// run that ended before putting it back is the original, and stays the one put back.
class SystemFolderStandIn {
 public:
  SystemFolderStandIn(const std::string& source, const std::string& name)
      : path_(SystemFolder() + name), kept_(path_ + ".velmora-kept") {
    if (!RunningUnderWine() || SystemFolder().empty()) return;
    WIN32_FIND_DATAA found{};  // the name the file has, in its own letter case
    if (HANDLE search = FindFirstFileA(path_.c_str(), &found); search != INVALID_HANDLE_VALUE) {
      original_ = SystemFolder() + found.cFileName;
      FindClose(search);
    }
    const bool keptBefore = GetFileAttributesA(kept_.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!keptBefore) hadFile_ = MoveFileA(path_.c_str(), kept_.c_str()) != FALSE;
    installed_ = CopyFileA(source.c_str(), path_.c_str(), FALSE) != FALSE;
    hadFile_ = hadFile_ || keptBefore;
  }
  ~SystemFolderStandIn() {
    if (installed_) DeleteFileA(path_.c_str());
    if (hadFile_) MoveFileExA(kept_.c_str(), original_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  SystemFolderStandIn(const SystemFolderStandIn&) = delete;
  SystemFolderStandIn& operator=(const SystemFolderStandIn&) = delete;

  // False on Windows itself or when the copy failed: tests that need it are skipped.
  bool Installed() const { return installed_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_, kept_, original_ = path_;
  bool hadFile_ = false, installed_ = false;
};

}  // namespace velmora::standins
