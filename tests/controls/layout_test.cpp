// Layout on real windows: a window built like the program's (docked top bar, left column,
// splitter and client pane; with VELMORA_DEMO_SHOT set to a file name its picture is saved
// there as BMP), docking order, exact client sizes, centring and auto-size (measured with the
// control's own canvas, since font substitution makes fixed text widths meaningless).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/canvas.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/paint.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using namespace testing;

std::vector<RECT> Bounds(std::initializer_list<Control*> controls) {
  std::vector<RECT> result;
  for (Control* c : controls) result.push_back(c->GetBounds());
  return result;
}

SIZE Measure(Control* control, const std::string& text) {
  return control->GetCanvas()->MeasureText(text);
}

// The program's main window: a top bar with buttons, the percentage combo box and size
// labels, a picture pane on the left, a splitter and a second pane on the right.
struct Demo {
  static constexpr int TopHeight = 65;
  static constexpr int LeftWidth = 389;
  Control* form = SetClientSize(MakeForm(nullptr, "Velmora layout demo"), 775, 513);
  FormGuard guard{form};
  Control* top = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignTop), 0, TopHeight);
  Control* left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
  Control* splitter = SetAlign(MakeSplitter(form, 0, 0), AlignLeft);
  Control* right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
  Control* combo = SetSize(SetPosition(MakeComboBox(top, ComboNoIntegralHeight), 248, 5), 49, 0);
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
    SetAutoSize(SetPosition(MakeLabel(top, "Size: 1600x1200 , 412.37 Kb"), 12, 33), true);
    SetAutoSize(SetPosition(MakeLabel(top, "Shrink percent"), 93, 8), true);
    SetSize(SetPosition(MakeButton(top, "Open ..."), 6, 5), 79, 0);
    SetAutoSize(SetPosition(MakeButton(top, "Shrink"), 339, 6), true);
    SetAutoSize(SetPosition(MakeButton(top, "Save..."), 504, 6), true);
    SetAutoSize(SetPosition(MakeButton(top, "Send by e-mail"), 615, 6), true);
    combo->SetBackColor(ColorWindow);
    for (int i = 0; i < 10; ++i) SetItemText(combo, i, std::to_string((i + 1) * 10) + "%");
    SetItemIndex(combo, 2);
    for (Control* parent : {left, right}) {
      Control* pane = SetAlign(MakePaintBox(parent), AlignClient);
      SetPaintHandler(pane, MakeCallback(this, &PaintPane));
      SetDoubleBuffered(pane, parent == left);
    }
    Center(form);
  }

  // The docked rectangles expected in the form's current client area.
  std::vector<RECT> Expected() {
    const RECT c = ClientRectOf(form);
    const int m = form->AlignMargin;
    const int t = m + TopHeight + m;
    const int s = m + LeftWidth + m;
    const int w = splitter->GetWidth();
    return {{m, m, c.right - m, m + TopHeight},
            {m, t, m + LeftWidth, c.bottom - m},
            {s, t, s + w, c.bottom - m},
            {s + w + m, t, c.right - m, c.bottom - m}};
  }
};

