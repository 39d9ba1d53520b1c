// The handlers of the main window. Every handler runs to the end on the GUI thread; a handler
// whose action is not possible in the current state returns at once without a message. The
// shrink runs on the batch shrinker's workers and its results come back through the inbox.
// Failures that would lose the user's work are told in a message box.
#include "app/image_actions.h"

#include <algorithm>

#include "app/main_form.h"
#include "app/photo_list.h"
#include "app/sharing.h"
#include "app/wording.h"
#include "imaging/fit.h"
#include "imaging/jpeg_image.h"
#include "imaging/preview.h"
#include "imaging/shrink.h"
#include "mail/mapi_mail.h"
#include "toolkit/canvas.h"
#include "toolkit/combo_box.h"
#include "toolkit/control.h"
#include "toolkit/file_dialog.h"
#include "toolkit/folder_dialog.h"
#include "toolkit/process.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

namespace {

constexpr const char* kStillShrinking =
    "The photos are still being shrunk. Please try again once all of them are done.";
constexpr const char* kFolderTitle = "Save the shrunk photos in this folder";

MainForm* FormOf(void* owner) { return static_cast<MainForm*>(owner); }

std::string Count(size_t n) { return std::to_string(n); }

// "One photo" / "3 photos", for the start of a sentence.
std::string Photos(size_t n) { return n == 1 ? std::string("One photo") : Count(n) + " photos"; }

// What the combo box shows: a percentage, or a size to fit under (the items after "100%").
struct ShrinkChoice {
  int32_t Percent = 0;  // 0 when no item is chosen (text typed into it)
  const SizeChoice* Size = nullptr;
};

ShrinkChoice Chosen(MainForm* form) {
  const int32_t index = GetItemIndex(form->PercentCombo);
  constexpr int32_t percents = kPercentItems, sizes = static_cast<int32_t>(std::size(SizeChoices));
  if (index >= percents && index < percents + sizes) return {0, &SizeChoices[index - percents]};
  return {index < percents ? (index + 1) * 10 : 0, nullptr};
}

// Shows the wait cursor while it lives.
class WaitCursor {
 public:
  WaitCursor() : Before(SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)))) {}  // IDC_WAIT
  ~WaitCursor() { SetCursor(Before); }

 private:
  HCURSOR Before;
};

// ---- Showing a photo ----

// The size the picture takes in the pane, upright.
DrawSize FittedSize(Control* pane, JpegImage* picture) {
  return FitToPane(pane->GetWidth(), pane->GetHeight(),
                   static_cast<int32_t>(picture->UprightWidth()),
                   static_cast<int32_t>(picture->UprightHeight()));
}

// Fills the pane with its background and blits the picture's copy fitted into its top left
// corner; the copy is remade only when the fitted size or the picture has changed.
void PaintPicture(Control* pane, HDC dc, JpegImage* picture, PanePreview& preview) {
  pane->GetCanvas()->FillRectangle(pane->GetClientArea());
  if (picture == nullptr || picture->Width() == 0 || picture->Height() == 0) return;
  const DrawSize size = FittedSize(pane, picture);
  if (size.Width <= 0 || size.Height <= 0) return;
  preview.Fit(picture, size.Width, size.Height);
  preview.Draw(dc, 0, 0);
}

// The same for a HEIF photo, which the preview decodes from its file.
void PaintHeifPicture(Control* pane, const Photo& photo, HDC dc, PanePreview& preview) {
  pane->GetCanvas()->FillRectangle(pane->GetClientArea());
  const DrawSize size =
      FitToPane(pane->GetWidth(), pane->GetHeight(), static_cast<int32_t>(photo.Facts.UprightWidth),
                static_cast<int32_t>(photo.Facts.UprightHeight));
  if (size.Width <= 0 || size.Height <= 0) return;
  preview.FitHeif(photo.Path, size.Width, size.Height, pane->GetWindowHandle());
  preview.Draw(dc, 0, 0);
}

