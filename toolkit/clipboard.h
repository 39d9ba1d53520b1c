// Files on the clipboard as the shell takes them: a file list (CF_HDROP) marked to be copied,
// and optionally a picture offered as a device-independent bitmap that is made only when a
// program asks for it. Relies on toolkit/control.h (the owner window's handlers) and user32.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace velmora {

class Bitmap;

class Control;

// Makes a packed device-independent bitmap (header, then pixels) in movable global memory, or
// returns null when it cannot.
using DibMaker = std::function<HGLOBAL()>;

// The block of a file list as CF_HDROP holds it (DROPFILES and the names in UTF-16, taken
// from the ANSI code page, one after the other and an empty one at the end), in movable
// global memory; null when it cannot be made. The drag hands out the same block.
HGLOBAL MakeFileListBlock(const std::vector<std::string>& paths);

// A DWORD block for the registered "Preferred DropEffect" format: DROPEFFECT_COPY.
HGLOBAL MakeCopyEffectBlock();

// A packed 24-bit DIB of the bitmap (bottom-up rows), or null.
HGLOBAL PackedDibOfBitmap(Bitmap* bitmap);

// Empties the clipboard and puts the files on it, owned by owner's window. With makeDib set,
// CF_DIB is offered too and made by makeDib when a program asks (WM_RENDERFORMAT) or when the
// owner window goes while it still owns the clipboard (WM_RENDERALLFORMATS). False when the
// clipboard could not be opened or took nothing.
bool PutFilesOnClipboard(Control* owner, const std::vector<std::string>& paths,
                         DibMaker makeDib = {});

}  // namespace velmora
