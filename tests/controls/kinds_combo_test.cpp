// The combo box: its styles, items replaced in place, the drop-down list sized to its items,
// and Escape and Enter typed into the open list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout_support.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"

namespace velmora {
namespace {

using testing::FormGuard;
using testing::Pump;
using testing::ShowTree;

std::string ItemText(Control* combo, int index) {
  char text[64] = {};
  if (SendMessageA(combo->WindowHandle, CB_GETLBTEXTLEN, index, 0) >= 63) return "?";
  SendMessageA(combo->WindowHandle, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

std::string WindowText(HWND window) {
  char text[64] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string Percent(int index) { return std::to_string((index + 1) * 10) + "%"; }

// A form with the program's percentage combo box.
struct PercentWindow {
  Control* form = MakeForm(nullptr, "Combo");
  Control* combo = nullptr;
  explicit PercentWindow(int items) {
    SetClientSize(form, 300, 200);
    combo = SetSize(SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 20, 10), 60, 0);
    combo->SetBackColor(ColorWindow);
    for (int i = 0; i < items; ++i) SetItemText(combo, i, Percent(i));
  }
  HWND Edit() const { return GetWindow(combo->WindowHandle, GW_CHILD); }
};

TEST(KindsCombo, StylesFollowTheOptions) {
  Control* form = MakeForm(nullptr, "Styles");
  FormGuard guard(form);
  Control* combo = MakeComboBox(form, ComboNoIntegralHeight);
  EXPECT_EQ(combo->Style, 0x56210642u);
  EXPECT_EQ(combo->ExStyle, 0x00010200u);
  ShowTree(form);
  // The system's combo box hands the scroll bar to its list and draws its own sunken edge,
  // so those two bits leave the window; the combo styles stay as they were given.
  const DWORD style = GetWindowLongA(combo->WindowHandle, GWL_STYLE);
  EXPECT_EQ(style | WS_VSCROLL, combo->Style);
  const DWORD exStyle = GetWindowLongA(combo->WindowHandle, GWL_EXSTYLE);
  EXPECT_EQ(exStyle | WS_EX_CLIENTEDGE, combo->ExStyle);

  // The option table, one option at a time, against the base style.
  const DWORD base = 0x50210200;
  EXPECT_EQ(ComboStyle(0), base | CBS_AUTOHSCROLL | CBS_DROPDOWN);
  EXPECT_EQ(ComboStyle(ComboNoAutoHScroll), base | CBS_DROPDOWN);
  EXPECT_EQ(ComboStyle(ComboDropDownList), base | CBS_AUTOHSCROLL | CBS_DROPDOWNLIST);
  EXPECT_EQ(ComboStyle(ComboSimple), base | CBS_AUTOHSCROLL | CBS_SIMPLE);
  EXPECT_EQ(ComboStyle(ComboSort | ComboUpperCase),
            base | CBS_AUTOHSCROLL | CBS_DROPDOWN | CBS_SORT | CBS_UPPERCASE);
  // Bits beyond the table are ignored.
  EXPECT_EQ(ComboStyle(0xFFFFF800u), ComboStyle(0));
}

TEST(KindsCombo, ItemsAddedInOrderLeaveNothingSelected) {
  PercentWindow w(10);
  FormGuard guard(w.form);
  EXPECT_EQ(ItemCount(w.combo), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ItemText(w.combo, i), Percent(i));
  EXPECT_EQ(GetItemIndex(w.combo), -1);
  // Appended items carry no data that nobody gave them.
  EXPECT_EQ(GetItemData(w.combo, 9), 0);

  SetItemIndex(w.combo, 2);
  ShowTree(w.form);
  EXPECT_EQ(GetItemIndex(w.combo), 2);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), "30%");
  SetItemIndex(w.combo, -1);
  EXPECT_EQ(GetItemIndex(w.combo), -1);
}

TEST(KindsCombo, ReplacingAnItemKeepsItsDataAndTheSelection) {
  PercentWindow w(5);
  FormGuard guard(w.form);
  SetItemData(w.combo, 3, 77);
  SetItemIndex(w.combo, 3);
  SetItemText(w.combo, 3, "quarter");
  EXPECT_EQ(ItemCount(w.combo), 5);
  EXPECT_EQ(ItemText(w.combo, 3), "quarter");
  EXPECT_EQ(GetItemData(w.combo, 3), 77);
  EXPECT_EQ(GetItemIndex(w.combo), 3);
  EXPECT_EQ(ItemText(w.combo, 2), Percent(2));
  EXPECT_EQ(ItemText(w.combo, 4), Percent(4));

  EXPECT_EQ(InsertItem(w.combo, 0, "first"), 0);
  EXPECT_EQ(InsertItem(w.combo, -1, "last"), 6);
  DeleteItem(w.combo, 1);
  EXPECT_EQ(ItemCount(w.combo), 6);
  EXPECT_EQ(ItemText(w.combo, 1), Percent(1));
}

TEST(KindsCombo, BadIndexesAndItemlessKindsChangeNothing) {
  PercentWindow w(3);
  FormGuard guard(w.form);
  SetItemIndex(w.combo, 1);
  SetItemText(w.combo, -1, "negative");
  SetItemText(w.combo, 7, "far past the end");
  DeleteItem(w.combo, -3);
  DeleteItem(w.combo, 50);
  SetItemData(w.combo, -1, 5);
  EXPECT_EQ(ItemCount(w.combo), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ItemText(w.combo, i), Percent(i));
  EXPECT_EQ(GetItemIndex(w.combo), 1);

  // A label has no item messages.
  Control* label = MakeLabel(w.form, "items?");
  EXPECT_EQ(ItemCount(label), 0);
  EXPECT_EQ(InsertItem(label, 0, "x"), -1);
  EXPECT_EQ(GetItemIndex(label), -1);
  EXPECT_EQ(GetItemData(label, 0), 0);
  SetItemText(label, 0, "x");
  SetItemIndex(label, 0);
  EXPECT_EQ(label->Caption, "items?");
  EXPECT_EQ(ItemCount(nullptr), 0);
  SetItemText(nullptr, 0, "x");
}

int DroppedListHeight(Control* combo) {
  RECT r{};
  SendMessageA(combo->WindowHandle, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r));
  return r.bottom - r.top;
}

TEST(KindsCombo, OpenListShowsUpToEightRowsOfTheComboHeight) {
  for (int items : {10, 3, 0}) {
    PercentWindow w(items);
    FormGuard guard(w.form);
    ShowTree(w.form);
    const int height = w.combo->GetHeight();
    SendMessageA(w.combo->WindowHandle, CB_SHOWDROPDOWN, TRUE, 0);
    Pump();
    EXPECT_TRUE(w.combo->DroppedDown) << items;
    // The combo box was made height x (rows + 1) + 2 high, its own field taking one row:
    // the list below it shows the rows plus 2 pixels of border.
    const int rows = items < 1 ? 1 : (items > 8 ? 8 : items);
    EXPECT_EQ(DroppedListHeight(w.combo), height * rows + 2) << items;
    // The combo itself keeps its height.
    EXPECT_EQ(w.combo->GetHeight(), height) << items;
    SendMessageA(w.combo->WindowHandle, CB_SHOWDROPDOWN, FALSE, 0);
    Pump();
    EXPECT_FALSE(w.combo->DroppedDown) << items;
  }
}

// Presses a key in the combo box's edit field as the keyboard would: key down, then the
// character that the loop's TranslateMessage makes of it.
void PressKey(HWND edit, WORD key) {
  PostMessageA(edit, WM_KEYDOWN, key, 1);
  Pump();
  PostMessageA(edit, WM_KEYUP, key, 0xC0000001);
  Pump();
}

TEST(KindsCombo, EscapeInTheOpenListRestoresTheSelectionEnterKeepsIt) {
  PercentWindow w(10);
  FormGuard guard(w.form);
  SetItemIndex(w.combo, 2);
  ShowTree(w.form);
  HWND edit = w.Edit();
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);

