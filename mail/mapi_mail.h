// Hands one file to the user's mail client as a new message's attachment through Simple MAPI:
// a once-per-process test for a mail system, its library loaded from the system folder on
// first use and freed at program end. Relies on advapi32, kernel32 and toolkit/text_utils.h.
#pragma once

#include <windows.h>
#include <mapi.h>

#include <cstdint>
#include <string>

namespace velmora {

// The Simple MAPI result code for a user abort, also given when no mail system is there.
constexpr uint32_t MailUserAbort = 1;

// Sends one message with the subject ("<Unspecified Subject>" when empty) and, when the path
// is not empty, that file as its one attachment; with show_dialog the client's compose dialog
// runs before this returns. Returns the Simple MAPI result.
uint32_t SendFileByMail(const std::string& subject, const std::string& attachment_path,
                        bool show_dialog);

// Loads the library when needed and forwards the arguments to its MAPISendMail; 1 when
// there is no such entry.
uint32_t CallSendMail(ULONG_PTR session, ULONG_PTR ui_param, MapiMessage* message, uint32_t flags,
                      uint32_t reserved);

// Decides once per process whether a Simple MAPI mail system is installed and loads its
// library from the system folder (by full path) if so; later calls do nothing.
void LoadMailLibrary();

}  // namespace velmora
