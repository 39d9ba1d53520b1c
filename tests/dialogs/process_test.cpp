// RunProcess against command_probe.exe, which records its command line, working directory and
// show value, then sleeps as its environment says.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "toolkit/process.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

std::string ProbePath() {
  char path[MAX_PATH];
  std::string p(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return p.substr(0, p.find_last_of('\\')) + "\\standins\\command_probe.exe";
}

// Sets how long the probe sleeps and where it writes its record (nowhere for an empty path).
void SetUpProbe(unsigned delay_ms, const std::string& log = "") {
  DeleteFileA(log.c_str());
  SetEnvironmentVariableA("VELMORA_PROBE_LOG", log.empty() ? nullptr : log.c_str());
  SetEnvironmentVariableA("VELMORA_PROBE_DELAY", std::to_string(delay_ms).c_str());
}

// Quoting of a path with a blank, an already quoted one, an empty program path; dir and show.
TEST(RunProcess, CommandLineWorkingDirectoryAndShowValue) {
  const std::string dir = TempDirectory() + "velmora probe " + std::to_string(GetTickCount());
  const std::string blank = dir + "\\probe copy.exe", quoted = "\"" + blank + "\"";
  const std::string plain = ProbePath(), log = dir + "\\probe.log";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(plain.c_str(), blank.c_str(), FALSE));
  ASSERT_EQ(plain.find(' '), std::string::npos) << "the build folder must not hold blanks";
  char current[MAX_PATH];
  const std::string here(current, GetCurrentDirectoryA(sizeof current, current));

  struct Case {
    std::string app, args, expected, work_dir;
    int show;
  };
  const Case cases[] = {
      {blank, "/a", quoted + " /a", dir, 7},
      {quoted, "/b c", quoted + " /b c", "", 0},
      {"", plain + " http://example.invalid/", plain + " http://example.invalid/", "", 1},
      {blank, "", quoted, "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.app + " | " + c.args);
    SetUpProbe(0, log);
    EXPECT_EQ(ProcessCommandLine(c.app, c.args), c.expected);
    EXPECT_TRUE(RunProcess(c.app, c.args, c.work_dir, c.show, 30000));
    std::ifstream record(log, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(record), {}),
              "cmdline=" + c.expected + "\ncwd=" + (c.work_dir.empty() ? here : c.work_dir) +
                  "\nshow=" + std::to_string(c.show) + "\n");
  }
  DeleteFileA(blank.c_str());
  DeleteFileA(log.c_str());
  RemoveDirectoryA(dir.c_str());
}

// Time-out 0: false and the running process's handle; ended in time: true; failed start: false.
TEST(RunProcess, ResultAndHandleAfterTheWait) {
  SetUpProbe(60000);
  HANDLE handle = nullptr;
  EXPECT_FALSE(RunProcess(ProbePath(), "", "", 0, 0, &handle));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(WaitForSingleObject(handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(handle, 3));
  EXPECT_EQ(WaitForSingleObject(handle, 30000), WAIT_OBJECT_0);
  CloseHandle(handle);

  SetUpProbe(0);
  handle = reinterpret_cast<HANDLE>(1);
  EXPECT_TRUE(RunProcess(ProbePath(), "", "", 0, 30000, &handle));
  EXPECT_EQ(handle, nullptr);
  for (const std::string& app :
       {TempDirectory() + "no such dir\\no such program.exe", std::string()}) {
    handle = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(RunProcess(app, "", "", 1, 1000, &handle));
    EXPECT_EQ(handle, nullptr);
  }
}

}  // namespace
