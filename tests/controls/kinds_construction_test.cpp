// The control kinds as built: default places and sizes, styles of the real windows, the
// click events each kind raises, and the form's focus and background handling.
#include <gtest/gtest.h>

#include "layout_support.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using testing::FormGuard;
using testing::Pump;
using testing::ShowTree;

void ExpectSize(Control* c, int left, int top, int width, int height) {
  const RECT r = c->GetBounds();
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right - r.left, width);
  EXPECT_EQ(r.bottom - r.top, height);
}

std::string ClassNameOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

TEST(KindsConstruction, DefaultPlacesSizesAndStyles) {
  Control* form = MakeForm(nullptr, "Kinds");
  FormGuard guard(form);
  const int m = form->AlignMargin;  // a child starts 64 x 64 at (m, m)
  Control* raised = MakePanel(form, PanelRaised);
  Control* sunken = MakePanel(form, PanelSunken);
  Control* flat = MakePanel(form, PanelFlat);
  Control* label = MakeLabel(form, "label");
  Control* box = MakePaintBox(form);
  Control* button = MakeButton(form, "button");
  Control* combo = MakeComboBox(form, ComboNoIntegralHeight);
  Control* splitter = MakeSplitter(form, 0, 0);

  ExpectSize(raised, m, m, 64 + 36, 64 + 36);
  ExpectSize(label, m, m, 64, 22);
  ExpectSize(box, m, m, 40, 40);
  ExpectSize(button, m, m, 64, 22);
  ExpectSize(combo, m, m, 64 + 36, 22);
  ExpectSize(splitter, m, m, 4, 4);

  const DWORD clipping = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  EXPECT_EQ(raised->Style, LabelStyle | clipping | WS_DLGFRAME);
  EXPECT_EQ(sunken->Style, LabelStyle | clipping | SS_SUNKEN);
  EXPECT_EQ(flat->Style, LabelStyle | clipping);
  EXPECT_EQ(splitter->Style, LabelStyle | clipping | SS_SUNKEN);
  EXPECT_EQ(label->Style, LabelStyle | clipping);
  EXPECT_EQ(button->Style, ButtonStyle | clipping);
  for (Control* c : {raised, label, box, button, splitter})
    EXPECT_EQ(c->ExStyle, WS_EX_CONTROLPARENT);
  EXPECT_TRUE(label->IsLabel);
  EXPECT_TRUE(box->IsLabel);
  EXPECT_FALSE(raised->IsLabel);
  EXPECT_TRUE(button->TabStop);
  EXPECT_FALSE(label->TabStop);
  EXPECT_TRUE(form->IsForm);
  EXPECT_EQ(form->ClassStyle & CS_DBLCLKS, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(form->Caption, "Kinds");
  EXPECT_EQ(label->Caption, "label");
  EXPECT_EQ(button->Caption, "button");
  // The first control that takes the focus is the one the form gives it to first.
  EXPECT_EQ(form->FocusedChild, button);

  ShowTree(form);
  EXPECT_EQ(ClassNameOf(form->WindowHandle), "obj_Form");
  EXPECT_EQ(ClassNameOf(raised->WindowHandle), "obj_STATIC");
  EXPECT_EQ(ClassNameOf(button->WindowHandle), "obj_BUTTON");
  EXPECT_EQ(ClassNameOf(combo->WindowHandle), "obj_COMBOBOX");
  for (Control* c : {raised, sunken, flat, label, box, button, splitter}) {
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(c->WindowHandle, GWL_STYLE)), c->Style)
        << ClassNameOf(c->WindowHandle);
  }
  char text[32] = {};
  GetWindowTextA(button->WindowHandle, text, sizeof text);
  EXPECT_STREQ(text, "button");
  // A raised panel has a frame: its client area is smaller than its window.
  RECT client;
  GetClientRect(raised->WindowHandle, &client);
  EXPECT_LT(client.right, raised->GetWidth());
}

struct ClickCounter {
  int clicks = 0;
  Control* last = nullptr;
  static void OnClick(void* owner, Control* sender) {
    auto* self = static_cast<ClickCounter*>(owner);
    self->clicks += 1;
    self->last = sender;
  }
};

