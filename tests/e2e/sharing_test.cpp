// velmora.exe handing its shrunk copies to other programs without mail, seen from outside: the
// paste probe reading the clipboard after Ctrl+C, the explorer.exe stand-in recording how
// Explorer was asked to show the copies, Send without a Simple MAPI mail program, and the
// shrunk pane's context menu (mouse, Shift+F10, the menu key) at 96 and 144 DPI.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "e2e/test_pictures.h"
#include "standins/paste_probe_run.h"
#include "standins/system_folder_standin.h"

using namespace velmora::e2e;
using velmora::standins::FinishPasteProbe;
using velmora::standins::StartPasteProbe;

namespace {

class SharingRun : public ProgramRun {
 protected:
  // Starts the program on the photos (200 x 150 and 160 x 120) and shrinks them at 30%.
  void StartShrunk(int count) {
    std::string arguments;
    for (int i = 0; i < count; ++i) {
      const std::string name = i ? "Dunes.jpg" : "Pier.jpg";
      arguments += Quoted(WritePicture(Folder() + name, i ? 160 : 200, i ? 120 : 150)) + " ";
    }
    ASSERT_TRUE(Start(arguments));
    app->Click("Shrink");
    ASSERT_TRUE(WaitFor([&] {  // the shrunk size line, wherever the DPI puts it
      for (HWND w : Windows(app->TopPanel()))
        if (WindowText(w).rfind("Size: 60x45 , ", 0) == 0) return app->WaitIdle();
      return false;
    })) << "the photo was not shrunk";
  }

  // The clipboard as the paste probe finds it.
  static std::vector<std::string> Clipboard() {
    const std::string log = Place.WorkDir + "paste-probe.txt";
    return FinishPasteProbe(StartPasteProbe("clipboard", log), log);
  }

  // The command line the explorer.exe stand-in was started with last ("" when it was not).
  static std::string ExplorerCommand() {
    std::string line;
    WaitFor([&] { return !RecordLines(Place.ShellLog).empty(); }, 10);
    for (const std::string& l : RecordLines(Place.ShellLog))
      if (l.rfind("cmdline=", 0) == 0) line = l.substr(8);
    DeleteFileA(Place.ShellLog.c_str());
    return line;
  }
};

// Ctrl+C: the copies as files in a new folder of Velmora's own, each the shrunk copy the pane
// shows (its size line's bytes, its picture size); one copy is also there as a picture.
TEST_F(SharingRun, CtrlCPutsTheShrunkCopiesOnTheClipboard) {
  for (int count : {1, 2}) {
    SCOPED_TRACE(std::to_string(count) + " photos");
    StartShrunk(count);
    Keys({VK_CONTROL, 'C'});
    const std::vector<std::string> lines = Clipboard();
    ASSERT_EQ(lines.size(), static_cast<size_t>(count + 2)) << ::testing::PrintToString(lines);
    const std::string first = lines[0].substr(5), folder = first.substr(0, first.rfind('\\') + 1);
    EXPECT_EQ(folder.rfind(Place.TempDir + kCopiesPrefix, 0), 0u) << folder;
    EXPECT_EQ(first, folder + "Pier.jpg");
    const JpegFacts facts = InspectJpeg(FileBytes(first));
    EXPECT_EQ(facts.Width * 1000 + facts.Height, 60 * 1000 + 45);
    EXPECT_TRUE(Shows(Label(true), SizeText(60, 45, FileBytes(first).size())));
    if (count == 2) {
      EXPECT_EQ(lines[1], "file=" + folder + "Dunes.jpg");
    }
    EXPECT_EQ(lines[count], "effect=1");
    EXPECT_EQ(lines[count + 1], count == 1 ? "picture=60x45x24" : "picture=none");
    ASSERT_EQ(app->CloseAndWait(20000), 0);
    EXPECT_EQ(Clipboard(), lines) << "the picture is made before the program ends";
  }
}

// A click on the shrunk pane is no drag (no copies are written); a press dragged onto another
// program's window hands it the copy.
TEST_F(SharingRun, TheCopyIsDraggedFromTheShrunkPaneIntoAnotherProgram) {
  StartShrunk(1);
  const std::string log = Place.WorkDir + "drop-probe.txt";
  HANDLE probe = StartPasteProbe("drop", log, "10 10 200 200");
  ASSERT_TRUE(WaitFor([] { return FindWindowA("VelmoraDropProbe", nullptr) != nullptr; }));
  const RECT pane = ScreenRect(app->Pane(true));
  POINT at = {pane.left + 30, pane.top + 30};
  MouseAt({at.x + 20, at.y}, MOUSEEVENTF_LEFTDOWN);
  MouseAt({at.x + 20, at.y}, MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(app->WaitIdle() && CopiesFolders() == copiesBefore) << "a click is not a drag";
  MouseAt(at);
  MouseAt(at, MOUSEEVENTF_LEFTDOWN);
  for (; at.x > 110 || at.y > 110; at = {std::max(110L, at.x - 30), std::max(110L, at.y - 30)})
    MouseAt(at);
  MouseAt(at);
  MouseAt(at, MOUSEEVENTF_LEFTUP);
  const std::vector<std::string> lines = FinishPasteProbe(probe, log);
  ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[1].rfind("file=" + Place.TempDir + kCopiesPrefix, 0), 0u) << lines[1];
  EXPECT_EQ(lines[1].substr(lines[1].size() - 9), "\\Pier.jpg");
  EXPECT_EQ(lines[2], "effect=1");
}

// The value that tells the program whether a Simple MAPI mail program is there, "0" for the
// guard's life and then "1" again (as main() set it for the run).
class NoMailProgram {
 public:
  NoMailProgram() { Set("0"); }
  ~NoMailProgram() { Set("1"); }

