// The photo list: header checks, the kept bytes (least recently used go first), the shrunk
// copies and their private folder, and the texts made of the list.
#include "app/photo_list.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>

#include "imaging/jpeg_image.h"
#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

const char* const UnreadableReason = "cannot be read";

namespace {

// A header with its EXIF block and a colour profile fits here almost always; a file whose
// header lies further in is read whole.
constexpr uint32_t HeaderBytes = 256 * 1024;

// Reads count bytes from the file's start; false when fewer came.
bool ReadStart(Stream* file, std::vector<uint8_t>* bytes, uint32_t count) {
  try {
    bytes->assign(count, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  file->SetPosition(0);
  uint32_t done = 0;
  while (done < count) {
    const uint32_t n = file->Read(bytes->data() + done, std::min<uint32_t>(count - done, 1 << 20));
    if (n == 0) break;
    done += n;
  }
  return done == count;
}

// The whole file in a new memory stream; null when it cannot be read.
Stream* ReadWholeFile(const std::string& path) {
  Stream* file = OpenFileForReading(path.c_str());
  Stream* bytes = nullptr;
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    bytes = MakeMemoryStream();
    std::vector<uint8_t> chunk(1 << 20);
    uint32_t n = 0;
    while ((n = file->Read(chunk.data(), static_cast<uint32_t>(chunk.size()))) > 0) {
      if (bytes->Write(chunk.data(), n) != n) {
        FreeAndNull(bytes);
        break;
      }
    }
    if (bytes && bytes->Size() != file->Size()) FreeAndNull(bytes);
  }
  FreeObject(file);
  if (bytes) bytes->SetPosition(0);
  return bytes;
}

// "name (2).jpg" for the n-th "name.jpg".
std::string NumberedName(const std::string& name, int n) {
  const size_t dot = name.find_last_of('.');
  const std::string number = " (" + std::to_string(n) + ")";
  return dot == std::string::npos || dot == 0 ? name + number
                                              : name.substr(0, dot) + number + name.substr(dot);
}

std::string Lowered(std::string text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Where a text may be cut at or before `at` without splitting a character of the code page.
size_t CharacterBoundary(const std::string& text, size_t at) {
  if (at >= text.size()) return text.size();
  if (GetACP() == CP_UTF8) {
    while (at > 0 && (static_cast<uint8_t>(text[at]) & 0xC0) == 0x80) --at;
    return at;
  }
  size_t boundary = 0;
  for (size_t i = 0; i <= at;) {
    boundary = i;
    i += IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  return boundary;
}

}  // namespace

PhotoCheck CheckPhotoFile(const std::string& path) {
  PhotoCheck check;
  check.Found.Path = path;
  Stream* file = OpenFileForReading(path.c_str());
  if (file->Handle() == INVALID_HANDLE_VALUE) {
    FreeObject(file);
    check.Reason = UnreadableReason;
    return check;
  }
  const uint32_t size = file->Size();
  check.Found.FileBytes = size;
  std::vector<uint8_t> bytes;
  bool read = ReadStart(file, &bytes, std::min(size, HeaderBytes));
  // Data of no more than 450 bytes never counts as a picture (as for the program's Open).
  if (read && (size < JpegMinimumParsedSize || bytes[0] != 0xFF || bytes[1] != 0xD8)) {
    FreeObject(file);
    check.Reason = DescribeProblem(PictureProblem::NotJpeg);
    return check;
  }
  auto reader = std::make_unique<JpegRowReader>();
  bool opened = read && reader->Open(bytes.data(), bytes.size(), true);
  if (read && !opened && bytes.size() < size) {
    read = ReadStart(file, &bytes, size);
    reader = std::make_unique<JpegRowReader>();
    opened = read && reader->Open(bytes.data(), bytes.size(), true);
  }
  FreeObject(file);
  if (!read) {
    check.Reason = UnreadableReason;
  } else if (!opened) {
    check.Reason = DescribeProblem(reader->Problem);
  } else if (static_cast<uint64_t>(reader->Width) * reader->Height > JpegMaxPixels) {
    check.Reason = DescribeProblem(PictureProblem::TooLarge);
  } else {
    const bool turned = CollectPhotoDetails(reader->Markers()).Orientation >= 5;
    check.Found.Width = turned ? reader->Height : reader->Width;
    check.Found.Height = turned ? reader->Width : reader->Height;
    check.Usable = true;
  }
  return check;
}

std::string FileSentence(const std::string& path, const std::string& reason) {
  return FormatText("The file \"%s\" %s.", path, reason);
}

std::string ListMessage(const std::string& heading, const std::vector<std::string>& sentences,
                        size_t most) {
  std::string text = heading;
  for (size_t i = 0; i < sentences.size() && i < most; ++i) text += "\n" + sentences[i];
  if (sentences.size() > most)
    text += "\n... and " + std::to_string(sentences.size() - most) + " more.";
  return text;
}

std::vector<std::string> SelectedFiles(const std::string& dialogText) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= dialogText.size();) {
    size_t end = dialogText.find('\r', start);
    if (end == std::string::npos) end = dialogText.size();
    if (end > start) parts.push_back(dialogText.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() <= 1) return parts;
  const std::string folder = WithTrailingBackslash(parts[0]);
  std::vector<std::string> paths;
  for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
  return paths;
}

// ---- PhotoList ----

PhotoList::~PhotoList() { Clear(); }

void PhotoList::Assign(const std::vector<Photo>& photos) {
  Clear();
  Entries.resize(photos.size());
  for (size_t i = 0; i < photos.size(); ++i) Entries[i].Info = photos[i];
}

void PhotoList::Clear() {
  ForgetShrunk();
  for (Entry& entry : Entries) FreeAndNull(entry.Bytes);
  Entries.clear();
}

std::vector<std::string> PhotoList::Paths() const {
  std::vector<std::string> paths;
  for (const Entry& entry : Entries) paths.push_back(entry.Info.Path);
  return paths;
}

uint64_t PhotoList::KeptBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Bytes) total += entry.Bytes->Size();
  return total;
}

