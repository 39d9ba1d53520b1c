// Message dispatch on real windows: clicks handed from the parent's WM_COMMAND to the child,
// the focus guard, foreign windows, colour reflection, deferred free inside a handler, the
// tear-down order, keyboard filtering and the window procedure's binding at creation.
#include <algorithm>
#include <string>
#include <vector>

#include "control_test_support.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

struct ClickLog {
  int count = 0;
  void* owner = nullptr;
  Control* sender = nullptr;
};

void CountClick(void* owner, Control* sender) {
  auto* log = static_cast<ClickLog*>(owner);
  log->count += 1;
  log->owner = owner;
  log->sender = sender;
}

std::vector<std::string>* g_destroyed = nullptr;

void RecordDestroyed(void* context, ObjectBase*) {
  if (g_destroyed) g_destroyed->push_back(static_cast<const char*>(context));
}

WPARAM ClickParam(Control* child) { return MAKEWPARAM(child->ControlId, BN_CLICKED); }

class ControlDispatch : public ToolkitTest {};

}  // namespace

TEST_F(ControlDispatch, ClickFromParentCommandFiresOnceUnlessTheFocusGuardIsRaised) {
  Control* form = MakeTestForm("click");
  Control* button = MakeTestButton(form, "Press");
  ClickLog log;
  button->OnClick = MakeCallback(&log, &CountClick);
  ASSERT_NE(form->GetWindowHandle(), nullptr);
  HWND buttonWindow = button->WindowHandle;
  ASSERT_NE(buttonWindow, nullptr);

  SendMessageA(form->WindowHandle, WM_COMMAND, ClickParam(button),
               reinterpret_cast<LPARAM>(buttonWindow));
  EXPECT_EQ(log.count, 1);
  EXPECT_EQ(log.owner, &log);
  EXPECT_EQ(log.sender, button);

  // Another notification code of the same child is no click.
  SendMessageA(form->WindowHandle, WM_COMMAND, MAKEWPARAM(button->ControlId, BN_SETFOCUS),
               reinterpret_cast<LPARAM>(buttonWindow));
  EXPECT_EQ(log.count, 1);

  // The system's own click path: the button notifies its parent itself.
  SendMessageA(buttonWindow, BM_CLICK, 0, 0);
  EXPECT_EQ(log.count, 2);

  button->FocusGuard = 1;
  SendMessageA(form->WindowHandle, WM_COMMAND, ClickParam(button),
               reinterpret_cast<LPARAM>(buttonWindow));
  EXPECT_EQ(log.count, 2);
  button->FocusGuard = 0;

  // No listener: nothing to call, nothing breaks.
  button->OnClick = Callback{};
  SendMessageA(form->WindowHandle, WM_COMMAND, ClickParam(button),
               reinterpret_cast<LPARAM>(buttonWindow));
  EXPECT_EQ(log.count, 2);
  form->Free();
}

namespace {
std::vector<UINT>* g_foreignMessages = nullptr;
WNDPROC g_foreignPrevious = nullptr;
LRESULT CALLBACK RecordForeign(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_foreignMessages && message >= WM_USER) g_foreignMessages->push_back(message);
  return CallWindowProcA(g_foreignPrevious, window, message, wParam, lParam);
}
}  // namespace

TEST_F(ControlDispatch, CommandFromAWindowThatIsNoControlIsNotHandedOn) {
  Control* form = MakeTestForm("foreign");
  HWND formWindow = form->GetWindowHandle();
  HWND foreign = CreateWindowExA(0, "BUTTON", "x", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, formWindow,
                                 reinterpret_cast<HMENU>(7), GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(foreign, nullptr);
  std::vector<UINT> seen;
  g_foreignMessages = &seen;
  g_foreignPrevious = reinterpret_cast<WNDPROC>(
      SetWindowLongA(foreign, GWL_WNDPROC, reinterpret_cast<LONG>(&RecordForeign)));

  LRESULT r = SendMessageA(formWindow, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED),
                           reinterpret_cast<LPARAM>(foreign));
  EXPECT_EQ(r, 0);
  for (UINT m : seen) EXPECT_NE(m, PrivateNotify);
  g_foreignMessages = nullptr;
  form->Free();
  EXPECT_FALSE(IsWindow(foreign));
}

namespace {
struct FreeInHandler {
  Control* button = nullptr;
  HWND window = nullptr;
  std::vector<std::string>* destroyed = nullptr;
  bool aliveAfterFree = false;
  bool windowAliveAfterFree = false;
};

void FreeSender(void* owner, Control* sender) {
  auto* state = static_cast<FreeInHandler*>(owner);
  sender->Free();
  // Still inside the handler: the object and its window must both still be there.
  state->aliveAfterFree = state->destroyed->empty() && sender->WindowHandle == state->window;
  state->windowAliveAfterFree = IsWindow(state->window) != FALSE;
}
}  // namespace

