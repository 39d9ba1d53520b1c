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

std::string IntToText(int32_t value) {
  char digits[12];
  int n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text;
  if (value < 0) text.push_back('-');
  while (n > 0) text.push_back(digits[--n]);
  return text;
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

std::string SystemErrorText(DWORD code) {
  char buffer[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                           code, 0, buffer, sizeof(buffer), nullptr);
  if (n > sizeof(buffer)) n = 0;
  while (n > 0 && static_cast<unsigned char>(buffer[n - 1]) <= 32) --n;
  return std::string(buffer, n);
}

RECT RectOf(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  RECT r;
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
  return r;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool PointInsideRect(POINT point, const RECT& rect) {
  return rect.left <= point.x && point.x <= rect.right && rect.top <= point.y &&
         point.y <= rect.bottom;
}

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

void* AllocZeroed(size_t n) {
  if (n == 0) return nullptr;
  void* p = std::calloc(1, n);
  if (!p) throw std::bad_alloc();
  return p;
}

bool SameBytes(const void* a, const void* b, size_t n) {
  return n == 0 || std::memcmp(a, b, n) == 0;
}

const char* NonNullText(const char* p) { return p ? p : ""; }

size_t TextLength(const char* p) { return p ? std::strlen(p) : 0; }

char* CopyText(char* dest, const char* src) { return std::strcpy(dest, NonNullText(src)); }

char* CopyTextMax(char* dest, const char* src, size_t max) {
  src = NonNullText(src);
  size_t n = 0;
  while (n < max && src[n]) {
    dest[n] = src[n];
    ++n;
  }
  dest[n] = 0;
  return dest;
}

const char* FindLastChar(const char* p, char ch) {
  if (!p) return nullptr;
  return std::strrchr(p, ch);
}

const char* FindLastDelimiter(const char* p, const char* delimiters) {
  p = NonNullText(p);
  delimiters = NonNullText(delimiters);
  const char* found = nullptr;
  const char* q = p;
  for (; *q; ++q)
    if (std::strchr(delimiters, *q)) found = q;
  return found ? found : q;
}

}  // namespace velmora
