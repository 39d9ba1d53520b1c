// Builds the main window in code, its lengths scaled to the screen's DPI. The order of creation
// is the docking order: the top panel first, then the left column, the splitter and the right
// column. Tab goes through the controls in the order they are seen.
#include "app/main_form.h"

#include <windows.h>

#include <algorithm>

#include "app/image_actions.h"
#include "app/sharing.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/control.h"
#include "toolkit/drawing_tool.h"
#include "toolkit/file_dialog.h"
#include "toolkit/form.h"
#include "toolkit/keyboard.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/mouse_wheel.h"
#include "toolkit/paint.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"
#include "toolkit/text_utils.h"

namespace velmora {

MainForm* TheMainForm = nullptr;

namespace {

PhotoList* SharedPhotos(void* form) { return static_cast<MainForm*>(form)->Photos.get(); }

constexpr const char* kImageFilter = "Image Files|*.jpg;*.jpeg";
// Photos to open may also be HEIF/HEIC (iPhone) ones; the copies are always JPEG.
constexpr const char* kOpenFilter = "Image Files|*.jpg;*.jpeg;*.heic;*.heif;*.hif";
constexpr int32_t kThirtyPercent = 2;
// The top panel's height at 96 DPI, and what the row of several photos adds to it.
constexpr int32_t kTopPanelHeight = 65;
constexpr int32_t kPhotoRowHeight = 28;

FileDialog* MakeImageDialog(Control* form) {
  FileDialog* dialog = MakeFileDialog("", "", 0);
  dialog->Filter = kImageFilter;
  dialog->DefExtension = "jpg";
  form->OwnObject(dialog);
  return dialog;
}

// The layout's lengths are given for a screen of 96 DPI; a ScreenScale turns one into pixels of
// this screen (the system's DPI, which the manifest declares the program aware of). At 96 DPI
// every length stays as it is given.
struct ScreenScale {
  int32_t Dpi = 96;
  int32_t operator()(int32_t length) const { return MulDiv(length, Dpi, 96); }
};

ScreenScale ScaleOfScreen() {
  HDC screen = GetDC(nullptr);
  const int32_t dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return ScreenScale{dpi > 0 ? dpi : 96};
}

// A font of the given face, cell height and average width (0: the face's own) and weight,
// those lengths given for 96 DPI. The width is rounded down, so that no text grows wider than
// the room the layout gives it.
void SetScaledFont(DrawingTool* font, const char* face, int32_t height, int32_t width, LONG weight,
                   const ScreenScale& s) {
  LOGFONTA& f = font->Description.Font;
  f.lfHeight = s(height);
  f.lfWidth = width * s.Dpi / 96;
  f.lfWeight = weight;
  lstrcpynA(f.lfFaceName, face, LF_FACESIZE);
  font->DropHandle();
}

// At 96 DPI the controls show their text in the system font and the link label in the
// toolkit's default font, as they always have. Elsewhere the system font does not grow with
// the screen, so the form gets a font of its 96-DPI cell (16 x 7 pixels, bold) scaled, in its
// scalable look-alike; every control made after this takes it from its parent.
void ScaleFormFont(Control* form, const ScreenScale& s) {
  if (s.Dpi != 96) SetScaledFont(form->GetFont(), "MS Sans Serif", 16, 7, FW_BOLD, s);
}

// The toolkit's auto-size adds its kind's extra pixels to the text; they scale too.
Control* ScaleAutoSizeExtras(Control* control, const ScreenScale& s) {
  control->Kind.AutoSizeExtraWidth = static_cast<uint16_t>(s(control->Kind.AutoSizeExtraWidth));
  control->Kind.AutoSizeExtraHeight = static_cast<uint16_t>(s(control->Kind.AutoSizeExtraHeight));
  return control;
}

Control* MakeFittedLabel(Control* panel, const std::string& text, int32_t left, int32_t top,
                         const ScreenScale& s) {
  Control* label = ScaleAutoSizeExtras(MakeLabel(panel, text), s);
  return SetAutoSize(SetPosition(label, s(left), s(top)), true);
}

// Buttons keep the toolkit's default height of 22 pixels, scaled.
Control* MakeScaledButton(Control* panel, const char* caption, int32_t left, int32_t top,
                          const ScreenScale& s) {
  Control* button = ScaleAutoSizeExtras(MakeButton(panel, caption), s);
  return SetSize(SetPosition(button, s(left), s(top)), 0, s(22));
}

Control* MakeFittedButton(Control* panel, const char* caption, int32_t left, int32_t top,
                          const ScreenScale& s) {
  return SetAutoSize(MakeScaledButton(panel, caption, left, top, s), true);
}

// The web address is wider than the 115 pixels the link label is laid out with. The label
// takes the size of its text and keeps its right edge where it was laid out to end (or under
// the Send button, when that ends further right), moving left as needed, so the address is
// never cut off at the panel's edge.
void FitLinkLabel(MainForm* f, const ScreenScale& s) {
  SetAutoSize(ScaleAutoSizeExtras(f->LinkLabel, s), true);
  const int32_t right = std::max<int32_t>(f->SendButton->GetBounds().right, s(648) + s(115));
  SetPosition(f->LinkLabel, std::min(s(648), right - f->LinkLabel->GetWidth()), s(42));
}

// The percentage box shows its widest item whole, with any font: at least its laid-out width,
// wide enough for the item's text, the edit field's margins, the frame and the drop-down
// button, growing to the right up to the Shrink button and no further.
void FitPercentBox(MainForm* f, const ScreenScale& s) {
  HWND combo = f->PercentCombo->GetWindowHandle();
  HWND edit = GetWindow(combo, GW_CHILD);
  HDC dc = GetDC(combo);
  if (!dc) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0));
  HGDIOBJ before =
      SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  int32_t widest = 0;
  const int32_t count = static_cast<int32_t>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int32_t i = 0; i < count; ++i) {
    char text[64] = {};
    if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof text)) continue;
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    widest = std::max<int32_t>(widest, extent.cx);
  }
  SelectObject(dc, before);
  ReleaseDC(combo, dc);
  const DWORD margins = edit ? static_cast<DWORD>(SendMessageA(edit, EM_GETMARGINS, 0, 0)) : 0;
  // Around the edit field: the box's frame and drop-down button, as the box lays them out.
  RECT field = {};
  if (edit) GetClientRect(edit, &field);
  const int32_t around = edit ? f->PercentCombo->GetWidth() - (field.right - field.left)
                              : 4 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL);
  // The caret and a pixel on either side of the text need room too: an item chosen with the
  // caret after it must not scroll its first letters out of sight.
  const int32_t needed = widest + LOWORD(margins) + HIWORD(margins) + s(4) + around;
  const int32_t width = std::max(f->PercentCombo->GetWidth(), needed);
  SetSize(f->PercentCombo, width, 0);
  // The Shrink button moves right when the box needs its room, never onto the Save button.
  const RECT box = f->PercentCombo->GetBounds(), shrink = f->ShrinkButton->GetBounds();
  const int32_t most = f->SaveButton->GetBounds().left - s(8) - (shrink.right - shrink.left);
  if (shrink.left < box.right + s(2))
    SetPosition(f->ShrinkButton, std::min<int32_t>(box.right + s(2), most), shrink.top);
}

