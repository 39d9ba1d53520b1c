// The codec's scanline interfaces as the two ends of a row pipeline: JpegRowReader decodes
// JPEG bytes at a DCT scale of eighths into blue, green, red rows, a few at a time;
// JpegRowWriter encodes such rows, holding the copy's coefficients whole when they fit the
// budget. Relies on libjpeg(-turbo), imaging/codec_bridge.h, jpeg_coder.h, toolkit/stream.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/codec_bridge.h"
#include "imaging/jpeg_coder.h"

namespace velmora {

class Stream;

// Why a picture could not be made.
enum class PictureProblem : uint8_t {
  None = 0,
  NotJpeg,       // no JPEG header could be read
  Unsupported,   // a JPEG the codec cannot decode (12-bit samples, an unknown process, ...)
  TooLarge,      // the picture needs more memory than a decode may take
  Damaged,       // the data broke off with a fatal error
  NotInstalled,  // a HEIF/HEIC photo, and the program's HEIF decoder (velmora-heif.dll) is missing
  HeifUnsupported,  // a HEIF file whose picture the HEIF decoder cannot decode (AVIF, ...)
};

// The DCT scale eighths / 8 (1, 2, 4 or 8: the scales the codec has fast transforms for) at
// which to decode a width x height picture that is to become newWidth x newHeight: the
// smallest whose sides are still at least margin times the new ones. A reduced transform
// keeps too much just above its own cut-off, which the resampler could no longer remove
// cleanly; the margin leaves it room (2.6 keeps a ring pattern within a decibel of a
// full-size Lanczos reduction, 2 is enough for a preview).
int32_t DecodeEighthsFor(uint32_t width, uint32_t height, int32_t newWidth, int32_t newHeight,
                         double margin);

// The side the codec gives for side at eighths / 8.
inline uint32_t ScaledSide(uint32_t side, int32_t eighths) {
  return static_cast<uint32_t>((static_cast<uint64_t>(side) * eighths + 7) / 8);
}

// One CMYK pixel as blue, green, red: each ink's uncovered share times the black's. Samples
// stored inverted (the Adobe convention) are the uncovered shares themselves.
inline void CmykToBgr(const uint8_t* cmyk, uint8_t* bgr, bool inverted) {
  const int c = inverted ? cmyk[0] : 255 - cmyk[0];
  const int m = inverted ? cmyk[1] : 255 - cmyk[1];
  const int y = inverted ? cmyk[2] : 255 - cmyk[2];
  const int k = inverted ? cmyk[3] : 255 - cmyk[3];
  bgr[0] = static_cast<uint8_t>((y * k + 127) / 255);
  bgr[1] = static_cast<uint8_t>((m * k + 127) / 255);
  bgr[2] = static_cast<uint8_t>((c * k + 127) / 255);
}

class JpegRowReader {
 public:
  JpegRowReader();
  ~JpegRowReader();
  JpegRowReader(const JpegRowReader&) = delete;
  JpegRowReader& operator=(const JpegRowReader&) = delete;

  // Reads the header of the size JPEG bytes at data, which must stay in place while the
  // reader lives. False (and Problem set) when it cannot be read. With keepMarkers the
  // photo's markers (EXIF, ICC profile) are kept for Markers().
  bool Open(const uint8_t* data, size_t size, bool keepMarkers = false);
  // The same for the JPEG bytes that stream gives from its position on, read a buffer at a
  // time as the decode goes (a file never needs to be in memory whole); the stream must stay
  // open while the reader lives.
  bool Open(Stream* stream, bool keepMarkers = false);
  // Starts the decode at eighths / 8 of the stored size (1..8); OutputWidth and
  // OutputHeight then hold the size of the rows. False (and Problem set) on failure. Always
  // the accurate integer transform: the fast one darkens saturated colours by a level or two,
  // which a reduction does not average out.
  bool Start(int32_t eighths);
  // Decodes up to count rows into rows[0..count), each 3 x OutputWidth bytes, top to bottom;
  // gives the number decoded, 0 at the end or after a failure (Problem set).
  int32_t ReadRows(uint8_t* const* rows, int32_t count);
  // Passes over up to count rows without making them (their data is still read); gives how
  // many, 0 at the end or after a failure (Problem set).
  int32_t SkipRows(int32_t count);
  // Copies of the markers kept by Open(..., true), in file order.
  std::vector<MarkerPayload> Markers() const;

  uint32_t Width = 0;  // stored size, from the header
  uint32_t Height = 0;
  int32_t OutputWidth = 0;
  int32_t OutputHeight = 0;
  int32_t RowsRead = 0;
  PictureProblem Problem = PictureProblem::None;

 private:
  bool Fail(PictureProblem problem);
  // Makes the library object, installs the source (install(d)) and reads the header.
  template <class Install>
  bool ReadHeader(Install install, bool keepMarkers);
  CodecContext* Context;
  bool Created = false;
  bool Cmyk = false;
  bool Inverted = false;         // CMYK samples stored inverted (Adobe marker)
  bool Sequential = false;       // one scan: rows come as the data is read
  JDIMENSION BandRows = 0;       // output rows of one band of blocks
  std::vector<uint8_t> CmykRow;  // four samples per pixel, converted into the caller's row
};

class JpegRowWriter {
 public:
  JpegRowWriter();
  ~JpegRowWriter();
  JpegRowWriter(const JpegRowWriter&) = delete;
  JpegRowWriter& operator=(const JpegRowWriter&) = delete;

  // Starts a baseline JFIF JPEG of width x height promised at quality, appended to out, coded
  // as CodingFor(quality) says. A copy whose coefficients pass CoefficientBudget, or smaller
  // than SmallestOwnTablesCopy, is coded row by row at quality, 4:2:0, with the standard tables.
  // Markers may follow (WriteMarkers), then the rows. A sample of a taller picture's rows
  // passes that picture's height as codedAs, to be coded as the whole would be.
  bool Start(int32_t width, int32_t height, int quality, Stream* out, int32_t codedAs = 0);
  // Writes markers (such as EXIF and ICC profile) after the JFIF header; before the first row.
  bool WriteMarkers(const std::vector<MarkerPayload>& markers);
  // Encodes count rows of 3 x width bytes (blue, green, red), top to bottom.
  bool WriteRows(const uint8_t* const* rows, int32_t count);
  // Ends the picture once every row was written; false when that failed.
  bool Finish();

  bool Failed = false;
  // Whether the copy's coefficients were held whole (optimized tables, and the
  // rate-distortion choice when the coding asks for it); known after Start.
  bool Whole = false;
  JpegCoding Coding;  // how the copy is coded, set by Start

 private:
  // The coefficient path: transforms the strip of rows gathered into its blocks.
  void CodeStrip();
  // Quantizes every block held (rounded or chosen) before the codec writes them.
  void QuantizeAll();
  CodecContext* Context;
  bool Created = false;
  bool Chosen = false;  // the coefficient path with the rate-distortion choice
  jvirt_barray_ptr Arrays[3] = {};
  std::vector<uint8_t> Strip;  // luma, blue and red chroma planes of StripRows x PaddedWidth
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t PaddedWidth = 0;
  int32_t StripRows = 0;
  int32_t RowsInStrip = 0;
  int32_t StripsDone = 0;
  int32_t RowsDone = 0;
};

}  // namespace velmora
