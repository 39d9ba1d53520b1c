// velmora.exe started as a user starts it and driven only through its windows: the window,
// Open through the system's dialog, Shrink, Save (and the refusal to overwrite the
// original), Send through the test MAPI32.DLL, the link label, bad input, a HEIC photo with
// and without the HEIF decoder beside the program, and a clean end.
// Test pictures are written and read through libjpeg directly, sharing no code with the program.
#include <gtest/gtest.h>
#include <windows.h>
#include <mapi.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <jpeglib.h>  // needs size_t and FILE declared first

#include "e2e/app_driver.h"
#include "e2e/test_pictures.h"

using namespace velmora::e2e;

namespace {

constexpr const char* kAddress = "https://velmora.example/";

// Waits for the mailing after the first sendsBefore ones: its "send" and first "file" record.
bool NextMailing(size_t sendsBefore, std::string* send, std::string* file) {
  return WaitFor([&] {
    std::vector<std::string> lines = RecordLines(Place.MailLog);
    for (size_t i = 0, sends = 0; i + 1 < lines.size(); ++i)
      if (lines[i].compare(0, 5, "send\t") == 0 && ++sends > sendsBefore) {
        *send = lines[i];
        *file = lines[i + 1];
        return true;
      }
    return false;
  });
}

class VelmoraRun : public ProgramRun {
 protected:
  void SetUp() override {
    ProgramRun::SetUp();
    DeleteFileA(Place.ShellLog.c_str());
    ASSERT_TRUE(Start()) << "velmora.exe did not show its window";
  }

  // Waits until the label shows a w x h size, the program is idle and the pane has nothing
  // left to paint and shows the picture; the seconds since `since`, or -1.
  double WaitForPicture(bool shrunk, int w, int h, double since) {
    const std::string prefix = "Size: " + std::to_string(w) + "x" + std::to_string(h) + " , ";
    std::string why = "the label does not show " + prefix;
    HWND pane = app->Pane(shrunk);
    const bool shown = WaitFor(
        [&] {
          return WindowText(Label(shrunk)).compare(0, prefix.size(), prefix) == 0 &&
                 app->WaitIdle() && !GetUpdateRect(pane, nullptr, FALSE) &&
                 PaneShowsQuadrants(pane, w, h, &why) && app->WaitIdle() &&
                 !GetUpdateRect(pane, nullptr, FALSE);
        },
        60);
    EXPECT_TRUE(shown) << why;
    return shown ? Seconds() - since : -1;
  }

  // Opens path through the open dialog; the seconds from OK to the complete paint, or -1.
  double Open(const std::string& path, int w, int h) {
    double ok = 0;
    return app->ChooseFile("Open ...", path, &ok) ? WaitForPicture(false, w, h, ok) : -1;
  }

  // Clicks Shrink; the seconds to the shrunk pane's complete paint (and, when asked, to the
  // new size line), or -1.
  double Shrink(int w, int h, double* toSizeLine = nullptr) {
    const double start = Seconds();
    app->Click("Shrink");
    if (toSizeLine) {
      const std::string prefix = "Size: " + std::to_string(w) + "x" + std::to_string(h) + " , ";
      *toSizeLine =
          WaitFor([&] { return WindowText(Label(true)).compare(0, prefix.size(), prefix) == 0; })
              ? Seconds() - start
              : -1;
    }
    return WaitForPicture(true, w, h, start);
  }

  void SelectPercent(int percent) { app->SelectPercent(percent); }

  // Clicks a button and reports whether anything popped up once the click was handled.
  bool ClickPopsUp(const char* caption) {
    DWORD_PTR result = 0;  // sent, so that it returns once the click was handled
    return !SendMessageTimeoutW(app->Button(caption), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &result) ||
           app->HasModalWindow();
  }

  // The program shows a message naming `name` for the action just taken; it is dismissed.
  void ExpectReportNaming(const std::string& name) {
    const std::string shown = app->AnswerMessage();
    EXPECT_NE(shown.find(name), std::string::npos) << "about " << name << " shown: " << shown;
  }

