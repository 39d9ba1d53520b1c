// The place an end-to-end run works in: a temporary folder holding velmora.exe with the
// test stand-ins next to it (MAPI32.DLL, explorer.exe), the environment that points the
// stand-ins at their record files, and the mail registry value, restored afterwards.
#pragma once

#include <string>

namespace velmora::e2e {

struct RunPlace {
  std::string BuildDir;  // the build folder (screenshots go here), ending in '\'
  std::string WorkDir;   // the temporary folder the program runs in, ending in '\'
  std::string Program;   // WorkDir + "velmora.exe"
  std::string MailLog;   // records of the test MAPI32.DLL
  std::string ShellLog;  // records of the test explorer.exe
  std::string TempDir;   // the system's temporary directory, ending in '\'
};

// Set up by main() before any test runs.
extern RunPlace Place;

}  // namespace velmora::e2e
