// Properties and window creation of controls on real windows: lazy hidden creation, bounds
// and position rules, class registration per class name, text, visibility, icons and the
// alignment hook calls that size changes make.
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

class ControlProperties : public ToolkitTest {};

RECT WindowRect(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return r;
}

}  // namespace

TEST_F(ControlProperties, WindowAskedForBeforeItIsShownIsCreatedHiddenAndShownLater) {
  Control* form = MakeTestForm("lazy");
  Control* early = MakeTestButton(form, "early");
  HWND window = form->GetWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(form->PendingShow);
  EXPECT_FALSE(form->Visible);
  ASSERT_NE(early->WindowHandle, nullptr);  // children come with their parent's window

  Control* late = MakeTestButton(form, "late");
  EXPECT_EQ(late->WindowHandle, nullptr);
  ASSERT_TRUE(form->CreateWindowHandle());
  ASSERT_NE(late->WindowHandle, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(IsWindowVisible(late->WindowHandle));
  EXPECT_FALSE(form->PendingShow);
  EXPECT_TRUE(form->GetVisible());

  // A child asked for on its own is hidden until its parent's creation pass shows it.
  Control* asked = MakeTestButton(form, "asked");
  HWND askedWindow = asked->GetWindowHandle();
  ASSERT_NE(askedWindow, nullptr);
  EXPECT_FALSE(IsWindowVisible(askedWindow));
  form->CreateWindowHandle();
  EXPECT_TRUE(IsWindowVisible(askedWindow));
  form->Free();
}

TEST_F(ControlProperties, BoundsSetOnlyThroughSettersPlaceATopLevelWindow) {
  Control* placed = MakeTestForm("placed");
  placed->SetBounds(RectOf(100, 120, 400, 320));
  EXPECT_EQ(placed->PositionSet, LeftWasSet | TopWasSet);
  placed->SetBounds(RectOf(100, 120, 400, 320));  // unchanged: nothing happens
  HWND window = placed->GetWindowHandle();
  RECT r = WindowRect(window);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 120);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.bottom - r.top, 200);

  // Width and height alone leave PositionSet clear; the same rectangle changes nothing.
  Control* sized = MakeTestForm("sized");
  sized->SetWidth(300);
  sized->SetHeight(200);
  EXPECT_EQ(sized->PositionSet, 0);
  sized->SetBounds(sized->GetBounds());
  EXPECT_EQ(sized->PositionSet, 0);

  // Left and top written straight into Bounds are not a position: the system picks one.
  Control* unplaced = MakeTestForm("unplaced");
  unplaced->Bounds = RectOf(433, 377, 733, 577);
  RECT u = WindowRect(unplaced->GetWindowHandle());
  EXPECT_EQ(u.right - u.left, 300);
  EXPECT_EQ(u.bottom - u.top, 200);
  EXPECT_FALSE(u.left == 433 && u.top == 377);

  // Setters on an existing window move it; edges kept as documented.
  placed->SetLeft(50);
  r = WindowRect(window);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.right - r.left, 300);
  placed->SetHeight(150);
  EXPECT_EQ(placed->GetHeight(), 150);
  EXPECT_EQ(placed->GetBounds().top, 120);

  placed->Free();
  sized->Free();
  unplaced->Free();
}

TEST_F(ControlProperties, ChildBoundsAreInParentClientCoordinates) {
  Control* form = MakeTestForm("child bounds");
  form->SetBounds(RectOf(40, 50, 440, 350));
  Control* button = MakeTestButton(form, "b");
  // A new child starts 64 x 64 at the parent's margin, made 22 high by the button maker.
  RECT start = button->Bounds;
  EXPECT_EQ(start.left, form->AlignMargin);
  EXPECT_EQ(start.top, form->AlignMargin);
  EXPECT_EQ(start.right - start.left, 64);
  EXPECT_EQ(start.bottom - start.top, 22);

  form->GetWindowHandle();
  button->SetBounds(RectOf(10, 15, 110, 45));
  RECT b = button->GetBounds();
  EXPECT_EQ(b.left, 10);
  EXPECT_EQ(b.top, 15);
  EXPECT_EQ(b.right, 110);
  EXPECT_EQ(b.bottom, 45);
  POINT p{0, 0};
  ClientToScreen(button->WindowHandle, &p);
  ScreenToClient(form->WindowHandle, &p);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 15);

  form->ClientMargins.Top = 4;
  form->ClientMargins.Left = 3;
  RECT area = form->GetClientArea();
  RECT client;
  GetClientRect(form->WindowHandle, &client);
  EXPECT_EQ(area.left, 3);
  EXPECT_EQ(area.top, 4);
  EXPECT_EQ(area.right, client.right);
  form->Free();
}

