// Entry of the end-to-end run: prepares the folder, environment and registry value that the
// program and its stand-ins need, runs the tests, and puts the registry value back.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e/session_setup.h"

namespace velmora::e2e {

RunPlace Place;

namespace {

constexpr const char* kMailKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

std::string Directory(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

// Sets HKLM\...\Windows Messaging Subsystem "MAPI" = "1" for the run and restores the value
// (or its absence, and the key's absence) afterwards.
class MailRegistryValue : public ::testing::Environment {
 public:
  void SetUp() override {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMailKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    created_key_ = disposition == REG_CREATED_NEW_KEY;
    DWORD size = 0;
    if (RegQueryValueExA(key, "MAPI", nullptr, &old_type_, nullptr, &size) == ERROR_SUCCESS) {
      had_value_ = true;
      old_data_.resize(size);
      RegQueryValueExA(key, "MAPI", nullptr, &old_type_, old_data_.data(), &size);
    }
    ASSERT_EQ(RegSetValueExA(key, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  void TearDown() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMailKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
      return;
    if (had_value_) {
      RegSetValueExA(key, "MAPI", 0, old_type_, old_data_.data(),
                     static_cast<DWORD>(old_data_.size()));
    } else {
      RegDeleteValueA(key, "MAPI");
    }
    RegCloseKey(key);
    if (created_key_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMailKey);
  }

 private:
  bool created_key_ = false;
  bool had_value_ = false;
  DWORD old_type_ = REG_SZ;
  std::vector<BYTE> old_data_;
};

bool CopyNextToProgram(const std::string& from, const std::string& name) {
  if (CopyFileA(from.c_str(), (Place.WorkDir + name).c_str(), FALSE)) return true;
  std::fprintf(stderr, "e2e: cannot copy %s\n", from.c_str());
  return false;
}

void RemoveFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") DeleteFileA((folder + name).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

}  // namespace velmora::e2e

int main(int argc, char** argv) {
  using namespace velmora::e2e;
  ::testing::InitGoogleTest(&argc, argv);

  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  const std::string testsDir = Directory(module);  // build\tests\ .
  Place.BuildDir = Directory(testsDir.substr(0, testsDir.size() - 1));
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  Place.TempDir = temp;
  if (!Place.TempDir.empty() && Place.TempDir.back() != '\\') Place.TempDir += '\\';
  Place.WorkDir = Place.TempDir + "velmora-e2e-" + std::to_string(GetCurrentProcessId()) + "\\";
  Place.Program = Place.WorkDir + "velmora.exe";
  Place.MailLog = Place.WorkDir + "mail-records.txt";
  Place.ShellLog = Place.WorkDir + "shell-records.txt";

  CreateDirectoryA(Place.WorkDir.c_str(), nullptr);
  const std::string standins = testsDir + "standins\\";
  if (!CopyNextToProgram(Place.BuildDir + "velmora.exe", "velmora.exe") ||
      !CopyNextToProgram(standins + "MAPI32.DLL", "MAPI32.DLL") ||
      !CopyNextToProgram(standins + "command_probe.exe", "explorer.exe")) {
    RemoveFolder(Place.WorkDir);
    return 2;
  }

  // The stand-ins write their records where the tests read them.
  SetEnvironmentVariableA("VELMORA_MAPI_LOG", Place.MailLog.c_str());
  SetEnvironmentVariableA("VELMORA_PROBE_LOG", Place.ShellLog.c_str());

  ::testing::AddGlobalTestEnvironment(new MailRegistryValue);
  int result = RUN_ALL_TESTS();
  RemoveFolder(Place.WorkDir);
  return result;
}
