// Loading velmora-heif.dll by full path, resolving its entry points, and the HEIF facts,
// details and decodes over them.
#include "imaging/heif_decoder.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "heif/velmora_heif.h"

namespace velmora {

struct HeifCalls {
  decltype(&velmora_heif_interface) Interface;
  decltype(&velmora_heif_open_file) OpenFile;
  decltype(&velmora_heif_open_bytes) OpenBytes;
  decltype(&velmora_heif_info) Info;
  decltype(&velmora_heif_exif) Exif;
  decltype(&velmora_heif_icc) Icc;
  decltype(&velmora_heif_decode) Decode;
  decltype(&velmora_heif_rows) Rows;
  decltype(&velmora_heif_release_pixels) ReleasePixels;
  decltype(&velmora_heif_close) Close;
};

namespace {

std::wstring WideOf(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

std::string Utf8Of(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), n, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(n - 1));
  return utf8;
}

template <class Function>
bool Resolve(HMODULE module, const char* name, Function* entry) {
  // Through the generic procedure type, which any procedure pointer may be cast to.
  auto generic = reinterpret_cast<void (*)()>(GetProcAddress(module, name));
  *entry = reinterpret_cast<Function>(generic);
  return generic != nullptr;
}

HeifProblem ProblemOf(int status) {
  switch (status) {
    case VELMORA_HEIF_OK:
      return HeifProblem::None;
    case VELMORA_HEIF_UNREADABLE:
      return HeifProblem::Unreadable;
    case VELMORA_HEIF_NOT_HEIF:
      return HeifProblem::NotHeif;
    case VELMORA_HEIF_UNSUPPORTED:
      return HeifProblem::Unsupported;
    case VELMORA_HEIF_TOO_LARGE:
      return HeifProblem::TooLarge;
    case VELMORA_HEIF_NO_MEMORY:
      return HeifProblem::NoMemory;
    default:
      return HeifProblem::Damaged;
  }
}

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

bool LooksLikeHeif(const uint8_t* data, size_t size) {
  if (!data || size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return false;
  // The box runs to its stated size (0: to the end of the file); brands are 4 bytes each,
  // the major one at 8, the compatible ones from 16 on.
  const uint32_t box = BigEndian32(data);
  if (box != 0 && box < 16) return false;
  const size_t end = box == 0 ? size : std::min<size_t>(box, size);
  static const char* const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                       "hevm", "hevs", "mif1", "mif2", "msf1"};
  for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4)
    for (const char* brand : brands)
      if (std::memcmp(data + at, brand, 4) == 0) return true;
  return false;
}

HeifLibrary::HeifLibrary(const std::string& path) {
  const std::wstring wide = WideOf(path);
  if (wide.empty()) return;
  // A full path: the DLL's own imports are system libraries, found in the system folder.
  // No error box for a damaged file in its place.
  const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  SetErrorMode(mode);
  if (!module) return;
  auto calls = std::make_unique<HeifCalls>();
  const bool all = Resolve(module, "velmora_heif_interface", &calls->Interface) &&
                   Resolve(module, "velmora_heif_open_file", &calls->OpenFile) &&
                   Resolve(module, "velmora_heif_open_bytes", &calls->OpenBytes) &&
                   Resolve(module, "velmora_heif_info", &calls->Info) &&
                   Resolve(module, "velmora_heif_exif", &calls->Exif) &&
                   Resolve(module, "velmora_heif_icc", &calls->Icc) &&
                   Resolve(module, "velmora_heif_decode", &calls->Decode) &&
                   Resolve(module, "velmora_heif_rows", &calls->Rows) &&
                   Resolve(module, "velmora_heif_release_pixels", &calls->ReleasePixels) &&
                   Resolve(module, "velmora_heif_close", &calls->Close);
  if (!all || calls->Interface() != VELMORA_HEIF_INTERFACE) {
    FreeLibrary(module);
    return;
  }
  Module = module;
  Calls = std::move(calls);
}

HeifLibrary::~HeifLibrary() {
  if (Module) FreeLibrary(static_cast<HMODULE>(Module));
}

