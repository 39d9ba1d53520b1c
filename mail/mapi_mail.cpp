// Simple MAPI sender: builds the message and its attachment record on the stack, runs the
// availability test once, loads the library from the system folder and keeps it and its send
// entry for the rest of the run.
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

uint32_t SendFileByMail(const std::string& subject, const std::string& attachment_path,
                        bool show_dialog) {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record of 32-bit Windows");
  std::vector<std::string> paths;
  if (!attachment_path.empty()) paths.push_back(attachment_path);
  return SendFilesByMail(subject, paths, show_dialog);
}

uint32_t SendFilesByMail(const std::string& subject, const std::vector<std::string>& paths,
                         bool show_dialog) {
  // The library takes non-const texts; it gets private copies that live for the call.
  std::string subject_text = subject.empty() ? "<Unspecified Subject>" : subject;
  std::vector<std::string> path_texts = paths;

  MapiMessage message{};
  message.lpszSubject = subject_text.data();

  std::vector<MapiFileDesc> attachments(path_texts.size());
  for (size_t i = 0; i < path_texts.size(); ++i) {
    attachments[i].nPosition = 0xFFFFFFFF;  // not placed inside the note text
    attachments[i].lpszPathName = path_texts[i].data();
  }
  if (!attachments.empty()) {
    message.nFileCount = static_cast<ULONG>(attachments.size());
    message.lpFiles = attachments.data();
  }

  // No owner window for the compose dialog.
  return CallSendMail(0, 0, &message, show_dialog ? MAPI_DIALOG : 0, 0);
}

std::string MailResultText(uint32_t result) {
  switch (result) {
    case SUCCESS_SUCCESS:
    case MAPI_USER_ABORT:
      return "";
    case MailNotAvailable:
      return "No mail program is set up for sending from other programs (Simple MAPI). Install "
             "a mail program, make it the default e-mail program of Windows, and try again.";
    case MAPI_E_LOGIN_FAILURE:
      return "The mail program could not log on.";
    case MAPI_E_INSUFFICIENT_MEMORY:
      return "The mail program has not enough memory for this mail.";
    case MAPI_E_ATTACHMENT_NOT_FOUND:
    case MAPI_E_ATTACHMENT_OPEN_FAILURE:
      return "The mail program could not read an attachment.";
    case MAPI_E_TOO_MANY_FILES:
      return "The mail program cannot take this many attachments.";
    default:
      return FormatText("The mail program could not send the mail (error %u).", result);
  }
}

}  // namespace velmora
