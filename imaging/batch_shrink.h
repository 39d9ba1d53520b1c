// BatchShrinker: shrinks a list of JPEG files at one percentage on worker threads, the photo
// asked for first and the rest in list order, and hands each result to a callback on the
// worker. Relies on imaging/shrink.h (ShrinkPicture), toolkit/stream.h and std::thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "imaging/jpeg_image.h"
#include "imaging/jpeg_rows.h"

namespace velmora {

struct BatchResult {
  size_t Index = 0;             // position of the photo in the list given to Start
  JpegImage* Shrunk = nullptr;  // owned by the receiver (free with FreeObject); null when it failed
  uint32_t OriginalBytes = 0;   // the file's size
  uint32_t ShrunkBytes = 0;
  PictureProblem Problem = PictureProblem::None;  // why there is no picture (imaging/jpeg_rows.h)
  bool Unreadable = false;                        // the file could not be read at all
};

using BatchDoneProc = void (*)(void* context, const BatchResult& result);  // on a worker thread

class BatchShrinker {
 public:
  explicit BatchShrinker(int threads = 0);
  ~BatchShrinker();  // cancels and joins
  BatchShrinker(const BatchShrinker&) = delete;
  BatchShrinker& operator=(const BatchShrinker&) = delete;

  // Starts over: shrinks the photos (read from their files) at percent, index first before the
  // others, then the rest in order; each result goes to done(context, result) from a worker
  // thread. Once Start returns, no result of an earlier run arrives any more.
  void Start(const std::vector<std::string>& paths, int32_t percent, size_t first,
             BatchDoneProc done, void* context);
  void Cancel();  // no result arrives after Cancel returns
  bool Busy() const;

 private:
  void Work();

  int Threads = 2;
  std::vector<std::thread> Workers;
  std::vector<std::string> Paths;
  std::vector<size_t> Order;
  std::atomic<size_t> Next{0};
  std::atomic<size_t> Remaining{0};
  std::atomic<bool> Stop{false};
  int32_t Percent = 0;
  BatchDoneProc Done = nullptr;
  void* Context = nullptr;
};

}  // namespace velmora
