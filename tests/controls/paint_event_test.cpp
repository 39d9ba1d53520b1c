// The paint event and off-screen painting on real windows: painting into a given device
// context, the kept bitmap's size rule, drawing into the buffer and one blit to the screen,
// and what controls inside a double-buffered control do instead of painting themselves.
#include <vector>

#include "control_test_support.h"
#include "toolkit/canvas.h"
#include "toolkit/paint.h"
#include "toolkit/text_utils.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

class PaintEvent : public ToolkitTest {};

struct PaintLog {
  std::vector<HDC> dcs;
  std::vector<HDC> canvasDCs;
  std::vector<HDC> paintDCs;
  std::vector<HBITMAP> selectedBitmaps;
  std::vector<DWORD> dcTypes;
  COLORREF fill = RGB(255, 0, 0);
};

void RecordPaint(void* owner, Control* sender, HDC dc) {
  auto* log = static_cast<PaintLog*>(owner);
  log->dcs.push_back(dc);
  log->paintDCs.push_back(sender->PaintDC);
  log->canvasDCs.push_back(sender->GetCanvas()->CanvasDC());
  log->selectedBitmaps.push_back(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)));
  log->dcTypes.push_back(GetObjectType(dc));
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

// Paints until nothing inside `window` asks for more, within a few rounds.
bool Settles(HWND window) {
  for (int round = 0; round < 4; ++round) {
    UpdateWindow(window);
    bool pending = HasUpdate(window);
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      pending |= HasUpdate(c);
    if (!pending) return true;
  }
  return false;
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  GetObjectA(bitmap, sizeof info, &info);
  return SIZE{info.bmWidth, info.bmHeight};
}

// A visible form holding one paint box of the given size.
struct PaintScene {
  Control* form = nullptr;
  Control* box = nullptr;
  PaintScene(int width, int height) {
    form = MakeTestForm("paint");
    form->SetBounds(RectOf(20, 20, 520, 420));
    box = MakeTestStatic(form);
    box->SetBounds(RectOf(10, 10, 10 + width, 10 + height));
    form->CreateWindowHandle();
    UpdateWindow(form->WindowHandle);
    DrainQueue();
  }
  ~PaintScene() { form->Free(); }
  void Repaint() {
    InvalidateRect(box->WindowHandle, nullptr, TRUE);
    UpdateWindow(box->WindowHandle);
  }
  void Resize(int width, int height) {
    box->SetBounds(RectOf(10, 10, 10 + width, 10 + height));
    Repaint();
  }
};

}  // namespace

TEST_F(PaintEvent, PaintIntoAGivenContextSkipsBeginPaintAndReleasesNothing) {
  PaintScene scene(120, 80);
  PaintLog log;
  SetPaintHandler(scene.box, MakeCallback(&log, &RecordPaint));
  HWND window = scene.box->WindowHandle;
  HDC memory = CreateCompatibleDC(nullptr);

  for (UINT message : {UINT(WM_PAINT), UINT(WM_PRINT)}) {
    log = PaintLog{};
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(SendMessageA(window, message, reinterpret_cast<WPARAM>(memory), 0), 0);
    ASSERT_EQ(log.dcs.size(), 1u);
    EXPECT_EQ(log.dcs[0], memory);
    EXPECT_EQ(log.paintDCs[0], memory);
    EXPECT_EQ(log.canvasDCs[0], memory);
    EXPECT_TRUE(HasUpdate(window)) << "BeginPaint would have validated the window";
    EXPECT_EQ(scene.box->PaintDC, nullptr);
    EXPECT_EQ(scene.box->OwnCanvas->DC, nullptr);
    EXPECT_EQ(GetObjectType(memory), static_cast<DWORD>(OBJ_MEMDC))
        << "the given context was deleted";
  }

  // A plain WM_PAINT paints through BeginPaint and validates.
  log = PaintLog{};
  UpdateWindow(window);
  ASSERT_EQ(log.dcs.size(), 1u);
  EXPECT_NE(log.dcs[0], memory);
  EXPECT_FALSE(HasUpdate(window));
  EXPECT_EQ(scene.box->PaintDC, nullptr);

  // Without a listener the system class paints: the handler stays out of the way.
  scene.box->OnPaint = Callback{};
  log = PaintLog{};
  scene.Repaint();
  EXPECT_TRUE(log.dcs.empty());
  EXPECT_FALSE(HasUpdate(window));
  DeleteDC(memory);
}

