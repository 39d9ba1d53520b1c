// The Simple MAPI sender against the test MAPI32.DLL placed next to this executable.
// The availability test runs once per process, so every case runs in a child process: this
// same executable started with a filter that selects the MailChild case (disabled in a normal
// run). The parent sets the registry, WIN.INI and the reported Windows version for the child,
// reads what the test library recorded and restores everything afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <process.h>

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

void SetRegistryText(HKEY root, const std::string& key, const std::string& name,
                     const std::string& text) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

// Child side: a photo with its path and the compose dialog, then a mail system is installed,
// then a send of nothing at all. The first send decides for the whole run.
TEST(MailChild, DISABLED_SendTwice) {
  const uint32_t expected =
      std::strtoul(EnvironmentValue("VELMORA_EXPECT_RESULT").c_str(), nullptr, 10);
  EXPECT_EQ(SendFileByMail(EnvironmentValue("VELMORA_CHILD_SUBJECT"),
                           EnvironmentValue("VELMORA_CHILD_PATH"), true),
            expected);
  SetRegistryText(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI", "1");
  EXPECT_EQ(SendFileByMail("", "", false), expected);
  EXPECT_EQ(GetModuleHandleA("MAPI32.DLL") != nullptr, expected != MailUserAbort);
}

// ---- Parent side ----

std::string SelfPath() {
  char path[MAX_PATH];
  return std::string(path, GetModuleFileNameA(nullptr, path, sizeof path));
}

std::string SelfName() {
  std::string path = SelfPath();
  return path.substr(path.find_last_of('\\') + 1);
}

// One registry value, put back as it was (type and bytes, or absent) at the end.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, std::string key, std::string name)
      : root_(root), key_(std::move(key)), name_(std::move(name)) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    saved_ = RegQueryValueExA(k, name_.c_str(), nullptr, &type_, data_, &size_) == ERROR_SUCCESS;
    RegCloseKey(k);
  }
  ~ScopedRegistryValue() {
    HKEY k = nullptr;
    if (!saved_) {
      Delete();
    } else if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                               nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(k, name_.c_str(), 0, type_, data_, size_);
      RegCloseKey(k);
    }
  }

  void SetText(const std::string& text) { SetRegistryText(root_, key_, name_, text); }
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
  bool saved_ = false;
  DWORD type_ = REG_SZ, size_ = 4096;
  BYTE data_[4096];
};

// One child run: a fresh record file, the result the test library gives (one it would not
// give by chance), what the child is to send and expect, and the Wine load order that prefers
// the test library. A new process takes its load order from the application defaults of its
// executable name, not from a WINEDLLOVERRIDES changed in the Windows environment.
class MailChildRun {
 public:
  MailChildRun(bool mail_present, const std::string& subject, const std::string& path)
      : load_order_(HKEY_CURRENT_USER,
                    "Software\\Wine\\AppDefaults\\" + SelfName() + "\\DllOverrides", "mapi32") {
    char dir[MAX_PATH], file[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "mpl", 0, file);
    DeleteFileA(file);
    log_ = file;
    load_order_.SetText("native,builtin");
    Set("VELMORA_MAPI_LOG", log_);
    Set("VELMORA_MAPI_RESULT", std::to_string(library_result));
    Set("VELMORA_EXPECT_RESULT", std::to_string(mail_present ? library_result : MailUserAbort));
    Set("VELMORA_CHILD_SUBJECT", subject);
    Set("VELMORA_CHILD_PATH", path);
  }
  ~MailChildRun() {
    for (const std::string& name : names_) SetEnvironmentVariableA(name.c_str(), nullptr);
    DeleteFileA(log_.c_str());
  }

  // Runs the child and waits for it; its exit code is 0 when all its checks passed.
  intptr_t Run() {
    const std::string self = SelfPath();
    return _spawnl(_P_WAIT, self.c_str(), self.c_str(), "--gtest_also_run_disabled_tests",
                   "--gtest_filter=MailChild.*", nullptr);
  }

