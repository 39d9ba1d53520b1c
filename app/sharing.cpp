// The copies folders and the three ways out: clipboard, drag and Explorer.
#include "app/sharing.h"

#include <cctype>
#include <algorithm>
#include <cstdio>

#include "app/photo_list.h"
#include "imaging/jpeg_image.h"
#include "imaging/preview.h"
#include "toolkit/bitmap.h"
#include "toolkit/clipboard.h"
#include "toolkit/control.h"
#include "toolkit/file_drag.h"
#include "toolkit/keyboard.h"
#include "toolkit/popup_menu.h"
#include "toolkit/show_in_folder.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

const char* const CopiesFolderPrefix = "Velmora copies ";

namespace {

uint64_t Ticks(const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

// Deletes the files in the folder, then the folder; a folder holding more stays.
void RemoveFolder(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// The one attached pane and where its photos come from.
struct Attachment {
  Control* Form = nullptr;
  Control* Pane = nullptr;
  void* Context = nullptr;
  SharedPhotosProc Photos = nullptr;
} attached;

bool HasCopies() {
  PhotoList* photos = attached.Photos ? attached.Photos(attached.Context) : nullptr;
  return photos && photos->CountIn(ShrinkState::Done) > 0;
}

// The copies written for one hand-over; after saying why when they could not be.
SharedCopies WriteAttachedCopies() {
  if (!HasCopies()) return {};
  SharedCopies copies = WriteSharedCopies(*attached.Photos(attached.Context), TempDirectory());
  if (!copies.Problem.empty()) ShowInfoMessage(copies.Problem);
  return copies;
}

void CopyAction(void*, Control*) {
  const SharedCopies copies = WriteAttachedCopies();
  if (copies.Ready() && !CopyToClipboard(attached.Form, copies))
    ShowInfoMessage("The copies could not be put on the clipboard.");
}

void ShowAction() {
  const SharedCopies copies = WriteAttachedCopies();
  if (copies.Ready() && !ShowCopiesInFolder(copies))
    ShowInfoMessage(FormatText("Explorer could not be started to show \"%s\".", copies.Folder));
}

void ProvideDrag(void*, Control*, std::vector<std::string>* paths) {
  *paths = WriteAttachedCopies().Paths;
}

// The context menu, on the form: from the pane, or from the keyboard wherever the focus is.
bool ContextMenuHandler(Control*, WindowMessage& message, LRESULT* result) {
  if (message.Message != WM_CONTEXTMENU) return false;
  // From the mouse it reaches the form through the pane's parents: only a click on the pane
  // opens the menu. From the keyboard lParam is -1 (both coordinates -1).
  const bool keyboard = message.LParam == -1;
  RECT pane{};
  GetWindowRect(attached.Pane->WindowHandle, &pane);
  if (!keyboard && !PtInRect(&pane, ContextMenuPoint(attached.Pane, message.LParam))) return false;
  const bool enabled = HasCopies();
  const std::vector<MenuItem> items = {{"&Copy\tCtrl+C", CopyMenuItem, enabled},
                                       {"Show in &folder", ShowInFolderMenuItem, enabled}};
  const uint32_t chosen =
      ShowPopupMenu(attached.Pane, items, ContextMenuPoint(attached.Pane, message.LParam));
  if (chosen == CopyMenuItem) CopyAction(nullptr, nullptr);
  if (chosen == ShowInFolderMenuItem) ShowAction();
  *result = 0;
  return true;
}

}  // namespace

void AttachSharing(Control* form, Control* pane, void* context, SharedPhotosProc photos) {
  attached = {form, pane, context, photos};
  form->AddMessageHandler(&ContextMenuHandler);
  AddShortcutAction(form, 'C', MakeCallback(nullptr, &CopyAction));
  EnableFileDrag(pane, MakeCallback(nullptr, &ProvideDrag));
}

std::string NoMailProgramText(const std::string& folder, size_t count) {
  const bool one = count == 1;
  return FormatText(
      "No mail program is set up to send from other programs. The shrunk %s ready to be "
      "pasted (Ctrl+V) or dragged into a mail: %s on the clipboard and in the folder \"%s\".",
      one ? "photo is" : "photos are", one ? "it is" : "they are", folder);
}

void OfferCopiesWithoutMail(Control* owner, const SharedCopies& copies) {
  if (!copies.Ready()) return;
  CopyToClipboard(owner, copies);
  ShowCopiesInFolder(copies);
  ShowInfoMessage(NoMailProgramText(copies.Folder, copies.Paths.size()));
}

bool IsCopiesFolderName(const std::string& name) {
  const std::string prefix = CopiesFolderPrefix, pattern = "dddddddd-dddddd-dddd";
  if (name.size() != prefix.size() + pattern.size() || name.compare(0, prefix.size(), prefix))
    return false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[prefix.size() + i]);
    if (pattern[i] == 'd' ? !std::isdigit(c) : c != '-') return false;
  }
  return true;
}

