// EXIF reading and rewriting over a bounds-checked view of the TIFF structure, ICC profile
// chunking, and the orientation geometry.
#include "imaging/photo_metadata.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr uint8_t ExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t IccSignature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

// TIFF field types that are copied; all others (and unknown ones) drop their entry.
constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;
constexpr uint16_t TypeIfd = 13;

// Tags the rewrite looks at.
constexpr uint16_t TagImageWidth = 0x0100;
constexpr uint16_t TagImageLength = 0x0101;
constexpr uint16_t TagOrientation = 0x0112;
constexpr uint16_t TagExifIfd = 0x8769;
constexpr uint16_t TagGpsIfd = 0x8825;
constexpr uint16_t TagInteropIfd = 0xA005;
constexpr uint16_t TagPixelXDimension = 0xA002;
constexpr uint16_t TagPixelYDimension = 0xA003;

// Tags never carried into a copy: the location, pointers to data or structures that are
// not rewritten (strips, tiles, thumbnail, sub-images, private blocks whose inner offsets
// would go stale), the maker note, and embedded XMP, IPTC and colour profiles.
constexpr uint16_t DroppedTags[] = {
    0x0111,  // StripOffsets
    0x0117,  // StripByteCounts
    0x0144,  // TileOffsets
    0x0145,  // TileByteCounts
    0x014A,  // SubIFDs
    0x0201,  // JPEGInterchangeFormat (thumbnail)
    0x0202,  // JPEGInterchangeFormatLength
    0x02BC,  // XMP packet
    0x83BB,  // IPTC record
    0x8773,  // ICC profile inside TIFF
    TagGpsIfd,
    0x927C,  // MakerNote
    0xC634,  // DNG private data
    0xEA1C,  // padding some writers add
};

// Bytes per value of a field type; 0 for unknown types.
uint32_t TypeSize(uint16_t type) {
  switch (type) {
    case 1:  // BYTE
    case 2:  // ASCII
    case 6:  // SBYTE
    case 7:  // UNDEFINED
      return 1;
    case 3:  // SHORT
    case 8:  // SSHORT
      return 2;
    case 4:   // LONG
    case 9:   // SLONG
    case 11:  // FLOAT
    case 13:  // IFD
      return 4;
    case 5:   // RATIONAL
    case 10:  // SRATIONAL
    case 12:  // DOUBLE
      return 8;
    default:
      return 0;
  }
}

// A read-only view of a TIFF structure: every read is checked against its end.
class TiffView {
 public:
  TiffView(const uint8_t* data, size_t size, bool bigEndian)
      : Data(data), Size(size), BigEndian(bigEndian) {}

  bool Has(uint64_t offset, uint64_t count) const {
    return offset <= Size && count <= Size - offset;
  }
  uint16_t U16(size_t at) const {
    return BigEndian ? static_cast<uint16_t>(Data[at] << 8 | Data[at + 1])
                     : static_cast<uint16_t>(Data[at + 1] << 8 | Data[at]);
  }
  uint32_t U32(size_t at) const {
    uint32_t a = Data[at], b = Data[at + 1], c = Data[at + 2], d = Data[at + 3];
    return BigEndian ? a << 24 | b << 16 | c << 8 | d : d << 24 | c << 16 | b << 8 | a;
  }
  const uint8_t* At(size_t at) const { return Data + at; }
  bool IsBigEndian() const { return BigEndian; }

 private:
  const uint8_t* Data;
  size_t Size;
  bool BigEndian;
};

// One IFD entry as found; Usable is false when its type is unknown or its values do not lie
// inside the block.
struct FoundEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  size_t ValueAt = 0;  // offset of the value bytes
  uint32_t ValueBytes = 0;
  bool Usable = false;
};

