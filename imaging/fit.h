// Copies that fit under a size: the largest common scale at which the copy of one photo, or
// the copies of several photos together in one mail, made exactly as Shrink makes them, stay
// within a number of bytes; the size a file takes as a mail attachment; and the fit on a thread
// of its own for the window. Relies on imaging/shrink.h (ShrinkJpegCopies),
// imaging/batch_shrink.h (its results) and toolkit/stream.h.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/batch_shrink.h"
#include "imaging/shrink.h"

namespace velmora {

class Stream;

// Bytes a mail part takes beyond its Base64 lines: its own headers with the file's name and
// the boundary between parts.
constexpr uint64_t MailPartMargin = 1024;

// A file of fileBytes as a mail attachment, as mail sends it: Base64 (4 characters for every
// 3 bytes, the last group padded), in lines of 76 characters each ended by CR LF, plus
// MailPartMargin. The one rule for "fits one mail": the fit and the window's total line both
// count attachments with it.
uint64_t MailAttachmentSize(uint64_t fileBytes);

// One photo to fit: its JPEG bytes in memory (Data non-null; they stay in place during the
// fit), or the file at Path, read as the batch reads it, never in memory whole.
struct FitInput {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  std::string Path;
};

enum class FitFailure : uint8_t { None, NothingReadable, Cancelled, TooLarge };

// What the fit made of one photo.
struct FitCopy {
  Stream* Copy = nullptr;  // the copy's JPEG bytes (a memory stream the caller frees); null
                           // when there is none
  ShrinkReport Report;     // the original's upright size, the copy's size and bytes; Problem
  uint32_t OriginalBytes = 0;
  bool Unreadable = false;  // the file could not be opened
  // Left out of the fit: it could not be opened (Unreadable) or decoded (Report.Problem says
  // why, NotJpeg for a file with no JPEG picture).
  bool LeftOut = false;
};

// What a fit found. The search's guarantee when Fitted: the copies are those of scale, made
// as Shrink makes them, and Bytes (the copy's bytes, or for a mail the sum of the copies'
// MailAttachmentSize) is within the limit; either the scale is 100%, or Bytes is at least 95%
// of the limit. Within the sizes tried, scale is the largest within the limit; the sizes above
// it were estimated over the limit or past 96.5% of it. The sizes are those of scale n / d with
// d the longest upright side of the photos (one pixel on that side per step) and n from 100%
// down to the smallest that leaves 16 pixels on each photo's short side.
struct FitResult {
  bool Fitted = false;
  ShrinkScale Scale;  // the common scale of the copies
  uint64_t Bytes = 0;
  ShrinkScale Over{0, 100};     // the smallest larger scale tried, over the limit (0: none; the
  uint64_t OverBytes = 0;       // first copies made are within the limit whenever the estimate
                                // is right to 3.5%)
  bool Guaranteed = false;      // the guarantee above holds (it can fail only when no size between
                                // 95% and 100% of the limit exists, or the search gave up)
  int32_t Passes = 0;           // decodes of each photo for real copies (the estimate not counted)
  int32_t Tries = 0;            // scales whose copies were made
  std::vector<FitCopy> Photos;  // in the order given
  // Why nothing was fitted (None when fitted): no photo could be read, the fit was cancelled,
  // or the photos do not fit even at the smallest size (Smallest, when it was tried, came to
  // SmallestBytes).
  FitFailure Failure = FitFailure::None;
  ShrinkScale Smallest{0, 100};
  uint64_t SmallestBytes = 0;
};

struct FitOptions {
  // All copies together in one mail, each counted by MailAttachmentSize; otherwise the copies'
  // bytes as they are (for "each copy at most", fit one photo per call).
  bool Mail = false;
  int Workers = 0;  // photos in work at once: 0 for BatchShrinker::DefaultThreads()
  const std::atomic<bool>* Cancel = nullptr;  // when it turns true the fit ends, not Fitted
};

// Fits the photos under limit bytes at one common scale: one photo alone (Mail false), or
// all of them together in one mail (Mail true). Photos that cannot be read are marked LeftOut
// in their FitCopy and left out; when the rest cannot fit even at the smallest size, nothing is
// fitted and no copies are kept. How: each photo is decoded once and its copies at a handful
// of scales from 100% down are estimated from a sample of their rows (EstimateJpegCopies),
// which gives a curve of bytes against scale; the real copies at the scale the curve puts at
// 96.5% of the limit are then made from one decode per photo (ShrinkJpegCopies), and when they
// miss the 95 to 100% the curve is corrected by them and another scale tried (a handful of
// passes at most). A HEIF photo is taken as a JPEG one (EstimateDecodedRows, ShrinkHeifCopies);
// alone, it is decoded once for the whole fit.
FitResult FitCopies(const std::vector<FitInput>& inputs, uint64_t limit,
                    const FitOptions& options = {});

// Runs work(i) for i in [0, count) on up to workers threads (the calling one among them); a
// thread that cannot be had leaves its share to the others.
void ForEach(size_t count, int workers, const std::function<void(size_t)>& work);

// Frees the copies a result holds.
void FreeFitCopies(FitResult& result);

// What a fit of the window's came to, for its sentences (app/wording.h).
struct FitSummary {
  uint64_t Limit = 0;
  bool Mail = false;    // all copies in one mail
  size_t Photos = 0;    // photos of the run
  bool Fitted = false;  // Scale holds the common scale (one mail, or one photo alone)
  ShrinkScale Scale;
  FitFailure Failure = FitFailure::None;
  ShrinkScale Smallest{0, 100};  // for TooLarge: the smallest size tried and its bytes
  uint64_t SmallestBytes = 0;
};

// The summary of a fit of photos under limit.
FitSummary SummaryOf(const FitResult& fit, uint64_t limit, bool mail, size_t photos);

// FitCopies for the window, on a thread of its own, handing each photo's result on as the
// batch shrinker does (imaging/batch_shrink.h): a copy, or none with the reason in Problem,
// or none with Problem None when it does not fit (Reason says why).
class FitShrinker {
 public:
  FitShrinker() = default;
  ~FitShrinker();  // cancels and joins
  FitShrinker(const FitShrinker&) = delete;
  FitShrinker& operator=(const FitShrinker&) = delete;

  // Starts over (a run under way is cancelled first): fits the photos read from their files
  // under limit, all together in one mail (mail), or each alone, the one at index first before
  // the others; each result goes to done(context, result) from the fit's thread, with Index its
  // place in paths. After Cancel or a new Start returns no result of the earlier run arrives.
  void Start(const std::vector<std::string>& paths, uint64_t limit, bool mail, size_t first,
             BatchDoneProc done, void* context);
  void Cancel();
  // What the latest run found, for the total line once its results are in: the limit, one
  // mail or each copy, and (for one mail or one photo alone) the common scale.
  FitSummary Summary() const;
  // Why photo index of the latest run has no copy, when its result's Problem does not say it
  // (Failure None: it has one, or Problem says why).
  FitSummary Reason(size_t index) const;

 private:
  std::thread Worker;
  std::atomic<bool> Stop{false};
  mutable std::mutex Lock;
  FitSummary Said;
  std::vector<FitSummary> Reasons;
};

}  // namespace velmora
