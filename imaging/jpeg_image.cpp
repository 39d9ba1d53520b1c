// JpegImage: the photo's bytes and the size and orientation their header gives.
#include "imaging/jpeg_image.h"

#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"
#include "toolkit/whole_file.h"

namespace velmora {

void JpegData::Destroy() {
  FreeAndNull(Compressed);
  ObjectBase::Destroy();
}

JpegImage* MakeJpegImage() { return MakeObject<JpegImage>(); }

void JpegImage::Init() { Data = MakeObject<JpegData>(); }

void JpegImage::Destroy() {
  FreeAndNull(Data);
  ObjectBase::Destroy();
}

void JpegImage::ResetData() {
  FreeAndNull(Data);
  Data = MakeObject<JpegData>();
}

void JpegImage::ClearImage() {
  if (Data->Compressed) Data->Compressed->SetSize(0);
  Data->StoredWidth = 0;
  Data->StoredHeight = 0;
}

void JpegImage::ReadFrom(Stream* stream) {
  uint32_t size = stream->Size();
  uint32_t position = stream->Position();
  // A stream that failed to open reports position 0xFFFFFFFF: nothing to read then.
  LoadBytes(stream, position < size ? size - position : 0);
}

void JpegImage::LoadBytes(Stream* stream, uint32_t count) {
  ResetData();
  try {
    Stream* bytes = MakeMemoryStream();
    Data->Compressed = bytes;
    bytes->SetSize(count);
    if (count > 0) {
      uint32_t got = stream->Read(bytes->Memory, count);
      if (got < count) bytes->SetSize(got);  // keep only what the stream really gave
    }
    ReadStoredHeader();
  } catch (...) {
    ResetData();
  }
}

void JpegImage::TakeBytes(Stream* bytes) {
  ResetData();
  Data->Compressed = bytes;
  ReadStoredHeader();
}

void JpegImage::ReadStoredHeader() {
  Stream* bytes = Data->Compressed;
  if (!bytes || bytes->Size() < JpegMinimumParsedSize) return;
  JpegRowReader reader;
  const bool read = reader.Open(static_cast<const uint8_t*>(bytes->Memory), bytes->Size(), true);
  // The size as far as the codec got: a header cut short after its frame still tells it, and
  // the decode then says what is wrong.
  Data->StoredWidth = reader.Width;
  Data->StoredHeight = reader.Height;
  if (read)
    Data->Orientation = static_cast<uint8_t>(CollectPhotoDetails(reader.Markers()).Orientation);
}

uint32_t JpegImage::UprightWidth() {
  return OrientedSize(Data->StoredWidth, Data->StoredHeight, Data->Orientation).Width;
}

uint32_t JpegImage::UprightHeight() {
  return OrientedSize(Data->StoredWidth, Data->StoredHeight, Data->Orientation).Height;
}

void JpegImage::WriteTo(Stream* stream) {
  Stream* bytes = Data->Compressed;
  if (bytes && bytes->Size() > 0) stream->Write(bytes->Memory, bytes->Size());
}

bool JpegImage::WriteToFile(const char* name) {
  uint32_t size = Data->Compressed ? Data->Compressed->Size() : 0;
  if (IsEmpty() || size == 0) return false;  // nothing to save: create no file
  // Written beside the target and moved over it only once whole and on disk: a failed save
  // leaves an existing file as it was, and a read-only one is refused.
  return SaveWholeFile(NonNullText(name), Data->Compressed->Memory, size);
}

}  // namespace velmora
