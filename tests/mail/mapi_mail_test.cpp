// The Simple MAPI sender against the test MAPI32.DLL placed next to this executable.
// The availability test runs once per process, so every case runs in a child process: this
// same executable started with a filter that selects one of the MailChild cases (disabled in
// a normal run). The parent sets the registry, WIN.INI and the reported Windows version for
// the child, reads what the test library recorded and restores everything afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "mail/mapi_mail.h"

using namespace velmora;

namespace {

const char kMessagingKey[] = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

std::string EnvironmentValue(const char* name) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return (n > 0 && n < sizeof value) ? std::string(value, n) : std::string();
}

uint32_t ExpectedResult() {
  return std::strtoul(EnvironmentValue("VELMORA_EXPECT_RESULT").c_str(), nullptr, 10);
}

// ---- Child cases: run only inside a child started by the parent cases below. ----

// Two sends: a photo with its path and the compose dialog, then nothing at all.
TEST(MailChild, DISABLED_SendTwice) {
  const uint32_t expected = ExpectedResult();
  EXPECT_EQ(SendFileByMail(EnvironmentValue("VELMORA_CHILD_SUBJECT"),
                           EnvironmentValue("VELMORA_CHILD_PATH"), true),
            expected);
  EXPECT_EQ(SendFileByMail("", "", false), expected);
  // The library is there exactly when a mail system was found.
  EXPECT_EQ(GetModuleHandleA("MAPI32.DLL") != nullptr, expected != MailUserAbort);
}

// No mail system at the first send; installing one meanwhile changes nothing in this run.
TEST(MailChild, DISABLED_InstallAfterFirstSend) {
  EXPECT_EQ(SendFileByMail("a.jpg", "C:\\a.jpg", true), MailUserAbort);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMessagingKey, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(SendFileByMail("a.jpg", "C:\\a.jpg", true), MailUserAbort);
  EXPECT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr);
}

// ---- Parent side ----

std::string SelfPath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

std::string TempFilePath(const char* prefix) {
  char dir[MAX_PATH], path[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, prefix, 0, path);
  DeleteFileA(path);
  return path;
}

// Sets environment variables for the children started in its lifetime.
class ScopedEnvironment {
 public:
  void Set(const char* name, const std::string& value) {
    saved_.emplace_back(name, EnvironmentValue(name));
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      SetEnvironmentVariableA(it->first.c_str(), it->second.empty() ? nullptr : it->second.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

// One registry value, put back as it was (type and bytes, or absent) at the end.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, std::string key, std::string name)
      : root_(root), key_(std::move(key)), name_(std::move(name)) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
      DWORD size = 0;
      if (RegQueryValueExA(k, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 1);
        if (RegQueryValueExA(k, name_.c_str(), nullptr, &type_, data.data(), &size) ==
            ERROR_SUCCESS) {
          data.resize(size);
          saved_ = std::move(data);
        }
      }
      RegCloseKey(k);
    }
  }
  ~ScopedRegistryValue() {
    if (saved_) {
      Write(type_, saved_->data(), static_cast<DWORD>(saved_->size()));
    } else {
      Delete();
    }
  }

  void SetText(const std::string& text) {
    Write(REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
  }
  void Write(DWORD type, const BYTE* data, DWORD size) {
    HKEY k = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(k, name_.c_str(), 0, type, data, size), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  void Delete() {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
      RegDeleteValueA(k, name_.c_str());
      RegCloseKey(k);
    }
  }

 private:
  HKEY root_;
  std::string key_, name_;
  DWORD type_ = REG_SZ;
  std::optional<std::vector<BYTE>> saved_;
};

// The WIN.INI key Mail/MAPI, put back as it was at the end.
class ScopedProfileMapi {
 public:
  ScopedProfileMapi() {
    char value[256];
    GetProfileStringA("Mail", "MAPI", "\x01", value, sizeof value);
    if (std::string(value) != "\x01") saved_ = value;
  }
  ~ScopedProfileMapi() { Set(saved_ ? saved_->c_str() : nullptr); }
  void Set(const char* value) { WriteProfileStringA("Mail", "MAPI", value); }

 private:
  std::optional<std::string> saved_;
};

struct Record {
  std::string kind;
  std::map<std::string, std::string> fields;
};

std::vector<Record> ReadRecords(const std::string& path) {
  std::vector<Record> records;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::stringstream parts(line);
    std::string part;
    Record record;
    std::getline(parts, record.kind, '\t');
    while (std::getline(parts, part, '\t')) {
      size_t eq = part.find('=');
      record.fields[part.substr(0, eq)] = eq == std::string::npos ? "" : part.substr(eq + 1);
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<std::string> Kinds(const std::vector<Record>& records) {
  std::vector<std::string> kinds;
  for (const Record& r : records) kinds.push_back(r.kind);
  return kinds;
}

std::string SelfName() {
  std::string path = SelfPath();
  return path.substr(path.find_last_of('\\') + 1);
}

// Everything one child run needs: a fresh record file, the chosen result of the test library
// and the Wine load order that prefers that library to the system's own. A new process takes
// its load order from the application defaults of its executable name, not from a
// WINEDLLOVERRIDES changed in the Windows environment.
class MailChildRun {
 public:
  explicit MailChildRun(uint32_t library_result)
      : log_(TempFilePath("mpl")),
        load_order_(HKEY_CURRENT_USER,
                    "Software\\Wine\\AppDefaults\\" + SelfName() + "\\DllOverrides", "mapi32") {
    load_order_.SetText("native,builtin");
    env_.Set("VELMORA_MAPI_LOG", log_);
    env_.Set("VELMORA_MAPI_RESULT", std::to_string(library_result));
  }
  ~MailChildRun() { DeleteFileA(log_.c_str()); }

  void SetEnvironment(const char* name, const std::string& value) { env_.Set(name, value); }

  // Runs one MailChild case; returns its exit code (0 when all its checks passed).
  DWORD Run(const std::string& child_case) {
    std::string line = "\"" + SelfPath() +
                       "\" --gtest_also_run_disabled_tests --gtest_filter=MailChild." + child_case;
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &info)) {
      ADD_FAILURE() << "the child did not start: " << GetLastError();
      return 0xFFFFFFFF;
    }
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) {
      GetExitCodeProcess(info.hProcess, &code);
    } else {
      TerminateProcess(info.hProcess, 0xFFFFFFFF);
      ADD_FAILURE() << "the child did not end within a minute";
    }
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return code;
  }

