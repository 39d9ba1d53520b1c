// The Simple MAPI sender against the test MAPI32.DLL, put into the system folder for the run (the
// end-to-end run proves that a copy beside the program is never the one loaded). The mail
// system is looked up once per process, so each case reruns this executable as a child
// (MailChild cases).
#include <gtest/gtest.h>

#include <windows.h>
#include <process.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "mail/mapi_mail.h"
#include "standins/system_folder_standin.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using velmora::standins::SystemFolder;
using velmora::standins::SystemFolderStandIn;

namespace {

const char kMessagingKey[] = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
const char* const kChildVariables[] = {"VELMORA_MAPI_LOG", "VELMORA_MAPI_RESULT",
                                       "VELMORA_EXPECT_RESULT", "VELMORA_CHILD_SUBJECT",
                                       "VELMORA_CHILD_PATH"};

std::string Env(const char* name) {
  char value[1024];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return std::string(value, n < sizeof value ? n : 0);
}

// Sets one registry text, or deletes the value when there is none.
void SetRegistryText(HKEY root, const std::string& key, const char* name,
                     const std::optional<std::string>& text) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  text ? RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                        static_cast<DWORD>(text->size() + 1))
       : RegDeleteValueA(k, name);
  RegCloseKey(k);
}

// Child: a mail system installed after the first send changes nothing, the look-up is made once.
TEST(MailChild, DISABLED_SendTwice) {
  const uint32_t expected = std::strtoul(Env("VELMORA_EXPECT_RESULT").c_str(), nullptr, 10);
  EXPECT_EQ(SendFilesByMail(Env("VELMORA_CHILD_SUBJECT"), {Env("VELMORA_CHILD_PATH")}, true),
            expected);
  SetRegistryText(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI", "1");
  EXPECT_EQ(SendFilesByMail("", {""}, false), expected);
  EXPECT_EQ(GetModuleHandleA("MAPI32.DLL") != nullptr, expected != MailNotAvailable);
}

std::optional<std::string> MapiValue() {
  char text[256];
  DWORD size = sizeof text;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI", RRF_RT_REG_SZ, nullptr, text, &size))
    return std::nullopt;
  return text;
}

// One registry value, put back as it was (type and bytes, or absent) at the end.
struct SavedRegistryValue {
  HKEY root;
  std::string key;
  const char* name;
  DWORD type = REG_SZ, size = 4096;
  BYTE data[4096] = {};
  bool saved = RegGetValueA(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                            &size) == ERROR_SUCCESS;
  ~SavedRegistryValue() {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr))
      return;
    saved ? RegSetValueExA(k, name, 0, type, data, size) : RegDeleteValueA(k, name);
    RegCloseKey(k);
  }
};

std::string ThisProgram() {
  char self[MAX_PATH];
  return std::string(self, GetModuleFileNameA(nullptr, self, sizeof self));
}

// The child's exit code (0: its checks passed) and the test library's record lines. The child
// runs the MailChild case `name` in the current directory. Wine takes the child's load order
// from its executable's application defaults, not WINEDLLOVERRIDES. The library answers with
// a number that changes from run to run (VELMORA_MAPI_RESULT).
std::pair<intptr_t, std::vector<std::string>> RunChild(bool mail_present,
                                                       const std::string& subject,
                                                       const std::string& path) {
  const std::string exe = ThisProgram();
  const char* self = exe.c_str();
  const char* filter = "--gtest_filter=MailChild.DISABLED_SendTwice";
  const std::string overrides =
      "Software\\Wine\\AppDefaults\\" + exe.substr(exe.find_last_of('\\') + 1) + "\\DllOverrides";
  SavedRegistryValue load_order{HKEY_CURRENT_USER, overrides, "mapi32"};
  SetRegistryText(HKEY_CURRENT_USER, overrides, "mapi32", "native,builtin");
  const std::string log = TempDirectory() + "velmora-mapi.log";
  DeleteFileA(log.c_str());
  const uint32_t result = 2 + GetTickCount() % 20;
  const std::string values[] = {log, std::to_string(result),
                                std::to_string(mail_present ? result : MailNotAvailable), subject,
                                path};
  for (int i = 0; i < 5; ++i) SetEnvironmentVariableA(kChildVariables[i], values[i].c_str());
  const intptr_t code =
      _spawnl(_P_WAIT, self, self, "--gtest_also_run_disabled_tests", filter, nullptr);
  for (const char* name : kChildVariables) SetEnvironmentVariableA(name, nullptr);
  std::vector<std::string> lines;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  in.close();
  DeleteFileA(log.c_str());
  return {code, lines};
}

// Each case with the test library in the system folder, and a copy of it beside this program.
class MapiMail : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!library.Installed()) GTEST_SKIP() << "the test library needs Wine's system folder";
    ASSERT_NE(GetFileAttributesA(beside.c_str()), INVALID_FILE_ATTRIBUTES) << beside;
  }
  const std::string folder = ThisProgram().substr(0, ThisProgram().find_last_of('\\') + 1);
  const std::string beside = folder + "MAPI32.DLL";
  SystemFolderStandIn library{folder + "standins\\MAPI32.DLL", "MAPI32.DLL"};
  const std::string attach = "attach\tpath=" + library.Path();
};

// "MAPI" = "1": one load for both sends; an empty subject is replaced, an empty path sends no file.
TEST_F(MapiMail, RegistryValueOneSendsThroughTheLibraryLoadedOnce) {
  SavedRegistryValue value{HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI"};
  SetRegistryText(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI", "1");
  const std::string subject = "holiday photo.jpg", path = "C:\\Temp Dir\\" + subject;
  const auto send = [](const std::string& subject, uint32_t flags, int files) {
    return "send\tsession=0\tui=0\tflags=" + std::to_string(flags) +
           "\treserved=0\tsubject=" + subject +
           "\tnote=(null)\ttype=(null)\tmsgflags=0\toriginator=(null)\trecips=0\tfiles=" +
           std::to_string(files);
  };
  const std::vector<std::string> expected = {
      attach, send(subject, MAPI_DIALOG, 1),
      "file\treserved=0\tflags=0\tposition=" + std::to_string(0xFFFFFFFFu) + "\tpath=" + path +
          "\tname=" + subject + "\tfiletype=(null)\tbytes=(missing)",
      send("<Unspecified Subject>", 0, 0), "detach\thow=free"};
  EXPECT_EQ(RunChild(true, subject, path), std::make_pair(intptr_t{0}, expected));
}

// Any other value, or none, means no mail system: nothing loaded, every send says so.
TEST_F(MapiMail, OtherRegistryValuesMeanNoMailSystemAndTheValueIsPutBack) {
  const std::optional<std::string> before = MapiValue();
  {
    SavedRegistryValue value{HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI"};
    const std::optional<std::string> values[] = {"0", "11", "", std::nullopt, "1 and more"};
    for (const auto& text : values) {
      SCOPED_TRACE(text.value_or("(missing)"));
      SetRegistryText(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI", text);
      EXPECT_EQ(RunChild(false, "x.jpg", "C:\\x.jpg"),
                std::make_pair(intptr_t{0}, std::vector<std::string>{}));
    }
  }
  EXPECT_EQ(MapiValue(), before);
}

}  // namespace
