// Mouse wheel: one record per control with a wheel handler; the wheel preview finds the record
// of the control under the cursor. Part notches (fine-grained wheels) add up per control.
#include "toolkit/mouse_wheel.h"

#include <algorithm>
#include <vector>

namespace velmora {

namespace {

struct WheelRecord {
  Control* Target = nullptr;
  Callback Handler;
  int32_t Pending = 0;  // turned so far, in WHEEL_DELTA units of 120
};

std::vector<WheelRecord> wheelRecords;

void ForgetWheelHandler(void* control) {
  wheelRecords.erase(
      std::remove_if(wheelRecords.begin(), wheelRecords.end(),
                     [control](const WheelRecord& r) { return r.Target == control; }),
      wheelRecords.end());
}

bool WheelPreview(const MSG& message) {
  if (message.message != WM_MOUSEWHEEL) return false;
  const POINT at{static_cast<int16_t>(LOWORD(message.lParam)),
                 static_cast<int16_t>(HIWORD(message.lParam))};
  for (WheelRecord& record : wheelRecords) {
    Control* target = record.Target;
    if (!IsOverControl(target, at)) continue;
    if (!IsWindowEnabled(GetAncestor(target->WindowHandle, GA_ROOT))) return false;
    record.Pending += static_cast<int16_t>(HIWORD(message.wParam));
    const int32_t notches = record.Pending / WHEEL_DELTA;
    record.Pending -= notches * WHEEL_DELTA;
    // The record may go while the handler runs; the copy keeps what is needed.
    const Callback handler = record.Handler;
    if (notches != 0) handler.Invoke<WheelProc>(target, notches);
    return true;
  }
  return false;
}

}  // namespace

bool IsOverControl(Control* control, POINT screenPoint) {
  HWND own = control ? control->WindowHandle : nullptr;
  if (own == nullptr || !IsWindowVisible(own)) return false;
  for (HWND w = WindowFromPoint(screenPoint); w != nullptr; w = GetAncestor(w, GA_PARENT))
    if (w == own) return true;
  return false;
}

void SetWheelHandler(Control* control, Callback callback) {
  if (control == nullptr) return;
  WheelPreviewHook = &WheelPreview;
  for (WheelRecord& record : wheelRecords) {
    if (record.Target != control) continue;
    record.Handler = callback;
    return;
  }
  wheelRecords.push_back({control, callback, 0});
  control->OwnCleanup(MakeCallback(control, &ForgetWheelHandler));
}

}  // namespace velmora