std::string NewCopiesFolder(const std::string& temp) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u-", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  // The number starts at the milliseconds and counts on while the name is taken.
  for (unsigned n = now.wMilliseconds * 10u, tries = 0; tries < 10000; ++tries, ++n) {
    char number[8];
    std::snprintf(number, sizeof number, "%04u", n % 10000);
    const std::string folder = temp + CopiesFolderPrefix + stamp + number;
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return std::string();
}

int RemoveOldCopiesFolders(const std::string& temp, uint32_t maxAgeSeconds) {
  FILETIME nowTime{};
  GetSystemTimeAsFileTime(&nowTime);
  const uint64_t now = Ticks(nowTime), maxAge = uint64_t{maxAgeSeconds} * 10000000u;
  std::vector<std::string> old;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((temp + CopiesFolderPrefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    const uint64_t changed = std::max(Ticks(found.ftCreationTime), Ticks(found.ftLastWriteTime));
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        IsCopiesFolderName(found.cFileName) && changed + maxAge < now)
      old.push_back(temp + found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  for (const std::string& folder : old) RemoveFolder(folder);
  return static_cast<int>(old.size());
}

SharedCopies WriteSharedCopies(PhotoList& photos, const std::string& temp) {
  SharedCopies copies;
  std::vector<size_t> done;
  std::vector<std::string> donePaths;
  for (size_t i = 0; i < photos.Count(); ++i)
    if (photos.At(i).State == ShrinkState::Done) {
      done.push_back(i);
      donePaths.push_back(photos.At(i).Path);
    }
  if (done.empty()) {
    copies.Problem = "No photo has a shrunk copy yet.";
    return copies;
  }
  copies.Folder = NewCopiesFolder(temp);
  if (copies.Folder.empty()) {
    copies.Problem = FormatText("No folder could be made in \"%s\" for the copies.", temp);
    return copies;
  }
  const std::vector<std::string> names = UniqueFileNames(donePaths);
  for (size_t k = 0; k < done.size(); ++k) {
    const std::string path = copies.Folder + names[k];
    if (!photos.WriteShrunk(done[k], path)) {
      copies.Problem = FormatText("The picture could not be written to \"%s\".", path);
      copies.Paths.clear();
      return copies;
    }
    copies.Paths.push_back(path);
  }
  return copies;
}

HGLOBAL DibOfJpegFile(const std::string& path) {
  Stream* file = OpenFileForReading(path.c_str());
  JpegImage* picture = MakeJpegImage();
  HGLOBAL dib = nullptr;
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    picture->ReadFrom(file);
    // The copy at its own size, upright, made as the panes make theirs.
    PanePreview full;
    if (full.Fit(picture, static_cast<int32_t>(picture->UprightWidth()),
                 static_cast<int32_t>(picture->UprightHeight())))
      dib = PackedDibOfBitmap(full.Copy);
  }
  FreeObject(picture);
  FreeObject(file);
  return dib;
}

bool CopyToClipboard(Control* owner, const SharedCopies& copies) {
  if (!copies.Ready()) return false;
  DibMaker picture;
  if (copies.Paths.size() == 1) picture = [path = copies.Paths[0]] { return DibOfJpegFile(path); };
  return PutFilesOnClipboard(owner, copies.Paths, std::move(picture));
}

DWORD DragCopies(const SharedCopies& copies) {
  return copies.Ready() ? DragFiles(copies.Paths) : DWORD{DROPEFFECT_NONE};
}

bool ShowCopiesInFolder(const SharedCopies& copies) {
  return copies.Ready() && ShowInFolder(copies.Paths);
}

}  // namespace velmora
