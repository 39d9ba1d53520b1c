// The user's actions on the main window, one path for one photo and for many: open photos,
// move through them, shrink them all by the chosen percentage, save or mail the copies, open
// the maker's web page, and paint the two preview panes. One photo is a list of one; only the
// photo row and the words of a few messages depend on the count. Relies on app/main_form.h,
// app/photo_list.h, app/wording.h, imaging/batch_shrink.h, mail/mapi_mail.h and the toolkit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class Control;
class MainForm;
struct WindowMessage;

// Posted to the form by the inbox when shrink results have come.
constexpr UINT ShrinkResultsMessage = WM_APP + 0x101;

// The refusal to save a photo over its opened original.
inline constexpr const char* SameFileMessage =
    "Save better with different name (old file has better quality).";

// Click handlers; owner is the MainForm record.
void OpenClick(void* owner, Control* sender);
void ShrinkClick(void* owner, Control* sender);
void SaveClick(void* owner, Control* sender);
void SendClick(void* owner, Control* sender);
void LinkClick(void* owner, Control* sender);
// The previous and next buttons, the wheel over the panes (a notch away from the user goes to
// the previous photo) and the change of the percentage (while a Shrink runs it starts over at
// the new one).
void PreviousClick(void* owner, Control* sender);
void NextClick(void* owner, Control* sender);
void PaneWheel(void* owner, Control* sender, int32_t notches);
void PercentChange(void* owner, Control* sender);

// Opens the files in the order given, from the open dialog, the command line or a drop.
// Those that cannot be read or are no JPEG picture the program can decode are left out and
// named together in one message; the rest become the photos, the first one shown. When none
// is left no photo is open (and the size line tells what the one file given is, when its
// header could be read). No paths: nothing opens, the pane repaints (a cancelled dialog).
void OpenPhotos(MainForm* form, const std::vector<std::string>& paths);

// Paint handlers of the two panes; dc is the device context of the paint in progress.
void PaintOpened(void* owner, Control* sender, HDC dc);
void PaintShrunk(void* owner, Control* sender, HDC dc);

// The form's handler of ShrinkResultsMessage: takes the results that have come.
bool ShrinkResultsHandler(Control* control, WindowMessage& message, LRESULT* result);

struct DrawSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// The size a w x h picture is drawn at in a pane, aspect ratio kept, filling the pane's
// width or height. A picture or pane with a side of 0 or less is drawn at 0 x 0.
DrawSize FitToPane(int32_t paneWidth, int32_t paneHeight, int32_t w, int32_t h);

}  // namespace velmora
