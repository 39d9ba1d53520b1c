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

// A baseline RGB JPEG of width x height at quality; fill(row, y) writes the samples of row y.
template <class Fill>
std::vector<uint8_t> EncodeRgbJpeg(int width, int height, int quality, Fill fill) {
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
  for (JSAMPROW rows[1] = {row.data()}; info.next_scanline < info.image_height;) {
    fill(row.data(), static_cast<int>(info.next_scanline));
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> result(out, out + outSize);
  std::free(out);
  return result;
}

// A baseline JPEG of the four quadrant colours with a fine grain of up to 7
// levels either way, so that it codes like a photograph.
inline std::vector<uint8_t> MakeQuadrantJpeg(int width, int height, int quality = 95) {
  return EncodeRgbJpeg(width, height, quality, [&](JSAMPLE* row, int y) {
    for (unsigned x = 0; x < unsigned(width); ++x)
      for (int c = 0; c < 3; ++c)
        row[x * 3 + c] = static_cast<JSAMPLE>(
            kQuadrants[(y >= height / 2 ? 2 : 0) + (x >= unsigned(width) / 2)][c] +
            static_cast<int>(((x * 37u + y * 91u) ^ (x * y)) % 15) - 7);
  });
}

// A JPEG of random grain at quality 95, which hardly compresses: large files from small sizes.
inline std::vector<uint8_t> MakeGrainJpeg(int width, int height, unsigned seed = 1) {
  return EncodeRgbJpeg(width, height, 95, [&](JSAMPLE* row, int) {
    for (int i = 0; i < width * 3; ++i) {
      seed = seed * 1103515245u + 12345u;
      row[i] = static_cast<JSAMPLE>(seed >> 16);
    }
  });
}

// Where the baseline frame header (SOF0) starts, or the size when there is none. Outside
// marker segments a 0xFF byte is followed only by 0x00 or a marker, and the test pictures
// carry no segment that could hold these two bytes.
inline size_t FrameOffset(const std::vector<uint8_t>& b) {
  const uint8_t sof0[2] = {0xFF, 0xC0};
  return static_cast<size_t>(std::search(b.begin(), b.end(), sof0, sof0 + 2) - b.begin());
}

struct JpegFacts {
  bool Valid = false, Baseline = false;
  int Width = 0, Height = 0, Components = 0;
  std::vector<uint16_t> Tables;  // luminance then chrominance, natural order
  Rgb Centres[4] = {};           // the decoded quadrants' centres
};

inline jmp_buf jpegFailure;

// Decodes the file; a fatal libjpeg error jumps back and leaves Valid false (no object with
// a destructor is made between setjmp and the library calls).
inline JpegFacts InspectJpeg(const std::vector<uint8_t>& bytes) {
  JpegFacts facts;
  facts.Baseline = FrameOffset(bytes) < bytes.size();
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  JSAMPLE* volatile pixels = nullptr;
  info.err = jpeg_std_error(&errors);
  errors.error_exit = [](j_common_ptr) { longjmp(jpegFailure, 1); };
  errors.emit_message = [](j_common_ptr, int) {};
  if (setjmp(jpegFailure) == 0) {
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    facts.Components = info.num_components;
    for (int t = 0; t < 2 && info.quant_tbl_ptrs[t]; ++t)
      facts.Tables.insert(facts.Tables.end(), info.quant_tbl_ptrs[t]->quantval,
                          info.quant_tbl_ptrs[t]->quantval + DCTSIZE2);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const int w = facts.Width = static_cast<int>(info.output_width);
    const int h = facts.Height = static_cast<int>(info.output_height);
    pixels = static_cast<JSAMPLE*>(std::malloc(static_cast<size_t>(w) * 3 * h));
    while (info.output_scanline < info.output_height) {
      JSAMPROW rows[1] = {pixels + static_cast<size_t>(w) * 3 * info.output_scanline};
      jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    for (int q = 0; q < 4; ++q) {
      const JSAMPLE* p = pixels + static_cast<size_t>(w) * 3 * ((q & 2) ? h * 3 / 4 : h / 4) +
                         3 * ((q & 1) ? w * 3 / 4 : w / 4);
      facts.Centres[q] = {p[0], p[1], p[2]};
    }
    facts.Valid = true;
  }
  jpeg_destroy_decompress(&info);
  std::free(pixels);
  return facts;
}

// Whether the pane shows the quadrant picture of w x h as large as fits with its shape kept,
// in the top left corner, with the background beyond it. Reads the screen.
inline bool PaneShowsQuadrants(HWND pane, int w, int h, std::string* why = nullptr) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  ScreenShot shot;
  if (!shot.Capture(ScreenRect(pane, true))) return false;
  auto colorAt = [&](int x, int y) {
    const uint32_t c = shot.Pixels[static_cast<size_t>(y) * shot.Width + x];
    return Rgb{int(c >> 16), int(c >> 8 & 255), int(c & 255)};
  };
  const double scale = std::min(double(shot.Width) / w, double(shot.Height) / h);
  const int fitW = static_cast<int>(w * scale), fitH = static_cast<int>(h * scale);
  for (int q = 0; q < 4; ++q) {
    const int x = (q & 1) ? fitW * 3 / 4 : fitW / 4, y = (q & 2) ? fitH * 3 / 4 : fitH / 4;
    *why = "quadrant " + std::to_string(q) + " is not shown";
    if (!Near(colorAt(x, y), kQuadrants[q])) return false;
  }
  const POINT beyond =
      fitW + 8 < shot.Width ? POINT{fitW + 4, shot.Height / 2} : POINT{shot.Width / 2, fitH + 4};
  *why = "the picture reaches beyond its fitted size";
  return beyond.y >= shot.Height || std::none_of(kQuadrants, kQuadrants + 4, [&](const Rgb& c) {
           return Near(colorAt(beyond.x, beyond.y), c);
         });
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