void PhotoList::Keep(Entry& entry, Stream* bytes) {
  if (bytes->Size() > BytesBudget) {
    FreeObject(bytes);
    return;
  }
  entry.Bytes = bytes;
  entry.LastUse = ++UseClock;
  // The least recently used go until the rest fits.
  for (uint64_t kept = KeptBytes(); kept > BytesBudget;) {
    Entry* oldest = nullptr;
    for (Entry& other : Entries)
      if (other.Bytes && &other != &entry && (!oldest || other.LastUse < oldest->LastUse))
        oldest = &other;
    if (!oldest) break;
    kept -= oldest->Bytes->Size();
    FreeAndNull(oldest->Bytes);
  }
}

JpegImage* PhotoList::LoadPhoto(size_t index) {
  JpegImage* picture = MakeJpegImage();
  if (index >= Entries.size()) return picture;
  Entry& entry = Entries[index];
  if (!entry.Bytes) {
    if (Stream* bytes = ReadWholeFile(entry.Info.Path)) Keep(entry, bytes);
    // Too large to keep: read for this once.
    if (!entry.Bytes) {
      if (Stream* once = ReadWholeFile(entry.Info.Path)) {
        picture->ReadFrom(once);
        FreeObject(once);
      }
      return picture;
    }
  }
  entry.LastUse = ++UseClock;
  entry.Bytes->SetPosition(0);
  picture->ReadFrom(entry.Bytes);
  return picture;
}

// ---- Shrunk copies ----

void PhotoList::FreeCopy(Entry& entry) {
  FreeAndNull(entry.Copy);
  if (!entry.CopyPath.empty()) DeleteFileA(entry.CopyPath.c_str());
  entry.CopyPath.clear();
}

void PhotoList::ForgetShrunk() {
  for (Entry& entry : Entries) {
    FreeCopy(entry);
    Photo& info = entry.Info;
    info.State = ShrinkState::Waiting;
    info.ShrunkBytes = info.ShrunkWidth = info.ShrunkHeight = 0;
    info.Failure.clear();
  }
  ReadBack = SIZE_MAX;
  RemoveFolder();
}

uint64_t PhotoList::ShrunkInMemory() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Copy) total += entry.Info.ShrunkBytes;
  return total;
}

void PhotoList::TakeResult(const BatchResult& result, int32_t percent) {
  if (result.Index >= Entries.size()) {
    FreeObject(result.Copy);
    return;
  }
  Entry& entry = Entries[result.Index];
  FreeCopy(entry);
  if (ReadBack == result.Index) ReadBack = SIZE_MAX;
  Photo& info = entry.Info;
  info.ShrunkBytes = info.ShrunkWidth = info.ShrunkHeight = 0;
  info.Failure.clear();
  if (result.Copy == nullptr) {
    info.State = ShrinkState::Failed;
    if (result.Unreadable)
      info.Failure = UnreadableReason;
    else if (result.Problem != PictureProblem::None)
      info.Failure = DescribeProblem(result.Problem);
    else
      info.Failure = FormatText("is too small to shrink to %d%%", percent);
    return;
  }
  info.State = ShrinkState::Done;
  info.ShrunkBytes = result.ShrunkBytes;
  info.ShrunkWidth = result.ShrunkWidth;
  info.ShrunkHeight = result.ShrunkHeight;
  if (result.OriginalBytes != 0) info.FileBytes = result.OriginalBytes;
  entry.Copy = MakeJpegImage();
  entry.Copy->TakeBytes(result.Copy);
  // Past the budget the copy goes to the private folder; if it cannot, it stays in memory.
  if (ShrunkInMemory() > ShrunkBudget && WriteToFolder(result.Index)) FreeAndNull(entry.Copy);
}

