// Simple MAPI sender: builds the message and its attachment records for the call, runs the
// availability test once, loads the library from the system folder and keeps it and its send
// entry for the rest of the run; and the words for each result.
#include "mail/mapi_mail.h"

#include "toolkit/text_utils.h"

namespace velmora {

namespace {

// Module state, one set for the process.
struct MailLibraryState {
  bool Tested = false;
  HMODULE Library = nullptr;
  LPMAPISENDMAIL SendEntry = nullptr;
  std::string LibraryName = "MAPI32.DLL";

  // Program end: the library goes away once, if it was loaded.
  ~MailLibraryState() {
    if (Library) FreeLibrary(Library);
    Library = nullptr;
    SendEntry = nullptr;
  }
};

MailLibraryState& State() {
  static MailLibraryState state;
  return state;
}

// Newer than 3.51: the value "MAPI" of the messaging subsystem key must be the text "1".
bool RegistrySaysMailInstalled() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", 0,
                    KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  BYTE value[9] = {};
  DWORD size = sizeof value;
  LONG status = RegQueryValueExA(key, "MAPI", nullptr, nullptr, value, &size);
  RegCloseKey(key);
  // The value's type does not matter, only its first two bytes.
  return status == ERROR_SUCCESS && value[0] == '1' && value[1] == 0;
}

}  // namespace

void LoadMailLibrary() {
  MailLibraryState& state = State();
  if (state.Tested) return;
  state.Tested = true;
  state.Library = nullptr;

  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);

  bool installed;
  if (version.dwMajorVersion > 3 || (version.dwMajorVersion == 3 && version.dwMinorVersion > 51)) {
    installed = RegistrySaysMailInstalled();
  } else {
    installed = GetProfileIntA("Mail", "MAPI", 0) != 0;
  }
  // By its full path in the system folder: a library of that name beside the program or in
  // the current directory is never the one loaded.
  const std::string folder = SystemDirectory();
  if (installed && !folder.empty())
    state.Library = LoadLibraryA((folder + state.LibraryName).c_str());
}

uint32_t CallSendMail(ULONG_PTR session, ULONG_PTR ui_param, MapiMessage* message, uint32_t flags,
                      uint32_t reserved) {
  LoadMailLibrary();
  MailLibraryState& state = State();
  if (!state.SendEntry && state.Library) {
    // Through the generic procedure type, which any procedure pointer may be cast to.
    auto entry = reinterpret_cast<void (*)()>(GetProcAddress(state.Library, "MAPISendMail"));
    state.SendEntry = reinterpret_cast<LPMAPISENDMAIL>(entry);
  }
  if (!state.SendEntry) return MailNotAvailable;
  return state.SendEntry(session, ui_param, message, flags, reserved);
}

uint32_t SendFilesByMail(const std::string& subject, const std::vector<std::string>& paths,
                         bool showDialog) {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record of 32-bit Windows");

  // The library takes non-const texts; it gets private copies that live for the call.
  std::string subjectText = subject.empty() ? "<Unspecified Subject>" : subject;
  std::vector<std::string> pathTexts, nameTexts;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    pathTexts.push_back(path);
    const size_t cut = path.find_last_of("\\/:");
    nameTexts.push_back(cut == std::string::npos ? path : path.substr(cut + 1));
  }

  MapiMessage message{};
  message.lpszSubject = subjectText.data();
  std::vector<MapiFileDesc> attachments(pathTexts.size());
  for (size_t i = 0; i < attachments.size(); ++i) {
    attachments[i].nPosition = 0xFFFFFFFF;  // not placed inside the note text
    attachments[i].lpszPathName = pathTexts[i].data();
    attachments[i].lpszFileName = nameTexts[i].data();
  }
  if (!attachments.empty()) {
    message.nFileCount = static_cast<ULONG>(attachments.size());
    message.lpFiles = attachments.data();
  }

  // No owner window for the compose dialog.
  return CallSendMail(0, 0, &message, showDialog ? MAPI_DIALOG : 0, 0);
}

}  // namespace velmora
