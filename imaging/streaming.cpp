// The row pipeline: a ring of decoded rows between the source and the two passes feeding the
// sink, on one thread or with the source on a second one.
#include "imaging/streaming.h"

#include <windows.h>

#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <thread>

#include "imaging/resampler.h"

namespace velmora {

namespace {

bool MoreThanOneProcessor() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 1;
}

// Rows the source fills at a time, and output rows handed to the sink at a time.
constexpr int32_t StripRows = 16;
// Rows a waiting consumer lets the decoder get ahead before it is woken, so that it wakes a
// few dozen times a picture rather than once a strip.
constexpr int32_t WakeAhead = 64;

// A wake-up between the two threads: a sleeper announces itself before its last look at the
// condition, and the other side signals only when someone sleeps, so the usual case (nothing
// to wait for) costs no system call.
class Wakeup {
 public:
  Wakeup() = default;
  ~Wakeup() {
    if (Event) CloseHandle(Event);
  }
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;
  // Makes the event; false when the system has none to give.
  bool Prepare() {
    Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return Event != nullptr;
  }

  template <class Ready>
  void WaitUntil(Ready ready) {
    // Sleeping on the event costs a round trip through the system (under Wine, through its
    // server) on both sides; look again for a few microseconds first. Spinning longer would
    // take the processor from the other thread where the two share a core.
    for (int round = 0; round < 64; ++round) {
      if (ready()) return;
      for (int i = 0; i < 16; ++i) _mm_pause();
    }
    while (!ready()) {
      Sleeping.store(true);
      if (ready()) {
        Sleeping.store(false);
        return;
      }
      WaitForSingleObject(Event, INFINITE);
    }
  }
  void Signal() {
    if (Sleeping.exchange(false)) SetEvent(Event);
  }

 private:
  HANDLE Event = nullptr;
  std::atomic<bool> Sleeping{false};
};

// The pipeline. The producer (on the second thread, or called by the consumer) only
// decodes: source row r lands in slot r % Slots of the ring once there is room. The
// consumer blends the rows each output row needs (vertical pass) and resamples the blend
// across (horizontal pass) into the output rows for the sink; with several outputs (sizes of
// one source, each with its sink) it makes next the output row whose source rows come first.
class RowRing {
 public:
  RowRing(RowSource& source, const std::vector<RowOutput>& outputs, PipelineThreading threading)
      : Threading(threading), Source(source) {
    for (const RowOutput& output : outputs) {
      Target& target = Targets.emplace_back();
      target.Sink = output.Sink;
      target.Every = output.SampleEvery;
      target.Across = MakeFilterTable(source.Width(), output.Width);
      target.Down = MakeFilterTable(source.Height(), output.Height);
      target.Direct = target.Across.IsIdentity() && target.Down.IsIdentity();
    }
  }

  bool Run();

 private:
  // One output: its filters, its sink, the rows waiting for the sink and the next row.
  struct Target {
    RowSink* Sink = nullptr;
    int32_t Every = 0;  // the sample of its rows it takes
    FilterTable Across;
    FilterTable Down;
    bool Direct = false;  // same size: source rows go to the sink as they are
    std::vector<uint8_t> Output;
    const uint8_t* Ready[StripRows] = {};
    int32_t Pending = 0;
    int32_t Next = 0;  // the next output row (past the last: done)
    // The next row to make, skipping rows the sample leaves out.
    void Skip() {
      while (Next < Down.To && !SampledRow(Next, Every)) ++Next;
    }
    int32_t FirstSource() const { return Direct ? Next : Down.First[static_cast<size_t>(Next)]; }
    int32_t LastSource() const {
      return Direct ? Next : FirstSource() + Down.Count[static_cast<size_t>(Next)] - 1;
    }
  };

  bool Allocate();
  // Producer: decodes the next strip of source rows; false once the source is done.
  bool ProduceStrip();
  void ProduceAll();
  // Consumer: waits until source row is decoded (decoding it itself on one thread).
  bool WaitForRow(int32_t row);
  // Consumer: source rows below lowest are no longer needed.
  void Release(int32_t lowest);
  // Consumer: makes target's next row and hands full strips to its sink.
  bool MakeRow(Target& target, std::vector<const uint8_t*>& rows);
  bool Consume();
  uint8_t* Slot(int32_t row) { return Ring.data() + static_cast<size_t>(row % Slots) * SlotBytes; }

  const PipelineThreading Threading;
  RowSource& Source;
  std::vector<Target> Targets;
  bool Threaded = false;

  int32_t Slots = 0;
  int32_t MostTaps = 1;
  size_t SlotBytes = 0;
  std::vector<uint8_t> Ring;     // decoded rows
  int32_t BlendSamples = 0;      // samples of a blended row, with what the horizontal pass reads
  std::vector<int16_t> Blended;  // one row after the vertical pass
  std::vector<bool> Needed;      // source rows some output needs; empty: all of them

