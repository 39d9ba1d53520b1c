// The photo list: the kept originals (least recently used go first), the shrunk copies and
// their private folder, and the names copies are written under.
#include "app/photo_list.h"

#include <windows.h>

#include <algorithm>

#include "app/wording.h"
#include "imaging/jpeg_image.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

namespace {

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

uint32_t StoredBytes(JpegImage* picture) {
  return picture && picture->Data && picture->Data->Compressed ? picture->Data->Compressed->Size()
                                                               : 0;
}

}  // namespace

std::vector<std::string> UniqueFileNames(const std::vector<std::string>& paths) {
  std::vector<std::string> names, taken;
  for (const std::string& path : paths) {
    const std::string name = CopyFileName(FileNameOf(path));
    std::string unique = name;
    for (int n = 2; std::find(taken.begin(), taken.end(), Lowered(unique)) != taken.end(); ++n)
      unique = NumberedName(name, n);
    taken.push_back(Lowered(unique));
    names.push_back(unique);
  }
  return names;
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
  for (Entry& entry : Entries) FreeAndNull(entry.Original);
  Entries.clear();
}

std::vector<std::string> PhotoList::Paths() const {
  std::vector<std::string> paths;
  for (const Entry& entry : Entries) paths.push_back(entry.Info.Path);
  return paths;
}

uint64_t PhotoList::KeptBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries) total += StoredBytes(entry.Original);
  return total;
}

JpegImage* PhotoList::Original(size_t index) {
  if (index >= Entries.size()) return nullptr;
  Entry& entry = Entries[index];
  entry.LastUse = ++UseClock;
  if (entry.Original) return entry.Original;
  Stream* file = OpenFileForReading(entry.Info.Path.c_str());
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    entry.Original = MakeJpegImage();
    entry.Original->ReadFrom(file);
  }
  FreeObject(file);
  // The least recently used others go until the rest fits; the one asked for always stays.
  for (uint64_t kept = KeptBytes(); kept > BytesBudget;) {
    Entry* oldest = nullptr;
    for (Entry& other : Entries)
      if (other.Original && &other != &entry && (!oldest || other.LastUse < oldest->LastUse))
        oldest = &other;
    if (!oldest) break;
    kept -= StoredBytes(oldest->Original);
    FreeAndNull(oldest->Original);
  }
  return entry.Original;
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

void PhotoList::MarkFailed(size_t index, const std::string& reason) {
  if (index >= Entries.size()) return;
  FreeCopy(Entries[index]);
  Entries[index].Info.State = ShrinkState::Failed;
  Entries[index].Info.Failure = reason;
}

uint64_t PhotoList::ShrunkInMemory() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Copy) total += entry.Info.ShrunkBytes;
  return total;
}

void PhotoList::TakeResult(const BatchResult& result) {
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
    info.Failure = result.Unreadable ? std::string(UnreadableReason) : ProblemText(result.Problem);
    return;
  }
  info.State = ShrinkState::Done;
  info.ShrunkBytes = result.ShrunkBytes;
  info.ShrunkWidth = result.ShrunkWidth;
  info.ShrunkHeight = result.ShrunkHeight;
  if (result.OriginalBytes != 0) info.Facts.FileBytes = result.OriginalBytes;
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
  const bool written =
      StoredBytes(copy) == entry.Info.ShrunkBytes && copy->WriteToFile(path.c_str());
  FreeObject(copy);
  return written;
}

size_t PhotoList::CountIn(ShrinkState state) const { return IndexesIn(state).size(); }

std::vector<size_t> PhotoList::IndexesIn(ShrinkState state) const {
  std::vector<size_t> indexes;
  for (size_t i = 0; i < Entries.size(); ++i)
    if (Entries[i].Info.State == state) indexes.push_back(i);
  return indexes;
}

uint64_t PhotoList::DoneOriginalBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Info.State == ShrinkState::Done) total += entry.Info.Facts.FileBytes;
  return total;
}

uint64_t PhotoList::DoneShrunkBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : Entries)
    if (entry.Info.State == ShrinkState::Done) total += entry.Info.ShrunkBytes;
  return total;
}

}  // namespace velmora
