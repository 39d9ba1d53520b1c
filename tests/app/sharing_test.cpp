// The clean-up at start of the copies handed out without mail: only Velmora's own old copies
// folders go. (What the copies are and where they go is seen from outside: e2e/sharing_test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/sharing.h"
#include "imaging/test_support.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

// Old folders of Velmora's own go, with their files; a recent one, one of another name and a
// file of such a name stay.
TEST(Sharing, OnlyVelmorasOwnOldCopiesFoldersAreRemoved) {
  test::TempFolder temp("sharing");
  const std::string old1 = "Velmora copies 20261101-101010-0001",
                    old2 = "Velmora copies 20200101-000000-9999";
  const std::string recent = NewCopiesFolder(temp.Path);
  ASSERT_FALSE(recent.empty());
  const std::string others[] = {"Velmora copies old", "Velmora copies 20261101-101010-00012",
                                "My Velmora copies 20261101-101010-0001"};
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  auto age = [&](const std::string& name, uint64_t days) {
    const std::string path = temp.Path + name;
    CreateDirectoryA(path.c_str(), nullptr);
    std::ofstream(path + "\\photo.jpg") << "x";
    const uint64_t t =
        ((uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) - days * 24 * 3600 * 10000000ull);
    const FILETIME then = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_TRUE(SetFileTime(h, &then, &then, &then)) << name;
    CloseHandle(h);
  };
  age(old1, 8);
  age(old2, 30);
  const std::string recentName =
      recent.substr(temp.Path.size(), recent.size() - temp.Path.size() - 1);
  EXPECT_TRUE(IsCopiesFolderName(recentName)) << recentName;
  age(recentName, 6);
  for (const std::string& name : others) age(name, 30);
  std::ofstream(temp.Path + "Velmora copies 20261101-101010-0002") << "a file, not a folder";
  EXPECT_EQ(RemoveOldCopiesFolders(temp.Path), 2);
  EXPECT_FALSE(std::filesystem::exists(temp.Path + old1));
  EXPECT_FALSE(std::filesystem::exists(temp.Path + old2));
  EXPECT_TRUE(std::filesystem::exists(recent + "photo.jpg"));
  for (const std::string& name : others)
    EXPECT_TRUE(std::filesystem::exists(temp.Path + name + "\\photo.jpg")) << name;
  EXPECT_TRUE(std::filesystem::exists(temp.Path + "Velmora copies 20261101-101010-0002"));
}

}  // namespace
