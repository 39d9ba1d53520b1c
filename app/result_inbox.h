// ResultInbox: hands the results of a batch shrink from the worker threads to the GUI thread.
// A worker puts a result in and posts one wake-up message to the window; the GUI thread takes
// what has come. A result never taken (its window gone, a run cancelled) is freed here.
// Relies on imaging/batch_shrink.h, user32 and std::mutex.
#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

#include "imaging/batch_shrink.h"

namespace velmora {

class ResultInbox {
 public:
  // Wakes window with message (wParam and lParam 0) when a result comes into an empty inbox.
  ResultInbox(HWND window, UINT message) : Window(window), Message(message) {}
  ~ResultInbox() { Clear(); }
  ResultInbox(const ResultInbox&) = delete;
  ResultInbox& operator=(const ResultInbox&) = delete;

  // A BatchDoneProc with the inbox as context: puts the result in; any thread.
  static void Deliver(void* inbox, const BatchResult& result);
  // The results that have come, oldest first; their pictures are the caller's now.
  std::vector<BatchResult> Take();
  // Frees the pictures of the results waiting.
  void Clear();

 private:
  std::mutex Lock;
  std::vector<BatchResult> Waiting;
  bool WakePosted = false;  // a wake-up is on its way and no Take has run since
  HWND Window;
  UINT Message;
};

}  // namespace velmora
