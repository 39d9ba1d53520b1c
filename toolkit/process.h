// Starting another program with CreateProcessA and waiting a bounded time for its end.
// Relies on kernel32 only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace velmora {

// Starts app_path (quoted when it holds a blank and no quote) followed by one blank and
// cmd_line; either part may be empty. work_dir empty means the caller's directory; show_cmd
// is a ShowWindow value, 0 also suppresses a console window. Waits up to timeout ms (0: no
// wait). When process_handle is given it receives the handle of a process still running
// after the wait, else 0; the caller then owns and closes that handle. True only when the
// process started and ended within the time-out.
bool RunProcess(const std::string& app_path, const std::string& cmd_line,
                const std::string& work_dir, int32_t show_cmd, uint32_t timeout,
                HANDLE* process_handle = nullptr);

// The command line RunProcess hands the system for app_path and cmd_line.
std::string ProcessCommandLine(const std::string& app_path, const std::string& cmd_line);

}  // namespace velmora
