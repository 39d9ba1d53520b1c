// A look at a photo file's header: read a start that holds the header almost always, the whole
// file only when the header lies further in.
#include "imaging/photo_file.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "imaging/heif_shrink.h"
#include "imaging/jpeg_image.h"
#include "imaging/photo_metadata.h"
#include "toolkit/stream.h"

namespace velmora {

namespace {

// A header with its EXIF block and a colour profile fits here almost always.
constexpr uint32_t HeaderBytes = 256 * 1024;

// Reads count bytes from the file's start; false when fewer came or no memory could be had.
bool ReadStart(Stream* file, std::vector<uint8_t>* bytes, uint32_t count) {
  try {
    bytes->assign(count, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  file->SetPosition(0);
  uint32_t done = 0;
  while (done < count) {
    const uint32_t n = file->Read(bytes->data() + done, std::min<uint32_t>(count - done, 1 << 20));
    if (n == 0) break;
    done += n;
  }
  return done == count;
}

}  // namespace

PhotoFacts InspectPhotoFile(const std::string& path) {
  PhotoFacts facts;
  std::unique_ptr<Stream, void (*)(Stream*)> file(OpenFileForReading(path.c_str()),
                                                  [](Stream* s) { FreeObject(s); });
  if (file->Handle() == INVALID_HANDLE_VALUE) return facts;
  const uint32_t size = file->Size();
  std::vector<uint8_t> bytes;
  if (!ReadStart(file.get(), &bytes, std::min(size, HeaderBytes))) return facts;
  facts.Readable = true;
  facts.FileBytes = size;
  if (LooksLikeHeif(bytes.data(), bytes.size())) {
    const HeifFacts heif = InspectHeifFile(path);
    facts.Heif = true;
    facts.Readable = heif.Problem != HeifProblem::Unreadable;
    facts.Problem = PictureProblemOf(heif.Problem);
    facts.Width = facts.UprightWidth = heif.Width;
    facts.Height = facts.UprightHeight = heif.Height;
    return facts;
  }
  // Data of no more than 450 bytes never counts as a picture.
  if (size < JpegMinimumParsedSize || bytes[0] != 0xFF || bytes[1] != 0xD8) {
    facts.Problem = PictureProblem::NotJpeg;
    return facts;
  }
  auto reader = std::make_unique<JpegRowReader>();
  bool opened = reader->Open(bytes.data(), bytes.size(), true);
  if (!opened && bytes.size() < size) {
    if (!ReadStart(file.get(), &bytes, size)) {
      facts.Readable = false;
      return facts;
    }
    reader = std::make_unique<JpegRowReader>();
    opened = reader->Open(bytes.data(), bytes.size(), true);
  }
  facts.Width = reader->Width;
  facts.Height = reader->Height;
  if (!opened) {
    facts.Problem =
        reader->Problem != PictureProblem::None ? reader->Problem : PictureProblem::NotJpeg;
  } else if (static_cast<uint64_t>(reader->Width) * reader->Height > JpegMaxPixels) {
    facts.Problem = PictureProblem::TooLarge;
  } else {
    facts.Orientation = CollectPhotoDetails(reader->Markers()).Orientation;
  }
  const PixelSize upright = OrientedSize(facts.Width, facts.Height, facts.Orientation);
  facts.UprightWidth = upright.Width;
  facts.UprightHeight = upright.Height;
  return facts;
}

}  // namespace velmora
