// The words the user reads about photos: the size line under each picture, why a file is no
// picture to shrink, sentences naming files and lists of them, the total line of a shrink, the
// mail's subject. Plain text work over the C library and kernel32 only, so that the console
// tool prints the same lines without loading the window system. Relies on imaging/jpeg_rows.h
// for the kinds of problem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/fit.h"
#include "imaging/jpeg_rows.h"

namespace velmora {

// "Size: %dx%d , %u.%u Kb": width, height, whole kilobytes and the hundredths of a kilobyte as
// a plain number (1,075 bytes print as "1.4", 2,560 as "2.50").
std::string FormatSizeText(int32_t width, int32_t height, uint32_t byteCount);

// Why a file is no picture to shrink, as the end of a sentence about it ("is not a JPEG
// picture"); "cannot be read" for a file that cannot be opened or read.
std::string ProblemText(PictureProblem problem);
extern const char* const UnreadableReason;  // "cannot be read"

// The name of the JPEG copy of the photo file named name: the name itself, or for a HEIF
// photo (.heic, .heif, .hif in any letter case) the same name ending in .jpg.
std::string CopyFileName(const std::string& name);

// The sentence about a file: The file "PATH" REASON.
std::string FileSentence(const std::string& path, const std::string& reason);

// The sentences one a line after the heading; past `most` the rest are counted ("... and 12
// more.") so that a message stays on the screen.
std::string ListMessage(const std::string& heading, const std::vector<std::string>& sentences,
                        size_t most = 15);

// "24.3 MB": megabytes of 1,048,576 bytes to a tenth; below one megabyte whole kilobytes
// ("96 Kb").
std::string MegabyteText(uint64_t bytes);

// "7 photos: 24.3 MB to 2.1 MB" ("1 photo: ...").
std::string FormatBatchTotal(size_t photos, uint64_t originalBytes, uint64_t shrunkBytes);

// The size most mail services take in one message.
constexpr uint64_t MailSizeLimit = 25ull << 20;

// The total line of a shrink of count photos of which done have copies: the batch total of
// their sizes, "6 of 7 photos: ..." when some failed, and ", too large to mail (31.2 MB
// attached)" when the copies as attachments (MailAttachmentSize, imaging/fit.h) pass
// MailSizeLimit.
std::string TotalText(size_t done, size_t count, uint64_t originalBytes, uint64_t shrunkBytes,
                      uint64_t attachmentBytes);

// The mail's subject: the names joined by ", ", cut to MailSubjectMost characters ending in
// "..." when longer (never inside a character of the code page).
std::string MailSubject(const std::vector<std::string>& names);
constexpr size_t MailSubjectMost = 200;

// "500 KB", "1 MB", "2.5 MB", "25 MB": a limit (KB and MB of 1,024 and 1,048,576 bytes, to a
// tenth where it is not whole; below a kilobyte "300 bytes").
std::string LimitText(uint64_t bytes);
// A scale as a percentage to a tenth, truncated: "41.3", "100".
std::string ScaleText(const ShrinkScale& scale);

// The percentages the list offers first, 10% to 100% in steps of ten.
constexpr int32_t kPercentItems = 10;
// The size choices offered after the percentages, in the order shown.
struct SizeChoice {
  const char* Label;  // what the list shows
  uint64_t Limit;     // bytes
  bool Mail;          // all copies together in one mail; otherwise each copy
};
extern const SizeChoice SizeChoices[5];

// What the total line adds for a size choice: " at 41.3%, fits one 25 MB mail", " at 67%,
// within 1 MB" for one photo alone, ", each within 500 KB" for several; "" before a result.
std::string FitSummaryText(const FitSummary& fit);
// Why a fit gave no copy, as the end of a sentence about the photo ("does not fit in one 10 MB
// mail even at the smallest size (1.2%, 11.3 MB)"); "" when it did not fail.
std::string FitFailureText(const FitSummary& fit);

// What to tell the user about a mail program's answer to a send: empty for success and for
// the user's cancel; for any other code a sentence naming the failure in words, with its
// number and Simple MAPI name. (No mail program at all is the sharing's to tell.)
std::string MailResultText(uint32_t result);

}  // namespace velmora
