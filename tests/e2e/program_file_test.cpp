// velmora.exe as a file: its icon group, its version record and its one manifest, read back
// through the system's own resource, version and activation-context functions, and the icon
// its running window shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "e2e/app_driver.h"

using namespace velmora::e2e;

namespace {

#pragma pack(push, 2)
struct IconGroupEntry {  // one entry of an RT_GROUP_ICON resource
  BYTE Width, Height, Colors, Reserved;
  WORD Planes, BitCount;
  DWORD Bytes;
  WORD Id;
};
#pragma pack(pop)

std::string ProgramPath() { return Place.BuildDir + "velmora.exe"; }

// The program loaded as a data file: its resources without running any of its code.
struct ResourceFile {
  HMODULE Module = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ~ResourceFile() {
    if (Module) FreeLibrary(Module);
  }
  std::vector<uint8_t> Bytes(LPCSTR name, LPCSTR type) const {
    HRSRC found = FindResourceA(Module, name, type);
    const auto* data =
        found ? static_cast<const uint8_t*>(LockResource(LoadResource(Module, found))) : nullptr;
    return data ? std::vector<uint8_t>(data, data + SizeofResource(Module, found))
                : std::vector<uint8_t>();
  }
};

// The pixels of an icon drawn at size x size onto white, 0x00RRGGBB.
std::vector<uint32_t> DrawnIcon(HICON icon, int size) {
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all{0, 0, size, size};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  std::vector<uint32_t> pixels;
  if (DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL)) {
    GdiFlush();
    pixels.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size * size);
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The MAINICON group holds 16, 32, 48 and 256 pixels in 32 bits; each entry is an icon the
// system can make, of its size, and not blank.
TEST(ProgramFile, CarriesItsOwnIconInFourSizes) {
  ResourceFile file;
  ASSERT_NE(file.Module, nullptr) << ProgramPath();
  const std::vector<uint8_t> group = file.Bytes("MAINICON", MAKEINTRESOURCEA(14));  // group icon
  ASSERT_GE(group.size(), 6u) << "no MAINICON icon group";
  const WORD count = *reinterpret_cast<const WORD*>(&group[4]);
  ASSERT_EQ(group.size(), 6 + count * sizeof(IconGroupEntry));
  std::set<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    IconGroupEntry entry;
    std::memcpy(&entry, &group[6 + i * sizeof entry], sizeof entry);
    const int size = entry.Width ? entry.Width : 256;
    SCOPED_TRACE(std::to_string(size) + " pixels");
    sizes.insert(size);
    EXPECT_EQ(entry.BitCount, 32);
    std::vector<uint8_t> image = file.Bytes(MAKEINTRESOURCEA(entry.Id), MAKEINTRESOURCEA(3));
    ASSERT_EQ(image.size(), entry.Bytes);
    HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                          0x00030000, size, size, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    BITMAP color{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    GetObjectA(info.hbmColor, sizeof color, &color);
    EXPECT_EQ(std::vector<long>({color.bmWidth, color.bmHeight}), std::vector<long>({size, size}));
    const std::vector<uint32_t> pixels = DrawnIcon(icon, size);
    EXPECT_GT(std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0xFFFFFF; }),
              size * size / 4)
        << "the icon is mostly blank";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  EXPECT_EQ(sizes, std::set<int>({16, 32, 48, 256}));
}

std::string VersionString(const std::vector<uint8_t>& record, const std::string& name) {
  struct Translation {
    WORD Language, CodePage;
  }* translation = nullptr;
  UINT size = 0;
  auto* data = const_cast<uint8_t*>(record.data());
  if (!VerQueryValueA(data, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &size) ||
      size < sizeof(Translation))
    return "(no translation)";
  char path[128];
  wsprintfA(path, "\\StringFileInfo\\%04x%04x\\%s", translation->Language, translation->CodePage,
            name.c_str());
  char* text = nullptr;
  return VerQueryValueA(data, path, reinterpret_cast<void**>(&text), &size) && size > 0
             ? std::string(text)
             : "(missing)";
}