// Opens the TIFF structure after the EXIF signature: byte order, the magic 42 and the offset
// of IFD0. False when any of it is missing or wrong.
bool OpenExif(const uint8_t* data, size_t size, TiffView* view, uint32_t* firstIfd) {
  if (!data || size < sizeof ExifSignature + 8) return false;
  if (std::memcmp(data, ExifSignature, sizeof ExifSignature) != 0) return false;
  const uint8_t* tiff = data + sizeof ExifSignature;
  size_t tiffSize = size - sizeof ExifSignature;
  bool big;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    big = false;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    big = true;
  else
    return false;
  *view = TiffView(tiff, tiffSize, big);
  if (view->U16(2) != 42) return false;
  *firstIfd = view->U32(4);
  return *firstIfd >= 8;
}

// Reads the entry table of the IFD at offset. False when the table does not fit in the block;
// the next-IFD link is not read (no chain is ever followed).
bool ReadIfd(const TiffView& view, uint32_t offset, std::vector<FoundEntry>* entries) {
  entries->clear();
  if (!view.Has(offset, 2)) return false;
  uint32_t count = view.U16(offset);
  if (!view.Has(uint64_t{offset} + 2, uint64_t{count} * 12)) return false;
  entries->reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = offset + 2 + size_t{i} * 12;
    FoundEntry e;
    e.Tag = view.U16(at);
    e.Type = view.U16(at + 2);
    e.Count = view.U32(at + 4);
    uint64_t bytes = uint64_t{TypeSize(e.Type)} * e.Count;
    if (TypeSize(e.Type) != 0 && bytes <= 4) {
      e.ValueAt = at + 8;
      e.Usable = true;
    } else if (TypeSize(e.Type) != 0) {
      e.ValueAt = view.U32(at + 8);
      e.Usable = view.Has(e.ValueAt, bytes);
    }
    e.ValueBytes = e.Usable ? static_cast<uint32_t>(bytes) : 0;
    entries->push_back(e);
  }
  return true;
}

// The single SHORT or LONG value of an entry, or -1.
int64_t SingleNumber(const TiffView& view, const FoundEntry& e) {
  if (!e.Usable || e.Count != 1) return -1;
  if (e.Type == TypeShort) return view.U16(e.ValueAt);
  if (e.Type == TypeLong || e.Type == TypeIfd) return view.U32(e.ValueAt);
  return -1;
}

// ---- Rewriting ----

// One entry of the new structure: raw value bytes in the output's byte order, or a link to
// another IFD of the new structure whose offset is filled in when it is written.
struct NewEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  std::vector<uint8_t> Value;
  int Child = -1;
};

using NewIfd = std::vector<NewEntry>;

class TiffWriter {
 public:
  explicit TiffWriter(bool bigEndian) : BigEndian(bigEndian) {
    Out.assign(ExifSignature, ExifSignature + sizeof ExifSignature);
    Out.push_back(bigEndian ? 'M' : 'I');
    Out.push_back(bigEndian ? 'M' : 'I');
    Put16(42);
    Put32(8);
  }

  // Writes the IFD at the next even offset, then its values, then the IFDs it links to;
  // returns its offset.
  uint32_t Write(const std::vector<NewIfd>& ifds, size_t index) {
    const NewIfd& ifd = ifds[index];
    Align();
    uint32_t start = Offset();
    Put16(static_cast<uint16_t>(ifd.size()));
    std::vector<size_t> slots;
    for (const NewEntry& e : ifd) {
      Put16(e.Tag);
      Put16(e.Type);
      Put32(e.Count);
      slots.push_back(Out.size());
      std::vector<uint8_t> inline4(4, 0);
      if (e.Child < 0 && e.Value.size() <= 4)
        std::copy(e.Value.begin(), e.Value.end(), inline4.begin());
      Out.insert(Out.end(), inline4.begin(), inline4.end());
    }
    Put32(0);  // no further IFD: the thumbnail's IFD1 is not carried
    for (size_t i = 0; i < ifd.size(); ++i) {
      if (ifd[i].Child >= 0 || ifd[i].Value.size() <= 4) continue;
      Align();
      Set32(slots[i], Offset());
      Out.insert(Out.end(), ifd[i].Value.begin(), ifd[i].Value.end());
    }
    for (size_t i = 0; i < ifd.size(); ++i)
      if (ifd[i].Child >= 0) Set32(slots[i], Write(ifds, static_cast<size_t>(ifd[i].Child)));
    return start;
  }

