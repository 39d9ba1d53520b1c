// Turning and mirroring rows into the upright picture.
#include "imaging/orientation.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/photo_metadata.h"

namespace velmora {

OrientingSink::OrientingSink(RowSink& next, int orientation, int32_t storedWidth,
                             int32_t storedHeight)
    : Next(next),
      Orientation(orientation >= 1 && orientation <= 8 ? orientation : 1),
      Width(storedWidth),
      Height(storedHeight) {}

bool OrientingSink::Prepare() {
  if (Orientation == 1) return true;
  try {
    if (Orientation == 2) {
      Mirrored.assign(static_cast<size_t>(Width) * 3 + 16, 0);
      return true;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return Held.Allocate(Width, Height);
}

bool OrientingSink::PutRows(const uint8_t* const* rows, int32_t count) {
  if (Received + count > Height) return false;
  if (Orientation == 1) {
    Received += count;
    return Next.PutRows(rows, count);
  }
  for (int32_t i = 0; i < count; ++i, ++Received) {
    if (Orientation == 2) {
      const uint8_t* from = rows[i] + static_cast<size_t>(Width - 1) * 3;
      uint8_t* to = Mirrored.data();
      for (int32_t x = 0; x < Width; ++x, from -= 3, to += 3) std::memcpy(to, from, 3);
      const uint8_t* row = Mirrored.data();
      if (!Next.PutRows(&row, 1)) return false;
    } else {
      std::memcpy(Held.Row(Received), rows[i], static_cast<size_t>(Width) * 3);
    }
  }
  return true;
}

bool OrientingSink::Finish() {
  if (Received != Height) return false;
  if (Orientation <= 2) return true;
  const PixelSize upright =
      OrientedSize(static_cast<uint32_t>(Width), static_cast<uint32_t>(Height), Orientation);
  std::vector<uint8_t> row(static_cast<size_t>(upright.Width) * 3 + 16);
  const uint8_t* out = row.data();
  auto offsetOf = [&](uint32_t x, uint32_t y) {
    const PixelPoint p = StoredPixelOf(x, y, static_cast<uint32_t>(Width),
                                       static_cast<uint32_t>(Height), Orientation);
    return static_cast<ptrdiff_t>(p.Y) * Held.Stride + static_cast<ptrdiff_t>(p.X) * 3;
  };
  for (uint32_t y = 0; y < upright.Height; ++y) {
    // An upright row is a row or a column of the stored picture, walked one way or the other.
    const ptrdiff_t start = offsetOf(0, y);
    const ptrdiff_t step = upright.Width > 1 ? offsetOf(1, y) - start : 3;
    const uint8_t* from = Held.Pixels.data() + start;
    uint8_t* to = row.data();
    for (uint32_t x = 0; x < upright.Width; ++x, from += step, to += 3) std::memcpy(to, from, 3);
    if (!Next.PutRows(&out, 1)) return false;
  }
  return true;
}

}  // namespace velmora
