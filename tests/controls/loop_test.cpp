// The message loop on real windows: Run shows a form built hidden only once its children
// exist, closing the main form ends Run with the queue still dispatched, and WM_QUIT and
// WM_NULL ending a batch.
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/form.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

class MessageLoop : public ToolkitTest {};

// A plain (non-toolkit) window that logs the WM_USER-and-above messages it receives.
std::vector<UINT> SinkLog;
LRESULT CALLBACK SinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) SinkLog.push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}
HWND MakeSink() {
  static WNDCLASSA wc = {0,       &SinkProc, 0,       0,       GetModuleHandleA(nullptr),
                         nullptr, nullptr,   nullptr, nullptr, "VelmoraTestSink"};
  static const ATOM registered = RegisterClassA(&wc);
  SinkLog.clear();
  return CreateWindowExA(0, MAKEINTATOM(registered), "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct LoopCheck {
  HWND form = nullptr;
  Control* lastChild = nullptr;
  int shows = 0;
  bool childExistedWhenShown = false;
  bool destroyedByTerminate = false;
} g_check;

void CheckChildrenAtShow(HWND window, WPARAM shown) {
  if (window != g_check.form || !shown || g_check.shows++) return;
  g_check.childExistedWhenShown = IsWindow(g_check.lastChild->WindowHandle) != FALSE;
}

// Terminate takes the application window away before it frees the form.
void FormDestroyed(void*, ObjectBase*) {
  DestroyLog::Names.push_back("form");
  g_check.destroyedByTerminate = AppWindow == nullptr && AppTerminated && LoopRunning == 0;
}

void CALLBACK Watchdog(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostQuitMessage(0);
}

}  // namespace

// Catches a form shown before its children exist, lost queued messages at close, a Run that
// does not return, and a dangling form variable.
TEST_F(MessageLoop, RunShowsTheFormAfterItsChildrenAndClosingEndsItCleanly) {
  std::vector<std::string>& destroyed = DestroyLog::Names;
  destroyed.clear();
  Control* form = MakeForm(nullptr, "closing");
  form->OnDestroy = MakeCallback(nullptr, &FormDestroyed);
  MakeButton(form, "first")->OnDestroy = DestroyLog::For("first");
  g_check = LoopCheck{form->GetWindowHandle()};  // created hidden before Run
  g_check.lastChild = MakeButton(form, "added later");
  g_check.lastChild->OnDestroy = DestroyLog::For("later");
  ASSERT_FALSE(IsWindowVisible(g_check.form));
  HWND sink = MakeSink();
  SentMessageRecorder shows(WM_SHOWWINDOW);
  shows.OnRecord = &CheckChildrenAtShow;
  const UINT_PTR watchdog = SetTimer(nullptr, 0, 5000, &Watchdog);

  PostMessageA(g_check.form, WM_CLOSE, 0, 0);
  PostMessageA(sink, WM_APP + 1, 0, 0);  // queued behind the close: still dispatched
  Control* variable = form;
  velmora::Run(variable);
  const bool timedOut = !KillTimer(nullptr, watchdog);

  EXPECT_FALSE(timedOut);
  EXPECT_EQ(g_check.shows, 1);
  EXPECT_TRUE(g_check.childExistedWhenShown);
  EXPECT_EQ(variable, nullptr);
  EXPECT_EQ(AppWindow, nullptr);
  EXPECT_EQ(SinkLog, std::vector<UINT>{WM_APP + 1});
  EXPECT_TRUE(g_check.destroyedByTerminate);
  EXPECT_EQ(destroyed, (std::vector<std::string>{"form", "later", "first"}));
  EXPECT_FALSE(IsWindow(g_check.form));
  DestroyWindow(sink);
}

// Catches messages lost when WM_NULL or WM_QUIT ends a batch.
TEST_F(MessageLoop, QuitAndNullMessagesEndABatchWithoutLosingWhatIsQueued) {
  HWND sink = MakeSink();
  PostMessageA(sink, WM_NULL, 0, 0);
  PostMessageA(sink, WM_APP + 4, 0, 0);
  ProcessMessages(nullptr);
  EXPECT_TRUE(SinkLog.empty());
  EXPECT_FALSE(AppTerminated);
  ProcessMessages(nullptr);
  EXPECT_EQ(SinkLog, std::vector<UINT>{WM_APP + 4});
  EXPECT_FALSE(ProcessMessage(nullptr));

  PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
  PostMessageA(sink, WM_APP + 2, 0, 0);
  PostMessageA(sink, WM_APP + 3, 0, 0);
  ProcessMessages(nullptr);
  EXPECT_TRUE(AppTerminated);
  EXPECT_EQ(SinkLog, (std::vector<UINT>{WM_APP + 4, WM_APP + 2, WM_APP + 3}));
  DestroyWindow(sink);
}
