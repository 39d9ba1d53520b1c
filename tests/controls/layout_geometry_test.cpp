// Geometry setters: chaining, ignored values, exact client sizes and centring.
#include <gtest/gtest.h>

#include "layout_support.h"
#include "toolkit/button.h"
#include "toolkit/form.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"

namespace velmora {
namespace {

using testing::ClientRectOf;
using testing::FormGuard;
using testing::Height;
using testing::ShowTree;
using testing::Width;

TEST(LayoutGeometry, SettersChainAndKeepWhatTheyAreNotGiven) {
  Control* form = MakeForm(nullptr, "Chain");
  FormGuard guard(form);
  Control* button = MakeButton(form, "b");
  EXPECT_EQ(SetSize(SetPosition(button, 30, 40), 90, 0), button);
  RECT r = button->GetBounds();
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(Width(r), 90);
  EXPECT_EQ(Height(r), 22);  // the button's own height was kept

  SetSize(button, -5, 0);  // nothing usable: nothing changes
  EXPECT_EQ(button->GetWidth(), 90);
  EXPECT_EQ(button->GetHeight(), 22);
  SetSize(button, 0, 31);
  EXPECT_EQ(button->GetWidth(), 90);
  EXPECT_EQ(button->GetHeight(), 31);

  // Once the window exists the setters move the real window.
  ShowTree(form);
  SetPosition(button, 7, 9);
  RECT screen;
  GetWindowRect(button->WindowHandle, &screen);
  POINT origin{0, 0};
  ClientToScreen(form->WindowHandle, &origin);
  EXPECT_EQ(screen.left - origin.x, 7);
  EXPECT_EQ(screen.top - origin.y, 9);
}

TEST(LayoutGeometry, ClientSizeIsExactWhateverTheFrame) {
  Control* form = MakeForm(nullptr, "Client");
  FormGuard guard(form);
  EXPECT_EQ(SetClientSize(form, 775, 513), form);
  RECT client = ClientRectOf(form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 513);
  // The outer size is bigger by exactly the frame and caption.
  RECT outer;
  GetWindowRect(form->WindowHandle, &outer);
  EXPECT_GT(Height(outer), 513);
  EXPECT_EQ(form->GetWidth(), Width(outer));

  SetClientSize(form, 0, 300);  // width kept
  client = ClientRectOf(form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 300);
  SetClientSize(form, -1, -1);
  client = ClientRectOf(form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 300);

  // A sunken child panel: its client area is what was asked, its frame comes on top.
  Control* panel = SetClientSize(MakePanel(form, PanelSunken), 120, 80);
  client = ClientRectOf(panel);
  EXPECT_EQ(client.right, 120);
  EXPECT_EQ(client.bottom, 80);
  EXPECT_GT(panel->GetWidth(), 120);
}

TEST(LayoutGeometry, CenterPutsTheWholeFrameInTheMiddleOfTheScreen) {
  Control* form = MakeForm(nullptr, "Centre");
  FormGuard guard(form);
  SetClientSize(form, 775, 513);
  Center(form);
  RECT outer;
  GetWindowRect(form->WindowHandle, &outer);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(outer.left, (screenWidth - Width(outer)) / 2);
  EXPECT_EQ(outer.top, (screenHeight - Height(outer)) / 2);
  // Both edges were set, so the window is created there, not at a default place.
  EXPECT_EQ(form->PositionSet, LeftWasSet | TopWasSet);
}

TEST(LayoutGeometry, CenterOfAWindowLargerThanTheScreenGoesNegative) {
  Control* form = MakeForm(nullptr, "Huge");
  FormGuard guard(form);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  SetSize(form, screenWidth + 301, screenHeight + 101);
  // The system may hold a frame to a little more than the screen; what counts is the size
  // the window really has.
  form->GetWindowHandle();
  const int width = form->GetWidth();
  const int height = form->GetHeight();
  ASSERT_GT(width, screenWidth);
  ASSERT_GT(height, screenHeight);
  Center(form);
  const RECT r = form->GetBounds();
  EXPECT_LT(r.left, 0);
  EXPECT_LT(r.top, 0);
  // Half of a negative difference rounds down, as an arithmetic shift does.
  EXPECT_EQ(r.left, (screenWidth - width) >> 1);
  EXPECT_EQ(r.top, (screenHeight - height) >> 1);
}

TEST(LayoutGeometry, CenterOfAChildUsesTheParentsClientArea) {
  Control* form = MakeForm(nullptr, "Child");
  FormGuard guard(form);
  SetClientSize(form, 400, 300);
  Control* button = SetSize(MakeButton(form, "mid"), 101, 0);
  Center(button);
  const RECT r = button->GetBounds();
  EXPECT_EQ(r.left, (400 - 101) / 2);
  EXPECT_EQ(r.top, (300 - 22) / 2);

  // With client margins the centre is that of what is left inside them.
  form->ClientMargins.Left = 40;
  form->ClientMargins.Top = 30;
  Center(button);
  const RECT inset = button->GetBounds();
  EXPECT_EQ(inset.left, 40 + (400 - 40 - 101) / 2);
  EXPECT_EQ(inset.top, 30 + (300 - 30 - 22) / 2);
}

TEST(LayoutGeometry, NullControlIsRefusedQuietly) {
  EXPECT_EQ(SetPosition(nullptr, 1, 2), nullptr);
  EXPECT_EQ(SetSize(nullptr, 1, 2), nullptr);
  EXPECT_EQ(SetClientSize(nullptr, 1, 2), nullptr);
  EXPECT_EQ(SetAutoSize(nullptr, true), nullptr);
  Center(nullptr);
  AutoSizeToText(nullptr);
}

}  // namespace
}  // namespace velmora