  // The recorded events, field by field; "kind" names the event.
  std::vector<std::map<std::string, std::string>> Records() const {
    std::vector<std::map<std::string, std::string>> records;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      std::stringstream parts(line);
      auto& record = records.emplace_back();
      std::getline(parts, record["kind"], '\t');
      for (std::string part; std::getline(parts, part, '\t');) {
        size_t eq = part.find('=');
        record[part.substr(0, eq)] = eq == std::string::npos ? "" : part.substr(eq + 1);
      }
    }
    return records;
  }

  const uint32_t library_result = 2 + GetTickCount() % 20;

 private:
  void Set(const char* name, const std::string& value) {
    names_.push_back(name);
    SetEnvironmentVariableA(name, value.c_str());
  }

  std::string log_;
  ScopedRegistryValue load_order_;
  std::vector<std::string> names_;
};

TEST(MapiMail, RegistryValueOneSendsThroughTheLibraryLoadedOnce) {
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  value.SetText("1");
  const std::string subject = "holiday photo.jpg";
  const std::string path = "C:\\Temp Dir\\" + subject;
  MailChildRun child(true, subject, path);
  ASSERT_EQ(child.Run(), 0);

  // Loaded once, two messages (the first with its attachment), freed once at program end.
  const auto records = child.Records();
  std::vector<std::string> kinds;
  for (const auto& r : records) kinds.push_back(r.at("kind"));
  ASSERT_EQ(kinds, (std::vector<std::string>{"attach", "send", "file", "send", "detach"}));

  const auto& first = records[1];
  EXPECT_EQ(first.at("subject"), subject);
  EXPECT_EQ(first.at("flags"), std::to_string(MAPI_DIALOG));
  EXPECT_EQ(first.at("files"), "1");
  for (const char* zero : {"session", "ui", "reserved", "msgflags", "recips"}) {
    EXPECT_EQ(first.at(zero), "0") << zero;
  }
  for (const char* none : {"note", "type", "originator"}) EXPECT_EQ(first.at(none), "(null)");

  const auto& file = records[2];
  EXPECT_EQ(file.at("path"), path);
  EXPECT_EQ(file.at("position"), std::to_string(0xFFFFFFFFu));
  EXPECT_EQ(file.at("name"), "(null)");

  const auto& second = records[3];
  EXPECT_EQ(second.at("subject"), "<Unspecified Subject>");
  EXPECT_EQ(second.at("flags"), "0");
  EXPECT_EQ(second.at("files"), "0");
  EXPECT_EQ(records[4].at("how"), "free");
}

TEST(MapiMail, OtherRegistryValuesMeanNoMailSystem) {
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  const std::optional<std::string> values[] = {"0", "11", "", std::nullopt, "1 and more"};
  for (const auto& text : values) {
    SCOPED_TRACE(text.value_or("(missing)"));
    text ? value.SetText(*text) : value.Delete();
    MailChildRun child(false, "x.jpg", "C:\\x.jpg");
    EXPECT_EQ(child.Run(), 0);
    EXPECT_TRUE(child.Records().empty());
  }
}

// On systems up to version 3.51 only WIN.INI counts. Wine reports such a version to the
// child when its application defaults say so.
TEST(MapiMail, OldSystemsAskWinIni) {
  ScopedRegistryValue version(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\" + SelfName(),
                              "Version");
  ScopedRegistryValue value(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI");
  char saved[256];
  GetProfileStringA("Mail", "MAPI", "\x01", saved, sizeof saved);
  version.SetText("nt351");

  struct Case {
    const char* registry;
    const char* profile;
  };
  for (const Case& c : {Case{"0", "1"}, Case{"1", nullptr}}) {
    const bool present = c.profile != nullptr;
    SCOPED_TRACE(present ? "profile on" : "profile missing");
    value.SetText(c.registry);
    WriteProfileStringA("Mail", "MAPI", c.profile);
    MailChildRun child(present, "old.jpg", "C:\\old.jpg");
    EXPECT_EQ(child.Run(), 0);
    EXPECT_EQ(child.Records().size(), present ? 5u : 0u);
  }
  WriteProfileStringA("Mail", "MAPI", std::string(saved) == "\x01" ? nullptr : saved);
}

}  // namespace
