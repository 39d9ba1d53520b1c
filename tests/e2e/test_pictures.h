// The end-to-end tests' picture: a JPEG of four coloured quadrants made through libjpeg
// directly (sharing no code with the program), and the size line the program shows for a
// picture. Relies on libjpeg and e2e/app_driver.h.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>  // needs size_t and FILE declared first

#include "e2e/app_driver.h"

namespace velmora::e2e {

using Rgb = std::array<int, 3>;
// Top-left, top-right, bottom-left and bottom-right.
constexpr Rgb kQuadrants[4] = {{210, 40, 40}, {40, 170, 60}, {40, 60, 200}, {230, 210, 40}};

inline bool Near(const Rgb& a, const Rgb& b) {
  return std::equal(a.begin(), a.end(), b.begin(), [](int x, int y) { return abs(x - y) <= 24; });
}

// A baseline JPEG of the four quadrant colours with a fine grain of up to 7
// levels either way, so that it codes like a photograph.
inline std::vector<uint8_t> MakeQuadrantJpeg(int width, int height, int quality = 95) {
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
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (unsigned y = 0; y < info.image_height; ++y) {
    for (unsigned x = 0; x < info.image_width; ++x)
      for (int c = 0; c < 3; ++c)
        row[x * 3 + c] = static_cast<JSAMPLE>(
            kQuadrants[(y >= info.image_height / 2 ? 2 : 0) + (x >= info.image_width / 2)][c] +
            static_cast<int>(((x * 37u + y * 91u) ^ (x * y)) % 15) - 7);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> result(out, out + outSize);
  std::free(out);
  return result;
}

// A JPEG of random grain at quality 95, which hardly compresses: large files from small sizes.
inline std::vector<uint8_t> MakeGrainJpeg(int width, int height, unsigned seed = 1) {
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
  while (info.next_scanline < info.image_height) {
    for (JSAMPLE& sample : row) {
      seed = seed * 1103515245u + 12345u;
      sample = static_cast<JSAMPLE>(seed >> 16);
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

// The width and height in a JPEG's header; 0 x 0 when the bytes hold none.
struct PixelSize {
  int Width = 0, Height = 0;
  bool operator==(const PixelSize&) const = default;
};
inline jmp_buf& HeaderFailure() {
  static jmp_buf jump;
  return jump;
}
inline PixelSize JpegSizeOf(const std::vector<uint8_t>& bytes) {
  PixelSize size;
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  errors.error_exit = [](j_common_ptr) { longjmp(HeaderFailure(), 1); };
  errors.emit_message = [](j_common_ptr, int) {};
  jpeg_create_decompress(&info);
  if (setjmp(HeaderFailure()) == 0 && !bytes.empty()) {
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    size = {static_cast<int>(info.image_width), static_cast<int>(info.image_height)};
  }
  jpeg_destroy_decompress(&info);
  return size;
}

// "Size: WxH , K.H Kb": whole kilobytes, then the hundredths of a kilobyte as a plain number.
inline std::string SizeText(int w, int h, size_t bytes) {
  char text[96];
  std::snprintf(text, sizeof text, "Size: %dx%d , %u.%u Kb", w, h,
                static_cast<unsigned>(bytes >> 10),
                static_cast<unsigned>(((bytes & 1023) * 100) >> 10));
  return text;
}

// Writes the quadrant picture of w x h to path; the path.
inline std::string WritePicture(const std::string& path, int w, int h) {
  EXPECT_TRUE(WriteFileBytes(path, MakeQuadrantJpeg(w, h))) << path;
  return path;
}

}  // namespace velmora::e2e
