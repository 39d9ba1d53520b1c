// RunProcess against command_probe.exe, which records the command line, working directory
// and show value it was started with, then sleeps and exits as its environment says.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <map>
#include <string>

#include "toolkit/process.h"

using namespace velmora;

namespace {

std::string ProbePath() {
  char path[MAX_PATH];
  std::string p(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return p.substr(0, p.find_last_of('\\')) + "\\standins\\command_probe.exe";
}

std::string TempPath(const char* prefix) {
  char dir[MAX_PATH], path[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, prefix, 0, path);
  DeleteFileA(path);
  return path;
}

// The probe's record file and delay, set in the environment the probes inherit.
class ProbeRun {
 public:
  explicit ProbeRun(unsigned delay_ms = 0) : log_(TempPath("prb")) {
    SetEnvironmentVariableA("VELMORA_PROBE_LOG", log_.c_str());
    SetEnvironmentVariableA("VELMORA_PROBE_DELAY", std::to_string(delay_ms).c_str());
  }
  ~ProbeRun() {
    SetEnvironmentVariableA("VELMORA_PROBE_LOG", nullptr);
    SetEnvironmentVariableA("VELMORA_PROBE_DELAY", nullptr);
    DeleteFileA(log_.c_str());
  }

  // The last record, key by key.
  std::map<std::string, std::string> Record() const {
    std::map<std::string, std::string> record;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) record[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return record;
  }

 private:
  std::string log_;
};

TEST(RunProcess, CommandLineWorkingDirectoryAndShowValue) {
  // A copy of the probe inside a directory whose name holds blanks.
  const std::string dir = TempPath("prd") + " with blanks";
  const std::string blank = dir + "\\probe copy.exe";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(ProbePath().c_str(), blank.c_str(), FALSE));
  const std::string quoted = "\"" + blank + "\"";
  const std::string plain = ProbePath();
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
    ProbeRun probe;
    EXPECT_EQ(ProcessCommandLine(c.app, c.args), c.expected);
    EXPECT_TRUE(RunProcess(c.app, c.args, c.work_dir, c.show, 30000));
    auto record = probe.Record();
    EXPECT_EQ(record["cmdline"], c.expected);
    EXPECT_EQ(record["cwd"], c.work_dir.empty() ? here : c.work_dir);
    EXPECT_EQ(record["show"], std::to_string(c.show));
  }
  DeleteFileA(blank.c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST(RunProcess, ResultAndHandleAfterTheWait) {
  {
    // Time-out 0: false at once, and the caller gets the running process to end.
    ProbeRun probe(60000);
    HANDLE handle = nullptr;
    EXPECT_FALSE(RunProcess(ProbePath(), "", "", 0, 0, &handle));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(TerminateProcess(handle, 3));
    EXPECT_EQ(WaitForSingleObject(handle, 30000), WAIT_OBJECT_0);
    CloseHandle(handle);
  }
  {
    ProbeRun probe;
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_TRUE(RunProcess(ProbePath(), "", "", 0, 30000, &handle));
    EXPECT_EQ(handle, nullptr);
  }
  // A start that fails: a missing program, or no program at all.
  for (const std::string& app : {TempPath("prm") + "\\no such program.exe", std::string()}) {
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(RunProcess(app, "", "", 1, 1000, &handle));
    EXPECT_EQ(handle, nullptr);
  }
}

}  // namespace
