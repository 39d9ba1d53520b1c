/* A program for tests that records how it was started, then waits and exits as told. Tests
 * start it directly, or copy it under another name (for instance explorer.exe next to the
 * program) to see the command line the program hands the system.
 *
 * Environment:
 *   VELMORA_PROBE_LOG    file that the record is appended to; nothing is written when unset
 *   VELMORA_PROBE_DELAY  milliseconds to sleep after writing the record; 0 when unset
 *   VELMORA_PROBE_EXIT   decimal exit code; 0 when unset
 *
 * Record format: three lines per run, appended before the delay:
 *   cmdline=<GetCommandLineA exactly as returned>
 *   cwd=<current directory>
 *   show=<wShowWindow of the start-up record, or "default" without STARTF_USESHOWWINDOW>
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD NumberFromEnvironment(const char* name) {
  char value[32];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return (n > 0 && n < sizeof value) ? strtoul(value, NULL, 10) : 0;
}

int main(void) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("VELMORA_PROBE_LOG", path, sizeof path);
  if (n > 0 && n < sizeof path) {
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      char cwd[MAX_PATH] = "";
      GetCurrentDirectoryA(sizeof cwd, cwd);
      STARTUPINFOA start;
      GetStartupInfoA(&start);
      char show[16] = "default";
      if (start.dwFlags & STARTF_USESHOWWINDOW)
        snprintf(show, sizeof show, "%u", start.wShowWindow);
      const char* parts[] = {"cmdline=", GetCommandLineA(), "\n", "cwd=", cwd,
                             "\n",       "show=",           show, "\n"};
      for (size_t i = 0; i < sizeof parts / sizeof parts[0]; ++i) {
        DWORD written = 0;
        WriteFile(file, parts[i], (DWORD)strlen(parts[i]), &written, NULL);
      }
      CloseHandle(file);
    }
  }
  Sleep(NumberFromEnvironment("VELMORA_PROBE_DELAY"));
  return (int)NumberFromEnvironment("VELMORA_PROBE_EXIT");
}