  std::vector<uint8_t> Take() { return std::move(Out); }

 private:
  uint32_t Offset() const { return static_cast<uint32_t>(Out.size() - sizeof ExifSignature); }
  void Align() {
    if (Offset() % 2) Out.push_back(0);
  }
  void Put16(uint16_t v) {
    uint8_t b[2];
    Encode16(v, b);
    Out.insert(Out.end(), b, b + 2);
  }
  void Put32(uint32_t v) {
    Out.resize(Out.size() + 4);
    Encode32(v, &Out[Out.size() - 4]);
  }
  void Set32(size_t at, uint32_t v) { Encode32(v, &Out[at]); }
  void Encode16(uint16_t v, uint8_t* b) const {
    b[BigEndian ? 0 : 1] = static_cast<uint8_t>(v >> 8);
    b[BigEndian ? 1 : 0] = static_cast<uint8_t>(v);
  }
  void Encode32(uint32_t v, uint8_t* b) const {
    for (int i = 0; i < 4; ++i) b[BigEndian ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
  }

  bool BigEndian;
  std::vector<uint8_t> Out;
};

// A SHORT entry when the value fits, a LONG one otherwise, in the given byte order.
NewEntry NumberEntry(uint16_t tag, uint32_t value, bool big) {
  NewEntry e;
  e.Tag = tag;
  e.Count = 1;
  if (value <= 0xFFFF) {
    e.Type = TypeShort;
    e.Value = big ? std::vector<uint8_t>{uint8_t(value >> 8), uint8_t(value)}
                  : std::vector<uint8_t>{uint8_t(value), uint8_t(value >> 8)};
  } else {
    e.Type = TypeLong;
    e.Value = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    if (big) std::reverse(e.Value.begin(), e.Value.end());
  }
  return e;
}

bool IsDropped(uint16_t tag) {
  return std::find(std::begin(DroppedTags), std::end(DroppedTags), tag) != std::end(DroppedTags);
}

// Builds the new structure from the source's IFD0. Levels: 0 IFD0, 1 Exif IFD, 2 interop.
class ExifRewrite {
 public:
  ExifRewrite(const TiffView& view, uint32_t width, uint32_t height, uint32_t orientation)
      : View(view), Width(width), Height(height), Orientation(orientation) {}

