// File dialog: builds the 76-byte OPENFILENAMEA of the first explorer-style systems on each
// Execute, calls the open or save dialog and turns the returned buffer into FileName.
#include "toolkit/file_dialog.h"

#include <commdlg.h>

#include <vector>

#include "toolkit/control.h"
#include "toolkit/text_utils.h"

namespace velmora {

namespace {

// OPENFILENAMEA without the fields that later systems appended.
constexpr DWORD OpenFileNameRecordSize = 76;
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == OpenFileNameRecordSize);

// Option bit i sets OptionFlags[i].
constexpr int32_t OptionFlags[] = {
    OFN_CREATEPROMPT,     OFN_EXTENSIONDIFFERENT, OFN_FILEMUSTEXIST,    OFN_HIDEREADONLY,
    OFN_NOCHANGEDIR,      OFN_NODEREFERENCELINKS, OFN_ALLOWMULTISELECT, OFN_NONETWORKBUTTON,
    OFN_NOREADONLYRETURN, OFN_OVERWRITEPROMPT,    OFN_PATHMUSTEXIST,    OFN_READONLY,
    OFN_NOVALIDATE};

}  // namespace

// A multiple selection comes back as the directory, NUL, each name followed by NUL, and one
// more NUL; it becomes one text with a carriage return between the parts. A single selection
// is one full path whose separator before the name is a backslash, and is left as it is: the
// bytes after its NUL may be what remains of the name the dialog started with.
void JoinSelectedFiles(std::vector<char>& buffer, WORD file_offset) {
  if (file_offset == 0 || file_offset >= buffer.size() || buffer[file_offset - 1] != '\0') return;
  for (size_t i = 0; i + 1 < buffer.size(); ++i) {
    if (buffer[i] != '\0') continue;
    if (buffer[i + 1] == '\0') break;
    buffer[i] = '\r';
  }
}

std::string SystemFilterText(const std::string& filter) {
  std::string text = filter + '\0';
  for (char& ch : text) {
    if (ch == '|') ch = '\0';
  }
  return text;  // c_str() adds the final NUL
}

DWORD FileDialogFlags(uint16_t options) {
  return FlagsFromSet(options, OptionFlags, sizeof OptionFlags / sizeof OptionFlags[0]) |
         OFN_EXPLORER | OFN_LONGNAMES | OFN_ENABLESIZING;
}

FileDialog* MakeFileDialog(const std::string& title, const std::string& initial_dir,
                           uint16_t options) {
  FileDialog* dialog = MakeObject<FileDialog>();
  dialog->Options = options ? options : DefaultFileDialogOptions;
  dialog->OpenMode = true;
  dialog->Title = title;
  dialog->InitialDir = initial_dir;
  return dialog;
}

void FileDialog::Destroy() {
  Filter.clear();
  InitialDir.clear();
  DefExtension.clear();
  FileName.clear();
  Title.clear();
  ObjectBase::Destroy();
}

bool FileDialog::Execute() {
  OPENFILENAMEA record{};
  record.lStructSize = OpenFileNameRecordSize;
  record.hwndOwner = WndOwner;
  if (!record.hwndOwner && AppWindow) record.hwndOwner = AppWindow->WindowHandle;
  record.hInstance = GetModuleHandleA(nullptr);

  const std::string filter = SystemFilterText(Filter);
  record.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
  record.lpstrCustomFilter = nullptr;
  record.nMaxCustFilter = 0;
  record.nFilterIndex = FilterIndex;

  const DWORD flags = FileDialogFlags(Options);
  const uint32_t size =
      (flags & OFN_ALLOWMULTISELECT) ? MultiFileNameBufferSize : SingleFileNameBufferSize;
  std::vector<char> buffer(size, '\0');
  FileName.copy(buffer.data(), size - 1);
  record.lpstrFile = buffer.data();
  record.nMaxFile = size;

  record.lpstrFileTitle = nullptr;
  record.nMaxFileTitle = 0;
  record.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
  record.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
  record.Flags = flags;
  record.nFileOffset = 0;
  record.nFileExtension = 0;
  record.lpstrDefExt = DefExtension.c_str();
  record.lCustData = reinterpret_cast<LPARAM>(this);
  record.lpfnHook = nullptr;
  record.lpTemplateName = nullptr;

  const BOOL confirmed = OpenMode ? GetOpenFileNameA(&record) : GetSaveFileNameA(&record);
  if (confirmed) {
    FilterIndex = static_cast<int32_t>(record.nFilterIndex);
    if (Options & OptionAllowMultiSelect) JoinSelectedFiles(buffer, record.nFileOffset);
    buffer.back() = '\0';
    FileName = buffer.data();
  } else {
    FileName.clear();
  }
  return confirmed != 0;
}

std::vector<std::string> SplitSelectedFiles(const std::string& fileName) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= fileName.size();) {
    size_t end = fileName.find('\r', start);
    if (end == std::string::npos) end = fileName.size();
    if (end > start) parts.push_back(fileName.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() <= 1) return parts;
  std::string folder = parts[0];
  if (folder.back() != '\\') folder += '\\';
  std::vector<std::string> paths;
  for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
  return paths;
}

}  // namespace velmora