  void ExpectCleanEnd() {
    ASSERT_FALSE(app->HasModalWindow());
    EXPECT_EQ(app->CloseAndWait(20000), 0) << "closing the window must end the program normally";
  }
};

TEST_F(VelmoraRun, StartsCentredIgnoresActionsBeforeOpenAndFollowsTheLink) {
  const RECT client = ScreenRect(app->Main, true), frame = ScreenRect(app->Main);
  const int fw = frame.right - frame.left, fh = frame.bottom - frame.top;
  EXPECT_EQ(std::vector<long>(
                {client.right - client.left, client.bottom - client.top, frame.left, frame.top}),
            std::vector<long>({775, 513, (GetSystemMetrics(SM_CXSCREEN) - fw) / 2,
                               (GetSystemMetrics(SM_CYSCREEN) - fh) / 2}));

  EXPECT_EQ(WindowText(app->Find("COMBOBOX")), "30%");
  // "10%" to "100%", then the five sizes to fit under.
  EXPECT_EQ(Ask(app->Find("COMBOBOX"), CB_GETCOUNT), 15);

  for (const char* caption : {"Shrink", "Save...", "Send by e-mail"})
    EXPECT_FALSE(ClickPopsUp(caption)) << caption << " before Open";
  EXPECT_EQ(WindowText(Label(false)) + WindowText(Label(true)), "");
  EXPECT_FALSE(FileExists(Place.MailLog));

  // The link label starts the shell with the address (whole once the next record began).
  const RECT r = ScreenRect(app->Find("STATIC", kAddress));
  MouseClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  std::vector<std::string> records;
  ASSERT_TRUE(WaitFor([&] { return (records = RecordLines(Place.ShellLog)).size() > 1; }))
      << "explorer.exe next to the program was not started";
  EXPECT_EQ(records[0], std::string("cmdline=explorer.exe ") + kAddress);
  ExpectCleanEnd();
}

TEST_F(VelmoraRun, OpenShrinkAndSaveTwelveMegapixelsWithoutEverOverwritingTheOriginal) {
  const int w = 4001, h = 3001;
  const std::string name = "Holiday in the hills.jpg";
  const std::string original = WritePicture(Place.WorkDir + name, w, h);
  const std::vector<uint8_t> originalBytes = FileBytes(original);

  const double opened = Open(original, w, h);
  std::printf("[   timing   ] open %dx%d: %.3f s from OK in the dialog to the complete paint\n", w,
              h, opened);
  ASSERT_GE(opened, 0);
  EXPECT_EQ(WindowText(Label(false)), SizeText(w, h, originalBytes.size()));
  SaveScreenshot(app->Main, "velmora-e2e-open.bmp");
  // Open alone gives nothing to save or send.
  EXPECT_FALSE(ClickPopsUp("Save..."));
  EXPECT_FALSE(ClickPopsUp("Send by e-mail"));
  EXPECT_FALSE(FileExists(Place.MailLog));

  for (int percent : {30, 70}) {
    SCOPED_TRACE("shrunk to " + std::to_string(percent) + "%");
    if (percent != 30) SelectPercent(percent);
    const int sw = w * percent / 100, sh = h * percent / 100;
    const double shrunk = Shrink(sw, sh);
    std::printf("[   timing   ] shrink to %d%%: %.3f s from the click to the shrunk pane's paint\n",
                percent, shrunk);
    ASSERT_GE(shrunk, 0);
    if (percent == 30) SaveScreenshot(app->Main, "velmora-e2e-shrink.bmp");

    const std::string saved = Place.WorkDir + "small-" + std::to_string(percent) + ".jpg";
    ASSERT_TRUE(app->ChooseFile("Save...", saved));
    ASSERT_FALSE(app->HasModalWindow());
    const std::vector<uint8_t> bytes = FileBytes(saved);
    EXPECT_EQ(WindowText(Label(true)), SizeText(sw, sh, bytes.size()));
    const JpegFacts facts = InspectJpeg(bytes);
    ASSERT_TRUE(facts.Valid);
    EXPECT_EQ(std::vector<int>({facts.Width, facts.Height, facts.Components, facts.Baseline}),
              std::vector<int>({sw, sh, 3, 1}));
    EXPECT_EQ(facts.Tables, InspectJpeg(MakeQuadrantJpeg(8, 8, 90)).Tables);  // libjpeg's own
    for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(facts.Centres[q], kQuadrants[q])) << q;
  }

  // A cancelled Open empties the open dialog's name but keeps the opened picture, whose
  // file must stay protected.
  app->Click("Open ...");
  const HWND dialog = app->WaitForWindow(20000);
  ASSERT_NE(dialog, nullptr) << "no open dialog";
  PressDialogButton(dialog, IDCANCEL);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the open dialog stayed";
  ASSERT_TRUE(app->WaitIdle());

