// The codec bridge on its own: error exit, source and destination managers over streams.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "imaging/codec_bridge.h"
#include "jpeg_test_support.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

// A decompression object set up with the bridge's error manager.
struct Decompressor {
  CodecErrorManager Errors;
  jpeg_decompress_struct D;
  Decompressor() {
    std::memset(static_cast<void*>(&D), 0, sizeof D);
    AttachCodecErrors(&Errors, reinterpret_cast<j_common_ptr>(&D));
    jpeg_create_decompress(&D);
  }
  ~Decompressor() { jpeg_destroy_decompress(&D); }
};

Bytes ColourPicture(int w, int h) {
  return test::EncodeJpeg(w, h, 3, [](int x, int y, int c) {
    return static_cast<uint8_t>(c == 0 ? x * 7 : c == 1 ? y * 5 : (x + y) * 3);
  });
}

TEST(CodecBridge, EmptyStreamIsFatalAtTheFirstFill) {
  Stream* empty = MakeMemoryStream();
  Decompressor dec;
  AttachStreamSource(&dec.D, empty);
  CodecErrorFlag = 0;
  bool returned = RunCodecCall(&dec.Errors, [&] { jpeg_read_header(&dec.D, TRUE); });
  EXPECT_FALSE(returned);
  EXPECT_EQ(CodecErrorFlag, 1);
  EXPECT_EQ(dec.D.image_width, 0u);
  FreeObject(empty);
}

TEST(CodecBridge, NotAJpegIsFatalAndProducesNoText) {
  Bytes text(600, 'a');
  Stream* s = test::StreamOf(text);
  Decompressor dec;
  AttachStreamSource(&dec.D, s);
  CodecErrorFlag = 0;
  EXPECT_FALSE(RunCodecCall(&dec.Errors, [&] { jpeg_read_header(&dec.D, TRUE); }));
  EXPECT_EQ(CodecErrorFlag, 1);
  char message[JMSG_LENGTH_MAX] = "unchanged";
  dec.D.err->format_message(reinterpret_cast<j_common_ptr>(&dec.D), message);
  EXPECT_STREQ(message, "");
  FreeObject(s);
}

TEST(CodecBridge, TruncatedDataEndsWithAnInsertedEndOfImage) {
  Bytes whole = ColourPicture(64, 64);
  int sos = test::FindMarker(whole, 0xDA);
  ASSERT_GT(sos, 0);
  // Cut inside the entropy-coded data, well before its end.
  Bytes cut(whole.begin(), whole.begin() + sos + (whole.size() - sos) / 2);
  Stream* s = test::StreamOf(cut);
  Decompressor dec;
  AttachStreamSource(&dec.D, s);
  CodecErrorFlag = 0;
  std::vector<uint8_t> row(64 * 3);
  int rows = 0;
  bool finished = RunCodecCall(&dec.Errors, [&] {
    jpeg_read_header(&dec.D, TRUE);
    jpeg_start_decompress(&dec.D);
    while (dec.D.output_scanline < dec.D.output_height) {
      JSAMPROW r[1] = {row.data()};
      rows += static_cast<int>(jpeg_read_scanlines(&dec.D, r, 1));
    }
    jpeg_finish_decompress(&dec.D);
  });
  EXPECT_TRUE(finished);
  EXPECT_EQ(CodecErrorFlag, 0);
  EXPECT_EQ(rows, 64);
  EXPECT_GT(dec.D.err->num_warnings, 0);  // the premature end was noticed, not shown

  // Past the end the source keeps handing out an end-of-image marker.
  auto* src = dec.D.src;
  src->bytes_in_buffer = 0;
  ASSERT_TRUE(src->fill_input_buffer(&dec.D));
  ASSERT_EQ(src->bytes_in_buffer, 2u);
  EXPECT_EQ(src->next_input_byte[0], 0xFF);
  EXPECT_EQ(src->next_input_byte[1], JPEG_EOI);
  FreeObject(s);
}

TEST(CodecBridge, SkipBeyondTheBufferRefillsAsOftenAsNeeded) {
  Bytes pattern(3 * CodecBufferSize + 500);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 31 + i / 256);
  Stream* s = test::StreamOf(pattern);
  Decompressor dec;
  AttachStreamSource(&dec.D, s);
  jpeg_source_mgr* src = dec.D.src;
  src->init_source(&dec.D);
  ASSERT_TRUE(src->fill_input_buffer(&dec.D));
  EXPECT_EQ(src->bytes_in_buffer, CodecBufferSize);

  size_t consumed = 10;
  src->next_input_byte += consumed;
  src->bytes_in_buffer -= consumed;
  long skip = static_cast<long>(2 * CodecBufferSize + 123);  // more than two buffers
  src->skip_input_data(&dec.D, skip);
  size_t at = consumed + static_cast<size_t>(skip);
  EXPECT_EQ(src->next_input_byte[0], pattern[at]);
  EXPECT_EQ(src->bytes_in_buffer, 3 * CodecBufferSize - at);

  const JOCTET* before = src->next_input_byte;
  size_t left = src->bytes_in_buffer;
  src->skip_input_data(&dec.D, 0);
  src->skip_input_data(&dec.D, -5);
  EXPECT_EQ(src->next_input_byte, before);
  EXPECT_EQ(src->bytes_in_buffer, left);
  FreeObject(s);
}

