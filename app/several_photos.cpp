// Several photos: the list opened together, moving through it, the shrink of them all with its
// progress and total lines, saving into a folder and mailing in one message. Every handler runs
// on the GUI thread; the shrink's results reach it through the inbox and the form's handler.
#include "app/several_photos.h"

#include <algorithm>
#include <set>

#include "app/image_actions.h"
#include "app/main_form.h"
#include "app/photo_list.h"
#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "mail/mapi_mail.h"
#include "toolkit/combo_box.h"
#include "toolkit/control.h"
#include "toolkit/file_dialog.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

namespace {

constexpr const char* kStillShrinking =
    "The photos are still being shrunk. Please try again once all of them are done.";
// What the folder dialog's name box says: the name itself is not used.
constexpr const char* kFolderPlaceholder = "The photos keep their own names";

MainForm* FormOf(void* owner) { return static_cast<MainForm*>(owner); }

std::string Count(size_t n) { return std::to_string(n); }

// The percentage the combo box shows; 0 when no item is chosen (text typed into it).
int32_t ChosenPercent(MainForm* form) { return (GetItemIndex(form->PercentCombo) + 1) * 10; }

void StopShrink(MainForm* form) {
  form->Shrinker->Cancel();
  form->Inbox->Clear();
  form->Shrinking = false;
}

// The shown photo's shrunk copy and size line, or nothing while it has none.
void ShowShrunkOfCurrent(MainForm* form) {
  const Photo& photo = form->Photos->At(form->Current);
  const bool done = photo.State == ShrinkState::Done;
  form->ShrunkPreview.Forget();
  form->HasShrunk = done;
  form->ShrunkSizeLabel->SetText(done ? FormatSizeText(static_cast<int32_t>(photo.ShrunkWidth),
                                                       static_cast<int32_t>(photo.ShrunkHeight),
                                                       photo.ShrunkBytes)
                                      : std::string());
  form->ShrunkPane->RequestRepaint();
}

// The progress line while the shrink runs, the total line once it is over.
void ShowProgress(MainForm* form) {
  const PhotoList& photos = *form->Photos;
  const size_t done = photos.CountIn(ShrinkState::Done);
  const size_t finished = done + photos.CountIn(ShrinkState::Failed);
  if (form->Shrinking) {
    form->ProgressLabel->SetText("Shrinking: " + Count(finished) + " of " + Count(photos.Count()) +
                                 " done");
  } else if (finished == photos.Count() && done > 0) {
    form->ProgressLabel->SetText(TotalText(done, photos.Count(), photos.DoneOriginalBytes(),
                                           photos.DoneShrunkBytes(), photos.DoneAttachmentBytes()));
  } else {
    form->ProgressLabel->SetText(finished == photos.Count() ? "No photo could be shrunk" : "");
  }
}

// The photos that could not be shrunk, named in one message.
void ReportFailures(MainForm* form) {
  const PhotoList& photos = *form->Photos;
  std::vector<std::string> failures;
  for (size_t i = 0; i < photos.Count(); ++i)
    if (photos.At(i).State == ShrinkState::Failed)
      failures.push_back(FileSentence(photos.At(i).Path, photos.At(i).Failure));
  if (failures.empty()) return;
  ShowInfoMessage(ListMessage(failures.size() == 1
                                  ? "One photo could not be shrunk:"
                                  : Count(failures.size()) + " photos could not be shrunk:",
                              failures));
}

void TakeShrinkResults(MainForm* form) {
  bool current = false;
  for (const BatchResult& result : form->Inbox->Take()) {
    if (!form->Shrinking) {  // none comes after a stop; kept safe all the same
      FreeObject(result.Copy);
      continue;
    }
    form->Photos->TakeResult(result, form->ShrinkPercent);
    current = current || result.Index == form->Current;
  }
  if (current) ShowShrunkOfCurrent(form);
  if (form->Shrinking && form->Photos->CountIn(ShrinkState::Waiting) == 0) form->Shrinking = false;
  ShowProgress(form);
}

void MoveBy(MainForm* form, int32_t step) {
  if (!form->Several()) return;
  const auto last = static_cast<int64_t>(form->Photos->Count()) - 1;
  const int64_t next = std::clamp<int64_t>(static_cast<int64_t>(form->Current) + step, 0, last);
  if (next != static_cast<int64_t>(form->Current)) ShowPhoto(form, static_cast<size_t>(next));
}

// The folder chosen in the folder dialog, ending in '\'; false when the user cancelled.
bool ChooseFolder(MainForm* form, std::string* folder) {
  FileDialog* dialog = form->FolderDialog;
  dialog->FileName = kFolderPlaceholder;
  if (!dialog->Execute()) return false;
  const size_t slash = dialog->FileName.find_last_of('\\');
  if (slash == std::string::npos) return false;
  *folder = dialog->FileName.substr(0, slash + 1);
  return true;
}

// Tells whether a path is one of the opened originals: the rule of IsSameFile (the same
// name in any letter case, or one file under other names), answered for many paths at once.
class Originals {
 public:
  explicit Originals(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      Names.insert(Lowered(path));
      FileIdentity identity;
      if (GetFileIdentity(path, &identity)) Identities.push_back(identity);
    }
  }
  bool Holds(const std::string& path) const {
    FileIdentity identity;
    return Names.count(Lowered(path)) != 0 ||
           (GetFileIdentity(path, &identity) &&
            std::find(Identities.begin(), Identities.end(), identity) != Identities.end());
  }

