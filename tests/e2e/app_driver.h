// Drives a running velmora.exe from outside, only through its windows, as a user would: finds
// controls by class and place, clicks, fills in the system's file dialogs, reads message boxes
// and the screen. Relies on user32, gdi32 and gtest; the program is another process.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <shlobj.h>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora::e2e {

// Set up by main(): a temporary folder holding velmora.exe with the test stand-ins
// (MAPI32.DLL, explorer.exe) next to it, and the test MAPI32.DLL in the system folder, whose
// path MailLibrary is ("" where it cannot be put there: not under Wine). Folders end in '\';
// screenshots go to BuildDir.
struct RunPlace {
  std::string BuildDir, WorkDir, TempDir, MailLog, ShellLog, MailLibrary;
};
extern RunPlace Place;

inline double Seconds() { return GetTickCount() / 1000.0; }

template <class Condition>
bool WaitFor(Condition cond, double seconds = 20) {
  for (double end = Seconds() + seconds; Seconds() < end; Sleep(5))
    if (cond()) return true;
  return cond();
}

// A UTF-8 text (ASCII included) as UTF-16.
inline std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                      static_cast<int>(text.size()), wide.data(),
                                                      static_cast<int>(wide.size()))));
  return wide;
}

inline LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

inline std::string WindowText(HWND window) {  // the program's texts are ASCII
  std::wstring text(static_cast<size_t>(Ask(window, WM_GETTEXTLENGTH)) + 1, L'\0');
  Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return std::string(text.begin(), text.begin() + wcslen(text.c_str()));
}

inline RECT ScreenRect(HWND window, bool client = false) {
  RECT r{};
  if (client && GetClientRect(window, &r))
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  else if (!client)
    GetWindowRect(window, &r);
  return r;
}

inline RECT RectInParent(HWND window) {
  RECT r = ScreenRect(window);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Whether the class name contains the upper-case part (the program's classes may be prefixed).
inline bool IsClass(HWND window, const char* part) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return std::string(CharUpperA(name)).find(part) != std::string::npos;
}

inline BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The descendants of parent (only its children with direct), or with parent null the visible
// top-level windows of the process.
inline std::vector<HWND> Windows(HWND parent, bool direct = true, DWORD process = 0) {
  std::vector<HWND> all, result;
  if (parent)
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&all));
  else
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (parent ? !direct || GetAncestor(w, GA_PARENT) == parent
               : owner == process && IsWindowVisible(w))
      result.push_back(w);
  }
  return result;
}

inline bool Gone(HWND window) { return !IsWindow(window) || !IsWindowVisible(window); }

inline void PressDialogButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Real mouse input, queued behind the messages posted before: a move to p with the buttons'
// flags given (MOUSEEVENTF_LEFTDOWN ...), then a pause of ms.
inline void MouseAt(POINT p, DWORD buttons = 0, DWORD ms = 40) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{INPUT_MOUSE,
              {{MulDiv(p.x, 65535, w - 1), MulDiv(p.y, 65535, h - 1), 0,
                MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons, 0, 0}}};
  SendInput(1, &input, sizeof(INPUT));
  Sleep(ms);
}
inline void MouseClickAt(POINT p) {
  SetCursorPos(p.x, p.y);
  MouseAt(p, 0, 0);
  MouseAt(p, MOUSEEVENTF_LEFTDOWN, 0);
  MouseAt(p, MOUSEEVENTF_LEFTUP, 0);
}

// Real mouse wheel input at p: notches > 0 turn it away from the user.
inline void WheelAt(POINT p, int notches) {
  SetCursorPos(p.x, p.y);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_WHEEL;
  input.mi.mouseData = static_cast<DWORD>(notches * WHEEL_DELTA);
  SendInput(1, &input, sizeof(INPUT));
}

