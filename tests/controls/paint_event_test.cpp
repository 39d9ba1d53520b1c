// The paint event and off-screen painting on real windows: painting into a given device
// context, and drawing into the kept bitmap with its size rule.
#include <vector>

#include "control_test_support.h"
#include "toolkit/canvas.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/paint.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

class PaintEvent : public ToolkitTest {};

// Fills the sender's client area and notes the DC it was given and the bitmap selected in it.
struct PaintLog {
  std::vector<HDC> dcs;
  std::vector<HBITMAP> bitmaps;
  static void Record(void* owner, Control* sender, HDC dc) {
    auto* log = static_cast<PaintLog*>(owner);
    EXPECT_EQ(sender->GetCanvas()->CanvasDC(), dc);
    log->dcs.push_back(dc);
    log->bitmaps.push_back(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)));
    RECT r;
    GetClientRect(sender->WindowHandle, &r);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
};

bool HasUpdate(HWND window) {
  RECT r;
  return GetUpdateRect(window, &r, FALSE) != FALSE;
}

// A visible form holding one paint box of the given size, painted by a PaintLog.
struct PaintScene {
  Control* form = MakeForm(nullptr, "paint");
  FormGuard guard{form};
  Control* box = MakeLabel(form, "");
  PaintLog log;
  PaintScene(int width, int height, bool buffered) {
    form->SetBounds(RectOf(20, 20, 520, 420));
    Resize(width, height);
    ShowTree(form);
    SetPaintHandler(box, MakeCallback(&log, &PaintLog::Record));
    SetDoubleBuffered(box, buffered);
  }
  void Resize(int width, int height) { box->SetBounds(RectOf(10, 10, 10 + width, 10 + height)); }
  void Repaint() {
    InvalidateRect(box->WindowHandle, nullptr, TRUE);
    UpdateWindow(box->WindowHandle);
  }
};

}  // namespace

// Catches BeginPaint on a given DC (it would validate the window) and deleting the caller's DC.
TEST_F(PaintEvent, PaintIntoAGivenContextSkipsBeginPaintAndReleasesNothing) {
  PaintScene scene(120, 80, false);
  HWND window = scene.box->WindowHandle;
  HDC memory = CreateCompatibleDC(nullptr);
  for (UINT message : {UINT(WM_PAINT), UINT(WM_PRINT)}) {
    scene.log = PaintLog{};
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(SendMessageA(window, message, reinterpret_cast<WPARAM>(memory), 0), 0);
    EXPECT_EQ(scene.log.dcs, std::vector<HDC>{memory});
    EXPECT_TRUE(HasUpdate(window)) << "BeginPaint would have validated the window";
    EXPECT_EQ(scene.box->PaintDC, nullptr);
    EXPECT_EQ(scene.box->OwnCanvas->DC, nullptr);
    EXPECT_EQ(GetObjectType(memory), static_cast<DWORD>(OBJ_MEMDC)) << "the given DC was deleted";
  }
  DeleteDC(memory);

  // A plain WM_PAINT goes through BeginPaint and validates, with or without a listener.
  scene.log = PaintLog{};
  UpdateWindow(window);
  EXPECT_EQ(scene.log.dcs.size(), 1u);
  EXPECT_FALSE(HasUpdate(window));
  scene.box->OnPaint = Callback{};
  scene.Repaint();
  EXPECT_EQ(scene.log.dcs.size(), 1u);
  EXPECT_FALSE(HasUpdate(window));
}

// Catches painting past the buffer, a bitmap remade too often or not at all, and a leak.
TEST_F(PaintEvent, BufferedPaintGoesThroughAKeptBitmapRemadeBySize) {
  PaintScene scene(300, 200, true);
  EXPECT_EQ(scene.box->BufferBitmap, nullptr);
  SIZE size{300, 200};
  // Grown is remade; shrunk by less than 32 on each side is kept; 32 or more narrower is
  // remade.
  struct Step {
    int width, height;
    bool kept;
  };
  for (const Step& step : {Step{300, 200, false}, Step{310, 200, false}, Step{290, 180, true},
                           Step{270, 200, false}}) {
    const HBITMAP before = scene.box->BufferBitmap;
    scene.log = PaintLog{};
    scene.Resize(step.width, step.height);
    scene.Repaint();
    ASSERT_NE(scene.box->BufferBitmap, nullptr);
    EXPECT_EQ(scene.box->BufferBitmap == before, step.kept) << step.width;
    if (!step.kept) size = SIZE{step.width, step.height};
    BITMAP info = {};
    GetObjectA(scene.box->BufferBitmap, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, size.cx) << step.width;
    EXPECT_EQ(info.bmHeight, size.cy) << step.width;
    // WM_PRINT from the chain, then WM_PAINT after the erase: both into the buffer, and the
    // screen shows what was drawn there.
    EXPECT_EQ(scene.log.bitmaps, std::vector<HBITMAP>(2, scene.box->BufferBitmap));
    EXPECT_FALSE(HasUpdate(scene.box->WindowHandle));
    HDC screen = GetDC(scene.box->WindowHandle);
    EXPECT_EQ(GetPixel(screen, step.width / 2, step.height / 2), RGB(0, 0, 255));
    ReleaseDC(scene.box->WindowHandle, screen);
  }
  HBITMAP last = scene.box->BufferBitmap;  // the bitmap goes with the control
  scene.box->Free();
  EXPECT_EQ(GetObjectType(last), 0u);
}