  std::atomic<int32_t> Produced{0};  // source rows decoded so far
  std::atomic<int32_t> Lowest{0};    // lowest source row the consumer still needs
  std::atomic<int32_t> Wanted{0};    // the row a waiting consumer is to be woken for
  std::atomic<bool> SourceDone{false};
  std::atomic<bool> ConsumerDone{false};
  Wakeup RowsReady;  // the consumer sleeps on this
  Wakeup RoomReady;  // the producer sleeps on this
};

bool RowRing::Allocate() {
  const size_t sourceRowBytes = static_cast<size_t>(3) * Source.Width() + RowPadding;
  SlotBytes = (sourceRowBytes + 15) & ~size_t{15};
  bool blends = false;
  for (const Target& target : Targets) {
    MostTaps = std::max(MostTaps, target.Down.MostTaps);
    blends = blends || !target.Direct;
  }
  Slots = MostTaps + WakeAhead + 2 * StripRows;
  // Outputs that all take samples leave most source rows to no one.
  bool sampled = true;
  for (const Target& target : Targets) sampled = sampled && target.Every > 1;
  if (sampled) {
    try {
      Needed.assign(static_cast<size_t>(Source.Height()), false);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (const Target& target : Targets)
      for (int32_t y = 0; y < target.Down.To; ++y) {
        if (!SampledRow(y, target.Every)) continue;
        const size_t first = static_cast<size_t>(target.Down.First[static_cast<size_t>(y)]);
        const size_t count = static_cast<size_t>(target.Down.Count[static_cast<size_t>(y)]);
        std::fill_n(Needed.begin() + static_cast<std::ptrdiff_t>(first), count, true);
      }
  }
  BlendSamples = 3 * Source.Width() + 4;  // the horizontal pass reads one pixel further
  try {
    Ring.assign(static_cast<size_t>(Slots) * SlotBytes, 0);
    if (blends) Blended.assign(static_cast<size_t>(PaddedSamples(BlendSamples)), 0);
    for (Target& target : Targets) {
      if (target.Direct) continue;
      const size_t bytes = (static_cast<size_t>(3) * target.Across.To + 16) & ~size_t{15};
      target.Output.assign(static_cast<size_t>(StripRows) * bytes, 0);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool RowRing::ProduceStrip() {
  const int32_t height = Source.Height();
  const int32_t first = Produced.load();
  if (first >= height) return false;
  // A run of whole strips no output needs is skipped, not decoded.
  int32_t unneeded = 0;
  if (!Needed.empty())
    while (first + unneeded < height && !Needed[static_cast<size_t>(first + unneeded)]) ++unneeded;
  unneeded = unneeded / StripRows * StripRows;
  if (unneeded > 0) {
    const int32_t skipped = Source.SkipRows(unneeded);
    if (skipped > 0) {
      Produced.store(first + skipped);
      if (first + skipped >= height) SourceDone.store(true);
      if (Threaded && first + skipped > Wanted.load()) RowsReady.Signal();
      return true;
    }
  }
  const int32_t count = std::min(StripRows, height - first);
  // Room: the strip's slots must hold no row the consumer still needs.
  auto room = [&] { return ConsumerDone.load() || first + count <= Lowest.load() + Slots; };
  if (Threaded) RoomReady.WaitUntil(room);
  if (ConsumerDone.load() || !room()) return false;
  uint8_t* rows[StripRows];
  for (int32_t i = 0; i < count; ++i) rows[i] = Slot(first + i);
  const int32_t got = Source.ReadRows(rows, count);
  Produced.store(first + got);
  if (got < count || first + got >= height) SourceDone.store(true);
  if (Threaded && first + got > Wanted.load()) RowsReady.Signal();
  return got == count;
}

void RowRing::ProduceAll() {
  try {
    while (ProduceStrip()) {
    }
  } catch (...) {
  }
  SourceDone.store(true);
  RowsReady.Signal();
}

bool RowRing::WaitForRow(int32_t row) {
  if (!Threaded) {
    while (Produced.load() <= row)
      if (!ProduceStrip() && Produced.load() <= row) return false;
    return true;
  }
  if (Produced.load() > row) return true;
  // Asleep, wait for a good run of rows: up to WakeAhead past the one needed; when rows are
  // skipped, for that one only (the rows past it may need room it still holds).
  Wanted.store(Needed.empty() ? std::min(row + WakeAhead, Source.Height() - 1) : row);
  RowsReady.WaitUntil([&] { return Produced.load() > Wanted.load() || SourceDone.load(); });
  return Produced.load() > row;
}

void RowRing::Release(int32_t lowest) {
  Lowest.store(lowest);
  if (Threaded) RoomReady.Signal();
}

bool RowRing::MakeRow(Target& target, std::vector<const uint8_t*>& rows) {
  const int32_t y = target.Next++;
  if (target.Direct) {
    const uint8_t* row = Slot(y);
    return target.Sink->PutRows(&row, 1);
  }
  const int32_t first = target.Down.First[static_cast<size_t>(y)];
  const int32_t count = target.Down.Count[static_cast<size_t>(y)];
  for (int32_t k = 0; k < count; ++k) rows[static_cast<size_t>(k)] = Slot(first + k);
  BlendRows(rows.data(), &target.Down.Weights[static_cast<size_t>(y) * target.Down.Stride], count,
            BlendSamples, Blended.data());
  const size_t bytes = target.Output.size() / StripRows;
  uint8_t* out = target.Output.data() + static_cast<size_t>(target.Pending) * bytes;
  ResampleRow(Blended.data(), out, target.Across);
  target.Ready[target.Pending++] = out;
  if (target.Pending < StripRows) return true;
  target.Pending = 0;
  return target.Sink->PutRows(target.Ready, StripRows);
}

bool RowRing::Consume() {
  std::vector<const uint8_t*> rows(static_cast<size_t>(MostTaps));
  for (;;) {
    // The output row whose source rows end first, and the lowest source row any still needs.
    Target* next = nullptr;
    int32_t lowest = INT32_MAX;
    for (Target& target : Targets) {
      target.Skip();
      if (target.Next >= target.Down.To) continue;
      lowest = std::min(lowest, target.FirstSource());
      if (!next || target.LastSource() < next->LastSource()) next = &target;
    }
    if (!next) break;
    Release(lowest);
    if (!WaitForRow(next->LastSource()) || !MakeRow(*next, rows)) return false;
  }
  for (Target& target : Targets)
    if (target.Pending > 0 && !target.Sink->PutRows(target.Ready, target.Pending)) return false;
  return true;
}

bool RowRing::Run() {
  if (Source.Width() <= 0 || Source.Height() <= 0 || Targets.empty()) return false;
  for (const Target& target : Targets)
    if (target.Across.To <= 0 || target.Down.To <= 0) return false;
  if (!Allocate()) return false;
  Threaded = Threading == PipelineThreading::Auto && PipelineUsesTwoThreads &&
             Source.WorthAThread() && RowsReady.Prepare() && RoomReady.Prepare();
  if (!Threaded) return Consume();
  std::thread producer;
  try {
    producer = std::thread([this] { ProduceAll(); });
  } catch (...) {
    Threaded = false;
    return Consume();
  }
  bool ok = false;
  try {
    ok = Consume();
  } catch (...) {
    ok = false;
  }
  ConsumerDone.store(true);
  RoomReady.Signal();
  producer.join();
  return ok;
}

}  // namespace

bool PipelineUsesTwoThreads = MoreThanOneProcessor();
int64_t DecodeThreadMinimum = 300000;

bool JpegSource::WorthAThread() const {
  return static_cast<int64_t>(Reader.OutputWidth) * Reader.OutputHeight >= DecodeThreadMinimum;
}

bool BgrPicture::Allocate(int32_t width, int32_t height) {
  Width = 0;
  Height = 0;
  Stride = 0;
  if (width <= 0 || height <= 0) return false;
  const size_t stride = (static_cast<size_t>(width) * 3 + RowPadding + 15) & ~size_t{15};
  try {
    Pixels.assign(stride * static_cast<size_t>(height), 0);
  } catch (const std::bad_alloc&) {
    Pixels.clear();
    return false;
  }
  Width = width;
  Height = height;
  Stride = static_cast<int32_t>(stride);
  return true;
}

int32_t PictureSource::ReadRows(uint8_t* const* rows, int32_t count) {
  int32_t done = 0;
  const size_t bytes = static_cast<size_t>(Picture.Width) * 3;
  for (; done < count && Next < Picture.Height; ++done, ++Next)
    std::memcpy(rows[done], Picture.Row(Next), bytes);
  return done;
}

bool PictureSink::PutRows(const uint8_t* const* rows, int32_t count) {
  const size_t bytes = static_cast<size_t>(Picture.Width) * 3;
  for (int32_t i = 0; i < count; ++i, ++Next) {
    if (Next >= Picture.Height) return false;
    std::memcpy(Picture.Row(Next), rows[i], bytes);
  }
  return true;
}

int32_t SampledRows(int32_t height, int32_t every) {
  if (every <= 1) return height;
  int32_t rows = 0;
  for (int32_t band = every / 2; band * SampleBand < height; band += every)
    rows += std::min(SampleBand, height - band * SampleBand);
  return rows;
}

bool ResampleRows(RowSource& source, int32_t width, int32_t height, RowSink& sink,
                  PipelineThreading threading) {
  return ResampleRowsTo(source, {{width, height, &sink}}, threading);
}

bool ResampleRowsTo(RowSource& source, const std::vector<RowOutput>& outputs,
                    PipelineThreading threading) {
  for (const RowOutput& output : outputs)
    if (output.Width <= 0 || output.Height <= 0 || !output.Sink) return false;
  RowRing ring(source, outputs, threading);
  return ring.Run();
}

}  // namespace velmora