  std::vector<Record> Records() const { return ReadRecords(log_); }

 private:
  std::string log_;
  ScopedRegistryValue load_order_;
  ScopedEnvironment env_;
};

// A result the test library would not give by chance, different on each run.
uint32_t SomeLibraryResult() { return 2 + GetTickCount() % 20; }

TEST(MapiMail, RegistryValueOneSendsThroughTheLibraryLoadedOnce) {
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  value.SetText("1");
  const uint32_t result = SomeLibraryResult();
  MailChildRun child(result);
  child.SetEnvironment("VELMORA_EXPECT_RESULT", std::to_string(result));
  const std::string subject = "holiday photo.jpg";
  const std::string path = "C:\\Temp Dir\\" + subject;
  child.SetEnvironment("VELMORA_CHILD_SUBJECT", subject);
  child.SetEnvironment("VELMORA_CHILD_PATH", path);

  ASSERT_EQ(child.Run("DISABLED_SendTwice"), 0u);
  std::vector<Record> records = child.Records();
  // Loaded once, two messages (the first with its attachment), freed once at program end.
  ASSERT_EQ(Kinds(records), (std::vector<std::string>{"attach", "send", "file", "send", "detach"}));

  const auto& first = records[1].fields;
  EXPECT_EQ(first.at("subject"), subject);
  EXPECT_EQ(first.at("flags"), std::to_string(MAPI_DIALOG));
  EXPECT_EQ(first.at("files"), "1");
  for (const char* zero : {"session", "ui", "reserved", "msgflags", "recips"}) {
    EXPECT_EQ(first.at(zero), "0") << zero;
  }
  for (const char* none : {"note", "type", "originator"}) {
    EXPECT_EQ(first.at(none), "(null)") << none;
  }

  const auto& file = records[2].fields;
  EXPECT_EQ(file.at("path"), path);
  EXPECT_EQ(file.at("position"), std::to_string(0xFFFFFFFFu));
  EXPECT_EQ(file.at("name"), "(null)");
  EXPECT_EQ(file.at("filetype"), "(null)");
  EXPECT_EQ(file.at("reserved"), "0");
  EXPECT_EQ(file.at("flags"), "0");

  const auto& second = records[3].fields;
  EXPECT_EQ(second.at("subject"), "<Unspecified Subject>");
  EXPECT_EQ(second.at("flags"), "0");
  EXPECT_EQ(second.at("files"), "0");

  EXPECT_EQ(records[4].fields.at("how"), "free");
}

TEST(MapiMail, OtherRegistryValuesMeanNoMailSystem) {
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  struct Case {
    const char* name;
    std::optional<std::string> text;
  };
  const Case cases[] = {{"zero", "0"},
                        {"eleven", "11"},
                        {"empty", ""},
                        {"missing", std::nullopt},
                        {"longer than nine bytes", "1 and more"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.text) {
      value.SetText(*c.text);
    } else {
      value.Delete();
    }
    MailChildRun child(SomeLibraryResult());
    child.SetEnvironment("VELMORA_EXPECT_RESULT", std::to_string(MailUserAbort));
    child.SetEnvironment("VELMORA_CHILD_SUBJECT", "x.jpg");
    child.SetEnvironment("VELMORA_CHILD_PATH", "C:\\x.jpg");
    EXPECT_EQ(child.Run("DISABLED_SendTwice"), 0u);
    EXPECT_TRUE(child.Records().empty());
  }
}

TEST(MapiMail, AvailabilityIsDecidedOncePerRun) {
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  value.SetText("0");
  MailChildRun child(SomeLibraryResult());
  EXPECT_EQ(child.Run("DISABLED_InstallAfterFirstSend"), 0u);
  EXPECT_TRUE(child.Records().empty());
}

// On systems up to version 3.51 only WIN.INI counts. Wine reports such a version to the
// child when its application defaults say so.
TEST(MapiMail, OldSystemsAskWinIni) {
  ScopedRegistryValue version(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\" + SelfName(),
                              "Version");
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  ScopedProfileMapi profile;
  version.SetText("nt351");

  struct Case {
    const char* name;
    const char* registry;
    const char* profile;
    bool present;
  };
  const Case cases[] = {{"profile on, registry off", "0", "1", true},
                        {"profile off, registry on", "1", "0", false},
                        {"profile missing, registry on", "1", nullptr, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    value.SetText(c.registry);
    profile.Set(c.profile);
    const uint32_t result = SomeLibraryResult();
    MailChildRun child(result);
    child.SetEnvironment("VELMORA_EXPECT_RESULT",
                         std::to_string(c.present ? result : MailUserAbort));
    child.SetEnvironment("VELMORA_CHILD_SUBJECT", "old.jpg");
    child.SetEnvironment("VELMORA_CHILD_PATH", "C:\\old.jpg");
    EXPECT_EQ(child.Run("DISABLED_SendTwice"), 0u);
    EXPECT_EQ(child.Records().size(), c.present ? 5u : 0u);
  }
}

}  // namespace
