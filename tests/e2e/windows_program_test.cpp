// velmora.exe on the Windows around it: a file named on its command line opens as Open would
// (several files and drops are the several-photos run's) and the mail library comes only from
// the system folder, the window is laid out for the screen's DPI, the keyboard reaches every
// action, and the About box shows the licence and notices.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "e2e/test_pictures.h"
#include "standins/system_folder_standin.h"

using namespace velmora::e2e;

namespace {

using WindowsRun = ProgramRun;

// A file named on the command line ("Open with", "Send To", a drop onto the icon; here a
// relative name, found in the current directory) opens as Open would and Shrink goes on from
// it. A MAPI32.DLL beside the program (as in a downloads folder) and one in the current
// directory are never loaded: the library that records the mailing is the system folder's,
// loaded once.
TEST_F(WindowsRun, AFileOnTheCommandLineOpensAndTheMailLibraryComesOnlyFromTheSystemFolder) {
  ASSERT_TRUE(FileExists(Place.WorkDir + "MAPI32.DLL"));
  ASSERT_TRUE(
      CopyFileA((Place.WorkDir + "MAPI32.DLL").c_str(), (Folder() + "MAPI32.DLL").c_str(), FALSE));
  const std::string picture = WritePicture(Folder() + "Garden.jpg", 300, 200);
  ASSERT_TRUE(Start("Garden.jpg", Folder()));
  ASSERT_TRUE(Shows(Label(false), SizeText(300, 200, FileBytes(picture).size())));
  app->Click("Shrink");
  ASSERT_TRUE(Shows(Label(true), "Size: 90x60 , ", true));
  if (Place.MailLibrary.empty()) GTEST_SKIP() << "no test mail library in the system folder";
  app->Click("Send by e-mail");
  ASSERT_TRUE(WaitFor([] { return !Mailings().empty(); }))
      << "the mail library recorded no mailing";
  ASSERT_EQ(app->CloseAndWait(20000), 0);
  std::vector<std::string> attached;
  for (const std::string& line : RecordLines(Place.MailLog))
    if (line.rfind("attach", 0) == 0) attached.push_back(line);
  EXPECT_EQ(attached, std::vector<std::string>({"attach\tpath=" + Place.MailLibrary}));
  DeleteFileA((Place.TempDir + "Garden.jpg").c_str());  // the mailed copy
}

// Where the window's parts are: the client size, the docked panels (top, left, splitter, right),
// the picture panes' margins in their panels, and the top panel's controls, each in its
// parent's client coordinates and in order of place.
struct Layout {
  SIZE Client{};
  std::vector<RECT> Docked, Panes, Controls;
  RECT Link{};
  size_t ComboIndex = 0;  // the percentage box among Controls
};

std::vector<RECT> PlacesOf(const std::vector<HWND>& windows) {
  std::vector<RECT> places;
  for (HWND w : windows) places.push_back(RectInParent(w));
  std::sort(places.begin(), places.end(), [](const RECT& a, const RECT& b) {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
  });
  return places;
}

Layout LayoutOf(const AppSession& app) {
  Layout layout;
  RECT client{};
  GetClientRect(app.Main, &client);
  layout.Client = {client.right, client.bottom};
  layout.Docked = PlacesOf(Windows(app.Main));
  for (bool right : {false, true}) {  // the pane's distance to each edge of its panel
    const RECT pane = RectInParent(app.Pane(right));
    RECT panel{};
    GetClientRect(GetParent(app.Pane(right)), &panel);
    layout.Panes.push_back(
        {pane.left, pane.top, panel.right - pane.right, panel.bottom - pane.bottom});
  }
  std::vector<HWND> controls;
  for (HWND w : Windows(app.TopPanel()))
    (WindowText(w) == "https://velmora.example/" ? layout.Link = RectInParent(w),
     void()                                      : controls.push_back(w));
  layout.Controls = PlacesOf(controls);
  const RECT combo = RectInParent(app.Find("COMBOBOX"));
  for (size_t i = 0; i < layout.Controls.size(); ++i)
    if (EqualRect(&layout.Controls[i], &combo)) layout.ComboIndex = i;
  return layout;
}

// Whether each edge of `actual` lies within `slack` pixels of `scale` times its edge at 96 DPI.
::testing::AssertionResult Scaled(const RECT& at96, const RECT& actual, double scale,
                                  double slack) {
  const long a[4] = {at96.left, at96.top, at96.right, at96.bottom};
  const long b[4] = {actual.left, actual.top, actual.right, actual.bottom};
  for (int i = 0; i < 4; ++i)
    if (std::fabs(a[i] * scale - b[i]) > slack)
      return ::testing::AssertionFailure()
             << "(" << b[0] << "," << b[1] << ")-(" << b[2] << "," << b[3] << ") is not " << scale
             << " x (" << a[0] << "," << a[1] << ")-(" << a[2] << "," << a[3] << ")";
  return ::testing::AssertionSuccess();
}

// At 96 DPI the window is laid out as always; at 144 DPI (150%) the client area, every docking
// rectangle and every control's place are 1.5 times those, the text grows with them, and both
// panes still show their pictures. A screenshot of each is saved.
TEST_F(WindowsRun, TheLayoutScalesWithTheScreensDpi) {
  if (!velmora::standins::RunningUnderWine()) GTEST_SKIP() << "the DPI is set through Wine";
  const std::string picture = WritePicture(Folder() + "Lake.jpg", 800, 600);
  Layout layouts[2];
  for (int run = 0; run < 2; ++run) {
    const DWORD dpi = run ? 144 : 96;
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    ScreenDpi screen(dpi);
    ASSERT_TRUE(screen.Set());
    ASSERT_TRUE(Start(Quoted(picture)));
    HWND shrunk = nullptr;
    ASSERT_TRUE(WaitFor([&] {
      for (HWND w : Windows(app->TopPanel()))
        if (WindowText(w).rfind("Size: 800x600 , ", 0) == 0) return true;
      return false;
    })) << "the picture did not open";
    app->Click("Shrink");
    ASSERT_TRUE(WaitFor([&] {
      for (HWND w : Windows(app->TopPanel()))
        if (WindowText(w).rfind("Size: 240x180 , ", 0) == 0) shrunk = w;
      return shrunk != nullptr && app->WaitIdle() && !GetUpdateRect(app->Pane(true), nullptr, 0);
    })) << "the picture was not shrunk";
    layouts[run] = LayoutOf(*app);
    SaveScreenshot(app->Main, "velmora-e2e-" + std::to_string(dpi) + "dpi.bmp");
    // The percentage box shows every item whole: its text starts and ends inside the edit
    // field, also with the caret after it, and the box stays clear of the Shrink button.
    HWND combo = app->Find("COMBOBOX"), edit = GetWindow(combo, GW_CHILD);
    RECT field{};
    GetClientRect(edit, &field);
    EXPECT_LE(ScreenRect(combo).right, ScreenRect(app->Button("Shrink")).left);
    const int items = static_cast<int>(Ask(combo, CB_GETCOUNT));
    for (int i = 0; i < items; ++i) {
      Ask(combo, CB_SETCURSEL, i);
      const int length = static_cast<int>(Ask(edit, WM_GETTEXTLENGTH));
      const short first = static_cast<short>(LOWORD(Ask(edit, EM_POSFROMCHAR, 0)));
      const short last = static_cast<short>(LOWORD(Ask(edit, EM_POSFROMCHAR, length - 1)));
      EXPECT_TRUE(first >= 0 && last > first && last < field.right)
          << WindowText(combo) << ": characters at " << first << " and " << last << " of "
          << field.right;
      // Chosen from the list, the caret stands after the text: nothing may scroll away.
      Ask(edit, EM_SETSEL, length, length);
      Ask(edit, EM_SCROLLCARET);
      EXPECT_GE(static_cast<short>(LOWORD(Ask(edit, EM_POSFROMCHAR, 0))), 0) << WindowText(combo);
    }
    Ask(combo, CB_SETCURSEL, 2);
    // Both panes show the picture's four quadrants at their own size.
    for (bool right : {false, true}) {
      ScreenShot pane;
      ASSERT_TRUE(pane.Capture(ScreenRect(app->Pane(right), true)));
      const int w = std::min(pane.Width, pane.Height * 4 / 3), h = w * 3 / 4;
      for (int q = 0; q < 4; ++q) {
        const uint32_t c =
            pane.Pixels[static_cast<size_t>((q & 2) ? h * 3 / 4 : h / 4) * pane.Width +
                        ((q & 1) ? w * 3 / 4 : w / 4)];
        EXPECT_TRUE(Near({int(c >> 16), int(c >> 8 & 255), int(c & 255)}, kQuadrants[q]))
            << (right ? "right" : "left") << " pane, quadrant " << q;
      }
    }
    ASSERT_EQ(app->CloseAndWait(20000), 0);
  }

  const Layout& at96 = layouts[0];
  const Layout& at144 = layouts[1];
  EXPECT_EQ(std::vector<long>({at96.Client.cx, at96.Client.cy}), std::vector<long>({775, 513}));
  const std::vector<RECT> docked = {
      {2, 2, 773, 67}, {2, 69, 391, 511}, {393, 69, 397, 511}, {399, 69, 773, 511}};
  ASSERT_EQ(at96.Docked.size(), docked.size());
  for (size_t i = 0; i < docked.size(); ++i) EXPECT_TRUE(Scaled(docked[i], at96.Docked[i], 1, 0));

  EXPECT_TRUE(at144.Client.cx == 1162 || at144.Client.cx == 1163) << at144.Client.cx;
  EXPECT_TRUE(at144.Client.cy == 769 || at144.Client.cy == 770) << at144.Client.cy;
  ASSERT_EQ(at144.Docked.size(), docked.size());
  for (size_t i = 0; i < docked.size(); ++i)
    EXPECT_TRUE(Scaled(docked[i], at144.Docked[i], 1.5, 1)) << "docked " << i;
  // Each pane fills its panel's client area less the margin (inside the panel's frame, which
  // the system draws at its own width).
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(Scaled({2, 2, 2, 2}, at96.Panes[i], 1, 0)) << "pane " << i;
    EXPECT_TRUE(Scaled({2, 2, 2, 2}, at144.Panes[i], 1.5, 1)) << "pane " << i;
  }
  ASSERT_EQ(at144.Controls.size(), at96.Controls.size());
  for (size_t i = 0; i < at96.Controls.size(); ++i) {
    SCOPED_TRACE("top panel control " + std::to_string(i));
    const RECT& a = at96.Controls[i];
    const RECT& b = at144.Controls[i];
    EXPECT_TRUE(Scaled({a.left, a.top, a.left, a.top}, {b.left, b.top, b.left, b.top}, 1.5, 1));
    // Sizes follow the text, which the font draws at the screen's scale within a few pixels
    // (the percentage box, sized to its text and the system's drop-down button, is checked
    // through its edit field above).
    if (i == at96.ComboIndex) continue;
    EXPECT_NEAR(b.right - b.left, 1.5 * (a.right - a.left), 0.1 * (a.right - a.left) + 2);
    EXPECT_NEAR(b.bottom - b.top, 1.5 * (a.bottom - a.top), 0.1 * (a.bottom - a.top) + 2);
  }
  // The link label keeps its right edge, wherever its text makes it start.
  EXPECT_NEAR(at144.Link.right, 1.5 * at96.Link.right, 1);
  EXPECT_NEAR(at144.Link.bottom - at144.Link.top, 1.5 * (at96.Link.bottom - at96.Link.top), 3);
}