// Real keyboard input: the keys pressed in order and let go in reverse (a chord such as
// {VK_CONTROL, 'O'}), queued for the foreground window.
inline void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> input;
  auto add = [&input](WORD key, DWORD flags) {
    INPUT one{};
    one.type = INPUT_KEYBOARD;
    one.ki.wVk = key;
    one.ki.dwFlags = flags;
    input.push_back(one);
  };
  for (WORD key : keys) add(key, 0);
  for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) add(*key, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

struct AppSession {
  HWND Main = nullptr;
  HANDLE Process = nullptr;
  DWORD ProcessId = 0;

  ~AppSession() {  // ends a program that is still running
    if (Process == nullptr) return;
    if (WaitForSingleObject(Process, 0) != WAIT_OBJECT_0) {
      TerminateProcess(Process, 99);
      WaitForSingleObject(Process, 5000);
    }
    CloseHandle(Process);
  }

  bool Ended() const { return WaitForSingleObject(Process, 0) == WAIT_OBJECT_0; }

  // The window of the program that has the keyboard focus, or nullptr.
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(Main, nullptr), &info) ? info.hwndFocus
                                                                            : nullptr;
  }

  // Starts exe in workDir, with arguments after its quoted name on the command line, and
  // waits for its main window "Velmora" and its message loop.
  bool Start(const std::string& exe, const std::string& workDir,
             const std::string& arguments = "") {
    std::string command = std::string(1, '"').append(exe) + '"';
    if (!arguments.empty()) command.append(1, ' ').append(arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.c_str(), &startup, &info))
      return false;
    CloseHandle(info.hThread);
    Process = info.hProcess;
    ProcessId = info.dwProcessId;
    WaitFor([&] {
      for (HWND w : Windows(nullptr, false, ProcessId))
        if (WindowText(w) == "Velmora") Main = w;
      return Main != nullptr || Ended();
    });
    return Main != nullptr && WaitIdle();
  }

  long CloseAndWait(DWORD timeoutMs) const {  // the exit code, or -1
    PostMessageW(Main, WM_CLOSE, 0, 0);
    DWORD code = 0;
    if (WaitForSingleObject(Process, timeoutMs) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(Process, &code);
    return static_cast<long>(code);
  }

  // True once the program answers a sent message (it is back in a message loop).
  bool WaitIdle(DWORD timeoutMs = 20000) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(Main, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
  }

  HWND TopPanel() const {
    HWND best = nullptr;
    for (HWND w : Windows(Main))
      if (best == nullptr || RectInParent(w).top < RectInParent(best).top) best = w;
    return best;
  }

  // The picture pane of the left or right panel (below the top panel lie the left panel,
  // the splitter and the right panel).
  HWND Pane(bool right) const {
    HWND top = TopPanel(), found = nullptr;
    for (HWND w : Windows(Main)) {
      const LONG x = RectInParent(w).left, best = found ? RectInParent(found).left : 0;
      if (w != top && (found == nullptr || (right ? x > best : x < best))) found = w;
    }
    return GetWindow(found, GW_CHILD);
  }

  // The top panel's first control of the class that shows text (any text when empty), or,
  // with left >= 0, the one whose top left corner lies there.
  HWND Find(const char* classPart, const std::string& text = {}, int left = -1, int top = 0) const {
    for (HWND w : Windows(TopPanel())) {
      const RECT r = RectInParent(w);
      if (IsClass(w, classPart) && (text.empty() || WindowText(w) == text) &&
          (left < 0 || (r.left == left && r.top == top)))
        return w;
    }
    return nullptr;
  }
  HWND Button(const std::string& caption) const { return Find("BUTTON", caption); }
  void Click(const std::string& caption) const { PostMessageW(Button(caption), BM_CLICK, 0, 0); }

  // The program's last visible top-level window other than the main window, or nullptr.
  HWND WaitForWindow(DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
          for (HWND w : Windows(nullptr, false, ProcessId))
            if (w != Main) found = w;
          return found != nullptr || Ended();
        },
        timeoutMs / 1000.0);
    return found;
  }
  bool HasModalWindow() const { return WaitForWindow(0) != nullptr; }

  // Chooses the percentage with the mouse: the arrow opens the list, a click on the item
  // chooses it.
  void SelectPercent(int percent) { SelectItem(percent / 10 - 1, std::to_string(percent) + "%"); }

  // Chooses the item at index, which reads text, the same way; one out of sight in the open
  // list is reached with the arrow keys and Enter, as a user would.
  void SelectItem(int index, const std::string& text) {
    HWND combo = Find("COMBOBOX"), list = nullptr;
    const RECT box = ScreenRect(combo);
    MouseClickAt({box.right - 6, (box.top + box.bottom) / 2});
    ASSERT_TRUE(WaitFor([&] {
      while ((list = FindWindowExA(nullptr, list, "ComboLBox", nullptr)) != nullptr)
        if (IsWindowVisible(list)) return true;
      return false;
    })) << "the percentage list did not open";
    const int rowHeight = static_cast<int>(Ask(list, LB_GETITEMHEIGHT));
    const RECT items = ScreenRect(list, true);
    const int row = index - static_cast<int>(Ask(list, LB_GETTOPINDEX));
    if (row >= 0 && row < (items.bottom - items.top) / rowHeight) {
      MouseClickAt({items.left + 10, items.top + row * rowHeight + rowHeight / 2});
    } else {
      for (int at = static_cast<int>(Ask(list, LB_GETCURSEL)); at != index;
           at += at < index ? 1 : -1)
        PressKeys({static_cast<WORD>(at < index ? VK_DOWN : VK_UP)});
      PressKeys({VK_RETURN});
    }
    EXPECT_TRUE(WaitFor([&] { return WindowText(combo) == text && !IsWindowVisible(list); }));
    ASSERT_EQ(Ask(combo, CB_GETCURSEL), index);
  }

  // Waits for a message box, presses its button (OK unless told) and returns "caption|text"
  // (the texts of its statics joined by newlines), or "" when none came.
  std::string AnswerMessage(int button = IDOK) const {
    HWND box = WaitForWindow(20000);
    std::string text;
    WaitFor(
        [&] {  // the text may be set a moment after the window shows
          for (HWND w : box ? Windows(box, false) : std::vector<HWND>{})
            if (IsClass(w, "STATIC") && !WindowText(w).empty())
              text.append(text.empty() ? "" : "\n").append(WindowText(w));
          return !text.empty();
        },
        2);
    if (box == nullptr) return "";
    const std::string caption = WindowText(box);
    PressDialogButton(box, button);
    WaitFor([&] { return Gone(box); }, 5);
    return WaitIdle() ? caption + "|" + text : "(the program hangs)";
  }

  // Clicks the button and waits for the file dialog and its name box (the explorer-style 0x47C
  // or old-style 0x480 edit); false when none came.
  bool OpenFileDialog(const std::string& button, HWND* dialog, HWND* nameBox) const {
    Click(button);
    *nameBox = nullptr;
    WaitFor([&] {
      *dialog = WaitForWindow(100);
      for (HWND w : Windows(*dialog, false))
        if (IsClass(w, "EDIT") && (GetDlgCtrlID(w) == 0x47C || GetDlgCtrlID(w) == 0x480))
          *nameBox = w;
      return *nameBox != nullptr;
    });
    return *nameBox != nullptr;
  }

  // Clicks the button, types path into the file dialog's name box (the explorer-style 0x47C
  // or old-style 0x480 edit) and presses OK, answering "Yes" to a replace question. False
  // when no dialog appeared or it stayed open; okTime receives the moment OK was pressed.
  bool ChooseFile(const std::string& button, const std::string& path,
                  double* okTime = nullptr) const {
    HWND dialog = nullptr, nameBox = nullptr;
    if (!OpenFileDialog(button, &dialog, &nameBox)) return false;
    const std::wstring wide = FromUtf8(path);  // the program takes names in UTF-8
    Ask(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    if (okTime != nullptr) *okTime = Seconds();
    PressDialogButton(dialog, IDOK);
    return WaitFor([&] {
             for (HWND w : Windows(nullptr, false, ProcessId))
               if (GetWindow(w, GW_OWNER) == dialog && GetDlgItem(w, IDYES) != nullptr) {
                 PressDialogButton(w, IDYES);
                 WaitFor([&] { return Gone(w); }, 5);
               }
             return Gone(dialog);
           }) &&
           WaitIdle(60000);
  }
};

