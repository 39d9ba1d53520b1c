// Handing the shrunk copies to other programs without mail: written into a fresh folder of
// Velmora's own under the temporary folder, then put on the clipboard, dragged, or shown in
// Explorer. Also the clean-up of such folders left from earlier days. Relies on
// app/photo_list.h and the toolkit's clipboard, file drag and Explorer units; no window record.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class Control;
class PhotoList;

// Every folder of Velmora's copies is named this, then the local time it was made and a
// number: "Velmora copies 20261207-063012-1234".
extern const char* const CopiesFolderPrefix;

// Whether a folder name is exactly such a name. No other folder is ever removed.
bool IsCopiesFolderName(const std::string& name);

// Makes a new copies folder in temp (a path ending in '\'); its path ending in '\', or ""
// when none could be made.
std::string NewCopiesFolder(const std::string& temp);

// Removes from temp the copies folders (and the files in them) whose last change, by the
// folder's own times, lies more than maxAgeSeconds before now. The number removed.
constexpr uint32_t CopiesKeptSeconds = 7 * 24 * 60 * 60;
int RemoveOldCopiesFolders(const std::string& temp, uint32_t maxAgeSeconds = CopiesKeptSeconds);

// The shrunk copies written for one hand-over.
struct SharedCopies {
  std::string Folder;              // ending in '\'
  std::vector<std::string> Paths;  // one for each photo with a shrunk copy, in list order
  std::string Problem;             // why they could not be written: the sentence to show
  bool Ready() const { return Problem.empty() && !Paths.empty(); }
};

// Writes the copy of every photo of the list that has one into a new copies folder in temp,
// each under its photo's name (made unique in the list). None written: Problem says why.
SharedCopies WriteSharedCopies(PhotoList& photos, const std::string& temp);

// Puts the copies on the clipboard as files to paste; one copy is also offered as a picture,
// decoded from its file only when a program asks for it. False when the clipboard refused.
bool CopyToClipboard(Control* owner, const SharedCopies& copies);

// Drags the copies as files from where the mouse is (see DragFiles); the effect chosen.
DWORD DragCopies(const SharedCopies& copies);

// Opens Explorer on the copies' folder with the copies selected.
bool ShowCopiesInFolder(const SharedCopies& copies);

// Send without a Simple MAPI mail program: the copies go on the clipboard, Explorer shows them
// in their folder, and one message says so (NoMailProgramText).
void OfferCopiesWithoutMail(Control* owner, const SharedCopies& copies);

// That message: no mail program is set up to send from other programs; the photos (or the
// photo) are ready to be pasted (Ctrl+V) or dragged into a mail, from the folder named.
std::string NoMailProgramText(const std::string& folder, size_t count);

// Gives the photo list whose shrunk copies are handed out (null: none).
using SharedPhotosProc = PhotoList* (*)(void* context);

// Makes the pane the source of the copies: its context menu (a right click, or Shift+F10 and
// the menu key anywhere in the form) offers Copy and Show in folder, Ctrl+C copies, and a press
// dragged out of the pane drags the copies as files. The list comes from photos(context) each
// time; while it has no shrunk copy the menu's items are greyed and nothing is handed out.
// One pane a program.
void AttachSharing(Control* form, Control* pane, void* context, SharedPhotosProc photos);

// The menu's item ids.
constexpr uint32_t CopyMenuItem = 1;
constexpr uint32_t ShowInFolderMenuItem = 2;

// A packed DIB of the JPEG file's picture (for the clipboard); null when it cannot be read.
HGLOBAL DibOfJpegFile(const std::string& path);

}  // namespace velmora
