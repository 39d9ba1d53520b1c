// Keyboard use through the message loop: the tab order of what is seen (not of creation),
// Tab and Shift+Tab wrapping around, Enter on the focused button and Ctrl shortcuts, and keys
// left alone where they are not the form's.
#include <map>
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/keyboard.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"

namespace velmora {
namespace {

using namespace testing;

class Keyboard : public ToolkitTest {
 protected:
  // A form whose tab stops are made in another order than they are seen: on the first row
  // (inside a panel) Send, Open and the combo box; on the second row Save; then a hidden and
  // a disabled button and a label, none of which can take the focus.
  void SetUp() override {
    ToolkitTest::SetUp();
    form = SetClientSize(MakeForm(nullptr, "Keys"), 400, 200);
    Control* panel = SetSize(SetPosition(MakePanel(form, PanelRaised), 5, 5), 390, 60);
    send = SetSize(SetPosition(MakeButton(panel, "Send"), 250, 6), 80, 0);
    open = SetSize(SetPosition(MakeButton(panel, "Open"), 6, 5), 80, 0);
    combo = SetSize(SetPosition(MakeComboBox(panel, ComboNoIntegralHeight), 120, 4), 60, 0);
    save = SetSize(SetPosition(MakeButton(form, "Save"), 10, 100), 80, 0);
    hidden = SetPosition(MakeButton(form, "Hidden"), 150, 100);
    disabled = SetPosition(MakeButton(form, "Disabled"), 250, 100);
    SetPosition(MakeLabel(form, "Label"), 10, 150);
    for (Control* button : {send, open, save, hidden, disabled})
      button->OnClick = MakeCallback(&clicks[button], &ClickLog::Count);
    ShowTree(form);
    hidden->SetVisible(false);
    EnableWindow(disabled->WindowHandle, FALSE);
    SetForegroundWindow(form->WindowHandle);
  }
  void TearDown() override {  // also run first, by ToolkitTest::SetUp
    SetModifiers({});
    if (form != nullptr) form->Free();
    form = nullptr;
    ToolkitTest::TearDown();
  }

  // Holds the modifier keys down in this thread's key state, as GetKeyState reports it.
  static void SetModifiers(std::vector<int> keys) {
    BYTE state[256] = {};
    for (int key : keys) state[key] = 0x80;
    SetKeyboardState(state);
  }

  // A key pressed where the focus is, as the message loop hands it to the key preview;
  // whether the keyboard handling took it (it then goes no further).
  bool Press(WPARAM key, std::vector<int> modifiers = {}) {
    SetModifiers(modifiers);
    const MSG message{GetFocus(), WM_KEYDOWN, key, 1, 0, {0, 0}};
    const bool taken = KeyPreviewHook(message);
    SetModifiers({});
    Pump();
    return taken;
  }

  int Clicks(Control* button) { return clicks[button].count; }

  Control* form = nullptr;
  Control *send = nullptr, *open = nullptr, *combo = nullptr, *save = nullptr;
  Control *hidden = nullptr, *disabled = nullptr;
  std::map<Control*, ClickLog> clicks;
};

// Catches creation order taken for the tab order, rows cut wrongly, and hidden, disabled or
// non-stop controls in the order.
TEST_F(Keyboard, TabOrderIsTheOrderControlsAreSeenIn) {
  EXPECT_EQ(TabOrder(form), std::vector<Control*>({open, combo, send, save}));
  hidden->SetVisible(true);
  EnableWindow(disabled->WindowHandle, TRUE);
  EXPECT_EQ(TabOrder(form), std::vector<Control*>({open, combo, send, save, hidden, disabled}));
  EXPECT_TRUE(TabOrder(nullptr).empty());
}

// Catches a Tab that does not move, that stops at the ends, Shift+Tab going the wrong way, and
// a message loop that does not hand keys to the keyboard handling.
TEST_F(Keyboard, TabAndShiftTabGoRoundInBothDirections) {
  EnableKeyboard(form);
  ASSERT_TRUE(open->TakeFocus());
  std::vector<Control*> forward;
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(Press(VK_TAB));
    forward.push_back(FocusedControl());
  }
  EXPECT_EQ(forward, std::vector<Control*>({combo, send, save, open, combo}));
  // The combo box's edit field has the focus; the combo box counts as focused.
  EXPECT_NE(GetFocus(), combo->WindowHandle);
  std::vector<Control*> backward;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Press(VK_TAB, {VK_SHIFT}));
    backward.push_back(FocusedControl());
  }
  EXPECT_EQ(backward, std::vector<Control*>({open, save, send}));
  // Tab with Ctrl or Alt is not the form's.
  EXPECT_FALSE(Press(VK_TAB, {VK_CONTROL}));
  EXPECT_FALSE(Press(VK_TAB, {VK_MENU}));
  EXPECT_EQ(FocusedControl(), send);

  // A Tab queued for the focused window goes through the loop's key preview.
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
  ProcessMessages(form);
  EXPECT_EQ(FocusedControl(), save);
}