// What has the keyboard focus: a button's caption, "combo" for the combo box's edit field.
std::string FocusName(const AppSession& app) {
  HWND focus = app.Focus();
  if (focus != nullptr && IsClass(GetParent(focus), "COMBOBOX")) return "combo";
  return focus != nullptr && IsClass(focus, "BUTTON") ? WindowText(focus) : "(other)";
}

// Real key presses: Tab and Shift+Tab go through the controls in the order they are seen, Escape
// still closes the open list, Enter and Space press the focused button, and Ctrl+O, Ctrl+S and
// Ctrl+M open, save and send wherever the focus is. The buttons keep their captions.
TEST_F(WindowsRun, TheKeyboardReachesEveryAction) {
  const std::string picture = WritePicture(Folder() + "Keys.jpg", 400, 300);
  ASSERT_TRUE(Start(Quoted(picture)));
  ASSERT_TRUE(Shows(Label(false), "Size: 400x300 , ", true));
  SetForegroundWindow(app->Main);
  ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == app->Main; }, 5));
  EXPECT_EQ(FocusName(*app), "Open ...");

  std::vector<std::string> order;
  for (int i = 0; i < 5; ++i) {
    Keys({VK_TAB});
    order.push_back(FocusName(*app));
  }
  EXPECT_EQ(order,
            std::vector<std::string>({"combo", "Shrink", "Save...", "Send by e-mail", "Open ..."}));
  Keys({VK_SHIFT, VK_TAB});
  EXPECT_EQ(FocusName(*app), "Send by e-mail");
  for (int i = 0; i < 3; ++i) Keys({VK_SHIFT, VK_TAB});
  ASSERT_EQ(FocusName(*app), "combo");

  // F4 opens the list, Down moves in it, Escape closes it and keeps the percentage it had.
  HWND combo = app->Find("COMBOBOX");
  Keys({VK_F4});
  EXPECT_TRUE(WaitFor([&] { return Ask(combo, CB_GETDROPPEDSTATE) != 0; }, 5)) << "no list";
  Keys({VK_DOWN});
  Keys({VK_ESCAPE});
  EXPECT_TRUE(WaitFor([&] { return Ask(combo, CB_GETDROPPEDSTATE) == 0; }, 5)) << "list open";
  EXPECT_EQ(WindowText(combo), "30%");

  // Enter on the focused Shrink button.
  Keys({VK_TAB});
  ASSERT_EQ(FocusName(*app), "Shrink");
  Keys({VK_RETURN});
  EXPECT_TRUE(Shows(Label(true), "Size: 120x90 , ", true)) << WindowText(Label(true));

  // Space on the focused Save button, and Ctrl+O and Ctrl+S, each open their dialog; Escape
  // closes it again.
  Keys({VK_TAB});
  ASSERT_EQ(FocusName(*app), "Save...");
  for (auto keys :
       {std::initializer_list<WORD>{VK_SPACE}, std::initializer_list<WORD>{VK_CONTROL, 'O'},
        std::initializer_list<WORD>{VK_CONTROL, 'S'}}) {
    SCOPED_TRACE("key " + std::to_string(*(keys.end() - 1)));
    Keys(keys);  // once the window is in front again after the dialog before
    HWND dialog = app->WaitForWindow(20000);
    ASSERT_NE(dialog, nullptr) << "no dialog";
    PressDialogButton(dialog, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return Gone(dialog); }));
    ASSERT_TRUE(app->WaitIdle());
  }

  // Ctrl+M mails the shrunk picture.
  if (!Place.MailLibrary.empty()) {
    Keys({VK_CONTROL, 'M'});
    EXPECT_TRUE(WaitFor([] { return !Mailings().empty(); })) << "Ctrl+M sent nothing";
    DeleteFileA((Place.TempDir + "Keys.jpg").c_str());  // the mailed copy
  }
  for (const char* caption : {"Open ...", "Shrink", "Save...", "Send by e-mail"})
    EXPECT_NE(app->Button(caption), nullptr) << caption;
}

