// Photo details: EXIF orientation and rewriting in both byte orders, damaged EXIF blocks, and ICC
// profile chunks.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <random>

#include "exif_samples.h"
#include "imaging/photo_metadata.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;
using test::ExifReader;

namespace {

bool Contains(const Bytes& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

Bytes Rewrite(const Bytes& block, uint32_t w, uint32_t h) {
  test::GuardedCopy copy(block);
  return RewriteExifForCopy(copy.Data, copy.Size, w, h);
}

int Orientation(const Bytes& block) {
  test::GuardedCopy copy(block);
  return ReadExifOrientation(copy.Data, copy.Size);
}

// What a rewritten block must be whatever its source: parseable by a plain reader, stable
// when rewritten again, orientation 1, and without location, maker note or thumbnail.
void ExpectCleanCopy(const Bytes& copy, uint32_t w, uint32_t h) {
  ASSERT_FALSE(copy.empty());
  EXPECT_LE(copy.size(), MaxMarkerPayload);
  EXPECT_EQ(Rewrite(copy, w, h), copy);
  EXPECT_EQ(ReadExifOrientation(copy.data(), copy.size()), 1);
  for (const std::string& secret : {test::SecretPlace, test::SecretNote, test::ThumbnailBytes})
    EXPECT_FALSE(Contains(copy, secret)) << secret;
  ExifReader r(copy);
  uint32_t ifd0 = r.Ifd0();
  EXPECT_EQ(r.NextOf(ifd0), 0u) << "no IFD1";
  EXPECT_EQ(r.Find(ifd0, 0x8825), 0u) << "no GPS link";
  std::vector<uint16_t> tags = r.Tags(ifd0);
  EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
  if (uint32_t link = r.Find(ifd0, 0x8769)) {
    uint32_t exif = r.Number(link);
    EXPECT_EQ(r.Find(exif, 0x927C), 0u) << "no maker note";
    EXPECT_EQ(r.Number(r.Find(exif, 0xA002)), w);
    EXPECT_EQ(r.Number(r.Find(exif, 0xA003)), h);
  }
}

Bytes Profile(size_t size, uint32_t seed) {
  Bytes p(size);
  std::mt19937 random(seed);
  for (uint8_t& b : p) b = static_cast<uint8_t>(random());
  return p;
}

Bytes IccChunk(uint8_t sequence, uint8_t count, const std::string& body) {
  std::string head("ICC_PROFILE\0", 12);
  std::string all = head + char(sequence) + char(count) + body;
  return Bytes(all.begin(), all.end());
}

}  // namespace

// Catches details lost in the copy, stale sizes or orientation, location, maker note or
// thumbnail bytes left anywhere, wrong offsets in the rebuilt structure, a changed byte order.
TEST(PhotoMetadata, RewrittenExifKeepsTheDetailsWithTheNewSizeAndDropsLocationAndThumbnail) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    test::PhotoExif photo = test::MakePhotoExif(big);
    ASSERT_TRUE(Contains(photo.Block, test::SecretPlace) &&
                Contains(photo.Block, test::SecretNote));
    EXPECT_EQ(Orientation(photo.Block), 6);

    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{1200, 900}, {70000, 3}}) {
      Bytes copy = Rewrite(photo.Block, w, h);
      ExpectCleanCopy(copy, w, h);
      ASSERT_FALSE(copy.empty());
      EXPECT_EQ(copy[6], big ? 'M' : 'I');
      ExifReader r(copy), source(photo.Block);
      uint32_t ifd0 = r.Ifd0(), exif = r.Number(r.Find(ifd0, 0x8769));
      uint32_t sourceIfd0 = photo.Dirs[0], sourceExif = photo.Dirs[1];
      for (uint16_t tag : {0x010F, 0x0110, 0x011A, 0x0128, 0x0132})  // make, model, date...
        EXPECT_EQ(r.Text(ifd0, tag), source.Text(sourceIfd0, tag)) << std::hex << tag;
      for (uint16_t tag : {0x829A, 0x829D, 0x8827, 0x9003, 0xA434})  // exposure, lens...
        EXPECT_EQ(r.Text(exif, tag), source.Text(sourceExif, tag)) << std::hex << tag;
      EXPECT_EQ(r.Number(r.Find(ifd0, 0x0112)), 1u);
      EXPECT_EQ(r.Type(r.Find(exif, 0xA002)), w > 0xFFFF ? 4u : 3u);
      uint32_t interop = r.Number(r.Find(exif, 0xA005));
      EXPECT_EQ(r.Text(interop, 0x0001), std::string("R98", 4));
    }
  }

  // An Exif IFD without pixel dimensions gets them; a block without orientation gets none.
  test::ExifBuilder b(false);
  std::vector<test::ExifDir> dirs(2);
  dirs[0].Fields = {b.Text(0x010F, "Maker"), b.LinkTo(0x8769, 1)};
  dirs[1].Fields = {b.Text(0x9003, "2020:01:02 03:04:05")};
  Bytes copy = Rewrite(b.Build(dirs), 640, 480);
  ExpectCleanCopy(copy, 640, 480);
  ExifReader r(copy);
  EXPECT_EQ(r.Find(r.Ifd0(), 0x0112), 0u);

  // A block that would no longer fit into one marker is refused rather than cut.
  dirs[1].Fields.push_back(b.Raw(0x9286, Bytes(65533 - b.Build(dirs).size() - 12, 'c')));
  Bytes full = b.Build(dirs);
  ASSERT_EQ(full.size(), 65533u);
  EXPECT_TRUE(Rewrite(full, 640, 480).empty());
}

