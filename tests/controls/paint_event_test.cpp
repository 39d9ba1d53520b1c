// The paint event and off-screen painting on real windows: painting into a given device
// context, drawing into the kept bitmap and its size rule, and what controls inside a
// double-buffered control do instead of painting themselves.
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

struct PaintLog {
  std::vector<HDC> dcs;
  std::vector<HDC> canvasDCs;
  std::vector<HBITMAP> selectedBitmaps;
  COLORREF fill = RGB(255, 0, 0);
};

void RecordPaint(void* owner, Control* sender, HDC dc) {
  auto* log = static_cast<PaintLog*>(owner);
  log->dcs.push_back(dc);
  log->canvasDCs.push_back(sender->GetCanvas()->CanvasDC());
  log->selectedBitmaps.push_back(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)));
  RECT r;
  GetClientRect(sender->WindowHandle, &r);
  HBRUSH brush = CreateSolidBrush(log->fill);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

bool HasUpdate(HWND window) {
  RECT r;
  return GetUpdateRect(window, &r, FALSE) != FALSE;
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  GetObjectA(bitmap, sizeof info, &info);
  return SIZE{info.bmWidth, info.bmHeight};
}

// A visible form holding one paint box of the given size, painted by a PaintLog.
struct PaintScene {
  Control* form = MakeForm(nullptr, "paint");
  Control* box = MakeLabel(form, "");
  PaintLog log;
  PaintScene(int width, int height, bool buffered) {
    form->SetBounds(RectOf(20, 20, 520, 420));
    box->SetBounds(RectOf(10, 10, 10 + width, 10 + height));
    form->CreateWindowHandle();
    UpdateWindow(form->WindowHandle);
    Pump();
    SetPaintHandler(box, MakeCallback(&log, &RecordPaint));
    SetDoubleBuffered(box, buffered);
  }
  ~PaintScene() { form->Free(); }
  void Repaint() {
    InvalidateRect(box->WindowHandle, nullptr, TRUE);
    UpdateWindow(box->WindowHandle);
  }
  SIZE ResizeAndRepaint(int width, int height) {
    box->SetBounds(RectOf(10, 10, 10 + width, 10 + height));
    Repaint();
    return BitmapSize(box->BufferBitmap);
  }
};

}  // namespace

TEST_F(PaintEvent, PaintIntoAGivenContextSkipsBeginPaintAndReleasesNothing) {
  PaintScene scene(120, 80, false);
  HWND window = scene.box->WindowHandle;
  HDC memory = CreateCompatibleDC(nullptr);
  for (UINT message : {UINT(WM_PAINT), UINT(WM_PRINT)}) {
    scene.log = PaintLog{};
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(SendMessageA(window, message, reinterpret_cast<WPARAM>(memory), 0), 0);
    ASSERT_EQ(scene.log.dcs.size(), 1u);
    EXPECT_EQ(scene.log.dcs[0], memory);
    EXPECT_EQ(scene.log.canvasDCs[0], memory);
    EXPECT_TRUE(HasUpdate(window)) << "BeginPaint would have validated the window";
    EXPECT_EQ(scene.box->PaintDC, nullptr);
    EXPECT_EQ(scene.box->OwnCanvas->DC, nullptr);
    EXPECT_EQ(GetObjectType(memory), static_cast<DWORD>(OBJ_MEMDC)) << "the given DC was deleted";
  }
  DeleteDC(memory);

  // A plain WM_PAINT goes through BeginPaint and validates.
  scene.log = PaintLog{};
  UpdateWindow(window);
  ASSERT_EQ(scene.log.dcs.size(), 1u);
  EXPECT_FALSE(HasUpdate(window));
  // Without a listener the system class paints and the window is still validated.
  scene.box->OnPaint = Callback{};
  scene.log = PaintLog{};
  scene.Repaint();
  EXPECT_TRUE(scene.log.dcs.empty());
  EXPECT_FALSE(HasUpdate(window));
}

