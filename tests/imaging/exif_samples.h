// EXIF blocks for the tests, built here byte by byte in either byte order (never through the
// code under test): a photo-like block with GPS, thumbnail and maker note, its damaged
// variants, a minimal reader for checking rewritten blocks, and a copy that ends at a page
// with no access, so that any read past a block's end crashes at once.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmora::test {

using ExifBytes = std::vector<uint8_t>;

// One field of a directory; Link >= 0 makes its value the offset of directory Link, and
// ToTrailer makes it the offset of that directory's trailer instead.
struct ExifField {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  ExifBytes Value;  // already in the block's byte order
  int Link = -1;
  bool ToTrailer = false;
};

struct ExifDir {
  std::vector<ExifField> Fields;
  int Next = -1;      // the directory this one's next link names, or none
  ExifBytes Trailer;  // bytes placed after the directory's values (a thumbnail)
};

class ExifBuilder {
 public:
  explicit ExifBuilder(bool big) : Big(big) {}

  ExifBytes U16(uint32_t v) const { return Order({uint8_t(v >> 8), uint8_t(v)}); }
  ExifBytes U32(uint32_t v) const {
    return Order({uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  }
  ExifField Short(uint16_t tag, uint32_t v) const { return {tag, 3, 1, U16(v)}; }
  ExifField Long(uint16_t tag, uint32_t v) const { return {tag, 4, 1, U32(v)}; }
  ExifField Text(uint16_t tag, const std::string& text) const {
    ExifBytes b(text.begin(), text.end());
    b.push_back(0);
    return {tag, 2, uint32_t(b.size()), b};
  }
  ExifField Raw(uint16_t tag, const ExifBytes& bytes) const {
    return {tag, 7, uint32_t(bytes.size()), bytes};
  }
  ExifField Rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& v) const {
    ExifBytes b;
    for (auto [n, d] : v) {
      ExifBytes a = U32(n), c = U32(d);
      b.insert(b.end(), a.begin(), a.end());
      b.insert(b.end(), c.begin(), c.end());
    }
    return {tag, 5, uint32_t(v.size()), b};
  }
  ExifField LinkTo(uint16_t tag, int dir, bool toTrailer = false) const {
    return {tag, 4, 1, ExifBytes(4), dir, toTrailer};
  }

  // "Exif\0\0", the TIFF header, then each directory: its table, its values, its trailer.
  // offsets receives each directory's offset within the TIFF structure.
  ExifBytes Build(const std::vector<ExifDir>& dirs,
                  std::vector<uint32_t>* offsets = nullptr) const {
    ExifBytes out = {'E', 'x', 'i', 'f', 0, 0};
    out.push_back(Big ? 'M' : 'I');
    out.push_back(Big ? 'M' : 'I');
    Append(out, U16(42));
    Append(out, U32(8));
    std::vector<uint32_t> at(dirs.size()), trailerAt(dirs.size());
    std::vector<std::pair<size_t, std::pair<int, bool>>> links;  // slot, (dir, to trailer)
    for (size_t i = 0; i < dirs.size(); ++i) {
      if (out.size() % 2) out.push_back(0);
      at[i] = uint32_t(out.size() - 6);
      Append(out, U16(uint32_t(dirs[i].Fields.size())));
      std::vector<size_t> slots;
      for (const ExifField& f : dirs[i].Fields) {
        Append(out, U16(f.Tag));
        Append(out, U16(f.Type));
        Append(out, U32(f.Count));
        slots.push_back(out.size());
        ExifBytes inline4 = f.Value.size() <= 4 ? f.Value : ExifBytes();
        inline4.resize(4);
        Append(out, inline4);
        if (f.Link >= 0) links.push_back({slots.back(), {f.Link, f.ToTrailer}});
      }
      if (dirs[i].Next >= 0) links.push_back({out.size(), {dirs[i].Next, false}});
      Append(out, U32(0));
      for (size_t k = 0; k < dirs[i].Fields.size(); ++k) {
        const ExifField& f = dirs[i].Fields[k];
        if (f.Link >= 0 || f.Value.size() <= 4) continue;
        Put(out, slots[k], uint32_t(out.size() - 6));
        Append(out, f.Value);
      }
      trailerAt[i] = uint32_t(out.size() - 6);
      Append(out, dirs[i].Trailer);
    }
    for (auto& [slot, target] : links)
      Put(out, slot, target.second ? trailerAt[size_t(target.first)] : at[size_t(target.first)]);
    if (offsets) *offsets = at;
    return out;
  }

  // Writes a 32-bit value into a built block at a byte offset of the whole payload.
  void Put(ExifBytes& out, size_t at, uint32_t v) const {
    ExifBytes b = U32(v);
    std::copy(b.begin(), b.end(), out.begin() + ptrdiff_t(at));
  }
  void Put16(ExifBytes& out, size_t at, uint32_t v) const {
    ExifBytes b = U16(v);
    std::copy(b.begin(), b.end(), out.begin() + ptrdiff_t(at));
  }

  bool Big;

 private:
  ExifBytes Order(ExifBytes b) const {
    if (!Big) std::reverse(b.begin(), b.end());
    return b;
  }
  static void Append(ExifBytes& out, const ExifBytes& b) {
    out.insert(out.end(), b.begin(), b.end());
  }
};

// Markers that must never reach a copy: the location, the maker note and the thumbnail.
inline const std::string SecretPlace = "HOME-ADDRESS-57-ELM-STREET";
inline const std::string SecretNote = "MAKER-NOTE-SERIAL-0042";
inline const std::string ThumbnailBytes = "THUMBNAIL-PICTURE-BYTES";

// Directories of the photo-like block: 0 IFD0, 1 Exif, 2 GPS, 3 IFD1 (thumbnail), 4 interop.
struct PhotoExif {
  ExifBytes Block;
  std::vector<uint32_t> Dirs;  // offsets within the TIFF structure (add 6 for the payload)
};

inline PhotoExif MakePhotoExif(bool big, uint16_t orientation = 6) {
  ExifBuilder b(big);
  std::vector<ExifDir> dirs(5);
  dirs[0].Fields = {b.Text(0x010F, "Velmora Test Camera"),
                    b.Text(0x0110, "VT-1 Mark II"),
                    b.Short(0x0112, orientation),
                    b.Rationals(0x011A, {{72, 1}}),
                    b.Short(0x0128, 2),
                    b.Text(0x0132, "2023:07:14 10:20:30"),
                    b.LinkTo(0x8769, 1),
                    b.LinkTo(0x8825, 2)};
  dirs[0].Next = 3;
  dirs[1].Fields = {b.Rationals(0x829A, {{1, 125}}),
                    b.Rationals(0x829D, {{28, 10}}),
                    b.Short(0x8827, 200),
                    b.Text(0x9003, "2023:07:14 10:20:30"),
                    b.Raw(0x927C, ExifBytes(SecretNote.begin(), SecretNote.end())),
                    b.Long(0xA002, 4000),
                    b.Short(0xA003, 3000),
                    b.LinkTo(0xA005, 4),
                    b.Text(0xA434, "TestLens 24-70mm F2.8")};
  dirs[2].Fields = {{0x0000, 1, 4, {2, 3, 0, 0}},
                    b.Text(0x0001, "N"),
                    b.Rationals(0x0002, {{52, 1}, {31, 1}, {1234, 100}}),
                    b.Raw(0x001C, ExifBytes(SecretPlace.begin(), SecretPlace.end()))};
  std::string thumb;
  for (int i = 0; i < 8; ++i) thumb += ThumbnailBytes;
  dirs[3].Fields = {b.Short(0x0103, 6), b.LinkTo(0x0201, 3, true),
                    b.Long(0x0202, uint32_t(thumb.size()))};
  dirs[3].Trailer.assign(thumb.begin(), thumb.end());
  dirs[4].Fields = {b.Text(0x0001, "R98")};
  PhotoExif photo;
  photo.Block = b.Build(dirs, &photo.Dirs);
  return photo;
}

// A plain reader for well-formed blocks (throws std::out_of_range on anything past the end).
class ExifReader {
 public:
  explicit ExifReader(const ExifBytes& block) : B(block) {
    if (B.size() < 14 || std::string(B.begin(), B.begin() + 6) != std::string("Exif\0\0", 6))
      throw std::runtime_error("not an EXIF block");
    Big = B.at(6) == 'M';
  }
  uint32_t U16(size_t at) const {
    return Big ? B.at(6 + at) << 8 | B.at(7 + at) : B.at(7 + at) << 8 | B.at(6 + at);
  }
  uint32_t U32(size_t at) const {
    return Big ? U16(at) << 16 | U16(at + 2) : U16(at + 2) << 16 | U16(at);
  }
  uint32_t Ifd0() const { return U32(4); }
  uint32_t NextOf(uint32_t dir) const { return U32(dir + 2 + 12 * U16(dir)); }
  // The entry's offset within the TIFF structure, or 0 when the directory lacks the tag.
  uint32_t Find(uint32_t dir, uint16_t tag) const {
    for (uint32_t i = 0, n = U16(dir); i < n; ++i)
      if (U16(dir + 2 + 12 * i) == tag) return dir + 2 + 12 * i;
    return 0;
  }
  std::vector<uint16_t> Tags(uint32_t dir) const {
    std::vector<uint16_t> tags;
    for (uint32_t i = 0, n = U16(dir); i < n; ++i) tags.push_back(uint16_t(U16(dir + 2 + 12 * i)));
    return tags;
  }
  uint32_t Type(uint32_t entry) const { return U16(entry + 2); }
  uint32_t Number(uint32_t entry) const {
    return Type(entry) == 3 ? U16(entry + 8) : U32(entry + 8);
  }
  // The value's bytes, read from the entry or from where it points.
  ExifBytes Value(uint32_t entry) const {
    static const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    uint32_t type = Type(entry), count = U32(entry + 4);
    size_t bytes = size_t(type < 13 ? sizes[type] : 0) * count;
    size_t at = bytes <= 4 ? entry + 8 : U32(entry + 8);
    if (6 + at + bytes > B.size()) throw std::out_of_range("value past the end");
    return ExifBytes(B.begin() + ptrdiff_t(6 + at), B.begin() + ptrdiff_t(6 + at + bytes));
  }
  std::string Text(uint32_t dir, uint16_t tag) const {
    uint32_t e = Find(dir, tag);
    if (!e) return "<none>";
    ExifBytes v = Value(e);
    return std::string(v.begin(), v.end());
  }

