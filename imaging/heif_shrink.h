// The Shrink action on a HEIF/HEIC photo file: decoded whole by velmora-heif.dll, resampled
// row by row and written as the same JPEG copy a JPEG photo gets; and the HEIF decoder's
// problems in the words of the JPEG ones. Relies on imaging/heif_decoder.h and imaging/shrink.h.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/heif_decoder.h"
#include "imaging/shrink.h"

namespace velmora {

// The problem a HEIF photo that cannot be decoded is reported with (a file that could not be
// read maps to Damaged; InspectPhotoFile tells it apart first).
PictureProblem PictureProblemOf(HeifProblem problem);

// Shrinks the HEIF photo at path to percent of its upright size and appends the copy's JPEG
// bytes to out, as ShrinkJpegBytes does for a JPEG: a baseline JFIF JPEG of ShrinkQuality with
// the photo's EXIF block (new size, orientation 1, no location, no thumbnail) and its ICC
// profile byte for byte. A photo described by colour code points alone (nclx) gets no profile,
// so its copy reads as sRGB. The pixels come upright from the decoder and are never turned.
// The whole picture is decoded inside the DLL (3 bytes a pixel); the resampler reads its rows
// from there, so no second copy is made. False without a copy, as ShrinkJpegBytes.
bool ShrinkHeifFile(const std::string& path, int32_t percent, Stream* out, ShrinkReport& report,
                    PipelineThreading threading = PipelineThreading::Auto);

// Whether the bytes of file from its start are a HEIF file; the file is left at its start.
bool StreamLooksLikeHeif(Stream* file);

// Copies of the opened HEIF image at count scales of its upright size, as ShrinkJpegCopies
// makes them of a JPEG: copy i appended to outs[i], reports[i] saying what it did. The image is
// decoded once (unless it was already) and every copy reads its rows from there
// (ShrinkDecodedCopies). True when every copy was made (a scale that leaves a side of 0 pixels
// makes none, with Problem None).
bool ShrinkHeifCopies(HeifImage& image, const ShrinkScale* scales, size_t count,
                      Stream* const* outs, ShrinkReport* reports,
                      PipelineThreading threading = PipelineThreading::Auto);

}  // namespace velmora
