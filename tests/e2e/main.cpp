// Entry of the end-to-end run: prepares the folder, environment, registry value and system
// folder library that the program and its stand-ins need, runs the tests, and puts everything
// back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e/app_driver.h"
#include "standins/system_folder_standin.h"

velmora::e2e::RunPlace velmora::e2e::Place;

int main(int argc, char** argv) {
  using velmora::e2e::Place;
  ::testing::InitGoogleTest(&argc, argv);
  auto folderOf = [](const std::string& p) { return p.substr(0, p.find_last_of('\\') + 1); };
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string testsDir = folderOf(path);  // build\tests\ .
  Place.BuildDir = folderOf(testsDir.substr(0, testsDir.size() - 1));
  GetTempPathA(MAX_PATH, path);
  Place.TempDir = path;
  if (Place.TempDir.back() != '\\') Place.TempDir += '\\';
  Place.WorkDir = Place.TempDir + "velmora-e2e-" + std::to_string(GetCurrentProcessId()) + "\\";
  Place.MailLog = Place.WorkDir + "mail-records.txt";
  Place.ShellLog = Place.WorkDir + "shell-records.txt";
  // The stand-ins write their records where the tests read them.
  SetEnvironmentVariableA("VELMORA_MAPI_LOG", Place.MailLog.c_str());
  SetEnvironmentVariableA("VELMORA_PROBE_LOG", Place.ShellLog.c_str());

  CreateDirectoryA(Place.WorkDir.c_str(), nullptr);
  // The program loads the mail library from the system folder only: the test library goes
  // there for the run. The copy beside the program must never be the one loaded.
  velmora::standins::SystemFolderStandIn mailLibrary{testsDir + "standins\\MAPI32.DLL",
                                                     "MAPI32.DLL"};
  Place.MailLibrary = mailLibrary.Installed() ? mailLibrary.Path() : "";
  const std::string from[3][2] = {{Place.BuildDir + "velmora.exe", "velmora.exe"},
                                  {testsDir + "standins\\MAPI32.DLL", "MAPI32.DLL"},
                                  {testsDir + "standins\\command_probe.exe", "explorer.exe"}};
  bool copied = true;
  for (int i = 0; i < 3 && copied; ++i)
    copied = CopyFileA(from[i][0].c_str(), (Place.WorkDir + from[i][1]).c_str(), FALSE);

  // The program offers mail only while HKLM\...\Windows Messaging Subsystem has "MAPI" = "1";
  // the value that was there before is put back afterwards, or removed.
  const char* mailKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
  HKEY key = nullptr;
  int result = 2;
  DWORD created = 0, type = REG_SZ, size = 256;
  BYTE old[256] = {};
  if (copied && RegCreateKeyExA(HKEY_LOCAL_MACHINE, mailKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, &created) == ERROR_SUCCESS) {
    const bool hadValue = RegQueryValueExA(key, "MAPI", nullptr, &type, old, &size) == 0;
    if (RegSetValueExA(key, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2) == 0)
      result = RUN_ALL_TESTS();
    if (hadValue)
      RegSetValueExA(key, "MAPI", 0, type, old, size);
    else
      RegDeleteValueA(key, "MAPI");
    RegCloseKey(key);
    if (created == REG_CREATED_NEW_KEY) RegDeleteKeyA(HKEY_LOCAL_MACHINE, mailKey);
  }

  std::error_code ignored;
  std::filesystem::remove_all(Place.WorkDir, ignored);
  if (result == 2) std::fprintf(stderr, "e2e: the run could not be prepared\n");
  return result;
}
