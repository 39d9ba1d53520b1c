// The main window: the MainForm record that holds every control, the file dialogs, the photos
// and their shrink, and CreateMainForm that builds the window in code. Relies on the toolkit's
// control kinds, layout and file dialog, on imaging/batch_shrink.h and imaging/preview.h, and on
// app/photo_list.h and app/result_inbox.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/photo_list.h"
#include "app/result_inbox.h"
#include "imaging/batch_shrink.h"
#include "imaging/fit.h"
#include "imaging/preview.h"
#include "toolkit/object.h"

namespace velmora {

class Control;
class FileDialog;

// The maker's web address: the link label shows it and the browser is started with it.
inline constexpr const char* MakerWebAddress = "https://velmora.example/";

// The record of the main window and the owner of every event of the program. It holds
// references to the controls and dialogs and owns the photos and their shrink; the form frees
// the record.
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
  // The photos opened, one or many, and the one shown. While there are several, a row under
  // the size lines shows the buttons to the previous and the next photo, the photo line
  // ("Photo 2 of 7") and the line of the Shrink's progress or total.
  std::unique_ptr<PhotoList> Photos;
  size_t Current = 0;
  Control* PreviousButton = nullptr;
  Control* NextButton = nullptr;
  Control* PhotoLabel = nullptr;
  Control* ProgressLabel = nullptr;
  // The copies of the shown photo and of its shrunk copy fitted to their panes.
  PanePreview OpenedPreview;
  PanePreview ShrunkPreview;
  // The shrink runs on worker threads; their results come back through the inbox.
  std::unique_ptr<BatchShrinker> Shrinker;
  std::unique_ptr<FitShrinker> Fitter;  // the shrink to a size choice (imaging/fit.h)
  const SizeChoice* Fitting = nullptr;  // the size choice of the latest run; null for a percentage
  std::unique_ptr<ResultInbox> Inbox;
  std::vector<size_t> RunPhotos;  // the photos of the run under way, in the shrinker's order
  bool Shrinking = false;         // that run has results still to come
  int32_t Dpi = 96;               // the screen's, read once at start
};

// The program's one main window record; set by the program entry.
extern MainForm* TheMainForm;

// Builds the record, the form with every control and the two dialogs, wires the events,
// centres the form and resets the state. Windows are created hidden until the loop runs.
void CreateMainForm(MainForm*& result, Control* parent);

// No photo opened or shrunk; the percentage shows "30%".
void ResetState(MainForm* form);

// Shows the row under the size lines (and makes the top panel tall enough for it), or hides
// it: with browse the buttons and the photo line of several photos, with line (or browse) the
// progress and total line.
void ShowPhotoRow(MainForm* form, bool browse, bool line = false);

}  // namespace velmora