TEST_F(ControlProperties, ControlsOfOneClassNameShareOneRegisteredClass) {
  Control* first = MakeWindowedControl(nullptr, "VelmoraShared", true);
  first->ClassStyle = CS_DBLCLKS | CS_HREDRAW;
  Control* second = MakeWindowedControl(nullptr, "VelmoraShared", true);
  second->ClassStyle = CS_VREDRAW;
  HWND a = first->GetWindowHandle();
  HWND b = second->GetWindowHandle();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  char name[64] = {};
  GetClassNameA(b, name, sizeof name);
  EXPECT_STREQ(name, "obj_VelmoraShared");
  EXPECT_EQ(GetClassLongA(b, GCL_STYLE), static_cast<DWORD>(CS_DBLCLKS | CS_HREDRAW));
  EXPECT_EQ(first->ClassWindowProc, nullptr);  // no system class behind it

  // A control over a system class copies that class and keeps its procedure for defaults.
  Control* form = MakeTestForm("system class");
  Control* button = MakeTestButton(form, "sys");
  form->GetWindowHandle();
  GetClassNameA(button->WindowHandle, name, sizeof name);
  EXPECT_STREQ(name, "obj_BUTTON");
  EXPECT_NE(button->ClassWindowProc, nullptr);
  EXPECT_EQ(SendMessageA(button->WindowHandle, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(GetClassLongA(form->WindowHandle, GCL_STYLE) & CS_OWNDC, 0u);

  // A name too long for the class-name buffer is cut, not overrun.
  const std::string longName(80, 'L');
  Control* longNamed = MakeWindowedControl(nullptr, longName, true);
  HWND longWindow = longNamed->GetWindowHandle();
  ASSERT_NE(longWindow, nullptr);
  GetClassNameA(longWindow, name, sizeof name);
  EXPECT_EQ(std::string(name), ("obj_" + longName).substr(0, 63));

  longNamed->Free();
  first->Free();
  second->Free();
  form->Free();
}

TEST_F(ControlProperties, TextIsKeptUntilTheWindowExistsAndFollowedAfterwards) {
  Control* form = MakeTestForm("before");
  form->SetText("");
  form->SetText("caption");
  HWND window = form->GetWindowHandle();
  char text[32] = {};
  GetWindowTextA(window, text, sizeof text);
  EXPECT_STREQ(text, "caption");
  form->SetText("changed");
  GetWindowTextA(window, text, sizeof text);
  EXPECT_STREQ(text, "changed");
  EXPECT_EQ(form->Caption, "changed");
  form->Free();
}

TEST_F(ControlProperties, VisibilityFlagStyleAndWindowMoveTogether) {
  Control* form = MakeTestForm("visibility");
  Control* button = MakeTestButton(form, "v");
  ASSERT_TRUE(form->CreateWindowHandle());
  EXPECT_TRUE(IsWindowVisible(button->WindowHandle));
  button->SetVisible(false);
  EXPECT_FALSE(button->Visible);
  EXPECT_EQ(button->Style & WS_VISIBLE, 0u);
  EXPECT_FALSE(IsWindowVisible(button->WindowHandle));
  // A top-level window answers from the system.
  ShowWindow(form->WindowHandle, SW_HIDE);
  EXPECT_FALSE(form->GetVisible());
  form->SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(form->WindowHandle));
  EXPECT_FALSE(IsWindowVisible(button->WindowHandle));

  // Enabled state: from the style before creation, from the window afterwards.
  Control* disabled = MakeChildControl(
      form, "BUTTON", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP, false, nullptr);
  EXPECT_FALSE(disabled->IsEnabled());
  EXPECT_FALSE(disabled->TakeFocus());
  form->CreateWindowHandle();
  EXPECT_FALSE(disabled->IsEnabled());
  EnableWindow(disabled->WindowHandle, TRUE);
  EXPECT_TRUE(disabled->IsEnabled());
  EXPECT_TRUE(disabled->TakeFocus());
  EXPECT_EQ(GetFocus(), disabled->WindowHandle);
  form->Free();
}

TEST_F(ControlProperties, IconIsLookedUpAgainWhileTheProgramHasNone) {
  Control* form = MakeTestForm("icon");
  EXPECT_EQ(form->GetIcon(), nullptr);
  EXPECT_EQ(form->Icon, nullptr);
  form->Icon = NoIcon();
  EXPECT_EQ(form->GetIcon(), nullptr);
  form->Icon = nullptr;

  // Another top-level window copies the application window's icon.
  HICON shared = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  form->Icon = shared;
  form->IconShared = true;
  AppWindow = form;
  Control* other = MakeTestForm("other");
  HICON copy = other->GetIcon();
  EXPECT_NE(copy, nullptr);
  EXPECT_NE(copy, shared);
  HWND otherWindow = other->GetWindowHandle();
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(otherWindow, WM_GETICON, ICON_BIG, 0)), copy);
  AppWindow = nullptr;
  other->Free();
  form->Free();
}

