// velmora.exe started as a user starts it and driven only through its windows: the window,
// Open through the system's dialog, Shrink, Save (and the refusal to overwrite the
// original), Send through the test MAPI32.DLL, the link label, bad input and a clean end.
// Screenshots land in the build folder.
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
#include "e2e/test_pictures.h"

using namespace velmora::e2e;

namespace {

constexpr const char* kAddress = "https://velmora.example/";
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

std::string WritePicture(const std::string& path, int w, int h) {
  EXPECT_TRUE(WriteFileBytes(path, MakeQuadrantJpeg(w, h))) << path;
  return path;
}

RECT WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

// The records of a stand-in, one line each, tab-separated key=value fields.
std::vector<std::string> RecordLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Field(const std::string& line, const std::string& key) {
  std::stringstream fields(line);
  for (std::string field; std::getline(fields, field, '\t');)
    if (field.compare(0, key.size() + 1, key + "=") == 0) return field.substr(key.size() + 1);
  return "(missing)";
}

// The last mailing recorded by the test MAPI32.DLL: its "send" and first "file" record.
bool LastMailing(size_t sendsBefore, std::string* send, std::string* file) {
  return WaitFor([&] {
    std::vector<std::string> lines = RecordLines(Place.MailLog);
    size_t sends = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i].compare(0, 5, "send\t") != 0 || ++sends <= sendsBefore) continue;
      *send = lines[i];
      *file = lines[i + 1];
      return true;
    }
    return false;
  });
}

bool NearColor(COLORREF a, const Rgb& b) {
  return Near({GetRValue(a), GetGValue(a), GetBValue(a)}, b, kColorTolerance);
}

// Whether the pane shows the quadrant picture of w x h as large as fits with its shape kept,
// in the top left corner, with the background beyond it. Reads the screen.
bool PaneShowsPicture(HWND pane, int w, int h, std::string* why) {
  ScreenShot shot;
  if (!shot.Capture(ClientScreenRectOf(pane))) return false;
  const double scale = std::min(double(shot.Width) / w, double(shot.Height) / h);
  const int fitW = static_cast<int>(w * scale), fitH = static_cast<int>(h * scale);
  for (int q = 0; q < 4; ++q) {
    const int x = (q & 1) ? fitW * 3 / 4 : fitW / 4, y = (q & 2) ? fitH * 3 / 4 : fitH / 4;
    if (!NearColor(shot.At(x, y), QuadrantColors[q])) {
      *why = "quadrant " + std::to_string(q) + " is not shown at " + std::to_string(x) + "," +
             std::to_string(y);
      return false;
    }
  }
  const POINT outside =
      fitW + 8 < shot.Width ? POINT{fitW + 4, shot.Height / 2} : POINT{shot.Width / 2, fitH + 4};
  for (const Rgb& c : QuadrantColors) {
    if (outside.y < shot.Height && NearColor(shot.At(outside.x, outside.y), c)) {
      *why = "the picture reaches beyond its fitted size";
      return false;
    }
  }
  return true;
}

void SaveScreenshot(HWND window, const std::string& name) {
  ScreenShot shot;
  ASSERT_TRUE(shot.Capture(WindowRect(window)));
  ASSERT_TRUE(shot.SaveBmp(Place.BuildDir + name)) << name;
  std::printf("[ screenshot ] %s%s\n", Place.BuildDir.c_str(), name.c_str());
}

