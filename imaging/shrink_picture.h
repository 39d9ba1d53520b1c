// The Shrink action on the program's picture objects: ShrinkPicture makes a new JpegImage
// holding the shrunk copy of an opened one.
// Relies on imaging/shrink.h and imaging/jpeg_image.h.
#pragma once

#include <cstdint>

#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"

namespace velmora {

// Makes the shrunk picture of opened at percent of its upright width and height, through
// ShrinkJpegBytes on opened's JPEG bytes.
// In:  opened, a JpegImage holding JPEG bytes (as after ReadFrom); percent, normally 10..100.
// Out: a new JpegImage made by MakeJpegImage, owned by the caller (free it with FreeObject),
//      holding the copy's JPEG bytes and no bitmap; *byteCount = the size of those bytes, the
//      number the size line shows.
// No picture: when opened is null or holds no JPEG bytes, percent gives a zero (or negative)
//      side, or the decode or encode fails, the result is null, *byteCount is 0 and the
//      report (when given) says why.
JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkReport* report = nullptr,
                         PipelineThreading threading = PipelineThreading::Auto);

}  // namespace velmora
