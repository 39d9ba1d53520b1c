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

std::string MailResultText(uint32_t result) {
  if (result == SUCCESS_SUCCESS || result == MAPI_USER_ABORT) return {};
  if (result == MailNotAvailable)
    return "No mail program on this computer offers Simple MAPI, so the message cannot be handed "
           "to one. Choose a mail program that offers it as the default mail program (for "
           "instance in Windows' Default apps settings) and send again.";
  // The Simple MAPI result codes a send can give, from 2 on, in words.
  static const char* const kReasons[][2] = {
      {"MAPI_E_FAILURE", "it reported a failure without saying more"},
      {"MAPI_E_LOGIN_FAILURE", "logging on to the mail account failed"},
      {"MAPI_E_DISK_FULL", "the disk is full"},
      {"MAPI_E_INSUFFICIENT_MEMORY", "there was not enough memory"},
      {"MAPI_E_ACCESS_DENIED", "access was denied"},
      {"", ""},  // 7 is no Simple MAPI code
      {"MAPI_E_TOO_MANY_SESSIONS", "too many mail sessions are open"},
      {"MAPI_E_TOO_MANY_FILES", "the message has too many attachments"},
      {"MAPI_E_TOO_MANY_RECIPIENTS", "the message has too many recipients"},
      {"MAPI_E_ATTACHMENT_NOT_FOUND", "an attachment could not be found"},
      {"MAPI_E_ATTACHMENT_OPEN_FAILURE", "an attachment could not be opened"},
      {"MAPI_E_ATTACHMENT_WRITE_FAILURE", "an attachment could not be written"},
      {"MAPI_E_UNKNOWN_RECIPIENT", "a recipient is unknown"},
      {"MAPI_E_BAD_RECIPTYPE", "a recipient is of a wrong kind"},
      {"MAPI_E_NO_MESSAGES", "there are no messages"},
      {"MAPI_E_INVALID_MESSAGE", "the message is not valid"},
      {"MAPI_E_TEXT_TOO_LARGE", "the message text is too large"},
      {"MAPI_E_INVALID_SESSION", "the mail session is not valid"},
      {"MAPI_E_TYPE_NOT_SUPPORTED", "the message type is not supported"},
      {"MAPI_E_AMBIGUOUS_RECIPIENT", "a recipient's name fits more than one address"},
      {"MAPI_E_MESSAGE_IN_USE", "the message is in use"},
      {"MAPI_E_NETWORK_FAILURE", "the network failed"},
      {"MAPI_E_INVALID_EDITFIELDS", "the fields to edit are not valid"},
      {"MAPI_E_INVALID_RECIPS", "the recipients are not valid"},
      {"MAPI_E_NOT_SUPPORTED", "it does not support what was asked"},
      {"MAPI_E_UNICODE_NOT_SUPPORTED", "it does not support Unicode texts"},
      {"MAPI_E_ATTACHMENT_TOO_LARGE", "an attachment is too large"},
  };
  const size_t count = sizeof kReasons / sizeof kReasons[0];
  const size_t at = result - 2;
  const bool known = result >= 2 && at < count && kReasons[at][0][0] != '\0';
  return "The mail program could not take the message: " +
         std::string(known ? kReasons[at][1] : "it answered with an unknown error") +
         " (Simple MAPI error " + std::to_string(result) +
         (known ? std::string(", ") + kReasons[at][0] : std::string()) + ").";
}

}  // namespace velmora
