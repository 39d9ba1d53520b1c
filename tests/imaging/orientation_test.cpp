// Photos as cameras store them, through the program's own path: every EXIF orientation shown
// and shrunk upright, and the shrunk copy keeping the profile and the details but not the
// location.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "exif_samples.h"
#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "imaging/preview.h"
#include "imaging/shrink_picture.h"
#include "test_support.h"
#include "toolkit/bitmap.h"

using namespace velmora;
using test::Bytes;

namespace {

std::vector<MarkerPayload> MarkersOfFile(const Bytes& file) {
  JpegRowReader reader;
  EXPECT_TRUE(reader.Open(file.data(), file.size(), true));
  return reader.Markers();
}

bool Contains(const Bytes& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

}  // namespace

// Catches a picture shown or shrunk on its side or mirrored, a size line with the stored
// sides, and a copy that still says to turn it (it would be turned twice).
TEST(Orientation, EachOfTheEightOrientationsIsShownAndShrunkUpright) {
#ifndef VELMORA_TEST_DATA
  GTEST_SKIP() << "ImageMagick's convert was not found at configure time";
#else
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(testing::Message() << "orientation " << n);
    const std::string folder = std::string(VELMORA_TEST_DATA) + "/orientation/";
    Bytes stored = test::ReadFileBytes(folder + "oriented-" + std::to_string(n) + ".jpg");
    Bytes ppm = test::ReadFileBytes(folder + "upright-" + std::to_string(n) + ".ppm");
    int w = 0, h = 0, used = 0;
    ASSERT_EQ(std::sscanf(std::string(ppm.begin(), ppm.begin() + 32).c_str(), "P6 %d %d 255%n", &w,
                          &h, &used),
              2);
    auto expected = [&](int x, int y, int c) {  // ImageMagick's upright view, blue first
      return ppm[used + 1 + (size_t(y) * w + x) * 3 + (2 - c)];
    };
    // (Grown past the size under which data counts as no picture.)
    JpegImage* image =
        test::Loaded(test::PaddedTo(stored, std::max<size_t>(stored.size() + 4, 600)));
    EXPECT_EQ(std::make_pair(image->UprightWidth(), image->UprightHeight()),
              std::make_pair(uint32_t(w), uint32_t(h)));

    PanePreview preview;
    ASSERT_TRUE(preview.Fit(image, w, h));
    int worst = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          worst =
              std::max(worst, std::abs(preview.Copy->RowAddress(y)[3 * x + c] - expected(x, y, c)));
    EXPECT_LE(worst, 3);

    uint32_t count = 0;
    JpegImage* shrunk = ShrinkPicture(image, 100, &count);
    ASSERT_NE(shrunk, nullptr);
    Bytes copy = test::WrittenBytes(shrunk);
    EXPECT_EQ(CollectPhotoDetails(MarkersOfFile(copy)).Orientation, 1);
    test::Decoded back = test::DecodeReference(copy);
    ASSERT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(w, h));
    double total = 0;  // the copy is a JPEG of its own: compare on average
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) total += std::abs(back.At(x, y, 2 - c) - expected(x, y, c));
    EXPECT_LT(total / (w * h * 3), 8.0);
    FreeObject(shrunk);
    FreeObject(image);
  }
#endif
}

// Catches a profile cut, reordered or dropped, details lost, the location or the thumbnail
// carried into the copy, stale pixel sizes, and markers ahead of JFIF.
TEST(Orientation, ShrunkCopyKeepsProfileAndDetailsButNotTheLocation) {
  Bytes profile(150000);
  for (size_t i = 0; i < profile.size(); ++i) profile[i] = uint8_t(i * 7 + i / 251);
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    // A 64 x 48 photo stored turned (orientation 6), with EXIF and a three-chunk profile.
    Bytes plain = test::EncodeJpeg(
        64, 48, 3, [](int x, int y, int c) { return uint8_t(x * 3 + y * 2 + c * 60); });
    Bytes markers;
    auto add = [&](uint8_t code, const Bytes& payload) {
      markers.insert(markers.end(),
                     {0xFF, code, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)});
      markers.insert(markers.end(), payload.begin(), payload.end());
    };
    add(0xE1, test::MakePhotoExif(big, 6).Block);
    for (const auto& chunk : SplitIccProfile(profile)) add(0xE2, chunk);
    Bytes photo = plain;
    photo.insert(photo.begin() + 20, markers.begin(), markers.end());    // after SOI and JFIF
    const Bytes xmp = {0xFF, 0xE1, 0, 8, 'h', 't', 't', 'p', ':', '/'};  // not the EXIF block
    photo.insert(photo.begin() + 20, xmp.begin(), xmp.end());

    JpegImage* image = test::Loaded(photo);
    EXPECT_EQ(std::make_pair(image->UprightWidth(), image->UprightHeight()),
              std::make_pair(48u, 64u));
    uint32_t count = 0;
    JpegImage* shrunk = ShrinkPicture(image, 50, &count);
    ASSERT_NE(shrunk, nullptr);
    Bytes copy = test::WrittenBytes(shrunk);
    test::Decoded back = test::DecodeReference(copy);
    EXPECT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(24, 32));
    EXPECT_EQ(Bytes(copy.begin() + 2, copy.begin() + 4), Bytes({0xFF, 0xE0}));  // JFIF first

    PhotoDetails details = CollectPhotoDetails(MarkersOfFile(copy));
    EXPECT_EQ(details.IccProfile, profile);
    jpeg_decompress_struct d;  // libjpeg's own reader takes the profile back too
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, copy.data(), static_cast<unsigned long>(copy.size()));
    jpeg_save_markers(&d, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&d, TRUE);
    JOCTET* icc = nullptr;
    unsigned int iccSize = 0;
    EXPECT_TRUE(jpeg_read_icc_profile(&d, &icc, &iccSize) && Bytes(icc, icc + iccSize) == profile);
    std::free(icc);
    jpeg_destroy_decompress(&d);
    EXPECT_EQ(details.Orientation, 1);
    for (const std::string& secret : {test::SecretPlace, test::SecretNote, test::ThumbnailBytes})
      EXPECT_FALSE(Contains(copy, secret)) << secret;
    test::ExifReader exif(details.Exif);
    EXPECT_EQ(exif.Text(exif.Ifd0(), 0x0110).substr(0, 12), "VT-1 Mark II");
    uint32_t sub = exif.Number(exif.Find(exif.Ifd0(), 0x8769));
    EXPECT_EQ(exif.Text(sub, 0x9003).substr(0, 19), "2023:07:14 10:20:30");
    EXPECT_EQ(exif.Number(exif.Find(sub, 0xA002)), 24u);
    EXPECT_EQ(exif.Number(exif.Find(sub, 0xA003)), 32u);
    FreeObject(shrunk);
    FreeObject(image);
  }
}