TEST(KindsConstruction, ClicksOfButtonsLabelsAndTheComboList) {
  Control* form = MakeForm(nullptr, "Clicks");
  FormGuard guard(form);
  Control* panel = MakePanel(form, PanelRaised);
  Control* button = MakeButton(panel, "press");
  Control* label = SetPosition(MakeLabel(panel, "link"), 10, 40);
  Control* combo = SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 150, 10);
  ClickCounter counter;
  for (Control* c : {button, label, combo})
    c->OnClick = MakeCallback(&counter, &ClickCounter::OnClick);
  ShowTree(form);

  // A real button click: the button tells its parent panel, which hands it back.
  SendMessageA(button->WindowHandle, BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(counter.clicks, 1);
  EXPECT_EQ(counter.last, button);

  // The label's parent hears STN_CLICKED (labels carry SS_NOTIFY).
  SendMessageA(panel->WindowHandle, WM_COMMAND, MAKEWPARAM(label->ControlId, STN_CLICKED),
               reinterpret_cast<LPARAM>(label->WindowHandle));
  EXPECT_EQ(counter.clicks, 2);
  EXPECT_EQ(counter.last, label);

  // A combo box's click is the double click in its list; a plain selection change is not.
  SendMessageA(form->WindowHandle, WM_COMMAND, MAKEWPARAM(combo->ControlId, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo->WindowHandle));
  Pump();
  EXPECT_EQ(counter.clicks, 2);
  SendMessageA(form->WindowHandle, WM_COMMAND, MAKEWPARAM(combo->ControlId, CBN_DBLCLK),
               reinterpret_cast<LPARAM>(combo->WindowHandle));
  EXPECT_EQ(counter.clicks, 3);
  EXPECT_EQ(counter.last, combo);

  // A button's focus notification is not a click.
  SendMessageA(panel->WindowHandle, WM_COMMAND, MAKEWPARAM(button->ControlId, BN_SETFOCUS),
               reinterpret_cast<LPARAM>(button->WindowHandle));
  EXPECT_EQ(counter.clicks, 3);
}

TEST(KindsConstruction, FormGivesTheFocusBackToTheControlThatHadIt) {
  Control* form = MakeForm(nullptr, "Focus");
  FormGuard guard(form);
  MakeLabel(form, "no focus");
  Control* first = SetPosition(MakeButton(form, "first"), 10, 40);
  Control* second = SetPosition(MakeButton(form, "second"), 90, 40);
  ShowTree(form);

  SetFocus(form->WindowHandle);
  Pump();
  EXPECT_EQ(GetFocus(), first->WindowHandle);

  SetFocus(second->WindowHandle);
  Pump();
  EXPECT_EQ(form->FocusedChild, second);
  SetFocus(form->WindowHandle);
  Pump();
  EXPECT_EQ(GetFocus(), second->WindowHandle);

  // An end of session that is not really one changes nothing.
  SendMessageA(form->WindowHandle, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(IsWindow(form->WindowHandle));
  EXPECT_EQ(form->FocusedChild, second);
}

TEST(KindsConstruction, FormBackgroundIsFilledAndLateChildrenAreMade) {
  Control* form = MakeForm(nullptr, "Erase");
  FormGuard guard(form);
  SetClientSize(form, 200, 100);
  ShowTree(form);
  // Created after the tree was shown: no window yet.
  Control* late = SetPosition(MakeLabel(form, "late"), 120, 60);
  EXPECT_EQ(late->WindowHandle, nullptr);

  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 100);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 200, 100};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SendMessageA(form->WindowHandle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const COLORREF face = GetNearestColor(dc, ResolveColor(form->BackColor));
  EXPECT_EQ(GetPixel(dc, 5, 5), face);
  EXPECT_EQ(GetPixel(dc, 199, 99), face);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);

  EXPECT_NE(late->WindowHandle, nullptr);
  EXPECT_TRUE(IsWindowVisible(late->WindowHandle));
}

}  // namespace
}  // namespace velmora