  // Saving onto the opened file is refused under its own name, in other letter case and
  // under its short name; the original stays as it was.
  std::string shouted = name;
  CharUpperA(shouted.data());
  char shortName[MAX_PATH] = {};
  ASSERT_TRUE(GetShortPathNameA(original.c_str(), shortName, MAX_PATH) > 0 &&
              lstrcmpiA(shortName, original.c_str()) != 0)
      << "no short name for " << original;
  for (const std::string& target : {original, Place.WorkDir + shouted, std::string(shortName)}) {
    SCOPED_TRACE("saving onto " + target);
    ASSERT_TRUE(app->ChooseFile("Save...", target));
    EXPECT_EQ(app->AnswerMessage(),
              "Velmora|Save better with different name (old file has better quality).");
    EXPECT_EQ(FileBytes(original), originalBytes);
  }
  ExpectCleanEnd();
}

// Send mails a copy of the shrunk picture named like the opened file from the temporary
// directory; when the opened file is that very copy, the new copy must not replace it.
// The pace a user feels with a photo of a common camera size.
TEST_F(VelmoraRun, NineMegapixelPhotoShrinksTo70Percent) {
  const int w = 3464, h = 2598;
  ASSERT_GE(Open(WritePicture(Place.WorkDir + "nine.jpg", w, h), w, h), 0);
  SelectPercent(70);
  double toSizeLine = -1;
  const double toPaint = Shrink(w * 7 / 10, h * 7 / 10, &toSizeLine);
  std::printf(
      "[   timing   ] %dx%d to 70%%: %.3f s from the click to the new size line, %.3f s "
      "to the shrunk pane's paint\n",
      w, h, toSizeLine, toPaint);
  EXPECT_GE(toSizeLine, 0);
  EXPECT_GE(toPaint, 0);
  ExpectCleanEnd();
}

TEST_F(VelmoraRun, SendMailsTheShrunkPictureWithoutOverwritingTheOpenedFile) {
  if (Place.MailLibrary.empty()) GTEST_SKIP() << "no test mail library in the system folder";
  const int w = 640, h = 480;
  const std::string name = "Trip.jpg";
  ASSERT_GE(Open(WritePicture(Place.WorkDir + name, w, h), w, h), 0);
  SelectPercent(50);
  ASSERT_GE(Shrink(w / 2, h / 2), 0);

  app->Click("Send by e-mail");
  std::string send, file;
  ASSERT_TRUE(NextMailing(0, &send, &file)) << "no mail call (WINEDLLOVERRIDES=mapi32=n,b?)";
  const std::string attachment = Field(file, "path");
  EXPECT_EQ(Field(send, "subject") + "|" + Field(send, "flags") + "|" + Field(send, "files") + "|" +
                attachment,
            name + "|" + std::to_string(MAPI_DIALOG) + "|1|" + Place.TempDir + name);
  ASSERT_TRUE(app->WaitIdle());
  const std::string saved = Place.WorkDir + "trip-small.jpg";
  ASSERT_TRUE(app->ChooseFile("Save...", saved));
  const std::vector<uint8_t> shrunk = FileBytes(saved);
  EXPECT_EQ(WindowText(Label(true)), SizeText(w / 2, h / 2, shrunk.size()));
  EXPECT_EQ(FileBytes(attachment), shrunk);

  // Open the attachment itself, shrink it to 50% again and send it.
  ASSERT_GE(Open(attachment, w / 2, h / 2), 0);
  ASSERT_GE(Shrink(w / 4, h / 4), 0);
  app->Click("Send by e-mail");
  ASSERT_TRUE(NextMailing(1, &send, &file)) << "the second mailing did not reach the library";
  const std::string second = Field(file, "path");  // another folder, the same name
  EXPECT_NE(lstrcmpiA(second.c_str(), attachment.c_str()), 0);
  EXPECT_EQ(Field(send, "subject") + "|" + second.substr(second.find_last_of('\\') + 1),
            name + "|" + name);
  EXPECT_EQ(FileBytes(attachment), shrunk);
  const JpegFacts facts = InspectJpeg(FileBytes(second));
  EXPECT_TRUE(facts.Valid);
  EXPECT_EQ(std::vector<int>({facts.Width, facts.Height}), std::vector<int>({w / 4, h / 4}));
  ASSERT_TRUE(app->WaitIdle());
  ExpectCleanEnd();
  // The mail library was loaded once, from the system folder, and freed when the program ended.
  const std::vector<std::string> records = RecordLines(Place.MailLog);
  EXPECT_EQ(std::count(records.begin(), records.end(), "attach\tpath=" + Place.MailLibrary), 1);
  EXPECT_EQ(records.empty() ? "" : records.back(), "detach\thow=free");
  DeleteFileA(attachment.c_str());
  std::filesystem::remove_all(second.substr(0, second.find_last_of('\\')));
}