void BuildTopPanel(MainForm* f, const ScreenScale& s) {
  Control* panel = f->TopPanel;
  f->ShrunkSizeLabel = MakeFittedLabel(panel, "", 342, 33, s);
  f->OpenedSizeLabel = MakeFittedLabel(panel, "", 12, 33, s);

  f->LinkLabel =
      SetSize(SetPosition(MakeLabel(panel, MakerWebAddress), s(648), s(42)), s(115), s(16));
  DrawingTool* font = f->LinkLabel->GetFont();
  // The toolkit's default font: its default size is a 16-pixel cell at 96 DPI.
  if (s.Dpi != 96) SetScaledFont(font, "MS Sans Serif", 16, 0, FW_DONTCARE, s);
  font->SetColor(0x800000);  // dark blue
  font->SetFontStyle(font->FontStyle() | Underline);
  f->LinkLabel->SetControlCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND

  f->PercentLabel = MakeFittedLabel(panel, "Shrink percent", 93, 8, s);
  f->OpenButton = SetSize(MakeScaledButton(panel, "Open ...", 6, 5, s), s(79), 0);
  f->ShrinkButton = MakeFittedButton(panel, "Shrink", 345, 6, s);
  f->SaveButton = MakeFittedButton(panel, "Save...", 504, 6, s);

  // The combo box takes its height from its font.
  ComboOptions options = ComboNoIntegralHeight;
  f->PercentCombo = SetSize(SetPosition(MakeComboBox(panel, options), s(248), s(5)), s(49), 0);
  // The edit field gives a font set on it margins of its own, which the system font has not:
  // without them the percentage keeps its room as at 96 DPI.
  if (s.Dpi != 96)
    SendMessageA(GetWindow(f->PercentCombo->GetWindowHandle(), GW_CHILD), EM_SETMARGINS,
                 EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  f->PercentCombo->SetBackColor(ColorWindow);
  for (int32_t i = 0; i < kPercentItems; ++i)
    SetItemText(f->PercentCombo, i, FormatText("%d%%", (i + 1) * 10));
  // After the percentages, the sizes to fit under: each copy, or all of them in one mail.
  for (const SizeChoice& choice : SizeChoices)
    SetItemText(f->PercentCombo, static_cast<int32_t>(&choice - SizeChoices) + kPercentItems,
                choice.Label);
  SetItemIndex(f->PercentCombo, 0);

  f->SendButton = MakeFittedButton(panel, "Send by e-mail", 615, 6, s);
  FitPercentBox(f, s);
  FitLinkLabel(f, s);
}

// The row of several photos, under the size lines and hidden until they are opened: the
// buttons to the previous and the next photo side by side, the photo line after them, and
// the progress or total line from the percentage's column on, where the longest total (with
// its mail warning) still fits the window's width.
void BuildPhotoRow(MainForm* f, const ScreenScale& s) {
  Control* panel = f->TopPanel;
  const int32_t top = kTopPanelHeight - 3;
  f->PreviousButton = SetSize(MakeScaledButton(panel, "<", 6, top, s), s(25), 0);
  f->NextButton = SetSize(MakeScaledButton(panel, ">", 33, top, s), s(25), 0);
  f->PhotoLabel = MakeFittedLabel(panel, "", 66, top + 4, s);
  f->ProgressLabel = MakeFittedLabel(panel, "", 248, top + 4, s);
  for (Control* c : {f->PreviousButton, f->NextButton, f->PhotoLabel, f->ProgressLabel})
    c->SetVisible(false);
}

}  // namespace

