// Drives a running velmora.exe from outside, only through its windows, as a user would:
// finds controls by caption and place, clicks, fills in the system's file dialogs,
// answers message boxes, waits until the program is idle and captures the screen.
// Relies on user32 and gdi32 only; the program is another process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::e2e {

std::string WindowText(HWND window);  // asked with WM_GETTEXT, answered in UTF-16
std::string ClassOf(HWND window);
// The window's rectangle in its parent's client coordinates (screen for top-level ones).
RECT RectInParent(HWND window);
std::vector<HWND> DirectChildren(HWND parent);
std::vector<HWND> AllDescendants(HWND parent);
// The visible top-level windows of a process.
std::vector<HWND> TopLevelWindows(DWORD processId);

// A message box or dialog shown by the program: its window and the texts of its statics.
struct ShownDialog {
  HWND Window = nullptr;
  std::string Caption;
  std::string Text;  // the texts of its static controls, joined by newlines
};

class AppSession {
 public:
  AppSession() = default;
  AppSession(const AppSession&) = delete;
  AppSession& operator=(const AppSession&) = delete;
  ~AppSession();  // ends a program that is still running

  // Starts exe in workDir with the caller's environment and waits for its main window.
  bool Start(const std::string& exe, const std::string& workDir);
  // Posts WM_CLOSE to the main window and waits for the end; the exit code, or -1.
  long CloseAndWait(DWORD timeoutMs);

  // Returns once the program has gone back to its message loop (it answers a sent
  // message); false when it does not within the time.
  bool WaitIdle(DWORD timeoutMs = 20000);
  // Returns once everything posted to the program so far has been dispatched, then waits
  // until it is idle. A sent message alone may overtake posted clicks and keys, so a marker
  // is posted behind them, a one-character selection in the percentage box's edit field
  // (harmless), and its arrival is awaited.
  bool Settle(DWORD timeoutMs = 20000);

  HWND Main = nullptr;
  HANDLE Process = nullptr;
  DWORD ProcessId = 0;

  // Controls of the main window, found by caption, or by place on the top panel.
  HWND TopPanel() const;
  HWND LeftPanel() const;
  HWND Splitter() const;
  HWND RightPanel() const;
  HWND OpenedPane() const;
  HWND ShrunkPane() const;
  HWND Button(const std::string& caption) const;
  HWND Combo() const;
  HWND LabelAt(int left, int top) const;      // the top panel's label starting at that place
  HWND Label(const std::string& text) const;  // the top panel's label showing text

  // Posts a click to a button of the main window (returns at once: a click may open a
  // modal window that the test then handles).
  void Click(HWND button) const;
  // Presses and releases the left mouse button at a screen point, moving there first.
  static void MouseClickAt(POINT screen);
  static void MouseDrag(POINT from, POINT to);

  // Waits for a new top-level window of the program other than the main window.
  HWND WaitForWindow(DWORD timeoutMs, HWND ignore = nullptr) const;
  ShownDialog Describe(HWND window) const;
  // True when a message box or dialog of the program is showing.
  bool HasModalWindow() const;

  // Types path into the open or save dialog's file-name box and presses OK; answers "Yes"
  // to the system's replace question. False when no file dialog appeared or it stayed open.
  // okTime, when given, receives the moment OK was pressed (Seconds()).
  bool ChooseFile(const std::string& path, DWORD timeoutMs = 20000, double* okTime = nullptr);
  // Waits for the open or save dialog and cancels it; false when none appeared or it stayed.
  bool CancelFileDialog(DWORD timeoutMs = 20000);
  // Presses the button with the identifier id of a dialog or message box.
  static void PressDialogButton(HWND dialog, int id);
};

// Reads the screen within rect (screen coordinates) as 24-bit rows, top-down.
struct ScreenShot {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Bgr;  // 3 bytes per pixel, rows top-down, no padding
  bool Capture(const RECT& screenRect);
  COLORREF At(int x, int y) const;
  bool SaveBmp(const std::string& path) const;
};

RECT ScreenRectOf(HWND window);
RECT ClientScreenRectOf(HWND window);

// Files.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);
double Seconds();  // a monotonic clock

}  // namespace velmora::e2e
