// The inbox: a list behind a lock, and at most one wake-up message on its way at a time.
#include "app/result_inbox.h"

#include "toolkit/object.h"

namespace velmora {

void ResultInbox::Deliver(void* inbox, const BatchResult& result) {
  auto* self = static_cast<ResultInbox*>(inbox);
  std::lock_guard<std::mutex> hold(self->Lock);
  self->Waiting.push_back(result);
  // A window that is gone takes no message: the result waits here until Clear frees it.
  if (!self->WakePosted)
    self->WakePosted = PostMessageA(self->Window, self->Message, 0, 0) != FALSE;
}

std::vector<BatchResult> ResultInbox::Take() {
  std::lock_guard<std::mutex> hold(Lock);
  WakePosted = false;
  std::vector<BatchResult> taken;
  taken.swap(Waiting);
  return taken;
}

void ResultInbox::Clear() {
  for (const BatchResult& result : Take()) FreeObject(result.Copy);
}

}  // namespace velmora