class VelmoraRun : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(Place.MailLog.c_str());
    DeleteFileA(Place.ShellLog.c_str());
    ASSERT_TRUE(app.Start(Place.Program, Place.WorkDir)) << "velmora.exe did not show its window";
  }

  std::string OpenedLabel() { return WindowText(app.LabelAt(12, 33)); }
  std::string ShrunkLabel() { return WindowText(app.LabelAt(342, 33)); }

  // Waits until the label shows a w x h size, the program is idle and the pane has nothing
  // left to paint and shows the picture; the seconds since `since`, or -1.
  double WaitForPicture(HWND label, HWND pane, int w, int h, double since) {
    const std::string prefix = "Size: " + std::to_string(w) + "x" + std::to_string(h) + " , ";
    std::string why = "the label does not show " + prefix;
    const bool shown = WaitFor(
        [&] {
          return WindowText(label).compare(0, prefix.size(), prefix) == 0 && app.WaitIdle() &&
                 !GetUpdateRect(pane, nullptr, FALSE) && PaneShowsPicture(pane, w, h, &why) &&
                 app.WaitIdle() && !GetUpdateRect(pane, nullptr, FALSE);
        },
        60);
    EXPECT_TRUE(shown) << why;
    return shown ? Seconds() - since : -1;
  }

  // Opens path through the open dialog; the seconds from OK to the complete paint, or -1.
  double Open(const std::string& path, int w, int h) {
    double ok = 0;
    if (!Choose("Open ...", path, &ok)) return -1;
    return WaitForPicture(app.LabelAt(12, 33), app.OpenedPane(), w, h, ok);
  }

  double Shrink(int w, int h) {
    const double start = Seconds();
    app.Click(app.Button("Shrink"));
    return WaitForPicture(app.LabelAt(342, 33), app.ShrunkPane(), w, h, start);
  }

  // Chooses the percentage with the mouse: the arrow opens the list, a click on the item
  // chooses it.
  void SelectPercent(int percent) {
    HWND combo = app.Combo(), list = nullptr;
    const RECT box = WindowRect(combo);
    AppSession::MouseClickAt({box.right - 6, (box.top + box.bottom) / 2});
    ASSERT_TRUE(WaitFor([&] {
      list = FindWindowExA(nullptr, nullptr, "ComboLBox", nullptr);
      while (list != nullptr && !IsWindowVisible(list))
        list = FindWindowExA(nullptr, list, "ComboLBox", nullptr);
      return list != nullptr;
    })) << "the percentage list did not open";
    const int index = percent / 10 - 1;
    const int row = index - static_cast<int>(Ask(list, LB_GETTOPINDEX));
    const int rowHeight = static_cast<int>(Ask(list, LB_GETITEMHEIGHT));
    const RECT items = ClientScreenRectOf(list);
    ASSERT_GE(row, 0);
    AppSession::MouseClickAt({items.left + 10, items.top + row * rowHeight + rowHeight / 2});
    const std::string text = std::to_string(percent) + "%";
    EXPECT_TRUE(WaitFor([&] { return WindowText(combo) == text && !IsWindowVisible(list); }));
    ASSERT_EQ(Ask(combo, CB_GETCURSEL), index);
  }

  // Clicks the button and chooses path in the file dialog it opens.
  bool Choose(const char* button, const std::string& path, double* okTime = nullptr) {
    app.Click(app.Button(button));
    return app.ChooseFile(path, okTime) && app.WaitIdle(60000);
  }

  // Clicks a button and reports whether anything popped up once the click was handled.
  bool ClickPopsUp(const char* caption) {
    app.Click(app.Button(caption));
    return !app.Settle() || app.HasModalWindow();
  }

  // The program shows a message naming `name` for the action just taken; it is dismissed.
  void ExpectReportNaming(const std::string& name) {
    ShownDialog box = app.WaitForMessage();
    ASSERT_NE(box.Window, nullptr) << "nothing reported about " << name;
    EXPECT_NE(box.Text.find(name), std::string::npos) << box.Text;
    app.Dismiss(box);
  }

  void ExpectCleanEnd() {
    ASSERT_FALSE(app.HasModalWindow());
    EXPECT_EQ(app.CloseAndWait(20000), 0) << "closing the window must end the program normally";
  }

  AppSession app;
};

TEST_F(VelmoraRun, StartsCentredIgnoresActionsBeforeOpenAndFollowsTheLink) {
  RECT client{};
  GetClientRect(app.Main, &client);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 513);
  const RECT frame = WindowRect(app.Main);
  EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
  EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);

  HWND combo = app.Combo();
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(WindowText(combo), "30%");
  EXPECT_EQ(Ask(combo, CB_GETCOUNT), 10);
  EXPECT_EQ(Ask(combo, CB_GETCURSEL), 2);

  for (const char* caption : {"Shrink", "Save...", "Send by e-mail"}) {
    ASSERT_NE(app.Button(caption), nullptr) << caption;
    EXPECT_FALSE(ClickPopsUp(caption)) << caption << " before Open";
  }
  EXPECT_EQ(OpenedLabel(), "");
  EXPECT_EQ(ShrunkLabel(), "");
  EXPECT_FALSE(FileExists(Place.MailLog));

  // The link label starts the shell with the address.
  HWND link = app.Find("STATIC", kAddress);
  ASSERT_NE(link, nullptr);
  const RECT r = WindowRect(link);
  AppSession::MouseClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  std::vector<std::string> records;
  ASSERT_TRUE(WaitFor([&] { return !(records = RecordLines(Place.ShellLog)).empty(); }))
      << "explorer.exe next to the program was not started";
  EXPECT_EQ(records[0], std::string("cmdline=explorer.exe ") + kAddress);
  ExpectCleanEnd();
}

