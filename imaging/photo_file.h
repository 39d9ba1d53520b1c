// What a photo file is, from a look at its start: readable or not, a JPEG picture the program
// can decode or why not, its file size, its stored and upright pixel size and orientation.
// The one place that answers "what is this photo" for the window and the tool. Relies on
// imaging/jpeg_rows.h, imaging/photo_metadata.h, imaging/heif_shrink.h and toolkit/stream.h.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/jpeg_rows.h"

namespace velmora {

struct PhotoFacts {
  bool Readable = false;  // the file could be opened and read; nothing else is set otherwise
  PictureProblem Problem = PictureProblem::None;  // why it is no picture to shrink
  uint32_t FileBytes = 0;
  uint32_t Width = 0;  // stored size, once the header was read (also when too large)
  uint32_t Height = 0;
  int Orientation = 1;        // EXIF orientation 1..8
  uint32_t UprightWidth = 0;  // the size seen upright, as the size line shows it
  uint32_t UprightHeight = 0;
  bool Heif = false;  // a HEIF/HEIC file (decoded by velmora-heif.dll), upright as stored

  bool Usable() const { return Readable && Problem == PictureProblem::None; }
};

// Reads the start of the file (all of it when its header lies further in) and tells whether
// it is a JPEG picture the program can decode: readable, more than 450 bytes, a JPEG header,
// 8-bit samples of a colour model the codec knows, and no more pixels than a decode may take.
// Data that breaks off after the header is found only when it is decoded.
// A file that starts as a HEIF file is asked of the HEIF decoder instead (no least size):
// its upright size, and NotInstalled when the decoder is missing.
PhotoFacts InspectPhotoFile(const std::string& path);

}  // namespace velmora
