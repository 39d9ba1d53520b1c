// Shared pieces of the control tests on real windows: queue pumping, a fixture that resets the
// loop's globals, and click and destroy logs.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/message_loop.h"

namespace velmora::testing {

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

// Dispatches what is queued (bounded, so a window that never validates cannot hang a test)
// for at least ms milliseconds, so that timers get their turn; a leftover WM_QUIT is dropped.
inline void Pump(DWORD ms = 0) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    for (int i = 0; i < 500 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (ms) Sleep(5);
  } while (GetTickCount() - start < ms);
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

// Frees the form (and with it every control in it) when the test ends.
struct FormGuard {
  Control* form;
  ~FormGuard() {
    form->Free();
    Pump();
  }
};

// Creates a tree built hidden and shows it (what Run does first), then lets it settle.
inline void ShowTree(Control* form) {
  form->CreateWindowHandle();
  Pump();
}

inline std::string WindowText(HWND window) {
  char text[128] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

}  // namespace velmora::testing
