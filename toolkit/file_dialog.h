// The open and save file dialogs of the system in one object kind that keeps its settings
// between uses and brings the chosen name back. Relies on toolkit/object.h, the toolkit's
// application window (toolkit/control.h) and comdlg32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/object.h"

namespace velmora {

// Option bits; each sets one OFN_ flag (see the table in file_dialog.cpp).
enum FileDialogOption : uint16_t {
  OptionCreatePrompt = 1 << 0,
  OptionExtensionDifferent = 1 << 1,
  OptionFileMustExist = 1 << 2,
  OptionHideReadOnly = 1 << 3,
  OptionNoChangeDir = 1 << 4,
  OptionNoDereferenceLinks = 1 << 5,
  OptionAllowMultiSelect = 1 << 6,
  OptionNoNetworkButton = 1 << 7,
  OptionNoReadOnlyReturn = 1 << 8,
  OptionOverwritePrompt = 1 << 9,
  OptionPathMustExist = 1 << 10,
  OptionReadOnly = 1 << 11,
  OptionNoValidate = 1 << 12,
};

// File must exist, no read-only box, confirm overwriting, path must exist.
constexpr uint16_t DefaultFileDialogOptions = 0x060C;

// Name buffer sizes handed to the system, in bytes. One path of up to MAX_PATH characters
// takes up to three bytes a character when the ANSI code page is UTF-8.
constexpr uint32_t SingleFileNameBufferSize = 3 * MAX_PATH + 2;
constexpr uint32_t MultiFileNameBufferSize = 0xFFF0;

class FileDialog : public ObjectBase {
 public:
  void Destroy() override;  // releases the texts, then the base teardown

  // Shows the dialog modally; true when the user confirmed a name (then in FileName).
  bool Execute();

  std::string Filter;        // "Description|pattern;pattern|Description|pattern..."
  int32_t FilterIndex = 0;   // 1-based selected pair, updated by each confirmed dialog
  bool OpenMode = false;     // true: open dialog, false: save dialog
  std::string InitialDir;    // empty: the system's choice
  std::string DefExtension;  // without the dot, appended to names typed without one
  std::string FileName;      // shown first; afterwards the chosen path, empty after a cancel
  std::string Title;         // empty: the system's title
  uint16_t Options = 0;      // FileDialogOption bits
  HWND WndOwner = nullptr;   // 0: the application window
};

// An open dialog with the title, initial directory and options (the default set when 0).
FileDialog* MakeFileDialog(const std::string& title, const std::string& initial_dir,
                           uint16_t options);

// The system's form of a filter: every '|' a NUL, and one more NUL at the end.
std::string SystemFilterText(const std::string& filter);

// Turns a returned multiple selection (directory, NUL, names each ended by NUL, one more NUL)
// into one text with a carriage return between the parts. file_offset is the returned offset
// of the first name; a single full path is left alone.
void JoinSelectedFiles(std::vector<char>& buffer, WORD file_offset);

// The paths a confirmed dialog's FileName holds: one full path, or the folder and the names
// of a multiple selection joined by carriage returns (see JoinSelectedFiles).
std::vector<std::string> SplitSelectedFiles(const std::string& fileName);

// OFN_ flags for the option bits, with the explorer style, long names and sizing added.
DWORD FileDialogFlags(uint16_t options);

}  // namespace velmora
