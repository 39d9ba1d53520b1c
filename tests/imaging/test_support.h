// Helpers for the imaging and app tests: JPEG files made from synthetic pixels with libjpeg
// directly (never through the code under test), reference decodes, memory streams, temporary
// files and folders, a count of frees, and a program run with its output.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <jpeglib.h>

#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "toolkit/stream.h"

namespace velmora::test {

using Bytes = std::vector<uint8_t>;

struct EncodeOptions {
  int Quality = 95;
  bool Progressive = false;
  bool FullChroma = true;                 // 4:4:4 instead of the default 4:2:0
  J_COLOR_SPACE FileSpace = JCS_UNKNOWN;  // JCS_UNKNOWN: the library's default for the input
  int RestartRows = 0;
};

// Encodes width x height pixels of components samples each (1 gray, 2 unknown, 3 RGB, 4 CMYK);
// fill(row, y) writes the samples of row y.
inline Bytes EncodeJpegRows(int width, int height, int components,
                            const std::function<void(uint8_t* row, int y)>& fill,
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
  c.in_color_space = std::vector{JCS_GRAYSCALE, JCS_UNKNOWN, JCS_RGB, JCS_CMYK}[components - 1];
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, options.Quality, TRUE);
  if (options.FileSpace != JCS_UNKNOWN) jpeg_set_colorspace(&c, options.FileSpace);
  for (int i = 0; options.FullChroma && i < c.num_components; ++i)
    c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  if (options.Progressive) jpeg_simple_progression(&c);
  c.restart_in_rows = options.RestartRows;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * components);
  for (JSAMPROW rows[1] = {row.data()}; c.next_scanline < c.image_height;) {
    fill(row.data(), static_cast<int>(c.next_scanline));
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  Bytes result(out, out + outSize);
  jpeg_destroy_compress(&c);
  std::free(out);
  return result;
}

// pixel(x, y, c) gives sample c at (x, y).
inline Bytes EncodeJpeg(int width, int height, int components,
                        const std::function<uint8_t(int x, int y, int c)>& pixel,
                        const EncodeOptions& options = {}) {
  return EncodeJpegRows(
      width, height, components,
      [&](uint8_t* row, int y) {
        for (int i = 0; i < width * components; ++i)
          row[i] = pixel(i / components, y, i % components);
      },
      options);
}

// A picture of one colour, any size, encoded quickly (4:2:0, quality 90).
inline Bytes EncodeFlatJpeg(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  std::vector<uint8_t> colour(static_cast<size_t>(width) * 3);
  for (size_t i = 0; i < colour.size(); i += 3)
    colour[i] = red, colour[i + 1] = green, colour[i + 2] = blue;
  return EncodeJpegRows(width, height, 3,
                        [&](uint8_t* row, int) { std::copy(colour.begin(), colour.end(), row); },
                        {.Quality = 90, .FullChroma = false});
}

struct Decoded {
  int Width = 0, Height = 0, Components = 0;
  std::vector<uint8_t> Samples;  // rows top-down, samples in the library's order
  uint8_t At(int x, int y, int c) const {
    return Samples[(static_cast<size_t>(y) * Width + x) * Components + c];
  }
};

