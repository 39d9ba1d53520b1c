// Controls on real windows: clicks handed from the parent's WM_COMMAND, the focus guard,
// deferred free inside a handler, tear-down order, failed creation, lazy hidden creation,
// class registration, colour reflection, fonts and the cursor.
#include <algorithm>
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/drawing_tool.h"
#include "toolkit/form.h"
#include "toolkit/label.h"

using namespace velmora;
using namespace velmora::testing;

namespace {
class ControlTest : public ToolkitTest {};
}  // namespace

TEST_F(ControlTest, ClickFromParentCommandFiresOnceUnlessTheFocusGuardIsRaised) {
  Control* form = MakeForm(nullptr, "click");
  Control* button = MakeButton(form, "Press");
  ClickLog log;
  button->OnClick = MakeCallback(&log, &ClickLog::Count);
  ASSERT_NE(form->GetWindowHandle(), nullptr);

  SendCommand(form, button, BN_CLICKED);
  EXPECT_EQ(log.count, 1);
  EXPECT_EQ(log.owner, &log);
  EXPECT_EQ(log.sender, button);
  SendCommand(form, button, BN_SETFOCUS);  // another code of the same child is no click
  EXPECT_EQ(log.count, 1);
  SendMessageA(button->WindowHandle, BM_CLICK, 0, 0);  // the system's own click path
  EXPECT_EQ(log.count, 2);

  button->FocusGuard = 1;
  SendCommand(form, button, BN_CLICKED);
  EXPECT_EQ(log.count, 2);
  button->FocusGuard = 0;
  button->OnClick = Callback{};  // no listener: nothing breaks
  SendCommand(form, button, BN_CLICKED);
  EXPECT_EQ(log.count, 2);

  // A command from a window that is no control is not handed on.
  HWND foreign =
      CreateWindowExA(0, "BUTTON", "x", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, form->WindowHandle,
                      reinterpret_cast<HMENU>(7), GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(foreign, nullptr);
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
  EXPECT_EQ(destroyed.size(), 2u);
  EXPECT_FALSE(IsWindow(state.window));

  // A child of the application window that the system destroys (WM_CLOSE's default) takes
  // its control along.
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

  // Freeing one child unlinks it, and the form forgets it as its focused child.
  gone->Free();
  first->Free();
  EXPECT_EQ(form->FocusedChild, nullptr);
  ASSERT_EQ(form->Children->Count, 2);
  EXPECT_EQ(form->Children->Item(0), panel);

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

TEST_F(ControlTest, FailedCreationLeavesNoWindowAndBindsNothingLater) {
  // A parent whose window handle no longer names a window: the child's creation fails.
  HWND stale = MessageSink::Create();
  DestroyWindow(stale);
  Control* parent = MakeForm(nullptr, "stale");
  parent->WindowHandle = stale;
  Control* child = MakeButton(parent, "orphan");
  EXPECT_FALSE(child->CreateWindowHandle());
  EXPECT_EQ(child->WindowHandle, nullptr);
  EXPECT_EQ(ControlBeingCreated, nullptr);
  child->SetText("kept");
  EXPECT_EQ(child->Caption, "kept");
  EXPECT_EQ(child->SendToWindow(WM_GETTEXTLENGTH, 0, 0), 0);
  Control* loose = MakeChildControl(nullptr, "BUTTON", WS_CHILD | WS_VISIBLE, false, nullptr);
  EXPECT_FALSE(loose->CreateWindowHandle());

  // The next creation binds its own window to its own object.
  Control* form = MakeForm(nullptr, "after failure");
  HWND window = form->GetWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ControlOfWindow(window), form);
  EXPECT_EQ(WindowText(window), "after failure");
  loose->Free();
  parent->WindowHandle = nullptr;
  parent->Free();
  form->Free();
}

TEST_F(ControlTest, WindowAskedForBeforeItIsShownIsCreatedHiddenAndShownLater) {
  Control* form = MakeForm(nullptr, "lazy");
  Control* early = MakeButton(form, "early");
  HWND window = form->GetWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(form->PendingShow);
  ASSERT_NE(early->WindowHandle, nullptr);  // children come with their parent's window

  Control* late = MakeButton(form, "late");
  EXPECT_EQ(late->WindowHandle, nullptr);
  ASSERT_TRUE(form->CreateWindowHandle());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(IsWindowVisible(late->WindowHandle));
  EXPECT_FALSE(form->PendingShow);

  // A child asked for on its own stays hidden until its parent's creation pass shows it.
  Control* asked = MakeButton(form, "asked");
  HWND askedWindow = asked->GetWindowHandle();
  EXPECT_FALSE(IsWindowVisible(askedWindow));
  form->CreateWindowHandle();
  EXPECT_TRUE(IsWindowVisible(askedWindow));

  // A disabled control refuses the focus until its window is enabled.
  Control* disabled = MakeChildControl(
      form, "BUTTON", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP, false, nullptr);
  EXPECT_FALSE(disabled->TakeFocus());
  form->CreateWindowHandle();
  EnableWindow(disabled->WindowHandle, TRUE);
  EXPECT_TRUE(disabled->IsEnabled());
  EXPECT_TRUE(disabled->TakeFocus());
  EXPECT_EQ(GetFocus(), disabled->WindowHandle);
  form->Free();
}

TEST_F(ControlTest, ClassesAreSharedPerNameAndLongNamesAreCut) {
  Control* first = MakeWindowedControl(nullptr, "VelmoraShared", true);
  first->ClassStyle = CS_DBLCLKS | CS_HREDRAW;
  Control* second = MakeWindowedControl(nullptr, "VelmoraShared", true);
  second->ClassStyle = CS_VREDRAW;
  first->GetWindowHandle();
  HWND b = second->GetWindowHandle();
  char name[64] = {};
  GetClassNameA(b, name, sizeof name);
  EXPECT_STREQ(name, "obj_VelmoraShared");
  EXPECT_EQ(GetClassLongA(b, GCL_STYLE), static_cast<DWORD>(CS_DBLCLKS | CS_HREDRAW));

  const std::string longName(80, 'L');  // longer than the class-name buffer
  Control* longNamed = MakeWindowedControl(nullptr, longName, true);
  ASSERT_NE(longNamed->GetWindowHandle(), nullptr);
  GetClassNameA(longNamed->WindowHandle, name, sizeof name);
  EXPECT_EQ(std::string(name), ("obj_" + longName).substr(0, 63));
  for (Control* c : {longNamed, first, second}) c->Free();
}

TEST_F(ControlTest, ColoursFontsAndCursorReachTheWindow) {
  Control* form = MakeForm(nullptr, "colours");
  Control* plain = MakeButton(form, "before any font");
  DrawingTool* formFont = form->GetFont();
  Control* label = MakeLabel(form, "");
  Control* sameColour = MakeLabel(form, "");
  const Color back = RGB(10, 20, 30);
  label->SetBackColor(back);
  label->Font->SetColor(RGB(200, 0, 0));  // the font tool and the text colour go together
  HCURSOR hand = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
  label->SetControlCursor(hand);
  form->GetWindowHandle();

  // WM_CTLCOLORSTATIC is reflected to the child and answered with its colours; a child of
  // its parent's colour paints with the parent's brush.
  HDC dc = CreateCompatibleDC(nullptr);
  LRESULT r = SendMessageA(form->WindowHandle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(label->WindowHandle));
  LOGBRUSH lb = {};
  ASSERT_EQ(GetObjectA(reinterpret_cast<HGDIOBJ>(r), sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, back);
  EXPECT_EQ(GetTextColor(dc), RGB(200, 0, 0));
  EXPECT_EQ(GetBkColor(dc), back);
  r = SendMessageA(form->WindowHandle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(sameColour->WindowHandle));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(r), ControlBackgroundBrush(form));
  DeleteDC(dc);

  // Children take a linked copy of the parent's font; a style change on the copy reaches
  // that child's window alone.
  auto underlined = [](Control* c) {
    LOGFONTA lf = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c->WindowHandle, WM_GETFONT, 0, 0)), sizeof lf,
               &lf);
    return lf.lfUnderline;
  };
  EXPECT_EQ(label->Font->Parent, formFont);
  EXPECT_EQ(SendMessageA(sameColour->WindowHandle, WM_GETFONT, 0, 0),
            reinterpret_cast<LRESULT>(formFont->GetHandle()));
  EXPECT_EQ(SendMessageA(plain->WindowHandle, WM_GETFONT, 0, 0), 0);
  label->Font->SetFontStyle(Underline);
  EXPECT_EQ(underlined(label), 1);
  EXPECT_EQ(underlined(sameColour), 0);

  // The cursor answers WM_SETCURSOR over the client area only.
  HWND window = label->WindowHandle;
  for (WORD hit : {WORD(HTCLIENT), WORD(HTBORDER)}) {
    SetCursor(nullptr);
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(hit, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor() == hand, hit == HTCLIENT) << hit;
  }
  form->Free();
}
