// The combo box with its styles, items, bad indexes and Escape in the open list, and splitter
// drags with real mouse messages within the minimum sizes, Escape and a lost capture.
#include <string>

#include "control_test_support.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using namespace testing;

std::string ItemText(Control* combo, int index) {
  char text[64] = {};
  if (SendMessageA(combo->WindowHandle, CB_GETLBTEXTLEN, index, 0) >= 63) return "?";
  SendMessageA(combo->WindowHandle, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

std::string Percent(int index) { return std::to_string((index + 1) * 10) + "%"; }

// Catches wrong styles, a selection made by filling, the wrong item shown, and items lost.
TEST(Combo, StylesItemsSelectionAndBadIndexes) {
  Control* form = MakeForm(nullptr, "Combo");
  FormGuard guard{form};
  Control* combo = SetSize(SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 20, 10), 60, 0);
  EXPECT_EQ(combo->Style, 0x56210642u);
  EXPECT_EQ(combo->ExStyle, 0x00010200u);
  for (int i = 0; i < 10; ++i) SetItemText(combo, i, Percent(i));
  EXPECT_EQ(ItemCount(combo), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ItemText(combo, i), Percent(i));
  EXPECT_EQ(GetItemIndex(combo), -1);
  SetItemIndex(combo, 2);
  ShowTree(form);
  EXPECT_EQ(GetItemIndex(combo), 2);
  EXPECT_EQ(WindowText(combo->WindowHandle), Percent(2));

  // Bad indexes change nothing.
  SetItemText(combo, -1, "negative");
  SetItemText(combo, 12, "far past the end");
  DeleteItem(combo, -3);
  DeleteItem(combo, 50);
  SetItemData(combo, -1, 5);
  EXPECT_EQ(ItemCount(combo), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ItemText(combo, i), Percent(i));
  EXPECT_EQ(GetItemIndex(combo), 2);
  Control* label = MakeLabel(form, "items?");  // a label has no item messages
  EXPECT_EQ(InsertItem(label, 0, "x"), -1);
  SetItemText(label, 0, "x");
  EXPECT_EQ(label->Caption, "items?");
  EXPECT_EQ(ItemCount(nullptr), 0);

  // Escape in the open list puts the selection back; Enter keeps the new one.
  HWND edit = GetWindow(combo->WindowHandle, GW_CHILD);
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);
  for (WORD key : {WORD(VK_ESCAPE), WORD(VK_RETURN)}) {
    SendMessageA(combo->WindowHandle, CB_SHOWDROPDOWN, TRUE, 0);
    Pump();
    SendMessageA(combo->WindowHandle, CB_SETCURSEL, 6, 0);
    PostMessageA(edit, WM_KEYDOWN, key, 1);
    Pump();
    PostMessageA(edit, WM_KEYUP, key, 0xC0000001);
    Pump();
    const int expected = key == VK_ESCAPE ? 2 : 6;
    EXPECT_EQ(SendMessageA(combo->WindowHandle, CB_GETDROPPEDSTATE, 0, 0), 0) << key;
    EXPECT_EQ(GetItemIndex(combo), expected) << key;
    EXPECT_EQ(WindowText(combo->WindowHandle), Percent(expected)) << key;
  }
  // Replacing an item keeps its data and the selection.
  SetItemData(combo, 6, 77);
  SetItemText(combo, 6, "sixty");
  EXPECT_EQ(ItemText(combo, 6), "sixty");
  EXPECT_EQ(GetItemData(combo, 6), 77);
  EXPECT_EQ(GetItemIndex(combo), 6);
  EXPECT_EQ(ItemCount(combo), 10);
}

// Catches a choice that does not reach OnSelectionChange, one that fires it twice, and the
// program's own selection firing it.
TEST(Combo, TheUsersSettledChoiceFiresOnSelectionChangeOnce) {
  Control* form = MakeForm(nullptr, "Choice");
  FormGuard guard{form};
  Control* combo = SetSize(SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 20, 10), 60, 0);
  for (int i = 0; i < 10; ++i) SetItemText(combo, i, Percent(i));
  ClickLog changes, clicks;
  combo->OnSelectionChange = MakeCallback(&changes, &ClickLog::Count);
  combo->OnClick = MakeCallback(&clicks, &ClickLog::Count);
  ShowTree(form);
  SetItemIndex(combo, 2);
  Pump();
  EXPECT_EQ(changes.count, 0) << "the program's own choice";

  // The list reports a new choice as the system does: the selection, then CBN_SELCHANGE.
  SendMessageA(combo->WindowHandle, CB_SETCURSEL, 4, 0);
  SendCommand(form, combo, CBN_SELCHANGE);
  EXPECT_EQ(changes.count, 0) << "fired before the choice has settled";
  Pump();
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(changes.sender, combo);
  EXPECT_EQ(GetItemIndex(combo), 4);
  EXPECT_EQ(clicks.count, 0);

  // A label's click code is 0, like a combo box's unset codes: labels fire no choice.
  Control* label = MakeLabel(form, "label");
  ClickLog labelChanges;
  label->OnSelectionChange = MakeCallback(&labelChanges, &ClickLog::Count);
  ShowTree(form);
  SendCommand(form, label, STN_CLICKED);
  Pump();
  EXPECT_EQ(labelChanges.count, 0);
  EXPECT_EQ(changes.count, 1);
}