// Saves the screen area of window as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const char* path) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const DWORD stride = ((w * 3 + 3) / 4) * 4;
  BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, stride * h, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, sizeof file + sizeof info + info.biSizeImage, 0, 0,
                        sizeof file + sizeof info};
  std::vector<char> bits(info.biSizeImage);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(dc, old);
  const bool copied = GetDIBits(dc, bitmap, 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                DIB_RGB_COLORS) == h;
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  const bool written = copied && std::fwrite(&file, sizeof file, 1, out) == 1 &&
                       std::fwrite(&info, sizeof info, 1, out) == 1 &&
                       std::fwrite(bits.data(), bits.size(), 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

// Catches wrong docking margins or order, a layout that does not follow a resize, and a
// client size or centring measured on the wrong frame.
TEST(Layout, ProgramWindowIsDockedCentredPaintedAndFollowsAResize) {
  Demo demo;
  // Built hidden, as during start-up: the arrangement is already in place.
  EXPECT_EQ(ClientRectOf(demo.form), (RECT{0, 0, 775, 513}));
  const std::vector<RECT> docked = {
      {2, 2, 773, 67}, {2, 69, 391, 511}, {393, 69, 397, 511}, {399, 69, 773, 511}};
  EXPECT_EQ(Bounds({demo.top, demo.left, demo.splitter, demo.right}), docked);
  RECT outer;
  GetWindowRect(demo.form->WindowHandle, &outer);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

  ShowTree(demo.form);
  Pump(300);
  EXPECT_GE(demo.paints, 2);  // both panes painted themselves
  EXPECT_EQ(WindowText(demo.combo->WindowHandle), "30%");
  if (const char* shot = std::getenv("VELMORA_DEMO_SHOT")) {
    EXPECT_TRUE(SaveWindowPicture(demo.form->WindowHandle, shot)) << shot;
  }

  // The user dragging the frame: a plain SetWindowPos, WM_SIZE does the rest.
  SetWindowPos(demo.form->WindowHandle, nullptr, 0, 0, outer.right - outer.left + 125,
               outer.bottom - outer.top - 107, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  EXPECT_EQ(ClientRectOf(demo.form).right, 775 + 125);
  EXPECT_EQ(Bounds({demo.top, demo.left, demo.splitter, demo.right}), demo.Expected());
}

// Catches bars placed after the columns when created later, and negative sizes.
TEST(Layout, TopAndBottomArePlacedBeforeLeftAndRightWhateverTheCreationOrder) {
  Control* form = SetClientSize(MakeForm(nullptr, "Order"), 600, 400);
  FormGuard guard{form};
  Control* label = SetPosition(MakeLabel(form, "free"), 40, 50);
  const RECT labelBefore = label->GetBounds();
  Control* right = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignRight), 80, 0);
  Control* left = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignLeft), 120, 0);
  Control* fill = SetAlign(MakePanel(form, PanelFlat), AlignClient);
  Control* bottom = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignBottom), 0, 30);
  Control* top = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignTop), 0, 50);
  const int m = form->AlignMargin;
  const int t = m + 50 + m;        // columns top
  const int b = 400 - m - 30 - m;  // columns bottom
  EXPECT_EQ(Bounds({top, bottom, left, right, fill, label}),
            (std::vector<RECT>{{m, m, 600 - m, m + 50},
                               {m, 400 - m - 30, 600 - m, 400 - m},
                               {m, t, m + 120, b},
                               {600 - m - 80, t, 600 - m, b},
                               {m + 120 + m, t, 600 - m - 80 - m, b},
                               labelBefore}));

  // Too small a parent gives zero sizes, never negative ones; the bars keep their height.
  ShowTree(form);
  SetClientSize(form, 120, 70);
  Pump();
  for (Control* c : {top, bottom, left, right, fill}) {
    EXPECT_GE(c->GetWidth(), 0);
    EXPECT_GE(c->GetHeight(), 0);
  }
  EXPECT_EQ(top->GetHeight(), 50);
  EXPECT_EQ(left->GetHeight(), 0);
  EXPECT_EQ(fill->GetWidth(), 0);
}

// Catches auto-size missing the kind's extras or moving the control, and bad sizes accepted.
TEST(Layout, AutoSizeIsTheTextExtentPlusTheKindsExtras) {
  Control* form = MakeForm(nullptr, "Auto");
  FormGuard guard{form};
  Control* label = SetAutoSize(SetPosition(MakeLabel(form, "Shrink percent"), 93, 8), true);
  for (const std::string text : {"Shrink percent", "Size: 1024x768 , 143.27 Kb", ""}) {
    label->SetText(text);
    const SIZE extent = Measure(label, text);
    EXPECT_EQ(label->GetBounds(), (RECT{93, 8, 93 + extent.cx + 1, 8 + extent.cy + 1})) << text;
  }
  for (const char* caption : {"Shrink", "Save...", "Send by e-mail"}) {
    Control* button = SetAutoSize(MakeButton(form, caption), true);
    EXPECT_EQ(button->GetWidth(), Measure(button, caption).cx + 14) << caption;
    EXPECT_EQ(button->GetHeight(), 22) << caption;
  }

  // Zero keeps a side, negative sizes change nothing, and no call breaks on no control.
  SetClientSize(form, 300, 200);
  SetClientSize(form, 0, 150);
  SetClientSize(form, -1, -1);
  EXPECT_EQ(ClientRectOf(form), (RECT{0, 0, 300, 150}));
  EXPECT_EQ(SetSize(SetPosition(SetClientSize(SetAutoSize(SetAlign(nullptr, AlignTop), true), 1, 2),
                                1, 2),
                    1, 2),
            nullptr);
  Center(nullptr);
  AutoSizeToText(nullptr);
  AlignChildren(nullptr);
}

}  // namespace
}  // namespace velmora
