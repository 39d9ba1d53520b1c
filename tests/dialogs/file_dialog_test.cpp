// FileDialog against the system's own open and save dialogs. A helper thread waits for the
// dialog window of this process, notes what it shows, then types a name and confirms, or
// cancels. Each opening is slow, so every live case checks several things at once.
#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

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

// The first visible dialog window of this process other than `except`, waiting up to 30 s;
// stops early when `while_alive` is given and that window goes away.
HWND WaitForDialog(HWND except = nullptr, HWND while_alive = nullptr) {
  for (int i = 0; i < 600; ++i) {
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr));) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == GetCurrentProcessId() && w != except && IsWindowVisible(w)) return w;
    }
    if (while_alive && !IsWindow(while_alive)) return nullptr;
    Sleep(50);
  }
  return nullptr;
}

HWND NameEdit(HWND dialog) {
  HWND box = GetDlgItem(dialog, kNameBoxId);
  if (!box) return GetDlgItem(dialog, kOldNameBoxId);
  if (HWND combo = FindWindowExA(box, nullptr, "ComboBox", nullptr)) box = combo;
  HWND edit = FindWindowExA(box, nullptr, "Edit", nullptr);
  return edit ? edit : box;
}

std::string WindowText(HWND window) {
  std::vector<char> text(GetWindowTextLengthA(window) + 1);
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

// What the helper saw in the dialog before acting on it.
struct Seen {
  bool dialog = false;
  std::string title, name;
  std::vector<std::string> file_types;
  int file_type_selected = -1;
  HWND owner = nullptr;
  bool overwrite_prompt = false;
};

// Drives the next dialog of this process from a helper thread: types `typed` and confirms
// (and says yes to a confirmation box), or cancels when `typed` is null.
class DialogDriver {
 public:
  explicit DialogDriver(const char* typed = nullptr) : thread_([this, typed] { Drive(typed); }) {}
  ~DialogDriver() { Finish(); }

  const Seen& Finish() {
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  void Drive(const char* typed) {
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
    if (!typed || !edit) {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    // A confirmation box owned by the dialog, if one comes before the dialog closes.
    if (HWND prompt = WaitForDialog(dialog, dialog)) {
      seen_.overwrite_prompt = true;
      PostMessageA(prompt, WM_COMMAND, IDYES, 0);
    }
  }

  Seen seen_;
  std::thread thread_;
};

// A fresh directory with a blank in its name under the temporary one, removed at the end.
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
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
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
  DialogHolder(const char* title, const std::string& dir, uint16_t options = 0)
      : dialog(MakeFileDialog(std::string(title) + " " + std::to_string(GetTickCount()), dir,
                              options)) {}
  ~DialogHolder() { FreeObject(dialog); }
  FileDialog* operator->() { return dialog; }
};

// A returned buffer of `size` bytes: the parts, each ended by NUL, then `rest`, then NULs.
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

TEST(FileDialog, FilterAndSelectionTextsInTheSystemsForm) {
  DialogHolder made("t", "");
  EXPECT_TRUE(made->OpenMode);
  EXPECT_EQ(made->Options, DefaultFileDialogOptions);

  // Every '|' a NUL and a double NUL at the end, also for malformed filters.
  for (const std::string filter : {"Image Files|*.jpg;*.jpeg", "Only a description", "|*.jpg||"}) {
    std::string expected = filter;
    for (char& ch : expected) ch = ch == '|' ? '\0' : ch;
    expected += std::string(2, '\0');
    const std::string system = SystemFilterText(filter);
    EXPECT_EQ(std::string(system.c_str(), system.size() + 1), expected);
  }

  const std::string dir = "C:\\Photos";
  const WORD offset = static_cast<WORD>(dir.size() + 1);
  std::vector<char> list = ReturnedBuffer({dir, "a.jpg", "b c.jpg"}, 64);
  JoinSelectedFiles(list, offset);
  EXPECT_EQ(std::string(list.data()), dir + "\r" + "a.jpg" + "\r" + "b c.jpg");

  // One full path: what follows its NUL is left over from the starting name, not a list.
  const std::string path = dir + "\\x.jpg";
  std::vector<char> single = ReturnedBuffer({path}, 64, "stale tail");
  JoinSelectedFiles(single, offset);
  EXPECT_EQ(std::string(single.data()), path);

  // A list that fills the buffer to its last byte stays inside it.
  std::vector<char> full = ReturnedBuffer({dir, "a.jpg"}, dir.size() + 8);
  full.back() = 'z';
  JoinSelectedFiles(full, offset);
  EXPECT_EQ(std::string(full.data(), full.size()), dir + "\r" + "a.jpg" + "\r" + "z");
}

// A plain window of this thread to own the dialogs.
struct OwnerWindow {
  HWND handle = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  ~OwnerWindow() { DestroyWindow(handle); }
};

TEST(FileDialog, OpenGivesTheFullPathAndCancelClearsTheName) {
  TempFolder folder;
  const std::string file = folder.Add("Picture One.jpg");
  DialogHolder dialog("Open test", folder.Dir());
  dialog->Filter = "Image Files|*.jpg;*.jpeg|All Files|*.*";
  dialog->FilterIndex = 2;
  OwnerWindow given, app;
  Control* app_control = MakeControlObject(nullptr);
  app_control->WindowHandle = app.handle;
  AppWindow = app_control;

  {
    DialogDriver driver("Picture One.jpg");
    EXPECT_TRUE(dialog->Execute());
    const Seen& seen = driver.Finish();
    ASSERT_TRUE(seen.dialog);
    EXPECT_EQ(seen.title, dialog->Title);
    EXPECT_EQ(seen.name, "");
    EXPECT_EQ(seen.file_types, (std::vector<std::string>{"Image Files", "All Files"}));
    EXPECT_EQ(seen.file_type_selected, 1);
    EXPECT_EQ(seen.owner, app.handle);
  }
  EXPECT_EQ(dialog->FileName, file);
  EXPECT_EQ(dialog->FilterIndex, 2);

  dialog->WndOwner = given.handle;
  {
    // The next dialog starts with the last chosen name (the system may show the directory
    // part as the folder it opens); a cancel clears it.
    DialogDriver driver;
    EXPECT_FALSE(dialog->Execute());
    const Seen& seen = driver.Finish();
    EXPECT_TRUE(!seen.name.empty() && file.ends_with(seen.name)) << seen.name;
    EXPECT_EQ(seen.owner, given.handle);
  }
  EXPECT_EQ(dialog->FileName, "");
  {
    DialogDriver driver;
    EXPECT_FALSE(dialog->Execute());
    EXPECT_EQ(driver.Finish().name, "");
  }

  AppWindow = nullptr;
  app_control->WindowHandle = nullptr;
  FreeObject(app_control);
}

TEST(FileDialog, SaveAppendsTheDefaultExtensionAndAsksBeforeOverwriting) {
  TempFolder folder;
  const std::string existing = folder.Add("old.jpg");
  DialogHolder dialog("Save test", folder.Dir());
  dialog->OpenMode = false;
  dialog->Filter = "Image Files|*.jpg;*.jpeg";
  dialog->DefExtension = "jpg";
  {
    // A starting name longer than the name buffer is cut to it.
    const std::string long_name(SingleFileNameBufferSize + 40, 'n');
    dialog->FileName = long_name;
    DialogDriver driver("New Shot");
    EXPECT_TRUE(dialog->Execute());
    const Seen& seen = driver.Finish();
    EXPECT_EQ(seen.name, long_name.substr(0, SingleFileNameBufferSize - 1));
    EXPECT_FALSE(seen.overwrite_prompt);
  }
  EXPECT_EQ(dialog->FileName, folder.Path("New Shot." + dialog->DefExtension));
  {
    DialogDriver driver("old");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().overwrite_prompt);
  }
  EXPECT_EQ(dialog->FileName, existing);
}

TEST(FileDialog, MultipleSelectionJoinsOnlyARealList) {
  TempFolder folder;
  folder.Add("a.jpg");
  folder.Add("b.jpg");
  const std::string single = folder.Add("c.jpg");
  DialogHolder dialog("Multi test", folder.Dir(),
                      DefaultFileDialogOptions | OptionAllowMultiSelect);
  {
    DialogDriver driver("\"a.jpg\" \"b.jpg\"");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().file_types.empty());
  }
  EXPECT_EQ(dialog->FileName, folder.Dir() + "\r" + "a.jpg" + "\r" + "b.jpg");
  {
    // One file after a longer starting name: just its path, nothing of the old name; a
    // malformed filter with an index past it still gives a working dialog.
    dialog->FileName = std::string(200, 'x');
    dialog->Filter = "Only a description";
    dialog->FilterIndex = 9;
    DialogDriver driver("c.jpg");
    EXPECT_TRUE(dialog->Execute());
    EXPECT_TRUE(driver.Finish().dialog);
  }
  EXPECT_EQ(dialog->FileName, single);
}

}  // namespace
