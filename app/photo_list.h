// The photos opened together: each one's name in the order given, the size its header gives
// and the result of the last Shrink. Memory stays bounded whatever the count: the compressed
// bytes of photos lately shown are kept within a budget, the shrunk copies in memory within a
// budget and in a private temporary folder beyond it, and no decoded picture is kept. Also the
// texts made of a list: the total line, the mail subject, the names the copies are written
// under. Relies on imaging/batch_shrink.h, imaging/jpeg_image.h and toolkit/stream.h; no window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/batch_shrink.h"

namespace velmora {

class JpegImage;
class Stream;

enum class ShrinkState : uint8_t { Waiting, Done, Failed };

struct Photo {
  std::string Path;
  uint32_t FileBytes = 0;
  uint32_t Width = 0;  // seen upright, from the header
  uint32_t Height = 0;
  // The last Shrink.
  ShrinkState State = ShrinkState::Waiting;
  uint32_t ShrunkBytes = 0;
  uint32_t ShrunkWidth = 0;
  uint32_t ShrunkHeight = 0;
  std::string Failure;  // why it failed, the end of a sentence ("cannot be read")
};

// What a look at a file found: a photo to keep (Found), or why it is left out (Reason, the end
// of a sentence about the file).
struct PhotoCheck {
  bool Usable = false;
  Photo Found;
  std::string Reason;
};

// The reason of a file that cannot be opened or read.
extern const char* const UnreadableReason;  // "cannot be read"

// Reads the start of the file (all of it when its header lies further in) and tells whether
// it is a JPEG picture the program can decode: readable, a JPEG header, 8-bit samples of a
// colour model it knows, and no more pixels than a decode may take (JpegMaxPixels).
PhotoCheck CheckPhotoFile(const std::string& path);

// The sentence the user reads about a file: The file "PATH" REASON.
std::string FileSentence(const std::string& path, const std::string& reason);

// The sentences of the files listed, one a line, after the heading; past `most` files the
// rest are counted ("... and 12 more.") so that the message stays on the screen.
std::string ListMessage(const std::string& heading, const std::vector<std::string>& sentences,
                        size_t most = 15);

// The paths of what the open dialog returned: one full path, or the folder and the names
// separated by carriage returns (the toolkit's FileDialog joins a multiple selection so).
std::vector<std::string> SelectedFiles(const std::string& dialogText);

class PhotoList {
 public:
  PhotoList() = default;
  ~PhotoList();
  PhotoList(const PhotoList&) = delete;
  PhotoList& operator=(const PhotoList&) = delete;

  // Replaces the list (after Clear).
  void Assign(const std::vector<Photo>& photos);
  // No photos; every kept byte and copy freed, the private folder removed.
  void Clear();
  size_t Count() const { return Entries.size(); }
  const Photo& At(size_t index) const { return Entries[index].Info; }
  std::vector<std::string> Paths() const;

  // A new JpegImage, the caller's, holding the photo's compressed bytes (from the kept copy or
  // read from its file, then kept within BytesBudget); an empty one when the file cannot be
  // read now.
  JpegImage* LoadPhoto(size_t index);

  // Every photo back to Waiting: the shrunk copies are freed and their files deleted.
  void ForgetShrunk();
  // Takes a result of a Shrink at percent: the photo becomes Done, its picture holding the
  // bytes of result.Copy, or Failed with the reason. A result for no photo of the list is freed.
  void TakeResult(const BatchResult& result, int32_t percent);
  // The shrunk copy of a Done photo, owned by the list; null for others. A copy that went to
  // the private folder is read back and kept until the next one is read back.
  JpegImage* Shrunk(size_t index);
  // Writes the photo's shrunk copy as the file path, whole or not at all
  // (JpegImage::WriteToFile); false when it could not (GetLastError tells why) or the photo
  // has no copy.
  bool WriteShrunk(size_t index, const std::string& path);

  size_t CountIn(ShrinkState state) const;
  // Sums over the Done photos: their files, their shrunk copies, and those copies as mail
  // attachments (MailAttachmentBytes).
  uint64_t DoneOriginalBytes() const;
  uint64_t DoneShrunkBytes() const;
  uint64_t DoneAttachmentBytes() const;

  // Bytes the kept compressed originals and the shrunk copies in memory may take.
  uint64_t BytesBudget = 64ull << 20;
  uint64_t ShrunkBudget = 256ull << 20;
  uint64_t KeptBytes() const;       // compressed originals kept now
  uint64_t ShrunkInMemory() const;  // shrunk copies in memory now (a read-back one included)
  // The private folder of shrunk copies beyond ShrunkBudget; "" while it does not exist.
  const std::string& CopyFolder() const { return Folder; }

 private:
  struct Entry {
    Photo Info;
    Stream* Bytes = nullptr;    // the kept compressed original, or null
    uint64_t LastUse = 0;       // when Bytes was last used
    JpegImage* Copy = nullptr;  // the shrunk copy in memory, or null
    std::string CopyPath;       // the shrunk copy's file in Folder, or ""
  };
  void Keep(Entry& entry, Stream* bytes);
  void FreeCopy(Entry& entry);
  bool WriteToFolder(size_t index);
  void RemoveFolder();

  std::vector<Entry> Entries;
  uint64_t UseClock = 0;
  size_t ReadBack = SIZE_MAX;  // the photo whose copy was read back from Folder
  std::string Folder;
};

// A file of n bytes as a mail attachment: Base64 writes 4 bytes for every 3 (a third more).
uint64_t MailAttachmentBytes(uint64_t n);
// The size most mail services take in one message.
constexpr uint64_t MailSizeLimit = 25ull << 20;

// "24.3 MB" (megabytes of 1,048,576 bytes, to a tenth); under a megabyte "96 Kb", as the
// batch's total line (FormatBatchTotal) writes them.
std::string MegabyteText(uint64_t bytes);

// The total line: the batch's total (FormatBatchTotal, "7 photos: 24.3 MB to 2.1 MB") of
// count photos, "6 of 7 photos: ..." when some failed, and when the attachments pass
// MailSizeLimit ", too large to mail (31.2 MB attached)". The sizes are of the done photos.
std::string TotalText(size_t done, size_t count, uint64_t originalBytes, uint64_t shrunkBytes,
                      uint64_t attachmentBytes);

// The mail's subject: the names joined by ", ", cut to 200 characters ending in "..." when
// longer (never inside a character of the code page).
std::string MailSubject(const std::vector<std::string>& names);
constexpr size_t MailSubjectMost = 200;

// The file names of paths, each made unique in the list: a name met before (in any letter
// case) gets " (2)", " (3)" ... before its extension.
std::vector<std::string> UniqueFileNames(const std::vector<std::string>& paths);

}  // namespace velmora
