// The control kinds as built on real windows: default places and styles, the clicks each
// kind raises, the form's focus, the combo box with its items, open list, keys and
// notifications, and splitter drags within the minimum sizes, Escape and a lost capture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using testing::ClickLog;
using testing::FormGuard;
using testing::Pump;
using testing::SendCommand;
using testing::ShowTree;
using testing::WindowText;

TEST(Kinds, DefaultPlacesStylesAndClicks) {
  Control* form = MakeForm(nullptr, "Kinds");
  FormGuard guard{form};
  const int m = form->AlignMargin;  // a child starts at (m, m); buttons and labels 64 x 22
  Control* panel = MakePanel(form, PanelRaised);
  Control* sunken = MakePanel(form, PanelSunken);
  Control* box = MakePaintBox(form);
  Control* splitter = MakeSplitter(form, 0, 0);
  Control* combo = SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 150, 10);
  Control* button = MakeButton(panel, "press");
  Control* label = MakeLabel(panel, "link");
  const RECT start{m, m, m + 64, m + 22};
  for (Control* c : {label, button}) EXPECT_TRUE(EqualRect(&c->Bounds, &start)) << c->Caption;
  ClickLog log;
  for (Control* c : {button, label, combo}) c->OnClick = MakeCallback(&log, &ClickLog::Count);
  SetPosition(label, 10, 40);

  ShowTree(form);
  for (Control* c : {panel, sunken, label, box, button, splitter})
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(c->WindowHandle, GWL_STYLE)), c->Style);
  EXPECT_EQ(WindowText(button->WindowHandle), "press");
  RECT client;  // a raised panel has a frame: its client area is smaller than its window
  GetClientRect(panel->WindowHandle, &client);
  EXPECT_LT(client.right, panel->GetWidth());

  SendMessageA(button->WindowHandle, BM_CLICK, 0, 0);  // the button tells its parent panel
  EXPECT_EQ(log.sender, button);
  SendCommand(panel, label, STN_CLICKED);
  EXPECT_EQ(log.count, 2);
  EXPECT_EQ(log.sender, label);
  // A combo box's click is the double click in its list; a plain selection change is not.
  SendCommand(form, combo, CBN_SELCHANGE);
  Pump();
  EXPECT_EQ(log.count, 2);
  SendCommand(form, combo, CBN_DBLCLK);
  EXPECT_EQ(log.count, 3);
  EXPECT_EQ(log.sender, combo);
}

TEST(Kinds, FormGivesTheFocusBackAndMakesLateChildren) {
  Control* form = MakeForm(nullptr, "Focus");
  FormGuard guard{form};
  MakeLabel(form, "no focus");
  Control* first = SetPosition(MakeButton(form, "first"), 10, 40);
  Control* second = SetPosition(MakeButton(form, "second"), 90, 40);
  ShowTree(form);
  SetFocus(form->WindowHandle);
  Pump();
  EXPECT_EQ(GetFocus(), first->WindowHandle);
  SetFocus(second->WindowHandle);
  SetFocus(form->WindowHandle);
  Pump();
  EXPECT_EQ(GetFocus(), second->WindowHandle);
  SendMessageA(form->WindowHandle, WM_ENDSESSION, FALSE, 0);  // not a real end: nothing
  EXPECT_EQ(form->FocusedChild, second);

  // The next background erase creates children added after the show.
  Control* late = SetPosition(MakeLabel(form, "late"), 120, 60);
  EXPECT_EQ(late->WindowHandle, nullptr);
  InvalidateRect(form->WindowHandle, nullptr, TRUE);
  UpdateWindow(form->WindowHandle);
  EXPECT_TRUE(IsWindowVisible(late->WindowHandle));
}

