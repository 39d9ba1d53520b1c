// Write beside, flush, close, then move over the target; every failure removes the new file.
#include "toolkit/whole_file.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "toolkit/object.h"
#include "toolkit/stream.h"

namespace velmora {

const char* const SavingFilePrefix = "~velmora-";

namespace {

// The folder part of a path, up to and with its last separator; empty for a bare name.
std::string FolderOf(const std::string& path) {
  size_t cut = path.find_last_of(":\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A new file in a folder, open for writing, removed again unless it was moved away. Its
// clean-up keeps the thread's last error, so the cause of a failure survives.
class NewFileBeside {
 public:
  explicit NewFileBeside(const std::string& folder) {
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      char unique[32];
      std::snprintf(unique, sizeof unique, "%lx-%x.tmp", GetCurrentProcessId(),
                    static_cast<unsigned>(++counter));
      Name = folder + SavingFilePrefix + unique;
      File = CreateFileForWriting(Name.c_str(), NewFileFlags);
      if (File->Handle() != INVALID_HANDLE_VALUE) return;
      DWORD error = GetLastError();
      FreeAndNull(File);
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        SetLastError(error);
        break;
      }
    }
    Name.clear();
  }
  ~NewFileBeside() {
    DWORD error = GetLastError();
    Close();
    if (!Name.empty()) DeleteFileA(Name.c_str());
    SetLastError(error);
  }
  NewFileBeside(const NewFileBeside&) = delete;
  NewFileBeside& operator=(const NewFileBeside&) = delete;

  bool IsOpen() const { return File != nullptr; }
  Stream* Output() const { return File; }
  // Flushes and closes the file; true when every byte reached the disk.
  bool Finish() {
    bool flushed = FlushFileBuffers(File->Handle()) != 0;
    DWORD error = GetLastError();
    Close();
    SetLastError(error);
    return flushed;
  }
  // Moves the closed file over target; from then on it is no longer this object's to remove.
  bool MoveOver(const std::string& target) {
    if (!MoveFileExA(Name.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return false;
    Name.clear();
    return true;
  }

 private:
  void Close() { FreeAndNull(File); }

  std::string Name;
  Stream* File = nullptr;
};

}  // namespace

bool SaveWholeFile(const std::string& target, const std::function<bool(Stream* file)>& write) {
  if (target.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  // The move would replace a read-only file without a word, so such a target is refused here.
  DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  NewFileBeside file(FolderOf(target));
  if (!file.IsOpen()) return false;
  SetLastError(ERROR_SUCCESS);
  if (!write(file.Output())) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  return file.Finish() && file.MoveOver(target);
}

bool SaveWholeFile(const std::string& target, const void* bytes, uint32_t count) {
  return SaveWholeFile(
      target, [&](Stream* file) { return count == 0 || file->Write(bytes, count) == count; });
}

Stream* ReadWholeFile(const std::string& path) {
  Stream* file = OpenFileForReading(path.c_str());
  Stream* bytes = nullptr;
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    try {
      bytes = MakeMemoryStream();
      bytes->SetSize(file->Size());
      bytes->SetSize(file->Read(bytes->Memory, file->Size()));
      if (bytes->Size() != file->Size()) FreeAndNull(bytes);
    } catch (...) {  // no memory for the whole file
      FreeAndNull(bytes);
    }
  }
  FreeObject(file);
  if (bytes) bytes->SetPosition(0);
  return bytes;
}

}  // namespace velmora