TEST_F(PaintEvent, BufferedPaintGoesThroughAKeptBitmapRemadeBySize) {
  PaintScene scene(300, 200, true);
  EXPECT_EQ(scene.box->BufferBitmap, nullptr);
  scene.log.fill = RGB(0, 0, 255);
  SIZE bitmap = scene.ResizeAndRepaint(300, 200);
  ASSERT_NE(scene.box->BufferBitmap, nullptr);
  EXPECT_EQ(bitmap.cx, 300);
  EXPECT_EQ(bitmap.cy, 200);
  // WM_PRINT from the chain, then WM_PAINT after the erase: both into the buffer, and the
  // screen shows what was drawn there.
  ASSERT_EQ(scene.log.dcs.size(), 2u);
  for (size_t i = 0; i < scene.log.dcs.size(); ++i) {
    EXPECT_EQ(scene.log.selectedBitmaps[i], scene.box->BufferBitmap);
    EXPECT_EQ(scene.log.canvasDCs[i], scene.log.dcs[i]);
  }
  EXPECT_FALSE(HasUpdate(scene.box->WindowHandle));
  HDC screen = GetDC(scene.box->WindowHandle);
  EXPECT_EQ(GetPixel(screen, 150, 100), RGB(0, 0, 255));
  ReleaseDC(scene.box->WindowHandle, screen);

  // Grown is remade; shrunk by less than 32 on each side is kept; 32 or more narrower is
  // remade.
  struct Step {
    int width, height;
    bool kept;
  };
  for (const Step& step : {Step{310, 200, false}, Step{290, 180, true}, Step{270, 200, false}}) {
    const HBITMAP before = scene.box->BufferBitmap;
    const SIZE old = bitmap;
    bitmap = scene.ResizeAndRepaint(step.width, step.height);
    EXPECT_EQ(scene.box->BufferBitmap == before, step.kept) << step.width;
    EXPECT_EQ(bitmap.cx, step.kept ? old.cx : step.width);
    EXPECT_EQ(bitmap.cy, step.kept ? old.cy : step.height);
  }
  HBITMAP last = scene.box->BufferBitmap;  // the bitmap goes with the control
  scene.box->Free();
  EXPECT_EQ(GetObjectType(last), 0u);
}

TEST_F(PaintEvent, ControlsInsideABufferedControlRepaintItInsteadOfThemselves) {
  Control* form = MakeForm(nullptr, "buffered panel");
  form->SetBounds(RectOf(30, 30, 430, 330));
  Control* panel = MakeLabel(form, "");
  panel->SetBounds(RectOf(5, 5, 305, 205));
  Control* label = MakeLabel(panel, "");
  label->SetText("before");
  Control* hidden = MakeLabel(panel, "");
  SetDoubleBuffered(panel, true);
  ASSERT_TRUE(form->CreateWindowHandle());
  hidden->SetVisible(false);
  UpdateWindow(form->WindowHandle);
  Pump();

  // The label's own paint only validates it and asks the panel to repaint.
  ValidateRect(panel->WindowHandle, nullptr);
  InvalidateRect(label->WindowHandle, nullptr, TRUE);
  UpdateWindow(label->WindowHandle);
  EXPECT_FALSE(HasUpdate(label->WindowHandle));
  EXPECT_TRUE(HasUpdate(panel->WindowHandle));
  UpdateWindow(panel->WindowHandle);

  // A new text reaches a shown label and leaves it shown; a hidden one stays hidden.
  label->SetText("after");
  EXPECT_EQ(WindowText(label->WindowHandle), "after");
  EXPECT_TRUE(IsWindowVisible(label->WindowHandle));
  hidden->SetText("still hidden");
  EXPECT_EQ(WindowText(hidden->WindowHandle), "still hidden");
  EXPECT_FALSE(IsWindowVisible(hidden->WindowHandle));
  form->Free();
}
