// velmora.exe started as a user starts it and driven only through its windows: the window
// and its controls, Open through the system's dialog, Shrink, Save (and the refusal to
// overwrite the original), Send through the test MAPI32.DLL, the link label, bad input,
// and a clean end. Screenshots land in the build folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <mapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "e2e/session_setup.h"
#include "e2e/test_pictures.h"

using namespace velmora::e2e;

namespace {

constexpr const char* kAddress = "https://velmora.example/";
constexpr const char* kRefusal = "Save better with different name (old file has better quality).";
constexpr int kColorTolerance = 24;

// "Size: WxH , K.H Kb": whole kilobytes, then the hundredths of a kilobyte as a plain number.
std::string SizeText(int w, int h, size_t bytes) {
  char text[96];
  std::snprintf(text, sizeof text, "Size: %dx%d , %u.%u Kb", w, h,
                static_cast<unsigned>(bytes >> 10),
                static_cast<unsigned>(((bytes & 1023) * 100) >> 10));
  return text;
}

std::string Unique(const std::string& stem) {
  return stem + "-" + std::to_string(GetCurrentProcessId()) + ".jpg";
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  ReadWholeFile(path, &bytes);
  return bytes;
}

std::vector<std::string> RecordLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The value of key=value among the tab-separated fields of a record line.
std::string Field(const std::string& line, const std::string& key) {
  std::stringstream fields(line);
  for (std::string field; std::getline(fields, field, '\t');)
    if (field.compare(0, key.size() + 1, key + "=") == 0) return field.substr(key.size() + 1);
  return "(missing)";
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

std::string ComboItem(HWND combo, int index) {
  wchar_t text[64] = {};
  if (Ask(combo, CB_GETLBTEXTLEN, index) >= 63) return "(too long)";
  Ask(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return std::string(text, text + wcslen(text));
}

COLORREF ToColorRef(const Rgb& c) { return RGB(c.R, c.G, c.B); }

bool NearColor(COLORREF a, const Rgb& b) {
  return Near({GetRValue(a), GetGValue(a), GetBValue(a)}, b, kColorTolerance);
}

// The rectangle a w x h picture takes in a pane of paneW x paneH: as large as fits with its
// shape kept, in the top left corner.
SIZE FittedSize(int paneW, int paneH, int w, int h) {
  double scale = std::min(static_cast<double>(paneW) / w, static_cast<double>(paneH) / h);
  return {static_cast<LONG>(w * scale), static_cast<LONG>(h * scale)};
}

// Whether the pane shows the quadrant picture of w x h fitted in its top left corner, with
// the background below or right of it. Reads the screen.
bool PaneShowsPicture(HWND pane, int w, int h, std::string* why) {
  RECT r = ClientScreenRectOf(pane);
  ScreenShot shot;
  if (!shot.Capture(r)) {
    *why = "no screen capture";
    return false;
  }
  SIZE fit = FittedSize(shot.Width, shot.Height, w, h);
  for (int q = 0; q < 4; ++q) {
    int x = (q & 1) ? fit.cx * 3 / 4 : fit.cx / 4;
    int y = (q & 2) ? fit.cy * 3 / 4 : fit.cy / 4;
    COLORREF seen = shot.At(x, y);
    if (!NearColor(seen, QuadrantColors[q])) {
      *why = "quadrant " + std::to_string(q) + " at " + std::to_string(x) + "," +
             std::to_string(y) + " shows " +
             ToText({GetRValue(seen), GetGValue(seen), GetBValue(seen)});
      return false;
    }
  }
  // Beyond the picture the pane keeps its background, which is none of the picture's colours.
  POINT outside = fit.cx + 8 < shot.Width ? POINT{fit.cx + 4, shot.Height / 2}
                                          : POINT{shot.Width / 2, fit.cy + 4};
  if (outside.x < shot.Width && outside.y < shot.Height) {
    COLORREF seen = shot.At(outside.x, outside.y);
    for (const Rgb& c : QuadrantColors) {
      if (seen == ToColorRef(c) || NearColor(seen, c)) {
        *why = "the picture reaches beyond its fitted size";
        return false;
      }
    }
  }
  return true;
}

// Waits until the program is idle, the pane has nothing left to paint and shows the picture.
// Returns the seconds waited, or -1.
double WaitForPicture(AppSession& app, HWND pane, int w, int h, double since, double limit,
                      std::string* why) {
  const double end = Seconds() + limit;
  while (Seconds() < end) {
    if (app.WaitIdle() && !GetUpdateRect(pane, nullptr, FALSE) &&
        PaneShowsPicture(pane, w, h, why) && app.WaitIdle() && !GetUpdateRect(pane, nullptr, FALSE))
      return Seconds() - since;
    Sleep(5);
  }
  return -1;
}

// Wine takes the MAPI32.DLL next to the program instead of its own only when the Unix
// environment of the run says so (ctest sets it).
bool TestMailLibraryChosen() {
  char overrides[512] = {};
  GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
  return std::string(overrides).find("mapi32=n") != std::string::npos;
}
constexpr const char* kOverrideHint =
    "run with WINEDLLOVERRIDES=mapi32=n,b so that the test MAPI32.DLL is used";

// Polls cond until it holds, for at most the given seconds.
template <class Condition>
bool WaitFor(Condition cond, double seconds = 20) {
  for (double end = Seconds() + seconds; Seconds() < end; Sleep(5))
    if (cond()) return true;
  return cond();
}

// Waits until the label shows the size line of a w x h picture.
bool WaitForLabel(HWND label, int w, int h) {
  const std::string prefix = "Size: " + std::to_string(w) + "x" + std::to_string(h) + " , ";
  for (double end = Seconds() + 60; Seconds() < end; Sleep(5))
    if (WindowText(label).compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

// Gives the program a moment to react to a click, then reports whether anything popped up.
bool PopsUpAnything(AppSession& app) {
  app.Settle();
  return app.HasModalWindow();
}

ShownDialog WaitForMessage(AppSession& app) {
  HWND box = app.WaitForWindow(20000);
  if (box == nullptr) return {};
  // The text may be set a moment after the window shows.
  for (int i = 0; i < 50; ++i) {
    ShownDialog shown = app.Describe(box);
    if (!shown.Text.empty()) return shown;
    Sleep(20);
  }
  return app.Describe(box);
}

void Dismiss(AppSession& app, const ShownDialog& box) {
  AppSession::PressDialogButton(box.Window, IDOK);
  for (int i = 0; i < 250 && IsWindow(box.Window) && IsWindowVisible(box.Window); ++i) Sleep(20);
  app.Settle();
}

void SaveScreenshot(HWND main, const std::string& name) {
  ScreenShot shot;
  ASSERT_TRUE(shot.Capture(ScreenRectOf(main)));
  const std::string path = Place.BuildDir + name;
  ASSERT_TRUE(shot.SaveBmp(path)) << path;
  std::printf("[ screenshot ] %s\n", path.c_str());
}

class VelmoraRun : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(Place.MailLog.c_str());
    DeleteFileA(Place.ShellLog.c_str());
    ASSERT_TRUE(app.Start(Place.Program, Place.WorkDir)) << "velmora.exe did not show its window";
  }

  // Opens path through the open dialog; the seconds from OK to the complete paint, or -1.
  double OpenPicture(const std::string& path, int w, int h, bool expectPicture = true) {
    app.Click(app.Button("Open ..."));
    double ok = 0;
    if (!app.ChooseFile(path, 20000, &ok)) return -1;
    if (!expectPicture) return 0;
    EXPECT_TRUE(WaitForLabel(app.LabelAt(12, 33), w, h));
    std::string why;
    double seconds = WaitForPicture(app, app.OpenedPane(), w, h, ok, 60, &why);
    EXPECT_GE(seconds, 0) << "the opened pane does not show the picture: " << why;
    return seconds;
  }

  double Shrink(int w, int h) {
    const double start = Seconds();
    app.Click(app.Button("Shrink"));
    // The pane may still show an earlier shrunk picture of the same look: wait for the
    // new size first.
    EXPECT_TRUE(WaitForLabel(app.LabelAt(342, 33), w, h));
    std::string why;
    double seconds = WaitForPicture(app, app.ShrunkPane(), w, h, start, 60, &why);
    EXPECT_GE(seconds, 0) << "the shrunk pane does not show the picture: " << why;
    return seconds;
  }

  // Chooses the percentage with the mouse: a click on the arrow opens the list, a click on
  // the item chooses it.
  void SelectPercent(int percent) {
    HWND combo = app.Combo();
    RECT box = ScreenRectOf(combo);
    AppSession::MouseClickAt({box.right - 6, (box.top + box.bottom) / 2});
    HWND list = nullptr;
    for (int i = 0; i < 200 && list == nullptr; ++i, Sleep(10)) {
      for (HWND w : TopLevelWindows(app.ProcessId))
        if (ClassOf(w) == "ComboLBox") list = w;
    }
    ASSERT_NE(list, nullptr) << "the percentage list did not open";
    const int index = percent / 10 - 1;
    const int row = index - static_cast<int>(Ask(list, LB_GETTOPINDEX));
    const int rowHeight = static_cast<int>(Ask(list, LB_GETITEMHEIGHT));
    RECT items = ClientScreenRectOf(list);
    ASSERT_GE(row, 0);
    AppSession::MouseClickAt({items.left + 10, items.top + row * rowHeight + rowHeight / 2});
    // Mouse input reaches the program after anything posted: wait for its effect.
    const std::string text = std::to_string(percent) + "%";
    WaitFor([&] { return WindowText(combo) == text && !IsWindowVisible(list); });
    ASSERT_EQ(WindowText(combo), text);
    ASSERT_EQ(Ask(combo, CB_GETCURSEL), index);
  }

  bool SaveAs(const std::string& path) {
    app.Click(app.Button("Save..."));
    return app.ChooseFile(path);
  }

  void ExpectCleanEnd() {
    ASSERT_FALSE(app.HasModalWindow());
    EXPECT_EQ(app.CloseAndWait(20000), 0) << "closing the window must end the program normally";
  }

  std::string OpenedLabel() { return WindowText(app.LabelAt(12, 33)); }
  std::string ShrunkLabel() { return WindowText(app.LabelAt(342, 33)); }

  AppSession app;
};

std::string WritePicture(const std::string& name, int w, int h) {
  const std::string path = Place.WorkDir + name;
  std::vector<uint8_t> bytes = MakeQuadrantJpeg(w, h);
  EXPECT_FALSE(bytes.empty());
  EXPECT_TRUE(WriteWholeFile(path, bytes));
  return path;
}

}  // namespace

TEST_F(VelmoraRun, WindowStartsCentredWithThirtyPercentAndIgnoresActionsBeforeOpen) {
  RECT client{}, frame = ScreenRectOf(app.Main);
  GetClientRect(app.Main, &client);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 513);
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(frame.left, (screenW - (frame.right - frame.left)) >> 1);
  EXPECT_EQ(frame.top, (screenH - (frame.bottom - frame.top)) >> 1);

  // The docked areas, each kept 2 pixels from the edges and from each other.
  auto expectRect = [](HWND w, RECT want, const char* what) {
    ASSERT_NE(w, nullptr) << what;
    RECT r = RectInParent(w);
    EXPECT_TRUE(EqualRect(&r, &want)) << what << " is at (" << r.left << ", " << r.top << ")-("
                                      << r.right << ", " << r.bottom << ")";
  };
  expectRect(app.TopPanel(), {2, 2, 773, 67}, "top panel");
  expectRect(app.LeftPanel(), {2, 69, 391, 511}, "left panel");
  expectRect(app.Splitter(), {393, 69, 397, 511}, "splitter");
  expectRect(app.RightPanel(), {399, 69, 773, 511}, "right panel");

  HWND combo = app.Combo();
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(WindowText(combo), "30%");
  EXPECT_EQ(Ask(combo, CB_GETCURSEL), 2);
  ASSERT_EQ(Ask(combo, CB_GETCOUNT), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ComboItem(combo, i), std::to_string((i + 1) * 10) + "%");
  for (const char* caption : {"Open ...", "Shrink", "Save...", "Send by e-mail"})
    EXPECT_NE(app.Button(caption), nullptr) << caption;
  // The link label shows the whole address inside the panel, underlined in dark blue.
  HWND link = app.Label(kAddress);
  ASSERT_NE(link, nullptr);
  RECT linkRect = RectInParent(link), panelClient{};
  GetClientRect(app.TopPanel(), &panelClient);
  EXPECT_EQ(linkRect.top, 42);
  EXPECT_LE(linkRect.right, panelClient.right);
  ScreenShot linkShot;
  ASSERT_TRUE(linkShot.Capture(ScreenRectOf(link)));
  int underline = 0;  // the longest row of dark blue (red 0, green 0, blue 128)
  for (int y = 0; y < linkShot.Height; ++y) {
    int run = 0;
    for (int x = 0; x < linkShot.Width; ++x)
      if (NearColor(linkShot.At(x, y), {0, 0, 128})) ++run;
    underline = std::max(underline, run);
  }
  EXPECT_GE(underline, linkShot.Width * 3 / 4) << "the address is not underlined in dark blue";
  EXPECT_EQ(WindowText(app.LabelAt(93, 8)), "Shrink percent");

  // A resizable window with caption, system menu, minimise and maximise boxes.
  const LONG style = GetWindowLongA(app.Main, GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  // The percentage box is a drop-down with an edit field and a list of its own height.
  const LONG comboStyle = GetWindowLongA(combo, GWL_STYLE);
  EXPECT_EQ(comboStyle & 3, CBS_DROPDOWN);
  EXPECT_EQ(comboStyle & (CBS_AUTOHSCROLL | CBS_NOINTEGRALHEIGHT | CBS_HASSTRINGS | WS_TABSTOP),
            CBS_AUTOHSCROLL | CBS_NOINTEGRALHEIGHT | CBS_HASSTRINGS | WS_TABSTOP);

  // Before Open nothing can be shrunk, saved or sent: no dialog, no message, no mail.
  for (const char* caption : {"Shrink", "Save...", "Send by e-mail"}) {
    app.Click(app.Button(caption));
    EXPECT_FALSE(PopsUpAnything(app)) << caption;
  }
  EXPECT_EQ(OpenedLabel(), "");
  EXPECT_EQ(ShrunkLabel(), "");
  EXPECT_FALSE(FileExists(Place.MailLog));

  // Resizing keeps the top panel's height and the left column's width.
  SetWindowPos(app.Main, nullptr, 0, 0, frame.right - frame.left + 200,
               frame.bottom - frame.top + 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  app.WaitIdle();
  GetClientRect(app.Main, &client);
  expectRect(app.TopPanel(), {2, 2, client.right - 2, 67}, "top panel after resizing");
  expectRect(app.LeftPanel(), {2, 69, 391, client.bottom - 2}, "left panel after resizing");
  expectRect(app.RightPanel(), {399, 69, client.right - 2, client.bottom - 2},
             "right panel after resizing");

  // Dragging the splitter with the mouse moves the border between the two columns.
  RECT split = ScreenRectOf(app.Splitter());
  POINT from{(split.left + split.right) / 2, (split.top + split.bottom) / 2};
  AppSession::MouseDrag(from, {from.x + 120, from.y});
  WaitFor([&] { return RectInParent(app.RightPanel()).left != 399; });
  app.WaitIdle();
  EXPECT_EQ(RectInParent(app.LeftPanel()).right, 391 + 120);
  EXPECT_EQ(RectInParent(app.RightPanel()).left, 399 + 120);
  SaveScreenshot(app.Main, "velmora-e2e-layout.bmp");
  ExpectCleanEnd();
}

TEST_F(VelmoraRun, OpenShrinkAndSaveTwelveMegapixelsWithoutEverOverwritingTheOriginal) {
  const int w = 4001, h = 3001;
  const std::string name = Unique("Holiday");
  const std::string original = WritePicture(name, w, h);
  const std::vector<uint8_t> originalBytes = FileBytes(original);

  double opened = OpenPicture(original, w, h);
  std::printf("[   timing   ] open %dx%d: %.3f s from OK in the dialog to the complete paint\n", w,
              h, opened);
  EXPECT_EQ(OpenedLabel(), SizeText(w, h, originalBytes.size()));
  SaveScreenshot(app.Main, "velmora-e2e-open.bmp");

  // Open alone gives nothing to save or send.
  app.Click(app.Button("Save..."));
  EXPECT_FALSE(PopsUpAnything(app));
  app.Click(app.Button("Send by e-mail"));
  EXPECT_FALSE(PopsUpAnything(app));
  EXPECT_FALSE(FileExists(Place.MailLog));

  std::vector<uint16_t> luma90, chroma90;
  QualityTables(90, &luma90, &chroma90);
  for (int percent : {30, 70}) {
    SCOPED_TRACE("shrunk to " + std::to_string(percent) + "%");
    SelectPercent(percent);
    const int sw = w * percent / 100, sh = h * percent / 100;
    double shrunk = Shrink(sw, sh);
    std::printf("[   timing   ] shrink to %d%%: %.3f s from the click to the shrunk pane's paint\n",
                percent, shrunk);
    if (percent == 30) {
      SaveScreenshot(app.Main, "velmora-e2e-shrink.bmp");
      // Moving the splitter re-fits both pictures into their new panes.
      RECT split = ScreenRectOf(app.Splitter());
      POINT from{(split.left + split.right) / 2, (split.top + split.bottom) / 2};
      const LONG before = RectInParent(app.LeftPanel()).right;
      AppSession::MouseDrag(from, {from.x - 150, from.y});
      EXPECT_TRUE(WaitFor([&] { return RectInParent(app.LeftPanel()).right == before - 150; }));
      std::string why;
      EXPECT_GE(WaitForPicture(app, app.OpenedPane(), w, h, Seconds(), 60, &why), 0) << why;
      EXPECT_GE(WaitForPicture(app, app.ShrunkPane(), sw, sh, Seconds(), 60, &why), 0) << why;
      SaveScreenshot(app.Main, "velmora-e2e-splitter.bmp");
    }

    const std::string saved = Place.WorkDir + "small-" + std::to_string(percent) + ".jpg";
    ASSERT_TRUE(SaveAs(saved));
    ASSERT_TRUE(app.WaitIdle());
    ASSERT_FALSE(app.HasModalWindow());
    const std::vector<uint8_t> bytes = FileBytes(saved);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(ShrunkLabel(), SizeText(sw, sh, bytes.size()));

    JpegFacts facts = InspectJpeg(bytes);
    ASSERT_TRUE(facts.Valid);
    EXPECT_EQ(facts.Width, sw);
    EXPECT_EQ(facts.Height, sh);
    EXPECT_EQ(facts.Components, 3);
    EXPECT_TRUE(facts.Baseline);
    EXPECT_EQ(facts.LumaTable, luma90);
    EXPECT_EQ(facts.ChromaTable, chroma90);
    for (int q = 0; q < 4; ++q)
      EXPECT_TRUE(Near(facts.QuadrantCentres[q], QuadrantColors[q], kColorTolerance))
          << "quadrant " << q << ": " << ToText(facts.QuadrantCentres[q]);
  }

  // A cancelled Open keeps the opened picture. Saving onto the opened file is refused under
  // its own name, in other letter case and under its short name, and the original stays as
  // it was.
  app.Click(app.Button("Open ..."));
  ASSERT_TRUE(app.CancelFileDialog());
  std::string shouted = name;
  std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                 [](char c) { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
  std::vector<std::string> targets = {original, Place.WorkDir + shouted};
  char shortName[MAX_PATH] = {};
  if (GetShortPathNameA(original.c_str(), shortName, MAX_PATH) > 0 &&
      lstrcmpiA(shortName, original.c_str()) != 0)
    targets.push_back(shortName);
  else
    std::printf("[    note    ] no short name for %s\n", original.c_str());
  for (const std::string& target : targets) {
    SCOPED_TRACE("saving onto " + target);
    app.Click(app.Button("Save..."));
    ASSERT_TRUE(app.ChooseFile(target));
    ShownDialog box = WaitForMessage(app);
    ASSERT_NE(box.Window, nullptr) << "no refusal shown";
    EXPECT_EQ(box.Text, kRefusal);
    EXPECT_EQ(box.Caption, "Velmora");
    if (target == original) SaveScreenshot(box.Window, "velmora-e2e-refusal.bmp");
    Dismiss(app, box);
    EXPECT_EQ(FileBytes(original), originalBytes);
  }
  ExpectCleanEnd();
}

TEST_F(VelmoraRun, SendMailsTheShrunkPictureFromTheTemporaryDirectory) {
  const int w = 640, h = 480;
  const std::string name = Unique("Trip");
  const std::string path = WritePicture(name, w, h);
  ASSERT_GE(OpenPicture(path, w, h), 0);
  SelectPercent(50);
  ASSERT_GE(Shrink(w / 2, h / 2), 0);

  ASSERT_TRUE(TestMailLibraryChosen()) << kOverrideHint;

  // A cancelled Open in between changes nothing for the mailing.
  app.Click(app.Button("Open ..."));
  ASSERT_TRUE(app.CancelFileDialog());
  app.Click(app.Button("Send by e-mail"));
  ASSERT_TRUE(app.Settle());
  // The test MAPI32.DLL answers at once in place of the compose dialog.
  std::vector<std::string> records;
  for (int i = 0; i < 100 && records.size() < 3; ++i, Sleep(50))
    records = RecordLines(Place.MailLog);
  ASSERT_GE(records.size(), 3u) << "the mail library was not called";
  EXPECT_EQ(records[0], "attach");
  const std::string& send = records[1];
  ASSERT_EQ(send.compare(0, 4, "send"), 0) << send;
  EXPECT_EQ(Field(send, "subject"), name);
  EXPECT_EQ(Field(send, "flags"), std::to_string(MAPI_DIALOG));
  EXPECT_EQ(Field(send, "recips"), "0");
  EXPECT_EQ(Field(send, "files"), "1");
  const std::string& file = records[2];
  ASSERT_EQ(file.compare(0, 4, "file"), 0) << file;
  const std::string attachment = Field(file, "path");
  EXPECT_EQ(attachment, Place.TempDir + name);

  // The attachment holds exactly the shrunk picture: the bytes Save writes.
  const std::string saved = Place.WorkDir + "trip-small.jpg";
  ASSERT_TRUE(SaveAs(saved));
  ASSERT_TRUE(app.WaitIdle());
  const std::vector<uint8_t> shrunk = FileBytes(saved);
  EXPECT_EQ(FileBytes(attachment), shrunk);
  EXPECT_EQ(ShrunkLabel(), SizeText(w / 2, h / 2, shrunk.size()));
  ExpectCleanEnd();
  // The mail library was loaded once and freed when the program ended.
  records = RecordLines(Place.MailLog);
  EXPECT_EQ(std::count(records.begin(), records.end(), "attach"), 1);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back(), "detach\thow=free");
  DeleteFileA(attachment.c_str());
}

TEST_F(VelmoraRun, SendNeverOverwritesAnOpenedFileInTheTemporaryDirectory) {
  const int w = 400, h = 300;
  const std::string name = Unique("Attachment");
  const std::string original = Place.TempDir + name;
  std::vector<uint8_t> originalBytes = MakeQuadrantJpeg(w, h);
  ASSERT_TRUE(WriteWholeFile(original, originalBytes));
  ASSERT_GE(OpenPicture(original, w, h), 0);
  ASSERT_GE(Shrink(w * 30 / 100, h * 30 / 100), 0);
  ASSERT_TRUE(TestMailLibraryChosen()) << kOverrideHint;
  app.Click(app.Button("Send by e-mail"));
  ASSERT_TRUE(app.Settle());
  std::vector<std::string> records;
  for (int i = 0; i < 100 && records.size() < 3; ++i, Sleep(50))
    records = RecordLines(Place.MailLog);
  ASSERT_GE(records.size(), 3u) << "the mail library was not called";
  EXPECT_EQ(Field(records[1], "subject"), name);
  const std::string attachment = Field(records[2], "path");
  EXPECT_NE(lstrcmpiA(attachment.c_str(), original.c_str()), 0);
  EXPECT_EQ(NameOf(attachment), name);
  EXPECT_EQ(FileBytes(original), originalBytes);
  JpegFacts facts = InspectJpeg(FileBytes(attachment));
  EXPECT_TRUE(facts.Valid);
  EXPECT_EQ(facts.Width, w * 30 / 100);
  EXPECT_EQ(facts.Height, h * 30 / 100);
  ExpectCleanEnd();
  DeleteFileA(attachment.c_str());
  DeleteFileA(original.c_str());
  RemoveDirectoryA(attachment.substr(0, attachment.find_last_of('\\')).c_str());  // if empty
}

TEST_F(VelmoraRun, LinkLabelStartsTheShellWithTheAddress) {
  ASSERT_NE(app.Label(kAddress), nullptr);
  RECT link = ScreenRectOf(app.Label(kAddress));
  AppSession::MouseClickAt({(link.left + link.right) / 2, (link.top + link.bottom) / 2});
  std::vector<std::string> records;
  for (int i = 0; i < 200 && records.empty(); ++i, Sleep(50)) records = RecordLines(Place.ShellLog);
  ASSERT_FALSE(records.empty()) << "explorer.exe next to the program was not started";
  EXPECT_EQ(records[0], std::string("cmdline=explorer.exe ") + kAddress);
  ExpectCleanEnd();
}

TEST_F(VelmoraRun, BadInputIsReportedOrIgnoredWithoutHarm) {
  // A file that is not a JPEG picture: the user is told, and nothing can be shrunk.
  const std::string notes = Place.WorkDir + Unique("notes");
  ASSERT_TRUE(WriteWholeFile(notes, std::vector<uint8_t>(2000, 'x')));
  app.Click(app.Button("Open ..."));
  ASSERT_TRUE(app.ChooseFile(notes));
  ShownDialog box = WaitForMessage(app);
  ASSERT_NE(box.Window, nullptr) << "an unreadable picture must be reported";
  EXPECT_NE(box.Text.find(notes), std::string::npos) << box.Text;
  Dismiss(app, box);
  app.Click(app.Button("Shrink"));
  EXPECT_FALSE(PopsUpAnything(app));
  EXPECT_EQ(ShrunkLabel(), "");

  // A header that claims 60000 x 60000 pixels in a file of a few hundred bytes: the picture
  // cannot be decoded, which is reported, and there is nothing to shrink.
  std::vector<uint8_t> giant = MakeQuadrantJpeg(16, 16);
  ASSERT_TRUE(SetFrameSize(&giant, 60000, 60000));
  const std::string giantPath = Place.WorkDir + Unique("giant");
  ASSERT_TRUE(WriteWholeFile(giantPath, giant));
  app.Click(app.Button("Open ..."));
  ASSERT_TRUE(app.ChooseFile(giantPath));
  box = WaitForMessage(app);
  ASSERT_NE(box.Window, nullptr) << "an undecodable picture must be reported";
  EXPECT_NE(box.Text.find(giantPath), std::string::npos) << box.Text;
  Dismiss(app, box);
  EXPECT_EQ(OpenedLabel(), SizeText(60000, 60000, giant.size()));
  app.Click(app.Button("Shrink"));
  EXPECT_FALSE(PopsUpAnything(app));
  EXPECT_EQ(ShrunkLabel(), "");

  // A picture of 5 x 5 at 10% would have no pixels: nothing happens. At 100% it shrinks.
  const std::string tiny = WritePicture(Unique("tiny"), 5, 5);
  ASSERT_GE(OpenPicture(tiny, 5, 5, false), 0);
  app.WaitIdle();
  EXPECT_FALSE(app.HasModalWindow()) << app.Describe(app.WaitForWindow(10)).Text;
  SelectPercent(10);
  app.Click(app.Button("Shrink"));
  EXPECT_FALSE(PopsUpAnything(app));
  EXPECT_EQ(ShrunkLabel(), "");

  // Text typed into the combo selects no list item: Shrink does nothing.
  const std::string picture = WritePicture(Unique("typed"), 320, 240);
  ASSERT_GE(OpenPicture(picture, 320, 240), 0);
  HWND edit = GetWindow(app.Combo(), GW_CHILD);
  ASSERT_NE(edit, nullptr);
  Ask(edit, EM_SETSEL, 0, -1);
  for (wchar_t c : std::wstring(L"45%")) PostMessageW(edit, WM_CHAR, c, 1);
  ASSERT_TRUE(app.Settle());
  ASSERT_EQ(WindowText(edit), "45%");
  ASSERT_EQ(Ask(app.Combo(), CB_GETCURSEL), -1);
  app.Click(app.Button("Shrink"));
  EXPECT_FALSE(PopsUpAnything(app));
  EXPECT_EQ(ShrunkLabel(), "");

  // A save that cannot write its file is reported with the file's name.
  SelectPercent(50);
  ASSERT_GE(Shrink(160, 120), 0);
  const std::string locked = Place.WorkDir + "locked.jpg";
  HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SaveAs(locked));
  box = WaitForMessage(app);
  ASSERT_NE(box.Window, nullptr) << "a failed save must be reported";
  EXPECT_NE(box.Text.find(locked), std::string::npos) << box.Text;
  Dismiss(app, box);

  // So is a mailing whose temporary copy cannot be written; the mail client is not called.
  const std::string attachment = Place.TempDir + NameOf(picture);
  HANDLE tempHolder = CreateFileA(attachment.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(tempHolder, INVALID_HANDLE_VALUE);
  app.Click(app.Button("Send by e-mail"));
  box = WaitForMessage(app);
  ASSERT_NE(box.Window, nullptr) << "a failed mailing copy must be reported";
  EXPECT_NE(box.Text.find(attachment), std::string::npos) << box.Text;
  Dismiss(app, box);
  EXPECT_FALSE(FileExists(Place.MailLog));
  CloseHandle(holder);
  CloseHandle(tempHolder);
  DeleteFileA(attachment.c_str());
  ExpectCleanEnd();
}
