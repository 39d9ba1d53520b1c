// Run, ProcessMessage(s), Terminate and the end-of-session shutdown of the toolkit's one
// message loop, and the message-box owner answer while an application window is set.
#include "toolkit/message_loop.h"

#include <cstdlib>

#include "toolkit/text_utils.h"

namespace velmora {

namespace {

bool AnswerAppWindowOwner(HWND* window, std::string* caption) {
  if (!AppWindow) return false;
  if (window) *window = AppWindow->WindowHandle;
  if (caption) *caption = AppWindow->Caption;
  return true;
}

// Whether a preview hook takes the message: keyboard messages and the mouse wheel.
bool Previewed(const MSG& msg) {
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) return KeyPreviewHook(msg);
  return msg.message == WM_MOUSEWHEEL && WheelPreviewHook(msg);
}

}  // namespace

void Run(Control*& form) {
  LoopRunning = static_cast<uint8_t>(LoopRunning + 1);
  AppWindow = form;
  AppWindowOwnerHook = &AnswerAppWindowOwner;
  if (form) form->CreateWindowHandle();
  while (!AppTerminated) {
    WaitMessage();
    ProcessMessages(form);
  }
  Terminate(form);
}

bool ProcessMessage(Control*) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    AppTerminated = true;
  } else if (!Previewed(msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return LOWORD(msg.message) != 0;
}

void ProcessMessages(Control* control) {
  while (ProcessMessage(control)) {
  }
}

void Terminate(Control*& form) {
  const bool wasTerminated = AppTerminated;
  AppTerminated = true;
  LoopRunning = 0;

  Control* app = AppWindow;
  AppWindow = nullptr;
  if (!app) return;

  app->AddReference();
  if (!wasTerminated) {
    ProcessMessages(app);
    app->SendToWindow(WM_CLOSE, 0, 0);
  }
  form = nullptr;
  app->Free();
  app->DropReference();
}

void EndSessionShutdown(Control* form) {
  // The handler walk that called us never gets to drop its reference.
  if (form) form->DropReference();
  LoopRunning = 0;
  Control* app = AppWindow;
  AppWindow = nullptr;
  AppTerminated = true;
  FreeObject(app);
  std::exit(0);
}

}  // namespace velmora