inline std::string Quoted(const std::string& text) {
  return std::string(1, '"').append(text) + '"';
}

constexpr const char* kCopiesPrefix = "Velmora copies ";

// A test that starts velmora.exe as often as it needs, with a folder of its own for its files;
// a run still going at the end must have no message open and end normally when closed. The
// folders of copies that the runs made in the temporary folder go at the end.
class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(Place.MailLog.c_str());
    DeleteFileA(Place.ShellLog.c_str());
    CreateDirectoryA(Folder().c_str(), nullptr);
    copiesBefore = CopiesFolders();
  }
  void TearDown() override {
    if (app && app->Process != nullptr && !app->Ended()) {
      EXPECT_FALSE(app->HasModalWindow());
      EXPECT_EQ(app->CloseAndWait(20000), 0);
    }
    app.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
    for (const std::string& name : CopiesFolders())
      if (!copiesBefore.count(name)) std::filesystem::remove_all(Place.TempDir + name, ignored);
  }

  static std::string Folder() { return Place.WorkDir + "own\\"; }

  // The names of the folders of copies in the temporary folder.
  static std::set<std::string> CopiesFolders() {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Place.TempDir, ignored))
      if (entry.path().filename().string().rfind(kCopiesPrefix, 0) == 0)
        names.insert(entry.path().filename().string());
    return names;
  }

  // Starts a new run of the program (the one before has ended).
  bool Start(const std::string& arguments = "", const std::string& directory = Place.WorkDir) {
    app.emplace();
    return app->Start(Place.WorkDir + "velmora.exe", directory, arguments);
  }

  // The size line of the opened or the shrunk picture.
  HWND Label(bool shrunk) const { return app->Find("STATIC", {}, shrunk ? 342 : 12, 33); }

  // Whether the window comes to show text (as a prefix of its text with prefix).
  static bool Shows(HWND window, const std::string& text, bool prefix = false,
                    double seconds = 20) {
    return WaitFor(
        [&] {
          const std::string shown = WindowText(window);
          return prefix ? shown.rfind(text, 0) == 0 : shown == text;
        },
        seconds);
  }

  // Presses keys in the program's window (brought to the front first when it is not there) and
  // waits until it has handled them.
  void Keys(std::initializer_list<WORD> keys) {
    if (GetForegroundWindow() != app->Main) SetForegroundWindow(app->Main);
    WaitFor([&] { return GetForegroundWindow() == app->Main; }, 5);
    PressKeys(keys);
    Sleep(50);
    app->WaitIdle();
  }

  std::optional<AppSession> app;
  std::set<std::string> copiesBefore;
};

