// FileDialog against the system's own open and save dialogs. A helper thread waits for the
// dialog window of this process, looks at what the dialog shows (title, name box, file types,
// owner), types a name into the name box and confirms, or cancels.
#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/file_dialog.h"

using namespace velmora;

namespace {

constexpr int kNameBoxId = 0x47C;     // explorer-style file-name box
constexpr int kOldNameBoxId = 0x480;  // the plain edit box of older dialogs
constexpr int kFileTypeBoxId = 0x470;

struct WindowSearch {
  HWND except;
  HWND found;
};

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[32] = "";
  GetClassNameA(window, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && window != search->except && IsWindowVisible(window) &&
      std::string(cls) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The first visible dialog window of this process other than `except`, waiting up to 30 s;
// stops early when `while_alive` is given and that window goes away.
HWND WaitForDialog(HWND except = nullptr, HWND while_alive = nullptr) {
  for (int i = 0; i < 600; ++i) {
    WindowSearch search{except, nullptr};
    EnumWindows(FindDialogWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (while_alive && !IsWindow(while_alive)) return nullptr;
    Sleep(50);
  }
  return nullptr;
}

HWND NameEdit(HWND dialog) {
  if (HWND box = GetDlgItem(dialog, kNameBoxId)) {
    char cls[32] = "";
    GetClassNameA(box, cls, sizeof cls);
    if (std::string(cls) == "ComboBoxEx32") box = FindWindowExA(box, nullptr, "ComboBox", nullptr);
    if (HWND edit = FindWindowExA(box, nullptr, "Edit", nullptr)) return edit;
    return box;
  }
  return GetDlgItem(dialog, kOldNameBoxId);
}

std::string WindowText(HWND window) {
  std::vector<char> text(GetWindowTextLengthA(window) + 1);
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

// What the helper saw in the dialog before acting on it.
struct Seen {
  bool dialog = false;
  std::string title;
  std::string name;
  std::vector<std::string> file_types;
  int file_type_selected = -1;
  HWND owner = nullptr;
  bool overwrite_prompt = false;
};

enum class Answer { Cancel, Type };

// Drives the next dialog of this process from a helper thread for as long as it lives.
class DialogDriver {
 public:
  DialogDriver(Answer answer, std::string typed = "", bool confirm_prompt = false)
      : thread_([this, answer, typed, confirm_prompt] { Drive(answer, typed, confirm_prompt); }) {}
  ~DialogDriver() { Finish(); }

  const Seen& Finish() {
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  void Drive(Answer answer, const std::string& typed, bool confirm_prompt) {
    HWND dialog = WaitForDialog();
    if (!dialog) return;
    seen_.dialog = true;
    seen_.title = WindowText(dialog);
    seen_.owner = GetWindow(dialog, GW_OWNER);
    HWND edit = NameEdit(dialog);
    if (edit) seen_.name = WindowText(edit);
    if (HWND types = GetDlgItem(dialog, kFileTypeBoxId)) {
      int count = static_cast<int>(SendMessageA(types, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        char item[256] = "";
        SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        seen_.file_types.push_back(item);
      }
      seen_.file_type_selected = static_cast<int>(SendMessageA(types, CB_GETCURSEL, 0, 0));
    }
    if (answer == Answer::Cancel || !edit) {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    // A confirmation box owned by the dialog, if one comes before the dialog closes.
    if (HWND prompt = WaitForDialog(dialog, dialog)) {
      seen_.overwrite_prompt = true;
      PostMessageA(prompt, WM_COMMAND, confirm_prompt ? IDYES : IDNO, 0);
      if (!confirm_prompt) {
        Sleep(200);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      }
    }
  }

  Seen seen_;
  std::thread thread_;
};

// A fresh directory under the temporary one, removed with its files at the end.
class TempFolder {
 public:
  TempFolder() {
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "fdt", 0, path);
    DeleteFileA(path);
    path_ = std::string(path) + " dir";
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string& f : files_) DeleteFileA(f.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  std::string Add(const std::string& name) {
    std::string file = Path(name);
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    files_.push_back(file);
    return file;
  }
  std::string Path(const std::string& name) const { return path_ + "\\" + name; }
  const std::string& Dir() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

struct DialogHolder {
  FileDialog* dialog;
  explicit DialogHolder(FileDialog* d) : dialog(d) {}
  ~DialogHolder() { FreeObject(dialog); }
  FileDialog* operator->() { return dialog; }
};

std::string UniqueTitle(const char* base) {
  return std::string(base) + " " + std::to_string(GetTickCount());
}

TEST(FileDialog, MadeAsOpenDialogWithTheDefaultOptions) {
  DialogHolder made(MakeFileDialog("t", "C:\\", 0));
  EXPECT_TRUE(made->OpenMode);
  EXPECT_EQ(made->Options, DefaultFileDialogOptions);
  EXPECT_EQ(made->Title, "t");
  EXPECT_EQ(made->InitialDir, "C:\\");
  EXPECT_TRUE(made->FileName.empty() && made->Filter.empty() && made->DefExtension.empty());
  EXPECT_EQ(made->FilterIndex, 0);
  DialogHolder chosen(MakeFileDialog("", "", OptionAllowMultiSelect));
  EXPECT_EQ(chosen->Options, OptionAllowMultiSelect);
}

TEST(FileDialog, OptionBitsAndFilterReachTheSystemInItsForm) {
  const DWORD always = OFN_EXPLORER | OFN_LONGNAMES | OFN_ENABLESIZING;
  EXPECT_EQ(FileDialogFlags(DefaultFileDialogOptions), always | OFN_FILEMUSTEXIST |
                                                           OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT |
                                                           OFN_PATHMUSTEXIST);
  EXPECT_EQ(
      FileDialogFlags(0x1FFF) & ~always,
      static_cast<DWORD>(OFN_CREATEPROMPT | OFN_EXTENSIONDIFFERENT | OFN_FILEMUSTEXIST |
                         OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_NODEREFERENCELINKS |
                         OFN_ALLOWMULTISELECT | OFN_NONETWORKBUTTON | OFN_NOREADONLYRETURN |
                         OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_READONLY | OFN_NOVALIDATE));
  const std::string filter = "Image Files|*.jpg;*.jpeg";
  const std::string system = SystemFilterText(filter);
  EXPECT_EQ(std::string(system.c_str(), system.size() + 1),
            std::string("Image Files\0*.jpg;*.jpeg\0\0", 26));
}

// Lays out a returned buffer of `size` bytes: the parts, each ended by NUL, then the rest
// of the buffer filled with `rest`.
std::vector<char> ReturnedBuffer(const std::vector<std::string>& parts, size_t size,
                                 const std::string& rest = "") {
  std::vector<char> buffer;
  for (const std::string& part : parts) {
    buffer.insert(buffer.end(), part.begin(), part.end());
    buffer.push_back('\0');
  }
  buffer.insert(buffer.end(), rest.begin(), rest.end());
  buffer.resize(size, '\0');
  return buffer;
}

TEST(FileDialog, ReturnedSelectionBecomesOneText) {
  const std::string dir = "C:\\Photos";
  // Several names: directory and names joined by carriage returns.
  std::vector<char> list = ReturnedBuffer({dir, "a.jpg", "b c.jpg"}, 64);
  JoinSelectedFiles(list, static_cast<WORD>(dir.size() + 1));
  EXPECT_EQ(std::string(list.data()), dir + "\r" + "a.jpg" + "\r" + "b c.jpg");

  // One full path; what follows its NUL is left over from the starting name.
  const std::string path = dir + "\\x.jpg";
  std::vector<char> single = ReturnedBuffer({path}, 64, "stale tail");
  JoinSelectedFiles(single, static_cast<WORD>(dir.size() + 1));
  EXPECT_EQ(std::string(single.data()), path);

  // A list that fills the buffer to its last byte stays inside it.
  std::vector<char> full = ReturnedBuffer({dir, "a.jpg"}, dir.size() + 8);
  full.back() = 'z';
  JoinSelectedFiles(full, static_cast<WORD>(dir.size() + 1));
  EXPECT_EQ(std::string(full.data(), full.size()), dir + "\r" + "a.jpg" + "\r" + "z");
}

TEST(FileDialog, OpenGivesTheFullPathAndCancelClearsTheName) {
  TempFolder folder;
  const std::string file = folder.Add("Picture One.jpg");
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Open test"), folder.Dir(), 0));
  dialog->Filter = "Image Files|*.jpg;*.jpeg|All Files|*.*";

  {
    DialogDriver driver(Answer::Type, "Picture One.jpg");
    EXPECT_TRUE(dialog->Execute());
    const Seen& seen = driver.Finish();
    ASSERT_TRUE(seen.dialog);
    EXPECT_EQ(seen.title, dialog->Title);
    EXPECT_EQ(seen.name, "");
    EXPECT_EQ(seen.file_types, (std::vector<std::string>{"Image Files", "All Files"}));
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(dialog->FilterIndex, seen.file_type_selected + 1);
  }
  EXPECT_EQ(dialog->FileName, file);

  {
    // The next dialog starts with the last chosen name (the system may show the directory
    // part as the folder it opens); a cancel clears it.
    DialogDriver driver(Answer::Cancel);
    EXPECT_FALSE(dialog->Execute());
    const std::string shown = driver.Finish().name;
    EXPECT_TRUE(!shown.empty() && file.ends_with(shown)) << shown;
  }
  EXPECT_EQ(dialog->FileName, "");

  {
    DialogDriver driver(Answer::Cancel);
    EXPECT_FALSE(dialog->Execute());
    EXPECT_EQ(driver.Finish().name, "");
  }
}

TEST(FileDialog, SaveAppendsTheDefaultExtensionAndKeepsCase) {
  TempFolder folder;
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Save test"), folder.Dir(), 0));
  dialog->OpenMode = false;
  dialog->Filter = "Image Files|*.jpg;*.jpeg";
  dialog->DefExtension = "jpg";

  struct Case {
    std::string typed, expected;
  };
  const Case cases[] = {{"New Shot", "New Shot." + dialog->DefExtension},
                        {"Other.jpeg", "Other.jpeg"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    DialogDriver driver(Answer::Type, c.typed);
    EXPECT_TRUE(dialog->Execute());
    EXPECT_FALSE(driver.Finish().overwrite_prompt);
    EXPECT_EQ(dialog->FileName, folder.Path(c.expected));
  }
}

TEST(FileDialog, SaveOverAnExistingFileAsksFirst) {
  TempFolder folder;
  const std::string file = folder.Add("old.jpg");
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Overwrite test"), folder.Dir(), 0));
  dialog->OpenMode = false;
  dialog->DefExtension = "jpg";
  {
    DialogDriver driver(Answer::Type, "old", /*confirm_prompt=*/true);
    EXPECT_TRUE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().overwrite_prompt);
    EXPECT_EQ(dialog->FileName, file);
  }
  {
    // Declined: the dialog stays and is then cancelled.
    DialogDriver driver(Answer::Type, "old.jpg", /*confirm_prompt=*/false);
    EXPECT_FALSE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().overwrite_prompt);
    EXPECT_EQ(dialog->FileName, "");
  }
}

TEST(FileDialog, FilterIndexAndEmptyFilter) {
  TempFolder folder;
  const std::string file = folder.Add("a.jpg");
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Filter test"), folder.Dir(), 0));
  dialog->Filter = "Image Files|*.jpg;*.jpeg|All Files|*.*";
  dialog->FilterIndex = 2;
  {
    DialogDriver driver(Answer::Type, "a.jpg");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_EQ(driver.Finish().file_type_selected, 1);
    EXPECT_EQ(dialog->FilterIndex, 2);
  }
  dialog->Filter.clear();
  {
    DialogDriver driver(Answer::Type, "a.jpg");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().file_types.empty());
    EXPECT_EQ(dialog->FileName, file);
  }
  // Malformed filters and an index past the list still give a working dialog.
  for (const char* odd : {"Only a description", "Images|", "|*.jpg|||"}) {
    SCOPED_TRACE(odd);
    dialog->Filter = odd;
    dialog->FilterIndex = 9;
    DialogDriver driver(Answer::Type, "a.jpg");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().dialog);
    EXPECT_EQ(dialog->FileName, file);
  }
}

TEST(FileDialog, LongStartingNameIsCutToTheBuffer) {
  TempFolder folder;
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Long name test"), folder.Dir(), 0));
  const std::string long_name(SingleFileNameBufferSize + 40, 'n');
  dialog->FileName = long_name;
  DialogDriver driver(Answer::Cancel);
  EXPECT_FALSE(dialog->Execute());
  EXPECT_EQ(driver.Finish().name, long_name.substr(0, SingleFileNameBufferSize - 1));
  EXPECT_EQ(dialog->FileName, "");
}

TEST(FileDialog, MultipleSelectionJoinsPartsWithCarriageReturns) {
  TempFolder folder;
  folder.Add("a.jpg");
  folder.Add("b.jpg");
  const std::string single = folder.Add("c.jpg");
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Multi test"), folder.Dir(),
                                     DefaultFileDialogOptions | OptionAllowMultiSelect));
  {
    DialogDriver driver(Answer::Type, "\"a.jpg\" \"b.jpg\"");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, folder.Dir() + "\r" + "a.jpg" + "\r" + "b.jpg");
  }
  {
    // One file chosen after a longer starting name: just its path, nothing of the old name.
    dialog->FileName = std::string(200, 'x');
    DialogDriver driver(Answer::Type, "c.jpg");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName, single);
  }
}

// A plain window of this thread to own the dialogs.
class OwnerWindow {
 public:
  OwnerWindow()
      : window_(CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  ~OwnerWindow() { DestroyWindow(window_); }
  HWND Handle() const { return window_; }

 private:
  HWND window_;
};

TEST(FileDialog, OwnerIsTheGivenWindowElseTheApplicationWindow) {
  TempFolder folder;
  DialogHolder dialog(MakeFileDialog(UniqueTitle("Owner test"), folder.Dir(), 0));
  OwnerWindow given, app;
  Control* app_control = MakeControlObject(nullptr);
  app_control->WindowHandle = app.Handle();
  AppWindow = app_control;
  {
    DialogDriver driver(Answer::Cancel);
    dialog->Execute();
    EXPECT_EQ(driver.Finish().owner, app.Handle());
  }
  dialog->WndOwner = given.Handle();
  {
    DialogDriver driver(Answer::Cancel);
    dialog->Execute();
    EXPECT_EQ(driver.Finish().owner, given.Handle());
  }
  AppWindow = nullptr;
  app_control->WindowHandle = nullptr;
  FreeObject(app_control);
}

}  // namespace
