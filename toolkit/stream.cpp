// Memory and file streams over one operation table per instance, and the file-handle
// wrappers the file streams use.
#include "toolkit/stream.h"

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <new>

namespace velmora {

// ---- File-handle wrappers ----

HANDLE OpenFileHandle(const char* name, uint32_t flags) {
  // The desired access is the whole word with its low 16 bits cleared; with no attribute
  // bits given (both words in use) that is the access bits alone.
  DWORD access = flags & 0xFFFF0000u;
  DWORD attributes = (flags >> 16) & 0x1FFFu;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  DWORD share = flags & 0xFFu;
  DWORD disposition = (flags >> 8) & 0xFFu;
  return CreateFileA(name, access, share, nullptr, disposition, attributes, nullptr);
}

bool CloseFileHandle(HANDLE handle) { return CloseHandle(handle) != 0; }

uint32_t SeekFileHandle(HANDLE handle, int32_t distance, uint8_t origin) {
  return SetFilePointer(handle, distance, nullptr, origin);
}

uint32_t ReadFileHandle(HANDLE handle, void* buffer, uint32_t count) {
  DWORD done = 0;
  if (!ReadFile(handle, buffer, count, &done, nullptr)) return 0;
  return done;
}

uint32_t WriteFileHandle(HANDLE handle, const void* buffer, uint32_t count) {
  DWORD done = 0;
  if (!WriteFile(handle, buffer, count, &done, nullptr)) return 0;
  return done;
}

bool GetFileIdentity(const std::string& path, FileIdentity* identity) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (ok) *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return ok;
}

namespace {

// Both paths exist and lead to one file: the same volume and the same file index.
bool SameFileIdentity(const std::string& a, const std::string& b) {
  FileIdentity first, second;
  return GetFileIdentity(a, &first) && GetFileIdentity(b, &second) && first == second;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b || lstrcmpiA(a.c_str(), b.c_str()) == 0) return true;
  return SameFileIdentity(a, b);
}

FileSet::FileSet(const std::vector<std::string>& paths) : Paths(paths) {
  for (const std::string& path : paths)
    if (FileIdentity identity; GetFileIdentity(path, &identity)) Identities.push_back(identity);
}

bool FileSet::Holds(const std::string& path) const {
  for (const std::string& known : Paths)
    if (!known.empty() && !path.empty() && lstrcmpiA(known.c_str(), path.c_str()) == 0) return true;
  FileIdentity identity;
  if (Identities.empty() || !GetFileIdentity(path, &identity)) return false;
  for (const FileIdentity& known : Identities)
    if (known == identity) return true;
  return false;
}

// ---- File stream entries ----

