// The user's actions on the main window: open a JPEG, shrink it by the chosen percentage,
// save or mail the result, open the maker's web page, and paint the two preview panes. With
// several photos open the actions go on to app/several_photos.h. Relies on app/main_form.h,
// imaging/jpeg_image.h, imaging/shrink.h and the toolkit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace velmora {

class Control;
class MainForm;

// The refusal to save over an opened original.
inline constexpr const char* SameFileMessage =
    "Save better with different name (old file has better quality).";

// Click handlers; owner is the MainForm record.
void OpenClick(void* owner, Control* sender);
void ShrinkClick(void* owner, Control* sender);
void SaveClick(void* owner, Control* sender);
void SendClick(void* owner, Control* sender);
void LinkClick(void* owner, Control* sender);

// Opens the JPEG file at path as Open does with the one file chosen in its dialog: the opened
// picture, its size line and pane, and a message when the file cannot be read, is not a JPEG
// picture or cannot be decoded. An empty path opens nothing, like a cancelled dialog.
void OpenPictureFile(MainForm* form, const std::string& path);
// The same without the message: its text is returned ("" when there is none).
std::string OpenPicture(MainForm* form, const std::string& path);

// Paint handlers of the two panes; dc is the device context of the paint in progress.
void PaintOpened(void* owner, Control* sender, HDC dc);
void PaintShrunk(void* owner, Control* sender, HDC dc);

struct DrawSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// The size a w x h picture is drawn at in a pane, aspect ratio kept, filling the pane's
// width or height. A picture or pane with a side of 0 or less is drawn at 0 x 0.
DrawSize FitToPane(int32_t paneWidth, int32_t paneHeight, int32_t w, int32_t h);

}  // namespace velmora
