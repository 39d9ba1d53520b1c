// The copies handed out without mail: written into a folder of Velmora's own whose bytes the
// clipboard's reader finds again (one copy also as a picture of the copy's size), and the
// clean-up at start that removes only Velmora's old copies folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/photo_list.h"
#include "app/sharing.h"
#include "imaging/jpeg_image.h"
#include "imaging/photo_file.h"
#include "imaging/shrink.h"
#include "imaging/test_support.h"
#include "standins/paste_probe_run.h"
#include "toolkit/form.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

struct OwnTemp {  // a temporary folder of the test's own, standing for the system's
  std::string Path = TempDirectory() + "velmora-sharing-" + std::to_string(GetTickCount()) + "\\";
  OwnTemp() { CreateDirectoryA(Path.c_str(), nullptr); }
  ~OwnTemp() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A photo of the list made Done with its copy shrunk at 50%.
void ShrinkPhoto(PhotoList& list, size_t index, const test::Bytes& bytes) {
  BatchResult result;
  result.Index = index;
  result.Copy = MakeMemoryStream();
  ShrinkReport report;
  ASSERT_TRUE(ShrinkJpegBytes(bytes.data(), bytes.size(), 50, result.Copy, report));
  result.ShrunkBytes = report.Bytes;
  result.ShrunkWidth = static_cast<uint32_t>(report.Width);
  result.ShrunkHeight = static_cast<uint32_t>(report.Height);
  list.TakeResult(result);
}

TEST(Sharing, ClipboardHoldsTheCopiesFilesAndOneCopysPicture) {
  OwnTemp temp;
  const test::Bytes bytes =
      test::EncodeJpeg(120, 80, 3, [](int x, int y, int c) { return uint8_t(x * 2 + y + c * 40); });
  std::vector<Photo> photos;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    std::ofstream(temp.Path + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    photos.push_back(
        {temp.Path + name, InspectPhotoFile(temp.Path + name), ShrinkState::Waiting, 0, 0, 0, {}});
  }
  PhotoList list;
  list.Assign(photos);
  EXPECT_EQ(WriteSharedCopies(list, temp.Path).Problem, "No photo has a shrunk copy yet.");
  ShrinkPhoto(list, 1, bytes);
  Control* form = MakeForm(nullptr, "sharing");
  const std::string log = temp.Path + "probe.txt";
  const SharedCopies one = WriteSharedCopies(list, temp.Path);
  ASSERT_TRUE(one.Ready()) << one.Problem;
  EXPECT_TRUE(IsCopiesFolderName(
      one.Folder.substr(temp.Path.size(), one.Folder.size() - temp.Path.size() - 1)));
  ASSERT_TRUE(CopyToClipboard(form, one));
  EXPECT_EQ(standins::FinishPasteProbe(standins::StartPasteProbe("clipboard", log, "picture"), log),
            std::vector<std::string>({"file=" + one.Folder + "b.jpg", "effect=1",
                                      "picture=" + std::to_string(list.At(1).ShrunkWidth) + "x" +
                                          std::to_string(list.At(1).ShrunkHeight) + "x24"}));
  ShrinkPhoto(list, 2, bytes);
  const SharedCopies two = WriteSharedCopies(list, temp.Path);
  ASSERT_TRUE(two.Ready()) << two.Problem;
  EXPECT_NE(two.Folder, one.Folder);
  ASSERT_TRUE(CopyToClipboard(form, two));
  const auto record =
      standins::FinishPasteProbe(standins::StartPasteProbe("clipboard", log, "picture"), log);
  ASSERT_EQ(record,
            std::vector<std::string>({"file=" + two.Folder + "b.jpg",
                                      "file=" + two.Folder + "c.jpg", "effect=1", "picture=none"}));
  for (size_t i = 0; i < 2; ++i) {
    const std::string copy = Contents(two.Paths[i]);
    JpegImage* shrunk = list.Shrunk(i + 1);
    ASSERT_NE(shrunk, nullptr);
    const test::Bytes bytes = test::BytesOf(shrunk->Data->Compressed);
    EXPECT_EQ(copy, std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(copy, Contents(one.Folder + "b.jpg"));
  }
  form->Free();
}

// Old folders of Velmora's own go, with their files; a recent one, one of another name and a
// file of such a name stay.
TEST(Sharing, OnlyVelmorasOwnOldCopiesFoldersAreRemoved) {
  OwnTemp temp;
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
  age(recent.substr(temp.Path.size(), recent.size() - temp.Path.size() - 1), 6);
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
