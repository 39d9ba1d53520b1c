// The photos the window works on, one or many: each one's name in the order given, what its
// header says, and the result of the last Shrink. Memory stays bounded whatever the count: the
// compressed originals of photos lately shown are kept within a budget, the shrunk copies in
// memory within a budget and in a private temporary folder beyond it, and no decoded picture
// is kept. Relies on imaging/batch_shrink.h, imaging/jpeg_image.h and imaging/photo_file.h;
// no window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/batch_shrink.h"
#include "imaging/photo_file.h"

namespace velmora {

class JpegImage;

enum class ShrinkState : uint8_t { Waiting, Done, Failed };

struct Photo {
  std::string Path;
  PhotoFacts Facts;  // what its header said when it was opened
  // The last Shrink.
  ShrinkState State = ShrinkState::Waiting;
  uint32_t ShrunkBytes = 0;
  uint32_t ShrunkWidth = 0;
  uint32_t ShrunkHeight = 0;
  std::string Failure;  // why it failed, the end of a sentence ("cannot be read")
};

// The copies' file names of paths (CopyFileName), each made unique in the list: a name met
// before (in any letter case) gets " (2)", " (3)" ... before its extension.
std::vector<std::string> UniqueFileNames(const std::vector<std::string>& paths);

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

  // The photo's original, holding its compressed bytes (kept, the least recently used others
  // freed until the rest fits BytesBudget); owned by the list and valid until the next call;
  // null when its file cannot be read now.
  JpegImage* Original(size_t index);

  // Every photo back to Waiting: the shrunk copies are freed and their files deleted.
  void ForgetShrunk();
  // A photo that is not shrunk in this run, with the reason: it becomes Failed.
  void MarkFailed(size_t index, const std::string& reason);
  // Takes a result of a Shrink: the photo becomes Done, its copy holding the bytes of
  // result.Copy, or Failed with the reason. A result for no photo of the list is freed.
  void TakeResult(const BatchResult& result);
  // The shrunk copy of a Done photo, owned by the list; null for others. A copy that went to
  // the private folder is read back and kept until the next one is read back.
  JpegImage* Shrunk(size_t index);
  // Writes the photo's shrunk copy as the file path, whole or not at all; false when it
  // could not (GetLastError tells why) or the photo has no copy.
  bool WriteShrunk(size_t index, const std::string& path);

  size_t CountIn(ShrinkState state) const;
  // The photos in that state, in list order.
  std::vector<size_t> IndexesIn(ShrinkState state) const;
  // Sums over the Done photos: their files, their shrunk copies.
  uint64_t DoneOriginalBytes() const;
  uint64_t DoneShrunkBytes() const;

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
    JpegImage* Original = nullptr;  // the kept compressed original, or null
    uint64_t LastUse = 0;           // when Original was last used
    JpegImage* Copy = nullptr;      // the shrunk copy in memory, or null
    std::string CopyPath;           // the shrunk copy's file in Folder, or ""
  };
  void FreeCopy(Entry& entry);
  bool WriteToFolder(size_t index);
  void RemoveFolder();

  std::vector<Entry> Entries;
  uint64_t UseClock = 0;
  size_t ReadBack = SIZE_MAX;  // the photo whose copy was read back from Folder
  std::string Folder;
};

}  // namespace velmora