bool PhotoList::WriteToFolder(size_t index) {
  if (Folder.empty()) {
    // A folder of this run of the program, new: nothing of another run is touched.
    const std::string base =
        TempDirectory() + "Velmora shrunk " + std::to_string(GetCurrentProcessId()) + "-";
    for (int n = 1; n < 1000 && Folder.empty(); ++n)
      if (CreateDirectoryA((base + std::to_string(n)).c_str(), nullptr))
        Folder = base + std::to_string(n) + "\\";
    if (Folder.empty()) return false;
  }
  Entry& entry = Entries[index];
  const std::string path = Folder + std::to_string(index) + ".jpg";
  if (!entry.Copy->WriteToFile(path.c_str())) return false;
  entry.CopyPath = path;
  return true;
}

void PhotoList::RemoveFolder() {
  if (Folder.empty()) return;
  RemoveDirectoryA(Folder.c_str());
  Folder.clear();
}

JpegImage* PhotoList::Shrunk(size_t index) {
  if (index >= Entries.size() || Entries[index].Info.State != ShrinkState::Done) return nullptr;
  Entry& entry = Entries[index];
  if (entry.Copy || entry.CopyPath.empty()) return entry.Copy;
  // One copy read back at a time.
  if (ReadBack < Entries.size() && !Entries[ReadBack].CopyPath.empty())
    FreeAndNull(Entries[ReadBack].Copy);
  Stream* file = OpenFileForReading(entry.CopyPath.c_str());
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    entry.Copy = MakeJpegImage();
    entry.Copy->ReadFrom(file);
    ReadBack = index;
  }
  FreeObject(file);
  return entry.Copy;
}

bool PhotoList::WriteShrunk(size_t index, const std::string& path) {
  if (index >= Entries.size() || Entries[index].Info.State != ShrinkState::Done) return false;
  Entry& entry = Entries[index];
  if (entry.Copy) return entry.Copy->WriteToFile(path.c_str());
  // From the private folder, read back for this write only.
  JpegImage* copy = MakeJpegImage();
  Stream* file = OpenFileForReading(entry.CopyPath.c_str());
  copy->ReadFrom(file);
  FreeObject(file);
  const bool written = copy->Data->Compressed &&
                       copy->Data->Compressed->Size() == entry.Info.ShrunkBytes &&
                       copy->WriteToFile(path.c_str());
  FreeObject(copy);
  return written;
}

size_t PhotoList::CountIn(ShrinkState state) const {
  return static_cast<size_t>(std::count_if(
      Entries.begin(), Entries.end(), [state](const Entry& e) { return e.Info.State == state; }));
}

uint64_t PhotoList::DoneOriginalBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Info.State == ShrinkState::Done) total += entry.Info.FileBytes;
  return total;
}

uint64_t PhotoList::DoneShrunkBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Info.State == ShrinkState::Done) total += entry.Info.ShrunkBytes;
  return total;
}

uint64_t PhotoList::DoneAttachmentBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Info.State == ShrinkState::Done) total += MailAttachmentBytes(entry.Info.ShrunkBytes);
  return total;
}

// ---- Texts ----

uint64_t MailAttachmentBytes(uint64_t n) { return (n + 2) / 3 * 4; }

std::string MegabyteText(uint64_t bytes) {
  // The rule of the batch's total (FormatBatchTotal), so that the line reads alike throughout.
  if (bytes < (1u << 20)) return FormatText("%u Kb", static_cast<uint32_t>((bytes + 512) >> 10));
  const auto tenths = static_cast<uint32_t>((bytes * 10 + (1u << 19)) >> 20);
  return FormatText("%u.%u MB", tenths / 10, tenths % 10);
}

std::string TotalText(size_t done, size_t count, uint64_t originalBytes, uint64_t shrunkBytes,
                      uint64_t attachmentBytes) {
  // "7 photos: ..." as the batch says it; "6 of 7 photos: ..." when one failed.
  std::string text = FormatBatchTotal(count, originalBytes, shrunkBytes);
  if (done != count) text = std::to_string(done) + " of " + text;
  if (attachmentBytes > MailSizeLimit)
    text += ", too large to mail (" + MegabyteText(attachmentBytes) + " attached)";
  return text;
}

std::string MailSubject(const std::vector<std::string>& names) {
  std::string subject;
  for (const std::string& name : names) subject += (subject.empty() ? "" : ", ") + name;
  if (subject.size() <= MailSubjectMost) return subject;
  return subject.substr(0, CharacterBoundary(subject, MailSubjectMost - 3)) + "...";
}

std::vector<std::string> UniqueFileNames(const std::vector<std::string>& paths) {
  std::vector<std::string> names, taken;
  for (const std::string& path : paths) {
    const std::string name = FileNameOf(path);
    std::string unique = name;
    for (int n = 2; std::find(taken.begin(), taken.end(), Lowered(unique)) != taken.end(); ++n)
      unique = NumberedName(name, n);
    taken.push_back(Lowered(unique));
    names.push_back(unique);
  }
  return names;
}

}  // namespace velmora
