// Small stateless helpers: wvsprintfA formatting, integer and file-name texts, the temporary
// and system folders, the library search, message boxes, system error texts, rectangles, flag
// sets and null-terminated text and memory helpers. Relies on user32 and kernel32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "toolkit/object.h"

namespace velmora {

// Formats with the wvsprintfA conversions; each argument passes as one 32-bit value
// (integers as they are, texts as the address of their characters). Output stops at
// 1024 characters, as the system function does.
std::string FormatTextArgs(const char* format, const uint32_t* args);

inline uint32_t FormatArg(const char* text) { return reinterpret_cast<uintptr_t>(text); }
inline uint32_t FormatArg(const std::string& text) { return FormatArg(text.c_str()); }
template <class T, class = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
uint32_t FormatArg(T value) {
  return static_cast<uint32_t>(value);
}

template <class... Args>
std::string FormatText(const char* format, const Args&... args) {
  const uint32_t values[] = {FormatArg(args)..., 0};
  return FormatTextArgs(format, values);
}

// Everything after the last ':' or '\'; the whole path when it has neither.
std::string FileNameOf(const std::string& path);
std::string WithTrailingChar(const std::string& text, char ch);
std::string WithTrailingBackslash(const std::string& text);
// The system's temporary directory, always ending in '\'.
std::string TempDirectory();
// The system folder (GetSystemDirectoryA), always ending in '\'; "" when the system has none.
std::string SystemDirectory();
// Limits the folders searched for a library loaded by name, for the whole process, to the
// system folder: never the program's own folder or the current directory. The call exists
// from Windows 8 on (and Windows 7 with its update KB2533623); false where it is missing.
bool RestrictLibrarySearchToSystem();

// Answers the owner window and caption for message boxes while an application window is
// set; the message loop installs it, the default answers false (no owner, no caption).
extern bool (*AppWindowOwnerHook)(HWND* window, std::string* caption);

int ShowMessageBox(const std::string& text, UINT flags);
int ShowInfoMessage(const std::string& text);

// Entry i >= 0 is OR-ed in when bit i is set; entry i < 0 contributes ~entry when it is clear.
uint32_t FlagsFromSet(uint32_t set, const int32_t* table, int count);

const char* NonNullText(const char* p);

}  // namespace velmora