// Catches names in other scripts turning into '?' anywhere between the dialog, the file
// system, the temporary copy and the mail client.
TEST_F(VelmoraRun, PhotosNamedInAnyScriptOpenShrinkSaveAndMail) {
  if (Place.MailLibrary.empty()) GTEST_SKIP() << "no test mail library in the system folder";
  const std::string name =
      "\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE \xE5\x86\x99\xE7\x9C\x9F.jpg";  // фото 写真
  const std::string saved =
      Place.WorkDir + "\xD0\xBC\xD0\xB0\xD0\xBB\xD0\xBE \xE5\xB0\x8F.jpg";  // мало 小
  const int w = 320, h = 240;
  const std::vector<uint8_t> photo = MakeQuadrantJpeg(w, h);
  ASSERT_TRUE(WriteFileBytes(Place.WorkDir + name, photo));
  ASSERT_GE(Open(Place.WorkDir + name, w, h), 0);
  EXPECT_EQ(WindowText(Label(false)), SizeText(w, h, photo.size()));
  ASSERT_GE(Shrink(w * 3 / 10, h * 3 / 10), 0);

  ASSERT_TRUE(app->ChooseFile("Save...", saved));
  const std::vector<uint8_t> shrunk = FileBytes(saved);
  EXPECT_EQ(WindowText(Label(true)), SizeText(w * 3 / 10, h * 3 / 10, shrunk.size()));
  EXPECT_EQ(FileBytes(Place.WorkDir + name), photo);

  app->Click("Send by e-mail");
  std::string send, file;
  ASSERT_TRUE(NextMailing(0, &send, &file)) << "no mail call";
  EXPECT_EQ(Field(send, "subject"), name);
  EXPECT_EQ(Field(file, "path"), Place.TempDir + name);
  EXPECT_EQ(FileBytes(Field(file, "path")), shrunk);
  ASSERT_TRUE(app->WaitIdle());
  ExpectCleanEnd();
  DeleteFileW(FromUtf8(Place.TempDir + name).c_str());
}

TEST_F(VelmoraRun, BadInputIsReportedOrIgnoredWithoutHarm) {
  // A file that is not a JPEG picture: reported by name, nothing to shrink.
  const std::string notes = Place.WorkDir + "notes.jpg";
  ASSERT_TRUE(WriteFileBytes(notes, std::vector<uint8_t>(2000, 'x')));
  ASSERT_TRUE(app->ChooseFile("Open ...", notes));
  ExpectReportNaming(notes);
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(WindowText(Label(true)), "");

  // A header claiming 60000 x 60000 pixels in a file of a few hundred bytes: the size is
  // shown, the failed decoding reported, and there is nothing to shrink.
  std::vector<uint8_t> giant = MakeQuadrantJpeg(16, 16);
  const size_t frame = FrameOffset(giant);
  ASSERT_LT(frame, giant.size());
  const int side = 60000;  // height and width follow the length and precision
  const uint8_t size[4] = {side >> 8, side & 255, side >> 8, side & 255};
  std::copy(size, size + 4, giant.begin() + static_cast<std::ptrdiff_t>(frame + 5));
  const std::string giantPath = Place.WorkDir + "giant.jpg";
  ASSERT_TRUE(WriteFileBytes(giantPath, giant));
  ASSERT_TRUE(app->ChooseFile("Open ...", giantPath));
  ExpectReportNaming(giantPath);
  EXPECT_EQ(WindowText(Label(false)), SizeText(side, side, giant.size()));
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(WindowText(Label(true)), "");

  // A JPEG of 12-bit samples, which the codec cannot decode: reported by name, never shown
  // or shrunk as a black picture.
  std::vector<uint8_t> twelveBit = MakeQuadrantJpeg(64, 48);
  twelveBit[FrameOffset(twelveBit) + 4] = 12;
  const std::string twelvePath = Place.WorkDir + "twelve-bit.jpg";
  ASSERT_TRUE(WriteFileBytes(twelvePath, twelveBit));
  ASSERT_TRUE(app->ChooseFile("Open ...", twelvePath));
  ExpectReportNaming(twelvePath);
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(WindowText(Label(true)), "");

  // 5 x 5 pixels at 10% leave no pixel: Shrink does nothing.
  ASSERT_TRUE(app->ChooseFile("Open ...", WritePicture(Place.WorkDir + "tiny.jpg", 5, 5)));
  ASSERT_TRUE(WaitFor([&] { return WindowText(Label(false)).find("Size: 5x5 , ") == 0; }));
  SelectPercent(10);
  EXPECT_FALSE(ClickPopsUp("Shrink"));
  EXPECT_EQ(WindowText(Label(true)), "");

  // A save that cannot write its file is reported with the file's name.
  const std::string name = "busy.jpg";
  ASSERT_GE(Open(WritePicture(Place.WorkDir + name, 320, 240), 320, 240), 0);
  ASSERT_GE(Shrink(32, 24), 0);
  const std::string locked = Place.WorkDir + "locked.jpg", attachment = Place.TempDir + name;
  HANDLE holders[2];
  for (int i = 0; i < 2; ++i) {
    holders[i] = CreateFileA((i ? attachment : locked).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holders[i], INVALID_HANDLE_VALUE);
  }
  ASSERT_TRUE(app->ChooseFile("Save...", locked));
  ExpectReportNaming(locked);

  // So is a mailing whose temporary copy cannot be written; the mail client is not called.
  app->Click("Send by e-mail");
  ExpectReportNaming(attachment);
  EXPECT_FALSE(FileExists(Place.MailLog));
  CloseHandle(holders[0]);
  CloseHandle(holders[1]);
  DeleteFileA(attachment.c_str());
  ExpectCleanEnd();
}

