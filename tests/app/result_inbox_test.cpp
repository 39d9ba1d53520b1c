// The inbox between the batch shrinker's workers and the window, with the real shrinker: one
// wake-up for what comes while the window is busy, results kept and freed when the window is
// gone, and a Shrink started over again and again that ends with every photo once, at the last
// percentage, and nothing left in the temporary folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/photo_list.h"
#include "imaging/photo_file.h"
#include "app/result_inbox.h"
#include "imaging/batch_shrink.h"
#include "imaging/jpeg_image.h"
#include "imaging/test_support.h"
#include "toolkit/object.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

constexpr UINT kWake = WM_APP + 7;

// A window of this thread that the inbox wakes; its queue is read by the test.
struct WakeWindow {
  HWND Handle = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ~WakeWindow() {
    if (Handle) DestroyWindow(Handle);
  }
  // Wake-ups waiting in the queue, taken out.
  int TakeWakes() const {
    int n = 0;
    MSG message;
    while (PeekMessageA(&message, Handle, kWake, kWake, PM_REMOVE)) ++n;
    return n;
  }
};

// Catches a wake-up per result (flooding the window), none after a Take, and results lost or
// leaked when no window takes the message.
TEST(ResultInbox, OneWakeUpForWhatComesAndNothingLostWithoutAWindow) {
  WakeWindow window;
  test::FreeCount frees;
  {
    ResultInbox inbox(window.Handle, kWake);
    for (size_t i = 0; i < 3; ++i) {
      BatchResult result;
      result.Index = i;
      result.Copy = frees.Watch(MakeMemoryStream());
      ResultInbox::Deliver(&inbox, result);
    }
    EXPECT_EQ(window.TakeWakes(), 1);
    std::vector<BatchResult> taken = inbox.Take();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[2].Index, 2u) << "oldest first";
    for (const BatchResult& result : taken) FreeObject(result.Copy);
    EXPECT_EQ(frees.Count, 3);
    EXPECT_TRUE(inbox.Take().empty());

    BatchResult later;
    later.Copy = frees.Watch(MakeMemoryStream());
    ResultInbox::Deliver(&inbox, later);
    EXPECT_EQ(window.TakeWakes(), 1) << "a new wake-up after the Take";
    inbox.Clear();
    EXPECT_EQ(frees.Count, 4);
  }
  // The window gone: results wait in the inbox and go with it.
  {
    ResultInbox inbox(window.Handle, kWake);
    DestroyWindow(window.Handle);
    window.Handle = nullptr;
    for (int i = 0; i < 2; ++i) {
      BatchResult result;
      result.Copy = frees.Watch(MakeMemoryStream());
      ResultInbox::Deliver(&inbox, result);
    }
    EXPECT_EQ(frees.Count, 4);
  }
  EXPECT_EQ(frees.Count, 6);
}

// Catches results of an earlier run reaching the list after a new start, a photo missing or
// twice in the end, pictures of a dropped run never freed, and files left in the temporary
// folder by the work.
TEST(ResultInbox, AShrinkStartedOverAndOverEndsWithEveryPhotoOnceAtTheLastPercentage) {
  test::TempFolder folder("restart");
  const test::Bytes photo = test::EncodeFlatJpeg(1600, 1200, 90, 140, 200);
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) paths.push_back(folder.Write(std::to_string(i) + ".jpg", photo));
  std::vector<std::string> tempBefore;
  for (const auto& entry : std::filesystem::directory_iterator(TempDirectory()))
    tempBefore.push_back(entry.path().filename().string());

  const int32_t objectsBefore = LiveObjectCount();
  WakeWindow window;
  PhotoList list;
  std::vector<Photo> photos;
  for (const std::string& path : paths)
    photos.push_back({path, InspectPhotoFile(path), ShrinkState::Waiting, 0, 0, 0, {}});
  list.Assign(photos);
  {
    ResultInbox inbox(window.Handle, kWake);
    BatchShrinker shrinker;
    const int32_t percents[] = {50, 30, 20, 70};
    for (int32_t percent : percents) {
      // What the window does: stop, drop what came, forget the copies, start again.
      shrinker.Cancel();
      inbox.Clear();
      list.ForgetShrunk();
      shrinker.Start(paths, percent, 3, &ResultInbox::Deliver, &inbox);
      Sleep(percent == 70 ? 0 : 30);
    }
    std::vector<size_t> seen;
    const DWORD start = GetTickCount();
    while (seen.size() < paths.size() && GetTickCount() - start < 60000) {
      window.TakeWakes();
      for (const BatchResult& result : inbox.Take()) {
        seen.push_back(result.Index);
        list.TakeResult(result);
      }
      Sleep(5);
    }
    EXPECT_FALSE(shrinker.Busy());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, std::vector<size_t>({0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(inbox.Take().empty()) << "nothing after the last";
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(list.At(i).State, ShrinkState::Done);
    EXPECT_EQ(std::vector<uint32_t>({list.At(i).ShrunkWidth, list.At(i).ShrunkHeight}),
              std::vector<uint32_t>({1120, 840}));
  }
  list.Clear();
  EXPECT_EQ(LiveObjectCount(), objectsBefore) << "every picture made was freed";
  std::vector<std::string> tempAfter;
  for (const auto& entry : std::filesystem::directory_iterator(TempDirectory()))
    tempAfter.push_back(entry.path().filename().string());
  std::sort(tempBefore.begin(), tempBefore.end());
  std::sort(tempAfter.begin(), tempAfter.end());
  EXPECT_EQ(tempAfter, tempBefore);
}

}  // namespace
