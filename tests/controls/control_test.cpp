// Controls on real windows: clicks handed from the parent's WM_COMMAND, the focus guard,
// deferred free inside a handler, tear-down order, failed creation, lazy hidden creation
// and class registration.
#include <algorithm>
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/label.h"

using namespace velmora;
using namespace velmora::testing;

namespace {
class ControlTest : public ToolkitTest {};
}  // namespace

// Catches clicks fired twice, for other codes, to the wrong owner, or under the focus guard.
TEST_F(ControlTest, ClickFromParentCommandFiresOnceUnlessTheFocusGuardIsRaised) {
  Control* form = MakeForm(nullptr, "click");
  Control* button = MakeButton(form, "Press");
  Control* label = MakeLabel(form, "link");
  Control* combo = MakeComboBox(form, 0);
  ClickLog log;
  for (Control* c : {button, label, combo}) c->OnClick = MakeCallback(&log, &ClickLog::Count);
  ASSERT_NE(form->GetWindowHandle(), nullptr);

  SendCommand(form, button, BN_CLICKED);
  EXPECT_EQ(log.count, 1);
  EXPECT_EQ(log.owner, &log);
  EXPECT_EQ(log.sender, button);
  SendCommand(form, button, BN_SETFOCUS);
  SendCommand(form, combo, CBN_SELCHANGE);  // a combo box clicks on a double click only
  Pump();
  EXPECT_EQ(log.count, 1);
  SendMessageA(button->WindowHandle, BM_CLICK, 0, 0);  // the system's own click path
  SendCommand(form, label, STN_CLICKED);
  SendCommand(form, combo, CBN_DBLCLK);
  EXPECT_EQ(log.count, 4);
  EXPECT_EQ(log.sender, combo);

  button->FocusGuard = 1;
  SendCommand(form, button, BN_CLICKED);
  button->FocusGuard = 0;
  button->OnClick = Callback{};  // no listener: nothing breaks
  SendCommand(form, button, BN_CLICKED);
  EXPECT_EQ(log.count, 4);

  // A command from a window that is no control is not handed on.
  HWND foreign =
      CreateWindowExA(0, "BUTTON", "x", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, form->WindowHandle,
                      reinterpret_cast<HMENU>(7), GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(SendMessageA(form->WindowHandle, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED),
                         reinterpret_cast<LPARAM>(foreign)),
            0);
  form->Free();
  EXPECT_FALSE(IsWindow(foreign));
}

namespace {
struct FreeInHandler {
  HWND window = nullptr;
  bool aliveAfterFree = false;
};

void FreeSender(void* owner, Control* sender) {
  auto* state = static_cast<FreeInHandler*>(owner);
  sender->Free();
  // Still inside the handler: the object and its window must both still be there.
  state->aliveAfterFree =
      DestroyLog::Names.empty() && sender->WindowHandle == state->window && IsWindow(state->window);
}
}  // namespace

// Catches use-after-free when a control is freed under its handler, by the system, or
// outlives its parent.
TEST_F(ControlTest, ControlFreedInsideItsOwnHandlerDiesAfterTheHandlerReturns) {
  std::vector<std::string>& destroyed = DestroyLog::Names;
  destroyed.clear();
  Control* form = MakeForm(nullptr, "free in handler");
  Control* keep = MakeButton(form, "Keep");
  Control* button = MakeButton(form, "Free me");
  button->OnDestroy = DestroyLog::For("button");
  form->GetWindowHandle();
  FreeInHandler state{button->WindowHandle};
  button->OnClick = MakeCallback(&state, &FreeSender);

  SendCommand(form, button, BN_CLICKED);
  EXPECT_TRUE(state.aliveAfterFree);
  EXPECT_EQ(destroyed, std::vector<std::string>{"button"});
  EXPECT_FALSE(IsWindow(state.window));
  EXPECT_EQ(ControlOfWindow(state.window), nullptr);
  ASSERT_EQ(form->Children->Count, 1);
  EXPECT_EQ(form->Children->Item(0), keep);

  // A reference held from outside keeps the control alive past the handler as well.
  Control* held = MakeButton(form, "Held");
  held->OnDestroy = DestroyLog::For("held");
  state = FreeInHandler{held->GetWindowHandle()};
  held->OnClick = MakeCallback(&state, &FreeSender);
  held->AddReference();
  SendCommand(form, held, BN_CLICKED);
  EXPECT_EQ(destroyed.size(), 1u);
  EXPECT_TRUE(IsWindow(state.window));
  held->DropReference();
  EXPECT_EQ(destroyed.back(), "held");
  EXPECT_FALSE(IsWindow(state.window));

  // A child of the application window that the system destroys takes its control along.
  Control* closed = MakeButton(form, "closed");
  closed->OnDestroy = DestroyLog::For("closed");
  HWND closedWindow = closed->GetWindowHandle();
  AppWindow = form;
  SendMessageA(closedWindow, WM_CLOSE, 0, 0);
  AppWindow = nullptr;
  EXPECT_FALSE(IsWindow(closedWindow));
  EXPECT_EQ(destroyed.back(), "closed");
  EXPECT_EQ(form->Children->Count, 1);

  // A child kept alive past its parent forgets the parent instead of reaching back into it.
  Control* survivor = MakeButton(form, "Survivor");
  survivor->OnDestroy = DestroyLog::For("survivor");
  survivor->AddReference();
  form->Free();
  EXPECT_EQ(survivor->Parent, nullptr);
  EXPECT_EQ(destroyed.back(), "closed");
  survivor->DropReference();
  EXPECT_EQ(destroyed.back(), "survivor");
}