TEST_F(ControlDispatch, ControlFreedInsideItsOwnHandlerDiesAfterTheHandlerReturns) {
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  Control* form = MakeTestForm("free in handler");
  Control* keep = MakeTestButton(form, "Keep");
  Control* button = MakeTestButton(form, "Free me");
  button->OnDestroy = MakeCallback(const_cast<char*>("button"), &RecordDestroyed);
  HWND formWindow = form->GetWindowHandle();
  FreeInHandler state{button, button->WindowHandle, &destroyed};
  button->OnClick = MakeCallback(&state, &FreeSender);

  SendMessageA(formWindow, WM_COMMAND, ClickParam(button), reinterpret_cast<LPARAM>(state.window));

  EXPECT_TRUE(state.aliveAfterFree);
  EXPECT_TRUE(state.windowAliveAfterFree);
  EXPECT_EQ(destroyed, std::vector<std::string>{"button"});
  EXPECT_FALSE(IsWindow(state.window));
  EXPECT_EQ(ControlOfWindow(state.window), nullptr);
  ASSERT_EQ(form->Children->Count, 1);
  EXPECT_EQ(form->Children->Item(0), keep);

  // A reference held from outside keeps the control alive past the handler as well.
  Control* held = MakeTestButton(form, "Held");
  held->OnDestroy = MakeCallback(const_cast<char*>("held"), &RecordDestroyed);
  state = FreeInHandler{held, held->GetWindowHandle(), &destroyed};
  held->OnClick = MakeCallback(&state, &FreeSender);
  held->AddReference();
  SendMessageA(formWindow, WM_COMMAND, ClickParam(held), reinterpret_cast<LPARAM>(state.window));
  EXPECT_EQ(destroyed.size(), 1u);
  EXPECT_TRUE(IsWindow(state.window));
  held->DropReference();
  EXPECT_EQ(destroyed.size(), 2u);
  EXPECT_FALSE(IsWindow(state.window));

  form->Free();
  g_destroyed = nullptr;
}

TEST_F(ControlDispatch, ChildrenAreDestroyedNewestFirstBeforeTheirParentsWindow) {
  SentMessageRecorder recorder({WM_DESTROY});
  ASSERT_TRUE(recorder.Installed());
  Control* form = MakeTestForm("tear-down");
  Control* first = MakeTestButton(form, "1");
  Control* panel = MakeTestStatic(form);
  Control* inner = MakeTestButton(panel, "inner");
  Control* last = MakeTestButton(form, "3");
  form->GetWindowHandle();
  const std::vector<HWND> expected = {last->WindowHandle, inner->WindowHandle, panel->WindowHandle,
                                      first->WindowHandle, form->WindowHandle};
  for (HWND w : expected) ASSERT_NE(w, nullptr);
  // The form's focused child (the first tab stop) must not outlive the child.
  EXPECT_EQ(form->FocusedChild, first);

  recorder.Records.clear();
  form->Free();
  std::vector<HWND> order;
  // Only our windows: the system may destroy helper windows of its own along with the form.
  for (const SentRecord& r : recorder.Records)
    if (std::find(expected.begin(), expected.end(), r.Window) != expected.end())
      order.push_back(r.Window);
  EXPECT_EQ(order, expected);
}

TEST_F(ControlDispatch, FreeingOneChildUnlinksItFromItsParentAndForm) {
  Control* form = MakeTestForm("unlink");
  Control* a = MakeTestButton(form, "a");
  Control* b = MakeTestButton(form, "b");
  form->GetWindowHandle();
  ASSERT_EQ(form->FocusedChild, a);
  HWND aWindow = a->WindowHandle;
  a->Free();
  EXPECT_EQ(form->FocusedChild, nullptr);
  ASSERT_EQ(form->Children->Count, 1);
  EXPECT_EQ(form->Children->Item(0), b);
  EXPECT_FALSE(IsWindow(aWindow));
  form->Free();
}

TEST_F(ControlDispatch, ColourMessagesAreReflectedToTheChildAndAnsweredWithItsColours) {
  Control* form = MakeTestForm("colours");
  Control* label = MakeTestStatic(form);
  Control* sameColour = MakeTestStatic(form);
  const Color back = RGB(10, 20, 30);
  const Color text = RGB(200, 0, 0);
  label->BackColor = back;
  label->TextColor = text;
  form->GetWindowHandle();

  HDC dc = CreateCompatibleDC(nullptr);
  LRESULT r = SendMessageA(form->WindowHandle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(label->WindowHandle));
  ASSERT_NE(r, 0);
  LOGBRUSH lb = {};
  ASSERT_EQ(GetObjectA(reinterpret_cast<HGDIOBJ>(r), sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, back);
  EXPECT_EQ(GetTextColor(dc), text);
  EXPECT_EQ(GetBkColor(dc), back);
  EXPECT_EQ(GetBkMode(dc), OPAQUE);

  // A child of its parent's colour paints with the parent's brush.
  LRESULT shared = SendMessageA(form->WindowHandle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                reinterpret_cast<LPARAM>(sameColour->WindowHandle));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(shared), ControlBackgroundBrush(form));
  EXPECT_NE(shared, r);
  DeleteDC(dc);
  form->Free();
}

