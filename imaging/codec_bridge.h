// The bridge between JPEG image objects and libjpeg: the per-operation CodecContext, the
// error manager that leaves the library by longjmp on a fatal error, the source and destination
// managers that read and write JPEG bytes through toolkit Streams, and the photo markers kept
// on reading and written on encoding. Relies on libjpeg(-turbo), toolkit/stream.h and
// imaging/photo_metadata.h.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <vector>

#include <jpeglib.h>

#include "imaging/photo_metadata.h"

namespace velmora {

class JpegImage;
class Stream;

// Set by the error manager on every fatal library error; cleared and read by the image
// operations. One flag per thread: an image operation runs its library calls on the thread
// that asked for it, while pictures shrink on other threads (decoders, batch workers).
extern thread_local uint8_t CodecErrorFlag;

// The library's error manager plus the jump point of the operation in progress. A fatal
// error sets CodecErrorFlag and long-jumps to Jump, out of the library call.
struct CodecErrorManager {
  jpeg_error_mgr Public;  // first, so the library's err pointer is also ours
  jmp_buf Jump;
  bool DataEnded;  // the data of a scan ran out before the picture did (the rest is filler)
};

// The error methods every context copies: error_exit jumps, the others show nothing.
extern const jpeg_error_mgr CodecErrorTemplate;

// What one image operation owns for one decode set-up or one encode. Zero it before use
// (it holds only C data). The progress manager is followed by its owner, so a progress
// monitor can find the image from the library object (CodecOwnerOf).
struct CodecContext {
  CodecErrorManager Error;
  jpeg_progress_mgr Progress;
  JpegImage* Owner;
  J_DCT_METHOD SavedDctMethod;
  boolean SavedTwoPass;
  J_DITHER_MODE SavedDitherMode;
  union {
    jpeg_common_struct Common;
    jpeg_decompress_struct Decompress;
    jpeg_compress_struct Compress;
  };
};

// Copies the template into manager and points the library object's err at it.
void AttachCodecErrors(CodecErrorManager* manager, j_common_ptr object);

// The image that runs the operation of a library object made in a CodecContext whose
// progress manager is installed; null when there is none.
JpegImage* CodecOwnerOf(j_common_ptr object);

// Destroys the library object if it was set up (its err pointer is set) and clears the
// pointer, so a second clean-up does nothing.
void CleanupCodecContext(CodecContext* context);

// Runs call (one or a few library calls). Returns true when it came back normally and
// false when a fatal library error left it through manager's jump point. Keep no C++
// object with a destructor alive inside call: the jump does not run destructors.
template <class Call>
bool RunCodecCall(CodecErrorManager* manager, Call&& call) {
  if (setjmp(manager->Jump) != 0) return false;
  call();
  return true;
}

// Size of the buffers both stream managers pass data through.
constexpr size_t CodecBufferSize = 4096;

// Library source manager over a Stream, read from the stream's current position.
struct StreamSource {
  jpeg_source_mgr Public;
  Stream* Source;
  JOCTET* Buffer;  // CodecBufferSize bytes from the library's permanent pool
  boolean StartOfFile;
};

// Library destination manager appending to a Stream at its current position.
struct StreamDestination {
  jpeg_destination_mgr Public;
  Stream* Target;
  JOCTET* Buffer;  // CodecBufferSize bytes from the library's per-image pool
};

// Install (or reuse) the manager on the library object and point it at stream.
void AttachStreamSource(j_decompress_ptr object, Stream* stream);
void AttachStreamDestination(j_compress_ptr object, Stream* stream);

// What the library read from a JPEG header (see ReadJpegHeader).
struct JpegHeader {
  bool Created = false;  // the library object could be made; nothing else is set otherwise
  bool Read = false;     // the whole header was read
  JDIMENSION Width = 0;  // as far as the library got, also when the read stopped early
  JDIMENSION Height = 0;
  J_COLOR_SPACE ColorSpace = JCS_UNKNOWN;
  bool MultipleScans = false;  // progressive or multi-scan
  int Orientation = 1;         // EXIF orientation 1..8 (1 without a usable EXIF block)
};

// Reads the JPEG header at the stream's current position.
JpegHeader ReadJpegHeader(Stream* stream);

// Asks the library to keep the APP1 and APP2 markers (EXIF, ICC profile) of the file it reads;
// call after the object is made and before jpeg_read_header.
void KeepPhotoMarkers(j_decompress_ptr object);

// Copies of the markers the library kept, in file order; one the library had to cut short is
// left out. Makes C++ objects: call it outside RunCodecCall.
std::vector<MarkerPayload> KeptMarkers(j_decompress_ptr object);

// Writes the markers right after those jpeg_start_compress wrote (SOI and JFIF), in order;
// call before the first row, inside RunCodecCall. A payload too long for one segment is
// passed over.
void WriteMarkers(j_compress_ptr object, const std::vector<MarkerPayload>& markers);

// Upper bound for the library's own working memory (coefficient buffers of progressive
// and buffered-image decodes, quantizer histograms): a hostile header cannot make it
// reserve more; past it the library stops with a fatal error.
constexpr long CodecMemoryLimit = 384L * 1024 * 1024;

}  // namespace velmora
