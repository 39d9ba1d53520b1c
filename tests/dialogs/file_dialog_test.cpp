// FileDialog against the system's own dialogs, driven by a helper thread that types a name and
// confirms, or cancels. Each opening is slow, so every live case checks several things at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "toolkit/file_dialog.h"
#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

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

std::string WindowText(HWND window) {
  std::vector<char> text(GetWindowTextLengthA(window) + 1);
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

// What the dialog showed before the helper acted on it, and what Execute returned.
struct Seen {
  bool confirmed = false, overwrite_prompt = false;
  std::string name;
  std::vector<std::string> file_types;
  int file_type_selected = -1;
};

// Shows the dialog; a helper types `typed` and confirms (yes to any prompt), or cancels.
Seen Show(FileDialog* dialog, const char* typed = nullptr) {
  Seen seen;
  std::thread helper([&] {
    HWND window = WaitForDialog();
    if (!window) return;
    HWND edit = GetDlgItem(window, 0x47C);  // explorer style: an edit in a combo box
    if (HWND combo = edit ? FindWindowExA(edit, nullptr, "ComboBox", nullptr) : nullptr)
      edit = combo;
    if (HWND inner = edit ? FindWindowExA(edit, nullptr, "Edit", nullptr) : nullptr) edit = inner;
    if (!edit) edit = GetDlgItem(window, 0x480);  // older style: a plain edit box
    if (edit) seen.name = WindowText(edit);
    if (HWND types = GetDlgItem(window, 0x470)) {
      for (int i = 0; i < SendMessageA(types, CB_GETCOUNT, 0, 0); ++i) {
        char item[256] = "";
        SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        seen.file_types.push_back(item);
      }
      seen.file_type_selected = static_cast<int>(SendMessageA(types, CB_GETCURSEL, 0, 0));
    }
    if (!typed || !edit) return void(PostMessageA(window, WM_COMMAND, IDCANCEL, 0));
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    if (HWND prompt = WaitForDialog(window, window)) {
      seen.overwrite_prompt = true;
      PostMessageA(prompt, WM_COMMAND, IDYES, 0);
    }
  });
  seen.confirmed = dialog->Execute();
  helper.join();
  return seen;
}

// A fresh directory with a blank in its name and empty files in it, removed at the end.
struct TempFolder {
  std::string dir = TempDirectory() + "velmora dialog " + std::to_string(GetTickCount());
  std::vector<std::string> files;
  TempFolder() { CreateDirectoryA(dir.c_str(), nullptr); }
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

// NUL-separated filters; joining skips a stale tail after one path and stays inside a full buffer.
TEST(FileDialog, FilterAndSelectionTextsInTheSystemsForm) {
  for (const std::string filter : {"Image Files|*.jpg;*.jpeg", "Only a description", "|*.jpg||"}) {
    std::string expected = filter + std::string(2, '\0');
    for (char& ch : expected) ch = ch == '|' ? '\0' : ch;
    const std::string system = SystemFilterText(filter);
    EXPECT_EQ(std::string(system.c_str(), system.size() + 1), expected);
  }

  const std::string dir = "C:\\Photos";
  const WORD offset = static_cast<WORD>(dir.size() + 1);
  // What joining leaves in a returned buffer of `size` bytes holding `text`, the rest NULs.
  const auto joined = [&](std::string text, size_t size) {
    text.resize(size, '\0');
    std::vector<char> buffer(text.begin(), text.end());
    JoinSelectedFiles(buffer, offset);
    return std::string(buffer.data(), buffer.size());
  };
  EXPECT_EQ(joined(dir + '\0' + "a.jpg" + '\0' + "b c.jpg", 64).c_str(),
            dir + "\r" + "a.jpg" + "\r" + "b c.jpg");
  EXPECT_EQ(joined(dir + "\\x.jpg" + '\0' + "stale tail", 64).c_str(), dir + "\\x.jpg");
  EXPECT_EQ(joined(dir + '\0' + "a.jpg" + '\0' + "z", dir.size() + 8),
            dir + "\r" + "a.jpg" + "\r" + "z");
}

// A typed name comes back as the full path; a cancel clears it so the next dialog starts empty.
TEST(FileDialog, OpenGivesTheFullPathAndCancelClearsTheName) {
  TempFolder folder;
  const std::string file = folder.Add("Picture One.jpg");
  FileDialog* dialog = MakeFileDialog("Open test", folder.dir, 0);
  dialog->Filter = "Image Files|*.jpg;*.jpeg|All Files|*.*";
  dialog->FilterIndex = 2;
  Seen seen = Show(dialog, "Picture One.jpg");
  EXPECT_TRUE(seen.confirmed);
  EXPECT_EQ(seen.file_types, (std::vector<std::string>{"Image Files", "All Files"}));
  EXPECT_EQ(seen.file_type_selected, dialog->FilterIndex - 1);
  EXPECT_EQ(dialog->FileName, file);

  seen = Show(dialog);
  EXPECT_FALSE(seen.confirmed);
  EXPECT_TRUE(!seen.name.empty() && file.ends_with(seen.name)) << seen.name;
  EXPECT_EQ(dialog->FileName, "");
  EXPECT_EQ(Show(dialog).name, "");
  FreeObject(dialog);
}

// Default extension; overwriting only after a prompt; a too long starting name is cut.
TEST(FileDialog, SaveAppendsTheDefaultExtensionAndAsksBeforeOverwriting) {
  TempFolder folder;
  const std::string existing = folder.Add("old.jpg");
  FileDialog* dialog = MakeFileDialog("Save test", folder.dir, 0);
  dialog->OpenMode = false;
  dialog->Filter = "Image Files|*.jpg;*.jpeg";
  dialog->DefExtension = "jpg";
  dialog->FileName = std::string(SingleFileNameBufferSize + 40, 'n');
  Seen seen = Show(dialog, "New Shot");
  EXPECT_TRUE(seen.confirmed);
  EXPECT_EQ(seen.name, std::string(SingleFileNameBufferSize - 1, 'n'));
  EXPECT_FALSE(seen.overwrite_prompt);
  EXPECT_EQ(dialog->FileName, folder.dir + "\\New Shot.jpg");

  seen = Show(dialog, "old");
  EXPECT_TRUE(seen.confirmed && seen.overwrite_prompt);
  EXPECT_EQ(dialog->FileName, existing);
  FreeObject(dialog);
}

// Several files come back joined; one file after a longer name (and a bad filter) is its path.
TEST(FileDialog, MultipleSelectionJoinsOnlyARealList) {
  TempFolder folder;
  folder.Add("a.jpg");
  folder.Add("b.jpg");
  const std::string single = folder.Add("c.jpg");
  FileDialog* dialog =
      MakeFileDialog("Multi test", folder.dir, DefaultFileDialogOptions | OptionAllowMultiSelect);
  EXPECT_TRUE(Show(dialog, "\"a.jpg\" \"b.jpg\"").confirmed);
  EXPECT_EQ(dialog->FileName, folder.dir + "\r" + "a.jpg" + "\r" + "b.jpg");

  dialog->FileName = std::string(200, 'x');
  dialog->Filter = "Only a description";
  dialog->FilterIndex = 9;
  EXPECT_TRUE(Show(dialog, "c.jpg").confirmed);
  EXPECT_EQ(dialog->FileName, single);
  FreeObject(dialog);
}

}  // namespace
