// Row-by-row decoding and encoding through the codec's scanline calls.
#include "imaging/jpeg_rows.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <jerror.h>

#include "toolkit/stream.h"

namespace velmora {

namespace {

// A progressive file may have any number of scans, each costing a pass over the whole
// coefficient buffer; real encoders write a dozen or so.
constexpr int MaxScans = 500;

void StopEndlessScans(j_common_ptr object) {
  auto* d = reinterpret_cast<j_decompress_ptr>(object);
  if (d->input_scan_number > MaxScans) ERREXIT(object, JERR_NOT_COMPILED);
}

PictureProblem ProblemOf(int code) {
  switch (code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
    case JERR_TOO_LITTLE_DATA:
      return PictureProblem::TooLarge;
    case JERR_BAD_PRECISION:
    case JERR_NOT_COMPILED:
    case JERR_CCIR601_NOTIMPL:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_COMPONENT_COUNT:
    case JERR_BAD_J_COLORSPACE:
    case JERR_SOF_UNSUPPORTED:
    case JERR_ARITH_NOTIMPL:
      return PictureProblem::Unsupported;
    case JERR_NO_SOI:
    case JERR_INPUT_EMPTY:
      return PictureProblem::NotJpeg;
    default:
      return PictureProblem::Damaged;
  }
}

// Bytes of the whole-picture coefficient buffer of a multi-scan decode.
uint64_t CoefficientBytes(j_decompress_ptr d) {
  uint64_t total = 0;
  for (int i = 0; i < d->num_components; ++i) {
    const jpeg_component_info& c = d->comp_info[i];
    const uint64_t across = (static_cast<uint64_t>(d->image_width) * c.h_samp_factor +
                             8ull * d->max_h_samp_factor - 1) /
                            (8ull * d->max_h_samp_factor);
    const uint64_t down = (static_cast<uint64_t>(d->image_height) * c.v_samp_factor +
                           8ull * d->max_v_samp_factor - 1) /
                          (8ull * d->max_v_samp_factor);
    total += across * down * sizeof(JBLOCK);
  }
  return total;
}

CodecContext* NewContext() {
  auto* context = new CodecContext;
  std::memset(static_cast<void*>(context), 0, sizeof(CodecContext));
  return context;
}

}  // namespace

int32_t DecodeEighthsFor(uint32_t width, uint32_t height, int32_t newWidth, int32_t newHeight,
                         double margin) {
  for (int32_t eighths = 1; eighths < 8; eighths *= 2) {
    if (ScaledSide(width, eighths) >= margin * newWidth &&
        ScaledSide(height, eighths) >= margin * newHeight)
      return eighths;
  }
  return 8;
}

// ---- JpegRowReader ----

JpegRowReader::JpegRowReader() : Context(NewContext()) {}

JpegRowReader::~JpegRowReader() {
  if (Created) CleanupCodecContext(Context);
  delete Context;
}

bool JpegRowReader::Fail(PictureProblem problem) {
  if (Problem == PictureProblem::None) Problem = problem;
  return false;
}

template <class Install>
bool JpegRowReader::ReadHeader(Install install, bool keepMarkers) {
  j_decompress_ptr d = &Context->Decompress;
  AttachCodecErrors(&Context->Error, &Context->Common);
  if (!RunCodecCall(&Context->Error, [&] { jpeg_create_decompress(d); }))
    return Fail(PictureProblem::TooLarge);
  Created = true;
  d->mem->max_memory_to_use = CodecMemoryLimit;
  Context->Progress.progress_monitor = StopEndlessScans;
  d->progress = &Context->Progress;
  bool read = RunCodecCall(&Context->Error, [&] {
    install(d);
    if (keepMarkers) KeepPhotoMarkers(d);
    jpeg_read_header(d, TRUE);
  });
  Width = d->image_width;
  Height = d->image_height;
  if (!read) return Fail(ProblemOf(Context->Error.Public.msg_code));
  if (Width == 0 || Height == 0) return Fail(PictureProblem::Damaged);
  return true;
}

bool JpegRowReader::Open(const uint8_t* data, size_t size, bool keepMarkers) {
  if (!data || size < 2) return Fail(PictureProblem::NotJpeg);
  return ReadHeader(
      [&](j_decompress_ptr d) { jpeg_mem_src(d, data, static_cast<unsigned long>(size)); },
      keepMarkers);
}

bool JpegRowReader::Open(Stream* stream, bool keepMarkers) {
  if (!stream) return Fail(PictureProblem::NotJpeg);
  return ReadHeader([&](j_decompress_ptr d) { AttachStreamSource(d, stream); }, keepMarkers);
}

bool JpegRowReader::Start(int32_t eighths) {
  if (!Created || Problem != PictureProblem::None) return false;
  j_decompress_ptr d = &Context->Decompress;
  d->scale_num = static_cast<unsigned int>(eighths < 1 ? 1 : eighths > 8 ? 8 : eighths);
  d->scale_denom = 8;
  d->dct_method = JDCT_ISLOW;
  switch (d->jpeg_color_space) {
    case JCS_CMYK:
    case JCS_YCCK:
      d->out_color_space = JCS_CMYK;
      Cmyk = true;
      Inverted = d->saw_Adobe_marker != FALSE;
      break;
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      d->out_color_space = JCS_EXT_BGR;
      break;
    default:
      return Fail(PictureProblem::Unsupported);
  }
  if (!RunCodecCall(&Context->Error, [&] { Sequential = !jpeg_has_multiple_scans(d); }))
    return Fail(ProblemOf(Context->Error.Public.msg_code));
  // A file of several scans is decoded through a buffer of all its coefficients (two bytes a
  // sample); refuse it before the library sizes that buffer in 32-bit arithmetic.
  if (!Sequential && CoefficientBytes(d) > static_cast<uint64_t>(CodecMemoryLimit))
    return Fail(PictureProblem::TooLarge);
  if (!RunCodecCall(&Context->Error, [&] { jpeg_start_decompress(d); }))
    return Fail(ProblemOf(Context->Error.Public.msg_code));
  OutputWidth = static_cast<int32_t>(d->output_width);
  OutputHeight = static_cast<int32_t>(d->output_height);
  BandRows = static_cast<JDIMENSION>(d->max_v_samp_factor * d->min_DCT_scaled_size);
  if (d->output_components != (Cmyk ? 4 : 3)) return Fail(PictureProblem::Unsupported);
  if (Cmyk) {
    try {
      CmykRow.assign(static_cast<size_t>(OutputWidth) * 4, 0);
    } catch (const std::bad_alloc&) {
      return Fail(PictureProblem::TooLarge);
    }
  }
  return true;
}

int32_t JpegRowReader::ReadRows(uint8_t* const* rows, int32_t count) {
  if (!Created || Problem != PictureProblem::None) return 0;
  j_decompress_ptr d = &Context->Decompress;
  int32_t done = 0;
  uint8_t* cmyk = CmykRow.data();
  bool ok = RunCodecCall(&Context->Error, [&] {
    while (done < count && d->output_scanline < d->output_height) {
      JSAMPROW target[1] = {Cmyk ? cmyk : rows[done]};
      if (jpeg_read_scanlines(d, target, 1) == 0) break;  // a memory source never suspends
      // A single-scan file whose data ends early would go on giving filler rows to the end,
      // which for a few hundred bytes claiming 65535 x 65535 pixels takes minutes. Rows up to
      // the data's end are real; a file that lacks more than its last band of rows is damaged.
      if (Sequential && Context->Error.DataEnded &&
          d->output_height - d->output_scanline > 2 * BandRows)
        ERREXIT(d, JERR_INPUT_EOF);
      if (Cmyk) {
        uint8_t* bgr = rows[done];
        for (int32_t x = 0; x < OutputWidth; ++x) CmykToBgr(cmyk + 4 * x, bgr + 3 * x, Inverted);
      }
      ++done;
    }
  });
  if (!ok) {
    Fail(ProblemOf(Context->Error.Public.msg_code));
    RowsRead += done;
    return 0;
  }
  RowsRead += done;
  return done;
}

int32_t JpegRowReader::SkipRows(int32_t count) {
  if (!Created || Problem != PictureProblem::None || count <= 0) return 0;
  j_decompress_ptr d = &Context->Decompress;
  JDIMENSION skipped = 0;
  const bool ok = RunCodecCall(&Context->Error, [&] {
    skipped = jpeg_skip_scanlines(d, static_cast<JDIMENSION>(count));
    // As ReadRows: data that ends early is damaged, not rows of filler to skip.
    if (Sequential && Context->Error.DataEnded &&
        d->output_height - d->output_scanline > 2 * BandRows)
      ERREXIT(d, JERR_INPUT_EOF);
  });
  RowsRead += static_cast<int32_t>(skipped);
  if (!ok) {
    Fail(ProblemOf(Context->Error.Public.msg_code));
    return 0;
  }
  return static_cast<int32_t>(skipped);
}

std::vector<MarkerPayload> JpegRowReader::Markers() const {
  return Created ? KeptMarkers(&Context->Decompress) : std::vector<MarkerPayload>{};
}

// ---- JpegRowWriter ----

JpegRowWriter::JpegRowWriter() : Context(NewContext()) {}

JpegRowWriter::~JpegRowWriter() {
  if (Created) CleanupCodecContext(Context);
  delete Context;
}

bool JpegRowWriter::Start(int32_t width, int32_t height, int quality, Stream* out,
                          int32_t codedAs) {
  j_compress_ptr c = &Context->Compress;
  AttachCodecErrors(&Context->Error, &Context->Common);
  if (!RunCodecCall(&Context->Error, [&] { jpeg_create_compress(c); })) return !(Failed = true);
  Created = true;
  c->mem->max_memory_to_use = CodecMemoryLimit;
  AttachStreamDestination(c, out);
  Width = width;
  Height = height;
  Coding = CodingFor(quality);
  Whole = CodedWhole(width, std::max(height, codedAs), Coding);
  if (!Whole) {  // as the codec codes by default: bounded memory whatever the size
    Coding = JpegCoding{};
    Coding.TableQuality = quality;
    Coding.OptimizeTables = false;
  }
  Chosen = Whole && Coding.Lambda > 0;
  c->image_width = static_cast<JDIMENSION>(width);
  c->image_height = static_cast<JDIMENSION>(height);
  c->input_components = 3;
  c->in_color_space = Chosen ? JCS_YCbCr : JCS_EXT_BGR;
  if (Chosen) {
    StripRows = Coding.FullChroma ? 8 : 16;
    PaddedWidth = Coding.FullChroma ? (width + 7) / 8 * 8 : (width + 15) / 16 * 16;
    try {
      Strip.assign(static_cast<size_t>(PaddedWidth) * StripRows * 3, 0);
    } catch (const std::bad_alloc&) {
      return !(Failed = true);
    }
  }
  bool ok = RunCodecCall(&Context->Error, [&] {
    jpeg_set_defaults(c);
    SetCodingTables(c, Coding);
    c->optimize_coding = Coding.OptimizeTables ? TRUE : FALSE;
    if (!Chosen) {
      jpeg_start_compress(c, TRUE);
      return;
    }
    const int mostH = c->comp_info[0].h_samp_factor, mostV = c->comp_info[0].v_samp_factor;
    for (int ci = 0; ci < 3; ++ci) {
      const jpeg_component_info& comp = c->comp_info[ci];
      const long across = (long(width) * comp.h_samp_factor + 8L * mostH - 1) / (8L * mostH);
      const long down = (long(height) * comp.v_samp_factor + 8L * mostV - 1) / (8L * mostV);
      Arrays[ci] = (*c->mem->request_virt_barray)(
          reinterpret_cast<j_common_ptr>(c), JPOOL_IMAGE, FALSE,
          static_cast<JDIMENSION>((across + comp.h_samp_factor - 1) / comp.h_samp_factor *
                                  comp.h_samp_factor),
          static_cast<JDIMENSION>((down + comp.v_samp_factor - 1) / comp.v_samp_factor *
                                  comp.v_samp_factor),
          static_cast<JDIMENSION>(comp.v_samp_factor));
    }
    (*c->mem->realize_virt_arrays)(reinterpret_cast<j_common_ptr>(c));
    jpeg_write_coefficients(c, Arrays);
  });
  if (!ok) Failed = true;
  return ok;
}

bool JpegRowWriter::WriteMarkers(const std::vector<MarkerPayload>& markers) {
  if (!Created || Failed) return false;
  j_compress_ptr c = &Context->Compress;
  if (!RunCodecCall(&Context->Error, [&] { velmora::WriteMarkers(c, markers); })) Failed = true;
  return !Failed;
}

void JpegRowWriter::CodeStrip() {
  j_compress_ptr c = &Context->Compress;
  const size_t plane = static_cast<size_t>(PaddedWidth) * StripRows;
  for (int ci = 0; ci < 3; ++ci) {
    const jpeg_component_info& comp = c->comp_info[ci];
    const bool halve = ci > 0 && !Coding.FullChroma;
    const int step = halve ? 16 : 8;  // samples of the strip per block side
    JBLOCKARRAY blocks =
        (*c->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(c), Arrays[ci],
                                      static_cast<JDIMENSION>(StripsDone * comp.v_samp_factor),
                                      static_cast<JDIMENSION>(comp.v_samp_factor), TRUE);
    const uint8_t* samples = Strip.data() + ci * plane;
    const int32_t across = PaddedWidth / step;
    for (int row = 0; row < comp.v_samp_factor; ++row)
      for (int32_t b = 0; b < across; ++b)
        ForwardTransform(samples + static_cast<size_t>(row) * step * PaddedWidth + b * step,
                         static_cast<size_t>(PaddedWidth), halve, blocks[row][b]);
  }
  ++StripsDone;
  RowsInStrip = 0;
}

bool JpegRowWriter::WriteRows(const uint8_t* const* rows, int32_t count) {
  if (!Created || Failed) return false;
  j_compress_ptr c = &Context->Compress;
  bool ok = RunCodecCall(&Context->Error, [&] {
    if (!Chosen) {
      for (int32_t i = 0; i < count; ++i) {
        JSAMPROW one[1] = {const_cast<JSAMPROW>(rows[i])};
        if (jpeg_write_scanlines(c, one, 1) != 1) ERREXIT(c, JERR_FILE_WRITE);
      }
      return;
    }
    const size_t plane = static_cast<size_t>(PaddedWidth) * StripRows;
    for (int32_t i = 0; i < count && RowsDone < Height; ++i, ++RowsDone) {
      uint8_t* y = Strip.data() + static_cast<size_t>(RowsInStrip) * PaddedWidth;
      BgrToYcc(rows[i], Width, PaddedWidth, y, y + plane, y + 2 * plane);
      if (++RowsInStrip == StripRows) CodeStrip();
    }
  });
  if (!ok) Failed = true;
  return ok;
}

void JpegRowWriter::QuantizeAll() {
  j_compress_ptr c = &Context->Compress;
  // First the statistics of plain rounding give the code lengths the choice weighs bits by.
  long counts[2][257];
  std::memset(counts, 0, sizeof counts);
  JBLOCK rounded;
  for (int ci = 0; ci < 3; ++ci) {
    const jpeg_component_info& comp = c->comp_info[ci];
    const UINT16* quant = c->quant_tbl_ptrs[comp.quant_tbl_no]->quantval;
    const JDIMENSION across = static_cast<JDIMENSION>(comp.width_in_blocks);
    for (JDIMENSION row = 0; row < comp.height_in_blocks; ++row) {
      JBLOCKARRAY blocks = (*c->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(c),
                                                         Arrays[ci], row, 1, FALSE);
      for (JDIMENSION b = 0; b < across; ++b) {
        RoundBlock(blocks[0][b], quant, rounded);
        CountAcSymbols(rounded, counts[ci > 0]);
      }
    }
  }
  const AcCodeLengths lengths[2] = {OptimalAcLengths(c, counts[0]), OptimalAcLengths(c, counts[1])};
  for (int ci = 0; ci < 3; ++ci) {
    const jpeg_component_info& comp = c->comp_info[ci];
    const UINT16* quant = c->quant_tbl_ptrs[comp.quant_tbl_no]->quantval;
    // A 4:2:0 chroma block covers four times the pixels: its errors weigh four times.
    const float lambda = (Coding.Relative ? Coding.Lambda : LambdaFor(quant, Coding.Lambda)) /
                         (ci > 0 && !Coding.FullChroma ? 4.0f : 1.0f);
    JDIMENSION rowsHeld = static_cast<JDIMENSION>(StripsDone * comp.v_samp_factor);
    JDIMENSION across =
        static_cast<JDIMENSION>((PaddedWidth / (ci > 0 && !Coding.FullChroma ? 16 : 8)));
    for (JDIMENSION row = 0; row < rowsHeld; ++row) {
      JBLOCKARRAY blocks = (*c->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(c),
                                                         Arrays[ci], row, 1, TRUE);
      for (JDIMENSION b = 0; b < across; ++b) {
        std::memcpy(rounded, blocks[0][b], sizeof rounded);
        ChooseBlock(rounded, quant, lengths[ci > 0], lambda, blocks[0][b], Coding.Relative);
      }
    }
  }
}

bool JpegRowWriter::Finish() {
  if (!Created || Failed) return false;
  j_compress_ptr c = &Context->Compress;
  if ((Chosen ? static_cast<JDIMENSION>(RowsDone) : c->next_scanline) != c->image_height)
    return !(Failed = true);
  if (!RunCodecCall(&Context->Error, [&] {
        if (Chosen) {
          if (RowsInStrip > 0) {  // the last strip: its last row repeated to the strip's end
            const size_t plane = static_cast<size_t>(PaddedWidth) * StripRows;
            for (int ci = 0; ci < 3; ++ci) {
              uint8_t* base = Strip.data() + ci * plane;
              for (int32_t row = RowsInStrip; row < StripRows; ++row)
                std::memcpy(base + static_cast<size_t>(row) * PaddedWidth,
                            base + static_cast<size_t>(RowsInStrip - 1) * PaddedWidth,
                            static_cast<size_t>(PaddedWidth));
            }
            CodeStrip();
          }
          QuantizeAll();
        }
        jpeg_finish_compress(c);
      }))
    Failed = true;
  return !Failed;
}

}  // namespace velmora