 private:
  static void Set(const char* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", 0,
                      KEY_SET_VALUE, &key) != ERROR_SUCCESS)
      return;
    RegSetValueExA(key, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), 2);
    RegCloseKey(key);
  }
};

// Send without a Simple MAPI mail program: the copies go on the clipboard, Explorer shows them
// in their folder (one selected by its command line; several through the shell, which under
// Wine opens the folder), and one message names that folder and says how to go on.
TEST_F(SharingRun, SendWithoutAMailProgramLeavesTheCopiesReadyToPasteOrDrag) {
  for (int count : {1, 2}) {
    SCOPED_TRACE(std::to_string(count) + " photos");
    StartShrunk(count);
    NoMailProgram noMail;
    app->Click("Send by e-mail");
    const std::string said = app->AnswerMessage();
    const std::vector<std::string> lines = Clipboard();
    ASSERT_EQ(lines.size(), static_cast<size_t>(count + 2)) << ::testing::PrintToString(lines);
    const std::string first = lines[0].substr(5), folder = first.substr(0, first.rfind('\\') + 1);
    EXPECT_EQ(folder.rfind(Place.TempDir + kCopiesPrefix, 0), 0u) << folder;
    EXPECT_NE(said.find("No mail program is set up to send from other programs."),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("(Ctrl+V)"), std::string::npos) << said;
    EXPECT_NE(said.find("\"" + folder + "\""), std::string::npos) << said;
    const std::string explorer = ExplorerCommand();
    if (count == 1)
      EXPECT_EQ(explorer, "explorer.exe /select,\"" + first + "\"");
    else
      EXPECT_NE(explorer.find(folder.substr(0, folder.size() - 1)), std::string::npos) << explorer;
    EXPECT_FALSE(FileExists(Place.MailLog)) << "no mail library was called";
    ASSERT_EQ(app->CloseAndWait(20000), 0);
  }
  std::filesystem::remove(Place.TempDir + "Pier.jpg");  // the mail copy of the one photo
}

// The visible popup menu, or null.
HWND ShownMenu() {
  HWND menu = FindWindowA("#32768", nullptr);
  return menu && IsWindowVisible(menu) ? menu : nullptr;
}
HWND OpenMenu() {
  WaitFor([] { return ShownMenu() != nullptr; }, 5);
  return ShownMenu();
}

// Escape closes the shown menu; pressed once more when a loaded machine showed the menu
// before its loop took keys.
bool EscapeClosesMenu() {
  for (int i = 0; i < 2; ++i) {
    PressKeys({VK_ESCAPE});
    if (WaitFor([] { return ShownMenu() == nullptr; }, 5)) return true;
  }
  return false;
}

// The shrunk pane's menu opens at the mouse on the pane, and with Shift+F10 and the menu key
// at the pane; Show in folder opens Explorer with the copy selected. Screenshots at 96 and 144
// DPI.
TEST_F(SharingRun, TheShrunkPanesMenuOpensFromMouseAndKeyboard) {
  if (!velmora::standins::RunningUnderWine()) GTEST_SKIP() << "the DPI is set through Wine";
  for (DWORD dpi : {96u, 144u}) {
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    ScreenDpi screen(dpi);
    ASSERT_TRUE(screen.Set());
    StartShrunk(1);
    const RECT pane = ScreenRect(app->Pane(true));
    const POINT at = {pane.left + 40, pane.top + 40};
    SetForegroundWindow(app->Main);
    SetCursorPos(at.x, at.y);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, click, sizeof(INPUT));
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr) << "a right click on the pane opened no menu";
    EXPECT_EQ(ScreenRect(menu).left, at.x);
    Sleep(100);
    SaveScreenshot(app->Main, "velmora-e2e-pane-menu-" + std::to_string(dpi) + "dpi.bmp");
    ASSERT_TRUE(EscapeClosesMenu());
    for (const std::initializer_list<WORD>& keys :
         {std::initializer_list<WORD>{VK_SHIFT, VK_F10}, std::initializer_list<WORD>{VK_APPS}}) {
      Keys(keys);
      menu = OpenMenu();
      ASSERT_NE(menu, nullptr) << "the keyboard opened no menu";
      EXPECT_GE(ScreenRect(menu).left, pane.left);
      EXPECT_GE(ScreenRect(menu).top, pane.top);
      ASSERT_TRUE(EscapeClosesMenu());
    }
    Keys({VK_SHIFT, VK_F10});
    ASSERT_NE(OpenMenu(), nullptr);
    PressKeys({'F'});  // Show in &folder
    const std::string explorer = ExplorerCommand();
    EXPECT_EQ(explorer.rfind("explorer.exe /select,\"" + Place.TempDir + kCopiesPrefix, 0), 0u)
        << explorer;
    EXPECT_EQ(explorer.substr(explorer.size() - 10), "\\Pier.jpg\"") << explorer;
    ASSERT_EQ(app->CloseAndWait(20000), 0);
  }
}

}  // namespace
