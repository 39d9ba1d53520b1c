// velmora.exe as Windows hands it files and libraries: a file named on its command line and
// files dropped onto its window open as Open would, and the mail library comes only from the
// system folder, never from beside the program or from the current directory.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "e2e/test_pictures.h"

using namespace velmora::e2e;

namespace {

// Delivers a drop of names onto the window the way the shell does: WM_DROPFILES with an HDROP,
// a DROPFILES header and the names one after the other, ending in an empty one. The HDROP must
// lie in the receiving program's memory (a block of this process means nothing there), so it is
// written into the program.
bool DropFiles(const AppSession& app, const std::vector<std::string>& names) {
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

std::string Quoted(const std::string& text) { return std::string(1, '"').append(text) + '"'; }

class OutsideFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(Place.MailLog.c_str());
    CreateDirectoryA(Folder().c_str(), nullptr);
  }
  void TearDown() override {
    if (app && app->Process != nullptr && !app->Ended()) {
      EXPECT_FALSE(app->HasModalWindow());
      EXPECT_EQ(app->CloseAndWait(20000), 0);
    }
    app.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
  }

  // A folder of the test's own, apart from the program's.
  static std::string Folder() { return Place.WorkDir + "outside\\"; }

  // Starts a new run of the program (the one before has ended).
  bool Start(const std::string& arguments = "", const std::string& directory = Place.WorkDir) {
    app.emplace();
    return app->Start(Place.WorkDir + "velmora.exe", directory, arguments);
  }

  HWND Label(bool shrunk) const { return app->Find("STATIC", {}, shrunk ? 342 : 12, 33); }

  // Whether the label comes to show text (a prefix of it with `prefix`).
  bool LabelShows(bool shrunk, const std::string& text, bool prefix = false) {
    return WaitFor([&] {
      const std::string shown = WindowText(Label(shrunk));
      return prefix ? shown.rfind(text, 0) == 0 : shown == text;
    });
  }

  std::optional<AppSession> app;
};

// "Open with", a "Send To" shortcut and a drop onto the program's icon start it with the file's
// name: the picture opens as Open would open it, and Shrink goes on from it. A relative name is
// found in the current directory, where the program was started.
TEST_F(OutsideFiles, AFileOnTheCommandLineOpensAtStart) {
  const std::string picture = WritePicture(Folder() + "Beach at noon.jpg", 640, 480);
  ASSERT_TRUE(Start(Quoted(picture))) << "velmora.exe did not show its window";
  EXPECT_TRUE(LabelShows(false, SizeText(640, 480, FileBytes(picture).size())))
      << WindowText(Label(false));
  app->Click("Shrink");
  EXPECT_TRUE(LabelShows(true, "Size: 192x144 , ", true)) << WindowText(Label(true));
  EXPECT_FALSE(app->HasModalWindow());
  ASSERT_EQ(app->CloseAndWait(20000), 0);

  WritePicture(Folder() + "small.jpg", 48, 32);
  ASSERT_TRUE(Start("small.jpg", Folder()));
  EXPECT_TRUE(LabelShows(false, SizeText(48, 32, FileBytes(Folder() + "small.jpg").size())));
}

// The command line's file gets the same messages as one chosen in the dialog.
TEST_F(OutsideFiles, ACommandLineFileThatCannotBeOpenedIsReportedByName) {
  const std::string missing = Folder() + "gone.jpg", notes = Folder() + "notes.jpg";
  ASSERT_TRUE(WriteFileBytes(notes, std::vector<uint8_t>(3000, 'n')));
  for (const std::string& path : {missing, notes}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(Start(Quoted(path)));
    const std::string shown = app->AnswerMessage();
    EXPECT_NE(shown.find(Quoted(path)), std::string::npos) << shown;
    app->Click("Shrink");
    EXPECT_TRUE(app->WaitIdle());
    EXPECT_EQ(WindowText(Label(true)), "");
    ASSERT_EQ(app->CloseAndWait(20000), 0);
  }
}

// A drop onto the window opens its first file as Open would; a dropped file that is not a JPEG
// picture is reported by name.
TEST_F(OutsideFiles, ADropOpensItsFirstFile) {
  const std::string first = WritePicture(Folder() + "first.jpg", 320, 240);
  const std::string second = WritePicture(Folder() + "second.jpg", 200, 100);
  ASSERT_TRUE(Start());
  ASSERT_TRUE(DropFiles(*app, {first, second}));
  EXPECT_TRUE(LabelShows(false, SizeText(320, 240, FileBytes(first).size())))
      << WindowText(Label(false));
  EXPECT_FALSE(app->HasModalWindow());

  const std::string notes = Folder() + "notes.txt";
  ASSERT_TRUE(WriteFileBytes(notes, std::vector<uint8_t>(100, 'x')));
  ASSERT_TRUE(DropFiles(*app, {notes}));
  const std::string shown = app->AnswerMessage();
  EXPECT_NE(shown.find(Quoted(notes)), std::string::npos) << shown;
}

// A MAPI32.DLL beside the program (as in a downloads folder) and one in the current directory
// are never loaded: the library that records the mailing is the system folder's, loaded once.
TEST_F(OutsideFiles, TheMailLibraryComesOnlyFromTheSystemFolder) {
  if (Place.MailLibrary.empty()) GTEST_SKIP() << "no test mail library in the system folder";
  ASSERT_TRUE(FileExists(Place.WorkDir + "MAPI32.DLL"));
  ASSERT_TRUE(
      CopyFileA((Place.WorkDir + "MAPI32.DLL").c_str(), (Folder() + "MAPI32.DLL").c_str(), FALSE));
  const std::string picture = WritePicture(Folder() + "Garden.jpg", 300, 200);
  ASSERT_TRUE(Start(Quoted(picture), Folder()));
  ASSERT_TRUE(LabelShows(false, "Size: 300x200 , ", true));
  app->Click("Shrink");
  ASSERT_TRUE(LabelShows(true, "Size: 90x60 , ", true));
  app->Click("Send by e-mail");
  ASSERT_TRUE(WaitFor([] {
    const std::vector<std::string> records = RecordLines(Place.MailLog);
    return std::any_of(records.begin(), records.end(),
                       [](const std::string& line) { return line.rfind("send\t", 0) == 0; });
  })) << "the mail library recorded no mailing";
  ASSERT_EQ(app->CloseAndWait(20000), 0);
  std::vector<std::string> attached;
  for (const std::string& line : RecordLines(Place.MailLog))
    if (line.rfind("attach", 0) == 0) attached.push_back(line);
  EXPECT_EQ(attached, std::vector<std::string>({"attach\tpath=" + Place.MailLibrary}));
  DeleteFileA((Place.TempDir + "Garden.jpg").c_str());  // the mailed copy
}

}  // namespace
