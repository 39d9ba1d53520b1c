// Shrinking several photos at once: the outcome of each file, the order photos are taken in,
// runs that are started over or cancelled while photos are in work (no result of an ended run
// afterwards, nothing left unfreed), callbacks that start over themselves, and the total line.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>

#include "exif_samples.h"
#include "imaging/batch_shrink.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;

namespace {

uint8_t PhotoLike(int x, int y, int c) {
  double v = 128 + 60 * std::sin(x * 0.05 + c) * std::cos(y * 0.031) +
             40 * std::sin(x * y * 0.0007) + 25 * std::sin(x * 0.9 + y * 0.4 * c);
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
}

Bytes Photo(int w, int h) { return test::EncodeJpeg(w, h, 3, PhotoLike, {.FullChroma = false}); }

// The photo stored turned: an EXIF block with orientation 6.
Bytes Turned(const Bytes& photo) {
  return test::WithExif(photo, test::MakePhotoExif(false, 6).Block);
}

// What a receiver saw: every result with its bytes, under a lock; waits for a count.
struct Received {
  std::mutex Lock;
  std::condition_variable Arrived;
  std::vector<BatchResult> Results;  // Copy already freed
  std::map<size_t, Bytes> Shrunk;    // bytes of each shrunk picture by index
  std::atomic<uint32_t> FirstAllowedRun{0};
  std::atomic<int> EarlierRunSeen{0};

  static void Done(void* context, const BatchResult& result) {
    auto* self = static_cast<Received*>(context);
    if (result.Run < self->FirstAllowedRun.load()) ++self->EarlierRunSeen;
    Bytes bytes = result.Copy ? test::BytesOf(result.Copy) : Bytes();
    FreeObject(result.Copy);
    std::lock_guard<std::mutex> lock(self->Lock);
    self->Results.push_back(result);
    self->Results.back().Copy = nullptr;
    if (!bytes.empty()) self->Shrunk[result.Index] = std::move(bytes);
    self->Arrived.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(Lock);
    return Arrived.wait_for(lock, std::chrono::seconds(120),
                            [&] { return Results.size() >= count; });
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(Lock);
    return Results.size();
  }
};

}  // namespace

// Catches a photo lost, delivered twice or out of turn, a shrunk picture that differs from the
// one Shrink makes of the opened file, and a bad file misreported (or taking the batch down).
TEST(Batch, EveryPhotoOnceFirstTheOneAskedForWithTheBytesShrinkGives) {
  test::TempFolder files("batch");
  const Bytes a = Photo(640, 480), b = Turned(Photo(333, 517)), c = Photo(9, 50);
  const std::string folder = files.Path + "a-folder.jpg";
  CreateDirectoryA(folder.c_str(), nullptr);
  const PictureProblem none = PictureProblem::None;
  const struct {
    std::string Path;
    Bytes Source;
    PictureProblem Problem;
    bool Unreadable;
  } expected[] = {
      {files.Write("a.jpg", a), a, none, false},
      {test::TempPath("no-such-photo.jpg"), {}, none, true},
      {files.Write("text.jpg", Bytes(2000, 'z')), Bytes(2000, 'z'), PictureProblem::NotJpeg, false},
      {files.Write("b.jpg", b), b, none, false},
      {files.Write("damaged.jpg", test::WithUndefinedTables(a)), test::WithUndefinedTables(a),
       PictureProblem::Damaged, false},
      {files.Write("short.jpg", Bytes(a.begin(), a.begin() + 400)),
       Bytes(a.begin(), a.begin() + 400), PictureProblem::NotJpeg, false},
      {files.Write("narrow.jpg", c), c, none, false},  // 9 x 50: 10% leaves no column
      {folder, {}, none, true},
      {"", {}, none, true}};
  std::vector<std::string> paths;
  for (const auto& e : expected) paths.push_back(e.Path);

  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    Received received;
    {
      BatchShrinker shrinker(threads);
      EXPECT_EQ(shrinker.Threads(), threads);
      shrinker.Start(paths, 10, 3, Received::Done, &received);
      ASSERT_TRUE(received.WaitFor(paths.size()));
      EXPECT_FALSE(shrinker.Busy());
      for (const BatchResult& r : received.Results) EXPECT_EQ(r.Run, shrinker.RunNumber());
    }
    ASSERT_EQ(received.Results.size(), paths.size());
    std::vector<size_t> order;
    for (const BatchResult& r : received.Results) order.push_back(r.Index);
    if (threads == 1) {  // the one asked for, then the rest in list order
      EXPECT_EQ(order, std::vector<size_t>({3, 0, 1, 2, 4, 5, 6, 7, 8}));
    }
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, std::vector<size_t>({0, 1, 2, 3, 4, 5, 6, 7, 8}));

    for (const BatchResult& r : received.Results) {
      SCOPED_TRACE(r.Index);
      const auto& e = expected[r.Index];
      EXPECT_EQ(r.Unreadable, e.Unreadable);
      EXPECT_EQ(r.Problem, e.Problem);
      EXPECT_EQ(r.OriginalBytes, e.Unreadable ? 0u : e.Source.size());
      // What Open and Shrink make of the same bytes.
      JpegImage* opened = test::Loaded(e.Source);
      const Bytes bytes =
          e.Unreadable ? Bytes() : test::Shrunk(test::WrittenBytes(opened), {10, 100});
      EXPECT_EQ(received.Shrunk.count(r.Index) ? received.Shrunk[r.Index] : Bytes(), bytes);
      EXPECT_EQ(r.ShrunkBytes, bytes.size());
      if (r.Problem == PictureProblem::None && !r.Unreadable) {
        EXPECT_EQ(std::make_pair(r.OriginalWidth, r.OriginalHeight),
                  std::make_pair(opened->UprightWidth(), opened->UprightHeight()));
      }
      FreeObject(opened);
    }
  }
}

