// The message loop on real windows: Run shows a form built hidden only once its children
// exist, closing the main form ends Run through WM_QUIT with the queue still dispatched,
// Terminate without WM_QUIT, WM_NULL ending a batch, and the message-box owner answer.
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

class MessageLoop : public ToolkitTest {};

std::vector<std::string>* g_destroyed = nullptr;
void RecordDestroyed(void* context, ObjectBase*) {
  if (g_destroyed) g_destroyed->push_back(static_cast<const char*>(context));
}

// Closes the application window from inside the loop, as the user's close button does.
void CALLBACK CloseAppWindow(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (AppWindow) PostMessageA(AppWindow->WindowHandle, WM_CLOSE, 0, 0);
}

struct ShowCheck {
  Control* form = nullptr;
  Control* lastChild = nullptr;
  bool shown = false;
  bool childExistedWhenShown = false;
};
ShowCheck* g_show = nullptr;

void CheckChildrenAtShow(const SentRecord& record) {
  if (!g_show || record.Window != g_show->form->WindowHandle || !record.WParam || g_show->shown)
    return;
  g_show->shown = true;
  g_show->childExistedWhenShown =
      g_show->lastChild->WindowHandle && IsWindow(g_show->lastChild->WindowHandle);
}

struct DestroyCheck {
  HWND formWindow = nullptr;
  bool seen = false;
  bool byTerminate = false;
};
DestroyCheck* g_destroyCheck = nullptr;

void CheckDestroyedByTerminate(const SentRecord& record) {
  if (!g_destroyCheck || record.Window != g_destroyCheck->formWindow) return;
  g_destroyCheck->seen = true;
  // Terminate takes the application window away before it frees it.
  g_destroyCheck->byTerminate = AppWindow == nullptr && AppTerminated && LoopRunning == 0;
}

}  // namespace

TEST_F(MessageLoop, RunShowsAFormBuiltHiddenOnlyAfterItsChildrenExist) {
  Control* form = MakeTestForm("built hidden");
  MakeTestButton(form, "first");
  form->GetWindowHandle();  // measured before Run: created hidden
  Control* last = MakeTestButton(form, "added later");
  ASSERT_FALSE(IsWindowVisible(form->WindowHandle));

  ShowCheck show{form, last};
  g_show = &show;
  SentMessageRecorder recorder({WM_SHOWWINDOW});
  recorder.OnRecord = &CheckChildrenAtShow;
  LoopWatchdog watchdog(5000);
  SetTimer(nullptr, 0, 20, &CloseAppWindow);

  Control* variable = form;
  velmora::Run(variable);
  g_show = nullptr;

  EXPECT_FALSE(LoopWatchdog::Fired());
  EXPECT_TRUE(show.shown);
  EXPECT_TRUE(show.childExistedWhenShown);
  EXPECT_EQ(variable, nullptr);
}

TEST_F(MessageLoop, ClosingTheMainFormQuitsAfterTheQueueAndDestroysItThroughTerminate) {
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  Control* form = MakeTestForm("closing");
  form->OnDestroy = MakeCallback(const_cast<char*>("form"), &RecordDestroyed);
  Control* button = MakeTestButton(form, "child");
  button->OnDestroy = MakeCallback(const_cast<char*>("button"), &RecordDestroyed);
  HWND formWindow = form->GetWindowHandle();
  HWND buttonWindow = button->WindowHandle;
  HWND sink = MessageSink::Create();

  DestroyCheck check{formWindow};
  g_destroyCheck = &check;
  SentMessageRecorder recorder({WM_DESTROY});
  recorder.OnRecord = &CheckDestroyedByTerminate;
  LoopWatchdog watchdog(5000);

  // Queued in this order: the close, a message behind it, and one behind an explicit quit.
  PostMessageA(formWindow, WM_CLOSE, 0, 0);
  PostMessageA(sink, WM_APP + 1, 0, 0);
  Control* variable = form;
  velmora::Run(variable);
  g_destroyCheck = nullptr;

  EXPECT_FALSE(LoopWatchdog::Fired());
  EXPECT_EQ(variable, nullptr);
  EXPECT_EQ(AppWindow, nullptr);
  EXPECT_TRUE(AppTerminated);
  EXPECT_EQ(LoopRunning, 0);
  EXPECT_EQ(MessageSink::Log(), std::vector<UINT>{WM_APP + 1});
  EXPECT_TRUE(check.seen);
  EXPECT_TRUE(check.byTerminate);
  EXPECT_EQ(destroyed, (std::vector<std::string>{"form", "button"}));
  EXPECT_FALSE(IsWindow(formWindow));
  EXPECT_FALSE(IsWindow(buttonWindow));
  DestroyWindow(sink);
  g_destroyed = nullptr;
}