  // Adds the IFD at offset and what it links to; returns its index, or -1 when its table is
  // damaged. visited holds the offsets of the IFDs above it.
  int Add(uint32_t offset, int level, std::vector<uint32_t>& visited) {
    if (std::find(visited.begin(), visited.end(), offset) != visited.end()) return -1;
    std::vector<FoundEntry> found;
    if (!ReadIfd(View, offset, &found)) return -1;
    int index = static_cast<int>(Ifds.size());
    Ifds.emplace_back();
    visited.push_back(offset);
    NewIfd ifd;
    bool big = View.IsBigEndian();
    for (const FoundEntry& e : found) {
      if (!e.Usable || IsDropped(e.Tag)) continue;
      if (std::any_of(ifd.begin(), ifd.end(), [&](const NewEntry& n) { return n.Tag == e.Tag; }))
        continue;  // a repeated tag: the first one counts
      if (e.Tag == TagExifIfd || e.Tag == TagInteropIfd) {
        // Links are followed only where they belong: Exif from IFD0, interop from Exif.
        bool belongs =
            (e.Tag == TagExifIfd && level == 0) || (e.Tag == TagInteropIfd && level == 1);
        int64_t target = SingleNumber(View, e);
        if (!belongs || target < 0) continue;
        int child = Add(static_cast<uint32_t>(target), level + 1, visited);
        if (child < 0) {
          if (e.Tag == TagExifIfd) Damaged = true;  // the photo's details would be lost
          continue;
        }
        NewEntry link;
        link.Tag = e.Tag;
        link.Type = TypeLong;
        link.Count = 1;
        link.Child = child;
        ifd.push_back(std::move(link));
        continue;
      }
      if (e.Type == TypeIfd) continue;  // a link of a kind that is not carried
      if (e.Tag == TagOrientation) {
        if (level == 0) ifd.push_back(NumberEntry(e.Tag, Orientation, big));
      } else if ((e.Tag == TagImageWidth && level == 0) ||
                 (e.Tag == TagPixelXDimension && level == 1)) {
        ifd.push_back(NumberEntry(e.Tag, Width, big));
      } else if ((e.Tag == TagImageLength && level == 0) ||
                 (e.Tag == TagPixelYDimension && level == 1)) {
        ifd.push_back(NumberEntry(e.Tag, Height, big));
      } else {
        NewEntry copy;
        copy.Tag = e.Tag;
        copy.Type = e.Type;
        copy.Count = e.Count;
        copy.Value.assign(View.At(e.ValueAt), View.At(e.ValueAt) + e.ValueBytes);
        ifd.push_back(std::move(copy));
      }
    }
    if (level == 1) {
      auto has = [&](uint16_t tag) {
        return std::any_of(ifd.begin(), ifd.end(), [&](const NewEntry& n) { return n.Tag == tag; });
      };
      if (!has(TagPixelXDimension)) ifd.push_back(NumberEntry(TagPixelXDimension, Width, big));
      if (!has(TagPixelYDimension)) ifd.push_back(NumberEntry(TagPixelYDimension, Height, big));
    }
    std::stable_sort(ifd.begin(), ifd.end(),
                     [](const NewEntry& a, const NewEntry& b) { return a.Tag < b.Tag; });
    Ifds[static_cast<size_t>(index)] = std::move(ifd);
    visited.pop_back();
    return index;
  }

  std::vector<NewIfd> Ifds;
  bool Damaged = false;

 private:
  const TiffView& View;
  uint32_t Width;
  uint32_t Height;
  uint32_t Orientation;
};

bool IsIccChunk(const std::vector<uint8_t>& chunk) {
  return chunk.size() >= IccChunkHeaderSize &&
         std::memcmp(chunk.data(), IccSignature, sizeof IccSignature) == 0;
}

}  // namespace

