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

// What the helper saw in the dialog before acting on it, and what Execute returned.
struct Seen {
  bool dialog = false, overwrite_prompt = false, confirmed = false;
  std::string title, name;
  std::vector<std::string> file_types;
  int file_type_selected = -1;
  HWND owner = nullptr;
};

// Runs on a helper thread: types `typed` into the next dialog of this process and confirms
// (saying yes to a confirmation box), or cancels when `typed` is null.
void Drive(const char* typed, Seen& seen) {
  HWND dialog = WaitForDialog();
  if (!dialog) return;
  seen.dialog = true;
  seen.title = WindowText(dialog);
  seen.owner = GetWindow(dialog, GW_OWNER);
  HWND edit = NameEdit(dialog);
  if (edit) seen.name = WindowText(edit);
  if (HWND types = GetDlgItem(dialog, kFileTypeBoxId)) {
    for (int i = 0; i < SendMessageA(types, CB_GETCOUNT, 0, 0); ++i) {
      char item[256] = "";
      SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      seen.file_types.push_back(item);
    }
    seen.file_type_selected = static_cast<int>(SendMessageA(types, CB_GETCURSEL, 0, 0));
  }
  if (!typed || !edit) {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  // A confirmation box owned by the dialog, if one comes before the dialog closes.
  if (HWND prompt = WaitForDialog(dialog, dialog)) {
    seen.overwrite_prompt = true;
    PostMessageA(prompt, WM_COMMAND, IDYES, 0);
  }
}

Seen Show(FileDialog* dialog, const char* typed = nullptr) {
  Seen seen;
  std::thread helper(Drive, typed, std::ref(seen));
  const bool confirmed = dialog->Execute();
  helper.join();
  seen.confirmed = confirmed;
  return seen;
}

// A fresh directory with a blank in its name under the temporary one, removed at the end.
struct TempFolder {
  std::string dir;
  std::vector<std::string> files;
  TempFolder() {
    char temp[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    GetTempFileNameA(temp, "fdt", 0, path);
    DeleteFileA(path);
    dir = std::string(path) + " dir";
    CreateDirectoryA(dir.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string& f : files) DeleteFileA(f.c_str());
    RemoveDirectoryA(dir.c_str());
  }
  std::string Add(const std::string& name) {
    files.push_back(dir + "\\" + name);
    CloseHandle(
        CreateFileA(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return files.back();
  }
};

struct DialogHolder {
  FileDialog* dialog;
  DialogHolder(const char* title, const std::string& dir, uint16_t options = 0)
      : dialog(MakeFileDialog(std::string(title) + " " + std::to_string(GetTickCount()), dir,
                              options)) {}
  ~DialogHolder() { FreeObject(dialog); }
  FileDialog* operator->() { return dialog; }
};

// A returned buffer of `size` bytes holding `text`, the rest NULs.
std::vector<char> ReturnedBuffer(const std::string& text, size_t size) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.resize(size, '\0');
  return buffer;
}

TEST(FileDialog, FilterAndSelectionTextsInTheSystemsForm) {
  EXPECT_TRUE(DialogHolder("t", "")->OpenMode);

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
  std::vector<char> list = ReturnedBuffer(dir + '\0' + "a.jpg" + '\0' + "b c.jpg", 64);
  JoinSelectedFiles(list, offset);
  EXPECT_EQ(std::string(list.data()), dir + "\r" + "a.jpg" + "\r" + "b c.jpg");

  // One full path: what follows its NUL is left over from the starting name, not a list.
  const std::string path = dir + "\\x.jpg";
  std::vector<char> single = ReturnedBuffer(path + '\0' + "stale tail", 64);
  JoinSelectedFiles(single, offset);
  EXPECT_EQ(std::string(single.data()), path);

  // A list that fills the buffer to its last byte stays inside it.
  std::vector<char> full = ReturnedBuffer(dir + '\0' + "a.jpg" + '\0' + "z", dir.size() + 8);
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
  DialogHolder dialog("Open test", folder.dir);
  dialog->Filter = "Image Files|*.jpg;*.jpeg|All Files|*.*";
  dialog->FilterIndex = 2;
  OwnerWindow given, app;
  Control* app_control = MakeControlObject(nullptr);
  app_control->WindowHandle = app.handle;
  AppWindow = app_control;

  Seen seen = Show(dialog.dialog, "Picture One.jpg");
  ASSERT_TRUE(seen.dialog);
  EXPECT_TRUE(seen.confirmed);
  EXPECT_EQ(seen.title, dialog->Title);
  EXPECT_EQ(seen.name, "");
  EXPECT_EQ(seen.file_types, (std::vector<std::string>{"Image Files", "All Files"}));
  EXPECT_EQ(seen.file_type_selected, 1);
  EXPECT_EQ(seen.owner, app.handle);
  EXPECT_EQ(dialog->FileName, file);
  EXPECT_EQ(dialog->FilterIndex, 2);

  // The next dialog starts with the last chosen name (the system may show the directory part
  // as the folder it opens); a cancel clears it, so the one after starts empty.
  dialog->WndOwner = given.handle;
  seen = Show(dialog.dialog);
  EXPECT_FALSE(seen.confirmed);
  EXPECT_TRUE(!seen.name.empty() && file.ends_with(seen.name)) << seen.name;
  EXPECT_EQ(seen.owner, given.handle);
  EXPECT_EQ(dialog->FileName, "");
  seen = Show(dialog.dialog);
  EXPECT_FALSE(seen.confirmed);
  EXPECT_EQ(seen.name, "");

  AppWindow = nullptr;
  app_control->WindowHandle = nullptr;
  FreeObject(app_control);
}

TEST(FileDialog, SaveAppendsTheDefaultExtensionAndAsksBeforeOverwriting) {
  TempFolder folder;
  const std::string existing = folder.Add("old.jpg");
  DialogHolder dialog("Save test", folder.dir);
  dialog->OpenMode = false;
  dialog->Filter = "Image Files|*.jpg;*.jpeg";
  dialog->DefExtension = "jpg";
  // A starting name longer than the name buffer is cut to it.
  const std::string long_name(SingleFileNameBufferSize + 40, 'n');
  dialog->FileName = long_name;
  Seen seen = Show(dialog.dialog, "New Shot");
  EXPECT_TRUE(seen.confirmed);
  EXPECT_EQ(seen.name, long_name.substr(0, SingleFileNameBufferSize - 1));
  EXPECT_FALSE(seen.overwrite_prompt);
  EXPECT_EQ(dialog->FileName, folder.dir + "\\New Shot." + dialog->DefExtension);

  seen = Show(dialog.dialog, "old");
  EXPECT_TRUE(seen.confirmed);
  EXPECT_TRUE(seen.overwrite_prompt);
  EXPECT_EQ(dialog->FileName, existing);
}

TEST(FileDialog, MultipleSelectionJoinsOnlyARealList) {
  TempFolder folder;
  folder.Add("a.jpg");
  folder.Add("b.jpg");
  const std::string single = folder.Add("c.jpg");
  DialogHolder dialog("Multi test", folder.dir, DefaultFileDialogOptions | OptionAllowMultiSelect);
  Seen seen = Show(dialog.dialog, "\"a.jpg\" \"b.jpg\"");
  EXPECT_TRUE(seen.confirmed);
  EXPECT_TRUE(seen.file_types.empty());
  EXPECT_EQ(dialog->FileName, folder.dir + "\r" + "a.jpg" + "\r" + "b.jpg");

  // One file after a longer starting name: just its path, nothing of the old name; a
  // malformed filter with an index past it still gives a working dialog.
  dialog->FileName = std::string(200, 'x');
  dialog->Filter = "Only a description";
  dialog->FilterIndex = 9;
  EXPECT_TRUE(Show(dialog.dialog, "c.jpg").confirmed);
  EXPECT_EQ(dialog->FileName, single);
}

}  // namespace
