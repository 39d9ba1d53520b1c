// Hands files to the user's mail client as the attachments of one new message through Simple
// MAPI, and says in words what came of it: a once-per-process test for a mail system, its
// library loaded from the system folder on first use and freed at program end. Relies on
// advapi32, kernel32 and toolkit/text_utils.h.
#pragma once

#include <windows.h>
#include <mapi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The Simple MAPI result code for the user's cancel (MAPI_USER_ABORT).
constexpr uint32_t MailUserAbort = 1;
// No Simple MAPI mail program: none is registered, its library does not load, or it has no
// MAPISendMail. Not a Simple MAPI code.
constexpr uint32_t MailNotAvailable = 0xFFFF0001;

// Sends one message with the subject ("<Unspecified Subject>" when empty) and every file in
// paths attached (each shown under its file name; empty paths are passed over); with
// showDialog the client's compose dialog runs before this returns. Returns the Simple MAPI
// result, or MailNotAvailable when no mail program offers Simple MAPI.
uint32_t SendFilesByMail(const std::string& subject, const std::vector<std::string>& paths,
                         bool showDialog);

// Loads the library when needed and forwards the arguments to its MAPISendMail;
// MailNotAvailable when there is no such entry.
uint32_t CallSendMail(ULONG_PTR session, ULONG_PTR ui_param, MapiMessage* message, uint32_t flags,
                      uint32_t reserved);

// Decides once per process whether a Simple MAPI mail system is installed and loads its
// library from the system folder (by full path) if so; later calls do nothing.
void LoadMailLibrary();

}  // namespace velmora