// "About Velmora", the last item of the window's system menu (opened as Alt+Space opens it),
// shows the version, the licence and the notices of the libraries linked in, all carried by the
// executable; Enter and Escape close it.
TEST_F(WindowsRun, AboutShowsTheVersionLicenceAndNotices) {
  ASSERT_TRUE(Start());
  SetForegroundWindow(app->Main);
  ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == app->Main; }, 5));
  for (WORD close : {VK_RETURN, VK_ESCAPE}) {
    PostMessageW(app->Main, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    HWND menu = nullptr, box = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu); },
        5));
    const RECT items = ScreenRect(menu, true);  // About is the last item
    MouseClickAt({items.left + 30, items.bottom - 8});
    ASSERT_TRUE(WaitFor([&] {
      for (HWND w : Windows(nullptr, false, app->ProcessId))
        if (WindowText(w) == "About Velmora") box = w;
      return box != nullptr;
    })) << "no About box";
    std::string texts;
    for (HWND w : Windows(box)) texts += WindowText(w) + "\n";
    for (const char* part : {"Velmora " VELMORA_VERSION, "MIT License", "Velmora developers",
                             "based in part on the work of the Independent JPEG Group", "zlib",
                             "winpthreads", "GCC RUNTIME LIBRARY EXCEPTION"})
      EXPECT_NE(texts.find(part), std::string::npos) << part;
    if (close == VK_RETURN) SaveScreenshot(box, "e2e-about-box.bmp");
    PressKeys({close});
    ASSERT_TRUE(WaitFor([&] { return Gone(box); }, 5)) << "key " << close;
    ASSERT_TRUE(app->WaitIdle());
  }
}

}  // namespace
