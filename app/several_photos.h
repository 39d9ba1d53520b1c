// Several photos at once in the main window: opening a list of files, moving through it,
// shrinking every photo on worker threads with the results coming back to the window, saving
// the shrunk photos into a folder and mailing them in one message. One photo alone goes the
// way of app/image_actions.h. Relies on app/main_form.h, app/photo_list.h, app/result_inbox.h,
// imaging/batch_shrink.h, mail/mapi_mail.h and the toolkit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class Control;
class MainForm;
struct WindowMessage;

// Posted to the form by the inbox when shrink results have come.
constexpr UINT ShrinkResultsMessage = WM_APP + 0x101;

// Opens the files in the order given. One file opens as Open always did (OpenPictureFile).
// Of several, those that cannot be read or are no JPEG picture the program can decode are
// left out and named together in one message; when more than one remains they become the
// program's photos, the first one shown; when one remains it opens alone.
void OpenPictureFiles(MainForm* form, const std::vector<std::string>& paths);

// Ends the work with several photos (any shrink stops, the list empties, the row hides).
void ForgetPhotos(MainForm* form);

// Shows the photo at index: its picture and size line, its shrunk copy when there is one,
// and the photo line.
void ShowPhoto(MainForm* form, size_t index);

// The previous and next buttons, the wheel over the panes (a notch away from the user goes to
// the previous photo) and the change of the percentage (while a Shrink of several photos runs
// it starts over at the new one). Owner is the MainForm record.
void PreviousClick(void* owner, Control* sender);
void NextClick(void* owner, Control* sender);
void PaneWheel(void* owner, Control* sender, int32_t notches);
void PercentChange(void* owner, Control* sender);

// Shrink, Save and Send with several photos. Shrink starts over at percent with the photo
// shown first; Save asks for a folder and writes every shrunk photo there under its own name;
// Send mails them all in one message.
void ShrinkAll(MainForm* form, int32_t percent);
void SaveAll(MainForm* form);
void SendAll(MainForm* form);

// The form's handler of ShrinkResultsMessage: takes the results that have come.
bool ShrinkResultsHandler(Control* control, WindowMessage& message, LRESULT* result);

// Tells the user when a mail could not be sent: nothing for success and the user's cancel.
void ReportMailResult(uint32_t result);

}  // namespace velmora
