// Helpers for the imaging tests: JPEG files made from synthetic pixels with libjpeg
// directly (never through the code under test), reference decodes, and memory streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "toolkit/stream.h"

namespace velmora::test {

using Bytes = std::vector<uint8_t>;

// Sample of component c at (x, y).
using PixelFn = std::function<uint8_t(int x, int y, int c)>;

struct EncodeOptions {
  int Quality = 95;
  bool Progressive = false;
  bool FullChroma = true;                 // 4:4:4 instead of the default 4:2:0
  J_COLOR_SPACE FileSpace = JCS_UNKNOWN;  // JCS_UNKNOWN: the library's default for the input
  int RestartRows = 0;
};

// Encodes width x height pixels of components samples each (1 gray, 3 RGB, 4 CMYK).
inline Bytes EncodeJpeg(int width, int height, int components, const PixelFn& pixel,
                        const EncodeOptions& options = {}) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, options.Quality, TRUE);
  if (options.FileSpace != JCS_UNKNOWN) jpeg_set_colorspace(&c, options.FileSpace);
  if (options.FullChroma) {
    for (int i = 0; i < c.num_components; ++i) {
      c.comp_info[i].h_samp_factor = 1;
      c.comp_info[i].v_samp_factor = 1;
    }
  }
  if (options.Progressive) jpeg_simple_progression(&c);
  c.restart_in_rows = options.RestartRows;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * components);
  while (c.next_scanline < c.image_height) {
    int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < components; ++k)
        row[static_cast<size_t>(x) * components + k] = pixel(x, y, k);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  Bytes result(out, out + outSize);
  jpeg_destroy_compress(&c);
  std::free(out);
  return result;
}

struct Decoded {
  int Width = 0;
  int Height = 0;
  int Components = 0;
  std::vector<uint8_t> Samples;  // rows top-down, samples in the library's order
  uint8_t At(int x, int y, int c) const {
    return Samples[(static_cast<size_t>(y) * Width + x) * Components + c];
  }
};

// Reference decode of a valid file with libjpeg directly (RGB or gray or CMYK samples).
inline Decoded DecodeReference(const Bytes& bytes) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  Decoded result;
  result.Width = static_cast<int>(d.output_width);
  result.Height = static_cast<int>(d.output_height);
  result.Components = d.output_components;
  result.Samples.resize(static_cast<size_t>(result.Width) * result.Height * result.Components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW rows[1] = {result.Samples.data() +
                        static_cast<size_t>(d.output_scanline) * result.Width * result.Components};
    jpeg_read_scanlines(&d, rows, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return result;
}

// A memory stream holding bytes, positioned at 0. Free it with FreeObject.
inline Stream* StreamOf(const Bytes& bytes) {
  Stream* s = MakeMemoryStream();
  if (!bytes.empty()) s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

inline Bytes BytesOf(Stream* s) {
  auto* p = static_cast<const uint8_t*>(s->Memory);
  return p ? Bytes(p, p + s->Size()) : Bytes();
}

// Offset of the first marker 0xFF code after SOI (segments walked by their lengths), or -1.
inline int FindMarker(const Bytes& bytes, uint8_t code) {
  size_t i = 2;
  while (i + 4 <= bytes.size()) {
    if (bytes[i] != 0xFF) return -1;
    if (bytes[i + 1] == code) return static_cast<int>(i);
    if (bytes[i + 1] == 0xDA) return -1;  // entropy data follows
    i += 2 + (static_cast<size_t>(bytes[i + 2]) << 8 | bytes[i + 3]);
  }
  return -1;
}

// The file with the frame size in its SOF0/SOF2 header replaced.
inline Bytes WithFrameSize(Bytes bytes, uint16_t width, uint16_t height) {
  int sof = FindMarker(bytes, 0xC0);
  if (sof < 0) sof = FindMarker(bytes, 0xC2);
  if (sof < 0) return bytes;
  bytes[sof + 5] = static_cast<uint8_t>(height >> 8);
  bytes[sof + 6] = static_cast<uint8_t>(height);
  bytes[sof + 7] = static_cast<uint8_t>(width >> 8);
  bytes[sof + 8] = static_cast<uint8_t>(width);
  return bytes;
}

// The file grown to exactly size bytes by a comment segment after SOI (size must exceed
// the file's size by at least 4).
inline Bytes PaddedTo(const Bytes& bytes, size_t size) {
  size_t extra = size - bytes.size();
  size_t length = extra - 2;  // the segment's length field counts itself
  Bytes result(bytes.begin(), bytes.begin() + 2);
  result.push_back(0xFF);
  result.push_back(0xFE);
  result.push_back(static_cast<uint8_t>(length >> 8));
  result.push_back(static_cast<uint8_t>(length));
  result.insert(result.end(), length - 2, 'x');
  result.insert(result.end(), bytes.begin() + 2, bytes.end());
  return result;
}

inline std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "velmora_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace velmora::test
