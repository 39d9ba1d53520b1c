// The codec bridge on its own: error exit, source and destination managers over streams.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "imaging/codec_bridge.h"
#include "test_support.h"
#include "toolkit/stream.h"

namespace velmora {
namespace {

using test::Bytes;

// A codec object set up with the bridge's error manager.
template <typename Struct, void (*Create)(Struct*, int, size_t), void (*Destroy)(Struct*)>
struct Codec {
  CodecErrorManager Errors;
  Struct S;
  Codec() {
    std::memset(static_cast<void*>(&S), 0, sizeof S);
    AttachCodecErrors(&Errors, reinterpret_cast<j_common_ptr>(&S));
    Create(&S, JPEG_LIB_VERSION, sizeof S);
  }
  ~Codec() { Destroy(&S); }
  template <typename F>
  bool Run(F f) {
    CodecErrorFlag = 0;
    return RunCodecCall(&Errors, f);
  }
};
using Decompressor = Codec<jpeg_decompress_struct, jpeg_CreateDecompress, jpeg_destroy_decompress>;
using Compressor = Codec<jpeg_compress_struct, jpeg_CreateCompress, jpeg_destroy_compress>;

TEST(CodecBridge, EmptyOrForeignInputIsFatalAndShowsNothing) {
  for (const Bytes& input : {Bytes(), Bytes(600, 'a')}) {
    SCOPED_TRACE(input.size());
    Stream* s = test::StreamOf(input);
    Decompressor dec;
    AttachStreamSource(&dec.S, s);
    EXPECT_FALSE(dec.Run([&] { jpeg_read_header(&dec.S, TRUE); }));
    EXPECT_EQ(CodecErrorFlag, 1);
    EXPECT_EQ(dec.S.image_width, 0u);
    char message[JMSG_LENGTH_MAX] = "unchanged";
    dec.S.err->format_message(reinterpret_cast<j_common_ptr>(&dec.S), message);
    EXPECT_STREQ(message, "");
    FreeObject(s);
  }
}

TEST(CodecBridge, TruncatedDataIsAWarningAndEndsWithAnInsertedEndOfImage) {
  Bytes whole = test::EncodeJpeg(64, 64, 3, [](int x, int y, int c) {
    return static_cast<uint8_t>(c == 0 ? x * 7 : c == 1 ? y * 5 : (x + y) * 3);
  });
  int sos = test::FindMarker(whole, 0xDA);
  ASSERT_GT(sos, 0);
  Bytes cut(whole.begin(), whole.begin() + sos + (whole.size() - sos) / 2);
  Stream* s = test::StreamOf(cut);
  Decompressor dec;
  AttachStreamSource(&dec.S, s);
  std::vector<uint8_t> row(64 * 3);
  int rows = 0;
  EXPECT_TRUE(dec.Run([&] {
    jpeg_read_header(&dec.S, TRUE);
    jpeg_start_decompress(&dec.S);
    while (dec.S.output_scanline < dec.S.output_height) {
      JSAMPROW r[1] = {row.data()};
      rows += static_cast<int>(jpeg_read_scanlines(&dec.S, r, 1));
    }
    jpeg_finish_decompress(&dec.S);
  }));
  EXPECT_EQ(CodecErrorFlag, 0);
  EXPECT_EQ(rows, 64);
  EXPECT_GT(dec.S.err->num_warnings, 0);
  jpeg_source_mgr* src = dec.S.src;  // past the end it keeps handing out end-of-image
  src->bytes_in_buffer = 0;
  ASSERT_TRUE(src->fill_input_buffer(&dec.S));
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
  AttachStreamSource(&dec.S, s);
  jpeg_source_mgr* src = dec.S.src;
  src->init_source(&dec.S);
  ASSERT_TRUE(src->fill_input_buffer(&dec.S));
  EXPECT_EQ(src->bytes_in_buffer, CodecBufferSize);
  src->next_input_byte += 10;
  src->bytes_in_buffer -= 10;
  long skip = static_cast<long>(2 * CodecBufferSize + 123);
  src->skip_input_data(&dec.S, skip);
  size_t at = 10 + static_cast<size_t>(skip);
  EXPECT_EQ(src->next_input_byte[0], pattern[at]);
  EXPECT_EQ(src->bytes_in_buffer, 3 * CodecBufferSize - at);
  src->skip_input_data(&dec.S, 0);
  src->skip_input_data(&dec.S, -5);
  EXPECT_EQ(src->next_input_byte[0], pattern[at]);
  FreeObject(s);
}

// Writes recorded by a memory stream that can be told to cut them short or to throw.
std::vector<uint32_t> g_writes;
uint32_t g_writeLimit;
bool g_throwOnWrite;

uint32_t RecordingWrite(Stream* s, const void* buffer, uint32_t count) {
  if (g_throwOnWrite) throw std::bad_alloc();
  g_writes.push_back(count);
  return MemoryStreamOps.Write(s, buffer, count < g_writeLimit ? count : g_writeLimit);
}

// Encodes 128 x 96 pixels of noise (far more than one buffer) into a recording stream.
bool EncodeNoise(Stream* out, uint32_t limit, bool throwing) {
  g_writes.clear();
  g_writeLimit = limit;
  g_throwOnWrite = throwing;
  out->Ops.Write = RecordingWrite;
  Compressor comp;
  AttachStreamDestination(&comp.S, out);
  comp.S.image_width = 128;
  comp.S.image_height = 96;
  comp.S.input_components = 3;
  comp.S.in_color_space = JCS_RGB;
  std::vector<uint8_t> row(128 * 3);
  uint32_t seed = 12345;
  bool done = comp.Run([&] {
    jpeg_set_defaults(&comp.S);
    jpeg_set_quality(&comp.S, 90, TRUE);
    jpeg_start_compress(&comp.S, TRUE);
    while (comp.S.next_scanline < comp.S.image_height) {
      for (auto& b : row) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
      JSAMPROW r[1] = {row.data()};
      jpeg_write_scanlines(&comp.S, r, 1);
    }
    jpeg_finish_compress(&comp.S);
  });
  g_throwOnWrite = false;
  return done;
}

TEST(CodecBridge, EncodesAreWrittenInFullBuffersAndFailedWritesAreFatal) {
  Stream* out = MakeMemoryStream();
  ASSERT_TRUE(EncodeNoise(out, 0xFFFFFFFF, false));
  EXPECT_EQ(CodecErrorFlag, 0);
  ASSERT_GT(g_writes.size(), 2u);
  uint32_t total = 0;
  for (size_t i = 0; i < g_writes.size(); ++i) {
    total += g_writes[i];
    if (i + 1 < g_writes.size()) {
      EXPECT_EQ(g_writes[i], CodecBufferSize);
    }
  }
  EXPECT_GT(g_writes.back(), 0u);
  EXPECT_LE(g_writes.back(), CodecBufferSize);
  EXPECT_EQ(total, out->Size());
  test::Decoded back = test::DecodeReference(test::BytesOf(out));
  EXPECT_EQ(back.Width, 128);
  EXPECT_EQ(back.Height, 96);
  FreeObject(out);

  for (bool throwing : {false, true}) {
    out = MakeMemoryStream();
    EXPECT_FALSE(EncodeNoise(out, 100, throwing));
    EXPECT_EQ(CodecErrorFlag, 1);
    FreeObject(out);
  }
}

}  // namespace
}  // namespace velmora
