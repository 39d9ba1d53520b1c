// Photos as cameras store them, through the program's own path: every EXIF orientation shown
// and shrunk upright. (What the copy keeps of the photo's details: photo_metadata_test, and the
// fit's copy at 100% leaving the location out: fit_test.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "exif_samples.h"
#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "imaging/preview.h"
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

    const Bytes copy = test::Shrunk(test::WrittenBytes(image), {100, 100});
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(CollectPhotoDetails(MarkersOfFile(copy)).Orientation, 1);
    test::Decoded back = test::DecodeReference(copy);
    ASSERT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(w, h));
    double total = 0;  // the copy is a JPEG of its own: compare on average
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) total += std::abs(back.At(x, y, 2 - c) - expected(x, y, c));
    EXPECT_LT(total / (w * h * 3), 8.0);
    FreeObject(image);
  }
#endif
}
