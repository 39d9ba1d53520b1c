// Opens Explorer on the folder of some files with those files selected. Relies on
// toolkit/process.h (starting explorer.exe), shell32 and ole32.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// The command line that opens Explorer with one file selected: explorer.exe /select,"path".
std::string SelectInExplorerCommand(const std::string& path);

// Opens the folder of the files (full paths in the ANSI code page, all in one folder) with
// them selected. One file: Explorer started with /select (found on the search path, so the
// program's folder first). Several: the shell's SHOpenFolderAndSelectItems, which selects them
// all where the shell can; /select with the first file if it fails. False when nothing could
// be started.
bool ShowInFolder(const std::vector<std::string>& paths);

}  // namespace velmora
