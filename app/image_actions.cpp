// The seven handlers of the main window and their helpers. Every handler runs to the end on
// the GUI thread; a handler whose action is not possible in the current state returns at
// once without a message. Failures that would lose the user's work are told in a message box.
#include "app/image_actions.h"

#include <cstdint>
#include <vector>

#include "app/main_form.h"
#include "app/several_photos.h"
#include "imaging/jpeg_image.h"
#include "imaging/preview.h"
#include "imaging/shrink_picture.h"
#include "mail/mapi_mail.h"
#include "toolkit/canvas.h"
#include "toolkit/combo_box.h"
#include "toolkit/control.h"
#include "toolkit/file_dialog.h"
#include "toolkit/process.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

namespace {

MainForm* FormOf(void* owner) { return static_cast<MainForm*>(owner); }

// A picture that can be drawn or shrunk: present and with no side of 0.
bool IsDrawable(JpegImage* picture) {
  return picture != nullptr && picture->Width() > 0 && picture->Height() > 0;
}

// The size the picture takes in the pane.
DrawSize FittedSize(Control* pane, JpegImage* picture) {
  return FitToPane(pane->GetWidth(), pane->GetHeight(),
                   static_cast<int32_t>(picture->UprightWidth()),
                   static_cast<int32_t>(picture->UprightHeight()));
}

// Fills the pane with its background and blits the picture's copy fitted into its top left
// corner; the copy is remade only when the fitted size or the picture has changed.
void PaintPicture(Control* pane, HDC dc, bool present, JpegImage* picture, PanePreview& preview) {
  RECT area = pane->GetClientArea();
  pane->GetCanvas()->FillRectangle(area);
  if (!present || !IsDrawable(picture)) return;
  DrawSize size = FittedSize(pane, picture);
  if (size.Width <= 0 || size.Height <= 0) return;
  preview.Fit(picture, size.Width, size.Height);
  preview.Draw(dc, 0, 0);
}

// Makes the pane's copy of a newly opened picture at once, which also tells whether the
// picture can be decoded at all. A pane without room yet checks with a one-pixel copy.
bool PrepareCopy(Control* pane, JpegImage* picture, PanePreview& preview) {
  DrawSize size = FittedSize(pane, picture);
  if (size.Width <= 0 || size.Height <= 0) size = DrawSize{1, 1};
  preview.Fit(picture, size.Width, size.Height);
  return preview.Copy != nullptr;
}

}  // namespace

DrawSize FitToPane(int32_t paneWidth, int32_t paneHeight, int32_t w, int32_t h) {
  DrawSize size;
  if (paneWidth <= 0 || paneHeight <= 0 || w <= 0 || h <= 0) return size;
  // 64-bit products: a large pane times a large picture exceeds 32 bits.
  const int64_t candidate = static_cast<int64_t>(paneHeight) * w / h;
  if (candidate > paneWidth) {
    size.Width = paneWidth;
    size.Height = static_cast<int32_t>(static_cast<int64_t>(h) * paneWidth / w);
  } else {
    size.Height = paneHeight;
    size.Width = static_cast<int32_t>(static_cast<int64_t>(w) * paneHeight / h);
  }
  return size;
}

void OpenClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  if (!form->OpenDialog->Execute()) {
    OpenPictureFile(form, std::string());
    return;
  }
  const std::vector<std::string> paths = SelectedFiles(form->OpenDialog->FileName);
  // The dialog starts next time with the one name chosen, or empty after several.
  if (paths.size() > 1) form->OpenDialog->FileName.clear();
  OpenPictureFiles(form, paths);
}

void OpenPictureFile(MainForm* form, const std::string& path) {
  const std::string problem = OpenPicture(form, path);
  if (!problem.empty()) ShowInfoMessage(problem);
}

