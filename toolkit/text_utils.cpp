// Formatting, file-name, message-box and small text helpers.
#include "toolkit/text_utils.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace velmora {

namespace {
bool NoAppWindowOwner(HWND*, std::string*) { return false; }
}  // namespace

bool (*AppWindowOwnerHook)(HWND* window, std::string* caption) = NoAppWindowOwner;

std::string FormatTextArgs(const char* format, const uint32_t* args) {
  char buffer[2048];
  buffer[0] = 0;
  // wvsprintfA walks its argument list as consecutive 32-bit values, which is what args
  // holds; on this 32-bit target a va_list is exactly such a pointer.
  va_list list;
  std::memcpy(&list, &args, sizeof(list));
  wvsprintfA(buffer, NonNullText(format), list);
  buffer[sizeof(buffer) - 1] = 0;
  return buffer;
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of(":\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string WithTrailingChar(const std::string& text, char ch) {
  if (!text.empty() && text.back() == ch) return text;
  return text + ch;
}

std::string WithTrailingBackslash(const std::string& text) { return WithTrailingChar(text, '\\'); }

std::string TempDirectory() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof(buffer), buffer);
  if (n > 0 && n < sizeof(buffer)) return WithTrailingBackslash(std::string(buffer, n));
  // The buffer was not filled: either the path needs more room, so ask again with the room
  // it needs, or the system has no answer, so use the current directory.
  if (n > 0) {
    std::string path(n, '\0');
    DWORD again = GetTempPathA(n, path.data());
    if (again > 0 && again < n) return WithTrailingBackslash(path.substr(0, again));
  }
  return std::string(".\\");
}

std::string SystemDirectory() {
  char buffer[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryA(buffer, sizeof(buffer));
  if (n > 0 && n < sizeof(buffer)) return WithTrailingBackslash(std::string(buffer, n));
  if (n == 0) return std::string();
  std::string path(n, '\0');  // n is the room the path needs
  const UINT again = GetSystemDirectoryA(path.data(), n);
  return again > 0 && again < n ? WithTrailingBackslash(path.substr(0, again)) : std::string();
}

bool RestrictLibrarySearchToSystem() {
  constexpr DWORD SearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  // Through the generic procedure type, which any procedure pointer may be cast to.
  auto entry = reinterpret_cast<void (*)()>(
      kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr);
  return entry != nullptr && reinterpret_cast<SetDirectories>(entry)(SearchSystem32) != FALSE;
}

int ShowMessageBox(const std::string& text, UINT flags) {
  HWND owner = nullptr;
  std::string caption;
  bool hasOwner = AppWindowOwnerHook(&owner, &caption);
  return MessageBoxA(hasOwner ? owner : nullptr, text.c_str(), hasOwner ? caption.c_str() : nullptr,
                     flags);
}

int ShowInfoMessage(const std::string& text) { return ShowMessageBox(text, MB_SETFOREGROUND); }

uint32_t FlagsFromSet(uint32_t set, const int32_t* table, int count) {
  uint32_t flags = 0;
  for (int i = 0; i < count && i < 32; ++i) {
    bool on = (set >> i) & 1u;
    int32_t entry = table[i];
    if (entry >= 0) {
      if (on) flags |= static_cast<uint32_t>(entry);
    } else if (!on) {
      flags |= ~static_cast<uint32_t>(entry);
    }
  }
  return flags;
}

const char* NonNullText(const char* p) { return p ? p : ""; }

}  // namespace velmora
