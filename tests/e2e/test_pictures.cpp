// Test pictures written and read through libjpeg, with fatal library errors turned into
// a failed result by setjmp/longjmp (no C++ object with a destructor lives across the calls).
#include "e2e/test_pictures.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace velmora::e2e {

const Rgb QuadrantColors[4] = {{210, 40, 40}, {40, 170, 60}, {40, 60, 200}, {230, 210, 40}};

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.R - b.R) <= tolerance && std::abs(a.G - b.G) <= tolerance &&
         std::abs(a.B - b.B) <= tolerance;
}

namespace {

struct ErrorTrap {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
};

void LeaveOnError(j_common_ptr info) { longjmp(reinterpret_cast<ErrorTrap*>(info->err)->Jump, 1); }
void Quiet(j_common_ptr, int) {}

// The offset of the frame header's marker (SOFn), or 0. libjpeg tells progressive from
// sequential but not baseline (SOF0) from extended (SOF1), so the markers are read.
size_t FrameOffset(const std::vector<uint8_t>& b) {
  size_t i = 2;
  while (i + 9 <= b.size() && b[i] == 0xFF) {
    const int marker = b[i + 1];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      return i;
    i += marker == 0xFF ? 1 : 2 + ((static_cast<size_t>(b[i + 2]) << 8) | b[i + 3]);
  }
  return 0;
}

}  // namespace

std::vector<uint8_t> MakeQuadrantJpeg(int width, int height) {
  // Coding pixels the test made cannot fail, so libjpeg's own error handling stays.
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &out, &outSize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb& c = QuadrantColors[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
      const unsigned ux = static_cast<unsigned>(x), uy = static_cast<unsigned>(y);
      const int grain = static_cast<int>(((ux * 37u + uy * 91u) ^ (ux * uy)) % 15) - 7;
      row[x * 3] = static_cast<JSAMPLE>(c.R + grain);
      row[x * 3 + 1] = static_cast<JSAMPLE>(c.G + grain);
      row[x * 3 + 2] = static_cast<JSAMPLE>(c.B + grain);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> result(out, out + outSize);
  std::free(out);
  return result;
}

bool SetFrameSize(std::vector<uint8_t>* jpeg, int width, int height) {
  const size_t i = FrameOffset(*jpeg);
  if (i == 0) return false;
  // After the marker: length (2), precision (1), height (2), width (2).
  const uint8_t size[4] = {static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                           static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width)};
  std::copy(size, size + 4, jpeg->begin() + static_cast<std::ptrdiff_t>(i + 5));
  return true;
}

JpegFacts InspectJpeg(const std::vector<uint8_t>& bytes) {
  JpegFacts facts;
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return facts;
  const size_t frame = FrameOffset(bytes);
  facts.Baseline = frame != 0 && bytes[frame + 1] == 0xC0;

  jpeg_decompress_struct info;
  ErrorTrap trap;
  JSAMPLE* pixels = nullptr;
  info.err = jpeg_std_error(&trap.Manager);
  trap.Manager.error_exit = LeaveOnError;
  trap.Manager.emit_message = Quiet;
  if (setjmp(trap.Jump) != 0) {
    jpeg_destroy_decompress(&info);
    std::free(pixels);
    facts.Valid = false;
    return facts;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  facts.Width = static_cast<int>(info.image_width);
  facts.Height = static_cast<int>(info.image_height);
  facts.Components = info.num_components;
  for (int t = 0; t < 2; ++t) {
    if (info.quant_tbl_ptrs[t] == nullptr) continue;
    (t == 0 ? facts.LumaTable : facts.ChromaTable)
        .assign(info.quant_tbl_ptrs[t]->quantval, info.quant_tbl_ptrs[t]->quantval + DCTSIZE2);
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const size_t stride = static_cast<size_t>(info.output_width) * 3;
  pixels = static_cast<JSAMPLE*>(std::malloc(stride * info.output_height));
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {pixels + stride * info.output_scanline};
    jpeg_read_scanlines(&info, rows, 1);
  }
  jpeg_finish_decompress(&info);
  const int w = static_cast<int>(info.output_width), h = static_cast<int>(info.output_height);
  for (int q = 0; q < 4; ++q) {
    const JSAMPLE* p = pixels + stride * ((q & 2) ? h * 3 / 4 : h / 4) +
                       3 * static_cast<size_t>((q & 1) ? w * 3 / 4 : w / 4);
    facts.QuadrantCentres[q] = {p[0], p[1], p[2]};
  }
  jpeg_destroy_decompress(&info);
  std::free(pixels);
  facts.Valid = true;
  return facts;
}

void QualityTables(int quality, std::vector<uint16_t>* luma, std::vector<uint16_t>* chroma) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  info.in_color_space = JCS_RGB;
  info.input_components = 3;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  luma->assign(info.quant_tbl_ptrs[0]->quantval, info.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
  chroma->assign(info.quant_tbl_ptrs[1]->quantval, info.quant_tbl_ptrs[1]->quantval + DCTSIZE2);
  jpeg_destroy_compress(&info);
}

}  // namespace velmora::e2e