TEST_F(VelmoraRun, OpenShrinkAndSaveTwelveMegapixelsWithoutEverOverwritingTheOriginal) {
  const int w = 4001, h = 3001;
  const std::string name = Unique("Holiday");
  const std::string original = WritePicture(Place.WorkDir + name, w, h);
  const std::vector<uint8_t> originalBytes = FileBytes(original);

  const double opened = Open(original, w, h);
  std::printf("[   timing   ] open %dx%d: %.3f s from OK in the dialog to the complete paint\n", w,
              h, opened);
  ASSERT_GE(opened, 0);
  EXPECT_EQ(OpenedLabel(), SizeText(w, h, originalBytes.size()));
  SaveScreenshot(app.Main, "velmora-e2e-open.bmp");
  // Open alone gives nothing to save or send.
  EXPECT_FALSE(ClickPopsUp("Save..."));
  EXPECT_FALSE(ClickPopsUp("Send by e-mail"));
  EXPECT_FALSE(FileExists(Place.MailLog));

  std::vector<uint16_t> luma90, chroma90;
  QualityTables(90, &luma90, &chroma90);
  for (int percent : {30, 70}) {
    SCOPED_TRACE("shrunk to " + std::to_string(percent) + "%");
    if (percent != 30) SelectPercent(percent);
    const int sw = w * percent / 100, sh = h * percent / 100;
    const double shrunk = Shrink(sw, sh);
    std::printf("[   timing   ] shrink to %d%%: %.3f s from the click to the shrunk pane's paint\n",
                percent, shrunk);
    ASSERT_GE(shrunk, 0);
    if (percent == 30) SaveScreenshot(app.Main, "velmora-e2e-shrink.bmp");

    const std::string saved = Place.WorkDir + "small-" + std::to_string(percent) + ".jpg";
    ASSERT_TRUE(Choose("Save...", saved));
    ASSERT_FALSE(app.HasModalWindow());
    const std::vector<uint8_t> bytes = FileBytes(saved);
    EXPECT_EQ(ShrunkLabel(), SizeText(sw, sh, bytes.size()));
    const JpegFacts facts = InspectJpeg(bytes);
    ASSERT_TRUE(facts.Valid);
    EXPECT_EQ(facts.Width, sw);
    EXPECT_EQ(facts.Height, sh);
    EXPECT_EQ(facts.Components, 3);
    EXPECT_TRUE(facts.Baseline);
    EXPECT_EQ(facts.LumaTable, luma90);
    EXPECT_EQ(facts.ChromaTable, chroma90);
    for (int q = 0; q < 4; ++q)
      EXPECT_TRUE(Near(facts.QuadrantCentres[q], QuadrantColors[q], kColorTolerance)) << q;
  }

  // A cancelled Open empties the open dialog's name but keeps the opened picture, whose
  // file must stay protected.
  app.Click(app.Button("Open ..."));
  const HWND dialog = app.WaitForWindow(20000);
  ASSERT_NE(dialog, nullptr) << "no open dialog";
  AppSession::PressDialogButton(dialog, IDCANCEL);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the open dialog stayed";
  ASSERT_TRUE(app.WaitIdle(20000));

  // Saving onto the opened file is refused under its own name, in other letter case and
  // under its short name; the original stays as it was.
  std::string shouted = name;
  CharUpperA(shouted.data());
  std::vector<std::string> targets = {original, Place.WorkDir + shouted};
  char shortName[MAX_PATH] = {};
  if (GetShortPathNameA(original.c_str(), shortName, MAX_PATH) > 0 &&
      lstrcmpiA(shortName, original.c_str()) != 0)
    targets.push_back(shortName);
  else
    std::printf("[    note    ] no short name for %s\n", original.c_str());
  for (const std::string& target : targets) {
    SCOPED_TRACE("saving onto " + target);
    ASSERT_TRUE(Choose("Save...", target));
    ShownDialog box = app.WaitForMessage();
    ASSERT_NE(box.Window, nullptr) << "no refusal shown";
    EXPECT_EQ(box.Text, "Save better with different name (old file has better quality).");
    EXPECT_EQ(box.Caption, "Velmora");
    app.Dismiss(box);
    EXPECT_EQ(FileBytes(original), originalBytes);
  }
  ExpectCleanEnd();
}