// The shown photo's shrunk copy and size line, or nothing while it has none.
void ShowShrunkOfCurrent(MainForm* form) {
  const Photo& photo = form->Photos->At(form->Current);
  const bool done = photo.State == ShrinkState::Done;
  form->ShrunkPreview.Forget();
  form->ShrunkSizeLabel->SetText(done ? FormatSizeText(static_cast<int32_t>(photo.ShrunkWidth),
                                                       static_cast<int32_t>(photo.ShrunkHeight),
                                                       photo.ShrunkBytes)
                                      : std::string());
  form->ShrunkPane->RequestRepaint();
}

// Shows the photo at index: its picture and size line, and the photo line.
void ShowPhoto(MainForm* form, size_t index) {
  const Photo& photo = form->Photos->At(index);
  form->Current = index;
  form->OpenedPreview.Forget();
  form->OpenedSizeLabel->SetText(FormatSizeText(static_cast<int32_t>(photo.Facts.UprightWidth),
                                                static_cast<int32_t>(photo.Facts.UprightHeight),
                                                photo.Facts.FileBytes));
  // The photo row shows only with several photos.
  const size_t count = form->Photos->Count();
  form->PhotoLabel->SetText(count > 1 ? "Photo " + Count(index + 1) + " of " + Count(count) : "");
  form->OpenedPane->RequestRepaint();
}

void MoveBy(MainForm* form, int32_t step) {
  if (form->Photos->Count() < 2) return;
  const auto last = static_cast<int64_t>(form->Photos->Count()) - 1;
  const int64_t next = std::clamp<int64_t>(static_cast<int64_t>(form->Current) + step, 0, last);
  if (next == static_cast<int64_t>(form->Current)) return;
  ShowPhoto(form, static_cast<size_t>(next));
  ShowShrunkOfCurrent(form);
}

// ---- Shrink ----

void StopShrink(MainForm* form) {
  form->Shrinker->Cancel();
  form->Fitter->Cancel();
  form->Inbox->Clear();
  form->Shrinking = false;
  form->RunPhotos.clear();
}

// The progress line while the shrink runs, the total line once it is over.
void ShowProgress(MainForm* form) {
  const PhotoList& photos = *form->Photos;
  const size_t done = photos.CountIn(ShrinkState::Done);
  const size_t finished = done + photos.CountIn(ShrinkState::Failed);
  std::string line;
  // With one photo the line shows only what a size choice found.
  const bool one = photos.Count() < 2;
  if (one && !(form->Fitting && !form->Shrinking && done > 0)) {
  } else if (form->Shrinking && form->Fitting && form->Fitting->Mail) {
    line = "Fitting " + Count(photos.Count()) + " photos into one " +
           LimitText(form->Fitting->Limit) + " mail";
  } else if (form->Shrinking) {
    line = "Shrinking: " + Count(finished) + " of " + Count(photos.Count()) + " done";
  } else if (finished == photos.Count() && done > 0) {
    uint64_t attached = 0;
    for (size_t i : photos.IndexesIn(ShrinkState::Done))
      attached += MailAttachmentSize(photos.At(i).ShrunkBytes);
    line = TotalText(done, photos.Count(), photos.DoneOriginalBytes(), photos.DoneShrunkBytes(),
                     attached);
    // A size choice says the scale found and the limit.
    if (form->Fitting) line += FitSummaryText(form->Fitter->Summary());
  } else if (finished == photos.Count() && finished > 0) {
    line = "No photo could be shrunk";
  }
  form->ProgressLabel->SetText(line);
  if (one) ShowPhotoRow(form, false, !line.empty());
}

// The photos that could not be shrunk, named in one message.
void ReportFailures(MainForm* form) {
  const PhotoList& photos = *form->Photos;
  std::vector<std::string> failures;
  for (size_t i : photos.IndexesIn(ShrinkState::Failed))
    failures.push_back(FileSentence(photos.At(i).Path, photos.At(i).Failure));
  if (failures.empty()) return;
  ShowInfoMessage(ListMessage(Photos(failures.size()) + " could not be shrunk:", failures));
}