 private:
  const ExifBytes& B;
  bool Big;
};

// A copy of bytes whose last byte is the last one before a page the process may not touch.
class GuardedCopy {
 public:
  explicit GuardedCopy(const ExifBytes& bytes) {
    size_t pages = bytes.size() / 4096 + 2;
    Base = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, pages * 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(Base + (pages - 1) * 4096, 4096, PAGE_NOACCESS, &old);
    Data = Base + (pages - 1) * 4096 - bytes.size();
    std::copy(bytes.begin(), bytes.end(), Data);
    Size = bytes.size();
  }
  ~GuardedCopy() { VirtualFree(Base, 0, MEM_RELEASE); }
  GuardedCopy(const GuardedCopy&) = delete;
  GuardedCopy& operator=(const GuardedCopy&) = delete;

  uint8_t* Data;
  size_t Size;

 private:
  uint8_t* Base;
};

// The photo-like block's damaged variants in both byte orders, each with a name.
inline std::vector<std::pair<std::string, ExifBytes>> DamagedExifBlocks() {
  std::vector<std::pair<std::string, ExifBytes>> blocks;
  for (bool big : {false, true}) {
    const std::string order = big ? "MM " : "II ";
    PhotoExif photo = MakePhotoExif(big);
    ExifBuilder b(big);
    const uint32_t ifd0 = photo.Dirs[0], exif = photo.Dirs[1];
    auto add = [&](const std::string& name, auto change) {
      ExifBytes block = photo.Block;
      change(block);
      blocks.push_back({order + name, block});
    };
    for (size_t n = 0; n < photo.Block.size(); ++n)
      add("cut to " + std::to_string(n), [n](ExifBytes& x) { x.resize(n); });
    add("IFD0 past the end", [&](ExifBytes& x) { b.Put(x, 10, 0xFFFFFFF0u); });
    add("IFD0 at the last byte", [&](ExifBytes& x) { b.Put(x, 10, uint32_t(x.size() - 7)); });
    add("Exif IFD past the end",
        [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 12 * 6 + 8, 0x7FFFFFFF); });
    add("Exif IFD is IFD0", [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 12 * 6 + 8, ifd0); });
    add("interop is the Exif IFD",
        [&](ExifBytes& x) { b.Put(x, 6 + exif + 2 + 12 * 7 + 8, exif); });
    add("IFD0 chain loops to itself", [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 12 * 8, ifd0); });
    add("IFD1 chain loops to IFD0",
        [&](ExifBytes& x) { b.Put(x, 6 + photo.Dirs[3] + 2 + 12 * 3, ifd0); });
    add("make's text past the end", [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 8, 0xFFFFFFFFu); });
    add("make's text count huge", [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 4, 0xFFFFFFFFu); });
    add("orientation count huge",
        [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 24 + 4, 0x40000001u); });
    add("orientation type unknown", [&](ExifBytes& x) { b.Put16(x, 6 + ifd0 + 2 + 24 + 2, 0x99); });
    add("orientation out of range", [&](ExifBytes& x) { b.Put16(x, 6 + ifd0 + 2 + 24 + 8, 9); });
    add("IFD0 entry count huge", [&](ExifBytes& x) { b.Put16(x, 6 + ifd0, 0xFFFF); });
    add("Exif entry count huge", [&](ExifBytes& x) { b.Put16(x, 6 + exif, 0xFFFF); });
    add("GPS IFD past the end",
        [&](ExifBytes& x) { b.Put(x, 6 + ifd0 + 2 + 12 * 7 + 8, 0xFFFFFF00u); });
    add("byte order unknown", [](ExifBytes& x) { x[6] = 'X'; });
    add("magic number wrong", [&](ExifBytes& x) { b.Put16(x, 8, 43); });
    add("not EXIF", [](ExifBytes& x) { x[0] = 'e'; });
  }
  return blocks;
}

}  // namespace velmora::test