std::string OpenPicture(MainForm* form, const std::string& path) {
  std::string problem;
  if (!path.empty()) {
    ForgetPhotos(form);  // one photo alone
    Stream* file = OpenFileForReading(path.c_str());
    const bool readable = file->Handle() != INVALID_HANDLE_VALUE;
    FreeAndNull(form->Opened);
    form->OpenedPreview.Forget();
    form->Opened = MakeJpegImage();
    form->Opened->ReadFrom(file);
    form->HasOpened = true;
    form->HasShrunk = false;
    form->OpenedPath = path;
    // The byte count is the file's own size, not that of any re-encoding.
    // The size as the picture is seen: upright, whatever way the camera stored it.
    form->OpenedSizeLabel->SetText(
        FormatSizeText(static_cast<int32_t>(form->Opened->UprightWidth()),
                       static_cast<int32_t>(form->Opened->UprightHeight()), file->Size()));
    FreeObject(file);
    if (!readable) {
      problem = FormatText("The file \"%s\" cannot be read.", path);
    } else if (!IsDrawable(form->Opened)) {
      problem = FormatText("The file \"%s\" is not a JPEG picture.", path);
    } else if (!PrepareCopy(form->OpenedPane, form->Opened, form->OpenedPreview)) {
      // A picture the codec cannot decode (damaged, of a kind it does not support, or too
      // large for memory) is reported and counts as absent: nothing to show or shrink.
      problem = FormatText("The file \"%s\" %s.", path,
                           std::string(DescribeProblem(form->OpenedPreview.Problem)));
      form->Opened->ClearImage();
    }
  }
  form->OpenedPane->RequestRepaint();
  return problem;
}

void ShrinkClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  // Index -1 (text typed into the combo, no list item selected) gives 0%.
  const int32_t percent = (GetItemIndex(form->PercentCombo) + 1) * 10;
  if (form->Several()) {
    ShrinkAll(form, percent);
    return;
  }
  if (!form->HasOpened || !IsDrawable(form->Opened)) return;
  uint32_t bytes = 0;
  // Always a fresh resample of the opened picture. A picture with a side of 0 at this
  // percentage is no picture: nothing changes then.
  JpegImage* shrunk = ShrinkPicture(form->Opened, percent, &bytes);
  if (shrunk == nullptr) return;
  FreeAndNull(form->Shrunk);
  form->ShrunkPreview.Forget();
  form->Shrunk = shrunk;
  form->HasShrunk = true;
  form->ShrunkSizeLabel->SetText(FormatSizeText(static_cast<int32_t>(shrunk->UprightWidth()),
                                                static_cast<int32_t>(shrunk->UprightHeight()),
                                                bytes));
  form->ShrunkPane->RequestRepaint();
}

void SaveClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  if (form->Several()) {
    SaveAll(form);
    return;
  }
  if (!form->HasShrunk || form->Shrunk == nullptr) return;
  if (!form->SaveDialog->Execute()) return;
  const std::string target = form->SaveDialog->FileName;
  // Never overwrite the original, however its name is spelled.
  if (IsSameFile(target, form->OpenedPath)) {
    ShowInfoMessage(SameFileMessage);
    return;
  }
  // WriteToFile is true only when the file received all of the picture's bytes.
  if (!form->Shrunk->WriteToFile(target.c_str()))
    ShowInfoMessage(FormatText("The picture could not be saved as \"%s\".", target));
}

void SendClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  if (form->Several()) {
    SendAll(form);
    return;
  }
  if (!form->HasShrunk || form->Shrunk == nullptr) return;
  const std::string name = FileNameOf(form->OpenedPath);
  // The attachment is a copy named like the opened file in the temporary directory; an
  // older copy of the same name is overwritten, and the copy stays after sending. When the
  // opened file itself lies there (a mail attachment opened from the mail program, say),
  // the copy goes into a folder of its own instead of over the original.
  std::string path = TempDirectory() + name;
  if (IsSameFile(path, form->OpenedPath)) {
    const std::string folder = TempDirectory() + "Velmora";
    CreateDirectoryA(folder.c_str(), nullptr);
    path = folder + "\\" + name;
  }
  if (name.empty() || !form->Shrunk->WriteToFile(path.c_str())) {
    ShowInfoMessage(FormatText("The picture could not be written to \"%s\" for mailing.", path));
    return;
  }
  ReportMailResult(SendFileByMail(name, path, true));
}

void LinkClick(void*, Control*) {
  HANDLE process = nullptr;
  RunProcess("", std::string("explorer.exe ") + MakerWebAddress, "", SW_SHOWNORMAL, 0, &process);
  if (process != nullptr) CloseHandle(process);
}

void PaintOpened(void* owner, Control* sender, HDC dc) {
  MainForm* form = FormOf(owner);
  PaintPicture(sender, dc, form->HasOpened, form->Opened, form->OpenedPreview);
}

void PaintShrunk(void* owner, Control* sender, HDC dc) {
  MainForm* form = FormOf(owner);
  // With several photos the shown photo's copy belongs to the list.
  JpegImage* shrunk = form->Several() ? form->Photos->Shrunk(form->Current) : form->Shrunk;
  PaintPicture(sender, dc, form->HasShrunk, shrunk, form->ShrunkPreview);
}

}  // namespace velmora
