// The Control object that stands for every window of the toolkit, the message record and
// per-kind table handed around with it, the toolkit-wide state and the replaceable hooks.
// Relies on toolkit/object.h (reference word, lists, callbacks), toolkit/color.h and user32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "toolkit/color.h"
#include "toolkit/object.h"

namespace velmora {

class Control;
class DrawingTool;
class Canvas;

// The record every message handler receives; laid out like the front of the system's MSG.
struct WindowMessage {
  HWND Window = nullptr;
  UINT Message = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
};

// An attached handler: returns true when it handled the message, the result written to *result.
using MessageHandler = bool (*)(Control* control, WindowMessage& message, LRESULT* result);

// Event procedures, stored in Callback fields and fired as procedure(owner, sender, ...).
using ClickProc = void (*)(void* owner, Control* sender);
using PaintProc = void (*)(void* owner, Control* sender, HDC dc);

// Procedures of a control kind and of the toolkit's hooks.
using ControlProc = void (*)(Control* control);
using BrushProc = HBRUSH (*)(Control* control);

// Per-kind values copied into every child control; 0 means the kind has no such code or message.
struct KindTable {
  uint16_t ClickCode = 0;  // notification code that fires OnClick
  uint16_t SelectionChangeCode = 0;
  uint16_t ItemCountMessage = 0;
  uint16_t GetItemDataMessage = 0;
  uint16_t SetItemDataMessage = 0;
  uint16_t DeleteItemMessage = 0;
  uint16_t InsertItemMessage = 0;
  uint16_t GetItemIndexMessage = 0;
  uint16_t SetItemIndexMessage = 0;
  uint16_t AutoSizeExtraWidth = 0;   // 0 = width not auto-sized
  uint16_t AutoSizeExtraHeight = 0;  // 0 = height not auto-sized
};

// Docking of a control inside its parent's client area.
enum ControlAlign : uint8_t {
  AlignNone = 0,
  AlignLeft = 1,
  AlignTop = 2,
  AlignRight = 3,
  AlignBottom = 4,
  AlignClient = 5,
};

struct ClientInsets {
  int32_t Top = 0;
  int32_t Bottom = 0;
  int32_t Left = 0;
  int32_t Right = 0;
};

// Bits of Control::PositionSet.
constexpr uint8_t LeftWasSet = 1;
constexpr uint8_t TopWasSet = 2;

// Control::Icon value for "no icon" (0 means "not loaded yet").
inline HICON NoIcon() { return reinterpret_cast<HICON>(static_cast<intptr_t>(-1)); }

// Messages private to the toolkit.
constexpr UINT PrivateRelease = 0xB003;        // free the control whose window the system destroyed
constexpr UINT PrivateNotify = 0xB005;         // a WM_COMMAND handed on to the child it came from
constexpr UINT ReflectedColorOffset = 0xBC00;  // WM_CTLCOLORxxx + this reaches the child

constexpr DWORD DefaultControlStyle = 0x16CF0000;  // visible, clipping, overlapped window

class Control : public ObjectBase {
 public:
  // Virtual operations, in slot order after the two of ObjectBase.
  void Init() override;
  void Destroy() override;
  virtual void InitWithParent(Control* parent);
  virtual bool CreateWindowHandle();
  virtual LRESULT HandleMessage(WindowMessage& message);

  // Window and messages.
  HWND GetWindowHandle();  // creates the window (hidden, PendingShow) when needed
  void CreateChildWindows();
  LRESULT SendToWindow(UINT message, WPARAM wParam, LPARAM lParam);
  void AddMessageHandler(MessageHandler handler);
  LRESULT DefaultProcessing(const WindowMessage& message);
  void SetParentControl(Control* parent);
  Control* FindForm();
  bool IsMainWindow() const;
  void FireClick();

  // Properties.
  void SetText(const std::string& text);
  bool GetVisible();
  void SetVisible(bool visible);
  RECT GetBounds();
  void SetBounds(const RECT& bounds);
  void SetLeft(int32_t left);
  void SetTop(int32_t top);
  void SetWidth(int32_t width);
  void SetHeight(int32_t height);
  int32_t GetWidth();
  int32_t GetHeight();
  RECT GetClientArea();
  void RequestRepaint();
  bool TakeFocus();
  bool IsEnabled() const;
  void SetBackColor(Color color);
  DrawingTool* GetFont();
  DrawingTool* GetBrush();
  void SetControlCursor(HCURSOR cursor);
  HICON GetIcon();
  Canvas* GetCanvas();

  // Font and colour changes coming from the control's tools.
  void ApplyFont();
  void ApplyColor();

