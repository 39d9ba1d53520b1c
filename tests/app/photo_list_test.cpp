// The photo list without a window: the kept originals and shrunk copies within their budgets
// (copies past the budget in a private folder that goes again), the results of a Shrink, and
// the texts made of a list; and what the look at a photo file keeps and leaves out. Test files are
// made with libjpeg directly (tests/imaging/test_support.h), in a folder of the test's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/photo_list.h"
#include "app/wording.h"
#include "imaging/photo_file.h"
#include "imaging/exif_samples.h"
#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "imaging/test_support.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using test::Bytes;

namespace {

Bytes PhotoBytes(int w, int h) {
  return test::EncodeJpeg(w, h, 3,
                          [](int x, int y, int c) { return uint8_t((x * 7 + y * 3) * (c + 1)); });
}

// The picture with `count` comment segments of 60,000 bytes after its start: its frame header
// lies that far into the file.
Bytes WithLongHead(const Bytes& picture, int count) {
  Bytes file = {0xFF, 0xD8};
  for (int i = 0; i < count; ++i) {
    const uint16_t length = 60000;
    file.insert(file.end(), {0xFF, 0xFE, uint8_t(length >> 8), uint8_t(length & 255)});
    file.insert(file.end(), length - 2, 'c');
  }
  file.insert(file.end(), picture.begin() + 2, picture.end());
  return file;
}

// A shrunk copy of bytes at percent, as the batch shrinker hands it over.
BatchResult ShrunkResult(size_t index, const Bytes& bytes, int32_t percent) {
  BatchResult result;
  result.Index = index;
  result.OriginalBytes = static_cast<uint32_t>(bytes.size());
  ShrinkReport report;
  result.Copy = MakeMemoryStream();
  EXPECT_TRUE(ShrinkJpegBytes(bytes.data(), bytes.size(), percent, result.Copy, report));
  result.ShrunkBytes = report.Bytes;
  result.ShrunkWidth = static_cast<uint32_t>(report.Width);
  result.ShrunkHeight = static_cast<uint32_t>(report.Height);
  return result;
}

Bytes BytesOf(JpegImage* picture) {
  return picture && picture->Data->Compressed ? test::BytesOf(picture->Data->Compressed) : Bytes();
}

std::vector<Photo> Checked(const std::vector<std::string>& paths) {
  std::vector<Photo> photos;
  for (const std::string& path : paths)
    photos.push_back({path, InspectPhotoFile(path), ShrinkState::Waiting, 0, 0, 0, {}});
  return photos;
}

// Catches a usable photo left out (a turned one, one whose header lies far in, a damaged one
// whose damage only a decode finds), a file kept that no decode could use, and one that cannot
// be read counted as readable. (Files that are no JPEG, 12-bit or too large: the end-to-end
// bad-input run.)
TEST(InspectPhotoFile, KeepsWhatCanBeDecodedAndGivesTheReasonForWhatItLeavesOut) {
  test::TempFolder folder("check");
  const Bytes plain = PhotoBytes(64, 48);
  const Bytes cut(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(plain.size() * 2 / 3));
  const PictureProblem none = PictureProblem::None, notJpeg = PictureProblem::NotJpeg;
  const struct {
    std::string Name;
    Bytes Content;
    PictureProblem Problem;
    uint32_t Width, Height;  // upright
  } cases[] = {
      {"plain.jpg", plain, none, 64, 48},
      {"turned.jpg", test::WithExif(plain, test::MakePhotoExif(false, 6).Block), none, 48, 64},
      {"far header.jpg", WithLongHead(plain, 6), none, 64, 48},
      {"cut.jpg", cut, none, 64, 48},
      {"small.jpg", test::PaddedTo({0xFF, 0xD8, 0xFF, 0xD9}, 450), notJpeg, 0, 0},
      {"empty.jpg", {}, notJpeg, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const PhotoFacts facts = InspectPhotoFile(folder.Write(c.Name, c.Content));
    EXPECT_TRUE(facts.Readable);
    EXPECT_EQ(facts.Problem, c.Problem);
    EXPECT_EQ(facts.FileBytes, c.Content.size());
    if (c.Problem == none || c.Problem == PictureProblem::TooLarge) {
      EXPECT_EQ(std::vector<uint32_t>({facts.UprightWidth, facts.UprightHeight}),
                std::vector<uint32_t>({c.Width, c.Height}));
    }
  }
  EXPECT_FALSE(InspectPhotoFile(folder.Path + "missing.jpg").Readable);
  EXPECT_FALSE(InspectPhotoFile(folder.Path).Readable) << "a folder";
  // A file another program holds without sharing cannot be read.
  const std::string held = folder.Write("held.jpg", plain);
  HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(InspectPhotoFile(held).Readable);
  CloseHandle(holder);
  EXPECT_TRUE(InspectPhotoFile(held).Usable());
}

// Catches kept bytes growing past their budget, the wrong ones dropped (not the least recently
// used), and a photo no longer shown once its bytes were dropped or its file has gone.
TEST(PhotoList, KeptBytesStayWithinTheirBudgetAndPhotosStillLoad) {
  test::TempFolder folder("bytes");
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i)
    paths.push_back(folder.Write(std::to_string(i) + ".jpg", PhotoBytes(96 + i, 64)));
  const uint64_t size = std::filesystem::file_size(paths[0]);
  PhotoList list;
  list.BytesBudget = size * 5 / 2;  // room for two
  list.Assign(Checked(paths));
  ASSERT_EQ(list.Count(), 4u);
  auto width = [&](size_t i) {
    JpegImage* picture = list.Original(i);
    return picture ? picture->Width() : 0u;
  };
  EXPECT_EQ(width(0), 96u);
  EXPECT_EQ(width(1), 97u);
  EXPECT_EQ(width(0), 96u);  // 0 is now the most recent
  EXPECT_EQ(width(2), 98u);  // 1 goes
  EXPECT_LE(list.KeptBytes(), list.BytesBudget);
  EXPECT_GE(list.KeptBytes(), 2 * size);
  // 0 and 2 are kept: they load with their files gone; 1 is not, and loads empty.
  for (const std::string& path : paths) DeleteFileA(path.c_str());
  EXPECT_EQ(width(0), 96u);
  EXPECT_EQ(width(2), 98u);
  EXPECT_EQ(width(1), 0u);
  EXPECT_EQ(width(9), 0u) << "no such photo";

  // A photo larger than the whole budget is kept alone while it is the one asked for.
  const std::string large = folder.Write("large.jpg", PhotoBytes(400, 300));
  const std::string small = folder.Write("small.jpg", PhotoBytes(40, 30));
  list.Assign(Checked({small, large}));
  list.BytesBudget = 1000;
  EXPECT_EQ(width(0), 40u);
  EXPECT_EQ(width(1), 400u);
  EXPECT_EQ(list.KeptBytes(), std::filesystem::file_size(large));
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

// Catches a result stored at the wrong photo, a failure without its reason, a result for no
// photo kept instead of freed, and copies freed twice or never.
TEST(PhotoList, ResultsOfAShrinkMakeEachPhotoDoneOrFailedWithItsReason) {
  test::TempFolder folder("results");
  const Bytes bytes = PhotoBytes(200, 100);
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) paths.push_back(folder.Write(std::to_string(i) + ".jpg", bytes));
  PhotoList list;
  list.Assign(Checked(paths));
  test::FreeCount frees;
  BatchResult done = ShrunkResult(2, bytes, 30);
  frees.Watch(done.Copy);
  list.TakeResult(done);
  BatchResult unreadable;
  unreadable.Index = 0;
  unreadable.Unreadable = true;
  list.TakeResult(unreadable);
  BatchResult damaged;
  damaged.Index = 1;
  damaged.Problem = PictureProblem::Damaged;
  list.TakeResult(damaged);
  BatchResult elsewhere = ShrunkResult(7, bytes, 30);
  frees.Watch(elsewhere.Copy);
  list.TakeResult(elsewhere);
  EXPECT_EQ(frees.Count, 1) << "a result for no photo is freed";

  EXPECT_EQ(list.At(2).State, ShrinkState::Done);
  EXPECT_EQ(std::vector<uint32_t>(
                {list.At(2).ShrunkWidth, list.At(2).ShrunkHeight, list.At(2).ShrunkBytes}),
            std::vector<uint32_t>({60, 30, done.ShrunkBytes}));
  ASSERT_NE(list.Shrunk(2), nullptr);
  EXPECT_EQ(list.Shrunk(2)->Data->Compressed, done.Copy);  // the copy's bytes, not a copy of them
  EXPECT_EQ(list.At(0).Failure, UnreadableReason);
  EXPECT_EQ(list.At(1).Failure, ProblemText(PictureProblem::Damaged));
  EXPECT_EQ(list.At(3).State, ShrinkState::Waiting);
  EXPECT_EQ(list.Shrunk(0), nullptr);
  EXPECT_EQ(list.Shrunk(3), nullptr);
  EXPECT_EQ(std::vector<size_t>({list.CountIn(ShrinkState::Done), list.CountIn(ShrinkState::Failed),
                                 list.CountIn(ShrinkState::Waiting)}),
            std::vector<size_t>({1, 2, 1}));
  EXPECT_EQ(list.DoneOriginalBytes(), bytes.size());
  EXPECT_EQ(list.DoneShrunkBytes(), done.ShrunkBytes);
  list.MarkFailed(3, "is too small");
  EXPECT_EQ(list.At(3).State, ShrinkState::Failed);

  // A second result for a photo replaces the first, which is freed.
  BatchResult again = ShrunkResult(2, bytes, 50);
  list.TakeResult(again);
  EXPECT_EQ(frees.Count, 2);
  EXPECT_EQ(list.At(2).ShrunkWidth, 100u);
  // Starting over frees every copy; so does clearing the list.
  frees.Watch(again.Copy);
  list.ForgetShrunk();
  EXPECT_EQ(frees.Count, 3);
  EXPECT_EQ(list.CountIn(ShrinkState::Waiting), 4u);
  EXPECT_EQ(list.Shrunk(2), nullptr);
  BatchResult last = ShrunkResult(1, bytes, 30);
  frees.Watch(last.Copy);
  list.TakeResult(last);
  list.Clear();
  EXPECT_EQ(frees.Count, 4);
}

// Catches copies past the budget kept in memory, a copy read back wrong or kept beside every
// other read-back one, a written file that differs from the copy, and the private folder or its
// files left behind.
TEST(PhotoList, CopiesPastTheBudgetGoToAPrivateFolderAndComeBackWhole) {
  test::TempFolder folder("copies");
  std::vector<Bytes> originals;
  std::vector<std::string> paths;
  for (int i = 0; i < 5; ++i) {
    originals.push_back(PhotoBytes(300 + 10 * i, 200));
    paths.push_back(folder.Write(std::to_string(i) + ".jpg", originals.back()));
  }
  std::vector<Bytes> expected;
  std::string copyFolder;
  {
    PhotoList list;
    list.Assign(Checked(paths));
    for (size_t i = 0; i < 5; ++i) {
      BatchResult result = ShrunkResult(i, originals[i], 100);
      expected.push_back(test::BytesOf(result.Copy));
      if (i == 0) list.ShrunkBudget = result.ShrunkBytes * 5 / 2;  // room for two
      list.TakeResult(result);
    }
    EXPECT_LE(list.ShrunkInMemory(), list.ShrunkBudget);
    copyFolder = list.CopyFolder();
    ASSERT_FALSE(copyFolder.empty());
    EXPECT_EQ(copyFolder.rfind(TempDirectory(), 0), 0u) << copyFolder;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(copyFolder),
                            std::filesystem::directory_iterator()),
              3);
    // Each copy comes back whole; one read back at a time.
    for (size_t i = 0; i < 5; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(BytesOf(list.Shrunk(i)), expected[i]);
      EXPECT_LE(list.ShrunkInMemory(), list.ShrunkBudget + expected[i].size());
      const std::string saved = folder.Path + "saved " + std::to_string(i) + ".jpg";
      ASSERT_TRUE(list.WriteShrunk(i, saved));
      EXPECT_EQ(test::ReadFileBytes(saved), expected[i]);
    }
    // A copy whose file has gone (and is not the one read back) cannot be saved; nothing is
    // written then.
    const std::string lost = copyFolder + "2.jpg";
    ASSERT_TRUE(DeleteFileA(lost.c_str())) << lost;
    EXPECT_FALSE(list.WriteShrunk(2, folder.Path + "never.jpg"));
    EXPECT_FALSE(std::filesystem::exists(folder.Path + "never.jpg"));
    // Starting over deletes the copies and the folder.
    list.ForgetShrunk();
    EXPECT_FALSE(std::filesystem::exists(copyFolder));
    EXPECT_EQ(list.CopyFolder(), "");
    for (size_t i = 0; i < 3; ++i) list.TakeResult(ShrunkResult(i, originals[i], 100));
    copyFolder = list.CopyFolder();
    EXPECT_TRUE(std::filesystem::exists(copyFolder));
  }
  EXPECT_FALSE(std::filesystem::exists(copyFolder)) << "the list took its folder with it";
}

