// Files handed to other programs, each seen from a real other process: the clipboard read by
// the paste probe, and a drag by real mouse input onto the probe's drop window. (The picture
// made as the program ends and Explorer with files selected: e2e/sharing_test.cpp.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "standins/paste_probe_run.h"
#include "toolkit/bitmap.h"
#include "toolkit/clipboard.h"
#include "toolkit/control.h"
#include "toolkit/file_drag.h"
#include "toolkit/form.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using standins::FinishPasteProbe;
using standins::StartPasteProbe;
using Lines = std::vector<std::string>;

namespace {

std::string TestFile(const std::string& name) { return TempDirectory() + name; }

Lines FileLines(const std::vector<std::string>& paths) {
  Lines lines;
  for (const std::string& p : paths) lines.push_back("file=" + p);
  return lines;
}

// The picture is made only when a program asks for it; the file list is marked to be copied.
TEST(Clipboard, FilesAndAPictureMadeOnlyWhenAsked) {
  const std::vector<std::string> paths = {TestFile("clip one.jpg"), TestFile("clip-two.jpg")};
  const std::string log = TestFile("clipboard-probe.txt");
  Control* form = MakeForm(nullptr, "clipboard");
  int made = 0;
  DibMaker maker = [&made] {
    ++made;
    Bitmap* bitmap = MakeDibBitmap(37, 23);
    HGLOBAL dib = PackedDibOfBitmap(bitmap);
    FreeObject(bitmap);
    return dib;
  };
  ASSERT_TRUE(PutFilesOnClipboard(form, paths, maker));
  Lines expected = FileLines(paths);
  expected.push_back("effect=1");
  EXPECT_EQ(FinishPasteProbe(StartPasteProbe("clipboard", log), log), expected);
  EXPECT_EQ(made, 0);
  expected.push_back("picture=37x23x24");
  EXPECT_EQ(FinishPasteProbe(StartPasteProbe("clipboard", log, "picture"), log), expected);
  EXPECT_EQ(made, 1);
  form->Free();
  DeleteFileA(log.c_str());
}

// The files of a drag from the source window, and how often they were asked for.
struct DragSource {
  static inline std::vector<std::string> Paths;
  static inline int Asked = 0;
  static void Provide(void*, Control*, std::vector<std::string>* paths) {
    ++Asked;
    *paths = Paths;
  }
};

void MouseTo(POINT p, DWORD buttons = 0) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi = {MulDiv(p.x, 65535, w - 1),
              MulDiv(p.y, 65535, h - 1),
              0,
              MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons,
              0,
              0};
  SendInput(1, &input, sizeof input);
  Sleep(40);
}

// A press and let go in place stays a click; a press moved onto another program's drop target
// hands it the file list, to be copied.
TEST(FileDrag, FilesDraggedOntoAnotherProgramsWindow) {
  DragSource::Paths = {TestFile("drag one.jpg"), TestFile("drag-two.jpg")};
  const std::string log = TestFile("drop-probe.txt");
  HANDLE probe = StartPasteProbe("drop", log, "700 300 200 200");
  ASSERT_NE(probe, nullptr);
  for (int i = 0; i < 400 && !FindWindowA("VelmoraDropProbe", nullptr); ++i) Sleep(25);
  ASSERT_NE(FindWindowA("VelmoraDropProbe", nullptr), nullptr);
  Control* form = MakeForm(nullptr, "drag source");
  EnableFileDrag(form, MakeCallback(nullptr, &DragSource::Provide));
  SetWindowPos(form->GetWindowHandle(), HWND_TOPMOST, 100, 300, 200, 200, SWP_SHOWWINDOW);

  std::thread mouse([] {
    MouseTo({200, 400});
    MouseTo({200, 400}, MOUSEEVENTF_LEFTDOWN);
    MouseTo({200, 400}, MOUSEEVENTF_LEFTUP);
    MouseTo({150, 400});  // away from the click: not a double click
    MouseTo({150, 400}, MOUSEEVENTF_LEFTDOWN);
    for (int x = 160; x <= 800; x += 30) MouseTo({x, 400});
    MouseTo({800, 400});
    MouseTo({800, 400}, MOUSEEVENTF_LEFTUP);
  });
  const Lines record = FinishPasteProbe(probe, log);
  mouse.join();
  Lines expected = {"dropeffects=1"};
  for (const std::string& line : FileLines(DragSource::Paths)) expected.push_back(line);
  expected.push_back("effect=1");
  EXPECT_EQ(record, expected);
  EXPECT_EQ(DragSource::Asked, 1) << "a click is not a drag";
  form->Free();
  DeleteFileA(log.c_str());
}

}  // namespace