// Reference decode of a valid file with libjpeg directly.
inline Decoded DecodeReference(const Bytes& bytes) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  Decoded r{int(d.output_width), int(d.output_height), d.output_components, {}};
  r.Samples.resize(static_cast<size_t>(r.Width) * r.Height * r.Components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW rows[1] = {&r.Samples[size_t(d.output_scanline) * r.Width * r.Components]};
    jpeg_read_scanlines(&d, rows, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return r;
}

// A memory stream holding bytes, positioned at 0.
inline Stream* StreamOf(const Bytes& bytes) {
  Stream* s = MakeMemoryStream();
  if (!bytes.empty()) s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

inline Bytes BytesOf(Stream* s) {
  auto* p = static_cast<const uint8_t*>(s->Memory);
  return Bytes(p, p + (p ? s->Size() : 0));
}

// A JpegImage that has read bytes.
inline JpegImage* Loaded(const Bytes& bytes) {
  JpegImage* image = MakeJpegImage();
  Stream* s = StreamOf(bytes);
  image->ReadFrom(s);
  FreeObject(s);
  return image;
}

// The copy the shrink makes of jpeg at scale, empty when it makes none; report says why.
inline Bytes Shrunk(const Bytes& jpeg, ShrinkScale scale, ShrinkReport* report = nullptr) {
  Stream* out = MakeMemoryStream();
  ShrinkReport local;
  const bool made = ShrinkJpegCopies(jpeg.data(), jpeg.size(), nullptr, &scale, 1, &out,
                                     report ? report : &local);
  Bytes bytes = made ? BytesOf(out) : Bytes();
  FreeObject(out);
  return bytes;
}

// What the image writes to a fresh stream.
inline Bytes WrittenBytes(JpegImage* image) {
  Stream* s = MakeMemoryStream();
  image->WriteTo(s);
  Bytes bytes = BytesOf(s);
  FreeObject(s);
  return bytes;
}

inline int QuadrantOf(int x, int y, int w, int h) { return (x >= w / 2) + 2 * (y >= h / 2); }

// Offset of the first marker 0xFF code after SOI (segments walked by their lengths), or -1.
inline int FindMarker(const Bytes& bytes, uint8_t code) {
  for (size_t i = 2; i + 4 <= bytes.size() && bytes[i] == 0xFF;
       i += 2 + (size_t(bytes[i + 2]) << 8 | bytes[i + 3])) {
    if (bytes[i + 1] == code) return static_cast<int>(i);
    if (bytes[i + 1] == 0xDA) break;  // entropy data follows
  }
  return -1;
}

// Whether one of the file's AC Huffman tables is the codec's standard luma or chroma table.
inline bool HasStandardAcTable(const Bytes& file) {
  const uint8_t luma[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
  const uint8_t chroma[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
  for (size_t i = 2; i + 4 <= file.size() && file[i] == 0xFF && file[i + 1] != 0xDA;
       i += 2 + (size_t(file[i + 2]) << 8 | file[i + 3])) {
    const size_t end = i + 2 + (size_t(file[i + 2]) << 8 | file[i + 3]);
    for (size_t t = i + 4; file[i + 1] == 0xC4 && t + 17 <= end;) {
      const uint8_t* counts = &file[t + 1];
      if ((file[t] >> 4) == 1 &&
          (std::equal(counts, counts + 16, luma) || std::equal(counts, counts + 16, chroma)))
        return true;
      int symbols = 0;
      for (int k = 0; k < 16; ++k) symbols += counts[k];
      t += 17 + symbols;
    }
  }
  return false;
}

// The file with the frame size in its SOF0/SOF2 header replaced.
inline Bytes WithFrameSize(Bytes bytes, uint16_t width, uint16_t height) {
  int sof = std::max(FindMarker(bytes, 0xC0), FindMarker(bytes, 0xC2));
  const uint8_t size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                           uint8_t(width)};
  if (sof > 0) std::copy(size, size + 4, bytes.begin() + sof + 5);
  return bytes;
}

// A scan that uses Huffman tables the file never defines: fatal before any row.
inline Bytes WithUndefinedTables(Bytes bytes) {
  int sos = FindMarker(bytes, 0xDA);
  for (int i = 0; sos > 0 && i < bytes[sos + 4]; ++i) bytes[sos + 6 + 2 * i] = 0x33;
  return bytes;
}

// The file grown to exactly size bytes (at least 4 more) by a comment segment after SOI.
inline Bytes PaddedTo(const Bytes& bytes, size_t size) {
  size_t length = size - bytes.size() - 2;  // the segment's length field counts itself
  const uint8_t head[6] = {0xFF, 0xD8, 0xFF, 0xFE, uint8_t(length >> 8), uint8_t(length)};
  Bytes result(size, 'x');
  std::copy(head, head + 6, result.begin());
  std::copy(bytes.begin() + 2, bytes.end(), result.end() - (bytes.size() - 2));
  return result;
}

// The picture with the block as an APP1 (EXIF) marker right after SOI.
inline Bytes WithExif(const Bytes& picture, const Bytes& block) {
  Bytes file(4 + 2 + block.size() + picture.size() - 2);
  const uint8_t head[6] = {
      0xFF, 0xD8, 0xFF, 0xE1, uint8_t((block.size() + 2) >> 8), uint8_t(block.size() + 2)};
  std::copy(picture.begin() + 2, picture.end(),
            std::copy(block.begin(), block.end(), std::copy(head, head + 6, file.begin())));
  return file;
}

inline std::string TempPath(const std::string& name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "velmora_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

// The whole content of a file (nothing when it cannot be opened).
inline Bytes ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

// Writes bytes to the temporary file of that name and returns its path.
inline std::string WriteTempFile(const std::string& name, const Bytes& bytes) {
  std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return path;
}

// A folder of the test's own in the temporary folder (its path ends in '\\'), removed with what
// is in it.
struct TempFolder {
  std::string Path;
  explicit TempFolder(const std::string& name) : Path(TempPath(name) + "\\") {
    CreateDirectoryA(Path.c_str(), nullptr);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return Path + name;
  }
};

// Counts the frees of the objects it watches.
struct FreeCount {
  int Count = 0;
  static void Note(void* counter, ObjectBase*) { ++static_cast<FreeCount*>(counter)->Count; }
  template <class T>
  T* Watch(T* object) {
    object->OnDestroy = MakeCallback(this, &Note);
    return object;
  }
};

// Runs a program from its command line (UTF-16) and waits up to a minute for it: its exit code
// and its standard output and error, without carriage returns.
inline std::tuple<DWORD, std::string, std::string> RunProgram(std::wstring commandLine) {
  const std::string paths[2] = {TempPath("program.out"), TempPath("program.err")};
  std::string text[2];
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE* outputs[2] = {&startup.hStdOutput, &startup.hStdError};
  for (int i = 0; i < 2; ++i)
    *outputs[i] = CreateFileA(paths[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process = {};
  DWORD exitCode = 0xFFFFFFFF;
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (int i = 0; i < 2; ++i) {
    CloseHandle(*outputs[i]);
    for (uint8_t b : ReadFileBytes(paths[i]))
      if (b != '\r') text[i] += static_cast<char>(b);
    DeleteFileA(paths[i].c_str());
  }
  return {exitCode, text[0], text[1]};
}

}  // namespace velmora::test