// Starts the shrink of every photo over under a size choice, the one shown first: each copy
// fitted under the limit alone, or all of them together in one mail.
void StartFit(MainForm* form, const SizeChoice& choice) {
  PhotoList& photos = *form->Photos;
  if (photos.Count() == 0) return;
  StopShrink(form);
  photos.ForgetShrunk();
  form->RunPhotos.clear();
  for (size_t i = 0; i < photos.Count(); ++i) form->RunPhotos.push_back(i);
  form->Shrinking = true;
  form->Fitting = &choice;
  ShowShrunkOfCurrent(form);
  ShowProgress(form);
  form->Fitter->Start(photos.Paths(), choice.Limit, choice.Mail, form->Current,
                      &ResultInbox::Deliver, form->Inbox.get());
}

// Starts the shrink of every photo over at percent, the one shown first. Photos that would
// have a side of 0 pixels are not shrunk; when that is all of them nothing happens at all.
void StartShrink(MainForm* form, ShrinkChoice chosen) {
  if (chosen.Size) {
    StartFit(form, *chosen.Size);
    return;
  }
  const int32_t percent = chosen.Percent;
  PhotoList& photos = *form->Photos;
  if (photos.Count() == 0 || percent <= 0) return;
  std::vector<size_t> run, tooSmall;
  for (size_t i = 0; i < photos.Count(); ++i) {
    const PhotoFacts& facts = photos.At(i).Facts;
    const bool fits = ShrunkSide(static_cast<int32_t>(facts.UprightWidth), percent) > 0 &&
                      ShrunkSide(static_cast<int32_t>(facts.UprightHeight), percent) > 0;
    (fits ? run : tooSmall).push_back(i);
  }
  if (run.empty()) return;
  StopShrink(form);
  photos.ForgetShrunk();
  for (size_t i : tooSmall)
    photos.MarkFailed(i, FormatText("is too small to shrink to %d%%", percent));
  form->RunPhotos = run;
  form->Shrinking = true;
  form->Fitting = nullptr;
  ShowShrunkOfCurrent(form);
  ShowProgress(form);
  std::vector<std::string> paths;
  size_t first = run.size();
  for (size_t k = 0; k < run.size(); ++k) {
    paths.push_back(photos.At(run[k]).Path);
    if (run[k] == form->Current) first = k;
  }
  form->Shrinker->Start(paths, percent, first, &ResultInbox::Deliver, form->Inbox.get());
}

void TakeShrinkResults(MainForm* form) {
  bool current = false;
  for (BatchResult& result : form->Inbox->Take()) {
    if (!form->Shrinking || result.Index >= form->RunPhotos.size()) {
      FreeObject(result.Copy);  // none comes after a stop; kept safe all the same
      continue;
    }
    const size_t run = result.Index;
    result.Index = form->RunPhotos[run];
    // A photo that does not fit under the size chosen has no copy and no problem of its own.
    const std::string reason = form->Fitting && !result.Copy && !result.Unreadable &&
                                       result.Problem == PictureProblem::None
                                   ? FitFailureText(form->Fitter->Reason(run))
                                   : std::string();
    if (reason.empty())
      form->Photos->TakeResult(result);
    else
      form->Photos->MarkFailed(result.Index, reason);
    current = current || result.Index == form->Current;
  }
  if (current) ShowShrunkOfCurrent(form);
  if (form->Shrinking && form->Photos->CountIn(ShrinkState::Waiting) == 0) {
    form->Shrinking = false;
    form->RunPhotos.clear();
  }
  ShowProgress(form);
}

// The photos whose copies are ready to save or mail; none, after saying why, while a Shrink
// still runs.
std::vector<size_t> ReadyPhotos(MainForm* form) {
  if (form->Shrinking) {
    ShowInfoMessage(kStillShrinking);
    return {};
  }
  return form->Photos->IndexesIn(ShrinkState::Done);
}

// ---- Save ----

// Where Save writes: one photo goes where the save dialog says, several into a folder under
// their own names, which may meet files there already.
struct SaveTargets {
  std::vector<size_t> Photos;
  std::vector<std::string> Paths;
  std::string Folder;  // "" for the one photo named in the save dialog
};

