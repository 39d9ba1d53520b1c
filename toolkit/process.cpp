// Process launch: quoting of the program path, creation flags, bounded wait and the rules
// for who closes the process handle.
#include "toolkit/process.h"

#include <vector>

namespace velmora {

static_assert(sizeof(STARTUPINFOA) == 68, "the start-up record of 32-bit Windows");

std::string ProcessCommandLine(const std::string& app_path, const std::string& cmd_line) {
  std::string program = app_path;
  if (program.find(' ') != std::string::npos && program.find('"') == std::string::npos) {
    program = '"' + program + '"';
  }
  if (!program.empty() && !cmd_line.empty()) program += ' ';
  return program + cmd_line;
}

bool RunProcess(const std::string& app_path, const std::string& cmd_line,
                const std::string& work_dir, int32_t show_cmd, uint32_t timeout,
                HANDLE* process_handle) {
  DWORD creation = CREATE_NEW_CONSOLE;
  if (show_cmd == 0) creation |= CREATE_NO_WINDOW;

  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESHOWWINDOW;
  start.wShowWindow = static_cast<WORD>(show_cmd);

  if (process_handle) *process_handle = nullptr;

  // CreateProcessA may write into the command line, so it gets a private copy.
  const std::string line = ProcessCommandLine(app_path, cmd_line);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');

  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, creation, nullptr,
                      work_dir.empty() ? nullptr : work_dir.c_str(), &start, &info)) {
    return false;
  }

  bool ended = WaitForSingleObject(info.hProcess, timeout) == WAIT_OBJECT_0;
  if (ended || !process_handle) {
    CloseHandle(info.hProcess);
  } else {
    *process_handle = info.hProcess;
  }
  CloseHandle(info.hThread);
  return ended;
}

}  // namespace velmora