// A form with a left column, a splitter and a client area, shown on the screen.
struct SplitWindow {
  static constexpr int ClientWidth = 600;
  static constexpr int LeftWidth = 200;
  Control* form = SetPosition(SetClientSize(MakeForm(nullptr, "Split"), ClientWidth, 300), 40, 40);
  FormGuard guard{form};
  Control* left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
  Control* splitter;
  Control* right;
  POINT grip{};

  SplitWindow(int minBefore, int minAfter)
      : splitter(MakeSplitter(form, minBefore, minAfter)),
        right(SetAlign(MakePanel(form, PanelRaised), AlignClient)) {
    ShowTree(form);
  }
  // Moves the cursor dx to the side of where the button went down (the splitter's middle)
  // and posts the mouse message there.
  void Mouse(UINT message, int dx) {
    if (message == WM_LBUTTONDOWN) {
      RECT r;
      GetWindowRect(splitter->WindowHandle, &r);
      grip = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    SetCursorPos(grip.x + dx, grip.y);
    POINT p{grip.x + dx, grip.y};
    ScreenToClient(splitter->WindowHandle, &p);
    PostMessageA(splitter->WindowHandle, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(p.x, p.y));
    Pump();
  }
  // The left column is `width` wide and the rest lies beside it with the margin between.
  void ExpectDocked(int width) {
    const int m = form->AlignMargin;
    const int s = m + width + m;
    const int w = splitter->GetWidth();
    EXPECT_EQ(left->GetBounds().right, m + width);
    EXPECT_EQ(splitter->GetBounds().left, s);
    EXPECT_EQ(right->GetBounds().left, s + w + m);
    EXPECT_EQ(right->GetBounds().right, ClientWidth - m);
  }
};

// Catches a drag that does not resize or re-dock, a stuck drag and a capture never released.
TEST(Splitter, DragResizesTheColumnEscapePutsItBackALostCaptureEndsIt) {
  SplitWindow w(0, 0);
  w.ExpectDocked(SplitWindow::LeftWidth);
  w.Mouse(WM_LBUTTONDOWN, 0);
  EXPECT_EQ(GetCapture(), w.splitter->WindowHandle);
  w.Mouse(WM_MOUSEMOVE, 60);
  w.ExpectDocked(SplitWindow::LeftWidth + 60);
  w.Mouse(WM_LBUTTONUP, -50);
  w.ExpectDocked(SplitWindow::LeftWidth - 50);
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.Mouse(WM_MOUSEMOVE, 100);  // with the button up, moving drags nothing
  w.ExpectDocked(SplitWindow::LeftWidth - 50);

  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 80);
  ASSERT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 30);
  // Held through the system's input queue until the drag timer has seen it (bounded).
  keybd_event(VK_ESCAPE, 0, 0, 0);
  for (int i = 0; i < 40 && w.splitter->Dragging; ++i) Pump(50);
  keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
  Pump();
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.ExpectDocked(SplitWindow::LeftWidth - 50);

  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 30);
  SetCapture(w.right->WindowHandle);  // another window takes the mouse
  Pump();
  ReleaseCapture();
  EXPECT_FALSE(w.splitter->Dragging);
  w.Mouse(WM_MOUSEMOVE, 90);
  w.ExpectDocked(SplitWindow::LeftWidth - 20);
}

// Catches a drag past the minimum sizes, and a column moved when both minimums cannot fit.
TEST(Splitter, DragStopsAtTheMinimumSizesAndNeedsRoomForBoth) {
  const int minBefore = 120;
  const int minAfter = 150;
  {
    SplitWindow w(minBefore, minAfter);
    w.Mouse(WM_LBUTTONDOWN, 0);
    w.Mouse(WM_MOUSEMOVE, -150);
    w.ExpectDocked(minBefore);
    w.Mouse(WM_LBUTTONUP, 500);
    const int m = w.form->AlignMargin;
    w.ExpectDocked(SplitWindow::ClientWidth - minAfter - w.splitter->GetWidth() - 4 * m);
    EXPECT_EQ(w.right->GetWidth(), minAfter);
  }
  SplitWindow w(350, 300);  // 350 + 300 is more than the window has: nothing moves
  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_LBUTTONUP, 20);
  w.ExpectDocked(SplitWindow::LeftWidth);
}

}  // namespace
}  // namespace velmora
