// velmora-heif.dll: Velmora's C interface (heif/velmora_heif.h) over libheif's decoder with
// libde265 for HEVC. Files are read through a Windows handle opened from the UTF-8 path, so
// every name works whatever the code page; no failure leaves this file as an exception.
#include <windows.h>

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#define VELMORA_HEIF_BUILDING
#include "heif/velmora_heif.h"

namespace {

// The file under a handle, read by libheif as it needs.
struct FileReader {
  HANDLE File = INVALID_HANDLE_VALUE;
  int64_t Size = 0;
  int64_t Position = 0;
  ~FileReader() {
    if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
  }
};

int64_t ReaderPosition(void* self) { return static_cast<FileReader*>(self)->Position; }

int ReaderRead(void* data, size_t size, void* self) {
  auto* reader = static_cast<FileReader*>(self);
  auto* to = static_cast<uint8_t*>(data);
  while (size > 0) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(size, 1u << 24));
    if (!ReadFile(reader->File, to, ask, &got, nullptr) || got == 0) return 1;
    to += got;
    size -= got;
    reader->Position += got;
  }
  return 0;
}

int ReaderSeek(int64_t position, void* self) {
  auto* reader = static_cast<FileReader*>(self);
  if (position < 0 || position > reader->Size) return 1;
  LARGE_INTEGER to;
  to.QuadPart = position;
  if (!SetFilePointerEx(reader->File, to, nullptr, FILE_BEGIN)) return 1;
  reader->Position = position;
  return 0;
}

heif_reader_grow_status ReaderWait(int64_t target, void* self) {
  return target <= static_cast<FileReader*>(self)->Size ? heif_reader_grow_status_size_reached
                                                        : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader FileReaderCalls = {1, ReaderPosition, ReaderRead, ReaderSeek, ReaderWait};

int StatusOf(const heif_error& error) {
  switch (error.code) {
    case heif_error_Ok:
      return VELMORA_HEIF_OK;
    case heif_error_Input_does_not_exist:
      return VELMORA_HEIF_UNREADABLE;
    case heif_error_Unsupported_filetype:
      return VELMORA_HEIF_NOT_HEIF;
    case heif_error_Invalid_input:
      return error.subcode == heif_suberror_No_ftyp_box ? VELMORA_HEIF_NOT_HEIF
                                                        : VELMORA_HEIF_DAMAGED;
    case heif_error_Unsupported_feature:
      return VELMORA_HEIF_UNSUPPORTED;
    case heif_error_Memory_allocation_error:
      return error.subcode == heif_suberror_Security_limit_exceeded ? VELMORA_HEIF_TOO_LARGE
                                                                    : VELMORA_HEIF_NO_MEMORY;
    default:
      return VELMORA_HEIF_DAMAGED;
  }
}

// The TIFF structure inside a HEIF EXIF item: a 4-byte big-endian offset to it comes first
// (some writers also leave JPEG's "Exif\0\0" in front of it). Empty when none is found.
std::vector<uint8_t> TiffOfExifItem(const std::vector<uint8_t>& item) {
  if (item.size() < 4) return {};
  const uint32_t skip = (uint32_t{item[0]} << 24) | (uint32_t{item[1]} << 16) |
                        (uint32_t{item[2]} << 8) | uint32_t{item[3]};
  if (skip > item.size() - 4) return {};
  size_t at = 4 + skip;
  if (item.size() - at >= 6 && std::memcmp(&item[at], "Exif\0\0", 6) == 0) at += 6;
  if (item.size() - at < 8) return {};
  const bool intel = std::memcmp(&item[at], "II*\0", 4) == 0;
  const bool motorola = std::memcmp(&item[at], "MM\0*", 4) == 0;
  if (!intel && !motorola) return {};
  return std::vector<uint8_t>(item.begin() + static_cast<ptrdiff_t>(at), item.end());
}

std::wstring WideOf(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

}  // namespace

struct VelmoraHeif {
  std::unique_ptr<FileReader> Reader;
  heif_context* Context = nullptr;
  heif_image_handle* Primary = nullptr;
  heif_image* Decoded = nullptr;
  VelmoraHeifInfo Info = {};
  std::vector<uint8_t> Exif;
  std::vector<uint8_t> Icc;
  uint8_t Head[12] = {};  // the file's first bytes: the ftyp box's major brand

  ~VelmoraHeif() {
    if (Decoded) heif_image_release(Decoded);
    if (Primary) heif_image_handle_release(Primary);
    if (Context) heif_context_free(Context);
  }

  // Reads the primary image's facts and metadata once the context holds the file.
  int Describe() {
    // Only HEVC is built in; an AV1 file (AVIF) says so by its major brand.
    const heif_brand2 brand = heif_read_main_brand(Head, sizeof Head);
    if (brand == heif_fourcc('a', 'v', 'i', 'f') || brand == heif_fourcc('a', 'v', 'i', 's'))
      return VELMORA_HEIF_UNSUPPORTED;
    heif_error error = heif_context_get_primary_image_handle(Context, &Primary);
    if (error.code != heif_error_Ok) return StatusOf(error);
    const int width = heif_image_handle_get_width(Primary);
    const int height = heif_image_handle_get_height(Primary);
    if (width <= 0 || height <= 0) return VELMORA_HEIF_DAMAGED;
    Info.Width = static_cast<uint32_t>(width);
    Info.Height = static_cast<uint32_t>(height);
    Info.HasAlpha = heif_image_handle_has_alpha_channel(Primary) ? 1 : 0;
    Info.BitDepth = heif_image_handle_get_luma_bits_per_pixel(Primary);

    heif_item_id ids[8];
    const int exifCount = heif_image_handle_get_list_of_metadata_block_IDs(Primary, "Exif", ids, 8);
    for (int i = 0; i < exifCount && Exif.empty(); ++i) {
      std::vector<uint8_t> item(heif_image_handle_get_metadata_size(Primary, ids[i]));
      if (!item.empty() &&
          heif_image_handle_get_metadata(Primary, ids[i], item.data()).code == heif_error_Ok)
        Exif = TiffOfExifItem(item);
    }
    Info.ExifBytes = static_cast<uint32_t>(Exif.size());

    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(Primary);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
      Icc.resize(heif_image_handle_get_raw_color_profile_size(Primary));
      if (Icc.empty() ||
          heif_image_handle_get_raw_color_profile(Primary, Icc.data()).code != heif_error_Ok)
        Icc.clear();
    }
    Info.IccBytes = static_cast<uint32_t>(Icc.size());
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(Primary, &nclx).code == heif_error_Ok && nclx) {
      Info.HasNclx = 1;
      Info.ColourPrimaries = static_cast<uint16_t>(nclx->color_primaries);
      Info.TransferCharacteristics = static_cast<uint16_t>(nclx->transfer_characteristics);
      Info.MatrixCoefficients = static_cast<uint16_t>(nclx->matrix_coefficients);
      Info.FullRange = nclx->full_range_flag;
      heif_nclx_color_profile_free(nclx);
    }
    return VELMORA_HEIF_OK;
  }
};

