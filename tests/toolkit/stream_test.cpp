// Memory streams (growth, truncation, seeks in every direction) and file streams over
// real files in the Wine prefix's temporary directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

std::string ReadWholeFile(const std::string& name) {
  std::string bytes;
  HANDLE h =
      CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

std::string ScratchFile(const char* name) {
  std::string path = TempDirectory() + "velmora-stream-" + name;
  DeleteFileA(path.c_str());
  return path;
}

}  // namespace

TEST(MemoryStream, ReadsWritesAndGrowsToExactSize) {
  Stream* s = MakeMemoryStream();
  EXPECT_EQ(s->Size(), 0u);
  EXPECT_EQ(s->Memory, nullptr);
  EXPECT_EQ(s->Write("0123456789", 10), 10u);
  EXPECT_EQ(s->Size(), 10u);
  EXPECT_EQ(s->Position(), 10u);

  char buffer[16] = {};
  EXPECT_EQ(s->Read(buffer, 4), 0u);  // at the end
  EXPECT_EQ(s->Position(), 10u);
  s->SetPosition(7);
  EXPECT_EQ(s->Read(buffer, 16), 3u);  // only what remains
  EXPECT_EQ(std::string(buffer, 3), "789");

  s->SetPosition(2);
  s->Write("ab", 2);  // overwrite in the middle
  EXPECT_EQ(s->Size(), 10u);
  EXPECT_EQ(std::string(static_cast<char*>(s->Memory), 10), "01ab456789");
  s->Free();
}

TEST(MemoryStream, SetSizeTruncatesAndKeepsTheBlockAtZero) {
  Stream* s = MakeMemoryStream();
  s->Write("0123456789", 10);
  s->SetPosition(7);
  s->SetSize(3);
  EXPECT_EQ(s->Size(), 3u);
  EXPECT_EQ(s->Position(), 3u);
  EXPECT_EQ(std::string(static_cast<char*>(s->Memory), 3), "012");

  s->SetSize(0);
  EXPECT_EQ(s->Size(), 0u);
  EXPECT_EQ(s->Position(), 0u);
  EXPECT_NE(s->Memory, nullptr);
  s->Write("hello", 5);
  EXPECT_EQ(s->Size(), 5u);
  s->Free();
}

TEST(MemoryStream, SeeksPastTheEndGrowAndNegativeSeeksStopAtTheStart) {
  Stream* s = MakeMemoryStream();
  s->Write("abcd", 4);
  EXPECT_EQ(s->Seek(10, SeekFromEnd), 14u);
  EXPECT_EQ(s->Size(), 14u);
  EXPECT_EQ(s->Seek(-4, SeekFromCurrent), 10u);
  EXPECT_EQ(s->Seek(-3, SeekFromEnd), 11u);

  // A seek before the beginning must not leave a negative position behind.
  EXPECT_EQ(s->Seek(-100, SeekFromCurrent), 0u);
  EXPECT_EQ(s->Seek(-100, SeekFromBeginning), 0u);
  char buffer[4] = {};
  EXPECT_EQ(s->Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  s->Write("XY", 2);
  EXPECT_EQ(s->Size(), 14u);
  EXPECT_EQ(std::string(static_cast<char*>(s->Memory), 6), "abcdXY");
  s->Free();
}

TEST(FileStream, WriteStreamReplacesALongerFile) {
  std::string path = ScratchFile("replace.bin");
  Stream* first = CreateFileForWriting(path.c_str());
  std::string hundred(100, 'x');
  EXPECT_EQ(first->Write(hundred.data(), 100), 100u);
  first->Free();
  EXPECT_EQ(ReadWholeFile(path), hundred);

  Stream* second = CreateFileForWriting(path.c_str());
  EXPECT_EQ(second->Write("0123456789", 10), 10u);
  char buffer[4];
  EXPECT_EQ(second->Read(buffer, 4), 0u);  // a write stream does not read
  second->Free();
  EXPECT_EQ(ReadWholeFile(path), "0123456789");

  Stream* reader = OpenFileForReading(path.c_str());
  EXPECT_EQ(reader->Size(), 10u);
  EXPECT_EQ(reader->Write("zz", 2), 0u);  // a read stream does not write
  reader->SetSize(2);                     // nor change the size
  EXPECT_EQ(reader->Size(), 10u);
  reader->SetPosition(6);
  EXPECT_EQ(reader->Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  reader->Free();
  DeleteFileA(path.c_str());
}

TEST(FileStream, WriteStreamSetSizeKeepsTheSmallerPosition) {
  std::string path = ScratchFile("setsize.bin");
  Stream* s = CreateFileForWriting(path.c_str());
  s->Write("0123456789", 10);
  s->SetSize(4);  // below the position: the position follows the new end
  EXPECT_EQ(s->Position(), 4u);
  EXPECT_EQ(s->Size(), 4u);
  s->SetSize(8);  // above the position: the position stays
  EXPECT_EQ(s->Position(), 4u);
  EXPECT_EQ(s->Size(), 8u);
  s->Free();
  EXPECT_EQ(ReadWholeFile(path).substr(0, 4), "0123");
  DeleteFileA(path.c_str());
}

TEST(FileStream, MissingFileGivesAnEmptyStream) {
  std::string path = ScratchFile("does-not-exist.jpg");
  Stream* s = OpenFileForReading(path.c_str());
  EXPECT_EQ(s->Handle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(s->Size(), 0u);
  char buffer[8];
  EXPECT_EQ(s->Read(buffer, sizeof(buffer)), 0u);
  EXPECT_EQ(s->Position(), 0xFFFFFFFFu);
  s->Free();

  // A file that cannot be created (its folder is missing) yields a stream that writes nothing.
  std::string bad = TempDirectory() + "no-such-folder\\out.jpg";
  Stream* w = CreateFileForWriting(bad.c_str());
  EXPECT_EQ(w->Write("abc", 3), 0u);
  w->Free();
}