// A HEIC photo: without velmora-heif.dll beside the program it is refused with a sentence that
// says so; with it, it opens upright from the command line (as Send To starts the program):
// its rotation box turns the stored 160 x 96 into 96 x 160. It shrinks, and Save proposes its
// name as a JPEG and writes the copy there.
TEST_F(VelmoraRun, HeicPhotoNeedsTheDecoderBesideTheProgramAndIsSavedAsJpeg) {
#ifndef VELMORA_HEIF_DATA
  GTEST_SKIP() << "velmora-heif.dll and its test files were not built";
#else
  const std::string photo = Folder() + "IMG_0001.HEIC", copy = Folder() + "IMG_0001.jpg";
  ASSERT_TRUE(CopyFileA(VELMORA_HEIF_DATA "/quadrants.heic", photo.c_str(), FALSE));
  ASSERT_TRUE(app->ChooseFile("Open ...", photo));
  const std::string refused = app->AnswerMessage();
  EXPECT_NE(refused.find(photo + "\" is a HEIC photo, and HEIC support is not installed (the "
                                 "file velmora-heif.dll is missing beside Velmora)."),
            std::string::npos)
      << refused;
  ExpectCleanEnd();

  const std::string dll = Place.WorkDir + "velmora-heif.dll";
  ASSERT_TRUE(CopyFileA((Place.BuildDir + "velmora-heif.dll").c_str(), dll.c_str(), FALSE));
  ASSERT_TRUE(Start(Quoted(photo)));
  ASSERT_GE(WaitForPicture(false, 96, 160, Seconds()), 0);
  SelectPercent(50);
  ASSERT_GE(Shrink(48, 80), 0);
  HWND dialog = nullptr, nameBox = nullptr;
  ASSERT_TRUE(app->OpenFileDialog("Save...", &dialog, &nameBox));
  EXPECT_EQ(WindowText(nameBox), "IMG_0001.jpg");
  Ask(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(FromUtf8(copy).c_str()));
  PressDialogButton(dialog, IDOK);
  ASSERT_TRUE(WaitFor([&] { return Gone(dialog); }) && app->WaitIdle());
  const JpegFacts facts = InspectJpeg(FileBytes(copy));
  EXPECT_EQ(std::vector<int>({facts.Valid, facts.Width, facts.Height}),
            std::vector<int>({1, 48, 80}));
  for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(facts.Centres[q], kQuadrants[q])) << q;
  ExpectCleanEnd();
  EXPECT_TRUE(DeleteFileA(dll.c_str()));
#endif
}

}  // namespace
