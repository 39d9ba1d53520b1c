// velmora.exe with several photos at once, driven only through its windows: photos chosen
// together in the real open dialog, moved through with the buttons, the keys and the wheel,
// shrunk all at once, saved into folders (an opened original is never replaced) and mailed in
// one message; the same list from the command line and from a drop; a photo that cannot be
// shrunk; the size choices that fit a limit; and mail that cannot be sent.
#include <gtest/gtest.h>
#include <windows.h>
#include <mapi.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "e2e/test_pictures.h"
#include "standins/system_folder_standin.h"

using namespace velmora::e2e;

namespace {

// Several photos are saved into a folder chosen in the system's folder dialog, where a path
// is typed as a user types it; a refusal there names the photos, without the one-photo advice
// to choose another name.
constexpr const char* kFolderRefusal = "in that folder";
constexpr const char* kNameAdvice = "different name";
std::string Typed(const std::string& folder) { return folder.substr(0, folder.size() - 1); }

// "24.3 MB" to a tenth of 1,048,576 bytes, "96 Kb" under a megabyte: the total line's sizes.
std::string Megabytes(uint64_t bytes) {
  if (bytes < (1u << 20)) return std::to_string((bytes + 512) >> 10) + " Kb";
  const uint64_t tenths = (bytes * 10 + (1u << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

struct PhotoFile {
  std::string Name;
  int Width = 0, Height = 0;
};

// The files of a folder, by name.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\') + 1);
}

class SeveralRun : public ProgramRun {
 protected:
  // A new folder of the test's own.
  static std::string MakeFolder(const std::string& name) {
    const std::string folder = Folder() + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
  }

  // Writes the quadrant pictures into folder; their paths, in order.
  static std::vector<std::string> WritePhotos(const std::string& folder,
                                              const std::vector<PhotoFile>& photos) {
    std::vector<std::string> paths;
    for (const PhotoFile& photo : photos)
      paths.push_back(WritePicture(folder + photo.Name, photo.Width, photo.Height));
    return paths;
  }

  // The photo and progress lines of the row of several photos.
  HWND PhotoLine() const { return app->Find("STATIC", {}, 66, 66); }
  HWND ProgressLine() const { return app->Find("STATIC", {}, 248, 66); }

  // Whether the photo line and the opened size line come to show photo n (from 1) of count,
  // the photo at path of w x h.
  bool ShowsPhoto(int n, int count, const std::string& path, int w, int h) {
    const std::string line = "Photo " + std::to_string(n) + " of " + std::to_string(count);
    const bool shown = Shows(PhotoLine(), line) &&
                       Shows(Label(false), SizeText(w, h, FileBytes(path).size())) &&
                       app->WaitIdle();
    EXPECT_TRUE(shown) << line << " is not shown: " << WindowText(PhotoLine()) << " | "
                       << WindowText(Label(false));
    return shown;
  }

  // Chooses files in the real open dialog as a user does: the folder typed first (the dialog
  // goes there), then the names, each quoted, in the order given.
  bool ChooseFiles(const std::string& folder, const std::vector<std::string>& names) {
    HWND dialog = nullptr, nameBox = nullptr;
    if (!app->OpenFileDialog("Open ...", &dialog, &nameBox)) return false;
    auto type = [&](const std::string& text) {
      const std::wstring wide(text.begin(), text.end());
      Ask(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
      PressDialogButton(dialog, IDOK);
    };
    type(folder);
    if (!WaitFor([&] { return WindowText(nameBox).empty(); }, 10)) return false;
    std::string list;
    for (const std::string& name : names) list += Quoted(name) + " ";
    type(list);
    return WaitFor([&] { return Gone(dialog); }) && app->WaitIdle(60000);
  }

  // Turns the wheel over the middle of the left or right pane.
  void Wheel(bool right, int notches) {
    SetForegroundWindow(app->Main);
    const RECT r = ScreenRect(app->Pane(right));
    WheelAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, notches);
    Sleep(50);
    app->WaitIdle();
  }

  // Whether the pane comes to show the quadrant picture of w x h fitted into its corner.
  bool PaneShows(bool right, int w, int h) {
    return WaitFor([&] { return app->WaitIdle() && PaneShowsQuadrants(app->Pane(right), w, h); });
  }
};

// The whole journey: three photos chosen together in the real open dialog, moved
// through, shrunk all at once, saved into a new folder, into the photos' own folder (all
// refused) and into a folder that holds one of the originals (that one refused, an older file
// replaced after one question), then mailed in one message.
TEST_F(SeveralRun, PhotosChosenTogetherAreBrowsedShrunkSavedAndMailedInOneMessage) {
  const std::string photos = MakeFolder("photos");
  const std::vector<PhotoFile> files = {
      {"Canyon.jpg", 1024, 768}, {"Alpine lake.jpg", 800, 600}, {"Birch.jpg", 480, 640}};
  const std::vector<std::string> paths = WritePhotos(photos, files);
  std::vector<std::vector<uint8_t>> originals;
  for (const std::string& path : paths) originals.push_back(FileBytes(path));
  ASSERT_TRUE(Start());
  ASSERT_TRUE(ChooseFiles(photos, {"Canyon.jpg", "Alpine lake.jpg", "Birch.jpg"}));
  EXPECT_FALSE(app->HasModalWindow());

  // In the order given, the first shown; the buttons, Page Down, the wheel and Page Up move
  // through the list and stop at its ends.
  ASSERT_TRUE(ShowsPhoto(1, 3, paths[0], 1024, 768));
  EXPECT_TRUE(PaneShows(false, 1024, 768));
  app->Click(">");
  ASSERT_TRUE(ShowsPhoto(2, 3, paths[1], 800, 600));
  Keys({VK_NEXT});
  ASSERT_TRUE(ShowsPhoto(3, 3, paths[2], 480, 640));
  EXPECT_TRUE(PaneShows(false, 480, 640));
  app->Click(">");
  Keys({VK_NEXT});
  ASSERT_TRUE(ShowsPhoto(3, 3, paths[2], 480, 640));
  Wheel(false, 1);  // away from the user: back
  ASSERT_TRUE(ShowsPhoto(2, 3, paths[1], 800, 600));
  Wheel(true, -1);
  ASSERT_TRUE(ShowsPhoto(3, 3, paths[2], 480, 640));
  Keys({VK_PRIOR});
  Keys({VK_PRIOR});
  ASSERT_TRUE(ShowsPhoto(1, 3, paths[0], 1024, 768));
  app->Click("<");
  ASSERT_TRUE(ShowsPhoto(1, 3, paths[0], 1024, 768));
  app->Click(">");
  ASSERT_TRUE(ShowsPhoto(2, 3, paths[1], 800, 600));

  // Shrink: the photo shown fills its pane, the total line follows once all are done.
  app->SelectPercent(50);
  app->Click("Shrink");
  EXPECT_TRUE(Shows(Label(true), "Size: 400x300 , ", true)) << WindowText(Label(true));
  EXPECT_TRUE(PaneShows(true, 400, 300));
  ASSERT_TRUE(Shows(ProgressLine(), "3 photos: ", true, 60)) << WindowText(ProgressLine());
  SaveScreenshot(app->Main, "velmora-e2e-several.bmp");
  app->Click(">");
  ASSERT_TRUE(ShowsPhoto(3, 3, paths[2], 480, 640));
  EXPECT_TRUE(Shows(Label(true), "Size: 240x320 , ", true)) << WindowText(Label(true));
  EXPECT_TRUE(PaneShows(true, 240, 320));

  // Saved into a new folder: each under its own name, of the size its line shows.
  const std::string saved = MakeFolder("saved");
  ASSERT_TRUE(app->ChooseFile("Save...", Typed(saved)));
  EXPECT_FALSE(app->HasModalWindow());
  EXPECT_EQ(FilesIn(saved),
            std::vector<std::string>({"Alpine lake.jpg", "Birch.jpg", "Canyon.jpg"}));
  std::vector<std::vector<uint8_t>> shrunk;
  uint64_t originalTotal = 0, shrunkTotal = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    shrunk.push_back(FileBytes(saved + files[i].Name));
    const JpegFacts facts = InspectJpeg(shrunk[i]);
    EXPECT_EQ(std::make_pair(facts.Width, facts.Height),
              std::make_pair(files[i].Width / 2, files[i].Height / 2));
    originalTotal += originals[i].size();
    shrunkTotal += shrunk[i].size();
  }
  EXPECT_EQ(WindowText(Label(true)), SizeText(240, 320, shrunk[2].size()));
  EXPECT_EQ(WindowText(ProgressLine()),
            "3 photos: " + Megabytes(originalTotal) + " to " + Megabytes(shrunkTotal));

  // Into the photos' own folder: every one refused, by name, and nothing written.
  ASSERT_TRUE(app->ChooseFile("Save...", Typed(photos)));
  std::string shown = app->AnswerMessage();
  EXPECT_NE(shown.find(kFolderRefusal), std::string::npos) << shown;
  EXPECT_EQ(shown.find(kNameAdvice), std::string::npos) << shown;
  for (const PhotoFile& file : files) EXPECT_NE(shown.find(file.Name), std::string::npos) << shown;
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(FileBytes(paths[i]), originals[i]);
  EXPECT_EQ(FilesIn(photos),
            std::vector<std::string>({"Alpine lake.jpg", "Birch.jpg", "Canyon.jpg"}));

  // Into a folder that holds the birch's original (the same file under a second name) and an
  // older canyon: one question for the canyon, then the birch is named as refused.
  const std::string other = MakeFolder("other");
  ASSERT_TRUE(CreateHardLinkA((other + "Birch.jpg").c_str(), paths[2].c_str(), nullptr));
  const std::vector<uint8_t> older = MakeQuadrantJpeg(64, 48);
  ASSERT_TRUE(WriteFileBytes(other + "Canyon.jpg", older));
  ASSERT_TRUE(app->ChooseFile("Save...", Typed(other)));
  shown = app->AnswerMessage(IDYES);
  EXPECT_NE(shown.find("Canyon.jpg"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Birch.jpg"), std::string::npos) << shown;
  shown = app->AnswerMessage();
  EXPECT_NE(shown.find(kFolderRefusal), std::string::npos) << shown;
  EXPECT_EQ(shown.find(kNameAdvice), std::string::npos) << shown;
  EXPECT_NE(shown.find("Birch.jpg"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Canyon.jpg"), std::string::npos) << shown;
  EXPECT_EQ(FilesIn(other),
            std::vector<std::string>({"Alpine lake.jpg", "Birch.jpg", "Canyon.jpg"}));
  EXPECT_EQ(FileBytes(other + "Canyon.jpg"), shrunk[0]);
  EXPECT_EQ(FileBytes(other + "Alpine lake.jpg"), shrunk[1]);
  EXPECT_EQ(FileBytes(other + "Birch.jpg"), originals[2]);
  EXPECT_EQ(FileBytes(paths[2]), originals[2]);
  // Answered No, the files there stay and only the others would be written; Cancel writes
  // nothing and says nothing more.
  ASSERT_TRUE(WriteFileBytes(other + "Alpine lake.jpg", older));
  for (int answer : {IDNO, IDCANCEL}) {
    ASSERT_TRUE(app->ChooseFile("Save...", Typed(other)));
    shown = app->AnswerMessage(answer);
    EXPECT_NE(shown.find(":\nCanyon.jpg\nAlpine lake.jpg\n"), std::string::npos) << shown;
    if (answer == IDNO) {
      EXPECT_NE(app->AnswerMessage().find("Birch.jpg"), std::string::npos);
    }
    ASSERT_TRUE(app->WaitIdle());
    EXPECT_FALSE(app->HasModalWindow());
    EXPECT_EQ(FileBytes(other + "Alpine lake.jpg"), older);
    EXPECT_EQ(FileBytes(other + "Canyon.jpg"), shrunk[0]);
  }

  // Mailed in one message with the three copies, from a new folder of Velmora's own.
  if (Place.MailLibrary.empty()) GTEST_SKIP() << "no test mail library in the system folder";
  app->Click("Send by e-mail");
  std::vector<Mailing> mailings;
  ASSERT_TRUE(WaitFor([&] {
    mailings = Mailings();
    return mailings.size() == 1 && mailings.back().Files.size() == 3;
  })) << "no mailing with three attachments";
  const Mailing& mail = mailings.back();
  EXPECT_EQ(Field(mail.Send, "subject"), "Canyon.jpg, Alpine lake.jpg, Birch.jpg");
  EXPECT_EQ(Field(mail.Send, "flags"), std::to_string(MAPI_DIALOG));
  EXPECT_EQ(Field(mail.Send, "files"), "3");
  const std::string folder = FolderOf(Field(mail.Files[0], "path"));
  EXPECT_EQ(folder.rfind(Place.TempDir + kCopiesPrefix, 0), 0u) << folder;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = Field(mail.Files[i], "path");
    EXPECT_EQ(path, folder + files[i].Name);
    EXPECT_EQ(FileBytes(path), shrunk[i]) << path;
  }
  ASSERT_TRUE(app->WaitIdle());
  EXPECT_FALSE(app->HasModalWindow());
}

// The command line and a drop hand over the same list; the files that cannot be read or are no
// JPEG picture are left out and named together in one message. A list of which one photo
// remains opens it alone.
TEST_F(SeveralRun, CommandLineAndDropGiveTheSameListAndNameTheFilesLeftOutTogether) {
  const std::string folder = MakeFolder("mixed");
  const std::vector<std::string> good =
      WritePhotos(folder, {{"one.jpg", 320, 240}, {"two.jpg", 200, 100}, {"three.jpg", 90, 120}});
  const std::string notes = folder + "notes.jpg", gone = folder + "gone.jpg";
  ASSERT_TRUE(WriteFileBytes(notes, std::vector<uint8_t>(3000, 'n')));
  const std::vector<std::string> list = {good[0], notes, good[1], gone, good[2]};
  const int sizes[3][2] = {{320, 240}, {200, 100}, {90, 120}};

  for (bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "dropped" : "command line");
    std::string arguments;
    for (const std::string& path : list) arguments += Quoted(path) + " ";
    ASSERT_TRUE(Start(dropped ? "" : arguments));
    if (dropped) {
      ASSERT_TRUE(DropFiles(*app, list));
    }
    const std::string shown = app->AnswerMessage();
    EXPECT_NE(shown.find("2 of the 5 files were left out"), std::string::npos) << shown;
    EXPECT_NE(shown.find(Quoted(notes) + " is not a JPEG picture."), std::string::npos) << shown;
    EXPECT_NE(shown.find(Quoted(gone) + " cannot be read."), std::string::npos) << shown;
    EXPECT_FALSE(app->HasModalWindow()) << "one message for all";
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(ShowsPhoto(i + 1, 3, good[i], sizes[i][0], sizes[i][1]));
      app->Click(">");
    }
    ASSERT_EQ(app->CloseAndWait(20000), 0);
  }

  // One photo left: it opens alone, without the row of several photos.
  ASSERT_TRUE(Start());
  ASSERT_TRUE(DropFiles(*app, {notes, good[1]}));
  const std::string shown = app->AnswerMessage();
  EXPECT_NE(shown.find(Quoted(notes)), std::string::npos) << shown;
  EXPECT_TRUE(Shows(Label(false), SizeText(200, 100, FileBytes(good[1]).size())));
  EXPECT_FALSE(IsWindowVisible(PhotoLine()));
  app->Click("Shrink");
  EXPECT_TRUE(Shows(Label(true), "Size: 60x30 , ", true)) << WindowText(Label(true));
  EXPECT_FALSE(IsWindowVisible(ProgressLine()));
}

// A photo whose data breaks off after its header opens with the others (only a decode finds
// the damage); the Shrink names it in one message at its end and the total line counts the
// photos that were shrunk.
TEST_F(SeveralRun, APhotoThatCannotBeShrunkIsNamedWhenTheShrinkEnds) {
  const std::string folder = MakeFolder("damaged");
  const std::vector<std::string> good =
      WritePhotos(folder, {{"first.jpg", 320, 240}, {"last.jpg", 240, 320}});
  std::vector<uint8_t> cut = MakeQuadrantJpeg(640, 480);
  cut.resize(cut.size() * 3 / 5);
  const std::string broken = folder + "broken.jpg";
  ASSERT_TRUE(WriteFileBytes(broken, cut));
  ASSERT_TRUE(Start(Quoted(good[0]) + " " + Quoted(broken) + " " + Quoted(good[1])));
  ASSERT_TRUE(ShowsPhoto(1, 3, good[0], 320, 240));
  EXPECT_FALSE(app->HasModalWindow());
  app->Click("Shrink");
  const std::string shown = app->AnswerMessage();
  EXPECT_NE(shown.find("One photo could not be shrunk"), std::string::npos) << shown;
  EXPECT_NE(shown.find(Quoted(broken) + " is damaged"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("first.jpg"), std::string::npos) << shown;
  EXPECT_TRUE(Shows(ProgressLine(), "2 of 3 photos: ", true)) << WindowText(ProgressLine());
  EXPECT_TRUE(Shows(Label(true), "Size: 96x72 , ", true)) << WindowText(Label(true));
  app->Click(">");
  ASSERT_TRUE(ShowsPhoto(2, 3, broken, 640, 480));
  EXPECT_TRUE(Shows(Label(true), ""));
  EXPECT_FALSE(app->HasModalWindow());
}

// Mail that cannot go is said, for one photo as for several: a failure of the mail program,
// in words; the user's own cancel, nothing. (Without a mail program the copies are made ready
// to paste or drag: e2e/sharing_test.cpp.)
TEST_F(SeveralRun, MailThatCannotBeSentIsSaidButTheUsersCancelIsNot) {
  if (Place.MailLibrary.empty()) GTEST_SKIP() << "no test mail library in the system folder";
  const std::string folder = MakeFolder("mail");
  const std::vector<std::string> paths =
      WritePhotos(folder, {{"Pier.jpg", 200, 150}, {"Dunes.jpg", 160, 120}});
  struct Case {
    const char* Result;  // of the test library: MAPI_E_FAILURE, MAPI_USER_ABORT
    bool Said;           // a message follows
  };
  const Case cases[] = {{"2", true}, {"1", false}};
  std::string said;
  for (bool several : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(several ? "several photos, " : "one photo, ") + "result " +
                   c.Result);
      SetEnvironmentVariableA("VELMORA_MAPI_RESULT", c.Result);
      std::string arguments = Quoted(paths[0]);
      if (several) arguments.append(" ").append(Quoted(paths[1]));
      const bool started = Start(arguments);
      SetEnvironmentVariableA("VELMORA_MAPI_RESULT", nullptr);
      ASSERT_TRUE(started);
      ASSERT_TRUE(Shows(Label(false), "Size: 200x150 , ", true));
      app->Click("Shrink");
      ASSERT_TRUE(several ? Shows(ProgressLine(), "2 photos: ", true)
                          : Shows(Label(true), "Size: 60x45 , ", true));
      const size_t before = Mailings().size();
      app->Click("Send by e-mail");
      if (c.Said) {
        const std::string shown = app->AnswerMessage();
        EXPECT_GT(shown.size(), std::string("Velmora|").size()) << shown;
        if (said.empty()) said = shown;
        EXPECT_EQ(shown, said) << "the same words for one photo and for several";
      } else {
        ASSERT_TRUE(WaitFor([&] { return Mailings().size() > before; }));
        ASSERT_TRUE(app->WaitIdle());
        EXPECT_FALSE(app->HasModalWindow());
      }
      EXPECT_EQ(Mailings().size(), before + 1);
      ASSERT_EQ(app->CloseAndWait(20000), 0);
    }
  }
  DeleteFileA((Place.TempDir + "Pier.jpg").c_str());  // one photo's copy, mailed or not
}

// The size choices after "100%": with one photo Shrink makes the largest copy within 500 KB
// (using at least 95% of it); with several, choosing "Mail 10M" while a shrink runs starts
// it over, and the copies mailed fit one 10 MB mail as mail counts them, at one scale that the
// total line gives with the limit. (Mail counts each attachment as imaging/fit.h's
// MailAttachmentSize does; the sum is worked out here by hand.)
TEST_F(SeveralRun, SizeChoicesFitOneCopyOrAllCopiesInOneMail) {
  const std::string folder = MakeFolder("fit");
  const std::string one = folder + "one.jpg";
  ASSERT_TRUE(WriteFileBytes(one, MakeGrainJpeg(1200, 900, 5)));
  ASSERT_TRUE(Start(Quoted(one)));
  app->SelectItem(10, "500 KB");
  app->Click("Shrink");
  ASSERT_TRUE(Shows(Label(true), "Size: ", true, 60)) << WindowText(Label(true));
  const std::string line = WindowText(Label(true));
  const int kilobytes = std::stoi(line.substr(line.find(" , ") + 3));
  EXPECT_TRUE(kilobytes <= 500 && kilobytes >= 475) << line;
  // One photo's line says the scale found and the limit, as several photos' total does.
  EXPECT_TRUE(Shows(ProgressLine(), "1 photo: ", true)) << WindowText(ProgressLine());
  EXPECT_NE(WindowText(ProgressLine()).find("%, within 500 KB"), std::string::npos)
      << WindowText(ProgressLine());
  ASSERT_EQ(app->CloseAndWait(20000), 0);

  std::string arguments;
  std::vector<std::string> names;
  for (unsigned i = 0; i < 5; ++i) {
    names.push_back("mail " + std::to_string(i) + ".jpg");
    ASSERT_TRUE(WriteFileBytes(folder + names.back(), MakeGrainJpeg(1600, 1200, i + 1)));
    arguments += Quoted(folder + names.back()) + " ";
  }
  ASSERT_TRUE(Start(arguments));
  app->Click("Shrink");
  app->SelectItem(13, "Mail 10M");  // starts the shrink over when it still runs
  app->Click("Shrink");
  ASSERT_TRUE(Shows(ProgressLine(), "5 photos: ", true, 120)) << WindowText(ProgressLine());
  const std::string total = WindowText(ProgressLine());
  EXPECT_NE(total.find("%, fits one 10 MB mail"), std::string::npos) << total;
  const size_t before = Mailings().size();
  app->Click("Send by e-mail");
  std::vector<Mailing> mailings;
  ASSERT_TRUE(WaitFor([&] {
    mailings = Mailings();
    return mailings.size() > before && mailings.back().Files.size() == 5;
  })) << "no mailing with five attachments";
  uint64_t mailed = 0;
  for (const std::string& file : mailings.back().Files) {
    const std::string path = Field(file, "path");
    const uint64_t bytes = FileBytes(path).size();
    mailed += (bytes + 2) / 3 * 4 + ((bytes + 2) / 3 * 4 + 75) / 76 * 2 + 1024;
  }
  const uint64_t limit = 10u << 20;
  EXPECT_TRUE(mailed <= limit && mailed >= limit / 100 * 95) << mailed;
  // One scale for all: every copy has the same size, as the photos do.
  const std::string shown = WindowText(Label(true));
  app->Click(">");
  EXPECT_TRUE(Shows(Label(true), shown.substr(0, shown.find(" , ")), true)) << shown;
}

}  // namespace
