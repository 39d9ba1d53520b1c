// JpegImage: one JPEG photo as the program holds it, its compressed bytes (JpegData) and the
// size and orientation its header gives. Pixels never live here: every decode goes through the
// row pipeline (imaging/jpeg_rows.h, imaging/streaming.h).
// Relies on toolkit/object.h, toolkit/stream.h and imaging/jpeg_rows.h.
#pragma once

#include <cstdint>

#include "toolkit/object.h"

namespace velmora {

class Stream;

// Data of 450 bytes or fewer is kept but never parsed: such a picture counts as empty.
constexpr uint32_t JpegMinimumParsedSize = 451;

// A picture of more pixels than this is not decoded (512 MB at 24 bits): headers may claim up
// to 65500 x 65500 pixels in a file of a few hundred bytes, and the codec's work grows with the
// full size whatever the output size.
constexpr uint64_t JpegMaxPixels = 512ull * 1024 * 1024 / 3;

// The compressed bytes and the size they hold.
class JpegData : public ObjectBase {
 public:
  void Destroy() override;

  Stream* Compressed = nullptr;  // owned memory stream, bytes from offset 0 to its size
  uint32_t StoredHeight = 0;     // from the header
  uint32_t StoredWidth = 0;
  uint8_t Orientation = 1;  // EXIF orientation of the stored JPEG, 1..8
};

class JpegImage : public ObjectBase {
 public:
  void Init() override;
  void Destroy() override;
  void ClearImage();  // empties the bytes, zeroes the size

  // Loads the bytes from the stream's position to its end and reads their header.
  void ReadFrom(Stream* stream);
  // Replaces the content by count bytes of stream and reads their header.
  void LoadBytes(Stream* stream, uint32_t count);
  // Replaces the content by the JPEG bytes of the memory stream bytes, which this object
  // then owns, and reads their header.
  void TakeBytes(Stream* bytes);
  // Size in pixels as stored; 0 x 0 when the header could not be read.
  uint32_t Width() { return Data->StoredWidth; }
  uint32_t Height() { return Data->StoredHeight; }
  bool IsEmpty() { return Width() == 0 || Height() == 0; }
  // Size in pixels of the stored picture shown upright (its EXIF orientation applied).
  uint32_t UprightWidth();
  uint32_t UprightHeight();
  // Writes the JPEG bytes at the stream's position.
  void WriteTo(Stream* stream);
  // Saves the JPEG bytes as the file (SaveWholeFile): true only when the file holds all of
  // them; otherwise an existing file is left as it was and GetLastError tells why.
  bool WriteToFile(const char* name);

  JpegData* Data = nullptr;

 private:
  void ResetData();
  void ReadStoredHeader();
};

JpegImage* MakeJpegImage();

}  // namespace velmora
