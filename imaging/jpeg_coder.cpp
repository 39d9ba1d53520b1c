// Colour conversion, forward transform and the rate-distortion choice of quantized values.
#include "imaging/jpeg_coder.h"

#include <cstdlib>
#include <cstring>

extern "C" {
// The codec's accurate integer forward DCT (plain C and SIMD), on 16-bit elements as the
// library is built with SIMD, and its optimal Huffman table builder.
void jpeg_fdct_islow(short* data);
int jsimd_can_fdct_islow(void);
void jsimd_fdct_islow(short* data);
void jpeg_gen_optimal_table(j_compress_ptr cinfo, JHUFF_TBL* htbl, long freq[]);
}

namespace velmora {

// Measured on varied photos at 30% and 70% (see README, "The encoder").
JpegCoding CopyCoding = {90, 0, false, 0.0f, true, false};

JpegCoding CodingFor(int quality) {
  if (quality == 90) return CopyCoding;
  JpegCoding coding;
  coding.TableQuality = quality;
  return coding;
}

namespace {

// Position k of the zigzag scan in natural (row-major) order.
constexpr int Zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                            12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                            35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                            58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

int SizeOf(int magnitude) {
  int size = 0;
  while (magnitude) ++size, magnitude >>= 1;
  return size;
}

// One coefficient rounded to the nearest multiple of its step (raw is eight times the DCT).
JCOEF RoundOne(int raw, int step) {
  const int magnitude = int(float(std::abs(raw)) / float(8 * step) + 0.5f);
  return static_cast<JCOEF>(raw < 0 ? -magnitude : magnitude);
}

using Transform = void (*)(short*);

Transform ChosenTransform() {
  static const Transform chosen = jsimd_can_fdct_islow() ? jsimd_fdct_islow : jpeg_fdct_islow;
  return chosen;
}

}  // namespace

AcCodeLengths LengthsOf(const JHUFF_TBL& table) {
  AcCodeLengths lengths;
  std::memset(lengths.Bits, 16, sizeof lengths.Bits);
  int index = 0;
  for (int bits = 1; bits <= 16; ++bits)
    for (int i = 0; i < table.bits[bits]; ++i) lengths.Bits[table.huffval[index++]] = uint8_t(bits);
  return lengths;
}

void SetCodingTables(j_compress_ptr codec, const JpegCoding& coding) {
  UINT16 chroma[DCTSIZE2];
  if (coding.ChromaQuality > 0) {
    jpeg_set_quality(codec, coding.ChromaQuality, TRUE);
    std::memcpy(chroma, codec->quant_tbl_ptrs[1]->quantval, sizeof chroma);
  }
  jpeg_set_quality(codec, coding.TableQuality, TRUE);
  if (coding.ChromaQuality > 0)
    std::memcpy(codec->quant_tbl_ptrs[1]->quantval, chroma, sizeof chroma);
  if (coding.FullChroma) codec->comp_info[0].h_samp_factor = codec->comp_info[0].v_samp_factor = 1;
}

bool CodedWhole(int32_t width, int32_t height, const JpegCoding& coding) {
  return static_cast<int64_t>(width) * height >= SmallestOwnTablesCopy &&
         CoefficientBytesFor(width, height, coding.FullChroma) <= CoefficientBudget;
}

uint64_t CoefficientBytesFor(int32_t width, int32_t height, bool fullChroma) {
  const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
  const uint64_t luma = (w + 15) / 16 * 2 * ((h + 15) / 16 * 2);
  const uint64_t chroma = fullChroma ? luma : (w + 15) / 16 * ((h + 15) / 16);
  return (luma + 2 * chroma) * sizeof(JBLOCK);
}

void BgrToYcc(const uint8_t* bgr, int32_t width, int32_t paddedWidth, uint8_t* y, uint8_t* cb,
              uint8_t* cr) {
  constexpr int32_t Half = 1 << 15, Offset = 128 << 16;
  for (int32_t x = 0; x < width; ++x, bgr += 3) {
    const int32_t b = bgr[0], g = bgr[1], r = bgr[2];
    y[x] = static_cast<uint8_t>((19595 * r + 38470 * g + 7471 * b + Half) >> 16);
    cb[x] = static_cast<uint8_t>((-11059 * r - 21709 * g + 32768 * b + Offset + Half - 1) >> 16);
    cr[x] = static_cast<uint8_t>((32768 * r - 27439 * g - 5329 * b + Offset + Half - 1) >> 16);
  }
  for (int32_t x = width; x < paddedWidth; ++x) {
    y[x] = y[width - 1];
    cb[x] = cb[width - 1];
    cr[x] = cr[width - 1];
  }
}

void ForwardTransform(const uint8_t* plane, size_t stride, bool halve, JCOEF* block) {
  alignas(32) short work[64];
  for (int row = 0; row < 8; ++row) {
    if (halve) {
      const uint8_t* top = plane + 2 * row * stride;
      const uint8_t* bottom = top + stride;
      for (int col = 0, bias = 1; col < 8; ++col, bias ^= 3)
        work[8 * row + col] = static_cast<short>(
            ((top[2 * col] + top[2 * col + 1] + bottom[2 * col] + bottom[2 * col + 1] + bias) >>
             2) -
            128);
    } else {
      const uint8_t* line = plane + row * stride;
      for (int col = 0; col < 8; ++col) work[8 * row + col] = static_cast<short>(line[col] - 128);
    }
  }
  ChosenTransform()(work);
  for (int i = 0; i < 64; ++i) block[i] = work[i];
}

void CountAcSymbols(const JCOEF* block, long* counts) {
  int run = 0;
  for (int k = 1; k < 64; ++k) {
    const int value = block[Zigzag[k]];
    if (value == 0) {
      ++run;
      continue;
    }
    for (; run > 15; run -= 16) ++counts[0xF0];
    ++counts[(run << 4) | SizeOf(std::abs(value))];
    run = 0;
  }
  if (run > 0) ++counts[0x00];
}

AcCodeLengths OptimalAcLengths(j_compress_ptr codec, long* counts) {
  JHUFF_TBL table;
  std::memset(&table, 0, sizeof table);
  jpeg_gen_optimal_table(codec, &table, counts);
  return LengthsOf(table);
}

void RoundBlock(const JCOEF* raw, const UINT16* quant, JCOEF* out) {
  for (int i = 0; i < 64; ++i) out[i] = RoundOne(raw[i], quant[i]);
}

float LambdaFor(const UINT16* quant, float lambda) {
  float sum = 0;
  for (int i = 1; i < 64; ++i) sum += float(quant[i]) * float(quant[i]);
  return lambda * sum / 63.0f;
}

void ChooseBlock(const JCOEF* raw, const UINT16* quant, const AcCodeLengths& lengths, float lambda,
                 JCOEF* out, bool relative) {
  // Squared error of every position left at zero, summed along the zigzag scan.
  float zeroSum[64];
  float magnitude[64];
  zeroSum[0] = 0;
  for (int k = 1; k < 64; ++k) {
    magnitude[k] = std::abs(float(raw[Zigzag[k]])) * 0.125f;
    if (relative) magnitude[k] /= float(quant[Zigzag[k]]);
    zeroSum[k] = zeroSum[k - 1] + magnitude[k] * magnitude[k];
  }
  // The positions whose rounded value is not zero are the only ones that may carry a value;
  // node 0 is the DC. Each node keeps the cheapest way to code up to it with it the last
  // value so far.
  int position[64], previous[64];
  JCOEF value[64];
  float cost[64];
  position[0] = 0, cost[0] = 0, previous[0] = -1, value[0] = 0;
  int nodes = 1;
  const float zrl = lambda * lengths.Bits[0xF0];
  for (int k = 1; k < 64; ++k) {
    const int step = relative ? 1 : quant[Zigzag[k]];
    const int rounded = int(magnitude[k] / float(step) + 0.5f);
    if (rounded == 0) continue;
    int candidates[2] = {rounded, rounded - 1};
    const int count = rounded > 1 ? 2 : 1;
    float error[2], sizeBits[2];
    int size[2];
    for (int c = 0; c < count; ++c) {
      const float e = magnitude[k] - float(candidates[c] * step);
      error[c] = e * e;
      size[c] = SizeOf(candidates[c]);
      sizeBits[c] = lambda * float(size[c]);
    }
    float best = 3.0e38f;
    int bestFrom = 0, bestValue = rounded;
    for (int j = nodes - 1; j >= 0; --j) {
      // The error of the zeros between grows the further back; past the best, no earlier
      // node can do better.
      const float skipped = zeroSum[k - 1] - zeroSum[position[j]];
      if (skipped >= best) break;
      const int run = k - position[j] - 1;
      const float base = cost[j] + skipped + float(run >> 4) * zrl;
      if (base >= best) continue;
      const int low = (run & 15) << 4;
      for (int c = 0; c < count; ++c) {
        const float total = base + error[c] + sizeBits[c] + lambda * lengths.Bits[low | size[c]];
        if (total < best) best = total, bestFrom = j, bestValue = candidates[c];
      }
    }
    position[nodes] = k, cost[nodes] = best, previous[nodes] = bestFrom;
    value[nodes] = static_cast<JCOEF>(bestValue);
    ++nodes;
  }
  // Where to end the block: after the last value, with an end-of-block code unless at 63.
  const float eob = lambda * lengths.Bits[0x00];
  float best = 3.0e38f;
  int last = 0;
  for (int j = 0; j < nodes; ++j) {
    const float total =
        cost[j] + (zeroSum[63] - zeroSum[position[j]]) + (position[j] < 63 ? eob : 0.0f);
    if (total < best) best = total, last = j;
  }
  std::memset(out, 0, 64 * sizeof(JCOEF));
  out[0] = RoundOne(raw[0], quant[0]);
  for (int j = last; j > 0; j = previous[j]) {
    const int natural = Zigzag[position[j]];
    out[natural] = static_cast<JCOEF>(raw[natural] < 0 ? -value[j] : value[j]);
  }
}

double BlockDistortion(const JCOEF* raw, const UINT16* quant, const JCOEF* quantized) {
  double sum = 0;
  for (int i = 0; i < 64; ++i) {
    const double e = raw[i] * 0.125 - double(quantized[i]) * quant[i];
    sum += e * e;
  }
  return sum;
}

int BlockAcBits(const JCOEF* quantized, const AcCodeLengths& lengths) {
  int bits = 0, run = 0;
  for (int k = 1; k < 64; ++k) {
    const int value = quantized[Zigzag[k]];
    if (value == 0) {
      ++run;
      continue;
    }
    for (; run > 15; run -= 16) bits += lengths.Bits[0xF0];
    const int size = SizeOf(std::abs(value));
    bits += lengths.Bits[(run << 4) | size] + size;
    run = 0;
  }
  if (run > 0) bits += lengths.Bits[0x00];
  return bits;
}

}  // namespace velmora