// Catches a wrong tear-down order and a dangling focused child.
TEST_F(ControlTest, ChildrenAreDestroyedNewestFirstBeforeTheirParentsWindow) {
  SentMessageRecorder recorder(WM_DESTROY);
  ASSERT_NE(recorder.Hook, nullptr);
  Control* form = MakeForm(nullptr, "tear-down");
  Control* first = MakeButton(form, "1");
  Control* panel = MakeLabel(form, "");
  Control* inner = MakeButton(panel, "inner");
  Control* gone = MakeButton(form, "2");
  Control* last = MakeButton(form, "3");
  form->GetWindowHandle();
  EXPECT_EQ(form->FocusedChild, first);
  gone->Free();
  first->Free();
  EXPECT_EQ(form->FocusedChild, nullptr);

  const std::vector<HWND> expected = {last->WindowHandle, inner->WindowHandle, panel->WindowHandle,
                                      form->WindowHandle};
  recorder.Windows.clear();
  form->Free();
  // Only our windows: the system may destroy helper windows of its own along with the form.
  std::erase_if(recorder.Windows, [&](HWND w) {
    return std::find(expected.begin(), expected.end(), w) == expected.end();
  });
  EXPECT_EQ(recorder.Windows, expected);
}

// Catches a stale "being created" pointer binding a later window to a dead object, and a
// class name overrunning its buffer.
TEST_F(ControlTest, FailedCreationBindsNothingLaterAndLongClassNamesAreCut) {
  HWND stale = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(stale);
  Control* parent = MakeForm(nullptr, "stale");
  parent->WindowHandle = stale;
  Control* child = MakeButton(parent, "orphan");
  EXPECT_FALSE(child->CreateWindowHandle());
  EXPECT_EQ(child->WindowHandle, nullptr);
  EXPECT_EQ(ControlBeingCreated, nullptr);
  child->SetText("kept");
  EXPECT_EQ(child->Caption, "kept");
  Control* loose = MakeChildControl(nullptr, "BUTTON", WS_CHILD | WS_VISIBLE, false, nullptr);
  EXPECT_FALSE(loose->CreateWindowHandle());

  Control* form = MakeForm(nullptr, "after failure");
  HWND window = form->GetWindowHandle();
  EXPECT_EQ(ControlOfWindow(window), form);
  EXPECT_EQ(WindowText(window), "after failure");

  const std::string longName(80, 'L');
  Control* longNamed = MakeWindowedControl(nullptr, longName, true);
  ASSERT_NE(longNamed->GetWindowHandle(), nullptr);
  char name[64] = {};
  GetClassNameA(longNamed->WindowHandle, name, sizeof name);
  EXPECT_EQ(std::string(name), ("obj_" + longName).substr(0, 63));
  parent->WindowHandle = nullptr;
  for (Control* c : {loose, parent, form, longNamed}) c->Free();
}

// Catches a form shown before its children exist, or children left hidden.
TEST_F(ControlTest, WindowAskedForBeforeItIsShownIsCreatedHiddenAndShownLater) {
  Control* form = MakeForm(nullptr, "lazy");
  Control* early = MakeButton(form, "early");
  HWND window = form->GetWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(form->PendingShow);
  EXPECT_NE(early->WindowHandle, nullptr);  // children come with their parent's window

  Control* late = MakeButton(form, "late");
  EXPECT_EQ(late->WindowHandle, nullptr);
  ASSERT_TRUE(form->CreateWindowHandle());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(IsWindowVisible(late->WindowHandle));
  EXPECT_FALSE(form->PendingShow);

  // A child asked for on its own stays hidden until its parent's creation pass shows it.
  HWND asked = MakeButton(form, "asked")->GetWindowHandle();
  EXPECT_FALSE(IsWindowVisible(asked));
  form->CreateWindowHandle();
  EXPECT_TRUE(IsWindowVisible(asked));
  form->Free();
}
