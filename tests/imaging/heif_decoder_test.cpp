// HEIF photos through velmora-heif.dll, with files heif-enc made at build time
// (make-heif-pictures.sh) and heif-convert's own decodes of them as the reference.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "imaging/heif_decoder.h"
#include "test_support.h"
#include "toolkit/text_utils.h"

namespace velmora {
namespace {

using test::Bytes;

Bytes Ftyp(const std::string& brands) {  // an ftyp box of the given brands, version 0
  const size_t size = 12 + brands.size();
  const std::string box = std::string("\0\0\0", 3) + char(size) + "ftyp" + brands.substr(0, 4) +
                          std::string(4, '\0') + brands.substr(4) + std::string(16, '\0');
  return Bytes(box.begin(), box.end());  // 16 bytes of what follows the box in a file
}

// Catches HEIF files missed (brand only among the compatible ones, AVIF) and other ISO media
// files or JPEGs taken for HEIF.
TEST(HeifDecoder, RecognisesHeifFilesByTheirFtypBoxAlone) {
  for (const char* brands : {"heicmif1", "mif1heic", "isomheix", "avifmif1miaf", "msf1hevc"})
    EXPECT_TRUE(LooksLikeHeif(Ftyp(brands).data(), Ftyp(brands).size())) << brands;
  for (const char* brands : {"isommp42", "qt  ", "avifmiaf"})
    EXPECT_FALSE(LooksLikeHeif(Ftyp(brands).data(), Ftyp(brands).size())) << brands;
  Bytes cut = Ftyp("isomheic");
  cut[3] = 16;  // the box ends before its second compatible brand
  EXPECT_FALSE(LooksLikeHeif(cut.data(), cut.size()));
  Bytes jpeg = test::EncodeFlatJpeg(16, 16, 1, 2, 3);
  EXPECT_FALSE(LooksLikeHeif(jpeg.data(), jpeg.size()));
  EXPECT_FALSE(LooksLikeHeif(Ftyp("heic").data(), 12));
}

#if defined(VELMORA_HEIF_DLL) && defined(VELMORA_HEIF_DATA)

const HeifLibrary& Dll() {
  static const HeifLibrary library(VELMORA_HEIF_DLL);
  return library;
}

std::string Data(const std::string& name) { return std::string(VELMORA_HEIF_DATA) + "/" + name; }

// The decoded picture of image, read through its rows.
HeifProblem PictureOf(const HeifImage& image, BgrPicture* picture) {
  if (!picture->Allocate(int32_t(image.Facts().Width), int32_t(image.Facts().Height)))
    return HeifProblem::NoMemory;
  std::vector<uint8_t*> rows(picture->Height);
  for (int32_t y = 0; y < picture->Height; ++y) rows[y] = picture->Row(y);
  return image.ReadRows(0, image.Facts().Height, rows.data()) ? HeifProblem::None
                                                              : HeifProblem::Damaged;
}

// The file's primary image decoded upright into picture, with its details when asked for.
HeifProblem DecodeFile(const std::string& path, BgrPicture* picture,
                       PhotoDetails* details = nullptr) {
  HeifImage image(Dll());
  HeifProblem problem = image.Open(path);
  if (problem == HeifProblem::None) problem = image.Decode();
  if (problem == HeifProblem::None) problem = PictureOf(image, picture);
  if (problem == HeifProblem::None && details) *details = image.Details();
  return problem;
}

// Worst and mean sample difference between picture and the RGB PPM file.
std::pair<int, double> Difference(const BgrPicture& picture, const std::string& ppmName) {
  const Bytes ppm = test::ReadFileBytes(Data(ppmName));
  int w = 0, h = 0, used = 0;
  const std::string head(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 32));
  if (std::sscanf(head.c_str(), "P6 %d %d 255%n", &w, &h, &used) != 2 || w != picture.Width ||
      h != picture.Height || ppm.size() < used + 1 + size_t(w) * h * 3)
    return {1000, 1000};
  int worst = 0;
  double total = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) {
      const int d =
          std::abs(picture.Row(y)[x] - ppm[used + 1 + size_t(y) * w * 3 + x / 3 * 3 + 2 - x % 3]);
      worst = std::max(worst, d);
      total += d;
    }
  return {worst, total / (w * h * 3)};
}

