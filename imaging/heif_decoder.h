// HEIF/HEIC photos (iPhone pictures) through velmora-heif.dll, loaded by its full path from the
// program's own folder and never linked: when it is missing, everything else works and HEIF
// files are refused as not installed. Relies on heif/velmora_heif.h (the DLL's C interface),
// imaging/streaming.h and imaging/photo_metadata.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/photo_metadata.h"
#include "imaging/streaming.h"

struct VelmoraHeif;

namespace velmora {

// Why a HEIF photo cannot be decoded.
enum class HeifProblem : uint8_t {
  None = 0,
  NotInstalled,  // velmora-heif.dll is missing or not of this program's interface
  Unreadable,    // the file could not be opened or read
  NotHeif,       // no HEIF file
  Unsupported,   // a HEIF file whose picture is not HEVC-coded (AVIF, ...)
  TooLarge,      // more than HeifMaxPixels
  Damaged,       // broken structure or coded picture
  NoMemory,      // the decode's memory could not be had
};

// The largest primary image decoded: 64 MP upright, 192 MB as blue, green, red. Decoding
// holds about 3 bytes a pixel in the DLL (4 with an alpha plane) plus the coded planes while
// converting; a HeifSource reading its rows adds nothing.
constexpr uint64_t HeifMaxPixels = 64ull * 1024 * 1024;

// Whether data (a file's first bytes, 32 or more make sure) opens with the ftyp box of a
// HEIF file: a major or compatible brand heic, heix, hevc, hevx, heim, heis, hevm, hevs, mif1,
// mif2 or msf1. Needs no DLL.
bool LooksLikeHeif(const uint8_t* data, size_t size);

struct HeifCalls;

// The loaded DLL with its resolved entry points; unloaded when destroyed.
class HeifLibrary {
 public:
  // Loads the DLL at the UTF-8 path (a full path; the search order is never used).
  explicit HeifLibrary(const std::string& path);
  ~HeifLibrary();
  HeifLibrary(const HeifLibrary&) = delete;
  HeifLibrary& operator=(const HeifLibrary&) = delete;

  // Every entry point was found and the DLL speaks this program's interface.
  bool Loaded() const { return Calls != nullptr; }
  const HeifCalls* Entry() const { return Calls.get(); }

  // velmora-heif.dll in the running executable's folder, loaded on first use, kept for the
  // process's life.
  static const HeifLibrary& Installed();

 private:
  void* Module = nullptr;
  std::unique_ptr<HeifCalls> Calls;
};

struct HeifFacts {
  HeifProblem Problem = HeifProblem::None;
  uint32_t Width = 0;   // upright, as the file's rotation and mirroring turn it; set as soon as
  uint32_t Height = 0;  // the structure was read (also when too large)
  bool HasAlpha = false;
  int BitDepth = 0;  // coded bits per sample; decodes give 8

  bool Usable() const { return Problem == HeifProblem::None; }
};

// One open HEIF file or block of bytes.
class HeifImage {
 public:
  explicit HeifImage(const HeifLibrary& library = HeifLibrary::Installed()) : Library(library) {}
  ~HeifImage();
  HeifImage(const HeifImage&) = delete;
  HeifImage& operator=(const HeifImage&) = delete;

  // Reads the file's structure (no pixels). Facts() tells the outcome.
  HeifProblem Open(const std::string& path);
  HeifProblem OpenBytes(const uint8_t* data, size_t size);
  const HeifFacts& Facts() const { return Known; }
  // The photo's EXIF block as a JPEG APP1 payload ("Exif\0\0", TIFF) and its ICC profile;
  // Orientation stays 1, as the decoded pixels are upright already.
  PhotoDetails Details() const;
  // Decodes the pixels into the DLL (refusing more than HeifMaxPixels first).
  HeifProblem Decode();
  // Copies count decoded rows from first on as blue, green, red into rows[i].
  bool ReadRows(uint32_t first, uint32_t count, uint8_t* const* rows) const;

 private:
  HeifProblem Fail(HeifProblem problem);
  HeifProblem Opened(int status);
  void Reset();
  const HeifLibrary& Library;
  VelmoraHeif* Handle = nullptr;
  HeifFacts Known;
  std::vector<uint8_t> Exif;  // the TIFF structure, as the DLL gives it
  std::vector<uint8_t> Icc;
  bool Decoded = false;
};

// The decoded rows of an image as a row source for the resampling pipeline, so a shrink
// needs no second copy of the picture. The image must be decoded first.
class HeifSource : public RowSource {
 public:
  explicit HeifSource(const HeifImage& image) : Image(image) {}
  int32_t Width() const override { return static_cast<int32_t>(Image.Facts().Width); }
  int32_t Height() const override { return static_cast<int32_t>(Image.Facts().Height); }
  int32_t ReadRows(uint8_t* const* rows, int32_t count) override;
  const HeifImage& Image;
  int32_t Next = 0;
};

// The facts of the file at path, without decoding.
HeifFacts InspectHeifFile(const std::string& path,
                          const HeifLibrary& library = HeifLibrary::Installed());

}  // namespace velmora