TEST_F(ControlDispatch, TabCharacterToTheFocusedWindowIsSwallowedUnlessCtrlIsHeld) {
  Control* form = MakeTestForm("keys");
  Control* edit = MakeChildControl(form, "EDIT", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE,
                                   false, nullptr);
  ASSERT_TRUE(form->CreateWindowHandle());
  HWND editWindow = edit->WindowHandle;
  SetFocus(editWindow);
  ASSERT_EQ(GetFocus(), editWindow);
  char text[16] = {};

  SendMessageA(editWindow, WM_CHAR, 'a', 0);
  EXPECT_EQ(SendMessageA(editWindow, WM_CHAR, VK_TAB, 0), 0);
  GetWindowTextA(editWindow, text, sizeof text);
  EXPECT_STREQ(text, "a");

  BYTE keys[256] = {};
  GetKeyboardState(keys);
  BYTE saved = keys[VK_CONTROL];
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageA(editWindow, WM_CHAR, VK_TAB, 0);
  keys[VK_CONTROL] = saved;
  SetKeyboardState(keys);
  GetWindowTextA(editWindow, text, sizeof text);
  EXPECT_STREQ(text, "a\t");

  // Keys for a window that does not have the focus are dropped.
  SetFocus(nullptr);
  SendMessageA(editWindow, WM_CHAR, 'b', 0);
  GetWindowTextA(editWindow, text, sizeof text);
  EXPECT_STREQ(text, "a\t");
  form->Free();
}

TEST_F(ControlDispatch, FocusGoesToTheFirstTabStopAndIsRememberedByTheForm) {
  Control* form = MakeTestForm("focus");
  Control* label = MakeTestStatic(form);
  Control* first = MakeTestButton(form, "first");
  Control* second = MakeTestButton(form, "second");
  EXPECT_EQ(form->FocusedChild, first);
  EXPECT_FALSE(label->TabStop);
  EXPECT_EQ(label->TabOrder, 1);
  EXPECT_EQ(first->TabOrder, 2);
  EXPECT_EQ(second->TabOrder, 3);
  EXPECT_EQ(form->TabOrder, 3);
  EXPECT_EQ(second->ControlId, first->ControlId + 1);

  ASSERT_TRUE(form->CreateWindowHandle());
  SetFocus(second->WindowHandle);
  EXPECT_EQ(form->FocusedChild, second);
  EXPECT_EQ(GetFocus(), second->WindowHandle);
  form->Free();
}

TEST_F(ControlDispatch, FailedCreationLeavesNoWindowAndBindsNothingLater) {
  // A parent whose window handle no longer names a window: the child's creation fails.
  HWND stale = MessageSink::Create();
  DestroyWindow(stale);
  Control* parent = MakeTestForm("stale");
  parent->WindowHandle = stale;
  Control* child = MakeTestButton(parent, "orphan");
  EXPECT_FALSE(child->CreateWindowHandle());
  EXPECT_EQ(child->WindowHandle, nullptr);
  EXPECT_EQ(ControlBeingCreated, nullptr);
  child->SetText("kept");
  EXPECT_EQ(child->Caption, "kept");
  EXPECT_EQ(child->SendToWindow(WM_GETTEXTLENGTH, 0, 0), 0);

  // A child style without any parent cannot be created either.
  Control* loose = MakeChildControl(nullptr, "BUTTON", WS_CHILD | WS_VISIBLE, false, nullptr);
  EXPECT_FALSE(loose->CreateWindowHandle());
  EXPECT_EQ(loose->WindowHandle, nullptr);

  // The next creation binds its own window to its own object.
  Control* form = MakeTestForm("after failure");
  HWND window = form->GetWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ControlOfWindow(window), form);
  char text[32] = {};
  GetWindowTextA(window, text, sizeof text);
  EXPECT_STREQ(text, "after failure");

  loose->Free();
  parent->WindowHandle = nullptr;
  parent->Free();
  form->Free();
}

TEST_F(ControlDispatch, ChildWindowDestroyedByTheSystemReleasesItsControl) {
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  Control* form = MakeTestForm("system destroys");
  Control* closed = MakeTestButton(form, "closed");
  closed->OnDestroy = MakeCallback(const_cast<char*>("closed"), &RecordDestroyed);
  Control* kept = MakeTestButton(form, "kept");
  form->GetWindowHandle();
  AppWindow = form;

  // WM_CLOSE to a child is the system's default: the window goes, and with it the control.
  HWND window = closed->WindowHandle;
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(destroyed, std::vector<std::string>{"closed"});
  ASSERT_EQ(form->Children->Count, 1);
  EXPECT_EQ(form->Children->Item(0), kept);

  // The application window itself is not closed by WM_CLOSE: it asks the loop to end.
  SendMessageA(form->WindowHandle, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(form->WindowHandle));
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

  AppWindow = nullptr;
  form->Free();
  g_destroyed = nullptr;
}
