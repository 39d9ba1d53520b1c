// Shared pieces of the control tests on real windows: small control makers over the bare
// control, queue pumping, a fixture that resets the loop's globals, a window that logs its
// messages, a hook that records sent messages, a loop watchdog and real mouse and key input.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/message_loop.h"

namespace velmora::testing {

// Counts the clicks a control reports and remembers the last owner and sender.
struct ClickLog {
  int count = 0;
  void* owner = nullptr;
  Control* sender = nullptr;
  static void Count(void* owner, Control* sender) {
    *static_cast<ClickLog*>(owner) = {static_cast<ClickLog*>(owner)->count + 1, owner, sender};
  }
};

// Records, by name, the objects whose OnDestroy fires.
struct DestroyLog {
  static inline std::vector<std::string> Names;
  static void Note(void* name, ObjectBase*) { Names.push_back(static_cast<const char*>(name)); }
  static Callback For(const char* name) { return MakeCallback(const_cast<char*>(name), &Note); }
};

// WM_COMMAND with code to parent, as child's window sends it.
inline LRESULT SendCommand(Control* parent, Control* child, WORD code) {
  return SendMessageA(parent->WindowHandle, WM_COMMAND, MAKEWPARAM(child->ControlId, code),
                      reinterpret_cast<LPARAM>(child->WindowHandle));
}

// Dispatches what is queued for this thread; a leftover WM_QUIT is dropped. Bounded so a
// window that never validates cannot hang a test.
inline void Pump() {
  MSG msg;
  for (int i = 0; i < 500 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) continue;
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

// Starts and ends each test with an empty queue and the loop's globals reset.
class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    Pump();
    AppWindow = nullptr;
    LoopRunning = 0;
    AppTerminated = false;
  }
};

inline RECT ClientRectOf(Control* control) {
  RECT r{};
  GetClientRect(control->GetWindowHandle(), &r);
  return r;
}

inline std::string WindowText(HWND window) {
  char text[128] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Frees the form (and with it every control in it) when the test ends.
struct FormGuard {
  Control* form;
  ~FormGuard() {
    if (form) form->Free();
    Pump();
  }
};

// Creates a tree built hidden and shows it (what Run does first), then lets it settle.
inline void ShowTree(Control* form) {
  form->CreateWindowHandle();
  Pump();
}

// A plain (non-toolkit) window that logs the WM_USER-and-above messages it receives.
struct MessageSink {
  static inline std::vector<UINT> Log;
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER) Log.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  static HWND Create() {
    static WNDCLASSA wc = {};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelmoraTestSink";
    static const ATOM registered = RegisterClassA(&wc);
    Log.clear();
    return CreateWindowExA(0, MAKEINTATOM(registered), "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  }
};

// Records the windows that the system sends `message` to on this thread (a WH_CALLWNDPROC
// hook); OnRecord runs while the receiving window still exists.
struct SentMessageRecorder {
  static inline SentMessageRecorder* Current = nullptr;
  UINT Message;
  HHOOK Hook = SetWindowsHookExA(WH_CALLWNDPROC, &HookProc, nullptr, GetCurrentThreadId());
  std::vector<HWND> Windows;
  void (*OnRecord)(HWND window, WPARAM wParam) = nullptr;

  explicit SentMessageRecorder(UINT message) : Message(message) { Current = this; }
  ~SentMessageRecorder() {
    if (Hook) UnhookWindowsHookEx(Hook);
    Current = nullptr;
  }
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (SentMessageRecorder* self = Current;
        code == HC_ACTION && self && cwp->message == self->Message) {
      self->Windows.push_back(cwp->hwnd);
      if (self->OnRecord) self->OnRecord(cwp->hwnd, cwp->wParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};

// Posts WM_QUIT after `milliseconds` unless destroyed first, so a loop test cannot hang.
struct LoopWatchdog {
  static inline bool Fired = false;
  UINT_PTR timer;
  explicit LoopWatchdog(UINT milliseconds)
      : timer((Fired = false, SetTimer(nullptr, 0, milliseconds, &Expired))) {}
  ~LoopWatchdog() { KillTimer(nullptr, timer); }
  static void CALLBACK Expired(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    Fired = true;
    PostQuitMessage(0);
  }
};

// Moves the cursor to a screen point and posts the mouse message there to window.
inline void PostMouse(HWND window, UINT message, POINT screen, WPARAM keys) {
  SetCursorPos(screen.x, screen.y);
  POINT p = screen;
  ScreenToClient(window, &p);
  PostMessageA(window, message, keys, MAKELPARAM(p.x, p.y));
  Pump();
}

// The middle of a window, in screen coordinates.
inline POINT MiddleOf(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace velmora::testing