namespace {

// Runs an opening: makes the handle, lets read fill its context, describes it.
template <class Read>
int Open(VelmoraHeif** out, Read read) {
  if (!out) return VELMORA_HEIF_BAD_ARGUMENT;
  *out = nullptr;
  try {
    auto heif = std::make_unique<VelmoraHeif>();
    heif->Context = heif_context_alloc();
    if (!heif->Context) return VELMORA_HEIF_NO_MEMORY;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    heif_context_set_max_decoding_threads(
        heif->Context, static_cast<int>(std::clamp<DWORD>(system.dwNumberOfProcessors, 1, 8)));
    int status = read(*heif);
    if (status == VELMORA_HEIF_OK) status = heif->Describe();
    if (status == VELMORA_HEIF_OK) *out = heif.release();
    return status;
  } catch (const std::bad_alloc&) {
    return VELMORA_HEIF_NO_MEMORY;
  } catch (...) {
    return VELMORA_HEIF_DAMAGED;
  }
}

int CopyOut(const std::vector<uint8_t>& from, void* buffer, size_t size) {
  if (!buffer || size < from.size()) return VELMORA_HEIF_BAD_ARGUMENT;
  if (!from.empty()) std::memcpy(buffer, from.data(), from.size());
  return VELMORA_HEIF_OK;
}

}  // namespace

