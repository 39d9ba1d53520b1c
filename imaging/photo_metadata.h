// Photo details a JPEG file carries beside its pixels: the EXIF orientation, an EXIF block fit
// for a smaller copy (no location, no thumbnail), the ICC colour profile in its APP2 chunks, and
// the pixel geometry of the eight orientations. Plain byte work over the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

// ---- Marker segments ----

constexpr uint8_t ExifMarkerCode = 0xE1;  // APP1
constexpr uint8_t IccMarkerCode = 0xE2;   // APP2
// The most bytes one marker segment can carry after its two length bytes.
constexpr size_t MaxMarkerPayload = 65533;

// One application marker of a file: its code byte and the bytes after its length field.
struct MarkerPayload {
  uint8_t Code = 0;
  std::vector<uint8_t> Bytes;
};

// ---- EXIF (an APP1 payload starting with "Exif\0\0", then a TIFF structure) ----

// The orientation 1..8 in IFD0; 1 when the block has none, or is damaged, truncated or not EXIF.
// Every offset and count is checked against the block's end; nothing outside it is read.
int ReadExifOrientation(const uint8_t* data, size_t size);

// A new APP1 payload for a copy of newWidth x newHeight pixels, in the source's byte order:
// IFD0, the Exif IFD and its interoperability IFD with their tags, the given orientation (1,
// upright pixels, unless the copy's pixels are still stored turned), pixel dimensions set to
// the new size; no GPS IFD, no IFD1 (thumbnail), no maker note, no XMP or other embedded
// blocks. Empty when the block cannot be parsed safely or the result would not fit into one
// marker.
std::vector<uint8_t> RewriteExifForCopy(const uint8_t* data, size_t size, uint32_t newWidth,
                                        uint32_t newHeight, int orientation = 1);

// ---- ICC profile (APP2 payloads "ICC_PROFILE\0", sequence number, chunk count, bytes) ----

constexpr size_t IccChunkHeaderSize = 14;
constexpr size_t IccChunkMaxProfileBytes = MaxMarkerPayload - IccChunkHeaderSize;  // 65519

// The profile from the APP2 payloads in file order; payloads of other APP2 kinds are passed
// over. Empty when there is no chunk, or the numbering is not 1..count, each once, with one
// count throughout.
std::vector<uint8_t> AssembleIccProfile(const std::vector<std::vector<uint8_t>>& chunks);

// The APP2 payloads that carry the profile, numbered 1..n; none for an empty profile or one
// that needs more than 255 chunks.
std::vector<std::vector<uint8_t>> SplitIccProfile(const std::vector<uint8_t>& profile);

// ---- What a file carries, and what its shrunk copy carries ----

struct PhotoDetails {
  int Orientation = 1;              // 1..8 from the EXIF block, 1 without a usable one
  std::vector<uint8_t> IccProfile;  // the whole profile; empty without a consistent one
  std::vector<uint8_t> Exif;        // the file's first EXIF APP1 payload, as stored
};

// Collects the details from a file's application markers in file order (any codes; APP1 and
// APP2 are looked at).
PhotoDetails CollectPhotoDetails(const std::vector<MarkerPayload>& markers);

// The markers a copy of width x height pixels (stored with the given orientation) carries
// after its JFIF marker, in the order to write them: the rewritten EXIF block (when it can be
// made), then the profile.
std::vector<MarkerPayload> MarkersForCopy(const PhotoDetails& details, uint32_t width,
                                          uint32_t height, int orientation = 1);

// ---- Orientation geometry ----

struct PixelSize {
  uint32_t Width = 0;
  uint32_t Height = 0;
};

struct PixelPoint {
  uint32_t X = 0;
  uint32_t Y = 0;
};

// The upright size of a stored width x height picture: sides exchanged for 5 to 8.
PixelSize OrientedSize(uint32_t width, uint32_t height, int orientation);

// The pixel of the stored width x height picture that shows at (x, y) of the upright picture
// (x < its upright width, y < its upright height). Orientations: 1 as stored, 2 mirrored
// left-right, 3 turned 180 degrees, 4 mirrored top-bottom, 5 transposed, 6 stored turned 90
// degrees anticlockwise (turn clockwise to view), 7 transversed, 8 stored turned clockwise.
// Values outside 1..8 count as 1.
PixelPoint StoredPixelOf(uint32_t x, uint32_t y, uint32_t width, uint32_t height, int orientation);

}  // namespace velmora