 private:
  static std::string Lowered(std::string text) {
    if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
  }
  std::set<std::string> Names;
  std::vector<FileIdentity> Identities;
};

// A new folder of its own in the temporary folder for one mailing ("" when none can be made).
std::string NewMailFolder() {
  const std::string base = TempDirectory() + "Velmora mail ";
  for (int n = 1; n <= 100000; ++n) {
    const std::string folder = base + std::to_string(n);
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return std::string();
}

// The indexes of the photos with a shrunk copy.
std::vector<size_t> DonePhotos(const PhotoList& photos) {
  std::vector<size_t> done;
  for (size_t i = 0; i < photos.Count(); ++i)
    if (photos.At(i).State == ShrinkState::Done) done.push_back(i);
  return done;
}

// The photos whose copies are ready to save or mail; none, after saying why, while a Shrink
// still runs.
std::vector<size_t> ReadyPhotos(MainForm* form) {
  if (form->Shrinking) {
    ShowInfoMessage(kStillShrinking);
    return {};
  }
  return DonePhotos(*form->Photos);
}

// Shows the wait cursor while it lives.
class WaitCursor {
 public:
  WaitCursor() : Before(SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)))) {}  // IDC_WAIT
  ~WaitCursor() { SetCursor(Before); }

 private:
  HCURSOR Before;
};

}  // namespace

void OpenPictureFiles(MainForm* form, const std::vector<std::string>& paths) {
  if (paths.size() <= 1) {
    OpenPictureFile(form, paths.empty() ? std::string() : paths[0]);
    return;
  }
  std::vector<Photo> photos;
  std::vector<std::string> leftOut;
  {
    WaitCursor wait;  // each file's header is read: quick, but many files take a moment
    for (const std::string& path : paths) {
      const PhotoCheck check = CheckPhotoFile(path);
      if (check.Usable)
        photos.push_back(check.Found);
      else
        leftOut.push_back(FileSentence(path, check.Reason));
    }
  }
  std::string problem;
  if (photos.size() == 1) {
    problem = OpenPicture(form, photos[0].Path);
  } else if (photos.size() > 1) {
    StopShrink(form);
    form->Photos->Assign(photos);
    form->ShrunkSizeLabel->SetText("");
    form->ProgressLabel->SetText("");
    ShowPhotoRow(form, true);
    ShowPhoto(form, 0);
  } else {
    form->OpenedPane->RequestRepaint();
  }
  if (leftOut.empty() && problem.empty()) return;
  // The window shows what was opened before the message does.
  UpdateWindow(form->Form->WindowHandle);
  if (!problem.empty()) leftOut.push_back(problem);
  ShowInfoMessage(ListMessage(photos.empty() ? "None of the files could be opened:"
                                             : Count(paths.size() - photos.size()) + " of the " +
                                                   Count(paths.size()) + " files were left out:",
                              leftOut));
}

void ForgetPhotos(MainForm* form) {
  if (form->Photos->Count() == 0) return;
  StopShrink(form);
  form->Photos->Clear();
  form->Current = 0;
  form->ProgressLabel->SetText("");
  form->PhotoLabel->SetText("");
  ShowPhotoRow(form, false);
}

void ShowPhoto(MainForm* form, size_t index) {
  PhotoList& photos = *form->Photos;
  if (index >= photos.Count()) return;
  const Photo& photo = photos.At(index);
  form->Current = index;
  FreeAndNull(form->Opened);
  form->OpenedPreview.Forget();
  form->Opened = photos.LoadPhoto(index);
  form->OpenedPath = photo.Path;
  form->HasOpened = true;
  form->OpenedSizeLabel->SetText(FormatSizeText(
      static_cast<int32_t>(photo.Width), static_cast<int32_t>(photo.Height), photo.FileBytes));
  form->PhotoLabel->SetText("Photo " + Count(index + 1) + " of " + Count(photos.Count()));
  ShowShrunkOfCurrent(form);
  form->OpenedPane->RequestRepaint();
}

void PreviousClick(void* owner, Control*) { MoveBy(FormOf(owner), -1); }