TEST_F(MessageLoop, MessagesQueuedBehindAQuitAreStillDispatched) {
  HWND sink = MessageSink::Create();
  PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
  PostMessageA(sink, WM_APP + 2, 0, 0);
  PostMessageA(sink, WM_APP + 3, 0, 0);
  ProcessMessages(nullptr);
  EXPECT_TRUE(AppTerminated);
  EXPECT_EQ(MessageSink::Log(), (std::vector<UINT>{WM_APP + 2, WM_APP + 3}));
  DestroyWindow(sink);
}

TEST_F(MessageLoop, NullMessageEndsTheCurrentBatch) {
  HWND sink = MessageSink::Create();
  PostMessageA(sink, WM_NULL, 0, 0);
  PostMessageA(sink, WM_APP + 4, 0, 0);
  ProcessMessages(nullptr);
  EXPECT_TRUE(MessageSink::Log().empty());
  EXPECT_FALSE(AppTerminated);
  ProcessMessages(nullptr);
  EXPECT_EQ(MessageSink::Log(), std::vector<UINT>{WM_APP + 4});
  EXPECT_FALSE(ProcessMessage(nullptr));  // nothing left
  DestroyWindow(sink);
}

TEST_F(MessageLoop, TerminateWithoutQuitClosesAndDestroysTheApplicationWindow) {
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  Control* form = MakeTestForm("terminate");
  form->OnDestroy = MakeCallback(const_cast<char*>("form"), &RecordDestroyed);
  HWND window = form->GetWindowHandle();
  HWND sink = MessageSink::Create();
  PostMessageA(sink, WM_APP + 5, 0, 0);

  AppWindow = form;
  LoopRunning = 1;
  Control* variable = form;
  Terminate(variable);
  EXPECT_EQ(variable, nullptr);
  EXPECT_EQ(AppWindow, nullptr);
  EXPECT_TRUE(AppTerminated);
  EXPECT_EQ(LoopRunning, 0);
  EXPECT_EQ(MessageSink::Log(), std::vector<UINT>{WM_APP + 5});  // the queue went first
  EXPECT_EQ(destroyed, std::vector<std::string>{"form"});
  EXPECT_FALSE(IsWindow(window));

  // Without an application window only the flags change.
  AppTerminated = false;
  Control* other = MakeTestForm("not the app window");
  Control* otherVariable = other;
  Terminate(otherVariable);
  EXPECT_EQ(otherVariable, other);
  EXPECT_TRUE(AppTerminated);
  other->Free();
  DestroyWindow(sink);
  g_destroyed = nullptr;
}

TEST_F(MessageLoop, MessageBoxesAreOwnedByTheApplicationWindowWhileItIsSet) {
  Control* form = MakeTestForm("Owner Caption");
  HWND window = form->GetWindowHandle();
  LoopWatchdog watchdog(5000);
  SetTimer(nullptr, 0, 150, &CloseAppWindow);
  Control* variable = form;

  // While Run has the form, the owner answer is the form's window and caption.
  struct Probe {
    static void CALLBACK Ask(HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      HWND owner = nullptr;
      std::string caption;
      Answered() = AppWindowOwnerHook(&owner, &caption);
      Owner() = owner;
      Caption() = caption;
    }
    static bool& Answered() {
      static bool v = false;
      return v;
    }
    static HWND& Owner() {
      static HWND v = nullptr;
      return v;
    }
    static std::string& Caption() {
      static std::string v;
      return v;
    }
  };
  Probe::Answered() = false;
  SetTimer(nullptr, 0, 5, &Probe::Ask);
  velmora::Run(variable);
  EXPECT_FALSE(LoopWatchdog::Fired());
  EXPECT_TRUE(Probe::Answered());
  EXPECT_EQ(Probe::Owner(), window);
  EXPECT_EQ(Probe::Caption(), "Owner Caption");

  // Once the loop has ended there is no owner any more.
  HWND owner = reinterpret_cast<HWND>(1);
  std::string caption;
  EXPECT_FALSE(AppWindowOwnerHook(&owner, &caption));
}
