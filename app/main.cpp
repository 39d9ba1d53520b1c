// Program entry: limits the library search, builds the main window and runs the message loop
// until it is closed. The mail library, if a send loaded it, is freed when the process ends.
#include <windows.h>

#include "app/main_form.h"
#include "toolkit/control.h"
#include "toolkit/message_loop.h"
#include "toolkit/text_utils.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace velmora;
  // Before anything loads a library by name: none is taken from the program's folder (where a
  // downloaded file may lie beside it) or from the current directory. Old systems without the
  // call keep their own search order.
  RestrictLibrarySearchToSystem();
  CreateMainForm(TheMainForm, nullptr);
  // Run destroys the form, and with it the record, when the loop ends.
  Run(TheMainForm->Form);
  TheMainForm = nullptr;
  return 0;
}
