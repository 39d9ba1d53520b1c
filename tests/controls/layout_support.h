// Helpers for the docking, auto-size and control-kind tests: pumping the thread's message
// queue, real mouse and key input, and freeing the forms a test builds.
#pragma once

#include <windows.h>

#include "toolkit/control.h"

namespace velmora::testing {

// Dispatches everything queued for this thread.
inline void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Keeps dispatching for ms milliseconds, so that timers get their turn.
inline void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    Pump();
    Sleep(5);
  }
  Pump();
}

// Shows a control tree built hidden (what Run does first) and lets it settle.
inline void ShowTree(Control* form) {
  form->CreateWindowHandle();
  Pump();
}

inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }

inline RECT ClientRectOf(Control* control) {
  RECT r{};
  GetClientRect(control->GetWindowHandle(), &r);
  return r;
}

// Frees the form (and with it every control in it) when the test ends.
struct FormGuard {
  Control* form;
  explicit FormGuard(Control* f) : form(f) {}
  FormGuard(const FormGuard&) = delete;
  FormGuard& operator=(const FormGuard&) = delete;
  ~FormGuard() {
    if (form) form->Free();
    Pump();
  }
};

// Holds a key down or lets it go through the system's input queue.
inline void SendKey(WORD key, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof(input));
}

// Mouse message at a screen point, posted to window in its client coordinates.
inline void PostMouse(HWND window, UINT message, POINT screen, WPARAM keys) {
  POINT p = screen;
  ScreenToClient(window, &p);
  PostMessageA(window, message, keys, MAKELPARAM(p.x, p.y));
}

}  // namespace velmora::testing
