// The codec bridge on its own: error exit, source and destination managers over streams.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <thread>

#include "imaging/codec_bridge.h"
#include "test_support.h"

using namespace velmora;
using test::Bytes;

namespace {

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

// Writes recorded by a memory stream that can be told to cut them short or to throw.
std::vector<uint32_t> g_writes;
uint32_t g_writeLimit;
bool g_throwOnWrite;

// Encodes 128 x 96 pixels of noise (far more than one buffer) into a recording stream.
bool EncodeNoise(Stream* out, uint32_t limit, bool throwing) {
  g_writes.clear();
  g_writeLimit = limit;
  g_throwOnWrite = throwing;
  out->Ops.Write = [](Stream* s, const void* buffer, uint32_t count) {
    if (g_throwOnWrite) throw std::bad_alloc();
    g_writes.push_back(count);
    return MemoryStreamOps.Write(s, buffer, std::min(count, g_writeLimit));
  };
  Compressor comp;
  AttachStreamDestination(&comp.S, out);
  comp.S.image_width = 128;
  comp.S.image_height = 96;
  comp.S.input_components = 3;
  comp.S.in_color_space = JCS_RGB;
  std::vector<uint8_t> row(128 * 3);
  uint32_t seed = 12345;
  return comp.Run([&] {
    jpeg_set_defaults(&comp.S);
    jpeg_set_quality(&comp.S, 90, TRUE);
    jpeg_start_compress(&comp.S, TRUE);
    for (JSAMPROW r[1] = {row.data()}; comp.S.next_scanline < comp.S.image_height;) {
      for (auto& b : row) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
      jpeg_write_scanlines(&comp.S, r, 1);
    }
    jpeg_finish_compress(&comp.S);
  });
}

}  // namespace

// Catches a missing, broken or skipped-over source turning into a crash, a hang, a half-read
// header or a read past the buffer.
TEST(CodecBridge, SourceFatalWhenEmptySkipsPastTheBufferAndEndsTruncatedDataWithEndOfImage) {
  for (const Bytes& input : {Bytes(), Bytes(600, 'a')}) {
    Stream* s = test::StreamOf(input);
    Decompressor dec;
    AttachStreamSource(&dec.S, s);
    EXPECT_FALSE(dec.Run([&] { jpeg_read_header(&dec.S, TRUE); })) << input.size();
    EXPECT_EQ(CodecErrorFlag, 1);
    EXPECT_EQ(dec.S.image_width, 0u);
    FreeObject(s);
  }
  Bytes pattern(3 * CodecBufferSize + 500);  // a skip beyond the buffer refills as needed
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 31 + i / 256);
  Stream* s = test::StreamOf(pattern);
  Decompressor skipping;
  AttachStreamSource(&skipping.S, s);
  jpeg_source_mgr* src = skipping.S.src;
  src->init_source(&skipping.S);
  ASSERT_TRUE(src->fill_input_buffer(&skipping.S));
  src->next_input_byte += 10;
  src->bytes_in_buffer -= 10;
  const size_t at = 10 + 2 * CodecBufferSize + 123;
  src->skip_input_data(&skipping.S, static_cast<long>(at - 10));
  src->skip_input_data(&skipping.S, 0);
  src->skip_input_data(&skipping.S, -5);
  EXPECT_EQ(src->next_input_byte[0], pattern[at]);
  EXPECT_EQ(src->bytes_in_buffer, 3 * CodecBufferSize - at);
  FreeObject(s);
  Bytes whole = test::EncodeJpeg(64, 64, 3, [](int x, int y, int c) { return uint8_t(x * y * c); });
  int sos = test::FindMarker(whole, 0xDA);
  s = test::StreamOf(Bytes(whole.begin(), whole.begin() + sos + (whole.size() - sos) / 2));
  Decompressor dec;
  AttachStreamSource(&dec.S, s);
  std::vector<uint8_t> row(64 * 3);
  int rows = 0;
  EXPECT_TRUE(dec.Run([&] {
    jpeg_read_header(&dec.S, TRUE);
    jpeg_start_decompress(&dec.S);
    for (JSAMPROW r[1] = {row.data()}; dec.S.output_scanline < dec.S.output_height;)
      rows += static_cast<int>(jpeg_read_scanlines(&dec.S, r, 1));
    jpeg_finish_decompress(&dec.S);
  }));
  EXPECT_EQ(CodecErrorFlag, 0);
  EXPECT_EQ(rows, 64);
  EXPECT_GT(dec.S.err->num_warnings, 0);
  src = dec.S.src;  // past the end it keeps handing out end-of-image
  src->bytes_in_buffer = 0;
  ASSERT_TRUE(src->fill_input_buffer(&dec.S));
  EXPECT_EQ(Bytes(src->next_input_byte, src->next_input_byte + src->bytes_in_buffer),
            Bytes({0xFF, JPEG_EOI}));
  FreeObject(s);
}

// Catches lost or partial buffers in an encode, and short or throwing writes taken as success.
TEST(CodecBridge, EncodesAreWrittenInFullBuffersAndFailedWritesAreFatal) {
  Stream* out = MakeMemoryStream();
  ASSERT_TRUE(EncodeNoise(out, 0xFFFFFFFF, false));
  ASSERT_GT(g_writes.size(), 2u);
  std::vector<uint32_t> full(g_writes.size() - 1, CodecBufferSize);
  full.push_back(out->Size() - CodecBufferSize * full.size());
  EXPECT_EQ(g_writes, full);
  EXPECT_GT(g_writes.back(), 0u);
  test::Decoded back = test::DecodeReference(test::BytesOf(out));
  EXPECT_EQ(std::make_pair(back.Width, back.Height), std::make_pair(128, 96));
  FreeObject(out);
  for (bool throwing : {false, true}) {
    out = MakeMemoryStream();
    EXPECT_FALSE(EncodeNoise(out, 100, throwing));
    EXPECT_EQ(CodecErrorFlag, 1);
    FreeObject(out);
  }
}

// Catches the error flag being shared between threads: a damaged photo failing on a batch
// worker would make a good picture decoded meanwhile on the window's thread count as failed.
TEST(CodecBridge, AFatalErrorOnAnotherThreadLeavesThisThreadsFlagAlone) {
  CodecErrorFlag = 0;
  uint8_t there = 0;
  std::thread worker([&] {
    Stream* s = test::StreamOf(Bytes(600, 'a'));
    Decompressor dec;
    AttachStreamSource(&dec.S, s);
    dec.Run([&] { jpeg_read_header(&dec.S, TRUE); });
    there = CodecErrorFlag;
    FreeObject(s);
  });
  worker.join();
  EXPECT_EQ(there, 1);
  EXPECT_EQ(CodecErrorFlag, 0);
}