namespace {
std::vector<Control*>* g_alignCalls = nullptr;
void RecordAlign(Control* control) {
  if (g_alignCalls) g_alignCalls->push_back(control);
}
}  // namespace

TEST_F(ControlProperties, SizeChangesAskTheAlignHookForParentThenControl) {
  Control* form = MakeTestForm("align");
  Control* button = MakeTestButton(form, "a");
  form->GetWindowHandle();
  std::vector<Control*> calls;
  ControlProc savedHook = AlignHook;
  g_alignCalls = &calls;
  AlignHook = &RecordAlign;

  button->SetWidth(button->GetWidth() + 10);
  EXPECT_EQ(calls, (std::vector<Control*>{form, button}));
  EXPECT_EQ(button->SizeState, SIZE_RESTORED);

  calls.clear();
  form->SetWidth(form->GetWidth() + 10);
  EXPECT_EQ(calls, std::vector<Control*>{form});  // a form re-arranges only itself

  calls.clear();
  button->SetVisible(false);
  EXPECT_EQ(calls, std::vector<Control*>{form});
  calls.clear();
  button->SetVisible(true);
  EXPECT_EQ(calls, (std::vector<Control*>{form, button}));

  AlignHook = savedHook;
  g_alignCalls = nullptr;
  form->Free();
}

TEST_F(ControlProperties, MainWindowAndFormAreFoundFromTheParentChain) {
  Control* form = MakeTestForm("main");
  Control* panel = MakeTestStatic(form);
  Control* button = MakeTestButton(panel, "deep");
  EXPECT_EQ(button->FindForm(), form);
  EXPECT_EQ(form->FindForm(), form);
  EXPECT_TRUE(form->IsMainWindow());
  EXPECT_FALSE(panel->IsMainWindow());

  Control* owned = MakeWindowedControl(form, "Form", true);
  owned->IsForm = true;
  // Not the first entry of its parent's children: not a main window.
  EXPECT_FALSE(owned->IsMainWindow());
  EXPECT_EQ(owned->FindForm(), owned);
  Control* loose = MakeChildControl(nullptr, "BUTTON", WS_CHILD, false, nullptr);
  EXPECT_EQ(loose->FindForm(), nullptr);
  EXPECT_FALSE(loose->IsMainWindow());
  loose->Free();
  form->Free();
}