namespace {

// The path of velmora-heif.dll beside the running executable (UTF-8).
std::string InstalledHeifPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return Utf8Of(path + L"velmora-heif.dll");
}

}  // namespace

const HeifLibrary& HeifLibrary::Installed() {
  static const HeifLibrary library(InstalledHeifPath());
  return library;
}

HeifImage::~HeifImage() {
  if (Handle) Library.Entry()->Close(Handle);
}

HeifProblem HeifImage::Fail(HeifProblem problem) {
  Known.Problem = problem;
  return problem;
}

HeifProblem HeifImage::Opened(int status) {
  if (status != VELMORA_HEIF_OK) return Fail(ProblemOf(status));
  VelmoraHeifInfo info{};
  if (Library.Entry()->Info(Handle, &info) != VELMORA_HEIF_OK) return Fail(HeifProblem::Damaged);
  Known.Width = info.Width;
  Known.Height = info.Height;
  Known.HasAlpha = info.HasAlpha != 0;
  Known.BitDepth = info.BitDepth;
  Exif.resize(info.ExifBytes);
  Icc.resize(info.IccBytes);
  if (Library.Entry()->Exif(Handle, Exif.data(), Exif.size()) != VELMORA_HEIF_OK) Exif.clear();
  if (Library.Entry()->Icc(Handle, Icc.data(), Icc.size()) != VELMORA_HEIF_OK) Icc.clear();
  if (uint64_t{info.Width} * info.Height > HeifMaxPixels) return Fail(HeifProblem::TooLarge);
  return HeifProblem::None;
}

void HeifImage::Reset() {
  if (Handle) Library.Entry()->Close(Handle);
  Handle = nullptr;
  Known = HeifFacts();
  Exif.clear();
  Icc.clear();
  Decoded = false;
}

HeifProblem HeifImage::Open(const std::string& path) {
  Reset();
  if (!Library.Loaded()) return Fail(HeifProblem::NotInstalled);
  return Opened(Library.Entry()->OpenFile(path.c_str(), &Handle));
}

HeifProblem HeifImage::OpenBytes(const uint8_t* data, size_t size) {
  Reset();
  if (!Library.Loaded()) return Fail(HeifProblem::NotInstalled);
  return Opened(Library.Entry()->OpenBytes(data, size, &Handle));
}

PhotoDetails HeifImage::Details() const {
  PhotoDetails details;
  if (!Exif.empty()) {
    details.Exif.resize(6 + Exif.size());
    std::memcpy(details.Exif.data(), "Exif\0\0", 6);
    std::memcpy(details.Exif.data() + 6, Exif.data(), Exif.size());
  }
  details.IccProfile = Icc;
  return details;
}

HeifProblem HeifImage::Decode() {
  if (Decoded) return HeifProblem::None;
  if (!Handle) return Known.Problem != HeifProblem::None ? Known.Problem : HeifProblem::Damaged;
  if (Known.Problem != HeifProblem::None) return Known.Problem;
  const HeifProblem problem = ProblemOf(Library.Entry()->Decode(Handle));
  Decoded = problem == HeifProblem::None;
  return problem;
}

bool HeifImage::ReadRows(uint32_t first, uint32_t count, uint8_t* const* rows) const {
  if (!Decoded) return false;
  for (uint32_t i = 0; i < count; ++i)
    if (Library.Entry()->Rows(Handle, first + i, 1, VELMORA_HEIF_BGR, rows[i],
                              size_t{Known.Width} * 3) != VELMORA_HEIF_OK)
      return false;
  return true;
}

int32_t HeifSource::ReadRows(uint8_t* const* rows, int32_t count) {
  count = std::min(count, Height() - Next);
  if (count <= 0 ||
      !Image.ReadRows(static_cast<uint32_t>(Next), static_cast<uint32_t>(count), rows))
    return 0;
  Next += count;
  return count;
}

HeifFacts InspectHeifFile(const std::string& path, const HeifLibrary& library) {
  HeifImage image(library);
  image.Open(path);
  return image.Facts();
}

}  // namespace velmora
