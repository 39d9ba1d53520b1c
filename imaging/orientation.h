// The orientation stage of the row pipeline: rows of a picture as stored, turned or mirrored
// into the upright picture its EXIF orientation describes, before they go on to the next sink.
// A mirror left-right passes row by row; every other turn needs the whole (already reduced)
// picture first. Relies on imaging/streaming.h and imaging/photo_metadata.h.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/streaming.h"

namespace velmora {

class OrientingSink : public RowSink {
 public:
  // Rows of a storedWidth x storedHeight picture with EXIF orientation 1..8 (anything else
  // counts as 1) go upright to next.
  OrientingSink(RowSink& next, int orientation, int32_t storedWidth, int32_t storedHeight);

  // Makes room for the whole picture when the turn needs it; false when that memory cannot
  // be had.
  bool Prepare();
  bool PutRows(const uint8_t* const* rows, int32_t count) override;
  // After the last row: sends the upright rows of a held picture on. False when a row is
  // missing or the next sink refused one.
  bool Finish();

 private:
  RowSink& Next;
  const int Orientation;
  const int32_t Width;
  const int32_t Height;
  int32_t Received = 0;
  BgrPicture Held;                // the whole picture, for turns other than a mirror
  std::vector<uint8_t> Mirrored;  // one row, for the mirror
};

}  // namespace velmora
