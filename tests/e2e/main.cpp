// Entry of the end-to-end run: prepares the folder, environment and registry value that the
// program and its stand-ins need, runs the tests, and puts everything back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e/app_driver.h"

namespace velmora::e2e {

RunPlace Place;

namespace {

constexpr const char* kMailKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

// Sets HKLM\...\Windows Messaging Subsystem "MAPI" = "1" for the run (the program offers
// mail only then) and afterwards puts back the value that was there, or removes it.
class MailRegistryValue : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMailKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, &disposition_),
              ERROR_SUCCESS);
    had_value_ = RegQueryValueExA(key_, "MAPI", nullptr, &type_, old_, &size_) == ERROR_SUCCESS;
    ASSERT_EQ(RegSetValueExA(key_, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2),
              ERROR_SUCCESS);
  }

  void TearDown() override {
    if (had_value_)
      RegSetValueExA(key_, "MAPI", 0, type_, old_, size_);
    else
      RegDeleteValueA(key_, "MAPI");
    RegCloseKey(key_);
    if (disposition_ == REG_CREATED_NEW_KEY) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMailKey);
  }

 private:
  HKEY key_ = nullptr;
  bool had_value_ = false;
  DWORD disposition_ = 0, type_ = REG_SZ, size_ = 256;
  BYTE old_[256] = {};  // the value is "0" or "1"
};

std::string Directory(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/") + 1);
}

void RemoveFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
    DeleteFileA((folder + found.cFileName).c_str());
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

}  // namespace velmora::e2e

int main(int argc, char** argv) {
  using namespace velmora::e2e;
  ::testing::InitGoogleTest(&argc, argv);

  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string testsDir = Directory(path);  // build\tests\ .
  Place.BuildDir = Directory(testsDir.substr(0, testsDir.size() - 1));
  GetTempPathA(MAX_PATH, path);
  Place.TempDir = path;
  if (Place.TempDir.back() != '\\') Place.TempDir += '\\';
  Place.WorkDir = Place.TempDir + "velmora-e2e-" + std::to_string(GetCurrentProcessId()) + "\\";
  Place.Program = Place.WorkDir + "velmora.exe";
  Place.MailLog = Place.WorkDir + "mail-records.txt";
  Place.ShellLog = Place.WorkDir + "shell-records.txt";

  CreateDirectoryA(Place.WorkDir.c_str(), nullptr);
  const std::string from[3] = {Place.BuildDir + "velmora.exe", testsDir + "standins\\MAPI32.DLL",
                               testsDir + "standins\\command_probe.exe"};
  const char* to[3] = {"velmora.exe", "MAPI32.DLL", "explorer.exe"};
  for (int i = 0; i < 3; ++i) {
    if (!CopyFileA(from[i].c_str(), (Place.WorkDir + to[i]).c_str(), FALSE)) {
      std::fprintf(stderr, "e2e: cannot copy %s\n", from[i].c_str());
      RemoveFolder(Place.WorkDir);
      return 2;
    }
  }
  // The stand-ins write their records where the tests read them.
  SetEnvironmentVariableA("VELMORA_MAPI_LOG", Place.MailLog.c_str());
  SetEnvironmentVariableA("VELMORA_PROBE_LOG", Place.ShellLog.c_str());

  ::testing::AddGlobalTestEnvironment(new MailRegistryValue);
  const int result = RUN_ALL_TESTS();
  RemoveFolder(Place.WorkDir);
  return result;
}