void CreateMainForm(MainForm*& result, Control* parent) {
  MainForm* f = MakeObject<MainForm>();
  result = f;

  // Every length below is scaled to the screen's DPI, margins and the splitter included.
  const ScreenScale s = ScaleOfScreen();
  f->Form = SetClientSize(MakeForm(parent, "Velmora"), s(775), s(513));
  AppWindow = f->Form;
  f->Form->OwnObject(f);
  f->Form->AlignMargin = s(f->Form->AlignMargin);  // the children take it over from the form
  ScaleFormFont(f->Form, s);

  f->Dpi = s.Dpi;
  f->OpenDialog = MakeImageDialog(f->Form);
  // Several photos may be chosen at once.
  f->OpenDialog->Options = DefaultFileDialogOptions | OptionAllowMultiSelect;
  f->OpenDialog->Filter = kOpenFilter;
  f->SaveDialog = MakeImageDialog(f->Form);
  f->SaveDialog->OpenMode = false;

  f->TopPanel = SetSize(SetAlign(MakePanel(f->Form, PanelRaised), AlignTop), 0, s(kTopPanelHeight));
  BuildTopPanel(f, s);
  BuildPhotoRow(f, s);

  f->LeftPanel = SetSize(SetAlign(MakePanel(f->Form, PanelRaised), AlignLeft), s(389), 0);
  f->OpenedPane = SetAlign(MakePaintBox(f->LeftPanel), AlignClient);
  SetDoubleBuffered(f->OpenedPane, true);

  f->Splitter = SetSize(SetAlign(MakeSplitter(f->Form, 0, 0), AlignLeft), s(4), 0);

  f->RightPanel = SetAlign(MakePanel(f->Form, PanelRaised), AlignClient);
  f->ShrunkPane = SetAlign(MakePaintBox(f->RightPanel), AlignClient);

  f->LinkLabel->OnClick = MakeCallback(f, &LinkClick);
  SetPaintHandler(f->OpenedPane, MakeCallback(f, &PaintOpened));
  SetPaintHandler(f->ShrunkPane, MakeCallback(f, &PaintShrunk));
  f->OpenButton->OnClick = MakeCallback(f, &OpenClick);
  f->ShrinkButton->OnClick = MakeCallback(f, &ShrinkClick);
  f->SaveButton->OnClick = MakeCallback(f, &SaveClick);
  f->SendButton->OnClick = MakeCallback(f, &SendClick);
  f->PreviousButton->OnClick = MakeCallback(f, &PreviousClick);
  f->NextButton->OnClick = MakeCallback(f, &NextClick);
  f->PercentCombo->OnSelectionChange = MakeCallback(f, &PercentChange);
  // The wheel over either picture moves through several photos.
  SetWheelHandler(f->LeftPanel, MakeCallback(f, &PaneWheel));
  SetWheelHandler(f->RightPanel, MakeCallback(f, &PaneWheel));

  // Tab and Shift+Tab go through the controls in the order they are seen, Enter presses the
  // focused button, and Ctrl+O, Ctrl+S and Ctrl+M press Open, Save and Send.
  EnableKeyboard(f->Form);
  AddShortcut(f->Form, 'O', f->OpenButton);
  AddShortcut(f->Form, 'S', f->SaveButton);
  AddShortcut(f->Form, 'M', f->SendButton);
  // Page Up and Page Down go to the previous and the next of several photos.
  AddKeyButton(f->Form, VK_PRIOR, f->PreviousButton);
  AddKeyButton(f->Form, VK_NEXT, f->NextButton);
  // The shrunk pane hands its copies out: its menu (Copy, Show in folder), Ctrl+C and a drag.
  AttachSharing(f->Form, f->ShrunkPane, f, &SharedPhotos);

  HWND window = f->Form->GetWindowHandle();
  f->OpenDialog->WndOwner = window;
  f->SaveDialog->WndOwner = window;

  // The shrink runs on worker threads; their results come back through the inbox, which
  // wakes the form.
  f->Photos = std::make_unique<PhotoList>();
  f->Shrinker = std::make_unique<BatchShrinker>();
  f->Fitter = std::make_unique<FitShrinker>();
  f->Inbox = std::make_unique<ResultInbox>(window, ShrinkResultsMessage);
  f->Form->AddMessageHandler(&ShrinkResultsHandler);

  Center(f->Form);
  ResetState(f);
}

void MainForm::Destroy() {
  // No result may come after this: the inbox and the list go with the record.
  if (Shrinker) Shrinker->Cancel();
  if (Fitter) Fitter->Cancel();
  if (Inbox) Inbox->Clear();
  ObjectBase::Destroy();
}

void ShowPhotoRow(MainForm* form, bool browse, bool line) {
  const Control* focused = FocusedControl();
  for (Control* c : {form->PreviousButton, form->NextButton, form->PhotoLabel})
    c->SetVisible(browse);
  form->ProgressLabel->SetVisible(browse || line);
  if (!browse && (focused == form->PreviousButton || focused == form->NextButton))
    form->OpenButton->TakeFocus();
  const int32_t height = kTopPanelHeight + (browse || line ? kPhotoRowHeight : 0);
  form->TopPanel->SetHeight(MulDiv(height, form->Dpi, 96));
}

void ResetState(MainForm* form) {
  form->Photos->Clear();
  form->Current = 0;
  SetItemIndex(form->PercentCombo, kThirtyPercent);
}

}  // namespace velmora