// Catches a result of an ended run arriving after Start or Cancel returned, a photo in work
// when its run ended being leaked instead of freed, a restart that loses photos of the new
// run, and Busy telling wrong.
TEST(Batch, QuickRestartsAndCancelsDeliverOnlyTheLatestRunAndFreeEverything) {
  test::TempFolder files("batch");
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i)
    paths.push_back(files.Write("restart" + std::to_string(i) + ".jpg", Photo(900 + 20 * i, 700)));
  const int32_t objectsBefore = LiveObjectCount();
  Received received;
  uint32_t dropped = 0;
  {
    BatchShrinker shrinker(2);
    uint32_t seed = 12345;
    for (int round = 0; round < 120; ++round) {
      seed = seed * 1103515245 + 12345;
      if (round % 10 == 9) {
        shrinker.Cancel();
        EXPECT_FALSE(shrinker.Busy());
      } else {
        shrinker.Start(paths, 20 + static_cast<int32_t>(seed >> 16) % 60, round % 6, Received::Done,
                       &received);
      }
      received.FirstAllowedRun = shrinker.RunNumber();
      Sleep((seed >> 8) % 25);  // sometimes mid-photo, sometimes between photos
    }
    // The last run is whole: every photo once.
    const size_t before = received.Count();
    shrinker.Start(paths, 50, 5, Received::Done, &received);
    received.FirstAllowedRun = shrinker.RunNumber();
    EXPECT_TRUE(shrinker.Busy());
    ASSERT_TRUE(received.WaitFor(before + paths.size()));
    EXPECT_FALSE(shrinker.Busy());
    std::vector<size_t> last;
    {
      std::lock_guard<std::mutex> lock(received.Lock);
      for (size_t i = before; i < received.Results.size(); ++i) {
        EXPECT_EQ(received.Results[i].Run, shrinker.RunNumber());
        EXPECT_NE(received.Results[i].ShrunkBytes, 0u);
        last.push_back(received.Results[i].Index);
      }
    }
    std::sort(last.begin(), last.end());
    EXPECT_EQ(last, std::vector<size_t>({0, 1, 2, 3, 4, 5}));
    // Cancelled in the middle of a run, nothing more arrives.
    shrinker.Start(paths, 70, 0, Received::Done, &received);
    Sleep(30);
    shrinker.Cancel();
    const size_t atCancel = received.Count();
    Sleep(400);
    EXPECT_EQ(received.Count(), atCancel);
    dropped = shrinker.DroppedCount();
  }
  EXPECT_EQ(received.EarlierRunSeen.load(), 0);
  EXPECT_GT(dropped, 0u);  // photos were in work when their run ended, and were dropped
  EXPECT_EQ(LiveObjectCount(), objectsBefore);
}

// Catches a shrinker destroyed in the middle of a run leaving a worker running (a callback
// into a dead receiver) or a photo unfreed, and a callback that starts over or cancels
// deadlocking against the other worker.
TEST(Batch, DestroyedWhileBusyOrCancelledFromItsOwnCallbackEndsCleanly) {
  test::TempFolder files("batch");
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i)
    paths.push_back(files.Write("busy" + std::to_string(i) + ".jpg", Photo(800, 600)));
  const int32_t objectsBefore = LiveObjectCount();
  for (int wait : {0, 15, 40}) {
    Received received;
    {
      BatchShrinker shrinker;
      shrinker.Start(paths, 30, 0, Received::Done, &received);
      Sleep(wait);
    }
    const size_t atEnd = received.Count();
    Sleep(100);
    EXPECT_EQ(received.Count(), atEnd);
  }
  EXPECT_EQ(LiveObjectCount(), objectsBefore);

  // Each callback of the first run starts a second run; each of the second cancels it.
  struct Restarting {
    BatchShrinker* Shrinker = nullptr;
    const std::vector<std::string>* Paths = nullptr;
    std::atomic<int> First{0}, Second{0};
    static void SecondDone(void* context, const BatchResult& result) {
      auto* self = static_cast<Restarting*>(context);
      FreeObject(result.Copy);
      ++self->Second;
      self->Shrinker->Cancel();
    }
    static void FirstDone(void* context, const BatchResult& result) {
      auto* self = static_cast<Restarting*>(context);
      FreeObject(result.Copy);
      ++self->First;
      self->Shrinker->Start(*self->Paths, 40, 0, SecondDone, self);
    }
  } restarting;
  {
    BatchShrinker shrinker(2);
    restarting.Shrinker = &shrinker;
    restarting.Paths = &paths;
    shrinker.Start(paths, 30, 0, Restarting::FirstDone, &restarting);
    for (int i = 0; i < 200 && (shrinker.Busy() || restarting.Second == 0); ++i) Sleep(20);
    EXPECT_FALSE(shrinker.Busy());
    const int second = restarting.Second;
    Sleep(200);
    EXPECT_EQ(restarting.Second.load(), second);
  }
  EXPECT_GE(restarting.First.load(), 1);
  EXPECT_LE(restarting.First.load(), 2);  // both workers may finish a first-run photo at once
  EXPECT_GE(restarting.Second.load(), 1);
  EXPECT_EQ(LiveObjectCount(), objectsBefore);
}
