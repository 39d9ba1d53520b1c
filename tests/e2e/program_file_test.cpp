// velmora.exe as a file: its one manifest, read back through the system's own resource and
// activation-context functions, and the icon its running window shows.
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

std::string ProgramPath() { return Place.BuildDir + "velmora.exe"; }

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
  const bool number = IS_INTRESOURCE(name);
  reinterpret_cast<std::vector<std::string>*>(list)->push_back(
      number ? std::string(1, '#').append(std::to_string(reinterpret_cast<uintptr_t>(name)))
             : std::string(name));
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
  const std::string path = ProgramPath();
  // Loaded as a data file: its resources without running any of its code.
  HMODULE file = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  std::vector<std::string> names;
  EnumResourceNamesA(file, MAKEINTRESOURCEA(24), CollectName, reinterpret_cast<LONG_PTR>(&names));
  FreeLibrary(file);
  EXPECT_EQ(names, std::vector<std::string>({"#1"}));
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
