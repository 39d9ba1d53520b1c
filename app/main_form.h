// The main window: the MainForm record that holds every control, the file dialogs, the
// pictures and the state flags, the photos opened together and their shrink, and
// CreateMainForm that builds the window in code. Relies on the toolkit's control kinds, layout
// and file dialog, on imaging/jpeg_image.h and imaging/batch_shrink.h, and on app/photo_list.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/photo_list.h"
#include "app/result_inbox.h"
#include "imaging/batch_shrink.h"
#include "imaging/preview.h"
#include "toolkit/object.h"

namespace velmora {

class Control;
class FileDialog;
class JpegImage;

// The maker's web address: the link label shows it and the browser is started with it.
inline constexpr const char* MakerWebAddress = "https://velmora.example/";

// The record of the main window and the owner of every event of the program. It holds
// references only, except the two pictures and what serves several photos, which it owns; the
// form frees the record.
class MainForm : public ObjectBase {
 public:
  // Stops the shrink of several photos before anything it delivers to goes.
  void Destroy() override;

  Control* Form = nullptr;
  Control* TopPanel = nullptr;
  Control* OpenButton = nullptr;
  FileDialog* OpenDialog = nullptr;
  FileDialog* SaveDialog = nullptr;
  Control* LeftPanel = nullptr;
  Control* OpenedPane = nullptr;
  Control* Splitter = nullptr;
  Control* RightPanel = nullptr;
  Control* ShrunkPane = nullptr;
  Control* OpenedSizeLabel = nullptr;
  Control* ShrinkButton = nullptr;
  Control* ShrunkSizeLabel = nullptr;
  Control* SaveButton = nullptr;
  Control* PercentCombo = nullptr;
  Control* PercentLabel = nullptr;
  Control* SendButton = nullptr;
  Control* LinkLabel = nullptr;
  bool HasOpened = false;
  bool HasShrunk = false;
  JpegImage* Opened = nullptr;
  JpegImage* Shrunk = nullptr;
  // The copies of the two pictures fitted to their panes.
  PanePreview OpenedPreview;
  PanePreview ShrunkPreview;

  // The full path of the opened file. The open dialog forgets its file name when a later
  // Open is cancelled, so Save (refusing to overwrite the original) and Send (naming the
  // mail and the attachment) read the path from here.
  std::string OpenedPath;

  // Several photos opened together. While there are, a row under the size lines shows the
  // buttons to the previous and the next photo, the photo line ("Photo 2 of 7") and the line
  // of the Shrink's progress or total; Opened, OpenedPath and the flags are those of the photo
  // shown, and the shrunk copies belong to Photos.
  Control* PreviousButton = nullptr;
  Control* NextButton = nullptr;
  Control* PhotoLabel = nullptr;
  Control* ProgressLabel = nullptr;
  // Asks where several shrunk photos are saved: a save dialog of which the folder counts.
  FileDialog* FolderDialog = nullptr;
  std::unique_ptr<PhotoList> Photos;  // the photos; one photo alone is not kept here
  size_t Current = 0;                 // the photo shown
  std::unique_ptr<BatchShrinker> Shrinker;
  std::unique_ptr<ResultInbox> Inbox;  // its results, on their way to the window
  int32_t ShrinkPercent = 0;           // of the latest Shrink of every photo
  bool Shrinking = false;              // that Shrink has results still to come
  int32_t Dpi = 96;                    // the screen's, read once at start

  bool Several() const { return Photos && Photos->Count() > 1; }
};

// The program's one main window record; set by the program entry.
extern MainForm* TheMainForm;

// Builds the record, the form with every control and the two dialogs, wires the events,
// centres the form and resets the state. Windows are created hidden until the loop runs.
void CreateMainForm(MainForm*& result, Control* parent);

// No picture opened or shrunk; the percentage shows "30%".
void ResetState(MainForm* form);

// Shows the row of several photos (and makes the top panel tall enough for it), or hides it.
void ShowPhotoRow(MainForm* form, bool shown);

}  // namespace velmora
