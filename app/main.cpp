// Program entry: limits the library search, clears out old copies folders, builds the main
// window, takes the command-line file and dropped files, and runs the message loop until the
// window is closed. The mail library, if a send loaded it, is freed when the process ends.
#include <windows.h>

#include "app/about_box.h"
#include "app/main_form.h"
#include "app/outside_files.h"
#include "app/sharing.h"
#include "toolkit/control.h"
#include "toolkit/message_loop.h"
#include "toolkit/text_utils.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace velmora;
  // Before anything loads a library by name: none is taken from the program's folder (where a
  // downloaded file may lie beside it) or from the current directory. Old systems without the
  // call keep their own search order.
  RestrictLibrarySearchToSystem();
  // Copies handed to other programs on earlier days (pasted, dragged, or left for a mail).
  RemoveOldCopiesFolders(TempDirectory());
  CreateMainForm(TheMainForm, nullptr);
  AcceptOutsideFiles(TheMainForm);
  AddAboutItem(TheMainForm->Form);
  // Run destroys the form, and with it the record, when the loop ends.
  Run(TheMainForm->Form);
  TheMainForm = nullptr;
  return 0;
}
