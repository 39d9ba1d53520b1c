// The bridge between the row pipeline's ends and libjpeg: the per-operation CodecContext, the
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

class Stream;

// The library's error manager plus the jump point of the operation in progress. A fatal
// error long-jumps to Jump, out of the library call.
struct CodecErrorManager {
  jpeg_error_mgr Public;  // first, so the library's err pointer is also ours
  jmp_buf Jump;
  bool DataEnded;  // the data of a scan ran out before the picture did (the rest is filler)
};

// The error methods every context copies: error_exit jumps, the others show nothing.
extern const jpeg_error_mgr CodecErrorTemplate;

// What one decode or one encode owns. Zero it before use (it holds only C data).
struct CodecContext {
  CodecErrorManager Error;
  jpeg_progress_mgr Progress;
  union {
    jpeg_common_struct Common;
    jpeg_decompress_struct Decompress;
    jpeg_compress_struct Compress;
  };
};

// Copies the template into manager and points the library object's err at it.
void AttachCodecErrors(CodecErrorManager* manager, j_common_ptr object);

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

// Install (or reuse) a source reading from the stream's current position, a buffer of
// CodecBufferSize bytes at a time, or a destination appending to the stream at its position.
void AttachStreamSource(j_decompress_ptr object, Stream* stream);
void AttachStreamDestination(j_compress_ptr object, Stream* stream);

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