std::string ItemText(Control* combo, int index) {
  char text[64] = {};
  if (SendMessageA(combo->WindowHandle, CB_GETLBTEXTLEN, index, 0) >= 63) return "?";
  SendMessageA(combo->WindowHandle, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

std::string Percent(int index) { return std::to_string((index + 1) * 10) + "%"; }

// A form with the program's percentage combo box.
struct PercentWindow {
  Control* form = MakeForm(nullptr, "Combo");
  FormGuard guard{form};
  Control* combo = nullptr;
  explicit PercentWindow(int items) {
    SetClientSize(form, 300, 200);
    combo = SetSize(SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 20, 10), 60, 0);
    combo->SetBackColor(ColorWindow);
    for (int i = 0; i < items; ++i) SetItemText(combo, i, Percent(i));
  }
  HWND Edit() const { return GetWindow(combo->WindowHandle, GW_CHILD); }
  void Drop(bool open) {
    SendMessageA(combo->WindowHandle, CB_SHOWDROPDOWN, open, 0);
    Pump();
  }
  // Presses a key in the edit field as the keyboard would: down, then up.
  void Press(WORD key) {
    PostMessageA(Edit(), WM_KEYDOWN, key, 1);
    Pump();
    PostMessageA(Edit(), WM_KEYUP, key, 0xC0000001);
    Pump();
  }
};

TEST(Combo, StylesItemsAndSelection) {
  PercentWindow w(0);
  EXPECT_EQ(w.combo->Style, 0x56210642u);
  EXPECT_EQ(w.combo->ExStyle, 0x00010200u);
  for (int i = 0; i < 10; ++i) SetItemText(w.combo, i, Percent(i));
  EXPECT_EQ(ComboStyle(0xFFFFF800u), ComboStyle(0));  // bits beyond the options are ignored
  EXPECT_EQ(ItemCount(w.combo), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ItemText(w.combo, i), Percent(i));
  EXPECT_EQ(GetItemIndex(w.combo), -1);
  EXPECT_EQ(GetItemData(w.combo, 9), 0);

  SetItemIndex(w.combo, 2);
  ShowTree(w.form);
  // The system hands the scroll bar to the list and draws its own sunken edge.
  EXPECT_EQ(GetWindowLongA(w.combo->WindowHandle, GWL_STYLE) | WS_VSCROLL, w.combo->Style);
  EXPECT_EQ(GetWindowLongA(w.combo->WindowHandle, GWL_EXSTYLE) | WS_EX_CLIENTEDGE,
            w.combo->ExStyle);
  EXPECT_EQ(GetItemIndex(w.combo), 2);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), Percent(2));

  // Replacing an item keeps its data and the selection.
  SetItemData(w.combo, 2, 77);
  SetItemText(w.combo, 2, "quarter");
  EXPECT_EQ(ItemCount(w.combo), 10);
  EXPECT_EQ(ItemText(w.combo, 2), "quarter");
  EXPECT_EQ(GetItemData(w.combo, 2), 77);
  EXPECT_EQ(GetItemIndex(w.combo), 2);
  EXPECT_EQ(InsertItem(w.combo, 0, "first"), 0);
  EXPECT_EQ(InsertItem(w.combo, -1, "last"), 11);
  DeleteItem(w.combo, 0);
  EXPECT_EQ(ItemText(w.combo, 0), Percent(0));
  SetItemIndex(w.combo, -1);
  EXPECT_EQ(GetItemIndex(w.combo), -1);
}

TEST(Combo, BadIndexesAndItemlessKindsChangeNothing) {
  PercentWindow w(3);
  SetItemIndex(w.combo, 1);
  SetItemText(w.combo, -1, "negative");
  SetItemText(w.combo, 7, "far past the end");
  DeleteItem(w.combo, -3);
  DeleteItem(w.combo, 50);
  SetItemData(w.combo, -1, 5);
  EXPECT_EQ(ItemCount(w.combo), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ItemText(w.combo, i), Percent(i));
  EXPECT_EQ(GetItemIndex(w.combo), 1);

  Control* label = MakeLabel(w.form, "items?");  // a label has no item messages
  EXPECT_EQ(InsertItem(label, 0, "x"), -1);
  SetItemText(label, 0, "x");
  EXPECT_EQ(label->Caption, "items?");
  EXPECT_EQ(ItemCount(nullptr), 0);
}

TEST(Combo, OpenListShowsUpToEightRowsOfTheComboHeight) {
  for (int items : {10, 3, 0}) {
    PercentWindow w(items);
    ShowTree(w.form);
    const int height = w.combo->GetHeight();
    w.Drop(true);
    EXPECT_TRUE(w.combo->DroppedDown) << items;
    RECT r{};
    SendMessageA(w.combo->WindowHandle, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r));
    const int rows = items < 1 ? 1 : (items > 8 ? 8 : items);
    EXPECT_EQ(r.bottom - r.top, height * rows + 2) << items;  // rows plus the list border
    EXPECT_EQ(w.combo->GetHeight(), height) << items;
    w.Drop(false);
    EXPECT_FALSE(w.combo->DroppedDown) << items;
  }
}

