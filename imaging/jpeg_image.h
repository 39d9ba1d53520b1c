// JpegImage: one JPEG picture that keeps its compressed bytes (JpegData) and its decoded
// Bitmap and derives each from the other on demand, through libjpeg and the codec bridge.
// Relies on toolkit/object.h, toolkit/stream.h, toolkit/bitmap.h, imaging/codec_bridge.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "imaging/codec_bridge.h"
#include "toolkit/object.h"

namespace velmora {

class Bitmap;
class Stream;
class JpegImage;

// Kind of bitmap that Decode produces for a colour picture.
enum JpegDepth : uint8_t { Depth24 = 0, Depth8 = 1 };

// Option bytes every new JpegImage starts with.
struct JpegOptions {
  uint8_t EncodeQuality = 90;
  bool GrayOnly = false;
  bool FastDecode = false;
  JpegDepth OutputDepth = Depth24;
  bool ScanByScan = false;
  bool WriteProgressive = false;
  uint8_t ScaleShift = 0;
  bool BlockSmoothing = true;
};
extern JpegOptions JpegDefaults;

// Data of 450 bytes or fewer is kept but never parsed: such a picture counts as empty.
constexpr uint32_t JpegMinimumParsedSize = 451;

// A decoded bitmap larger than this many bytes is not attempted: the picture behaves like
// one the codec cannot read (Decode returns none, DecodeFailed is set). Headers may claim
// up to 65500 x 65500 pixels in a file of a few hundred bytes.
constexpr uint64_t JpegMaxBitmapBytes = 512ull * 1024 * 1024;
// Nor is a picture of more pixels than that at 24 bits, even when it is decoded reduced:
// the codec's work grows with the full size whatever the output size.
constexpr uint64_t JpegMaxPixels = JpegMaxBitmapBytes / 3;

// The compressed bytes and the size they hold.
class JpegData : public ObjectBase {
 public:
  void Destroy() override;

  Stream* Compressed = nullptr;  // owned memory stream, bytes from offset 0 to its size
  uint32_t StoredHeight = 0;     // from the header, or of the encoded bitmap
  uint32_t StoredWidth = 0;
  bool StoredGray = false;  // the stored JPEG has one gray component
  uint8_t Orientation = 1;  // EXIF orientation of the stored JPEG, 1..8
};

using ImageChangeProc = void (*)(void* context, JpegImage* sender);
using JpegPaintProc = int (*)(JpegImage* image, const RECT* rect);
using JpegProgressProc = void (*)(j_common_ptr object);
using JpegCmykProc = void (*)(Bitmap* bitmap);

class JpegImage : public ObjectBase {
 public:
  void Init() override;
  void Destroy() override;
  virtual void ClearImage();  // drops the bitmap, empties the bytes, zeroes the size

  // Clears DecodeFailed, then loads the bytes from the stream's position to its end.
  void ReadFrom(Stream* stream);
  // Replaces the content by count bytes of stream and reads their header.
  void LoadBytes(Stream* stream, uint32_t count);
  // Replaces the content by the JPEG bytes of the memory stream bytes, which this object
  // then owns, and reads their header.
  void TakeBytes(Stream* bytes);
  // Size in pixels of what Decode gives.
  uint32_t Width();
  uint32_t Height();
  bool IsEmpty() { return Width() == 0 || Height() == 0; }
  // Size in pixels of the stored picture shown upright (its EXIF orientation applied).
  uint32_t UprightWidth();
  uint32_t UprightHeight();
  // The decoded bitmap (owned by this object), decoding on first call; none when the
  // picture is empty or its bitmap cannot be made.
  Bitmap* Decode();
  // The content becomes a copy of bitmap; compressed bytes are dropped.
  void SetFromBitmap(Bitmap* bitmap);
  // Writes the JPEG bytes at the stream's position, encoding first if there are none.
  void WriteTo(Stream* stream);
  // Saves the JPEG bytes as the file (SaveWholeFile): true only when the file holds all of
  // them; otherwise an existing file is left as it was and GetLastError tells why.
  bool WriteToFile(const char* name);
  void SetOutputDepth(JpegDepth depth);
  // Changes the decode scale (1 / 2^shift, shift 0..3); the size is recomputed on demand.
  void SetScaleShift(uint8_t shift);
  // Sets the procedure that fixes up CMYK / YCCK pixels after a decode.
  void SetCmykHook(JpegCmykProc hook) { CmykHook = hook; }
  void SetChangeHandler(Callback handler) { ChangeHandler = handler; }

  JpegData* Data = nullptr;
  Bitmap* DecodedBitmap = nullptr;
  uint32_t ScaledWidth = 0;
  uint32_t ScaledHeight = 0;
  bool BlockSmoothing = true;
  bool GrayOnly = false;
  JpegDepth OutputDepth = Depth24;
  uint8_t EncodeQuality = 90;
  bool ScanByScan = false;
  bool WriteProgressive = false;
  bool FastDecode = false;
  uint8_t ScaleShift = 0;
  bool ScaledSizeStale = false;
  Callback ChangeHandler;  // ImageChangeProc, fired after the content changed
  bool DecodeFailed = false;
  JpegPaintProc PaintHook = nullptr;        // null: nothing to call
  JpegProgressProc ProgressHook = nullptr;  // installed as the library's progress monitor
  bool StopRequested = false;               // ends a scan-by-scan decode at the next scan
  bool InCmykHook = false;
  JpegCmykProc CmykHook = nullptr;

  // Compresses DecodedBitmap into new compressed bytes at EncodeQuality.
  void Encode();

 private:
  void ResetData();
  void ReadStoredHeader();
  void DropBitmap();
  void NotifyChanged();
  void EnsureCompressed();
  bool PrepareDecoder(CodecContext* context);
  void RefreshScaledSize();
  bool RunDecode(CodecContext* context, Bitmap* bitmap, bool* finished, bool* tableCopied);
};

JpegImage* MakeJpegImage();

// The program's CmykHook: turns the four decoded samples of a CMYK or YCCK picture into
// blue, green, red, 0 in every 32-bit pixel, in place, so the bitmap draws as colour.
// Samples are taken as inverted (the Adobe convention) when the file carries the Adobe
// marker; the decode tells the hook through CmykInverted (one per thread, as the decode
// and its hook run on the same one).
void ConvertCmykToBgr(Bitmap* bitmap);
extern thread_local bool CmykInverted;

}  // namespace velmora