  SendMessageA(w.combo->WindowHandle, CB_SHOWDROPDOWN, TRUE, 0);
  Pump();
  EXPECT_EQ(w.combo->IndexAtDropDown, 2);
  SendMessageA(w.combo->WindowHandle, CB_SETCURSEL, 6, 0);
  PressKey(edit, VK_ESCAPE);
  EXPECT_EQ(SendMessageA(w.combo->WindowHandle, CB_GETDROPPEDSTATE, 0, 0), 0);
  EXPECT_EQ(GetItemIndex(w.combo), 2);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), "30%");

  SendMessageA(w.combo->WindowHandle, CB_SHOWDROPDOWN, TRUE, 0);
  Pump();
  SendMessageA(w.combo->WindowHandle, CB_SETCURSEL, 6, 0);
  PressKey(edit, VK_RETURN);
  EXPECT_EQ(SendMessageA(w.combo->WindowHandle, CB_GETDROPPEDSTATE, 0, 0), 0);
  EXPECT_EQ(GetItemIndex(w.combo), 6);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), Percent(6));

  // With the list closed, Escape is an ordinary key and keeps the selection.
  PressKey(edit, VK_ESCAPE);
  EXPECT_EQ(GetItemIndex(w.combo), 6);
}

TEST(KindsCombo, EditFieldFocusMakesTheComboTheFormsFocusedChild) {
  PercentWindow w(3);
  FormGuard guard(w.form);
  Control* other = MakeLabel(w.form, "other");
  ShowTree(w.form);
  // The form hands the focus to the child it remembers; then the user clicks the combo.
  w.form->FocusedChild = other;
  SetFocus(w.form->WindowHandle);
  Pump();
  ASSERT_EQ(GetFocus(), other->WindowHandle);
  SetFocus(w.Edit());
  Pump();
  EXPECT_EQ(w.form->FocusedChild, w.combo);
  // The edit field was subclassed and keeps its original procedure at hand.
  EXPECT_NE(GetPropA(w.Edit(), PrevProcProperty), nullptr);
  EXPECT_EQ(GetWindowLongPtrA(w.Edit(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(ComboChildProc));
  // Typing still reaches the edit field.
  SetWindowTextA(w.combo->WindowHandle, "");
  SendMessageA(w.Edit(), WM_CHAR, '4', 1);
  SendMessageA(w.Edit(), WM_CHAR, '5', 1);
  EXPECT_EQ(WindowText(w.combo->WindowHandle), "45");
}

// Records the notification codes that reach the combo box's handlers.
std::vector<int>* SeenCodes = nullptr;
bool RecordNotify(Control*, WindowMessage& message, LRESULT*) {
  if (message.Message == PrivateNotify && SeenCodes) SeenCodes->push_back(HIWORD(message.WParam));
  return false;
}

TEST(KindsCombo, SelectionChangeIsRepostedAfterItSettles) {
  PercentWindow w(4);
  FormGuard guard(w.form);
  ShowTree(w.form);
  std::vector<int> codes;
  SeenCodes = &codes;
  w.combo->AddMessageHandler(RecordNotify);
  SendMessageA(w.form->WindowHandle, WM_COMMAND, MAKEWPARAM(w.combo->ControlId, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(w.combo->WindowHandle));
  ASSERT_EQ(codes.size(), 1u);  // the system's code, at once
  EXPECT_EQ(codes[0], CBN_SELCHANGE);
  Pump();  // then the toolkit's own, from the queue
  ASSERT_EQ(codes.size(), 2u);
  EXPECT_EQ(codes[1], ComboKind.SelectionChangeCode);
  SeenCodes = nullptr;
}

TEST(KindsCombo, EditAndListColoursAreTheCombosOwn) {
  PercentWindow w(2);
  FormGuard guard(w.form);
  const Color paper = RGB(200, 220, 240);
  const Color ink = RGB(120, 20, 40);
  w.combo->SetBackColor(paper);
  w.combo->TextColor = ink;
  ShowTree(w.form);
  HDC dc = CreateCompatibleDC(nullptr);
  const LRESULT brush =
      SendMessageA(w.combo->WindowHandle, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(w.Edit()));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), ControlBackgroundBrush(w.combo));
  EXPECT_EQ(GetBkColor(dc), paper);
  EXPECT_EQ(GetTextColor(dc), ink);
  DeleteDC(dc);
}

}  // namespace
}  // namespace velmora
