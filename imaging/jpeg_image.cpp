// JpegImage: header reading, decoding into a Bitmap, encoding from one, and the CMYK fix-up.
#include "imaging/jpeg_image.h"

#include <cstring>
#include <new>

#include <jerror.h>

#include "imaging/jpeg_rows.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"
#include "toolkit/whole_file.h"

namespace velmora {

JpegOptions JpegDefaults;
thread_local bool CmykInverted = false;

namespace {

// Colours the quantizer makes for gray output and for Depth8.
constexpr int QuantizedColors = 236;

// A progressive file may have any number of scans, and each one costs a pass over the
// whole coefficient buffer. Real encoders write a dozen or so; past this the file is
// taken as damaged.
constexpr int MaxScans = 500;

// The context's progress monitor: stops files with absurd scan counts, then calls the
// owner's ProgressHook.
void CodecProgressMonitor(j_common_ptr object) {
  if (object->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(object);
    if (d->input_scan_number > MaxScans) ERREXIT(object, JERR_NOT_COMPILED);
  }
  JpegImage* owner = CodecOwnerOf(object);
  if (owner && owner->ProgressHook) owner->ProgressHook(object);
}

void ResetContext(CodecContext* context, JpegImage* owner) {
  std::memset(static_cast<void*>(context), 0, sizeof(CodecContext));
  AttachCodecErrors(&context->Error, &context->Common);
  context->Owner = owner;
}

void InstallProgress(CodecContext* context) {
  context->Progress.progress_monitor = CodecProgressMonitor;
  context->Common.progress = &context->Progress;
}

bool IsCmykSpace(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

// Bytes of a DIB of w x h at bpp bits per pixel, without overflow.
uint64_t DibBytes(uint32_t w, uint32_t h, uint32_t bpp) {
  return ((static_cast<uint64_t>(w) * bpp + 31) / 32) * 4 * h;
}

// Fills the bitmap's colour table from the quantizer's colormap; entries past the
// number of colours are black.
void CopyColormap(j_decompress_ptr d, Bitmap* bitmap) {
  int count = d->actual_number_of_colors;
  bool gray = d->out_color_components == 1;
  for (int i = 0; i < 256; ++i) {
    Color color = 0;
    if (i < count && d->colormap) {
      int r = d->colormap[0][i];
      int g = gray ? r : d->colormap[1][i];
      int b = gray ? r : d->colormap[2][i];
      color = static_cast<Color>(r | (g << 8) | (b << 16));
    }
    bitmap->SetColorEntry(i, color);
  }
}

// Reads rows until the output is complete, row pointer advancing by step per row.
void ReadRows(j_decompress_ptr d, uint8_t* first, ptrdiff_t step) {
  uint8_t* row = first;
  while (d->output_scanline < d->output_height) {
    JSAMPROW rows[1] = {row};
    JDIMENSION got = jpeg_read_scanlines(d, rows, 1);
    if (got == 0) break;  // a memory source never suspends; do not spin if it did
    row += static_cast<ptrdiff_t>(got) * step;
  }
}

// What a decode reports back across its jump point (kept in memory, not registers).
struct DecodeState {
  bool Finished = false;
  bool TableCopied = false;
};

}  // namespace

// ---- JpegData ----

void JpegData::Destroy() {
  FreeAndNull(Compressed);
  ObjectBase::Destroy();
}

// ---- JpegImage ----

JpegImage* MakeJpegImage() { return MakeObject<JpegImage>(); }

void JpegImage::Init() {
  EncodeQuality = JpegDefaults.EncodeQuality;
  GrayOnly = JpegDefaults.GrayOnly;
  FastDecode = JpegDefaults.FastDecode;
  OutputDepth = JpegDefaults.OutputDepth;
  ScanByScan = JpegDefaults.ScanByScan;
  WriteProgressive = JpegDefaults.WriteProgressive;
  ScaleShift = JpegDefaults.ScaleShift;
  BlockSmoothing = JpegDefaults.BlockSmoothing;
  Data = MakeObject<JpegData>();
  CmykHook = ConvertCmykToBgr;
}

void JpegImage::Destroy() {
  FreeAndNull(DecodedBitmap);
  FreeAndNull(Data);
  ObjectBase::Destroy();
}

void JpegImage::ResetData() {
  FreeAndNull(Data);
  Data = MakeObject<JpegData>();
}

void JpegImage::DropBitmap() { FreeAndNull(DecodedBitmap); }

void JpegImage::NotifyChanged() {
  if (ChangeHandler) ChangeHandler.Invoke<ImageChangeProc>(this);
}

void JpegImage::EnsureCompressed() {
  if (!Data->Compressed) Encode();
}

void JpegImage::ClearImage() {
  DropBitmap();
  if (Data->Compressed) Data->Compressed->SetSize(0);
  Data->StoredWidth = 0;
  Data->StoredHeight = 0;
  ScaledSizeStale = true;
}

void JpegImage::ReadFrom(Stream* stream) {
  DecodeFailed = false;
  uint32_t size = stream->Size();
  uint32_t position = stream->Position();
  // A stream that failed to open reports position 0xFFFFFFFF: nothing to read then.
  LoadBytes(stream, position < size ? size - position : 0);
}

void JpegImage::LoadBytes(Stream* stream, uint32_t count) {
  ResetData();
  DropBitmap();
  ScaledSizeStale = true;
  try {
    Stream* bytes = MakeMemoryStream();
    Data->Compressed = bytes;
    bytes->SetSize(count);
    if (count > 0) {
      uint32_t got = stream->Read(bytes->Memory, count);
      if (got < count) bytes->SetSize(got);  // keep only what the stream really gave
    }
    ReadStoredHeader();
  } catch (...) {
    ResetData();
  }
  NotifyChanged();
}

void JpegImage::TakeBytes(Stream* bytes) {
  ResetData();
  DropBitmap();
  ScaledSizeStale = true;
  Data->Compressed = bytes;
  ReadStoredHeader();
  NotifyChanged();
}

void JpegImage::ReadStoredHeader() {
  Stream* bytes = Data->Compressed;
  if (!bytes || bytes->Size() < JpegMinimumParsedSize) return;
  bytes->SetPosition(0);
  JpegHeader header = ReadJpegHeader(bytes);
  if (header.Created) {
    Data->StoredWidth = header.Width;
    Data->StoredHeight = header.Height;
    Data->StoredGray = header.ColorSpace == JCS_GRAYSCALE;
    Data->Orientation = static_cast<uint8_t>(header.Orientation);
    WriteProgressive = header.MultipleScans;
  }
}

uint32_t JpegImage::UprightWidth() {
  return Data->Orientation >= 5 ? Data->StoredHeight : Data->StoredWidth;
}

uint32_t JpegImage::UprightHeight() {
  return Data->Orientation >= 5 ? Data->StoredWidth : Data->StoredHeight;
}

void JpegImage::SetScaleShift(uint8_t shift) {
  if (shift > 3) shift = 3;
  if (shift == ScaleShift) return;
  ScaleShift = shift;
  ScaledSizeStale = true;
}

uint32_t JpegImage::Width() {
  if (DecodedBitmap) return static_cast<uint32_t>(DecodedBitmap->Width);
  if (ScaleShift == 0) return Data->StoredWidth;
  RefreshScaledSize();
  return ScaledWidth;
}

uint32_t JpegImage::Height() {
  if (DecodedBitmap) return static_cast<uint32_t>(DecodedBitmap->Height);
  if (ScaleShift == 0) return Data->StoredHeight;
  RefreshScaledSize();
  return ScaledHeight;
}

void JpegImage::RefreshScaledSize() {
  if (!ScaledSizeStale) return;
  ScaledSizeStale = false;
  ScaledWidth = 0;
  ScaledHeight = 0;
  if (!Data->Compressed || Data->StoredWidth == 0 || Data->StoredHeight == 0) return;
  CodecContext* context = new CodecContext;
  if (PrepareDecoder(context)) {
    j_decompress_ptr d = &context->Decompress;
    d->progress = nullptr;
    if (RunCodecCall(&context->Error, [&] { jpeg_calc_output_dimensions(d); })) {
      ScaledWidth = d->output_width;
      ScaledHeight = d->output_height;
    }
    boolean multiple = FALSE;
    RunCodecCall(&context->Error, [&] { multiple = jpeg_has_multiple_scans(d); });
    WriteProgressive = multiple != FALSE;
  }
  CleanupCodecContext(context);
  delete context;
}

// Sets up a decompression of the stored bytes: library object, progress, header, and
// the parameters this object's options ask for. False when the header could not be read
// (the context still needs its clean-up).
bool JpegImage::PrepareDecoder(CodecContext* context) {
  ResetContext(context, this);
  j_decompress_ptr d = &context->Decompress;
  if (!RunCodecCall(&context->Error, [&] { jpeg_create_decompress(d); })) return false;
  d->mem->max_memory_to_use = CodecMemoryLimit;
  InstallProgress(context);
  if (!Data->Compressed) return false;
  Data->Compressed->SetPosition(0);
  AttachStreamSource(d, Data->Compressed);
  if (!RunCodecCall(&context->Error, [&] { jpeg_read_header(d, TRUE); })) return false;

  d->scale_num = 1;
  d->scale_denom = 1u << ScaleShift;
  d->do_block_smoothing = BlockSmoothing ? TRUE : FALSE;
  if (GrayOnly) d->out_color_space = JCS_GRAYSCALE;
  // CMYK output stays four samples per pixel at any depth; the CMYK hook makes colours.
  if (!IsCmykSpace(d->out_color_space) &&
      (OutputDepth == Depth8 || d->out_color_space == JCS_GRAYSCALE)) {
    d->quantize_colors = TRUE;
    d->desired_number_of_colors = QuantizedColors;
  }
  if (FastDecode) {
    d->dct_method = JDCT_IFAST;
    d->two_pass_quantize = FALSE;
    d->dither_mode = JDITHER_ORDERED;
  }
  context->SavedDctMethod = d->dct_method;
  context->SavedTwoPass = d->two_pass_quantize;
  context->SavedDitherMode = d->dither_mode;
  if (ScanByScan) {
    boolean multiple = FALSE;
    RunCodecCall(&context->Error, [&] { multiple = jpeg_has_multiple_scans(d); });
    if (multiple) {
      d->enable_2pass_quant = d->two_pass_quantize;
      d->dct_method = JDCT_IFAST;
      d->two_pass_quantize = FALSE;
      d->dither_mode = JDITHER_ORDERED;
      d->buffered_image = TRUE;
    }
  }
  // Colour rows go straight into the bitmap in its blue, green, red order.
  if (d->out_color_space == JCS_RGB && !d->quantize_colors) d->out_color_space = JCS_EXT_BGR;
  return true;
}

Bitmap* JpegImage::Decode() {
  if (DecodedBitmap) return DecodedBitmap;
  uint32_t width = Width();
  uint32_t height = Height();
  if (width == 0 || height == 0) return nullptr;

  CodecErrorFlag = 0;
  StopRequested = false;
  CodecContext* context = new (std::nothrow) CodecContext;
  if (!context) {
    DecodeFailed = true;
    return nullptr;
  }
  bool headerRead = PrepareDecoder(context);
  DecodeFailed = CodecErrorFlag != 0;
  j_decompress_ptr d = &context->Decompress;

  // Bitmap kind for the library's output; pictures whose output is none of gray, colour
  // or CMYK (two or five and more components) are not decoded: their rows would not fit.
  PixelFormat format = Bpp24;
  bool decodable = headerRead;
  if (headerRead) {
    if (d->quantize_colors)
      format = Bpp8;
    else if (IsCmykSpace(d->out_color_space))
      format = Bpp32;
    else if (d->out_color_space != JCS_EXT_BGR)
      decodable = false;
  }

  // A bitmap that cannot be had (too large for this process) means no picture at all.
  Bitmap* bitmap = nullptr;
  uint64_t fullPixels = static_cast<uint64_t>(Data->StoredWidth) * Data->StoredHeight;
  if (DibBytes(width, height, static_cast<uint32_t>(BitsPerPixel(format))) <= JpegMaxBitmapBytes &&
      fullPixels <= JpegMaxPixels && width <= INT32_MAX && height <= INT32_MAX) {
    try {
      bitmap = MakeDibBitmap(static_cast<int32_t>(width), static_cast<int32_t>(height), format);
    } catch (...) {
      bitmap = nullptr;
    }
    if (bitmap && (bitmap->IsEmptyBitmap() || !bitmap->RowAddress(0))) FreeAndNull(bitmap);
  }
  if (!bitmap) {
    CleanupCodecContext(context);
    delete context;
    CodecErrorFlag = 1;
    DecodeFailed = true;
    return nullptr;
  }
  DecodedBitmap = bitmap;

  DecodeState state;
  RECT none = {0, 0, 0, 0};
  try {
    if (PaintHook) PaintHook(this, &none);
    if (decodable) RunDecode(context, bitmap, &state.Finished, &state.TableCopied);
  } catch (...) {
  }
  try {
    RECT all = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (PaintHook) PaintHook(this, &all);
    if (state.TableCopied) NotifyChanged();
    if (CodecErrorFlag || !state.Finished) CodecErrorFlag = 1;
    if (headerRead && IsCmykSpace(d->out_color_space) && bitmap->CurrentFormat() == Bpp32) {
      InCmykHook = true;
      CmykInverted = d->saw_Adobe_marker != FALSE;
      if (CmykHook) CmykHook(bitmap);
      InCmykHook = false;
    }
  } catch (...) {
    InCmykHook = false;
  }
  CleanupCodecContext(context);
  delete context;
  DecodeFailed = CodecErrorFlag != 0;
  return bitmap;
}

// The library part of a decode: start, the display passes of a scan-by-scan decode, the
// final pass and the finish. A fatal library error jumps back here and ends it early.
bool JpegImage::RunDecode(CodecContext* context, Bitmap* bitmap, bool* finished,
                          bool* tableCopied) {
  j_decompress_ptr d = &context->Decompress;
  if (setjmp(context->Error.Jump) != 0) return false;

  jpeg_start_decompress(d);
  // The bitmap was sized from the header; never let rows run past it.
  if (d->output_width != static_cast<JDIMENSION>(bitmap->Width) ||
      d->output_height != static_cast<JDIMENSION>(bitmap->Height) ||
      static_cast<uint64_t>(d->output_width) * d->output_components > bitmap->RowSize())
    return false;

  uint8_t* first = bitmap->RowAddress(0);
  ptrdiff_t step = d->output_height > 1 ? bitmap->RowAddress(1) - first : 0;
  bool quantized = bitmap->CurrentFormat() == Bpp8;

  if (d->buffered_image) {
    // One display pass each time a scan has been taken in completely.
    for (;;) {
      int status = jpeg_consume_input(d);
      if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED) break;
      if (status != JPEG_SCAN_COMPLETED) continue;
      jpeg_start_output(d, d->input_scan_number);
      if (CodecErrorFlag || StopRequested) return false;
      if (context->Progress.completed_passes == 0 && d->colormap && quantized) {
        CopyColormap(d, bitmap);
        *tableCopied = true;
      }
      ReadRows(d, first, step);
      jpeg_finish_output(d);
    }
    d->dct_method = context->SavedDctMethod;
    d->dither_mode = context->SavedDitherMode;
    if (context->SavedTwoPass) {
      d->two_pass_quantize = TRUE;
      d->colormap = nullptr;
    }
    jpeg_start_output(d, d->input_scan_number);
  }
  if ((!d->buffered_image || context->SavedTwoPass) && d->colormap && quantized) {
    CopyColormap(d, bitmap);
    *tableCopied = true;
  }
  ReadRows(d, first, step);
  if (d->buffered_image) jpeg_finish_output(d);
  jpeg_finish_decompress(d);
  *finished = true;
  return true;
}

void JpegImage::Encode() {
  CodecContext* context = new CodecContext;
  ResetContext(context, this);
  Bitmap* temporary = nullptr;
  try {
    if (Data->Compressed) ResetData();
    Stream* out = MakeMemoryStream();
    Data->Compressed = out;
    out->SetPosition(0);
    if (RunCodecCall(&context->Error, [&] { jpeg_create_compress(&context->Compress); }) &&
        DecodedBitmap && !DecodedBitmap->IsEmptyBitmap()) {
      j_compress_ptr c = &context->Compress;
      InstallProgress(context);
      AttachStreamDestination(c, out);
      c->image_width = static_cast<JDIMENSION>(DecodedBitmap->Width);
      c->image_height = static_cast<JDIMENSION>(DecodedBitmap->Height);
      Data->StoredWidth = c->image_width;
      Data->StoredHeight = c->image_height;
      c->input_components = 3;
      c->in_color_space = JCS_EXT_BGR;

      // Rows go to the library as blue, green, red; a picture in another format is
      // converted on a copy first.
      Bitmap* rows = DecodedBitmap;
      if (rows->CurrentFormat() != Bpp24) {
        temporary = MakeBitmap(0, 0);
        if (temporary->AssignFrom(DecodedBitmap)) temporary->ChangeFormat(Bpp24);
        rows = temporary;
      }
      uint8_t* first = rows->CurrentFormat() == Bpp24 ? rows->RowAddress(0) : nullptr;
      if (first && rows->Width == DecodedBitmap->Width && rows->Height == DecodedBitmap->Height) {
        ptrdiff_t step = c->image_height > 1 ? rows->RowAddress(1) - first : 0;
        bool gray = GrayOnly;
        if (gray) Data->StoredGray = true;
        RECT none = {0, 0, 0, 0};
        if (PaintHook) PaintHook(this, &none);
        RunCodecCall(&context->Error, [&] {
          jpeg_set_defaults(c);
          jpeg_set_quality(c, EncodeQuality, TRUE);
          if (gray) jpeg_set_colorspace(c, JCS_GRAYSCALE);
          if (WriteProgressive) jpeg_simple_progression(c);
          jpeg_start_compress(c, TRUE);
          uint8_t* row = first;
          while (c->next_scanline < c->image_height) {
            JSAMPROW one[1] = {row};
            JDIMENSION written = jpeg_write_scanlines(c, one, 1);
            if (written == 0) break;
            row += static_cast<ptrdiff_t>(written) * step;
          }
          jpeg_finish_compress(c);
        });
      }
    }
  } catch (...) {
    // Out of memory while encoding: the bytes stay as far as they were written.
  }
  FreeObject(temporary);
  CleanupCodecContext(context);
  delete context;
}

void JpegImage::SetFromBitmap(Bitmap* bitmap) {
  ResetData();
  FreeAndNull(DecodedBitmap);
  DecodedBitmap = MakeBitmap(0, 0);
  DecodedBitmap->AssignFrom(bitmap);
  NotifyChanged();
}

void JpegImage::WriteTo(Stream* stream) {
  EnsureCompressed();
  Stream* bytes = Data->Compressed;
  if (bytes && bytes->Size() > 0) stream->Write(bytes->Memory, bytes->Size());
}

bool JpegImage::WriteToFile(const char* name) {
  if (IsEmpty()) return false;
  EnsureCompressed();
  uint32_t size = Data->Compressed ? Data->Compressed->Size() : 0;
  if (size == 0) return false;  // nothing could be encoded: create no file
  // Written beside the target and moved over it only once whole and on disk: a failed save
  // leaves an existing file as it was, and a read-only one is refused.
  return SaveWholeFile(NonNullText(name), Data->Compressed->Memory, size);
}

void JpegImage::SetOutputDepth(JpegDepth depth) {
  if (OutputDepth == depth) return;
  Decode();
  FreeAndNull(Data->Compressed);
  OutputDepth = depth;
  EnsureCompressed();
  DropBitmap();
  NotifyChanged();
}

void ConvertCmykToBgr(Bitmap* bitmap) {
  if (!bitmap || bitmap->CurrentFormat() != Bpp32) return;
  bool inverted = CmykInverted;
  for (int32_t y = 0; y < bitmap->Height; ++y) {
    uint8_t* p = bitmap->RowAddress(y);
    if (!p) return;
    for (int32_t x = 0; x < bitmap->Width; ++x, p += 4) {
      const uint8_t cmyk[4] = {p[0], p[1], p[2], p[3]};
      CmykToBgr(cmyk, p, inverted);
      p[3] = 0;
    }
  }
}

}  // namespace velmora
