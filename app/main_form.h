// The main window: the MainForm record that holds every control, the two file dialogs, the
// two pictures and the state flags, and CreateMainForm that builds the window in code.
// Relies on the toolkit's control kinds, layout and file dialog, and on imaging/jpeg_image.h.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/preview.h"
#include "toolkit/object.h"

namespace velmora {

class Control;
class FileDialog;
class JpegImage;

// The maker's web address: the link label shows it and the browser is started with it.
inline constexpr const char* MakerWebAddress = "https://velmora.example/";

// The record of the main window and the owner of every event of the program. It holds
// references only, except the two pictures, which it owns; the form frees the record.
class MainForm : public ObjectBase {
 public:
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
};

// The program's one main window record; set by the program entry.
extern MainForm* TheMainForm;

// Builds the record, the form with every control and the two dialogs, wires the events,
// centres the form and resets the state. Windows are created hidden until the loop runs.
void CreateMainForm(MainForm*& result, Control* parent);

// No picture opened or shrunk; the percentage shows "30%".
void ResetState(MainForm* form);

}  // namespace velmora
