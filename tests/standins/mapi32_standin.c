/* A Simple MAPI library for tests: MAPI32.DLL exporting MAPISendMail, which records what it
 * was handed instead of showing a compose dialog, and returns a chosen result.
 *
 * Environment:
 *   VELMORA_MAPI_LOG     file that records are appended to; nothing is written when unset
 *   VELMORA_MAPI_RESULT  decimal result of MAPISendMail; 0 (success) when unset
 *
 * Record format: one line per event, fields separated by a tab, each field key=value; a null
 * text pointer is written as the value (null):
 *   attach  path=T    (the file this library was loaded from)
 *   send  session=N ui=N flags=N reserved=N subject=T note=T type=T msgflags=N
 *         originator=(null)|set recips=N files=N
 *   file  reserved=N flags=N position=N path=T name=T filetype=(null)|set bytes=N|(missing)
 *         (one per attachment, in order; bytes: the file's size when the call came)
 *   detach  how=free|exit     (free: FreeLibrary unloaded it; exit: the process ended first)
 * Numbers are unsigned decimal.
 */
#include <windows.h>
#include <mapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void AppendRecord(const char* text) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("VELMORA_MAPI_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
  WriteFile(file, "\n", 1, &written, NULL);
  CloseHandle(file);
}

static const char* TextOrNull(const char* p) { return p ? p : "(null)"; }

/* The size of the file at path as decimal text, or "(missing)". */
static void FileSizeText(const char* path, char* text, size_t size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path && GetFileAttributesExA(path, GetFileExInfoStandard, &data) &&
      !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    snprintf(text, size, "%lu", (unsigned long)data.nFileSizeLow);
  else
    snprintf(text, size, "(missing)");
}

/* The result to give: VELMORA_MAPI_RESULT, or 0. */
static ULONG ChosenResult(void) {
  char text[32];
  DWORD n = GetEnvironmentVariableA("VELMORA_MAPI_RESULT", text, sizeof text);
  return (n > 0 && n < sizeof text) ? strtoul(text, NULL, 10) : 0;
}

ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR ui, lpMapiMessage message, FLAGS flags,
                          ULONG reserved) {
  char line[4096];
  if (message == NULL) {
    snprintf(
        line, sizeof line, "send\tsession=%lu\tui=%lu\tflags=%lu\treserved=%lu\tmessage=(null)",
        (unsigned long)session, (unsigned long)ui, (unsigned long)flags, (unsigned long)reserved);
    AppendRecord(line);
  } else {
    snprintf(line, sizeof line,
             "send\tsession=%lu\tui=%lu\tflags=%lu\treserved=%lu\tsubject=%s\tnote=%s\ttype=%s"
             "\tmsgflags=%lu\toriginator=%s\trecips=%lu\tfiles=%lu",
             (unsigned long)session, (unsigned long)ui, (unsigned long)flags,
             (unsigned long)reserved, TextOrNull(message->lpszSubject),
             TextOrNull(message->lpszNoteText), TextOrNull(message->lpszMessageType),
             (unsigned long)message->flFlags, message->lpOriginator ? "set" : "(null)",
             (unsigned long)message->nRecipCount, (unsigned long)message->nFileCount);
    AppendRecord(line);
    for (ULONG i = 0; message->lpFiles != NULL && i < message->nFileCount; ++i) {
      const MapiFileDesc* f = &message->lpFiles[i];
      char bytes[32];
      FileSizeText(f->lpszPathName, bytes, sizeof bytes);
      snprintf(line, sizeof line,
               "file\treserved=%lu\tflags=%lu\tposition=%lu\tpath=%s\tname=%s\tfiletype=%s"
               "\tbytes=%s",
               (unsigned long)f->ulReserved, (unsigned long)f->flFlags, (unsigned long)f->nPosition,
               TextOrNull(f->lpszPathName), TextOrNull(f->lpszFileName),
               f->lpFileType ? "set" : "(null)", bytes);
      AppendRecord(line);
    }
  }
  return ChosenResult();
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    char line[MAX_PATH + 16] = "attach\tpath=";
    const DWORD start = (DWORD)strlen(line);
    GetModuleFileNameA(instance, line + start, MAX_PATH);
    AppendRecord(line);
  }
  if (reason == DLL_PROCESS_DETACH)
    AppendRecord(reserved ? "detach\thow=exit" : "detach\thow=free");
  return TRUE;
}