// Catches rotation or mirroring not applied (or applied to the size only), alpha not laid on
// white, 10-bit samples read as 8, and colours converted otherwise than libheif's own tool.
TEST(HeifDecoder, DecodesUprightAsHeifConvertDoes) {
  ASSERT_TRUE(Dll().Loaded());
  struct Case {
    const char* Name;
    uint32_t Width, Height;
    bool Alpha;
    int Depth;
  };
  for (const Case& c : {Case{"plain", 150, 90, false, 8}, Case{"rotated", 90, 150, false, 8},
                        Case{"mirrored", 150, 90, false, 8}, Case{"alpha", 150, 90, true, 8},
                        Case{"deep", 150, 90, false, 10}}) {
    SCOPED_TRACE(c.Name);
    const std::string file = Data(std::string(c.Name) + ".heic");
    const HeifFacts facts = InspectHeifFile(file, Dll());
    EXPECT_TRUE(facts.Usable());
    EXPECT_EQ(std::make_pair(facts.Width, facts.Height), std::make_pair(c.Width, c.Height));
    EXPECT_EQ(facts.HasAlpha, c.Alpha);
    EXPECT_EQ(facts.BitDepth, c.Depth);
    BgrPicture picture;
    ASSERT_EQ(DecodeFile(file, &picture), HeifProblem::None);
    const auto [worst, mean] = Difference(picture, std::string(c.Name) + "-ref.ppm");
    EXPECT_LE(worst, 2);
    // 10-bit samples: libheif cuts them to 8 bits, ImageMagick rounds heif-convert's 16.
    EXPECT_LT(mean, c.Depth == 8 ? 0.5 : 1.0);
  }
  // The turn against ImageMagick's, from the drawn picture: lossy coding allows a margin.
  BgrPicture rotated;
  ASSERT_EQ(DecodeFile(Data("rotated.heic"), &rotated), HeifProblem::None);
  EXPECT_LT(Difference(rotated, "rotated-im.ppm").second, 3.0);

  // The streaming path gives the same rows as the whole picture.
  HeifImage image(Dll());
  ASSERT_EQ(image.Open(Data("rotated.heic")), HeifProblem::None);
  ASSERT_EQ(image.Decode(), HeifProblem::None);
  HeifSource source(image);
  BgrPicture streamed;
  ASSERT_TRUE(streamed.Allocate(90, 150));
  PictureSink sink(streamed);
  ASSERT_TRUE(ResampleRows(source, 90, 150, sink));
  for (int y = 0; y < 150; ++y)
    ASSERT_EQ(std::memcmp(streamed.Row(y), rotated.Row(y), 90 * 3), 0) << "row " << y;

  // A name in any script (UTF-8, as the program's texts are) reaches the file.
  const std::wstring wide = L"\x00e9t\x00e9 \x5199\x771f.heic";
  const Bytes bytes = test::ReadFileBytes(Data("rotated.heic"));
  const std::string temp = TempDirectory();  // ASCII under Wine's prefix
  const std::wstring folder(temp.begin(), temp.end());
  HANDLE file = CreateFileW((folder + wide).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  CloseHandle(file);
  const HeifFacts named =
      InspectHeifFile(temp + "\xC3\xA9t\xC3\xA9 \xE5\x86\x99\xE7\x9C\x9F.heic", Dll());
  EXPECT_TRUE(named.Usable());
  EXPECT_EQ(named.Width, 90u);
  DeleteFileW((folder + wide).c_str());
}

// Catches the photo's EXIF block or colour profile lost, and a copy told to turn pixels that
// are upright already (the file's EXIF orientation is informative; the boxes rule).
TEST(HeifDecoder, KeepsExifAndProfileAndCopiesSayUpright) {
  BgrPicture picture;
  PhotoDetails details;
  ASSERT_EQ(DecodeFile(Data("exif.heic"), &picture, &details), HeifProblem::None);
  EXPECT_EQ(std::make_pair(picture.Width, picture.Height), std::make_pair(150, 90));
  ASSERT_GT(details.Exif.size(), 6u);
  EXPECT_EQ(std::memcmp(details.Exif.data(), "Exif\0\0II*\0", 10), 0);
  EXPECT_NE(std::string(details.Exif.begin(), details.Exif.end()).find("Velmora"),
            std::string::npos);
  EXPECT_EQ(ReadExifOrientation(details.Exif.data(), details.Exif.size()), 6);
  EXPECT_EQ(details.Orientation, 1);
  const std::vector<MarkerPayload> markers = MarkersForCopy(details, 150, 90);
  ASSERT_FALSE(markers.empty());
  EXPECT_EQ(ReadExifOrientation(markers[0].Bytes.data(), markers[0].Bytes.size()), 1);
  ASSERT_EQ(details.IccProfile.size(), 132u);
  EXPECT_EQ(std::memcmp(details.IccProfile.data() + 36, "acsp", 4), 0);

  ASSERT_EQ(DecodeFile(Data("plain.heic"), &picture, &details), HeifProblem::None);
  EXPECT_TRUE(details.Exif.empty());
  EXPECT_TRUE(details.IccProfile.empty());
}

// Catches a crash, a hang or a picture made up from damaged, foreign or absurd input: each is
// refused with a named reason, before decoding where the structure tells.
TEST(HeifDecoder, DamagedForeignAndAbsurdFilesAreRefusedByName) {
  const Bytes good = test::ReadFileBytes(Data("plain.heic"));
  ASSERT_GT(good.size(), 1000u);
  auto open = [](const Bytes& bytes, HeifImage* image) {
    return image->OpenBytes(bytes.data(), bytes.size());
  };
  HeifImage image(Dll());
  EXPECT_EQ(InspectHeifFile(Data("tiny.avif"), Dll()).Problem, HeifProblem::Unsupported);
  EXPECT_EQ(InspectHeifFile(Data("missing.heic"), Dll()).Problem, HeifProblem::Unreadable);
  EXPECT_EQ(open(test::EncodeFlatJpeg(64, 64, 1, 2, 3), &image), HeifProblem::NotHeif);
  EXPECT_EQ(open(Bytes(), &image), HeifProblem::NotHeif);

  // Cut short: in the structure, refused on opening; in the coded picture, on decoding. (Cut
  // inside the ftyp box, a file is no longer known as HEIF.)
  for (size_t size : {size_t{300}, good.size() / 2, good.size() - 1}) {
    SCOPED_TRACE(size);
    const Bytes cut(good.begin(), good.begin() + size);
    HeifProblem problem = open(cut, &image);
    if (problem == HeifProblem::None) problem = image.Decode();
    EXPECT_EQ(problem, HeifProblem::Damaged);
  }

  // Sizes: more than the limit (or than libheif allows) is refused before decoding, with the
  // size told when it could be read; zero is damage.
  const size_t ispe = std::string(good.begin(), good.end()).find("ispe");
  ASSERT_NE(ispe, std::string::npos);
  for (const auto& [side, want] :
       {std::pair{0u, HeifProblem::Damaged}, std::pair{20000u, HeifProblem::TooLarge},
        std::pair{0x7FFFFFFFu, HeifProblem::TooLarge}}) {
    SCOPED_TRACE(side);
    Bytes absurd = good;
    for (int i = 0; i < 8; ++i) absurd[ispe + 8 + i] = uint8_t(side >> (24 - 8 * (i % 4)));
    HeifProblem problem = open(absurd, &image);
    if (problem == HeifProblem::None) problem = image.Decode();
    EXPECT_EQ(problem, want);
    if (side == 20000) {
      EXPECT_EQ(std::make_pair(image.Facts().Width, image.Facts().Height),
                std::make_pair(side, side));
    }
  }

  // Single flipped bytes through the boxes (the first 400 bytes, closely) and the coded
  // picture: any outcome but a crash or a hang; a picture that comes out has the promised size.
  for (size_t at = 0; at < good.size(); at += at < 400 ? 7 : 97) {
    Bytes flipped = good;
    flipped[at] ^= 0xFF;
    HeifImage one(Dll());
    if (open(flipped, &one) != HeifProblem::None || one.Decode() != HeifProblem::None) continue;
    BgrPicture picture;
    ASSERT_EQ(PictureOf(one, &picture), HeifProblem::None) << "byte " << at;
    EXPECT_EQ(uint32_t(picture.Width), one.Facts().Width);
  }
}

#ifdef VELMORA_HEIF_CORPUS
// Catches a crash or a hang on the damaged files libheif's fuzzers found (its source package's
// fuzzing/corpus): each is decoded or refused, and the intact ones among them decode.
TEST(HeifDecoder, LibheifsCollectionOfCrashingFilesIsDecodedOrRefused) {
  const std::string folder = std::string(VELMORA_HEIF_CORPUS) + "/";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*.heic").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int files = 0, refused = 0;
  do {
    SCOPED_TRACE(found.cFileName);
    BgrPicture picture;
    const HeifProblem problem = DecodeFile(folder + found.cFileName, &picture);
    ++files;
    refused += problem != HeifProblem::None;
    if (std::strncmp(found.cFileName, "colors-", 7) == 0) {
      EXPECT_EQ(problem, HeifProblem::None);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_GT(files, 20);
  EXPECT_GT(refused, 0);
}
#endif

#endif

}  // namespace
}  // namespace velmora