// The screen's DPI as Wine takes it: HKCU\Control Panel\Desktop "LogPixels", read by each
// program as it starts. The value that was there before (or none) is put back at the end.
class ScreenDpi {
 public:
  explicit ScreenDpi(DWORD dpi) {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr))
      return;
    DWORD type = 0, size = sizeof old_;
    saved_ = RegQueryValueExA(key_, "LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old_),
                              &size) == ERROR_SUCCESS &&
             type == REG_DWORD;
    set_ = RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                          sizeof dpi) == ERROR_SUCCESS;
  }
  ~ScreenDpi() {
    if (key_ == nullptr) return;
    if (saved_)
      RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                     sizeof old_);
    else
      RegDeleteValueA(key_, "LogPixels");
    RegCloseKey(key_);
  }
  bool Set() const { return set_; }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool saved_ = false, set_ = false;
};

// Delivers a drop of names onto the window the way the shell does: WM_DROPFILES with an HDROP,
// a DROPFILES header and the names one after the other, ending in an empty one. The HDROP must
// lie in the receiving program's memory (a block of this process means nothing there), so it is
// written into the program.
inline bool DropFiles(const AppSession& app, const std::vector<std::string>& names) {
  std::wstring list;
  for (const std::string& name : names) list += std::wstring(name.begin(), name.end()) + L'\0';
  list += L'\0';
  std::vector<uint8_t> block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.pt = {20, 20};
  header.fWide = TRUE;
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, list.data(), list.size() * sizeof(wchar_t));
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, app.ProcessId);
  if (process == nullptr) return false;
  void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT, PAGE_READWRITE);
  SIZE_T written = 0;
  const bool ok = remote != nullptr &&
                  WriteProcessMemory(process, remote, block.data(), block.size(), &written) &&
                  written == block.size() &&
                  PostMessageW(app.Main, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  CloseHandle(process);
  return ok;
}

