// Byte streams with a per-instance operation table: read and write file streams over
// the Win32 file functions, and memory streams over one growable block; plus the thin
// file-handle wrappers the file streams use, and the same-file test of two paths.
// Relies on toolkit/object.h and kernel32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/object.h"

namespace velmora {

class Stream;

enum SeekOrigin : uint8_t { SeekFromBeginning = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };

// Each stream carries its own copy, so a creation function can replace single entries.
struct StreamOps {
  uint32_t (*Seek)(Stream* s, int32_t distance, uint8_t origin);
  uint32_t (*GetSize)(Stream* s);
  void (*SetSize)(Stream* s, uint32_t size);
  uint32_t (*Read)(Stream* s, void* buffer, uint32_t count);
  uint32_t (*Write)(Stream* s, const void* buffer, uint32_t count);
  void (*Close)(Stream* s);
  void* Reserved1;
  void* Reserved2;
};

extern const StreamOps FileStreamOps;
extern const StreamOps MemoryStreamOps;

class Stream : public ObjectBase {
 public:
  void Destroy() override;  // the Close entry, then the base teardown

  uint32_t Read(void* buffer, uint32_t count) { return Ops.Read(this, buffer, count); }
  uint32_t Write(const void* buffer, uint32_t count) { return Ops.Write(this, buffer, count); }
  uint32_t Seek(int32_t distance, uint8_t origin) { return Ops.Seek(this, distance, origin); }
  uint32_t Position() { return Seek(0, SeekFromCurrent); }
  uint32_t SetPosition(uint32_t p) { return Seek(static_cast<int32_t>(p), SeekFromBeginning); }
  uint32_t Size() { return Ops.GetSize(this); }
  void SetSize(uint32_t n) { Ops.SetSize(this, n); }
  HANDLE Handle() const { return FileHandle; }

  StreamOps Ops{};
  void* Memory = nullptr;                    // memory stream's block, null until it grows
  HANDLE FileHandle = INVALID_HANDLE_VALUE;  // file stream's handle
  int32_t MemorySize = 0;                    // data bytes of a memory stream
  int32_t MemoryPosition = 0;                // current offset of a memory stream
  uint32_t MemoryCapacity = 0;               // bytes of the memory stream's block
};

// FileOpenFlags words: access in bits 30-31, attributes 16-28, disposition 8-15, share 0-7.
constexpr uint32_t ReadFileFlags = 0x80000301;   // GENERIC_READ, share read, OPEN_EXISTING
constexpr uint32_t WriteFileFlags = 0x40000401;  // GENERIC_WRITE, share read, OPEN_ALWAYS
constexpr uint32_t NewFileFlags = 0x40000101;    // GENERIC_WRITE, share read, CREATE_NEW

Stream* OpenFileForReading(const char* name);
// A write stream; with NewFileFlags the file must not exist yet.
Stream* CreateFileForWriting(const char* name, uint32_t flags = WriteFileFlags);
Stream* MakeMemoryStream();

HANDLE OpenFileHandle(const char* name, uint32_t flags);
bool CloseFileHandle(HANDLE handle);
uint32_t SeekFileHandle(HANDLE handle, int32_t distance, uint8_t origin);
uint32_t ReadFileHandle(HANDLE handle, void* buffer, uint32_t count);
uint32_t WriteFileHandle(HANDLE handle, const void* buffer, uint32_t count);

// Whether two paths name the same file: equal texts, equal but for letter case, or, when
// both exist, one file on one volume (which also catches short names and other spellings).
bool IsSameFile(const std::string& a, const std::string& b);

// Where a file lives: its volume and its index there, the same for every path that leads to it.
struct FileIdentity {
  uint32_t Volume = 0;
  uint32_t IndexHigh = 0;
  uint32_t IndexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};
// The identity of an existing file or folder; false when it cannot be opened. Comparing
// identities taken once is what IsSameFile does, without opening the files for every pair.
bool GetFileIdentity(const std::string& path, FileIdentity* identity);

// Tells whether a path is one of a set of files by the rule of IsSameFile (the same name in
// any letter case, or one file under another name), each file of the set looked at once.
class FileSet {
 public:
  explicit FileSet(const std::vector<std::string>& paths);
  bool Holds(const std::string& path) const;

 private:
  std::vector<std::string> Paths;
  std::vector<FileIdentity> Identities;
};

}  // namespace velmora
