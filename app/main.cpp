// Program entry: builds the main window and runs the message loop until it is closed.
// The mail library, if a send loaded it, is freed when the process ends normally.
#include <windows.h>

#include "app/main_form.h"
#include "toolkit/control.h"
#include "toolkit/message_loop.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace velmora;
  CreateMainForm(TheMainForm, nullptr);
  // Run destroys the form, and with it the record, when the loop ends.
  Run(TheMainForm->Form);
  TheMainForm = nullptr;
  return 0;
}
