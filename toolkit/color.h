// The toolkit's 32-bit colour: with the top bit set the low byte is a Windows system colour
// index (COLOR_...), otherwise an RGB value 0x00BBGGRR. Stored unresolved, resolved on use
// so that changes of the system colours are followed. Relies on user32.
#pragma once

#include <windows.h>

#include <cstdint>

namespace velmora {

using Color = uint32_t;

constexpr Color SystemColorFlag = 0x80000000u;
constexpr Color SystemColor(int index) { return SystemColorFlag | static_cast<Color>(index & 0xFF); }

constexpr Color ColorWindowText = SystemColor(COLOR_WINDOWTEXT);  // 0x80000008
constexpr Color ColorButtonFace = SystemColor(COLOR_BTNFACE);     // 0x8000000F
constexpr Color ColorWindow = SystemColor(COLOR_WINDOW);          // 0x80000005

// The RGB value a colour stands for right now.
inline COLORREF ResolveColor(Color c) {
  return (c & SystemColorFlag) ? GetSysColor(static_cast<int>(c & 0xFF)) : static_cast<COLORREF>(c);
}

}  // namespace velmora
