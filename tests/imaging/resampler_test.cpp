// The program's own pixel path: the Lanczos resampler against a slow double-precision
// reference, the row pipeline (one or two threads, streamed from the decoder or from a
// whole picture) and the pane copies.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/preview.h"
#include "imaging/resampler.h"
#include "imaging/streaming.h"
#include "test_support.h"
#include "toolkit/bitmap.h"

using namespace velmora;
using test::Bytes;

namespace {

using PixelFn = std::function<uint8_t(int x, int y, int c)>;

BgrPicture Make(int w, int h, const PixelFn& pixel) {
  BgrPicture p;
  p.Allocate(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) p.Row(y)[3 * x + c] = pixel(x, y, c);
  return p;
}

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// A ring pattern (zone plate) whose frequency rises to nearly the sampling limit.
PixelFn Rings(int w, int h) {
  return [w, h](int x, int y, int) {
    const double dx = x - w / 2.0, dy = y - h / 2.0;
    return Clamp(127.5 + 127.5 * std::sin((dx * dx + dy * dy) / 128));
  };
}

// Smooth areas with detail and colour, like a photo.
uint8_t PhotoLike(int x, int y, int c) {
  double v = 128 + 60 * std::sin(x * 0.05 + c) * std::cos(y * 0.031) +
             40 * std::sin(x * y * 0.0007) + 25 * std::sin(x * 0.9 + y * 0.4 * c);
  return Clamp(v);
}

// One-pixel lines on a mid-grey ground, every seventh column and every fifth row.
uint8_t ThinLines(int x, int y, int c) {
  if (x % 7 == 3) return c == 2 ? 250 : 10;
  if (y % 5 == 1) return c == 0 ? 240 : 20;
  return 128;
}

// The slow reference: Lanczos-3 in double precision, each output sample centred at
// (i + 0.5) x scale in the source, the kernel stretched by the reduction, taps outside the
// picture dropped and the rest renormalised; horizontal then vertical, rounded once.
std::vector<std::vector<double>> ReferenceWeights(int from, int to, std::vector<int>* first) {
  auto lanczos = [](double x) {
    x = std::fabs(x);
    if (x < 1e-12) return 1.0;
    if (x >= 3) return 0.0;
    const double pi = std::acos(-1.0);
    return 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
  };
  const double scale = double(from) / to, stretch = std::max(1.0, scale);
  std::vector<std::vector<double>> weights(to);
  first->assign(to, 0);
  for (int i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * scale;
    const int lo = std::max(0, int(std::floor(centre - 3 * stretch)));
    const int hi = std::min(from, int(std::ceil(centre + 3 * stretch)));
    double sum = 0;
    for (int j = lo; j < hi; ++j) {
      weights[i].push_back(from == to ? (i == j) : lanczos((j + 0.5 - centre) / stretch));
      sum += weights[i].back();
    }
    for (double& w : weights[i]) w /= sum;
    (*first)[i] = lo;
  }
  return weights;
}

BgrPicture ReferenceResample(const BgrPicture& in, int w, int h) {
  std::vector<int> fx, fy;
  auto wx = ReferenceWeights(in.Width, w, &fx), wy = ReferenceWeights(in.Height, h, &fy);
  std::vector<double> across(static_cast<size_t>(in.Height) * w * 3);
  for (int y = 0; y < in.Height; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        double v = 0;
        for (size_t k = 0; k < wx[x].size(); ++k) v += wx[x][k] * in.Row(y)[3 * (fx[x] + k) + c];
        across[(static_cast<size_t>(y) * w + x) * 3 + c] = v;
      }
  BgrPicture out;
  out.Allocate(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) {
      double v = 0;
      for (size_t k = 0; k < wy[y].size(); ++k) v += wy[y][k] * across[(fy[y] + k) * w * 3 + x];
      out.Row(y)[x] = Clamp(v);
    }
  return out;
}

BgrPicture Resampled(const BgrPicture& in, int w, int h) {
  BgrPicture out;
  out.Allocate(w, h);
  PictureSource source(in);
  PictureSink sink(out);
  EXPECT_TRUE(ResampleRows(source, w, h, sink));
  EXPECT_EQ(sink.Next, h);
  return out;
}

// Largest difference of two pictures of one size, over every sample.
int MaxDifference(const BgrPicture& a, const BgrPicture& b) {
  EXPECT_EQ(std::make_pair(a.Width, a.Height), std::make_pair(b.Width, b.Height));
  int worst = 0;
  for (int y = 0; y < std::min(a.Height, b.Height); ++y)
    for (int x = 0; x < 3 * std::min(a.Width, b.Width); ++x)
      worst = std::max(worst, std::abs(a.Row(y)[x] - b.Row(y)[x]));
  return worst;
}

Bytes Encoded(int w, int h, const PixelFn& pixel, bool fullChroma = false) {
  return test::EncodeJpeg(w, h, 3, pixel, {.Quality = 92, .FullChroma = fullChroma});
}

}  // namespace

// Catches wrong weights, a shifted grid, lost precision between the passes and overflow in
// the vector code: every result within one level of the double-precision reference; and
// weights that do not add up to one (a tint, or a dark or light border): flat stays exactly
// flat.
TEST(Resampler, MatchesTheDoublePrecisionReferenceWithinOneLevelAndFlatStaysFlat) {
  const struct {
    const char* Name;
    PixelFn Pixel;
  } pictures[] = {{"photo", PhotoLike},
                  {"rings", Rings(301, 203)},
                  {"lines", ThinLines},
                  {"flat", [](int, int, int c) {
                     return uint8_t(c == 0 ? 3 : c == 1 ? 128 : 252);
                   }}};
  const int sizes[][2] = {{90, 60}, {210, 142}, {97, 61},  {1, 1},     {301, 203},
                          {300, 1}, {1, 203},   {33, 200}, {150, 101}, {512, 333}};
  for (const auto& picture : pictures) {
    BgrPicture in = Make(301, 203, picture.Pixel);
    for (const auto& size : sizes) {
      SCOPED_TRACE(testing::Message() << picture.Name << " to " << size[0] << "x" << size[1]);
      BgrPicture out = Resampled(in, size[0], size[1]);
      EXPECT_LE(MaxDifference(out, ReferenceResample(in, size[0], size[1])),
                picture.Name == std::string("flat") ? 0 : 1);
    }
  }
}