// Catches rounding instead of truncation, a leading zero, or a lost digit in the size line.
TEST(SizeText, KilobytesAndHundredthsWithoutLeadingZero) {
  EXPECT_EQ(FormatSizeText(1600, 1200, 524788), "Size: 1600x1200 , 512.48 Kb");
  EXPECT_EQ(FormatSizeText(480, 360, 2560), "Size: 480x360 , 2.50 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1075), "Size: 1x1 , 1.4 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1024), "Size: 1x1 , 1.0 Kb");
  EXPECT_EQ(FormatSizeText(1, 1, 1023), "Size: 1x1 , 0.99 Kb");
  EXPECT_EQ(FormatSizeText(7, 9, 0xFFFFFFFFu), "Size: 7x9 , 4194303.99 Kb");
}

// Catches megabytes rounded the wrong way and the mail limit applied off by one (the end-to-end
// runs read the total line itself).
TEST(Texts, TheTotalLineCountsMegabytesAndSaysWhenAMailWouldBeTooLarge) {
  EXPECT_EQ(FormatBatchTotal(1, 1048576, 1048575), "1 photo: 1.0 MB to 1024 Kb");
  EXPECT_EQ(MegabyteText(5'000'000'000ull), "4768.4 MB");
  EXPECT_EQ(TotalText(6, 7, 25'480'396, 2'202'010, MailSizeLimit),
            "6 of 7 photos: 24.3 MB to 2.1 MB");
  EXPECT_NE(TotalText(3, 3, 60'000'000, 19'000'000, MailSizeLimit + 1).find("too large"),
            std::string::npos);
  EXPECT_EQ(ListMessage("Head:", {"a.", "b.", "c."}, 2), "Head:\na.\nb.\n... and 1 more.");
}

// Catches a subject past 200 characters, one cut without its dots, short ones touched, and names
// made unique only in their own letter case or with the number after the extension.
TEST(Texts, TheSubjectIsCutAt200AndNamesAreMadeUniqueBeforeTheirExtension) {
  // (A subject cut with its dots, also inside a character: names_test.)
  const std::string exact(MailSubjectMost, 'x');
  EXPECT_EQ(MailSubject({exact}), exact);

  EXPECT_EQ(UniqueFileNames({"C:\\a\\x.jpg", "C:\\b\\X.JPG", "C:\\c\\x.jpg", "C:\\d\\x (2).jpg",
                             "C:\\e\\notes", "C:\\f\\notes", "C:\\g\\.profile", "C:\\h\\.profile"}),
            std::vector<std::string>({"x.jpg", "X (2).JPG", "x (3).jpg", "x (2) (2).jpg", "notes",
                                      "notes (2)", ".profile", ".profile (2)"}));
  // A HEIF photo's copy is a JPEG named NAME.jpg, which may meet a JPEG photo's name.
  EXPECT_EQ(
      UniqueFileNames({"C:\\a\\IMG_1.HEIC", "C:\\b\\img_1.jpg", "C:\\c\\v.heif", "C:\\d\\w.Hif",
                       "C:\\e\\x.heic.txt"}),
      std::vector<std::string>({"IMG_1.jpg", "img_1 (2).jpg", "v.jpg", "w.jpg", "x.heic.txt"}));
}

}  // namespace
