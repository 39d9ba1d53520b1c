// A window built like the program's: a top bar with buttons, the percentage combo box and
// size labels, a picture pane on the left, a splitter and a second pane on the right.
// With VELMORA_DEMO_SHOT set to a file name, a picture of the window is saved there as BMP.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/drawing_tool.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/paint.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using testing::FormGuard;
using testing::PumpFor;

struct Demo {
  Control* form = nullptr;
  Control* top = nullptr;
  std::vector<Control*> bar;  // every control of the top bar
  Control* percentCombo = nullptr;
  int paints = 0;

  static void PaintPane(void* owner, Control* sender, HDC dc) {
    static_cast<Demo*>(owner)->paints += 1;
    RECT r;
    GetClientRect(sender->WindowHandle, &r);
    HBRUSH brush = CreateSolidBrush(sender->DoubleBuffered ? RGB(70, 110, 160) : RGB(160, 120, 70));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }

  Demo() {
    form = SetClientSize(MakeForm(nullptr, "Velmora layout demo"), 775, 513);
    top = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignTop), 0, 65);
    Control* shrunkSize = SetAutoSize(SetPosition(MakeLabel(top, ""), 342, 33), true);
    Control* openedSize = SetAutoSize(SetPosition(MakeLabel(top, ""), 12, 33), true);
    Control* link = SetSize(SetPosition(MakeLabel(top, "www.velmora.example"), 648, 42), 115, 16);
    link->GetFont()->SetColor(0x800000);
    link->GetFont()->SetFontStyle(Underline);
    link->SetControlCursor(LoadCursorA(nullptr, IDC_HAND));
    Control* percentLabel = SetAutoSize(SetPosition(MakeLabel(top, "Shrink percent"), 93, 8), true);
    Control* open = SetSize(SetPosition(MakeButton(top, "Open ..."), 6, 5), 79, 0);
    Control* shrink = SetAutoSize(SetPosition(MakeButton(top, "Shrink"), 339, 6), true);
    Control* save = SetAutoSize(SetPosition(MakeButton(top, "Save..."), 504, 6), true);
    percentCombo = SetSize(SetPosition(MakeComboBox(top, ComboNoIntegralHeight), 248, 5), 49, 0);
    percentCombo->SetBackColor(ColorWindow);
    for (int i = 0; i < 10; ++i) SetItemText(percentCombo, i, std::to_string((i + 1) * 10) + "%");
    SetItemIndex(percentCombo, 0);
    Control* send = SetAutoSize(SetPosition(MakeButton(top, "Send by e-mail"), 615, 6), true);
    bar = {shrunkSize, openedSize, link, percentLabel, open, shrink, save, percentCombo, send};

    Control* left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), 389, 0);
    Control* openedPane = SetAlign(MakePaintBox(left), AlignClient);
    SetPaintHandler(openedPane, MakeCallback(this, &PaintPane));
    SetDoubleBuffered(openedPane, true);
    SetAlign(MakeSplitter(form, 0, 0), AlignLeft);
    Control* right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
    Control* shrunkPane = SetAlign(MakePaintBox(right), AlignClient);
    SetPaintHandler(shrunkPane, MakeCallback(this, &PaintPane));

    Center(form);
    SetItemIndex(percentCombo, 2);
    openedSize->SetText("Size: 1600x1200 , 412.37 Kb");
  }
};

// Saves the screen area of window as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const char* path) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) / 4) * 4;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + stride * h;
  bool written = false;
  if (FILE* out = std::fopen(path, "wb")) {
    written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
              std::fwrite(bits, stride * h, 1, out) == 1;
    written = std::fclose(out) == 0 && written;
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return written;
}

TEST(KindsDemo, ProgramLikeWindowIsLaidOutAndPainted) {
  Demo demo;
  FormGuard guard{demo.form};
  testing::ShowTree(demo.form);
  PumpFor(300);

  EXPECT_TRUE(IsWindowVisible(demo.form->WindowHandle));
  EXPECT_GE(demo.paints, 2);  // both panes painted themselves
  EXPECT_EQ(testing::WindowText(demo.percentCombo->WindowHandle), "30%");

  // Every control of the bar lies inside the bar's client area and none covers another.
  RECT inside;
  GetClientRect(demo.top->WindowHandle, &inside);
  for (size_t i = 0; i < demo.bar.size(); ++i) {
    const RECT a = demo.bar[i]->GetBounds();
    RECT both;
    EXPECT_TRUE(IntersectRect(&both, &a, &inside) && EqualRect(&both, &a)) << i;
    for (size_t j = i + 1; j < demo.bar.size(); ++j) {
      const RECT b = demo.bar[j]->GetBounds();
      EXPECT_FALSE(IntersectRect(&both, &a, &b)) << i << " and " << j;
    }
  }

  if (const char* shot = std::getenv("VELMORA_DEMO_SHOT")) {
    EXPECT_TRUE(SaveWindowPicture(demo.form->WindowHandle, shot)) << shot;
  }
}

}  // namespace
}  // namespace velmora
