// Drives a running velmora.exe from outside, only through its windows, as a user would:
// finds controls by class and place, clicks, fills in the system's file dialogs, reads
// message boxes and the screen. Relies on user32 and gdi32; the program is another process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::e2e {

// The place a run works in, set up by main(): a temporary folder holding velmora.exe with
// the test stand-ins (MAPI32.DLL, explorer.exe) next to it. Folders end in '\'.
struct RunPlace {
  std::string BuildDir, WorkDir, TempDir;  // screenshots go to BuildDir
  std::string Program, MailLog, ShellLog;  // the logs are the stand-ins' records
};
extern RunPlace Place;

double Seconds();  // a monotonic clock
// Polls cond until it holds, for at most the given seconds.
template <class Condition>
bool WaitFor(Condition cond, double seconds = 20) {
  for (double end = Seconds() + seconds; Seconds() < end; Sleep(5))
    if (cond()) return true;
  return cond();
}

std::string WindowText(HWND window);  // asked with WM_GETTEXT across processes
RECT RectInParent(HWND window);       // in the parent's client coordinates
RECT ClientScreenRectOf(HWND window);
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// A message box or dialog shown by the program and the texts of its statics.
struct ShownDialog {
  HWND Window = nullptr;
  std::string Caption, Text;  // Text: the statics' texts joined by newlines
};

class AppSession {
 public:
  AppSession() = default;
  AppSession(const AppSession&) = delete;
  AppSession& operator=(const AppSession&) = delete;
  ~AppSession();  // ends a program that is still running

  // Starts exe in workDir and waits for its main window "Velmora" and its message loop.
  bool Start(const std::string& exe, const std::string& workDir);
  long CloseAndWait(DWORD timeoutMs);  // posts WM_CLOSE; the exit code, or -1
  // True once the program answers a sent message (it is back in its message loop).
  bool WaitIdle(DWORD timeoutMs = 20000) const;
  // Waits until everything posted to the program so far has been dispatched: a sent
  // message may overtake posted clicks, so a marker (a one-character selection in the
  // percentage box's edit field) is posted behind them and its arrival awaited.
  bool Settle(DWORD timeoutMs = 20000) const;

  HWND TopPanel() const;
  HWND Pane(bool right) const;  // the picture pane of the left or the right panel
  HWND OpenedPane() const { return Pane(false); }
  HWND ShrunkPane() const { return Pane(true); }
  // The top panel's first control whose class name contains classPart (upper case) and,
  // unless text is empty, that shows text.
  HWND Find(const char* classPart, const std::string& text = {}) const;
  HWND Button(const std::string& caption) const { return Find("BUTTON", caption); }
  HWND Combo() const { return Find("COMBOBOX"); }
  HWND LabelAt(int left, int top) const;

  void Click(HWND button) const { PostMessageW(button, BM_CLICK, 0, 0); }
  static void MouseClickAt(POINT screen);  // real mouse input, queued behind posted messages
  // The first top-level window of the program other than the main window, or nullptr.
  HWND WaitForWindow(DWORD timeoutMs) const;
  bool HasModalWindow() const { return WaitForWindow(0) != nullptr; }
  // Waits for a message box that has its text and reads it.
  ShownDialog WaitForMessage() const;
  // Presses OK on a message box and waits until it is gone and the program settled.
  void Dismiss(const ShownDialog& box) const;
  // Types path into the open or save dialog's name box and presses OK, answering "Yes" to
  // a replace question; false when no dialog appeared or it stayed open. okTime receives
  // the moment OK was pressed.
  bool ChooseFile(const std::string& path, double* okTime = nullptr) const;
  static void PressDialogButton(HWND dialog, int id);

  HWND Main = nullptr;
  HANDLE Process = nullptr;
  DWORD ProcessId = 0;
};

// The screen within a rectangle as 24-bit rows stored as a bitmap file has them.
struct ScreenShot {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Bits;  // bottom-up, rows padded to 4 bytes
  bool Capture(const RECT& screenRect);
  COLORREF At(int x, int y) const;
  bool SaveBmp(const std::string& path) const;
};

std::vector<uint8_t> FileBytes(const std::string& path);  // empty when unreadable
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

}  // namespace velmora::e2e
