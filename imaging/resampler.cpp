// Lanczos-3 weight tables and the two SSE2 passes of the resampler.
#include "imaging/resampler.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmora {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double LanczosSupport = 3.0;

// Two 16-bit weights side by side, the layout _mm_madd_epi16 multiplies sample pairs by.
inline __m128i WeightPair(int16_t first, int16_t second) {
  return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(first)) |
                        (static_cast<int32_t>(second) << 16));
}

}  // namespace

double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1.0;
  if (x >= LanczosSupport) return 0.0;
  const double px = Pi * x;
  return LanczosSupport * std::sin(px) * std::sin(px / LanczosSupport) / (px * px);
}

FilterTable MakeFilterTable(int32_t from, int32_t to) {
  FilterTable table;
  table.From = from;
  table.To = to;
  if (from <= 0 || to <= 0) return table;
  const double scale = static_cast<double>(from) / to;
  const double stretch = std::max(scale, 1.0);
  const double support = LanczosSupport * stretch;
  table.MostTaps = static_cast<int32_t>(std::ceil(support * 2)) + 1;
  table.Stride = (table.MostTaps + 2) & ~1;
  table.First.assign(static_cast<size_t>(to), 0);
  table.Count.assign(static_cast<size_t>(to), 0);
  table.Weights.assign(static_cast<size_t>(to) * table.Stride, 0);

  std::vector<double> exact(static_cast<size_t>(table.MostTaps) + 2);
  for (int32_t i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * scale;
    int32_t low = std::max<int32_t>(0, static_cast<int32_t>(std::floor(centre - support)));
    int32_t high = std::min<int32_t>(from, static_cast<int32_t>(std::ceil(centre + support)));
    if (from == to) {  // the same size: each sample stays itself, exactly
      low = i;
      high = i + 1;
    }
    double sum = 0;
    int32_t count = 0;
    for (int32_t j = low; j < high && count < table.MostTaps; ++j) {
      const double w = from == to ? 1.0 : Lanczos3((j + 0.5 - centre) / stretch);
      exact[static_cast<size_t>(count++)] = w;
      sum += w;
    }
    // Drop zero weights at both ends (samples exactly on the kernel's zeros).
    int32_t start = 0;
    while (count > 1 && exact[static_cast<size_t>(start)] == 0.0) ++start, --count;
    while (count > 1 && exact[static_cast<size_t>(start + count - 1)] == 0.0) --count;
    if (sum == 0.0) sum = 1.0;

    // Each weight is the step between rounded running sums, so the weights add up to
    // exactly 1 << WeightBits (a flat picture stays exactly flat) and each is within one
    // unit of its exact value.
    int16_t* w = &table.Weights[static_cast<size_t>(i) * table.Stride];
    double running = 0;
    long previous = 0;
    for (int32_t k = 0; k < count; ++k) {
      running += exact[static_cast<size_t>(start + k)] / sum;
      const long rounded =
          k + 1 == count ? (1L << WeightBits) : std::lround(running * (1 << WeightBits));
      w[k] = static_cast<int16_t>(rounded - previous);
      previous = rounded;
    }
    table.First[static_cast<size_t>(i)] = low + start;
    table.Count[static_cast<size_t>(i)] = count;
  }
  return table;
}

void BlendRows(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t samples,
               int16_t* to) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi32(1 << (WeightBits - BetweenPassBits - 1));
  for (int32_t x = 0; x < samples; x += 16) {
    __m128i sum0 = half, sum1 = half, sum2 = half, sum3 = half;
    // Two rows a step: their samples interleaved (a0 b0 a1 b1 ...) times the two weights.
    for (int32_t k = 0; k < count; k += 2) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
      const __m128i b =
          k + 1 < count ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + x)) : zero;
      const __m128i w = WeightPair(weights[k], k + 1 < count ? weights[k + 1] : 0);
      const __m128i low = _mm_unpacklo_epi8(a, b);
      const __m128i high = _mm_unpackhi_epi8(a, b);
      sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), w));
      sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), w));
      sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w));
      sum3 = _mm_add_epi32(sum3, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w));
    }
    const int shift = WeightBits - BetweenPassBits;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x),
                     _mm_packs_epi32(_mm_srai_epi32(sum0, shift), _mm_srai_epi32(sum1, shift)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x + 8),
                     _mm_packs_epi32(_mm_srai_epi32(sum2, shift), _mm_srai_epi32(sum3, shift)));
  }
}

void ResampleRow(const int16_t* from, uint8_t* to, const FilterTable& table) {
  const __m128i half = _mm_set1_epi32(1 << (WeightBits + BetweenPassBits - 1));
  const int32_t* first = table.First.data();
  const int32_t* count = table.Count.data();
  const int16_t* weights = table.Weights.data();
  auto pixel = [](const int16_t* p) {  // one pixel's samples and the next one's first
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  };
  for (int32_t i = 0; i < table.To; ++i, weights += table.Stride) {
    const int16_t* p = from + 3 * first[i];
    const int16_t* w = weights;
    __m128i sum = half;
    // Two source pixels a step: their samples interleaved (b0 b1 g0 g1 r0 r1 . .) times
    // the two weights, added pairwise into blue, green, red and a lane of no meaning.
    int32_t k = 0;
    for (; k + 4 <= count[i] + 1; k += 4, p += 12, w += 4) {
      sum = _mm_add_epi32(
          sum, _mm_madd_epi16(_mm_unpacklo_epi16(pixel(p), pixel(p + 3)), WeightPair(w[0], w[1])));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(pixel(p + 6), pixel(p + 9)),
                                              WeightPair(w[2], w[3])));
    }
    for (; k < count[i]; k += 2, p += 6, w += 2)
      sum = _mm_add_epi32(
          sum, _mm_madd_epi16(_mm_unpacklo_epi16(pixel(p), pixel(p + 3)), WeightPair(w[0], w[1])));
    sum = _mm_srai_epi32(sum, WeightBits + BetweenPassBits);
    const __m128i words = _mm_packs_epi32(sum, sum);
    // Four bytes stored where three belong: the fourth is overwritten by the next pixel.
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(to + 3 * i, &bytes, 4);
  }
}

}  // namespace velmora
