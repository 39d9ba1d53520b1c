// Names in any script. This executable carries a manifest of its own that makes UTF-8 its
// ANSI code page, as the program's does; files and folders named in Cyrillic and CJK are made
// here through the wide API, and every place a name passes through takes them as UTF-8: the
// photo check, the same-file test, file names, mail subjects, the temporary folder, message
// boxes, the open dialog and the console tools' arguments. Opening, shrinking, saving and
// mailing such a photo through the program is
// VelmoraRun.PhotosNamedInAnyScriptOpenShrinkSaveAndMail.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/photo_list.h"
#include "app/wording.h"
#include "imaging/photo_file.h"
#include "e2e/app_driver.h"
#include "imaging/jpeg_image.h"
#include "imaging/test_support.h"
#include "mail/mapi_mail.h"
#include "toolkit/file_dialog.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using test::Bytes;

namespace {

std::string Utf8(const std::wstring& w) {
  std::string s(w.size() * 4, '\0');
  s.resize(WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), int(s.size()),
                               nullptr, nullptr));
  return s;
}

const std::wstring PhotoName = L"\u0444\u043e\u0442\u043e \u5199\u771f.jpg";  // фото 写真.jpg
const std::wstring CopyName = L"\u043a\u043e\u043f\u0438\u044f \u5199\u771f.jpg";  // копия 写真.jpg

Bytes Picture() {
  return test::EncodeJpeg(40, 24, 3,
                          [](int x, int y, int c) { return uint8_t(x * 5 + y * 3 + c); });
}

Bytes ReadWide(const std::wstring& path) { return e2e::FileBytes(Utf8(path)); }
void WriteWide(const std::wstring& path, const Bytes& bytes) {
  e2e::WriteFileBytes(Utf8(path), bytes);
}

// A folder named in Cyrillic and CJK under the temporary folder (or under parent), made and
// emptied through the wide API.
class WideFolder {
 public:
  explicit WideFolder(const std::wstring& name, std::wstring parent = L"") {
    if (parent.empty()) {
      wchar_t temp[MAX_PATH];
      parent.assign(temp, GetTempPathW(MAX_PATH, temp));
    }
    Path = parent + name + L" " + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(Path.c_str(), nullptr);
  }
  ~WideFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  std::wstring Path;
};

// Sets a variable of this process for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : Name(name) {
    wchar_t old[4096];
    DWORD n = GetEnvironmentVariableW(name, old, 4096);
    Had = n > 0 && n < 4096;
    Old.assign(old, Had ? n : 0);
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { SetEnvironmentVariableW(Name, Had ? Old.c_str() : nullptr); }

 private:
  const wchar_t* Name;
  std::wstring Old;
  bool Had = false;
};

// The first visible dialog box of this process, waiting up to 30 s.
HWND WaitForDialog() {
  HWND box = nullptr;
  e2e::WaitFor(
      [&] {
        for (HWND w : e2e::Windows(nullptr, false, GetCurrentProcessId()))
          if (e2e::IsClass(w, "#32770")) box = w;
        return box != nullptr;
      },
      30);
  return box;
}

// A console tool of the build: tools/ beside the tests' own folder.
std::wstring ToolsPath(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"..\\tools\\" + name;
}

class Names : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GetACP(), 65001u) << "the test manifest sets UTF-8"; }
};

}  // namespace

// Catches a name that goes through a narrower code page on its way to the file system, a
// photo in any script left out of a list, a comparison in one letter case only, a mail subject
// cut inside a character, and names made unique in one letter case only.
TEST_F(Names, PhotoListsComparisonsMailSubjectsAndCopyNamesKeepTheirCharacters) {
  WideFolder folder(L"velmora \u0441\u043f\u0438\u0441\u043e\u043a");
  WriteWide(folder.Path + PhotoName, Picture());
  const std::string photo = Utf8(folder.Path + PhotoName);
  const PhotoFacts facts = InspectPhotoFile(photo);
  EXPECT_TRUE(facts.Usable());
  EXPECT_EQ(facts.Width, 40u);
  EXPECT_EQ(FileNameOf(photo), Utf8(PhotoName));
  const std::wstring shouted = L"\u0424\u041e\u0422\u041e \u5199\u771f.JPG";
  EXPECT_TRUE(IsSameFile(photo, Utf8(folder.Path + shouted)));
  EXPECT_FALSE(IsSameFile(photo, Utf8(folder.Path + CopyName)));

  // 199 bytes of letters, then a two-byte Cyrillic letter across the cut at 197.
  const std::string cyrillic = Utf8(L"\u0444");
  const std::string name = std::string(196, 'a') + cyrillic + cyrillic + "b.jpg";
  EXPECT_EQ(MailSubject({name}), std::string(196, 'a') + "...");
  EXPECT_EQ(MailSubject({std::string(195, 'a') + cyrillic + "xyz.jpg"}),
            std::string(195, 'a') + cyrillic + "...");
  EXPECT_EQ(UniqueFileNames({"C:\\a\\" + Utf8(PhotoName), "C:\\b\\" + Utf8(shouted)}),
            std::vector<std::string>(
                {Utf8(PhotoName), Utf8(L"\u0424\u041e\u0422\u041e \u5199\u771f (2).JPG")}));
}