// Catches Enter not pressing the focused button or pressing another, a shortcut that needs the
// focus or fires twice, and keys taken that are not the form's: Enter in the combo box, a
// letter without Ctrl, Ctrl with Shift, and every key of a form without keyboard handling.
TEST_F(Keyboard, EnterAndShortcutsPressTheirButtons) {
  ASSERT_TRUE(send->TakeFocus());
  EXPECT_FALSE(Press(VK_RETURN));
  EXPECT_FALSE(Press('O', {VK_CONTROL}));
  EXPECT_EQ(Clicks(send) + Clicks(open), 0) << "a form without keyboard handling";

  EnableKeyboard(form);
  AddShortcut(form, 'O', send);
  AddShortcut(form, 'O', open);  // replaces the first
  AddShortcut(form, 'S', save);
  AddShortcut(form, 's', send);  // not a capital letter: ignored
  EXPECT_TRUE(Press(VK_RETURN));
  EXPECT_EQ(Clicks(send), 1);
  EXPECT_TRUE(Press('O', {VK_CONTROL}));
  EXPECT_TRUE(Press('S', {VK_CONTROL}));
  EXPECT_EQ(std::vector<int>({Clicks(open), Clicks(save), Clicks(send)}),
            std::vector<int>({1, 1, 1}));
  EXPECT_EQ(FocusedControl(), send) << "a shortcut moves no focus";

  EXPECT_FALSE(Press('O'));
  EXPECT_FALSE(Press('O', {VK_CONTROL, VK_SHIFT}));
  EXPECT_FALSE(Press('M', {VK_CONTROL}));
  EXPECT_FALSE(Press(VK_RETURN, {VK_SHIFT}));
  ASSERT_TRUE(combo->TakeFocus());
  EXPECT_FALSE(Press(VK_RETURN));
  EXPECT_EQ(std::vector<int>({Clicks(open), Clicks(save), Clicks(send)}),
            std::vector<int>({1, 1, 1}));
}

// Catches a key of its own pressing a button that cannot be pressed (hidden, disabled), taking
// the key from an open combo list or with a modifier held, and a later button not replacing an
// earlier one for the same key.
TEST_F(Keyboard, KeysOfTheirOwnPressTheirButtonsOnlyWhenTheyCanBePressed) {
  ASSERT_TRUE(save->TakeFocus());
  EnableKeyboard(form);
  AddKeyButton(form, VK_PRIOR, open);
  AddKeyButton(form, VK_NEXT, open);
  AddKeyButton(form, VK_NEXT, send);  // replaces the first
  AddKeyButton(form, VK_HOME, hidden);
  AddKeyButton(form, VK_END, disabled);
  EXPECT_TRUE(Press(VK_PRIOR));
  EXPECT_TRUE(Press(VK_NEXT));
  EXPECT_EQ(std::vector<int>({Clicks(open), Clicks(send), Clicks(save)}),
            std::vector<int>({1, 1, 0}));
  EXPECT_EQ(FocusedControl(), save) << "a key of its own moves no focus";

  EXPECT_FALSE(Press(VK_HOME));
  EXPECT_FALSE(Press(VK_END));
  EXPECT_FALSE(Press(VK_PRIOR, {VK_CONTROL}));
  EXPECT_FALSE(Press(VK_PRIOR, {VK_SHIFT}));
  EXPECT_FALSE(Press(VK_INSERT));
  // From the combo box the key presses the button, unless its list is open.
  ASSERT_TRUE(combo->TakeFocus());
  EXPECT_TRUE(Press(VK_NEXT));
  SendMessageA(combo->WindowHandle, CB_SHOWDROPDOWN, TRUE, 0);
  Pump();
  EXPECT_FALSE(Press(VK_NEXT));
  SendMessageA(combo->WindowHandle, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_EQ(std::vector<int>({Clicks(open), Clicks(send), Clicks(hidden), Clicks(disabled)}),
            std::vector<int>({1, 2, 0, 0}));
}

}  // namespace
}  // namespace velmora
