// Batch shrinking: one photo read and shrunk on the calling thread, the total line, and the
// workers that take photos off the current run's list and hand their results on.
#include "imaging/batch_shrink.h"

#include <windows.h>

#include <algorithm>

#include "imaging/heif_shrink.h"
#include "imaging/shrink.h"
#include "toolkit/stream.h"

namespace velmora {

namespace {

// Beyond this many workers a batch only waits for memory and disk.
constexpr int MostThreads = 16;

struct FreeDeleter {
  void operator()(ObjectBase* object) const { FreeObject(object); }
};
template <class T>
using Owned = std::unique_ptr<T, FreeDeleter>;

// A photo that could not get the memory it needs is too large for this computer.
BatchResult OutOfMemory() {
  BatchResult result;
  result.Problem = PictureProblem::TooLarge;
  return result;
}

// ShrinkPhotoFile that never throws.
BatchResult ShrinkOrReport(const std::string& path, int32_t percent, PipelineThreading threading) {
  try {
    return ShrinkPhotoFile(path, percent, threading);
  } catch (...) {
    return OutOfMemory();
  }
}

}  // namespace

BatchResult ShrinkPhotoFile(const std::string& path, int32_t percent, PipelineThreading threading) {
  BatchResult result;
  Owned<Stream> file(OpenFileForReading(path.c_str()));
  if (file->Handle() == INVALID_HANDLE_VALUE) {
    result.Unreadable = true;
    return result;
  }
  result.OriginalBytes = file->Size();
  ShrinkReport report;
  Owned<Stream> copy(MakeMemoryStream());
  // A HEIF photo is read by the decoder through a handle of its own.
  const bool shrunk = StreamLooksLikeHeif(file.get())
                          ? ShrinkHeifFile(path, percent, copy.get(), report, threading)
                          : ShrinkJpegStream(file.get(), percent, copy.get(), report, threading);
  if (shrunk) {
    result.Copy = copy.release();
    result.ShrunkBytes = report.Bytes;
    result.ShrunkWidth = static_cast<uint32_t>(report.Width);
    result.ShrunkHeight = static_cast<uint32_t>(report.Height);
  }
  result.Problem = report.Problem;
  result.OriginalWidth = report.OriginalWidth;
  result.OriginalHeight = report.OriginalHeight;
  return result;
}

// ---- BatchShrinker ----

int BatchShrinker::DefaultThreads() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 1 ? 2 : 1;
}

BatchShrinker::BatchShrinker(int threads) {
  const int count = threads > 0 ? std::min(threads, MostThreads) : DefaultThreads();
  Threading = count > 1 ? PipelineThreading::OneThread : PipelineThreading::Auto;
  Workers.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    auto worker = std::make_unique<Worker>();
    try {
      worker->Thread = std::thread(&BatchShrinker::Work, this, worker.get());
    } catch (...) {
      break;  // fewer workers; with none, Start runs the list itself
    }
    Workers.push_back(std::move(worker));
  }
}

BatchShrinker::~BatchShrinker() {
  {
    std::unique_lock<std::mutex> lock(Lock);
    EndRun(lock);
    Stopping = true;
  }
  WorkReady.notify_all();
  for (auto& worker : Workers)
    if (worker->Thread.joinable()) worker->Thread.join();
}

void BatchShrinker::Invalidate() {
  ++Run;
  Paths.clear();
  Order.clear();
  Next = 0;
  Remaining = 0;
  Done = nullptr;
  Context = nullptr;
}

void BatchShrinker::EndRun(std::unique_lock<std::mutex>& lock) {
  Invalidate();
  // A callback of the ended run still running elsewhere is waited for. One running on this
  // thread (done calling Cancel or Start) is not; it stops counting while it waits, so two
  // callbacks that start over at once do not wait for each other.
  const std::thread::id self = std::this_thread::get_id();
  Worker* own = nullptr;
  for (auto& worker : Workers)
    if (worker->Id == self && worker->InCallback) own = worker.get();
  if (own) {
    own->InCallback = false;
    Changed.notify_all();
  }
  Changed.wait(lock, [&] {
    return std::none_of(Workers.begin(), Workers.end(),
                        [](const std::unique_ptr<Worker>& w) { return w->InCallback; });
  });
  if (own) own->InCallback = true;
  // Such a callback may have begun a run of its own meanwhile: that one ends too.
  Invalidate();
}

void BatchShrinker::Start(const std::vector<std::string>& paths, int32_t percent, size_t first,
                          BatchDoneProc done, void* context) {
  std::vector<std::string> list(paths);
  std::vector<size_t> order;
  order.reserve(list.size());
  if (first < list.size()) order.push_back(first);
  for (size_t i = 0; i < list.size(); ++i)
    if (i != first) order.push_back(i);

  std::unique_lock<std::mutex> lock(Lock);
  EndRun(lock);
  if (!done) return;  // nobody to hand a result to: nothing to do
  Paths = std::move(list);
  Order = std::move(order);
  Remaining = Order.size();
  Percent = percent;
  Done = done;
  Context = context;
  if (Workers.empty()) {
    RunHere(lock);
    return;
  }
  lock.unlock();
  WorkReady.notify_all();
}

void BatchShrinker::RunHere(std::unique_lock<std::mutex>& lock) {
  const uint32_t run = Run;
  while (run == Run && Next < Order.size()) TakeOne(lock, nullptr);
}

void BatchShrinker::TakeOne(std::unique_lock<std::mutex>& lock, Worker* me) {
  const size_t index = Order[Next++];
  const uint32_t run = Run;
  const int32_t percent = Percent;
  // A photo shrunk alone has the other processor free for its decoder.
  const PipelineThreading threading =
      Order.size() == 1 && !ThreadingChosen ? PipelineThreading::Auto : Threading;
  std::string path;
  bool named = true;
  try {
    path = Paths[index];
  } catch (...) {
    named = false;  // no memory even for the name
  }
  lock.unlock();
  BatchResult result = named ? ShrinkOrReport(path, percent, threading) : OutOfMemory();
  result.Index = index;
  result.Run = run;
  lock.lock();
  if (run != Run || Stopping) {
    // The run ended while the photo was in work: it is dropped, outside the lock.
    ++Dropped;
    lock.unlock();
    FreeObject(result.Copy);
    lock.lock();
    return;
  }
  --Remaining;
  BatchDoneProc done = Done;
  void* context = Context;
  if (me) me->InCallback = true;
  lock.unlock();
  try {
    done(context, result);
  } catch (...) {
    // the receiver's failure is its own; the worker carries on
  }
  lock.lock();
  if (me) me->InCallback = false;
  Changed.notify_all();
}

void BatchShrinker::Cancel() {
  std::unique_lock<std::mutex> lock(Lock);
  EndRun(lock);
}

bool BatchShrinker::Busy() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Remaining > 0;
}

uint32_t BatchShrinker::RunNumber() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Run;
}

void BatchShrinker::SetPipelineThreading(PipelineThreading threading) {
  std::lock_guard<std::mutex> lock(Lock);
  Threading = threading;
  ThreadingChosen = true;
}

uint32_t BatchShrinker::DroppedCount() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Dropped;
}

void BatchShrinker::Work(Worker* me) {
  std::unique_lock<std::mutex> lock(Lock);
  me->Id = std::this_thread::get_id();
  for (;;) {
    WorkReady.wait(lock, [&] { return Stopping || Next < Order.size(); });
    if (Stopping) return;
    TakeOne(lock, me);
  }
}

}  // namespace velmora
