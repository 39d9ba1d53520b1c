// BatchShrinker: shrinks a list of JPEG files at one percentage on worker threads, the photo
// asked for first and the rest in list order, and hands each result to a callback on the
// worker; a new start or a cancel drops what is left. Relies on imaging/shrink.h
// (ShrinkJpegStream), toolkit/stream.h and the C++ thread library.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/jpeg_rows.h"
#include "imaging/streaming.h"

namespace velmora {

class Stream;

// What became of one photo of a batch.
// - Unreadable: the file could not be opened; nothing else is set.
// - Problem set: the file is no JPEG picture or one that cannot be decoded; OriginalBytes and
//   (when its header was read) the original's size are set.
// - Shrunk null with no problem: the percentage leaves a side of 0 pixels.
struct BatchResult {
  size_t Index = 0;  // position of the photo in the list given to Start
  // The shrunk copy's JPEG bytes, a memory stream owned by the receiver (free it with
  // FreeObject, or hand it to a JpegImage with TakeBytes); null when it failed.
  Stream* Copy = nullptr;
  uint32_t OriginalBytes = 0;  // the file's size
  uint32_t ShrunkBytes = 0;
  PictureProblem Problem = PictureProblem::None;  // why there is no picture (see jpeg_rows.h)
  bool Unreadable = false;                        // the file could not be read at all
  uint32_t OriginalWidth = 0;  // the opened photo's size seen upright, as its size line shows
  uint32_t OriginalHeight = 0;
  uint32_t ShrunkWidth = 0;  // the copy's size
  uint32_t ShrunkHeight = 0;
  uint32_t Run = 0;  // the run it belongs to: BatchShrinker::RunNumber() after its Start
};

// Runs on a worker thread. Start and Cancel wait for a callback running on another thread, so
// it must not wait for the thread that calls them: hand the result on with PostMessage, never
// SendMessage to that thread's window. It may call Start, Cancel and Busy itself, and must not
// destroy the shrinker.
using BatchDoneProc = void (*)(void* context, const BatchResult& result);

// Opens the file for reading as the program's Open does and shrinks it at percent with
// ShrinkJpegStream, which reads it as it decodes (the file is never in memory whole); what
// BatchShrinker does for each photo, on the calling thread (Index and Run stay 0). The
// outcome for a file is the one Open and Shrink give for it: not openable, no JPEG picture
// (also 450 bytes or fewer), one the codec cannot decode, or the shrunk picture.
// A HEIF/HEIC photo goes to ShrinkHeifFile instead, which the HEIF decoder reads itself.
BatchResult ShrinkPhotoFile(const std::string& path, int32_t percent,
                            PipelineThreading threading = PipelineThreading::Auto);

class BatchShrinker {
 public:
  // threads: how many photos are shrunk at once. 0 takes one per processor, at most two: on
  // two cores two workers whose pipelines keep to one thread each are the fastest way through
  // a batch (bench/README.md, "Batch"), and each worker holds one photo, so the memory of a
  // batch is that of one photo per worker whatever the count.
  explicit BatchShrinker(int threads = 0);
  ~BatchShrinker();  // cancels and joins
  BatchShrinker(const BatchShrinker&) = delete;
  BatchShrinker& operator=(const BatchShrinker&) = delete;

  // Starts over: shrinks the photos (read from their files by the workers, as the program's
  // Open does) at percent, the one at index first before the others, then the rest in list
  // order; each result goes to done(context, result) from a worker thread. A run in progress
  // is cancelled first: once Start returns, no result of the earlier run arrives any more.
  // A first past the end of the list just keeps the list order.
  void Start(const std::vector<std::string>& paths, int32_t percent, size_t first,
             BatchDoneProc done, void* context);
  // No result arrives after Cancel returns (a callback running on another thread is waited
  // for); a photo in work is finished and dropped (freed).
  void Cancel();
  // Whether results of the latest run are still to come. False as soon as the last result is
  // handed to done, so a receiver that posts each result on sees false when the last arrives.
  bool Busy() const;

  // The number of workers.
  int Threads() const { return static_cast<int>(Workers.size()); }
  // The number of the latest run, which its results carry; it grows with each Start and Cancel.
  uint32_t RunNumber() const;
  // How each photo's pipeline may use threads, for the photos taken from now on. The default
  // keeps each pipeline to one thread when there are several workers, and follows
  // PipelineUsesTwoThreads with one or for a run of one photo.
  void SetPipelineThreading(PipelineThreading threading);
  // Photos that were finished after their run had ended and were freed unseen.
  uint32_t DroppedCount() const;

  // The default number of workers on this machine (see the constructor).
  static int DefaultThreads();

 private:
  struct Worker {
    std::thread Thread;
    std::thread::id Id;
    bool InCallback = false;
  };
  void Work(Worker* me);
  // Drops the current run's list: photos in work become stale, no more are taken.
  void Invalidate();
  // Ends the current run and waits for its callbacks; the lock is held and given back held.
  void EndRun(std::unique_lock<std::mutex>& lock);
  // Runs the whole list on the calling thread (when no worker thread could be had).
  void RunHere(std::unique_lock<std::mutex>& lock);
  // Shrinks the next photo of the run without the lock and hands its result on (me: the
  // worker doing it, null on the caller's thread). The lock is held and given back held.
  void TakeOne(std::unique_lock<std::mutex>& lock, Worker* me);

  mutable std::mutex Lock;
  std::condition_variable WorkReady;  // workers wait for photos
  std::condition_variable Changed;    // a callback or a photo in work ended
  std::vector<std::unique_ptr<Worker>> Workers;
  bool Stopping = false;

  // The current run.
  uint32_t Run = 0;
  std::vector<std::string> Paths;
  std::vector<size_t> Order;  // indexes into Paths in the order they are taken
  size_t Next = 0;            // next position in Order
  size_t Remaining = 0;       // photos of the run not yet handed to done
  int32_t Percent = 0;
  BatchDoneProc Done = nullptr;
  void* Context = nullptr;
  PipelineThreading Threading = PipelineThreading::Auto;
  bool ThreadingChosen = false;  // set by SetPipelineThreading
  uint32_t Dropped = 0;
};

}  // namespace velmora