// Catches reads past the block's end (the copy ends at a page that may not be touched), hangs
// on looping links, overflowing counts, and damaged blocks giving anything but orientation 1
// or a clean copy.
TEST(PhotoMetadata, DamagedExifBlocksGiveOrientation1AndACleanCopyOrNone) {
  const std::pair<std::string, int> expected[] = {{"IFD0 past the end", 1},
                                                  {"IFD0 chain loops to itself", 6},
                                                  {"Exif IFD is IFD0", 6},
                                                  {"orientation count huge", 1},
                                                  {"orientation type unknown", 1},
                                                  {"orientation out of range", 1},
                                                  {"IFD0 entry count huge", 1},
                                                  {"byte order unknown", 1},
                                                  {"not EXIF", 1}};
  const std::vector<std::string> noCopy = {"IFD0 past the end",     "Exif IFD is IFD0",
                                           "Exif IFD past the end", "Exif entry count huge",
                                           "IFD0 entry count huge", "magic number wrong"};
  const std::vector<std::string> copied = {"IFD0 chain loops to itself", "IFD1 chain loops to IFD0",
                                           "interop is the Exif IFD",    "make's text past the end",
                                           "GPS IFD past the end",       "orientation count huge"};
  auto listed = [](const std::vector<std::string>& list, const std::string& what) {
    return std::find(list.begin(), list.end(), what) != list.end();
  };
  for (const auto& [name, block] : test::DamagedExifBlocks()) {
    SCOPED_TRACE(name);
    const std::string what = name.substr(3);
    int orientation = Orientation(block);
    Bytes copy = Rewrite(block, 320, 240);
    if (!copy.empty()) ExpectCleanCopy(copy, 320, 240);
    EXPECT_TRUE(orientation == 1 || orientation == 6);
    for (const auto& [n, o] : expected) EXPECT_TRUE(what != n || orientation == o) << orientation;
    if (name.find("cut to ") != std::string::npos) {
      // Orientation needs IFD0's whole table; a copy needs the Exif IFD's whole table too.
      test::PhotoExif photo = test::MakePhotoExif(name[0] == 'M');
      size_t n = std::stoul(name.substr(name.rfind(' ') + 1));
      EXPECT_EQ(orientation, n >= 6 + photo.Dirs[0] + 2 + 12 * 8 ? 6 : 1);
      EXPECT_EQ(!copy.empty(), n >= 6 + photo.Dirs[1] + 2 + 12 * 9);
    }
    EXPECT_TRUE(copy.empty() || !listed(noCopy, what));
    if (listed(copied, what)) {
      ASSERT_FALSE(copy.empty());
      ExifReader r(copy);
      // A damaged entry alone is left out; the rest stays.
      EXPECT_EQ(r.Text(r.Ifd0(), 0x010F) == "<none>", what == "make's text past the end");
      EXPECT_EQ(r.Text(r.Ifd0(), 0x0110), std::string("VT-1 Mark II", 13));
      uint32_t exif = r.Number(r.Find(r.Ifd0(), 0x8769));
      EXPECT_EQ(r.Find(exif, 0xA005) == 0, what == "interop is the Exif IFD");
    }
  }
  EXPECT_TRUE(Rewrite({}, 1, 1).empty());
  EXPECT_EQ(ReadExifOrientation(nullptr, 0), 1);
}