// The folder for several photos, ending in '\'; false when the user cancelled. The system's
// folder dialog where there is one; otherwise a save dialog of which the folder counts.
bool AskForFolder(MainForm* form, std::string* folder) {
  const FolderChoice choice = ChooseFolder(form->Form->WindowHandle, kFolderTitle, folder);
  if (choice != FolderChoice::Unavailable) return choice == FolderChoice::Chosen;
  FileDialog* dialog = form->SaveDialog;
  const std::string title = dialog->Title, fileName = dialog->FileName;
  const uint16_t options = dialog->Options;
  dialog->Title = kFolderTitle;
  dialog->FileName = "Go to the folder, then click Save";
  dialog->Options = OptionHideReadOnly | OptionPathMustExist;
  const bool chosen = dialog->Execute();
  const std::string name = dialog->FileName;
  dialog->Title = title;
  dialog->Options = options;
  dialog->FileName = fileName;
  const size_t slash = name.find_last_of('\\');
  if (!chosen || slash == std::string::npos) return false;
  *folder = name.substr(0, slash + 1);
  return true;
}

bool ChooseTargets(MainForm* form, const std::vector<size_t>& ready, SaveTargets* targets) {
  PhotoList& photos = *form->Photos;
  targets->Photos = ready;
  if (photos.Count() == 1) {
    // A HEIF photo's copy is proposed under its name as a JPEG.
    if (photos.At(0).Facts.Heif) form->SaveDialog->FileName = UniqueFileNames(photos.Paths())[0];
    if (!form->SaveDialog->Execute()) return false;
    targets->Paths = {form->SaveDialog->FileName};
    return true;
  }
  if (!AskForFolder(form, &targets->Folder)) return false;
  const std::vector<std::string> names = UniqueFileNames(photos.Paths());
  for (size_t i : ready) targets->Paths.push_back(targets->Folder + names[i]);
  return true;
}

// Asks once before files in the folder are replaced; false when the user cancelled. No keeps
// them: their photos leave the targets.
bool AskBeforeReplacing(SaveTargets* targets) {
  std::vector<std::string> existing;
  for (const std::string& path : targets->Paths)
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
      existing.push_back(FileNameOf(path));
  if (existing.empty()) return true;
  const bool one = existing.size() == 1;
  const std::string question =
      ListMessage(
          (one ? "This file is in \"" : "These files are in \"") + targets->Folder + "\" already:",
          existing) +
      (one ? "\n\nReplace it with the shrunk photo? (No keeps it and saves the others.)"
           : "\n\nReplace them with the shrunk photos? (No keeps them and saves the others.)");
  const int answer = ShowMessageBox(question, MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDYES) return true;
  if (answer != IDNO) return false;
  SaveTargets kept;
  kept.Folder = targets->Folder;
  for (size_t k = 0; k < targets->Paths.size(); ++k)
    if (GetFileAttributesA(targets->Paths[k].c_str()) == INVALID_FILE_ATTRIBUTES) {
      kept.Photos.push_back(targets->Photos[k]);
      kept.Paths.push_back(targets->Paths[k]);
    }
  *targets = kept;
  return true;
}

// ---- Send ----

// Where the mail copies go: one photo's copy is named like it in the temporary folder (over
// an older copy of that name), or in a folder of its own there when the photo itself lies
// there (an attachment opened from the mail program, say); several go into a new copies
// folder of Velmora's own, which the clean-up at start removes after some days.
std::string MailFolderFor(const PhotoList& photos, const std::vector<size_t>& ready) {
  if (photos.Count() > 1) return NewCopiesFolder(TempDirectory());
  const std::string& original = photos.At(ready[0]).Path;
  if (!IsSameFile(TempDirectory() + FileNameOf(original), original)) return TempDirectory();
  const std::string folder = TempDirectory() + "Velmora";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
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
    OpenPhotos(form, {});
    return;
  }
  const std::vector<std::string> paths = SplitSelectedFiles(form->OpenDialog->FileName);
  // The dialog starts next time with the one name chosen, or empty after several.
  if (paths.size() > 1) form->OpenDialog->FileName.clear();
  OpenPhotos(form, paths);
}

