// The row pipeline every picture the program makes goes through: a source of blue, green,
// red rows (the decoder, or a picture in memory), the resampler (horizontal pass per row,
// vertical pass over a ring of rows), and a sink (the encoder, or a picture in memory).
// Memory grows with the width, never with the height. Relies on imaging/resampler.h and
// imaging/jpeg_rows.h.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/jpeg_rows.h"

namespace velmora {

// Where rows come from. Every row handed to ReadRows has room for 3 x Width() bytes plus
// RowPadding.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // Fills up to count rows, top to bottom; gives how many, 0 at the end or on failure.
  virtual int32_t ReadRows(uint8_t* const* rows, int32_t count) = 0;
  // Whether reading the rows is work enough to be worth a thread of its own.
  virtual bool WorthAThread() const { return false; }
  // Passes over up to count rows no one needs, for less than reading them costs; gives how
  // many (0: this source cannot, read them instead).
  virtual int32_t SkipRows(int32_t) { return 0; }
};

// Where rows go, top to bottom, 3 x width bytes each.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual bool PutRows(const uint8_t* const* rows, int32_t count) = 0;
};

// A picture in memory: Height rows of Stride bytes, blue, green, red.
struct BgrPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Stride = 0;
  std::vector<uint8_t> Pixels;

  // Makes room for width x height (false when the memory cannot be had).
  bool Allocate(int32_t width, int32_t height);
  uint8_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * Stride; }
  const uint8_t* Row(int32_t y) const { return Pixels.data() + static_cast<size_t>(y) * Stride; }
};

// The decoder as a source.
class JpegSource : public RowSource {
 public:
  explicit JpegSource(JpegRowReader& reader) : Reader(reader) {}
  int32_t Width() const override { return Reader.OutputWidth; }
  int32_t Height() const override { return Reader.OutputHeight; }
  int32_t ReadRows(uint8_t* const* rows, int32_t count) override {
    return Reader.ReadRows(rows, count);
  }
  bool WorthAThread() const override;
  int32_t SkipRows(int32_t count) override { return Reader.SkipRows(count); }
  JpegRowReader& Reader;
};

// The encoder as a sink.
class JpegSink : public RowSink {
 public:
  explicit JpegSink(JpegRowWriter& writer) : Writer(writer) {}
  bool PutRows(const uint8_t* const* rows, int32_t count) override {
    return Writer.WriteRows(rows, count);
  }
  JpegRowWriter& Writer;
};

// A picture in memory read from the top.
class PictureSource : public RowSource {
 public:
  explicit PictureSource(const BgrPicture& picture) : Picture(picture) {}
  int32_t Width() const override { return Picture.Width; }
  int32_t Height() const override { return Picture.Height; }
  int32_t ReadRows(uint8_t* const* rows, int32_t count) override;
  const BgrPicture& Picture;
  int32_t Next = 0;
};

// Rows stored into a picture in memory from the top (allocated by the caller).
class PictureSink : public RowSink {
 public:
  explicit PictureSink(BgrPicture& picture) : Picture(picture) {}
  bool PutRows(const uint8_t* const* rows, int32_t count) override;
  BgrPicture& Picture;
  int32_t Next = 0;
};

// Whether pipelines may run a source that is worth it on a second thread (the default: when
// the machine has more than one processor).
extern bool PipelineUsesTwoThreads;
// What one pipeline may do with threads: Auto follows PipelineUsesTwoThreads (and whether the
// source is worth a thread); OneThread keeps everything on the calling thread, for callers
// that already run several pipelines side by side (a batch on every processor).
enum class PipelineThreading : uint8_t { Auto, OneThread };
// Pixels a decode must have to get a thread of its own: starting a thread costs about as
// much as decoding a few hundred thousand pixels.
extern int64_t DecodeThreadMinimum;

// A sample of a picture's rows, for estimating what the whole would come to: of its bands of
// SampleBand rows (the encoder's rows of blocks at 4:2:0), every Every-th one, the middle one of
// each group of Every; 0 takes every row.
constexpr int32_t SampleBand = 16;
inline bool SampledRow(int32_t row, int32_t every) {
  return every <= 1 || (row / SampleBand) % every == every / 2;
}
// How many of height rows a sample keeps.
int32_t SampledRows(int32_t height, int32_t every);

// Pulls every row of source, resamples the picture to width x height and pushes the rows to
// sink. Taking the rows straight through when the sizes are equal. False when the source
// gave out early, the sink refused a row, or memory for the rows could not be had.
bool ResampleRows(RowSource& source, int32_t width, int32_t height, RowSink& sink,
                  PipelineThreading threading = PipelineThreading::Auto);

// One size of a picture, where its rows go, and which of them (see SampledRow): rows a sample
// leaves out cost nothing but their share of the decode.
struct RowOutput {
  int32_t Width = 0;
  int32_t Height = 0;
  RowSink* Sink = nullptr;
  int32_t SampleEvery = 0;
};
// ResampleRows to several sizes at once from one pass over source: every source row is read
// once and serves every output while it is in the ring, on the calling thread (the source on a
// second one as ResampleRows does); when every output is a sample, the rows none of them needs
// are skipped (RowSource::SkipRows). False as ResampleRows, for any output.
bool ResampleRowsTo(RowSource& source, const std::vector<RowOutput>& outputs,
                    PipelineThreading threading = PipelineThreading::Auto);

}  // namespace velmora
