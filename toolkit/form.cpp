// Forms.
#include "toolkit/form.h"

#include "toolkit/message_loop.h"

namespace velmora {

Control* MakeForm(Control* parent, const std::string& caption) {
  Control* form = MakeWindowedControl(parent, "Form", true);
  form->ClassStyle |= CS_DBLCLKS;
  form->AddMessageHandler(FormFocusHandler);
  form->AddMessageHandler(FormEraseHandler);
  form->SetText(caption);
  form->IsForm = true;
  return form;
}

bool FormFocusHandler(Control* form, WindowMessage& message, LRESULT* result) {
  switch (message.Message) {
    case WM_SETFOCUS: {
      // An activated form hands the focus on to the control that had it last.
      bool handled = false;
      if (Control* child = form->FocusedChild) {
        child->CreateWindowHandle();
        if (child->WindowHandle) {
          SetFocus(child->WindowHandle);
          handled = true;
          *result = 0;
        }
      }
      if (AppWindow && AppWindow != form) AppWindow->FocusedChild = form;
      return handled;
    }
    case WM_ENDSESSION:
      if (message.WParam) EndSessionShutdown(form);
      return false;
    default:
      return false;
  }
}

bool FormEraseHandler(Control* form, WindowMessage& message, LRESULT*) {
  if (message.Message != WM_ERASEBKGND) return false;
  // Children still without a window are made now, before the first paint shows a gap.
  form->CreateChildWindows();
  HDC dc = reinterpret_cast<HDC>(message.WParam);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, ResolveColor(form->BackColor));
  SetBrushOrgEx(dc, 0, 0, nullptr);
  RECT client;
  GetClientRect(message.Window, &client);
  FillRect(dc, &client, ControlBackgroundBrush(form));
  return false;
}

}  // namespace velmora