// Catches a temporary folder cut at MAX_PATH bytes (its UTF-8 form is longer than MAX_PATH
// characters would be) and a message box showing mangled text. (Send's copy named in any
// script in the temporary folder: the end-to-end names journey.)
TEST_F(Names, TemporaryFolderAndMessageBoxCarryTheNames) {
  // 2 x 40 CJK characters: about 280 bytes of path in UTF-8, well under MAX_PATH characters.
  WideFolder outer(std::wstring(40, L'\u5199'));
  WideFolder temp(std::wstring(40, L'\u771f'), outer.Path);
  ASSERT_GT(Utf8(temp.Path).size(), size_t{MAX_PATH + 1});
  ScopedVariable tmp(L"TMP", temp.Path), tempVar(L"TEMP", temp.Path);
  ASSERT_EQ(TempDirectory(), Utf8(temp.Path));

  const std::wstring shown = L"The picture could not be saved as \"" + PhotoName + L"\".";
  std::wstring seen;
  std::thread helper([&] {
    if (HWND box = WaitForDialog()) {
      wchar_t text[512] = L"";
      GetDlgItemTextW(box, 0xFFFF, text, 512);
      seen = text;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  });
  ShowInfoMessage(Utf8(shown));
  helper.join();
  EXPECT_EQ(seen, shown);
}

// Catches an open dialog whose name buffer cannot hold a long path in UTF-8.
TEST_F(Names, OpenDialogGivesTheUtf8PathOfALongNameInAnyScript) {
  WideFolder folder(std::wstring(60, L'\u540d'));
  const std::wstring name = std::wstring(70, L'\u0436') + L" " + PhotoName;
  WriteWide(folder.Path + name, Picture());
  ASSERT_GT(Utf8(folder.Path + name).size(), size_t{300});
  FileDialog* dialog = MakeFileDialog("", Utf8(folder.Path), 0);
  std::thread helper([&] {
    HWND box = WaitForDialog();
    HWND edit = box ? GetDlgItem(box, 0x47C) : nullptr;
    if (HWND combo = edit ? FindWindowExW(edit, nullptr, L"ComboBox", nullptr) : nullptr)
      edit = combo;
    if (HWND inner = edit ? FindWindowExW(edit, nullptr, L"Edit", nullptr) : nullptr) edit = inner;
    if (!edit) return void(box && PostMessageW(box, WM_COMMAND, IDCANCEL, 0));
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_TRUE(dialog->Execute());
  helper.join();
  EXPECT_EQ(dialog->FileName, Utf8(folder.Path + name));
  FreeObject(dialog);
}

// Catches tool arguments turned into '?' on the way from the command line to the file system.
TEST_F(Names, ConsoleToolsTakeUtf8NamesAsArguments) {
  WideFolder folder(
      L"velmora \u5de5\u5177 \u0438\u043d\u0441\u0442\u0440\u0443\u043c\u0435\u043d\u0442");
  const Bytes bytes = Picture();
  WriteWide(folder.Path + PhotoName, bytes);
  auto [code, out, errors] = test::RunProgram(L"\"" + ToolsPath(L"velmora-header.exe") + L"\" \"" +
                                              folder.Path + PhotoName + L"\"");
  EXPECT_EQ(code, 0u) << errors;
  EXPECT_EQ(out, "width 40 height 24 bytes " + std::to_string(bytes.size()) + "\n");

  std::tie(code, out, errors) =
      test::RunProgram(L"\"" + ToolsPath(L"velmora-shrink.exe") + L"\" \"" + folder.Path +
                       PhotoName + L"\" 50 \"" + folder.Path + CopyName + L"\"");
  EXPECT_EQ(code, 0u) << errors;
  test::Decoded copy = test::DecodeReference(ReadWide(folder.Path + CopyName));
  EXPECT_EQ(std::make_pair(copy.Width, copy.Height), std::make_pair(20, 12));

  // An error names the file in UTF-8 too.
  std::tie(code, out, errors) =
      test::RunProgram(L"\"" + ToolsPath(L"velmora-header.exe") + L"\" \"" + folder.Path +
                       L"\u043d\u0435\u0442.jpg\"");
  EXPECT_NE(code, 0u);
  EXPECT_NE(errors.find(Utf8(L"\u043d\u0435\u0442.jpg") + ": cannot open the file"),
            std::string::npos)
      << errors;
}
