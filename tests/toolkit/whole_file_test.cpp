// Saving whole or not at all, on real files in a folder of their own: replaced whole, read-only
// targets refused, failing writes and unwritable places leaving nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "toolkit/stream.h"
#include "toolkit/text_utils.h"
#include "toolkit/whole_file.h"

using namespace velmora;

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

void MakeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder for one test; removed with what is in it at the end.
class Folder {
 public:
  Folder()
      : Path(TempDirectory() + "velmora-save-" + std::to_string(GetCurrentProcessId()) + "-" +
             testing::UnitTest::GetInstance()->current_test_info()->name() + "\\") {
    CreateDirectoryA(Path.c_str(), nullptr);
  }
  ~Folder() {
    for (const std::string& name : Names()) {
      SetFileAttributesA((Path + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileA((Path + name).c_str())) RemoveDirectoryA((Path + name).c_str());
    }
    RemoveDirectoryA(Path.c_str());
  }
  // Everything in the folder, files and folders.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((Path + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }
  const std::string Path;
};

using Names = std::vector<std::string>;

}  // namespace

// Catches a save that leaves the old bytes' tail, a second file beside the target, or writes
// straight into the target.
TEST(WholeFile, SaveReplacesAnExistingFileWholeAndLeavesNoOtherFile) {
  Folder folder;
  const std::string target = folder.Path + "photo.jpg";
  MakeFile(target, std::string(5000, 'o'));
  bool sawOldFile = false;
  ASSERT_TRUE(SaveWholeFile(target, [&](Stream* file) {
    // While the new bytes are written the target still holds the old ones, untouched.
    sawOldFile = FileText(target) == std::string(5000, 'o');
    return file->Write("new picture", 11) == 11;
  }));
  EXPECT_TRUE(sawOldFile);
  EXPECT_EQ(FileText(target), "new picture");
  EXPECT_EQ(folder.Names(), Names{"photo.jpg"});

  const std::string fresh = folder.Path + "fresh.jpg";
  ASSERT_TRUE(SaveWholeFile(fresh, "abc", 3));
  EXPECT_EQ(FileText(fresh), "abc");
  ASSERT_TRUE(SaveWholeFile(fresh, "", 0));  // an empty file is a file too
  EXPECT_EQ(FileText(fresh), "");
  EXPECT_EQ(folder.Names().size(), 2u);
}

// Catches a read-only file replaced (the move itself would do it under Wine), a folder taken
// for a file, and failures that leave the half-written new file behind.
TEST(WholeFile, RefusedAndFailedSavesLeaveTheTargetAsItWasAndNothingElse) {
  Folder folder;
  const std::string readOnly = folder.Path + "kept.jpg";
  MakeFile(readOnly, "old bytes");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(SaveWholeFile(readOnly, "new", 3));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FileText(readOnly), "old bytes");
  EXPECT_EQ(GetFileAttributesA(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY,
            DWORD(FILE_ATTRIBUTE_READONLY));

  const std::string sub = folder.Path + "sub";
  CreateDirectoryA(sub.c_str(), nullptr);
  EXPECT_FALSE(SaveWholeFile(sub, "new", 3));
  EXPECT_EQ(GetFileAttributesA(sub.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(SaveWholeFile(folder.Path + "missing\\x.jpg", "new", 3));
  EXPECT_FALSE(SaveWholeFile("", "new", 3));

  // A write that fails half-way, or throws, over an existing file.
  const std::string existing = folder.Path + "existing.jpg";
  MakeFile(existing, "the only copy");
  EXPECT_FALSE(SaveWholeFile(existing, [](Stream* file) {
    file->Write("half", 4);
    return false;
  }));
  EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS));
  EXPECT_THROW(SaveWholeFile(existing,
                             [](Stream* file) -> bool {
                               file->Write("half", 4);
                               throw std::bad_alloc();
                             }),
               std::bad_alloc);
  EXPECT_EQ(FileText(existing), "the only copy");

  // A target held open without leave to delete it (a mail program reading it, say).
  HANDLE held = CreateFileA(existing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(SaveWholeFile(existing, "new", 3));
  CloseHandle(held);
  EXPECT_EQ(FileText(existing), "the only copy");

  EXPECT_EQ(folder.Names(), (Names{"existing.jpg", "kept.jpg", "sub"}));
}
