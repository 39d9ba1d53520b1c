// Memory streams (growth, truncation, seeks) and file identities over real temporary files.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

std::string Bytes(Stream* s) { return std::string(static_cast<char*>(s->Memory), s->Size()); }

// Reads stop at the end; SetSize cuts the data, pulls the position in and keeps a block at 0.
TEST(MemoryStream, ReadsWritesGrowsAndTruncates) {
  Stream* s = MakeMemoryStream();
  EXPECT_EQ(s->Write("0123456789", 10), 10u);
  char buffer[16] = {};
  EXPECT_EQ(s->Read(buffer, 4), 0u);
  s->SetPosition(7);
  EXPECT_EQ(s->Read(buffer, 16), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  s->SetPosition(2);
  s->Write("ab", 2);
  EXPECT_EQ(Bytes(s), "01ab456789");

  s->SetPosition(7);
  s->SetSize(3);
  EXPECT_EQ(Bytes(s), "01a");
  EXPECT_EQ(s->Position(), 3u);
  s->SetSize(0);
  EXPECT_EQ(s->Position(), 0u);
  EXPECT_NE(s->Memory, nullptr);
  s->Write("hello", 5);
  EXPECT_EQ(Bytes(s), "hello");
  s->Free();
}

// A seek past the end grows the stream; one before the start stops at 0, never negative.
TEST(MemoryStream, SeeksPastTheEndGrowAndNegativeSeeksStopAtTheStart) {
  Stream* s = MakeMemoryStream();
  s->Write("abcd", 4);
  EXPECT_EQ(s->Seek(10, SeekFromEnd), 14u);
  EXPECT_EQ(s->Size(), 14u);
  EXPECT_EQ(s->Seek(-4, SeekFromCurrent), 10u);
  EXPECT_EQ(s->Seek(-100, SeekFromCurrent), 0u);
  EXPECT_EQ(s->Seek(-100, SeekFromBeginning), 0u);
  s->Write("XY", 2);
  EXPECT_EQ(Bytes(s).substr(0, 4), "XYcd");
  EXPECT_EQ(s->Size(), 14u);
  s->Free();
}

}  // namespace

// One file under other names has one identity (and IsSameFile says so); another file, even
// with equal bytes, has another; a missing file has none.
TEST(FileIdentity, AFileKeepsItsIdentityUnderEveryNameAndNoOtherFileSharesIt) {
  const std::string folder = TempDirectory() + "velmora-identity\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string file = folder + "Original photo.jpg", copy = folder + "copy.jpg";
  const std::string link = folder + "linked.jpg", missing = folder + "missing.jpg";
  std::ofstream(file, std::ios::binary) << "same bytes";
  std::ofstream(copy, std::ios::binary) << "same bytes";
  ASSERT_TRUE(CreateHardLinkA(link.c_str(), file.c_str(), nullptr));
  char shortName[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA(file.c_str(), shortName, MAX_PATH), 0u);

  FileIdentity original, other;
  ASSERT_TRUE(GetFileIdentity(file, &original));
  for (const std::string& name : {link, std::string(shortName), folder + "ORIGINAL PHOTO.JPG"}) {
    ASSERT_TRUE(GetFileIdentity(name, &other)) << name;
    EXPECT_EQ(other, original) << name;
    EXPECT_TRUE(IsSameFile(file, name)) << name;
  }
  ASSERT_TRUE(GetFileIdentity(copy, &other));
  EXPECT_NE(other, original);
  EXPECT_FALSE(IsSameFile(file, copy));
  other = original;
  EXPECT_FALSE(GetFileIdentity(missing, &other));
  EXPECT_EQ(other, original) << "left as it was";
  EXPECT_FALSE(IsSameFile(missing, missing + "."));
  for (const std::string& name : {file, copy, link}) DeleteFileA(name.c_str());
  RemoveDirectoryA(folder.c_str());
}