TEST_F(PaintEvent, KeptBitmapIsMadeKeptAndRemadeBySize) {
  PaintScene scene(300, 200);
  PaintLog log;
  SetPaintHandler(scene.box, MakeCallback(&log, &RecordPaint));
  SetDoubleBuffered(scene.box, true);
  EXPECT_EQ(scene.box->BufferBitmap, nullptr);

  scene.Repaint();
  ASSERT_NE(scene.box->BufferBitmap, nullptr);
  SIZE s = BitmapSize(scene.box->BufferBitmap);
  EXPECT_EQ(s.cx, 300);
  EXPECT_EQ(s.cy, 200);
  EXPECT_EQ(scene.box->BufferWidth, 300);
  EXPECT_FALSE(scene.box->PaintingToBuffer);

  scene.Resize(310, 200);  // grown: re-made
  s = BitmapSize(scene.box->BufferBitmap);
  EXPECT_EQ(s.cx, 310);
  EXPECT_EQ(s.cy, 200);

  HBITMAP kept = scene.box->BufferBitmap;
  scene.Resize(290, 180);  // shrunk by less than 32 on each side: kept
  EXPECT_EQ(scene.box->BufferBitmap, kept);
  s = BitmapSize(kept);
  EXPECT_EQ(s.cx, 310);
  EXPECT_EQ(s.cy, 200);

  scene.Resize(270, 200);  // 40 narrower than the bitmap: re-made
  s = BitmapSize(scene.box->BufferBitmap);
  EXPECT_EQ(s.cx, 270);
  EXPECT_EQ(s.cy, 200);
  EXPECT_EQ(scene.box->BufferHeight, 200);
}

TEST_F(PaintEvent, BufferedPaintDrawsOffScreenTwiceAndBlitsOnce) {
  PaintScene scene(100, 60);
  PaintLog log;
  log.fill = RGB(0, 0, 255);
  SetPaintHandler(scene.box, MakeCallback(&log, &RecordPaint));
  SetDoubleBuffered(scene.box, true);
  scene.Repaint();

  // WM_PRINT from the chain, then WM_PAINT after the erase: both into the buffer.
  ASSERT_EQ(log.dcs.size(), 2u);
  for (size_t i = 0; i < log.dcs.size(); ++i) {
    EXPECT_EQ(log.dcTypes[i], static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(log.selectedBitmaps[i], scene.box->BufferBitmap);
    EXPECT_EQ(log.canvasDCs[i], log.dcs[i]);
  }
  EXPECT_FALSE(HasUpdate(scene.box->WindowHandle));
  EXPECT_EQ(scene.box->PaintDC, nullptr);

  // The screen shows what was drawn into the buffer.
  HDC screen = GetDC(scene.box->WindowHandle);
  EXPECT_EQ(GetPixel(screen, 50, 30), RGB(0, 0, 255));
  ReleaseDC(scene.box->WindowHandle, screen);

  // The bitmap goes with the control.
  HBITMAP bitmap = scene.box->BufferBitmap;
  scene.box->Free();
  EXPECT_EQ(GetObjectType(bitmap), 0u);
}

TEST_F(PaintEvent, ControlsInsideABufferedControlRepaintItInsteadOfThemselves) {
  Control* form = MakeTestForm("buffered panel");
  form->SetBounds(RectOf(30, 30, 430, 330));
  Control* panel = MakeTestStatic(form);
  panel->SetBounds(RectOf(5, 5, 305, 205));
  Control* label = MakeTestStatic(panel);
  label->SetText("before");
  Control* hidden = MakeTestStatic(panel);
  SetDoubleBuffered(panel, true);
  ASSERT_TRUE(form->CreateWindowHandle());
  hidden->SetVisible(false);
  UpdateWindow(form->WindowHandle);
  DrainQueue();

  // A repaint request inside invalidates the buffered control as well.
  ValidateRect(panel->WindowHandle, nullptr);
  label->RequestRepaint();
  EXPECT_TRUE(HasUpdate(panel->WindowHandle));
  EXPECT_TRUE(Settles(panel->WindowHandle));

  // Its own paint outside a buffered paint only validates it and asks the panel to repaint.
  ValidateRect(panel->WindowHandle, nullptr);
  InvalidateRect(label->WindowHandle, nullptr, TRUE);
  UpdateWindow(label->WindowHandle);
  EXPECT_FALSE(HasUpdate(label->WindowHandle));
  EXPECT_TRUE(HasUpdate(panel->WindowHandle));
  EXPECT_TRUE(Settles(panel->WindowHandle));

  // Background erases are left to the buffered paint.
  HDC memory = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SendMessageA(label->WindowHandle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0),
            1);
  DeleteDC(memory);

  // A label changes its text while hidden and comes back without activation; a hidden one
  // stays hidden.
  label->SetText("after");
  char text[16] = {};
  GetWindowTextA(label->WindowHandle, text, sizeof text);
  EXPECT_STREQ(text, "after");
  EXPECT_TRUE(IsWindowVisible(label->WindowHandle));
  hidden->SetText("still hidden");
  GetWindowTextA(hidden->WindowHandle, text, sizeof text);
  EXPECT_STREQ(text, "still hidden");
  EXPECT_FALSE(IsWindowVisible(hidden->WindowHandle));
  form->Free();
}
