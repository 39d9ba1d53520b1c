// Shared pieces of the control, loop and paint tests: a fixture that resets the toolkit's
// global state and empties the thread's queue, small control makers over MakeWindowedControl
// and MakeChildControl, a plain window that records the messages it receives, and a
// WH_CALLWNDPROC hook that records what the system sends to windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/message_loop.h"

namespace velmora::testing {

// A top-level toolkit window of the toolkit's own class, as a form has it.
inline Control* MakeTestForm(const std::string& caption) {
  Control* form = MakeWindowedControl(nullptr, "Form", true);
  form->ClassStyle |= CS_DBLCLKS;
  form->SetText(caption);
  form->IsForm = true;
  return form;
}

inline KindTable ButtonKind() {
  KindTable kind;
  kind.ClickCode = BN_CLICKED;
  kind.EnterCode = BN_SETFOCUS;
  kind.LeaveCode = BN_KILLFOCUS;
  return kind;
}

// A push button child over the system "BUTTON" class.
inline Control* MakeTestButton(Control* parent, const std::string& caption) {
  KindTable kind = ButtonKind();
  Control* button = MakeChildControl(parent, "BUTTON", 0x50011000, false, &kind);
  button->SetHeight(22);
  button->SetText(caption);
  return button;
}

// A static child with notifications, as labels, panels and paint boxes have it.
inline Control* MakeTestStatic(Control* parent) {
  KindTable kind;
  kind.ClickCode = STN_CLICKED;
  Control* label = MakeChildControl(parent, "STATIC", 0x5000018C, false, &kind);
  label->IsLabel = true;
  return label;
}

// Removes whatever an earlier test left queued (WM_QUIT included), dispatching the rest so
// pending paints are validated; bounded so a window that never validates cannot hang us.
inline void DrainQueue() {
  MSG msg;
  for (int i = 0; i < 500 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainQueue();
    AppWindow = nullptr;
    LoopRunning = 0;
    AppTerminated = false;
  }
  void TearDown() override {
    DrainQueue();
    AppWindow = nullptr;
    LoopRunning = 0;
    AppTerminated = false;
  }
};

// A plain (non-toolkit) top-level window that records every message number it receives.
struct MessageSink {
  static std::vector<UINT>& Log() {
    static std::vector<UINT> log;
    return log;
  }
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER) Log().push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  static HWND Create() {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = &Proc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "VelmoraTestSink";
      RegisterClassA(&wc);
      registered = true;
    }
    Log().clear();
    return CreateWindowExA(0, "VelmoraTestSink", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  }
};

// Records (window, message, wParam) of what the system delivers through SendMessage and
// window destruction, for the messages a test asks for.
struct SentRecord {
  HWND Window;
  UINT Message;
  WPARAM WParam;
};

class SentMessageRecorder {
 public:
  explicit SentMessageRecorder(std::vector<UINT> wanted) : wanted_(std::move(wanted)) {
    Current() = this;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROC, &HookProc, nullptr, GetCurrentThreadId());
  }
  ~SentMessageRecorder() {
    if (hook_) UnhookWindowsHookEx(hook_);
    Current() = nullptr;
  }
  SentMessageRecorder(const SentMessageRecorder&) = delete;
  SentMessageRecorder& operator=(const SentMessageRecorder&) = delete;

  bool Installed() const { return hook_ != nullptr; }
  std::vector<SentRecord> Records;
  // Called for every recorded message, while the receiving window still exists.
  void (*OnRecord)(const SentRecord& record) = nullptr;

 private:
  static SentMessageRecorder*& Current() {
    static SentMessageRecorder* current = nullptr;
    return current;
  }
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
    SentMessageRecorder* self = Current();
    if (code == HC_ACTION && self) {
      const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
      for (UINT m : self->wanted_) {
        if (cwp->message != m) continue;
        SentRecord record{cwp->hwnd, cwp->message, cwp->wParam};
        self->Records.push_back(record);
        if (self->OnRecord) self->OnRecord(record);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  std::vector<UINT> wanted_;
  HHOOK hook_ = nullptr;
};

// Posts WM_QUIT after `milliseconds` unless disarmed first, so a loop test cannot hang.
class LoopWatchdog {
 public:
  explicit LoopWatchdog(UINT milliseconds) {
    Fired() = false;
    timer_ = SetTimer(nullptr, 0, milliseconds, &Expired);
  }
  ~LoopWatchdog() { KillTimer(nullptr, timer_); }
  static bool& Fired() {
    static bool fired = false;
    return fired;
  }

 private:
  static void CALLBACK Expired(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    Fired() = true;
    PostQuitMessage(0);
  }
  UINT_PTR timer_ = 0;
};

}  // namespace velmora::testing