void NextClick(void* owner, Control*) { MoveBy(FormOf(owner), 1); }

void PaneWheel(void* owner, Control*, int32_t notches) { MoveBy(FormOf(owner), -notches); }

void PercentChange(void* owner, Control*) {
  MainForm* form = FormOf(owner);
  if (form->Several() && form->Shrinking) ShrinkAll(form, ChosenPercent(form));
}

void ShrinkAll(MainForm* form, int32_t percent) {
  if (!form->Several() || percent <= 0) return;
  StopShrink(form);
  form->Photos->ForgetShrunk();
  form->ShrinkPercent = percent;
  form->Shrinking = true;
  ShowShrunkOfCurrent(form);
  ShowProgress(form);
  // The photo shown first, so that its pane fills at once; the others after it.
  form->Shrinker->Start(form->Photos->Paths(), percent, form->Current, &ResultInbox::Deliver,
                        form->Inbox.get());
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

void SaveAll(MainForm* form) {
  PhotoList& photos = *form->Photos;
  const std::vector<size_t> done = ReadyPhotos(form);
  if (done.empty()) return;
  std::string folder;
  if (!ChooseFolder(form, &folder)) return;

  const std::vector<std::string> names = UniqueFileNames(photos.Paths());
  const Originals originals(photos.Paths());
  std::vector<size_t> writes, existing;
  std::vector<std::string> refused, existingNames;
  for (size_t i : done) {
    const std::string target = folder + names[i];
    // Never over an opened original, whichever photo it belongs to.
    if (originals.Holds(target)) {
      refused.push_back(names[i]);
      continue;
    }
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      existing.push_back(i);
      existingNames.push_back(names[i]);
    }
    writes.push_back(i);
  }
  if (!existing.empty()) {
    const bool one = existing.size() == 1;
    const std::string question =
        ListMessage((one ? "This file is in \"" : "These files are in \"") + folder + "\" already:",
                    existingNames) +
        (one ? "\n\nReplace it with the shrunk photo? (No keeps it and saves the others.)"
             : "\n\nReplace them with the shrunk photos? (No keeps them and saves the others.)");
    const int answer = ShowMessageBox(question, MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer != IDYES && answer != IDNO) return;
    if (answer == IDNO)
      writes.erase(std::remove_if(writes.begin(), writes.end(),
                                  [&](size_t i) {
                                    return std::find(existing.begin(), existing.end(), i) !=
                                           existing.end();
                                  }),
                   writes.end());
  }

  std::vector<std::string> failed;
  {
    WaitCursor wait;
    for (size_t i : writes) {
      const std::string target = folder + names[i];
      if (!photos.WriteShrunk(i, target))
        failed.push_back(FormatText("The photo could not be saved as \"%s\".", target));
    }
  }
  std::string message;
  if (!refused.empty()) {
    message = ListMessage(std::string(SameFileMessage) + "\nNot saved, as " +
                              (refused.size() == 1 ? "its original is" : "their originals are") +
                              " in that folder:",
                          refused);
  }
  if (!failed.empty()) message += (message.empty() ? "" : "\n\n") + ListMessage("", failed);
  const size_t notShrunk = photos.Count() - done.size();
  if (notShrunk > 0)
    message += (message.empty() ? "" : "\n\n") +
               (notShrunk == 1 ? std::string("One photo was") : Count(notShrunk) + " photos were") +
               " not saved: it could not be shrunk.";
  if (!message.empty()) ShowInfoMessage(message);
}

void SendAll(MainForm* form) {
  PhotoList& photos = *form->Photos;
  const std::vector<size_t> done = ReadyPhotos(form);
  if (done.empty()) return;
  // The copies go into a new folder of their own: their names never meet an earlier copy's.
  const std::string folder = NewMailFolder();
  if (folder.empty()) {
    ShowInfoMessage(FormatText("No folder could be made in \"%s\" for mailing.", TempDirectory()));
    return;
  }
  std::vector<std::string> donePaths, originalNames, attachments;
  for (size_t i : done) {
    donePaths.push_back(photos.At(i).Path);
    originalNames.push_back(FileNameOf(photos.At(i).Path));
  }
  const std::vector<std::string> names = UniqueFileNames(donePaths);
  {
    WaitCursor wait;
    for (size_t k = 0; k < done.size(); ++k) {
      const std::string path = folder + names[k];
      if (!photos.WriteShrunk(done[k], path)) {
        ShowInfoMessage(
            FormatText("The picture could not be written to \"%s\" for mailing.", path));
        return;
      }
      attachments.push_back(path);
    }
  }
  ReportMailResult(SendFilesByMail(MailSubject(originalNames), attachments, true));
}

void ReportMailResult(uint32_t result) {
  const std::string text = MailResultText(result);
  if (!text.empty()) ShowInfoMessage(text);
}

}  // namespace velmora
