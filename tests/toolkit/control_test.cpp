// Controls on real windows: deferred free inside a handler, and failed creation.
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/form.h"

using namespace velmora;
using namespace velmora::testing;

namespace {
class ControlTest : public ToolkitTest {};
}  // namespace

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

// Catches a stale "being created" pointer binding a later window to a dead object.
TEST_F(ControlTest, FailedCreationBindsNothingLater) {
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

  parent->WindowHandle = nullptr;
  for (Control* c : {loose, parent, form}) c->Free();
}