// Catches chunks cut at the wrong size, numbered wrongly, or joined in file order instead of
// their numbers' order; other APP2 kinds mixed in must not count.
TEST(PhotoMetadata, MultiChunkIccProfileSplitsAndReassemblesByteForByte) {
  Bytes profile = Profile(2 * IccChunkMaxProfileBytes + 1000, 7);
  std::vector<Bytes> chunks = SplitIccProfile(profile);
  ASSERT_EQ(chunks.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(chunks[i].size(), IccChunkHeaderSize + (i < 2 ? IccChunkMaxProfileBytes : 1000));
    EXPECT_EQ(std::make_pair(int(chunks[i][12]), int(chunks[i][13])),
              std::make_pair(int(i) + 1, 3));
  }
  EXPECT_EQ(AssembleIccProfile(chunks), profile);
  std::vector<Bytes> shuffled = {chunks[2], {'F', 'P', 'X', 'R', 0, 0, 1}, chunks[0], chunks[1]};
  EXPECT_EQ(AssembleIccProfile(shuffled), profile);

  Bytes exact = Profile(IccChunkMaxProfileBytes, 8);
  ASSERT_EQ(SplitIccProfile(exact).size(), 1u);
  EXPECT_EQ(AssembleIccProfile(SplitIccProfile(exact)), exact);
  EXPECT_TRUE(SplitIccProfile({}).empty());
  EXPECT_EQ(SplitIccProfile(Bytes(255 * IccChunkMaxProfileBytes)).size(), 255u);
  EXPECT_TRUE(SplitIccProfile(Bytes(255 * IccChunkMaxProfileBytes + 1)).empty());
}

// Catches a profile put together from chunks that do not make one whole.
TEST(PhotoMetadata, IccChunksWithBrokenNumberingAreRefused) {
  const Bytes a = IccChunk(1, 2, "first"), b = IccChunk(2, 2, "second");
  ASSERT_EQ(AssembleIccProfile({b, a}),
            Bytes({'f', 'i', 'r', 's', 't', 's', 'e', 'c', 'o', 'n', 'd'}));
  const std::vector<std::pair<std::string, std::vector<Bytes>>> broken = {
      {"none", {}},
      {"only another APP2 kind", {{'F', 'P', 'X', 'R', 0}}},
      {"missing", {a}},
      {"duplicate", {a, a, b}},
      {"counts differ", {a, IccChunk(2, 3, "x"), IccChunk(3, 3, "y")}},
      {"number 0", {IccChunk(0, 2, "x"), a, b}},
      {"number past the count", {a, b, IccChunk(3, 2, "x")}},
      {"count 0", {IccChunk(1, 0, "x")}},
  };
  for (const auto& [name, chunks] : broken) EXPECT_TRUE(AssembleIccProfile(chunks).empty()) << name;
}