namespace {

uint32_t FileSeek(Stream* s, int32_t distance, uint8_t origin) {
  return SeekFileHandle(s->FileHandle, distance, origin);
}

uint32_t FileGetSize(Stream* s) {
  DWORD size = GetFileSize(s->FileHandle, nullptr);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

void NoSetSize(Stream*, uint32_t) {}
uint32_t NoRead(Stream*, void*, uint32_t) { return 0; }
uint32_t NoWrite(Stream*, const void*, uint32_t) { return 0; }
void FileClose(Stream* s) { CloseFileHandle(s->FileHandle); }

uint32_t FileRead(Stream* s, void* buffer, uint32_t count) {
  return ReadFileHandle(s->FileHandle, buffer, count);
}

// Every write cuts the file where the write ended, so that a shorter new content replaces
// a longer old file opened without being emptied.
uint32_t WriteStreamWrite(Stream* s, const void* buffer, uint32_t count) {
  uint32_t written = WriteFileHandle(s->FileHandle, buffer, count);
  SetEndOfFile(s->FileHandle);
  return written;
}

void WriteStreamSetSize(Stream* s, uint32_t n) {
  uint32_t p = s->Position();
  s->SetPosition(n);
  SetEndOfFile(s->FileHandle);
  if (n > p) s->SetPosition(p);
}

// ---- Memory stream entries ----

// Makes the block exactly capacity bytes long.
void ResizeBlock(Stream* s, uint32_t capacity) {
  if (capacity != 0) {
    void* block = std::realloc(s->Memory, capacity);
    if (!block) throw std::bad_alloc();
    s->Memory = block;
    s->MemoryCapacity = capacity;
  }
}

void MemorySetSize(Stream* s, uint32_t n) {
  ResizeBlock(s, n);
  s->MemorySize = static_cast<int32_t>(n);
  if (s->MemoryPosition > s->MemorySize) s->MemoryPosition = s->MemorySize;
}

// A seek whose result would be negative stops at the beginning instead: a position before
// the data would make the next read or write touch memory outside the block.
uint32_t MemorySeek(Stream* s, int32_t distance, uint8_t origin) {
  int64_t base = 0;
  if (origin == SeekFromCurrent)
    base = s->MemoryPosition;
  else if (origin == SeekFromEnd)
    base = s->MemorySize;
  int64_t target = base + distance;
  if (target < 0) target = 0;
  if (target > INT32_MAX) target = INT32_MAX;
  if (target > s->MemorySize) s->Ops.SetSize(s, static_cast<uint32_t>(target));
  s->MemoryPosition = static_cast<int32_t>(target);
  return static_cast<uint32_t>(target);
}

uint32_t MemoryGetSize(Stream* s) { return static_cast<uint32_t>(s->MemorySize); }

uint32_t MemoryRead(Stream* s, void* buffer, uint32_t count) {
  int64_t left = static_cast<int64_t>(s->MemorySize) - s->MemoryPosition;
  if (left <= 0) return 0;
  uint32_t n = count > left ? static_cast<uint32_t>(left) : count;
  std::memcpy(buffer, static_cast<char*>(s->Memory) + s->MemoryPosition, n);
  s->MemoryPosition += static_cast<int32_t>(n);
  return n;
}

uint32_t MemoryWrite(Stream* s, const void* buffer, uint32_t count) {
  if (count == 0) return 0;
  int64_t end = static_cast<int64_t>(s->MemoryPosition) + count;
  if (end > INT32_MAX) throw std::bad_alloc();
  if (end > s->MemoryCapacity) {
    // Appending grows the block by half again, so writing a stream in small pieces copies
    // each byte a bounded number of times.
    int64_t grown = std::min<int64_t>(INT32_MAX, s->MemoryCapacity + s->MemoryCapacity / 2);
    ResizeBlock(s, static_cast<uint32_t>(std::max(end, grown)));
  }
  if (end > s->MemorySize) s->MemorySize = static_cast<int32_t>(end);
  std::memcpy(static_cast<char*>(s->Memory) + s->MemoryPosition, buffer, count);
  s->MemoryPosition += static_cast<int32_t>(count);
  return count;
}

void MemoryClose(Stream* s) {
  std::free(s->Memory);
  s->Memory = nullptr;
  s->MemoryCapacity = 0;
}

}  // namespace

const StreamOps FileStreamOps = {FileSeek, FileGetSize, NoSetSize, NoRead,
                                 NoWrite,  FileClose,   nullptr,   nullptr};
const StreamOps MemoryStreamOps = {MemorySeek,  MemoryGetSize, MemorySetSize, MemoryRead,
                                   MemoryWrite, MemoryClose,   nullptr,       nullptr};

void Stream::Destroy() {
  if (Ops.Close) Ops.Close(this);
  ObjectBase::Destroy();
}

Stream* OpenFileForReading(const char* name) {
  Stream* s = MakeObject<Stream>();
  s->Ops = FileStreamOps;
  s->Ops.Read = FileRead;
  s->FileHandle = OpenFileHandle(name, ReadFileFlags);
  return s;
}

Stream* CreateFileForWriting(const char* name, uint32_t flags) {
  Stream* s = MakeObject<Stream>();
  s->Ops = FileStreamOps;
  s->Ops.Write = WriteStreamWrite;
  s->Ops.SetSize = WriteStreamSetSize;
  s->FileHandle = OpenFileHandle(name, flags);
  return s;
}

Stream* MakeMemoryStream() {
  Stream* s = MakeObject<Stream>();
  s->Ops = MemoryStreamOps;
  return s;
}

}  // namespace velmora