  // Fields, in declaration order.
  HWND WindowHandle = nullptr;
  UINT ClassStyle = CS_OWNDC;
  DWORD Style = DefaultControlStyle;
  DWORD ExStyle = WS_EX_CONTROLPARENT;
  HCURSOR Cursor = nullptr;
  HICON Icon = nullptr;
  bool IconShared = false;
  std::string Caption;
  int32_t RestoreShowCommand = 0;
  Canvas* OwnCanvas = nullptr;
  WNDPROC ClassWindowProc = nullptr;
  bool WindowGone = false;
  Control* Parent = nullptr;
  bool Visible = true;
  bool TabStop = false;
  int32_t TabOrder = 0;
  ObjectList* Children = nullptr;
  HBRUSH BackgroundBrush = nullptr;
  COLORREF BackgroundBrushColor = 0;  // the RGB BackgroundBrush was made for
  bool Destroying = false;
  int32_t ControlId = 0;
  bool IsForm = false;
  bool IsChild = false;
  bool IsLabel = false;
  uint8_t PositionSet = 0;
  HDC PaintDC = nullptr;
  ObjectList* MessageHandlers = nullptr;  // pairs: procedure, keep-after-termination flag
  std::string ClassName;
  bool ChildrenGet3D = true;
  bool Look3D = true;
  Color TextColor = ColorWindowText;
  DrawingTool* Font = nullptr;
  Color BackColor = ColorButtonFace;
  DrawingTool* Brush = nullptr;
  int32_t AlignMargin = 2;
  RECT Bounds = {0, 0, 0, 0};
  ClientInsets ClientMargins;
  bool DoubleBuffered = false;
  Callback OnClick;
  Control* FocusedChild = nullptr;
  bool PendingShow = false;
  int8_t FocusGuard = 0;
  KindTable Kind;
  Callback OnPaint;
  // Fired as ClickProc when the user's choice of an item has settled (kinds with a
  // SelectionChangeCode: the combo box); not when the program selects an item.
  Callback OnSelectionChange;
  uint8_t Align = AlignNone;
  ControlProc AfterCreate = nullptr;
  ControlProc AfterTextChange = nullptr;

  // Combo box.
  bool DroppedDown = false;
  int32_t IndexAtDropDown = 0;
  // Splitter.
  bool Dragging = false;
  POINT DragStart = {0, 0};
  int32_t StartSize = 0;
  int32_t MinSizeBefore = 0;
  int32_t MinSizeAfter = 0;
  // Off-screen painting.
  HBITMAP BufferBitmap = nullptr;
  int32_t BufferWidth = 0;
  int32_t BufferHeight = 0;
  bool PaintingToBuffer = false;

 private:
  bool RunMessageHandlers(WindowMessage& message, LRESULT* result);
  LRESULT BuiltInHandling(WindowMessage& message);
};

// Construction; the control kinds are built on these.
Control* MakeControlObject(Control* parent);
Control* MakeWindowedControl(Control* parent, const std::string& className, bool want3D);
Control* MakeChildControl(Control* parent, const std::string& className, DWORD style, bool want3D,
                          const KindTable* kind);

// The ClearProc of kinds whose content is their text: empties the text.

// The control bound to a window through its "SELF_" property, or null.
Control* ControlOfWindow(HWND window);

// Gives every child window of window that has no recorded procedure yet the procedure proc;
// the one it had is recorded in its PrevProcProperty.
void SubclassChildWindows(HWND window, WNDPROC proc);
// Passes a message on to the procedure recorded that way; 0 when none is recorded.
LRESULT CallPreviousProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The one window procedure of every class the toolkit registers.
LRESULT CALLBACK ToolkitWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The device-context provider of a control's canvas (its Callback context is the control):
// the paint in progress, else the canvas's bound DC, else GetDC of the control's window.
HDC ControlDeviceContext(void* control, Canvas* canvas);

// The toolkit's background-brush rule before brush tools are used: the cached solid brush of
// the highest ancestor with the same BackColor.
HBRUSH SolidBackgroundBrush(Control* control);

// Window property names.
extern const char* const SelfProperty;      // "SELF_"
extern const char* const PrevProcProperty;  // "PREV_PROC"

// Toolkit-wide state (GUI thread only).
extern Control* AppWindow;
extern uint8_t LoopRunning;
extern bool AppTerminated;
extern Control* ControlBeingCreated;
extern uint16_t NextControlId;

// Hooks with do-nothing defaults, replaced by the feature that needs them.
extern bool (*PreDispatchHook)(Control* control, WindowMessage& message, LRESULT* result);
extern ControlProc AfterCreateHook;
extern ControlProc AfterRepaintRequestHook;
extern BrushProc ControlBackgroundBrush;
extern ControlProc AlignHook;
// Sees each keyboard message the message loop takes from the queue before it is translated and
// dispatched; true takes the message, which then goes no further. Keyboard use (keyboard.h)
// installs it.
extern bool (*KeyPreviewHook)(const MSG& message);
// The same for each WM_MOUSEWHEEL; the mouse wheel unit (mouse_wheel.h) installs it.
extern bool (*WheelPreviewHook)(const MSG& message);

}  // namespace velmora