TEST(Combo, EscapeInTheOpenListRestoresTheSelectionEnterKeepsIt) {
  PercentWindow w(10);
  SetItemIndex(w.combo, 2);
  ShowTree(w.form);
  ASSERT_NE(w.Edit(), nullptr);
  w.form->FocusedChild = nullptr;
  SetFocus(nullptr);
  SetFocus(w.Edit());
  Pump();

  w.Drop(true);
  SendMessageA(w.combo->WindowHandle, CB_SETCURSEL, 6, 0);
  w.Press(VK_ESCAPE);
  EXPECT_EQ(SendMessageA(w.combo->WindowHandle, CB_GETDROPPEDSTATE, 0, 0), 0);
  EXPECT_EQ(GetItemIndex(w.combo), 2);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), Percent(2));

  w.Drop(true);
  SendMessageA(w.combo->WindowHandle, CB_SETCURSEL, 6, 0);
  w.Press(VK_RETURN);
  EXPECT_EQ(SendMessageA(w.combo->WindowHandle, CB_GETDROPPEDSTATE, 0, 0), 0);
  EXPECT_EQ(GetItemIndex(w.combo), 6);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), Percent(6));
  w.Press(VK_ESCAPE);  // with the list closed Escape keeps the selection
  EXPECT_EQ(GetItemIndex(w.combo), 6);

  // The focused edit field makes the combo the form's focused child; typing still works.
  EXPECT_EQ(w.form->FocusedChild, w.combo);
  SetWindowTextA(w.combo->WindowHandle, "");
  SendMessageA(w.Edit(), WM_CHAR, '4', 1);
  SendMessageA(w.Edit(), WM_CHAR, '5', 1);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), "45");
}

std::vector<int>* SeenCodes = nullptr;
bool RecordNotify(Control*, WindowMessage& message, LRESULT*) {
  if (message.Message == PrivateNotify && SeenCodes) SeenCodes->push_back(HIWORD(message.WParam));
  return false;
}

TEST(Combo, SelectionChangeIsRepostedAfterItSettles) {
  PercentWindow w(4);
  ShowTree(w.form);
  std::vector<int> codes;
  SeenCodes = &codes;
  w.combo->AddMessageHandler(RecordNotify);
  SendCommand(w.form, w.combo, CBN_SELCHANGE);
  EXPECT_EQ(codes, std::vector<int>{CBN_SELCHANGE});  // the system's code, at once
  Pump();                                             // then the toolkit's own, queued
  EXPECT_EQ(codes, (std::vector<int>{CBN_SELCHANGE, ComboKind.SelectionChangeCode}));
  SeenCodes = nullptr;
}

// A form with a left column, a splitter and a client area, shown on the screen.
struct SplitWindow {
  static constexpr int ClientWidth = 600;
  static constexpr int LeftWidth = 200;
  Control* form = MakeForm(nullptr, "Split");
  FormGuard guard{form};
  Control* left = nullptr;
  Control* splitter = nullptr;
  Control* right = nullptr;
  POINT grip{};

  SplitWindow(int minBefore, int minAfter) {
    SetPosition(SetClientSize(form, ClientWidth, 300), 40, 40);
    left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
    splitter = MakeSplitter(form, minBefore, minAfter);
    right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
    ShowTree(form);
    grip = testing::MiddleOf(splitter->WindowHandle);
  }
  void Mouse(UINT message, int dx, int dy = 0) {
    testing::PostMouse(splitter->WindowHandle, message, POINT{grip.x + dx, grip.y + dy},
                       message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
  }
  // The columns lie side by side with the margin between them.
  void ExpectDocked() {
    const int m = form->AlignMargin;
    EXPECT_EQ(splitter->GetBounds().left, left->GetBounds().right + m);
    EXPECT_EQ(right->GetBounds().left, splitter->GetBounds().right + m);
    EXPECT_EQ(right->GetBounds().right, ClientWidth - m);
  }
};

TEST(Splitter, DragResizesTheColumnAndReDocksTheRest) {
  SplitWindow w(0, 0);
  EXPECT_EQ(w.splitter->Align, AlignLeft);  // docked and shaped like the control before it
  EXPECT_EQ(w.splitter->Cursor, LoadCursorA(nullptr, IDC_SIZEWE));
  w.ExpectDocked();
  EXPECT_EQ(SendMessageA(w.splitter->WindowHandle, WM_NCHITTEST, 0, MAKELPARAM(w.grip.x, w.grip.y)),
            HTCLIENT);  // the whole splitter, border included, can be grabbed
  w.Mouse(WM_LBUTTONDOWN, 0);
  EXPECT_TRUE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), w.splitter->WindowHandle);
  w.Mouse(WM_MOUSEMOVE, 60);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 60);
  w.ExpectDocked();
  w.Mouse(WM_MOUSEMOVE, -45, 30);  // up and down does not matter
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 45);
  w.Mouse(WM_LBUTTONUP, -50);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 50);
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.ExpectDocked();
  w.Mouse(WM_MOUSEMOVE, 100);  // with the button up, moving drags nothing
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 50);
}