// The numbers and texts Explorer shows in the file's properties; both versions are the
// project's one version number.
TEST(ProgramFile, CarriesItsVersionRecord) {
  DWORD ignored = 0;
  std::vector<uint8_t> record(GetFileVersionInfoSizeA(ProgramPath().c_str(), &ignored));
  ASSERT_FALSE(record.empty()) << "no version record";
  ASSERT_TRUE(GetFileVersionInfoA(ProgramPath().c_str(), 0, static_cast<DWORD>(record.size()),
                                  record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  unsigned parts[4] = {};
  std::sscanf(VELMORA_VERSION, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
  const DWORD high = parts[0] << 16 | parts[1], low = parts[2] << 16 | parts[3];
  EXPECT_EQ(std::vector<DWORD>({fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                fixed->dwProductVersionMS, fixed->dwProductVersionLS}),
            std::vector<DWORD>({high, low, high, low}));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  EXPECT_EQ(VersionString(record, "ProductName"), "Velmora");
  EXPECT_EQ(VersionString(record, "FileVersion"), VELMORA_VERSION);
  EXPECT_EQ(VersionString(record, "ProductVersion"), VELMORA_VERSION);
  EXPECT_EQ(VersionString(record, "OriginalFilename"), "velmora.exe");
  for (const char* name : {"FileDescription", "CompanyName"}) {
    const std::string text = VersionString(record, name);
    EXPECT_TRUE(text.find("Velmora") != std::string::npos) << name << ": " << text;
  }
  EXPECT_EQ(VersionString(record, "LegalCopyright").rfind("Copyright (C) ", 0), 0u);
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
  std::string text =
      IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<uintptr_t>(name)) : name;
  reinterpret_cast<std::vector<std::string>*>(list)->push_back(IS_INTRESOURCE(name) ? "#" + text
                                                                                    : text);
  return TRUE;
}

// One setting of an activation context's windowsSettings, as the system reads it.
std::wstring Setting(HANDLE context, const wchar_t* nameSpace, const wchar_t* name) {
  using Query =
      BOOL(WINAPI*)(DWORD, HANDLE, const wchar_t*, const wchar_t*, wchar_t*, SIZE_T, SIZE_T*);
  auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryActCtxSettingsW")));
  wchar_t value[64] = {};
  SIZE_T written = 0;
  if (query == nullptr) return L"(no QueryActCtxSettingsW)";
  return query(0, context, nameSpace, name, value, 64, &written) ? value : L"(not set)";
}

// Exactly one manifest, resource 1: the system reads from it Common Controls 6, the DPI
// awareness and the UTF-8 code page, each in its own namespace.
TEST(ProgramFile, CarriesOneManifestWithStylesDpiAndUtf8) {
  {
    ResourceFile file;
    ASSERT_NE(file.Module, nullptr);
    std::vector<std::string> names;
    EnumResourceNamesA(file.Module, MAKEINTRESOURCEA(24), CollectName,
                       reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::vector<std::string>({"#1"}));
  }
  const std::string path = ProgramPath();
  ACTCTXA request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.lpResourceName = MAKEINTRESOURCEA(1);
  HANDLE context = CreateActCtxA(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the system does not accept the manifest";

  EXPECT_EQ(
      Setting(context, L"http://schemas.microsoft.com/SMI/2019/WindowsSettings", L"activeCodePage"),
      L"UTF-8");
  EXPECT_EQ(Setting(context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"),
            L"true");
  EXPECT_EQ(
      Setting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
      L"system");
  // A setting in the wrong namespace counts for nothing.
  EXPECT_EQ(
      Setting(context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"activeCodePage"),
      L"(not set)");

  // Inside the program's context, comctl32.dll is the Common Controls 6 assembly's.
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(context, &cookie));
  ACTCTX_SECTION_KEYED_DATA redirect{};
  redirect.cbSize = sizeof redirect;
  EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                       L"comctl32.dll", &redirect))
      << "no Common Controls 6 dependency";
  DeactivateActCtx(0, cookie);
  ReleaseActCtx(context);
}

// The running window's caption shows the program's own icon (a photo with a sun and hills), not
// the system's generic one. Wine draws the caption itself, so it is read from the screen.
TEST(ProgramFile, TheWindowShowsTheProgramIcon) {
  AppSession app;
  ASSERT_TRUE(app.Start(Place.WorkDir + "velmora.exe", Place.WorkDir));
  const RECT frame = ScreenRect(app.Main), client = ScreenRect(app.Main, true);
  ScreenShot caption;
  ASSERT_TRUE(caption.Capture({frame.left, frame.top, client.left + 40, client.top}));
  int sun = 0, hills = 0;  // the caption's own colours are blue, gray and white
  for (uint32_t p : caption.Pixels) {
    const int r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
    sun += r > 200 && g > 150 && b < 120;
    hills += g > 110 && g - r > 50 && g - b > 50;
  }
  EXPECT_GT(sun, 1) << "no sun of the program icon in the caption";
  EXPECT_GT(hills, 4) << "no hills of the program icon in the caption";
  EXPECT_EQ(app.CloseAndWait(20000), 0);
}

}  // namespace
