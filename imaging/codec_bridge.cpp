// Error, source and destination managers between libjpeg and toolkit streams.
#include "imaging/codec_bridge.h"

#include <cstring>

#include <jerror.h>

#include "toolkit/stream.h"

namespace velmora {

namespace {

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

void CodecErrorExit(j_common_ptr object) {
  auto* manager = reinterpret_cast<CodecErrorManager*>(object->err);
  longjmp(manager->Jump, 1);
}

// Warnings (level < 0) are counted so that a caller can tell that data was repaired;
// nothing is shown, and trace messages are dropped.
void CodecEmitMessage(j_common_ptr object, int level) {
  if (level >= 0) return;
  object->err->num_warnings++;
  if (object->err->msg_code == JWRN_JPEG_EOF || object->err->msg_code == JWRN_HIT_MARKER)
    reinterpret_cast<CodecErrorManager*>(object->err)->DataEnded = true;
}

void CodecOutputMessage(j_common_ptr) {}

void CodecFormatMessage(j_common_ptr, char* buffer) {
  if (buffer) buffer[0] = '\0';
}

void CodecResetErrors(j_common_ptr object) {
  object->err->num_warnings = 0;
  object->err->msg_code = 0;
}

// --- source ---

StreamSource* SourceOf(j_decompress_ptr object) {
  return reinterpret_cast<StreamSource*>(object->src);
}

void SourceInit(j_decompress_ptr object) { SourceOf(object)->StartOfFile = TRUE; }

boolean SourceFill(j_decompress_ptr object) {
  StreamSource* source = SourceOf(object);
  uint32_t count = 0;
  try {
    count = source->Source->Read(source->Buffer, CodecBufferSize);
  } catch (...) {
    count = 0;
  }
  if (count == 0) {
    if (source->StartOfFile) ERREXIT(object, JERR_INPUT_EMPTY);
    // Out of data part-way: end the picture here; the library fills what is missing.
    WARNMS(object, JWRN_JPEG_EOF);
    source->Buffer[0] = 0xFF;
    source->Buffer[1] = JPEG_EOI;
    count = 2;
  }
  source->Public.next_input_byte = source->Buffer;
  source->Public.bytes_in_buffer = count;
  source->StartOfFile = FALSE;
  return TRUE;
}

void SourceSkip(j_decompress_ptr object, long count) {
  if (count <= 0) return;
  StreamSource* source = SourceOf(object);
  while (count > static_cast<long>(source->Public.bytes_in_buffer)) {
    count -= static_cast<long>(source->Public.bytes_in_buffer);
    SourceFill(object);
  }
  source->Public.next_input_byte += count;
  source->Public.bytes_in_buffer -= static_cast<size_t>(count);
}

void SourceTerm(j_decompress_ptr) {}

// --- destination ---

StreamDestination* DestinationOf(j_compress_ptr object) {
  return reinterpret_cast<StreamDestination*>(object->dest);
}

void DestinationInit(j_compress_ptr object) {
  StreamDestination* dest = DestinationOf(object);
  dest->Buffer = static_cast<JOCTET*>((*object->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(object), JPOOL_IMAGE, CodecBufferSize));
  dest->Public.next_output_byte = dest->Buffer;
  dest->Public.free_in_buffer = CodecBufferSize;
}

// A stream that throws (a memory stream out of memory) must not unwind through the
// library's C frames: the failure becomes the library's write error instead.
uint32_t WriteToTarget(StreamDestination* dest, uint32_t count) {
  try {
    return dest->Target->Write(dest->Buffer, count);
  } catch (...) {
    return 0;
  }
}

boolean DestinationEmpty(j_compress_ptr object) {
  StreamDestination* dest = DestinationOf(object);
  if (WriteToTarget(dest, CodecBufferSize) != CodecBufferSize) ERREXIT(object, JERR_FILE_WRITE);
  dest->Public.next_output_byte = dest->Buffer;
  dest->Public.free_in_buffer = CodecBufferSize;
  return TRUE;
}

void DestinationTerm(j_compress_ptr object) {
  StreamDestination* dest = DestinationOf(object);
  auto filled = static_cast<uint32_t>(CodecBufferSize - dest->Public.free_in_buffer);
  if (filled > 0 && WriteToTarget(dest, filled) != filled) ERREXIT(object, JERR_FILE_WRITE);
}

jpeg_error_mgr MakeErrorTemplate() {
  jpeg_error_mgr e{};
  e.error_exit = CodecErrorExit;
  e.emit_message = CodecEmitMessage;
  e.output_message = CodecOutputMessage;
  e.format_message = CodecFormatMessage;
  e.reset_error_mgr = CodecResetErrors;
  return e;
}

}  // namespace

const jpeg_error_mgr CodecErrorTemplate = MakeErrorTemplate();

void AttachCodecErrors(CodecErrorManager* manager, j_common_ptr object) {
  manager->Public = CodecErrorTemplate;
  manager->DataEnded = false;
  object->err = &manager->Public;
}

void CleanupCodecContext(CodecContext* context) {
  if (context->Common.err) {
    jpeg_destroy(&context->Common);
    context->Common.err = nullptr;
  }
}

void AttachStreamSource(j_decompress_ptr object, Stream* stream) {
  auto* common = reinterpret_cast<j_common_ptr>(object);
  if (!object->src) {
    auto* source = static_cast<StreamSource*>(
        (*object->mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(StreamSource)));
    source->Buffer =
        static_cast<JOCTET*>((*object->mem->alloc_small)(common, JPOOL_PERMANENT, CodecBufferSize));
    object->src = &source->Public;
  }
  StreamSource* source = SourceOf(object);
  source->Public.init_source = SourceInit;
  source->Public.fill_input_buffer = SourceFill;
  source->Public.skip_input_data = SourceSkip;
  source->Public.resync_to_restart = jpeg_resync_to_restart;
  source->Public.term_source = SourceTerm;
  source->Source = stream;
  source->Public.bytes_in_buffer = 0;
  source->Public.next_input_byte = nullptr;
}

void AttachStreamDestination(j_compress_ptr object, Stream* stream) {
  auto* common = reinterpret_cast<j_common_ptr>(object);
  if (!object->dest) {
    auto* dest = static_cast<StreamDestination*>(
        (*object->mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(StreamDestination)));
    dest->Buffer = nullptr;
    object->dest = &dest->Public;
  }
  StreamDestination* dest = DestinationOf(object);
  dest->Public.init_destination = DestinationInit;
  dest->Public.empty_output_buffer = DestinationEmpty;
  dest->Public.term_destination = DestinationTerm;
  dest->Target = stream;
}

void KeepPhotoMarkers(j_decompress_ptr object) {
  jpeg_save_markers(object, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(object, JPEG_APP0 + 2, 0xFFFF);
}

std::vector<MarkerPayload> KeptMarkers(j_decompress_ptr object) {
  std::vector<MarkerPayload> markers;
  for (jpeg_saved_marker_ptr m = object->marker_list; m; m = m->next) {
    if (m->data_length != m->original_length || (m->data_length > 0 && !m->data)) continue;
    markers.push_back(
        {static_cast<uint8_t>(m->marker), std::vector<uint8_t>(m->data, m->data + m->data_length)});
  }
  return markers;
}

void WriteMarkers(j_compress_ptr object, const std::vector<MarkerPayload>& markers) {
  for (const MarkerPayload& m : markers)
    if (m.Bytes.size() <= MaxMarkerPayload)
      jpeg_write_marker(object, m.Code, m.Bytes.data(), static_cast<unsigned int>(m.Bytes.size()));
}

}  // namespace velmora
