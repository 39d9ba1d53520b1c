// The program's own resampling of 8-bit blue, green, red rows: a separable Lanczos-3 filter
// whose support widens with the reduction (anti-aliased), pixel centres aligned, weights in
// 14-bit fixed point, with SSE2 inner loops. Relies on nothing but the C++ library.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora {

// Fixed-point scales: weights carry 14 fractional bits; the rows between the two passes
// are 16-bit samples with 6 fractional bits (room for the filter's over- and undershoot).
// The vertical pass comes first: it takes whole rows sixteen samples at a time, so the pass
// over the larger picture is the one that vectorises best.
constexpr int WeightBits = 14;
constexpr int BetweenPassBits = 6;

// The weights of one axis, from From samples to To samples: output i is the sum over
// k < Count[i] of Weights[i * Stride + k] x source[First[i] + k]. Each output's weights
// add up to exactly 1 << WeightBits; the slot after its last weight is always 0, so the
// inner loops may take the taps in pairs.
struct FilterTable {
  int32_t From = 0;
  int32_t To = 0;
  int32_t Stride = 0;  // weight slots per output: the most taps, rounded up to even, plus 2
  int32_t MostTaps = 0;
  std::vector<int32_t> First;
  std::vector<int32_t> Count;
  std::vector<int16_t> Weights;

  bool IsIdentity() const { return From == To; }
};

// The Lanczos-3 kernel: sinc(x) sinc(x / 3) for |x| < 3, else 0.
double Lanczos3(double x);

// The table for resampling from samples to to samples (both at least 1). Sample i of the
// result is centred at (i + 0.5) x from / to in the source; when reducing, the kernel is
// stretched by from / to so that it averages everything the output sample stands for.
// Taps that would fall outside the source are dropped and the rest renormalised, so the
// borders keep their brightness.
FilterTable MakeFilterTable(int32_t from, int32_t to);

// Bytes of padding every source row needs after its last pixel.
constexpr int RowPadding = 16;

// Samples rounded up to the block size the passes work in.
inline int32_t PaddedSamples(int32_t samples) { return (samples + 15) & ~15; }

// Vertical pass, first: the weighted sum of count rows of 8-bit samples (weights in 14-bit
// fixed point) into one row of 16-bit samples with BetweenPassBits fractional bits. Works on
// samples in blocks of 16: rows and to must have room for PaddedSamples(samples).
void BlendRows(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t samples,
               int16_t* to);

// Horizontal pass, second: one row of table.From pixels of such 16-bit samples (3 each,
// readable up to 3 x table.From + 4 samples) to table.To pixels of 8-bit samples, rounded
// and clamped to 0..255; to needs room for 3 x table.To + 1 bytes.
void ResampleRow(const int16_t* from, uint8_t* to, const FilterTable& table);

}  // namespace velmora
