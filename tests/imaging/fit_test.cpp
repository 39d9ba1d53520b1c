// Fitting copies under a size: the search's guarantee on pictures that compress very
// differently, one photo and one mail, the mail attachment rule, and the tool's two fit modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "exif_samples.h"
#include "app/wording.h"
#include "imaging/fit.h"
#include "imaging/photo_metadata.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;

namespace {

uint8_t Noise(int x, int y, int c) {
  uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
               static_cast<uint32_t>(c) * 83492791u;
  h ^= h >> 13, h *= 0x5bd1e995u, h ^= h >> 15;
  return static_cast<uint8_t>(h);
}

struct Sample {
  std::string Name;
  Bytes Jpeg;
};

// Smooth, noise, text-like, tiny, large, a portrait stored turned (EXIF orientation 6, with a
// location), gray and CMYK.
std::vector<Sample> Samples() {
  const auto exif = test::MakePhotoExif(false, 6).Block;
  return {
      {"smooth", test::EncodeJpeg(
                     640, 480, 3,
                     [](int x, int y, int c) { return uint8_t((x * (c + 1) / 3 + y / 2) & 255); })},
      {"noise", test::EncodeJpeg(360, 240, 3, Noise)},
      {"text", test::EncodeJpeg(640, 400, 3,
                                [](int x, int y, int) {
                                  return uint8_t((y % 14 < 9 && (x * 7 + y * 3) % 11 < 3) ? 20
                                                                                          : 245);
                                })},
      {"tiny", test::EncodeJpeg(64, 48, 3, Noise)},
      {"large", test::EncodeJpeg(3000, 2000, 3,
                                 [](int x, int y, int c) {
                                   return uint8_t((x / 5 + y / 7 + c * 40) % 256 / 2 +
                                                  Noise(x, y, c) / 8);
                                 },
                                 {.Quality = 90, .FullChroma = false})},
      {"portrait", test::WithExif(test::EncodeJpeg(480, 320, 3,
                                                   [](int x, int y, int c) {
                                                     return uint8_t(x + y * c + Noise(x, y, c) / 4);
                                                   }),
                                  Bytes(exif.begin(), exif.end()))},
      {"gray",
       test::EncodeJpeg(500, 400, 1, [](int x, int y, int) { return Noise(x / 3, y / 2, 0); })},
      {"cmyk", test::EncodeJpeg(400, 300, 4,
                                [](int x, int y, int c) {
                                  return uint8_t(c == 3 ? x / 4 : Noise(x / 2, y / 2, c));
                                })},
  };
}

// The photos' bytes as the fit takes them.
std::vector<FitInput> InputsOf(const std::vector<const Bytes*>& photos) {
  std::vector<FitInput> inputs;
  for (const Bytes* photo : photos) inputs.push_back({photo->data(), photo->size(), ""});
  return inputs;
}

}  // namespace