// A field of a stand-in's record line: tab-separated key=value fields.
inline std::string Field(const std::string& line, const std::string& key) {
  const size_t at = ("\t" + line).find("\t" + key + "="), start = at + key.size() + 1;
  return at == std::string::npos ? "(missing)" : line.substr(start, line.find('\t', start) - start);
}

// The screen within a rectangle, top-down rows of 0x00RRGGBB pixels.
struct ScreenShot {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  bool Capture(const RECT& r) {
    Width = r.right - r.left;
    Height = r.bottom - r.top;
    if (Width <= 0 || Height <= 0) return false;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool ok = BitBlt(memory, 0, 0, Width, Height, screen, r.left, r.top, SRCCOPY) != 0;
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), Width, -Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    Pixels.assign(static_cast<size_t>(Width) * Height, 0);
    ok = ok && GetDIBits(memory, bitmap, 0, Height, Pixels.data(), &info, DIB_RGB_COLORS) == Height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
  }
};

// The bytes of the file at a UTF-8 path (ASCII included); empty when unreadable.
inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileW(FromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD got = 0;
  if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr)) got = 0;
  bytes.resize(got);
  CloseHandle(file);
  return bytes;
}

inline bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE file =
      CreateFileW(FromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The lines of a text file, such as a stand-in's records; none when it cannot be read.
inline std::vector<std::string> RecordLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A mailing the test mail library recorded: its "send" line and its "file" lines.
struct Mailing {
  std::string Send;
  std::vector<std::string> Files;
};

inline std::vector<Mailing> Mailings() {
  std::vector<Mailing> mailings;
  for (const std::string& line : RecordLines(Place.MailLog)) {
    if (line.rfind("send\t", 0) == 0) mailings.push_back({line, {}});
    if (line.rfind("file\t", 0) == 0 && !mailings.empty()) mailings.back().Files.push_back(line);
  }
  return mailings;
}

// Saves the screen within the window's frame as the bitmap file BuildDir + name.
inline void SaveScreenshot(HWND window, const std::string& name) {
  ScreenShot shot;
  ASSERT_TRUE(shot.Capture(ScreenRect(window)));
  BITMAPINFOHEADER header = {sizeof header, shot.Width, -shot.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof file + sizeof header};
  for (uint32_t& pixel : shot.Pixels) pixel |= 0xFF000000u;  // opaque
  std::vector<uint8_t> out(file.bfOffBits + shot.Pixels.size() * 4);
  file.bfSize = static_cast<DWORD>(out.size());
  std::memcpy(out.data(), &file, sizeof file);
  std::memcpy(out.data() + sizeof file, &header, sizeof header);
  std::memcpy(out.data() + file.bfOffBits, shot.Pixels.data(), shot.Pixels.size() * 4);
  ASSERT_TRUE(WriteFileBytes(Place.BuildDir + name, out)) << name;
  std::printf("[ screenshot ] %s%s\n", Place.BuildDir.c_str(), name.c_str());
}

}  // namespace velmora::e2e