// A memory stream whose writes are recorded (and can be cut short or made to throw).
std::vector<uint32_t> g_writes;
uint32_t g_writeLimit = 0xFFFFFFFF;
bool g_throwOnWrite = false;

uint32_t RecordingWrite(Stream* s, const void* buffer, uint32_t count) {
  if (g_throwOnWrite) throw std::bad_alloc();
  g_writes.push_back(count);
  uint32_t n = count < g_writeLimit ? count : g_writeLimit;
  return MemoryStreamOps.Write(s, buffer, n);
}

Stream* RecordingStream() {
  g_writes.clear();
  g_writeLimit = 0xFFFFFFFF;
  g_throwOnWrite = false;
  Stream* s = MakeMemoryStream();
  s->Ops.Write = RecordingWrite;
  return s;
}

struct Compressor {
  CodecErrorManager Errors;
  jpeg_compress_struct C;
  Compressor() {
    std::memset(static_cast<void*>(&C), 0, sizeof C);
    AttachCodecErrors(&Errors, reinterpret_cast<j_common_ptr>(&C));
    jpeg_create_compress(&C);
  }
  ~Compressor() { jpeg_destroy_compress(&C); }

  // Noise, so that the file is far larger than one buffer.
  bool Encode(int w, int h) {
    C.image_width = static_cast<JDIMENSION>(w);
    C.image_height = static_cast<JDIMENSION>(h);
    C.input_components = 3;
    C.in_color_space = JCS_RGB;
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    uint32_t seed = 12345;
    return RunCodecCall(&Errors, [&] {
      jpeg_set_defaults(&C);
      jpeg_set_quality(&C, 90, TRUE);
      jpeg_start_compress(&C, TRUE);
      while (C.next_scanline < C.image_height) {
        for (auto& b : row) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        JSAMPROW r[1] = {row.data()};
        jpeg_write_scanlines(&C, r, 1);
      }
      jpeg_finish_compress(&C);
    });
  }
};

TEST(CodecBridge, LargeEncodeIsWrittenInFullBuffersThenTheRest) {
  Stream* out = RecordingStream();
  Compressor comp;
  AttachStreamDestination(&comp.C, out);
  CodecErrorFlag = 0;
  ASSERT_TRUE(comp.Encode(128, 96));
  EXPECT_EQ(CodecErrorFlag, 0);

  uint32_t total = 0;
  for (uint32_t n : g_writes) total += n;
  ASSERT_GT(g_writes.size(), 2u);
  EXPECT_EQ(total, out->Size());
  for (size_t i = 0; i + 1 < g_writes.size(); ++i) EXPECT_EQ(g_writes[i], CodecBufferSize);
  EXPECT_GT(g_writes.back(), 0u);
  EXPECT_LE(g_writes.back(), CodecBufferSize);

  // What arrived is the whole file: it decodes to the encoded size.
  test::Decoded back = test::DecodeReference(test::BytesOf(out));
  EXPECT_EQ(back.Width, 128);
  EXPECT_EQ(back.Height, 96);
  FreeObject(out);
}

TEST(CodecBridge, ShortOrFailingWritesAreFatalNotCrashes) {
  {
    Stream* out = RecordingStream();
    g_writeLimit = 100;
    Compressor comp;
    AttachStreamDestination(&comp.C, out);
    CodecErrorFlag = 0;
    EXPECT_FALSE(comp.Encode(128, 96));
    EXPECT_EQ(CodecErrorFlag, 1);
    FreeObject(out);
  }
  {
    Stream* out = RecordingStream();
    g_throwOnWrite = true;
    Compressor comp;
    AttachStreamDestination(&comp.C, out);
    CodecErrorFlag = 0;
    EXPECT_FALSE(comp.Encode(128, 96));
    EXPECT_EQ(CodecErrorFlag, 1);
    g_throwOnWrite = false;
    FreeObject(out);
  }
}

TEST(CodecBridge, CleanupRunsOnceAndTheOwnerIsFoundFromTheLibraryObject) {
  auto* context = new CodecContext;
  std::memset(static_cast<void*>(context), 0, sizeof *context);
  AttachCodecErrors(&context->Error, &context->Common);
  jpeg_create_decompress(&context->Decompress);
  EXPECT_EQ(CodecOwnerOf(&context->Common), nullptr);
  auto* owner = reinterpret_cast<JpegImage*>(context);  // any address will do
  context->Owner = owner;
  context->Common.progress = &context->Progress;
  EXPECT_EQ(CodecOwnerOf(&context->Common), owner);
  CleanupCodecContext(context);
  EXPECT_EQ(context->Common.err, nullptr);
  CleanupCodecContext(context);  // nothing left to destroy
  delete context;
}

}  // namespace
}  // namespace velmora