// Catches a Base64 count without its line breaks or margin, and limits misprinted. (The tool's
// reading of them is its test below.)
TEST(Fit, MailAttachmentSizeAndLimitsAsWritten) {
  EXPECT_EQ(
      (std::vector<uint64_t>{MailAttachmentSize(0), MailAttachmentSize(57), MailAttachmentSize(58),
                             MailAttachmentSize(3'000'000)}),
      (std::vector<uint64_t>{1024, 76 + 2 + 1024, 80 + 4 + 1024, 4'000'000 + 2 * 52'632 + 1024}));
  EXPECT_EQ(LimitText(512'000) + "|" + LimitText(1'048'576) + "|" + LimitText(26'214'400) + "|" +
                LimitText(2'621'440),
            "500 KB|1 MB|25 MB|2.5 MB");
}

// Catches a copy over the limit, one that wastes more than 5% of it, a size that is not the
// common scale's, a copy other than Shrink's at that scale, and a "next larger" tried that was
// not over: on every kind of picture.
TEST(Fit, OneCopyIsTheLargestTriedWithinTheLimitOnEveryKindOfPicture) {
  for (const Sample& sample : Samples()) {
    SCOPED_TRACE(sample.Name);
    const uint64_t whole = test::Shrunk(sample.Jpeg, {100, 100}).size();
    const uint64_t limit = whole * (sample.Name == "tiny" ? 7 : 4) / 10;
    FitResult fit = FitCopies(InputsOf({&sample.Jpeg}), limit);
    ASSERT_TRUE(fit.Fitted) << int(fit.Failure);
    const FitCopy& photo = fit.Photos[0];
    const Bytes copy = test::BytesOf(photo.Copy);
    EXPECT_TRUE(fit.Guaranteed);
    EXPECT_LE(copy.size(), limit);
    EXPECT_GE(copy.size(), limit * 95 / 100);
    EXPECT_EQ(copy.size(), fit.Bytes);
    const uint32_t width = photo.Report.OriginalWidth, height = photo.Report.OriginalHeight;
    const test::Decoded back = test::DecodeReference(copy);
    EXPECT_EQ(std::make_pair(back.Width, back.Height),
              std::make_pair(int(width * fit.Scale.Numerator / fit.Scale.Denominator),
                             int(height * fit.Scale.Numerator / fit.Scale.Denominator)));
    EXPECT_EQ(fit.Scale.Denominator, int32_t(std::max(width, height)));
    EXPECT_EQ(test::Shrunk(sample.Jpeg, fit.Scale), copy);
    if (fit.Over.Numerator > 0) {
      EXPECT_GT(fit.Over.Numerator, fit.Scale.Numerator);
      EXPECT_EQ(test::Shrunk(sample.Jpeg, fit.Over).size(), fit.OverBytes);
      EXPECT_GT(fit.OverBytes, limit);
    }
    FreeFitCopies(fit);
  }
}

// Catches estimates that stray from the copies: exact for a copy too small to sample (made
// whole, turned, with its markers), within a few percent for a sampled one.
TEST(Fit, EstimatesComeCloseToTheCopies) {
  for (const Sample& sample : Samples()) {
    std::vector<ShrinkScale> scales;
    std::vector<ShrinkReport> reports;
    ASSERT_TRUE(EstimateJpegCopies(
        sample.Jpeg.data(), sample.Jpeg.size(), nullptr,
        [](uint32_t, uint32_t) {
          return std::vector<ShrinkScale>{{100, 100}, {60, 100}, {25, 100}};
        },
        scales, reports));
    for (int k = 0; k < 3; ++k) {
      const double real = static_cast<double>(test::Shrunk(sample.Jpeg, scales[k]).size());
      if (std::min(reports[k].Width, reports[k].Height) < 32 * SampleBand)
        EXPECT_EQ(reports[k].Bytes, real) << sample.Name << " " << k;
      else
        EXPECT_NEAR(reports[k].Bytes / real, 1.0, 0.05) << sample.Name << " " << k;
    }
  }
}

// Catches a mail whose copies do not share one scale, go over the limit as mail counts them,
// or use less than 95% of it.
TEST(Fit, SeveralPhotosShareOneScaleAndFitOneMail) {
  const std::vector<Sample> samples = Samples();
  std::vector<const Bytes*> photos;
  uint64_t whole = 0;
  for (const Sample& sample : samples) {
    if (sample.Name == "large" || sample.Name == "tiny") continue;
    photos.push_back(&sample.Jpeg);
    whole += MailAttachmentSize(test::Shrunk(sample.Jpeg, {100, 100}).size());
  }
  const uint64_t limit = whole / 2;
  FitResult fit = FitCopies(InputsOf(photos), limit, {.Mail = true});
  ASSERT_TRUE(fit.Fitted) << int(fit.Failure);
  EXPECT_TRUE(fit.Guaranteed);
  uint64_t total = 0;
  for (size_t i = 0; i < photos.size(); ++i) {
    const FitCopy& photo = fit.Photos[i];
    ASSERT_NE(photo.Copy, nullptr);
    EXPECT_EQ(test::BytesOf(photo.Copy), test::Shrunk(*photos[i], fit.Scale)) << i;
    total += MailAttachmentSize(photo.Copy->Size());
  }
  EXPECT_EQ(total, fit.Bytes);
  EXPECT_LE(total, limit);
  EXPECT_GE(total, limit * 95 / 100);
  FreeFitCopies(fit);
}

// Catches a photo already small enough that is passed through (its location with it) instead
// of copied at 100%, and a limit that cannot be met giving a copy, or a damaged photo not named.
TEST(Fit, SmallEnoughStaysWholeButFreshAndTooSmallALimitGivesNothing) {
  const Bytes portrait = Samples()[5].Jpeg;
  FitResult fit = FitCopies(InputsOf({&portrait}), 10 << 20);
  ASSERT_TRUE(fit.Fitted);
  EXPECT_EQ(fit.Scale.Numerator, fit.Scale.Denominator);
  const Bytes copy = test::BytesOf(fit.Photos[0].Copy);
  EXPECT_EQ(copy, test::Shrunk(portrait, {100, 100}));
  EXPECT_EQ(
      std::search(copy.begin(), copy.end(), test::SecretPlace.begin(), test::SecretPlace.end()),
      copy.end());
  FreeFitCopies(fit);

  const Bytes damaged = test::WithUndefinedTables(portrait);
  FitResult none = FitCopies(InputsOf({&portrait, &damaged}), 900, {.Mail = false});
  EXPECT_FALSE(none.Fitted);
  EXPECT_EQ(none.Failure, FitFailure::TooLarge);
  EXPECT_TRUE(none.Photos[0].Copy == nullptr && none.Photos[1].Copy == nullptr);
  EXPECT_TRUE(none.Photos[1].LeftOut && !none.Photos[0].LeftOut);
}

#ifdef VELMORA_TOOLS_DIR

std::tuple<DWORD, std::string, std::string> RunTool(const std::vector<std::string>& args);

// Catches the tool writing a copy over the limit, writing anything when the photos cannot fit,
// or not saying the scale and the limit.
TEST(Tools, FitAndMailWriteOnlyCopiesWithinTheLimit) {
  const std::vector<Sample> samples = Samples();
  const std::string noise = test::WriteTempFile("fit-noise.jpg", samples[1].Jpeg);
  const std::string text = test::WriteTempFile("fit-text.jpg", samples[2].Jpeg);
  const std::string out = test::TempPath("fit-out.jpg"), folder = test::TempPath("fit-mail");
  CreateDirectoryA(folder.c_str(), nullptr);

  auto [code, output, errors] = RunTool({"velmora-shrink", "--fit", "40KB", noise, out});
  EXPECT_EQ(code, 0u) << errors;
  EXPECT_NE(output.find("within 40 KB"), std::string::npos) << output;
  EXPECT_LE(test::ReadFileBytes(out).size(), 40u * 1024);
  DeleteFileA(out.c_str());
  std::tie(code, output, errors) =
      RunTool({"velmora-shrink", "--mail", "150KB", noise, text, "--into", folder});
  auto copyOf = [&](const std::string& path) { return folder + path.substr(path.rfind('\\')); };
  uint64_t mailed = 0;
  for (const std::string& path : {noise, text}) {
    mailed += MailAttachmentSize(test::ReadFileBytes(copyOf(path)).size());
    DeleteFileA(copyOf(path).c_str());
  }
  EXPECT_EQ(code, 0u) << errors;
  EXPECT_NE(output.find("fits one 150 KB mail"), std::string::npos) << output;
  EXPECT_TRUE(mailed <= 150u * 1024 && mailed >= 150u * 1024 * 95 / 100) << mailed;

#ifdef VELMORA_HEIF_DATA
  // A HEIC photo fits as a JPEG does: alone (read whole) and in one mail with a JPEG.
  const std::string heic = std::string(VELMORA_HEIF_DATA) + "/plain.heic";
  std::tie(code, output, errors) = RunTool({"velmora-shrink", "--fit", "1500", heic, out});
  const size_t alone = test::ReadFileBytes(out).size();
  EXPECT_EQ(code, 0u) << errors;
  EXPECT_TRUE(alone <= 1500 && alone >= 1500 * 95 / 100) << alone << output;
  DeleteFileA(out.c_str());
  std::tie(code, output, errors) =
      RunTool({"velmora-shrink", "--mail", "60KB", noise, heic, "--into", folder});
  EXPECT_EQ(code, 0u) << errors;
  mailed = 0;
  for (const std::string& name : {copyOf(noise), folder + "\\plain.jpg"}) {
    mailed += MailAttachmentSize(test::ReadFileBytes(name).size());
    DeleteFileA(name.c_str());
  }
  EXPECT_TRUE(mailed <= 60u * 1024 && mailed >= 60u * 1024 * 95 / 100) << mailed << output;
#endif
  for (const auto& run : std::vector<std::vector<std::string>>{
           {"velmora-shrink", "--fit", "400", noise, out},
           {"velmora-shrink", "--mail", "2KB", noise, text, "--into", folder},
           {"velmora-shrink", "--fit", "1XB", noise, out}}) {
    std::tie(code, output, errors) = RunTool(run);
    EXPECT_NE(code, 0u);
    EXPECT_FALSE(errors.empty());
    EXPECT_TRUE(test::ReadFileBytes(out).empty() && test::ReadFileBytes(copyOf(noise)).empty());
  }
  RemoveDirectoryA(folder.c_str());
  for (const std::string& path : {noise, text}) DeleteFileA(path.c_str());
}

#endif