TEST(Splitter, DragStopsAtTheMinimumSizesAndNeedsRoomForBoth) {
  const int minBefore = 120;
  const int minAfter = 150;
  {
    SplitWindow w(minBefore, minAfter);
    w.Mouse(WM_LBUTTONDOWN, 0);
    w.Mouse(WM_MOUSEMOVE, -150);
    EXPECT_EQ(w.left->GetWidth(), minBefore);
    w.Mouse(WM_MOUSEMOVE, 500);
    const int m = w.form->AlignMargin;
    EXPECT_EQ(w.left->GetWidth(),
              SplitWindow::ClientWidth - minAfter - w.splitter->GetWidth() - 4 * m);
    EXPECT_EQ(w.right->GetWidth(), minAfter);
    w.Mouse(WM_LBUTTONUP, 500);
    w.ExpectDocked();
  }
  SplitWindow w(350, 300);  // 350 + 300 is more than the window has: nothing moves
  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 20);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth);
  w.Mouse(WM_LBUTTONUP, 20);
  w.ExpectDocked();
}

TEST(Splitter, EscapeOrALostCaptureEndsTheDrag) {
  {
    SplitWindow w(0, 0);
    w.Mouse(WM_LBUTTONDOWN, 0);
    w.Mouse(WM_MOUSEMOVE, 80);
    ASSERT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 80);
    // Held through the system's input queue until the drag timer has seen it (bounded).
    keybd_event(VK_ESCAPE, 0, 0, 0);
    for (int i = 0; i < 40 && w.splitter->Dragging; ++i) testing::PumpFor(50);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    Pump();
    EXPECT_FALSE(w.splitter->Dragging);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth);  // put back
    w.ExpectDocked();
  }
  SplitWindow w(0, 0);
  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 30);
  SetCapture(w.right->WindowHandle);  // another window takes the mouse
  Pump();
  ReleaseCapture();
  EXPECT_FALSE(w.splitter->Dragging);
  w.Mouse(WM_MOUSEMOVE, 90);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 30);
}

TEST(Splitter, BottomSplitterDragsTheOtherWayAndTakesItsCursorFromTheControlBefore) {
  Control* form = MakeForm(nullptr, "Bottom");
  FormGuard guard{form};
  EXPECT_EQ(MakeSplitter(form, 0, 0)->Align, AlignNone);  // nothing before it: undocked
  SetPosition(SetClientSize(form, 400, 400), 40, 40);
  Control* bottom = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignBottom), 0, 100);
  Control* splitter = MakeSplitter(form, 0, 0);
  Control* fill = SetAlign(MakePanel(form, PanelRaised), AlignClient);
  EXPECT_EQ(splitter->Align, AlignBottom);
  EXPECT_EQ(splitter->Cursor, LoadCursorA(nullptr, IDC_SIZENS));
  EXPECT_EQ(SplitterTarget(splitter), bottom);
  ShowTree(form);
  const POINT grip = testing::MiddleOf(splitter->WindowHandle);
  testing::PostMouse(splitter->WindowHandle, WM_LBUTTONDOWN, grip, MK_LBUTTON);
  testing::PostMouse(splitter->WindowHandle, WM_LBUTTONUP, POINT{grip.x, grip.y - 30}, 0);
  const int m = form->AlignMargin;
  EXPECT_EQ(bottom->GetHeight(), 130);  // moving up makes the bottom panel taller
  EXPECT_EQ(bottom->GetBounds().bottom, 400 - m);
  EXPECT_EQ(splitter->GetBounds().bottom, bottom->GetBounds().top - m);
  EXPECT_EQ(fill->GetBounds().bottom, splitter->GetBounds().top - m);
}

}  // namespace
}  // namespace velmora
