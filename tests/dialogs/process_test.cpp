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

std::string ExeDirectory() {
  char path[MAX_PATH];
  std::string p(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return p.substr(0, p.find_last_of('\\'));
}

std::string ProbePath() { return ExeDirectory() + "\\standins\\command_probe.exe"; }

std::string TempPath(const char* prefix) {
  char dir[MAX_PATH], path[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, prefix, 0, path);
  DeleteFileA(path);
  return path;
}

// The probe's record file and its delay, set in the environment the probes inherit.
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
    std::string line;
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) record[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return record;
  }

 private:
  std::string log_;
};

// A copy of the probe inside a directory whose name holds blanks.
class ProbeInBlankDirectory {
 public:
  ProbeInBlankDirectory() : dir_(TempPath("prd") + " with blanks") {
    CreateDirectoryA(dir_.c_str(), nullptr);
    path_ = dir_ + "\\probe copy.exe";
    CopyFileA(ProbePath().c_str(), path_.c_str(), FALSE);
  }
  ~ProbeInBlankDirectory() {
    DeleteFileA(path_.c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  const std::string& Path() const { return path_; }
  const std::string& Directory() const { return dir_; }

 private:
  std::string dir_, path_;
};

std::string CurrentDirectory() {
  char dir[MAX_PATH];
  return std::string(dir, GetCurrentDirectoryA(sizeof dir, dir));
}

TEST(RunProcess, BuildsTheCommandLineFromProgramAndArguments) {
  ProbeInBlankDirectory blank;
  const std::string quoted = "\"" + blank.Path() + "\"";
  const std::string plain = ProbePath();
  ASSERT_EQ(plain.find(' '), std::string::npos) << "the build folder must not hold blanks";

  struct Case {
    const char* name;
    std::string app, args, expected;
  };
  const Case cases[] = {
      {"path with a blank is quoted", blank.Path(), "/a", quoted + " /a"},
      {"quoted path is kept", quoted, "/b c", quoted + " /b c"},
      {"no program path", "", plain + " http://example.invalid/",
       plain + " http://example.invalid/"},
      {"no arguments", plain, "", plain},
      {"blank path without arguments", blank.Path(), "", quoted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeRun probe;
    EXPECT_EQ(ProcessCommandLine(c.app, c.args), c.expected);
    EXPECT_TRUE(RunProcess(c.app, c.args, "", 1, 30000));
    EXPECT_EQ(probe.Record()["cmdline"], c.expected);
  }
}

TEST(RunProcess, PassesWorkingDirectoryAndShowValue) {
  ProbeInBlankDirectory blank;
  {
    ProbeRun probe;
    EXPECT_TRUE(RunProcess(ProbePath(), "", blank.Directory(), 7, 30000));
    auto record = probe.Record();
    EXPECT_EQ(record["cwd"], blank.Directory());
    EXPECT_EQ(record["show"], "7");
  }
  {
    ProbeRun probe;
    EXPECT_TRUE(RunProcess(ProbePath(), "", "", 0, 30000));
    auto record = probe.Record();
    EXPECT_EQ(record["cwd"], CurrentDirectory());
    EXPECT_EQ(record["show"], "0");
  }
}

TEST(RunProcess, TimeOutHandsBackTheRunningProcess) {
  ProbeRun probe(60000);
  HANDLE handle = nullptr;
  EXPECT_FALSE(RunProcess(ProbePath(), "", "", 0, 0, &handle));
  ASSERT_NE(handle, nullptr);
  // Still running: the caller got its handle and ends it.
  EXPECT_EQ(WaitForSingleObject(handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(handle, 3));
  EXPECT_EQ(WaitForSingleObject(handle, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(handle, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(handle);
}

TEST(RunProcess, EndedProcessGivesTrueAndNoHandle) {
  ProbeRun probe;
  HANDLE handle = reinterpret_cast<HANDLE>(1);
  EXPECT_TRUE(RunProcess(ProbePath(), "", "", 0, 30000, &handle));
  EXPECT_EQ(handle, nullptr);
}

TEST(RunProcess, FailedStartGivesFalseAndNoHandle) {
  const std::string missing = TempPath("prm") + "\\no such program.exe";
  for (const std::string& app : {missing, std::string()}) {
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(RunProcess(app, "", "", 1, 1000, &handle));
    EXPECT_EQ(handle, nullptr);
  }
}

}  // namespace