// Send mails a copy of the shrunk picture named like the opened file from the temporary
// directory; when the opened file is that very copy, the new copy must not replace it.
TEST_F(VelmoraRun, SendMailsTheShrunkPictureWithoutOverwritingTheOpenedFile) {
  char overrides[512] = {};  // Wine prefers the MAPI32.DLL next to the program only when told
  GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
  ASSERT_NE(std::string(overrides).find("mapi32=n"), std::string::npos) << "needs mapi32=n,b";
  const int w = 640, h = 480;
  const std::string name = Unique("Trip");
  ASSERT_GE(Open(WritePicture(Place.WorkDir + name, w, h), w, h), 0);
  SelectPercent(50);
  ASSERT_GE(Shrink(w / 2, h / 2), 0);

  app.Click(app.Button("Send by e-mail"));
  std::string send, file;
  ASSERT_TRUE(LastMailing(0, &send, &file)) << "the mail library was not called";
  EXPECT_EQ(Field(send, "subject"), name);
  EXPECT_EQ(Field(send, "flags"), std::to_string(MAPI_DIALOG));
  EXPECT_EQ(Field(send, "files"), "1");
  const std::string attachment = Field(file, "path");
  EXPECT_EQ(attachment, Place.TempDir + name);
  ASSERT_TRUE(app.Settle());
  const std::string saved = Place.WorkDir + "trip-small.jpg";
  ASSERT_TRUE(Choose("Save...", saved));
  const std::vector<uint8_t> shrunk = FileBytes(saved);
  EXPECT_EQ(ShrunkLabel(), SizeText(w / 2, h / 2, shrunk.size()));
  EXPECT_EQ(FileBytes(attachment), shrunk);

  // Open the attachment itself, shrink it to 50% again and send it.
  ASSERT_GE(Open(attachment, w / 2, h / 2), 0);
  ASSERT_GE(Shrink(w / 4, h / 4), 0);
  app.Click(app.Button("Send by e-mail"));
  ASSERT_TRUE(LastMailing(1, &send, &file)) << "the second mailing did not reach the library";
  const std::string second = Field(file, "path");
  EXPECT_EQ(Field(send, "subject"), name);
  EXPECT_NE(lstrcmpiA(second.c_str(), attachment.c_str()), 0);
  EXPECT_EQ(second.substr(second.find_last_of('\\') + 1), name);
  EXPECT_EQ(FileBytes(attachment), shrunk);
  const JpegFacts facts = InspectJpeg(FileBytes(second));
  EXPECT_TRUE(facts.Valid);
  EXPECT_EQ(facts.Width, w / 4);
  EXPECT_EQ(facts.Height, h / 4);
  ASSERT_TRUE(app.Settle());
  ExpectCleanEnd();
  // The mail library was loaded once and freed when the program ended.
  const std::vector<std::string> records = RecordLines(Place.MailLog);
  EXPECT_EQ(std::count(records.begin(), records.end(), "attach"), 1);
  EXPECT_EQ(records.empty() ? "" : records.back(), "detach\thow=free");
  DeleteFileA(second.c_str());
  DeleteFileA(attachment.c_str());
  RemoveDirectoryA(second.substr(0, second.find_last_of('\\')).c_str());
}

TEST_F(VelmoraRun, BadInputIsReportedOrIgnoredWithoutHarm) {
  // A file that is not a JPEG picture: reported by name, nothing to shrink.
  const std::string notes = Place.WorkDir + Unique("notes");
  ASSERT_TRUE(WriteFileBytes(notes, std::vector<uint8_t>(2000, 'x')));
  ASSERT_TRUE(Choose("Open ...", notes));
  ExpectReportNaming(notes);
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(ShrunkLabel(), "");

  // A header claiming 60000 x 60000 pixels in a file of a few hundred bytes: the size is
  // shown, the failed decoding reported, and there is nothing to shrink.
  std::vector<uint8_t> giant = MakeQuadrantJpeg(16, 16);
  ASSERT_TRUE(SetFrameSize(&giant, 60000, 60000));
  const std::string giantPath = Place.WorkDir + Unique("giant");
  ASSERT_TRUE(WriteFileBytes(giantPath, giant));
  ASSERT_TRUE(Choose("Open ...", giantPath));
  ExpectReportNaming(giantPath);
  EXPECT_EQ(OpenedLabel(), SizeText(60000, 60000, giant.size()));
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(ShrunkLabel(), "");

  // 5 x 5 pixels at 10% leave no pixel: Shrink does nothing.
  ASSERT_TRUE(Choose("Open ...", WritePicture(Place.WorkDir + Unique("tiny"), 5, 5)));
  ASSERT_TRUE(WaitFor([&] { return OpenedLabel().compare(0, 12, "Size: 5x5 , ") == 0; }));
  SelectPercent(10);
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(ShrunkLabel(), "");

  // A save that cannot write its file is reported with the file's name.
  const std::string name = Unique("busy");
  ASSERT_GE(Open(WritePicture(Place.WorkDir + name, 320, 240), 320, 240), 0);
  ASSERT_GE(Shrink(32, 24), 0);
  const std::string locked = Place.WorkDir + "locked.jpg";
  HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(Choose("Save...", locked));
  ExpectReportNaming(locked);

  // So is a mailing whose temporary copy cannot be written; the mail client is not called.
  const std::string attachment = Place.TempDir + name;
  HANDLE tempHolder = CreateFileA(attachment.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(tempHolder, INVALID_HANDLE_VALUE);
  app.Click(app.Button("Send by e-mail"));
  ExpectReportNaming(attachment);
  EXPECT_FALSE(FileExists(Place.MailLog));
  CloseHandle(holder);
  CloseHandle(tempHolder);
  DeleteFileA(attachment.c_str());
  ExpectCleanEnd();
}

}  // namespace