void OpenPhotos(MainForm* form, const std::vector<std::string>& paths) {
  if (paths.empty()) {
    form->OpenedPane->RequestRepaint();
    return;
  }
  std::vector<Photo> photos;
  std::vector<std::string> leftOut;
  PhotoFacts lastLeftOut;
  {
    WaitCursor wait;  // each file's header is read: quick, but many files take a moment
    for (const std::string& path : paths) {
      Photo photo;
      photo.Path = path;
      photo.Facts = InspectPhotoFile(path);
      if (photo.Facts.Usable()) {
        photos.push_back(photo);
        continue;
      }
      lastLeftOut = photo.Facts;
      leftOut.push_back(FileSentence(
          path, photo.Facts.Readable ? ProblemText(photo.Facts.Problem) : UnreadableReason));
    }
  }
  // What was open goes; the shrunk line stays until the next Shrink says otherwise.
  StopShrink(form);
  form->Photos->Assign(photos);
  form->Current = 0;
  form->OpenedPreview.Forget();
  form->ShrunkPreview.Forget();
  form->ProgressLabel->SetText("");
  ShowPhotoRow(form, photos.size() > 1);
  if (!photos.empty()) {
    ShowPhoto(form, 0);
  } else {
    // The one file given is told in its size line as far as its header went.
    const bool one = paths.size() == 1;
    form->OpenedSizeLabel->SetText(
        one ? FormatSizeText(static_cast<int32_t>(lastLeftOut.UprightWidth),
                             static_cast<int32_t>(lastLeftOut.UprightHeight), lastLeftOut.FileBytes)
            : std::string());
    form->OpenedPane->RequestRepaint();
  }
  form->ShrunkPane->RequestRepaint();
  if (leftOut.empty()) return;
  // The window shows what was opened before the message does.
  UpdateWindow(form->Form->WindowHandle);
  if (paths.size() == 1) {
    ShowInfoMessage(leftOut[0]);
    return;
  }
  ShowInfoMessage(ListMessage(photos.empty() ? "None of the files could be opened:"
                                             : Count(leftOut.size()) + " of the " +
                                                   Count(paths.size()) + " files were left out:",
                              leftOut));
}

void ShrinkClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  // Index -1 (text typed into the combo, no list item selected) gives 0%: nothing happens.
  StartShrink(form, Chosen(form));
}

void PercentChange(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  if (form->Shrinking) StartShrink(form, Chosen(form));
}

bool ShrinkResultsHandler(Control*, WindowMessage& message, LRESULT* result) {
  if (message.Message != ShrinkResultsMessage) return false;
  *result = 0;
  MainForm* form = TheMainForm;
  if (form == nullptr || !form->Inbox) return true;
  const bool wasShrinking = form->Shrinking;
  TakeShrinkResults(form);
  // The run ended with these results: the photos that failed are named once.
  if (wasShrinking && !form->Shrinking) ReportFailures(form);
  return true;
}

void SaveClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  PhotoList& photos = *form->Photos;
  const std::vector<size_t> ready = ReadyPhotos(form);
  if (ready.empty()) return;
  SaveTargets targets;
  if (!ChooseTargets(form, ready, &targets)) return;

  // Never over an opened original, whichever photo it belongs to and however it is spelled.
  const FileSet originals(photos.Paths());
  SaveTargets allowed;
  allowed.Folder = targets.Folder;
  std::vector<std::string> refused;
  for (size_t k = 0; k < targets.Paths.size(); ++k) {
    if (originals.Holds(targets.Paths[k])) {
      refused.push_back(FileNameOf(targets.Paths[k]));
    } else {
      allowed.Photos.push_back(targets.Photos[k]);
      allowed.Paths.push_back(targets.Paths[k]);
    }
  }
  if (targets.Folder.empty() && !refused.empty()) {
    ShowInfoMessage(SameFileMessage);
    return;
  }
  if (!targets.Folder.empty() && !AskBeforeReplacing(&allowed)) return;

  std::vector<std::string> failed;
  {
    WaitCursor wait;
    for (size_t k = 0; k < allowed.Paths.size(); ++k)
      if (!photos.WriteShrunk(allowed.Photos[k], allowed.Paths[k]))
        failed.push_back(FormatText("The picture could not be saved as \"%s\".", allowed.Paths[k]));
  }
  std::vector<std::string> parts;
  if (!refused.empty())
    parts.push_back(ListMessage(
        Photos(refused.size()) + " not saved: " +
            (refused.size() == 1 ? "its original is" : "their originals are") + " in that folder.",
        refused));
  if (!failed.empty()) parts.push_back(ListMessage("", failed));
  const size_t notShrunk = photos.Count() - ready.size();
  if (notShrunk > 0)
    parts.push_back(Photos(notShrunk) + (notShrunk == 1 ? " was" : " were") +
                    " not saved: it could not be shrunk.");
  std::string message;
  for (const std::string& part : parts) message += (message.empty() ? "" : "\n\n") + part;
  if (!message.empty()) ShowInfoMessage(message);
}