int ReadExifOrientation(const uint8_t* data, size_t size) {
  TiffView view(nullptr, 0, false);
  uint32_t first = 0;
  if (!OpenExif(data, size, &view, &first)) return 1;
  std::vector<FoundEntry> entries;
  if (!ReadIfd(view, first, &entries)) return 1;
  for (const FoundEntry& e : entries) {
    if (e.Tag != TagOrientation) continue;
    int64_t value = SingleNumber(view, e);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

std::vector<uint8_t> RewriteExifForCopy(const uint8_t* data, size_t size, uint32_t newWidth,
                                        uint32_t newHeight, int orientation) {
  TiffView view(nullptr, 0, false);
  uint32_t first = 0;
  if (!OpenExif(data, size, &view, &first)) return {};
  ExifRewrite rewrite(
      view, newWidth, newHeight,
      static_cast<uint32_t>(orientation >= 1 && orientation <= 8 ? orientation : 1));
  std::vector<uint32_t> visited;
  if (rewrite.Add(first, 0, visited) != 0 || rewrite.Damaged) return {};
  TiffWriter writer(view.IsBigEndian());
  writer.Write(rewrite.Ifds, 0);
  std::vector<uint8_t> result = writer.Take();
  if (result.size() > MaxMarkerPayload) return {};
  return result;
}

std::vector<uint8_t> AssembleIccProfile(const std::vector<std::vector<uint8_t>>& chunks) {
  const std::vector<uint8_t>* parts[256] = {};
  int count = 0;
  for (const std::vector<uint8_t>& chunk : chunks) {
    if (!IsIccChunk(chunk)) continue;
    int sequence = chunk[12];
    int total = chunk[13];
    if (total == 0 || sequence == 0 || sequence > total) return {};
    if (count != 0 && total != count) return {};
    count = total;
    if (parts[sequence]) return {};  // the same number twice
    parts[sequence] = &chunk;
  }
  if (count == 0) return {};
  std::vector<uint8_t> profile;
  for (int i = 1; i <= count; ++i) {
    if (!parts[i]) return {};
    profile.insert(profile.end(), parts[i]->begin() + IccChunkHeaderSize, parts[i]->end());
  }
  return profile;
}

std::vector<std::vector<uint8_t>> SplitIccProfile(const std::vector<uint8_t>& profile) {
  size_t count = (profile.size() + IccChunkMaxProfileBytes - 1) / IccChunkMaxProfileBytes;
  if (count == 0 || count > 255) return {};
  std::vector<std::vector<uint8_t>> chunks;
  for (size_t i = 0; i < count; ++i) {
    size_t from = i * IccChunkMaxProfileBytes;
    size_t to = std::min(profile.size(), from + IccChunkMaxProfileBytes);
    std::vector<uint8_t> chunk(IccSignature, IccSignature + sizeof IccSignature);
    chunk.push_back(static_cast<uint8_t>(i + 1));
    chunk.push_back(static_cast<uint8_t>(count));
    chunk.insert(chunk.end(), profile.begin() + static_cast<ptrdiff_t>(from),
                 profile.begin() + static_cast<ptrdiff_t>(to));
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

PhotoDetails CollectPhotoDetails(const std::vector<MarkerPayload>& markers) {
  PhotoDetails details;
  std::vector<std::vector<uint8_t>> iccChunks;
  for (const MarkerPayload& m : markers) {
    if (m.Code == ExifMarkerCode && details.Exif.empty() &&
        m.Bytes.size() >= sizeof ExifSignature &&
        std::memcmp(m.Bytes.data(), ExifSignature, sizeof ExifSignature) == 0)
      details.Exif = m.Bytes;
    else if (m.Code == IccMarkerCode && IsIccChunk(m.Bytes))
      iccChunks.push_back(m.Bytes);
  }
  details.Orientation = ReadExifOrientation(details.Exif.data(), details.Exif.size());
  details.IccProfile = AssembleIccProfile(iccChunks);
  return details;
}

std::vector<MarkerPayload> MarkersForCopy(const PhotoDetails& details, uint32_t width,
                                          uint32_t height, int orientation) {
  std::vector<MarkerPayload> markers;
  std::vector<uint8_t> exif =
      RewriteExifForCopy(details.Exif.data(), details.Exif.size(), width, height, orientation);
  if (!exif.empty()) markers.push_back({ExifMarkerCode, std::move(exif)});
  for (std::vector<uint8_t>& chunk : SplitIccProfile(details.IccProfile))
    markers.push_back({IccMarkerCode, std::move(chunk)});
  return markers;
}

PixelSize OrientedSize(uint32_t width, uint32_t height, int orientation) {
  if (orientation >= 5 && orientation <= 8) return {height, width};
  return {width, height};
}

PixelPoint StoredPixelOf(uint32_t x, uint32_t y, uint32_t width, uint32_t height, int orientation) {
  switch (orientation) {
    case 2:
      return {width - 1 - x, y};
    case 3:
      return {width - 1 - x, height - 1 - y};
    case 4:
      return {x, height - 1 - y};
    case 5:
      return {y, x};
    case 6:
      return {y, height - 1 - x};
    case 7:
      return {width - 1 - y, height - 1 - x};
    case 8:
      return {width - 1 - y, x};
    default:
      return {x, y};
  }
}

}  // namespace velmora