// Catches the second thread changing the result, the streamed path differing from resampling
// the whole decoded picture, and rows lost or repeated at the ring's wrap-around.
TEST(Pipeline, StreamedAndWholePictureAndOneOrTwoThreadsGiveTheSamePixels) {
  Bytes jpeg = Encoded(640, 470, PhotoLike);
  DecodeThreadMinimum = 0;  // even the smallest decode on its own thread
  for (int eighths : {1, 2, 4, 8}) {
    for (auto size : {std::pair{301, 211}, std::pair{80, 59}, std::pair{640, 470}}) {
      SCOPED_TRACE(testing::Message() << eighths << "/8 to " << size.first << "x" << size.second);
      BgrPicture whole;
      {
        JpegRowReader reader;
        ASSERT_TRUE(reader.Open(jpeg.data(), jpeg.size()));
        ASSERT_TRUE(reader.Start(eighths));
        ASSERT_TRUE(whole.Allocate(reader.OutputWidth, reader.OutputHeight));
        JpegSource source(reader);
        PictureSink sink(whole);
        ASSERT_TRUE(ResampleRows(source, whole.Width, whole.Height, sink));
      }
      BgrPicture expected = Resampled(whole, size.first, size.second);
      for (bool twoThreads : {false, true}) {
        PipelineUsesTwoThreads = twoThreads;
        JpegRowReader reader;
        reader.Open(jpeg.data(), jpeg.size());
        reader.Start(eighths);
        BgrPicture streamed;
        streamed.Allocate(size.first, size.second);
        JpegSource source(reader);
        PictureSink sink(streamed);
        EXPECT_TRUE(ResampleRows(source, size.first, size.second, sink));
        EXPECT_EQ(MaxDifference(streamed, expected), 0) << "two threads " << twoThreads;
      }
      PipelineUsesTwoThreads = true;
    }
  }
  DecodeThreadMinimum = 300000;
}

// Catches the decoder stopping the pipeline without telling, or a sink failure going unseen.
TEST(Pipeline, ASourceThatGivesOutOrASinkThatRefusesFailsTheRun) {
  Bytes jpeg = Encoded(200, 300, PhotoLike);
  Bytes truncated(jpeg.begin(), jpeg.begin() + jpeg.size() / 3);
  DecodeThreadMinimum = 0;
  struct Refusing : RowSink {
    int Left = 20;
    bool PutRows(const uint8_t* const*, int32_t count) override { return (Left -= count) > 0; }
  };
  for (bool twoThreads : {false, true}) {
    PipelineUsesTwoThreads = twoThreads;
    JpegRowReader reader;
    ASSERT_TRUE(reader.Open(truncated.data(), truncated.size()));
    ASSERT_TRUE(reader.Start(8));
    BgrPicture out;
    out.Allocate(100, 150);
    JpegSource source(reader);
    PictureSink sink(out);
    EXPECT_FALSE(ResampleRows(source, 100, 150, sink));
    EXPECT_EQ(reader.Problem, PictureProblem::Damaged);

    for (int h : {300, 150}) {  // rows passed straight through, and resampled
      JpegRowReader whole;
      ASSERT_TRUE(whole.Open(jpeg.data(), jpeg.size()) && whole.Start(8));
      JpegSource from(whole);
      Refusing refusing;
      EXPECT_FALSE(ResampleRows(from, h * 2 / 3, h, refusing));
    }
  }
  PipelineUsesTwoThreads = true;
  DecodeThreadMinimum = 300000;
}

// Catches a pane copy remade on every paint (slow), or not remade when the pane or the
// picture changed (stale), and a decode repeated where the kept one still covers the pane.
TEST(Preview, RemadeOnResizeOrNewPictureNotOnRepaint) {
  JpegImage* photo = test::Loaded(Encoded(1600, 1200, PhotoLike));
  PanePreview preview;
  EXPECT_TRUE(preview.Fit(photo, 380, 285));
  ASSERT_NE(preview.Copy, nullptr);
  EXPECT_EQ(std::make_pair(preview.Copy->Width, preview.Copy->Height), std::make_pair(380, 285));
  EXPECT_FALSE(preview.Fit(photo, 380, 285));  // a plain repaint
  EXPECT_EQ(std::make_pair(preview.Builds, preview.Decodes), std::make_pair(1, 1));
  EXPECT_TRUE(preview.Fit(photo, 300, 225));  // smaller pane: the kept decode serves
  EXPECT_EQ(std::make_pair(preview.Builds, preview.Decodes), std::make_pair(2, 1));
  EXPECT_TRUE(preview.Fit(photo, 1200, 900));  // much larger: decoded again, finer
  EXPECT_EQ(std::make_pair(preview.Builds, preview.Decodes), std::make_pair(3, 2));

  JpegImage* other = test::Loaded(Encoded(64, 64, [](int, int, int) { return uint8_t(200); }));
  preview.Forget();
  EXPECT_TRUE(preview.Fit(other, 1200, 900));  // a small picture drawn larger
  EXPECT_EQ(preview.Copy->RowAddress(450)[600 * 3], 200);
  FreeObject(other);
  FreeObject(photo);
}
