// Hands one file to the user's mail client as a new message's attachment through Simple MAPI:
// a once-per-process test for a mail system, its library loaded from the system folder on
// first use and freed at program end. Relies on advapi32, kernel32 and toolkit/text_utils.h.
#pragma once

#include <windows.h>
#include <mapi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The Simple MAPI result code for a user abort.
constexpr uint32_t MailUserAbort = 1;
// The result when no Simple MAPI mail program is there.
constexpr uint32_t MailNotAvailable = 0xFFFF0001;

// Sends one message with the subject ("<Unspecified Subject>" when empty) and, when the path
// is not empty, that file as its one attachment; with show_dialog the client's compose dialog
// runs before this returns. Returns the Simple MAPI result.
uint32_t SendFileByMail(const std::string& subject, const std::string& attachment_path,
                        bool show_dialog);

// One message with every file of paths attached, in order; otherwise as SendFileByMail.
uint32_t SendFilesByMail(const std::string& subject, const std::vector<std::string>& paths,
                         bool show_dialog);

// What the user is told of a result: "" for success and for the user's cancel.
std::string MailResultText(uint32_t result);

// Loads the library when needed and forwards the arguments to its MAPISendMail;
// MailNotAvailable when there is no such entry.
uint32_t CallSendMail(ULONG_PTR session, ULONG_PTR ui_param, MapiMessage* message, uint32_t flags,
                      uint32_t reserved);

// Decides once per process whether a Simple MAPI mail system is installed and loads its
// library from the system folder (by full path) if so; later calls do nothing.
void LoadMailLibrary();

}  // namespace velmora
