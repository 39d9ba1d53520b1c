// System shutdown: a form's WM_ENDSESSION handler ends the program from inside the loop.
// The ending process is a second copy of this test program, so the run that checks it
// survives; the copy reports through a file what it saw before it ended.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "control_test_support.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

constexpr const char* ReportVariable = "VELMORA_END_SESSION_REPORT";

std::string ReportPath() {
  char path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA(ReportVariable, path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path) : std::string();
}

void Report(const char* word) {
  std::string path = ReportPath();
  if (path.empty()) return;
  if (std::FILE* f = std::fopen(path.c_str(), "a")) {
    std::fprintf(f, "%s\n", word);
    std::fclose(f);
  }
}

// The form's part: shutdown only when Windows really ends.
bool EndSessionHandler(Control* control, WindowMessage& message, LRESULT*) {
  if (message.Message == WM_ENDSESSION && message.WParam) EndSessionShutdown(control);
  return false;
}

void ReportDestroyed(void*, ObjectBase*) { Report("destroyed"); }
void ReportChildDestroyed(void*, ObjectBase*) { Report("child destroyed"); }

void CALLBACK EndTheSession(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND window = AppWindow->WindowHandle;
  SendMessageA(window, WM_ENDSESSION, FALSE, 0);
  if (AppWindow && IsWindow(window) && !AppTerminated) Report("ignored");
  SendMessageA(window, WM_ENDSESSION, TRUE, 0);
  Report("returned from the handler");
}

std::string ReadAll(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "r")) {
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

}  // namespace

// Run only as the second copy (see EndSessionTrueEndsTheProgramWithoutReturningFromRun).
TEST(LoopEndSession, DISABLED_Child) {
  if (ReportPath().empty()) GTEST_SKIP() << "only run by the end-session test";
  Control* form = MakeTestForm("ending");
  form->OnDestroy = MakeCallback(nullptr, &ReportDestroyed);
  Control* child = MakeTestButton(form, "child");
  child->OnDestroy = MakeCallback(nullptr, &ReportChildDestroyed);
  form->AddMessageHandler(&EndSessionHandler);
  SetTimer(nullptr, 0, 20, &EndTheSession);
  LoopWatchdog watchdog(5000);
  Control* variable = form;
  velmora::Run(variable);
  Report("returned from Run");
  std::exit(3);
}

TEST(LoopEndSession, EndSessionTrueEndsTheProgramWithoutReturningFromRun) {
  std::string report = TempDirectory() + "velmora_end_session.txt";
  DeleteFileA(report.c_str());
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, sizeof program);
  std::string command =
      std::string("\"") + program +
      "\" --gtest_also_run_disabled_tests --gtest_filter=LoopEndSession.DISABLED_Child";
  SetEnvironmentVariableA(ReportVariable, report.c_str());
  // The copy's own test output would read like ours: send it nowhere.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nowhere;
  startup.hStdError = nowhere;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  SetEnvironmentVariableA(ReportVariable, nullptr);
  CloseHandle(nowhere);
  ASSERT_TRUE(started);
  DWORD waited = WaitForSingleObject(process.hProcess, 60000);
  DWORD exitCode = 99;
  GetExitCodeProcess(process.hProcess, &exitCode);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 98);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  ASSERT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_EQ(exitCode, 0u);
  // Ignored with wParam false; with true the form and its child went before the exit.
  EXPECT_EQ(ReadAll(report), "ignored\ndestroyed\nchild destroyed\n");
  DeleteFileA(report.c_str());
}
