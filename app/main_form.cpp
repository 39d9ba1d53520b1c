// Builds the main window in code. The order of creation is the docking order and the tab
// order: the top panel first, then the left column, the splitter and the right column.
#include "app/main_form.h"

#include <windows.h>

#include <algorithm>

#include "app/image_actions.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/control.h"
#include "toolkit/drawing_tool.h"
#include "toolkit/file_dialog.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/paint.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"
#include "toolkit/text_utils.h"

namespace velmora {

MainForm* TheMainForm = nullptr;

namespace {

constexpr const char* kImageFilter = "Image Files|*.jpg;*.jpeg";
constexpr int32_t kPercentItems = 10;
constexpr int32_t kThirtyPercent = 2;

FileDialog* MakeImageDialog(Control* form) {
  FileDialog* dialog = MakeFileDialog("", "", 0);
  dialog->Filter = kImageFilter;
  dialog->DefExtension = "jpg";
  form->OwnObject(dialog);
  return dialog;
}

Control* MakeSizeLabel(Control* panel, int32_t left, int32_t top) {
  return SetAutoSize(SetPosition(MakeLabel(panel, ""), left, top), true);
}

Control* MakeFittedButton(Control* panel, const char* caption, int32_t left, int32_t top) {
  return SetAutoSize(SetPosition(MakeButton(panel, caption), left, top), true);
}

// The web address is wider than the 115 pixels the link label is laid out with. The label
// takes the size of its text and keeps its right edge where it was laid out to end (or under
// the Send button, when that ends further right), moving left as needed, so the address is
// never cut off at the panel's edge.
void FitLinkLabel(MainForm* f) {
  SetAutoSize(f->LinkLabel, true);
  const int32_t right = std::max<int32_t>(f->SendButton->GetBounds().right, 648 + 115);
  SetPosition(f->LinkLabel, std::min(648, right - f->LinkLabel->GetWidth()), 42);
}

void BuildTopPanel(MainForm* f) {
  Control* panel = f->TopPanel;
  f->ShrunkSizeLabel = MakeSizeLabel(panel, 342, 33);
  f->OpenedSizeLabel = MakeSizeLabel(panel, 12, 33);

  f->LinkLabel = SetSize(SetPosition(MakeLabel(panel, MakerWebAddress), 648, 42), 115, 16);
  DrawingTool* font = f->LinkLabel->GetFont();
  font->SetColor(0x800000);  // dark blue
  font->SetFontStyle(font->FontStyle() | Underline);
  f->LinkLabel->SetControlCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND

  f->PercentLabel = SetAutoSize(SetPosition(MakeLabel(panel, "Shrink percent"), 93, 8), true);
  f->OpenButton = SetSize(SetPosition(MakeButton(panel, "Open ..."), 6, 5), 79, 0);
  f->ShrinkButton = MakeFittedButton(panel, "Shrink", 339, 6);
  f->SaveButton = MakeFittedButton(panel, "Save...", 504, 6);

  ComboOptions options = ComboNoIntegralHeight;
  f->PercentCombo = SetSize(SetPosition(MakeComboBox(panel, options), 248, 5), 49, 0);
  f->PercentCombo->SetBackColor(ColorWindow);
  for (int32_t i = 0; i < kPercentItems; ++i)
    SetItemText(f->PercentCombo, i, FormatText("%d%%", (i + 1) * 10));
  SetItemIndex(f->PercentCombo, 0);

  f->SendButton = MakeFittedButton(panel, "Send by e-mail", 615, 6);
  FitLinkLabel(f);
}

}  // namespace

void CreateMainForm(MainForm*& result, Control* parent) {
  MainForm* f = MakeObject<MainForm>();
  result = f;

  f->Form = SetClientSize(MakeForm(parent, "Velmora"), 775, 513);
  AppWindow = f->Form;
  f->Form->OwnObject(f);

  f->OpenDialog = MakeImageDialog(f->Form);
  f->SaveDialog = MakeImageDialog(f->Form);
  f->SaveDialog->OpenMode = false;

  f->TopPanel = SetSize(SetAlign(MakePanel(f->Form, PanelRaised), AlignTop), 0, 65);
  BuildTopPanel(f);

  f->LeftPanel = SetSize(SetAlign(MakePanel(f->Form, PanelRaised), AlignLeft), 389, 0);
  f->OpenedPane = SetAlign(MakePaintBox(f->LeftPanel), AlignClient);
  SetDoubleBuffered(f->OpenedPane, true);

  f->Splitter = SetAlign(MakeSplitter(f->Form, 0, 0), AlignLeft);

  f->RightPanel = SetAlign(MakePanel(f->Form, PanelRaised), AlignClient);
  f->ShrunkPane = SetAlign(MakePaintBox(f->RightPanel), AlignClient);

  f->LinkLabel->OnClick = MakeCallback(f, &LinkClick);
  SetPaintHandler(f->OpenedPane, MakeCallback(f, &PaintOpened));
  SetPaintHandler(f->ShrunkPane, MakeCallback(f, &PaintShrunk));
  f->OpenButton->OnClick = MakeCallback(f, &OpenClick);
  f->ShrinkButton->OnClick = MakeCallback(f, &ShrinkClick);
  f->SaveButton->OnClick = MakeCallback(f, &SaveClick);
  f->SendButton->OnClick = MakeCallback(f, &SendClick);

  HWND window = f->Form->GetWindowHandle();
  f->OpenDialog->WndOwner = window;
  f->SaveDialog->WndOwner = window;

  Center(f->Form);
  ResetState(f);
}

void ResetState(MainForm* form) {
  form->HasOpened = false;
  form->HasShrunk = false;
  SetItemIndex(form->PercentCombo, kThirtyPercent);
}

}  // namespace velmora
