// The batch: worker threads that take the photos in order and shrink each with ShrinkPicture.
#include "imaging/batch_shrink.h"

#include "imaging/shrink.h"
#include "toolkit/stream.h"

namespace velmora {

namespace {

BatchResult ShrinkFile(const std::string& path, int32_t percent) {
  BatchResult result;
  Stream* file = OpenFileForReading(path.c_str());
  if (file->Handle() == INVALID_HANDLE_VALUE) {
    result.Unreadable = true;
    result.Problem = PictureProblem::NotJpeg;
    FreeObject(file);
    return result;
  }
  result.OriginalBytes = file->Size();
  JpegImage* opened = MakeJpegImage();
  opened->ReadFrom(file);
  FreeObject(file);
  ShrinkReport report;
  result.Shrunk = ShrinkPicture(opened, percent, &result.ShrunkBytes, &report);
  result.Problem = result.Shrunk ? PictureProblem::None : report.Problem;
  FreeObject(opened);
  return result;
}

}  // namespace

BatchShrinker::BatchShrinker(int threads) : Threads(threads > 0 ? threads : 2) {}

BatchShrinker::~BatchShrinker() { Cancel(); }

void BatchShrinker::Start(const std::vector<std::string>& paths, int32_t percent, size_t first,
                          BatchDoneProc done, void* context) {
  Cancel();
  Paths = paths;
  Order.clear();
  if (first < paths.size()) Order.push_back(first);
  for (size_t i = 0; i < paths.size(); ++i)
    if (i != first) Order.push_back(i);
  Percent = percent;
  Done = done;
  Context = context;
  Next = 0;
  Remaining = Order.size();
  Stop = false;
  for (int i = 0; i < Threads; ++i) Workers.emplace_back([this] { Work(); });
}

void BatchShrinker::Cancel() {
  Stop = true;
  for (std::thread& worker : Workers) worker.join();
  Workers.clear();
  Remaining = 0;
}

bool BatchShrinker::Busy() const { return Remaining > 0; }

void BatchShrinker::Work() {
  while (!Stop) {
    const size_t at = Next++;
    if (at >= Order.size()) return;
    BatchResult result = ShrinkFile(Paths[Order[at]], Percent);
    result.Index = Order[at];
    if (Stop) {
      FreeObject(result.Shrunk);
      return;
    }
    --Remaining;
    Done(Context, result);
  }
}

}  // namespace velmora