extern "C" {

uint32_t velmora_heif_interface(void) { return VELMORA_HEIF_INTERFACE; }

int velmora_heif_open_file(const char* utf8Path, VelmoraHeif** out) {
  if (!utf8Path) return VELMORA_HEIF_BAD_ARGUMENT;
  return Open(out, [utf8Path](VelmoraHeif& heif) {
    const std::wstring path = WideOf(utf8Path);
    if (path.empty()) return static_cast<int>(VELMORA_HEIF_UNREADABLE);
    heif.Reader = std::make_unique<FileReader>();
    heif.Reader->File = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size;
    if (heif.Reader->File == INVALID_HANDLE_VALUE || !GetFileSizeEx(heif.Reader->File, &size))
      return static_cast<int>(VELMORA_HEIF_UNREADABLE);
    heif.Reader->Size = size.QuadPart;
    DWORD got = 0;
    if (!ReadFile(heif.Reader->File, heif.Head, sizeof heif.Head, &got, nullptr) ||
        ReaderSeek(0, heif.Reader.get()) != 0)
      return static_cast<int>(VELMORA_HEIF_UNREADABLE);
    return StatusOf(
        heif_context_read_from_reader(heif.Context, &FileReaderCalls, heif.Reader.get(), nullptr));
  });
}

int velmora_heif_open_bytes(const void* data, size_t size, VelmoraHeif** out) {
  if (!data && size > 0) return VELMORA_HEIF_BAD_ARGUMENT;
  return Open(out, [data, size](VelmoraHeif& heif) {
    std::memcpy(heif.Head, data, std::min(size, sizeof heif.Head));
    return StatusOf(heif_context_read_from_memory(heif.Context, data, size, nullptr));
  });
}

int velmora_heif_info(const VelmoraHeif* heif, VelmoraHeifInfo* info) {
  if (!heif || !info) return VELMORA_HEIF_BAD_ARGUMENT;
  *info = heif->Info;
  return VELMORA_HEIF_OK;
}

int velmora_heif_exif(const VelmoraHeif* heif, void* buffer, size_t size) {
  return heif ? CopyOut(heif->Exif, buffer, size) : VELMORA_HEIF_BAD_ARGUMENT;
}

int velmora_heif_icc(const VelmoraHeif* heif, void* buffer, size_t size) {
  return heif ? CopyOut(heif->Icc, buffer, size) : VELMORA_HEIF_BAD_ARGUMENT;
}

int velmora_heif_decode(VelmoraHeif* heif) {
  if (!heif) return VELMORA_HEIF_BAD_ARGUMENT;
  if (heif->Decoded) return VELMORA_HEIF_OK;
  if (static_cast<uint64_t>(heif->Info.Width) * heif->Info.Height > VELMORA_HEIF_MAX_PIXELS)
    return VELMORA_HEIF_TOO_LARGE;
  heif_decoding_options* options = nullptr;
  try {
    options = heif_decoding_options_alloc();
    if (!options) return VELMORA_HEIF_NO_MEMORY;
    options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    const heif_error error = heif_decode_image(
        heif->Primary, &image, heif_colorspace_RGB,
        heif->Info.HasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
    heif_decoding_options_free(options);
    options = nullptr;
    if (error.code != heif_error_Ok) {
      if (image) heif_image_release(image);
      return StatusOf(error);
    }
    // The decode must give what the facts promised, or rows would be read out of bounds.
    int stride = 0;
    if (!image || !heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride) ||
        heif_image_get_width(image, heif_channel_interleaved) !=
            static_cast<int>(heif->Info.Width) ||
        heif_image_get_height(image, heif_channel_interleaved) !=
            static_cast<int>(heif->Info.Height) ||
        heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8) {
      if (image) heif_image_release(image);
      return VELMORA_HEIF_DAMAGED;
    }
    heif->Decoded = image;
    return VELMORA_HEIF_OK;
  } catch (const std::bad_alloc&) {
    if (options) heif_decoding_options_free(options);
    return VELMORA_HEIF_NO_MEMORY;
  } catch (...) {
    if (options) heif_decoding_options_free(options);
    return VELMORA_HEIF_DAMAGED;
  }
}

int velmora_heif_rows(const VelmoraHeif* heif, uint32_t first, uint32_t count, int order,
                      uint8_t* out, size_t stride) {
  if (!heif || !out || first > heif->Info.Height || count > heif->Info.Height - first ||
      stride < size_t{heif->Info.Width} * 3)
    return VELMORA_HEIF_BAD_ARGUMENT;
  if (!heif->Decoded) return VELMORA_HEIF_NOT_DECODED;
  int fromStride = 0;
  const uint8_t* from =
      heif_image_get_plane_readonly(heif->Decoded, heif_channel_interleaved, &fromStride);
  const bool alpha = heif->Info.HasAlpha != 0;
  const int red = order == VELMORA_HEIF_BGR ? 2 : 0, blue = 2 - red;
  for (uint32_t y = 0; y < count; ++y) {
    const uint8_t* in = from + static_cast<size_t>(first + y) * static_cast<size_t>(fromStride);
    uint8_t* to = out + y * stride;
    for (uint32_t x = 0; x < heif->Info.Width; ++x, to += 3) {
      if (alpha) {
        const uint32_t a = in[3], white = 255 * (255 - a) + 127;
        to[red] = static_cast<uint8_t>((in[0] * a + white) / 255);
        to[1] = static_cast<uint8_t>((in[1] * a + white) / 255);
        to[blue] = static_cast<uint8_t>((in[2] * a + white) / 255);
        in += 4;
      } else {
        to[red] = in[0];
        to[1] = in[1];
        to[blue] = in[2];
        in += 3;
      }
    }
  }
  return VELMORA_HEIF_OK;
}

void velmora_heif_release_pixels(VelmoraHeif* heif) {
  if (heif && heif->Decoded) {
    heif_image_release(heif->Decoded);
    heif->Decoded = nullptr;
  }
}

void velmora_heif_close(VelmoraHeif* heif) { delete heif; }

}  // extern "C"
