// How the encoder codes a copy: the coding point, pixel strips to the codec's coefficient
// blocks, and the rate-distortion choice of each block's quantized values against Huffman code
// lengths. Relies on libjpeg(-turbo): its forward DCT and its optimal Huffman table builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

namespace velmora {

// One way of coding a picture.
struct JpegCoding {
  int TableQuality = 90;       // the codec's quality scale for the quantization tables
  int ChromaQuality = 0;       // the same for the chroma table; 0: TableQuality
  bool FullChroma = false;     // 4:4:4 instead of 4:2:0
  float Lambda = 0;            // bits against distortion; 0 rounds every coefficient
  bool OptimizeTables = true;  // Huffman tables made for the picture, not the standard ones
  bool Relative = false;       // errors measured in steps of each coefficient's quantizer
};

// The coding a copy promised at quality 90 gets. Chosen by measurement on varied photos so
// that a copy is never worse than the codec's default quality-90 coding of the same pixels in
// PSNR and butteraugli, with fewer bytes; a tool may change it for comparisons.
extern JpegCoding CopyCoding;
// The coding for a promised quality: CopyCoding for 90, the codec's tables of that quality
// with optimized Huffman tables otherwise.
JpegCoding CodingFor(int quality);

// The most bytes of coefficients (two per sample) a copy may hold whole, for the
// rate-distortion choice and for optimized Huffman tables; larger copies are coded row by row
// with the standard tables.
constexpr uint64_t CoefficientBudget = 128ull * 1024 * 1024;
// Whether a copy width x height coded as coding says holds its coefficients whole (its own
// Huffman tables, and the rate-distortion choice when the coding asks for it): from
// SmallestOwnTablesCopy pixels up to CoefficientBudget; otherwise it is coded row by row with
// the standard tables.
bool CodedWhole(int32_t width, int32_t height, const JpegCoding& coding);
// Installs the coding's quantization tables (and sampling) on a codec object whose defaults
// are set.
void SetCodingTables(j_compress_ptr codec, const JpegCoding& coding);

// The fewest pixels a copy needs for tables of its own. The program takes no file of 450 bytes
// or less for a picture; a copy with the standard tables never is one (they alone take 432
// bytes), and one with optimized tables has at least 277 bytes of headers and two bits for
// each of its 1.5 / 64 blocks a pixel, past 450 bytes from 29,500 pixels on.
constexpr int64_t SmallestOwnTablesCopy = 32768;

// Bytes of the whole copy's coefficients for width x height at the sampling.
uint64_t CoefficientBytesFor(int32_t width, int32_t height, bool fullChroma);

// Colour conversion of one blue, green, red row into the luma and two chroma planes, as the
// codec's own conversion does it; the row is widened to paddedWidth by repeating its last
// pixel.
void BgrToYcc(const uint8_t* bgr, int32_t width, int32_t paddedWidth, uint8_t* y, uint8_t* cb,
              uint8_t* cr);

// The codec's forward transform of the 8 x 8 samples at plane (stride bytes a row) into block,
// in natural order and eight times the DCT. With halve, the 16 x 16 samples there are first
// averaged two by two (4:2:0 chroma).
void ForwardTransform(const uint8_t* plane, size_t stride, bool halve, JCOEF* block);

// The bits of each AC symbol (run << 4 | size, 0x00 the end of block, 0xF0 sixteen zeros) of
// one Huffman table; symbols without a code count as the longest code.
struct AcCodeLengths {
  uint8_t Bits[256];
};
// The code lengths of a Huffman table of the codec's.
AcCodeLengths LengthsOf(const JHUFF_TBL& table);
// Counts the AC symbols of a quantized block (natural order) into counts[0..256).
void CountAcSymbols(const JCOEF* block, long* counts);
// The lengths of the codec's optimal table for counts[0..257) (which it changes).
AcCodeLengths OptimalAcLengths(j_compress_ptr codec, long* counts);

// Plain quantization of a transformed block (eight times the DCT) by quant (natural order):
// every coefficient rounded to the nearest step.
void RoundBlock(const JCOEF* raw, const UINT16* quant, JCOEF* out);
// The rate-distortion choice of the block's quantized AC values (DC rounded): the values,
// runs of zeros and end of block that minimise squared error plus lambda times the bits of
// their codes under lengths. Each value is the rounded one, one step nearer zero, or zero.
// With relative, each error is measured in steps of its quantizer (the tables' own weighting).
void ChooseBlock(const JCOEF* raw, const UINT16* quant, const AcCodeLengths& lengths, float lambda,
                 JCOEF* out, bool relative = false);
// Squared error in the pixel domain of quantized against raw, and the AC bits under lengths.
double BlockDistortion(const JCOEF* raw, const UINT16* quant, const JCOEF* quantized);
int BlockAcBits(const JCOEF* quantized, const AcCodeLengths& lengths);
// The weight of bits for a quantization table at a coding's lambda.
float LambdaFor(const UINT16* quant, float lambda);

}  // namespace velmora
