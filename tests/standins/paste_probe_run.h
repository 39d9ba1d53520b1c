// Runs the paste probe (paste_probe.cpp) beside the test executable and returns its record,
// dispatching this thread's messages meanwhile: the probe's requests to the clipboard owner
// and a drag's messages reach this thread's windows while it waits.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace velmora::standins {

inline std::string TestsFolder() {
  char path[MAX_PATH];
  const std::string p(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return p.substr(0, p.find_last_of('\\') + 1);
}

// Starts the probe as `paste_probe MODE "LOG" REST`; null when it could not start.
inline HANDLE StartPasteProbe(const std::string& mode, const std::string& log,
                              const std::string& rest = "") {
  DeleteFileA(log.c_str());
  std::string line(1, '"');
  line.append(TestsFolder());
  line.append("standins\\paste_probe.exe\" ").append(mode).append(" \"").append(log);
  line.append("\" ").append(rest);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                      &info))
    return nullptr;
  CloseHandle(info.hThread);
  return info.hProcess;
}

// Dispatches messages until the process ends (at most ms); then the record's lines.
inline std::vector<std::string> FinishPasteProbe(HANDLE process, const std::string& log,
                                                 DWORD ms = 30000) {
  for (const DWORD end = GetTickCount() + ms; process && GetTickCount() < end;) {
    if (MsgWaitForMultipleObjects(1, &process, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  if (process) CloseHandle(process);
  std::vector<std::string> lines;
  std::ifstream in(log);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

}  // namespace velmora::standins