void SendClick(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  PhotoList& photos = *form->Photos;
  const std::vector<size_t> ready = ReadyPhotos(form);
  if (ready.empty()) return;
  const std::string folder = MailFolderFor(photos, ready);
  if (folder.empty()) {
    ShowInfoMessage(FormatText("No folder could be made in \"%s\" for mailing.", TempDirectory()));
    return;
  }
  std::vector<std::string> readyPaths, originalNames, attachments;
  for (size_t i : ready) {
    readyPaths.push_back(photos.At(i).Path);
    originalNames.push_back(FileNameOf(photos.At(i).Path));
  }
  const std::vector<std::string> names = UniqueFileNames(readyPaths);
  {
    WaitCursor wait;
    for (size_t k = 0; k < ready.size(); ++k) {
      const std::string path = folder + names[k];
      if (names[k].empty() || !photos.WriteShrunk(ready[k], path)) {
        ShowInfoMessage(
            FormatText("The picture could not be written to \"%s\" for mailing.", path));
        return;
      }
      attachments.push_back(path);
    }
  }
  const uint32_t result = SendFilesByMail(MailSubject(originalNames), attachments, true);
  if (result != MailNotAvailable) {
    const std::string problem = MailResultText(result);
    if (!problem.empty()) ShowInfoMessage(problem);
    return;
  }
  // No mail program to hand them to: the copies are made ready to paste or drag into a mail,
  // from a copies folder (one photo's mail copy lies among the user's files in the temporary
  // folder, so it gets one).
  SharedCopies copies{folder, attachments, {}};
  if (photos.Count() == 1) copies = WriteSharedCopies(photos, TempDirectory());
  if (copies.Ready())
    OfferCopiesWithoutMail(form->Form, copies);
  else
    ShowInfoMessage(copies.Problem);
}

void LinkClick(void*, Control*) {
  HANDLE process = nullptr;
  RunProcess("", std::string("explorer.exe ") + MakerWebAddress, "", SW_SHOWNORMAL, 0, &process);
  if (process != nullptr) CloseHandle(process);
}

void PreviousClick(void* owner, Control*) { MoveBy(FormOf(owner), -1); }

void NextClick(void* owner, Control*) { MoveBy(FormOf(owner), 1); }

void PaneWheel(void* owner, Control*, int32_t notches) { MoveBy(FormOf(owner), -notches); }

void PaintOpened(void* owner, Control* sender, HDC dc) {
  MainForm* form = FormOf(owner);
  if (form->Photos->Count() && form->Photos->At(form->Current).Facts.Heif) {
    PaintHeifPicture(sender, form->Photos->At(form->Current), dc, form->OpenedPreview);
    return;
  }
  JpegImage* picture = form->Photos->Count() ? form->Photos->Original(form->Current) : nullptr;
  PaintPicture(sender, dc, picture, form->OpenedPreview);
}

void PaintShrunk(void* owner, Control* sender, HDC dc) {
  MainForm* form = FormOf(owner);
  JpegImage* picture = form->Photos->Count() ? form->Photos->Shrunk(form->Current) : nullptr;
  PaintPicture(sender, dc, picture, form->ShrunkPreview);
}

}  // namespace velmora
