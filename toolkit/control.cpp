// Control object: construction, window class registration and creation, the one window
// procedure, message dispatch through hooks, attached handlers and built-in handling, the
// common properties and the tear-down order.
#include "toolkit/control.h"

#include <cstring>

#include "toolkit/canvas.h"
#include "toolkit/drawing_tool.h"

namespace velmora {

const char* const SelfProperty = "SELF_";
const char* const PrevProcProperty = "PREV_PROC";

namespace {

bool NoPreDispatch(Control*, WindowMessage&, LRESULT*) { return false; }
bool NoKeyPreview(const MSG&) { return false; }
void NoControlHook(Control*) {}

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

// The handler every child control gets: colours for reflected WM_CTLCOLORxxx, the click
// event, and remembering the focused child in the form.
bool CommonChildHandler(Control* control, WindowMessage& message, LRESULT* result) {
  const UINT m = message.Message;
  if (m >= WM_CTLCOLORMSGBOX + ReflectedColorOffset &&
      m <= WM_CTLCOLORSTATIC + ReflectedColorOffset) {
    HDC dc = reinterpret_cast<HDC>(message.WParam);
    SetTextColor(dc, ResolveColor(control->TextColor));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ResolveColor(control->BackColor));
    *result = reinterpret_cast<LRESULT>(ControlBackgroundBrush(control));
    return true;
  }
  if (m == PrivateNotify) {
    const WORD code = HIWORD(message.WParam);
    if (code == control->Kind.ClickCode && control->FocusGuard <= 0)
      control->FireClick();
    else if (control->Kind.SelectionChangeCode != 0 && code == control->Kind.SelectionChangeCode &&
             control->OnSelectionChange)
      control->OnSelectionChange.Invoke<ClickProc>(control);
    return false;
  }
  if (m == WM_SETFOCUS) {
    if (Control* form = control->FindForm()) form->FocusedChild = control;
    return false;
  }
  return false;
}

void FontToolChanged(void* context, DrawingTool*) {
  auto* control = static_cast<Control*>(context);
  control->ApplyFont();
  control->RequestRepaint();
}

void BrushToolChanged(void* context, DrawingTool*) { static_cast<Control*>(context)->ApplyColor(); }

bool IsModifierDown() {
  return (GetKeyState(VK_CONTROL) & 0x8000) != 0 || (GetKeyState(VK_MENU) & 0x8000) != 0;
}

}  // namespace

Control* AppWindow = nullptr;
uint8_t LoopRunning = 0;
bool AppTerminated = false;
Control* ControlBeingCreated = nullptr;
uint16_t NextControlId = 0x8000;

bool (*PreDispatchHook)(Control*, WindowMessage&, LRESULT*) = &NoPreDispatch;
ControlProc AfterCreateHook = &NoControlHook;
ControlProc AfterRepaintRequestHook = &NoControlHook;
BrushProc ControlBackgroundBrush = &SolidBackgroundBrush;
ControlProc AlignHook = &NoControlHook;
bool (*KeyPreviewHook)(const MSG& message) = &NoKeyPreview;
bool (*WheelPreviewHook)(const MSG& message) = &NoKeyPreview;

// ---------------------------------------------------------------------------------------
// Construction

void Control::Init() {
  // MakeObject runs Init and InitWithParent runs it again: the lists are made once.
  if (!Children) Children = MakeObjectList();
  if (!MessageHandlers) MessageHandlers = MakeObjectList();
}

void Control::InitWithParent(Control* parent) {
  Init();
  if (parent) {
    BackColor = parent->BackColor;
    SetParentControl(parent);
  }
}

Control* MakeControlObject(Control* parent) {
  Control* control = MakeObject<Control>();
  control->InitWithParent(parent);
  return control;
}

Control* MakeWindowedControl(Control* parent, const std::string& className, bool want3D) {
  Control* control = MakeControlObject(parent);
  control->ClassName = className;
  if (!parent) return control;

  control->ChildrenGet3D = parent->ChildrenGet3D;
  control->Look3D = parent->ChildrenGet3D ? want3D : false;
  control->TextColor = parent->TextColor;
  if (parent->Font) {
    control->Font = AssignTool(nullptr, parent->Font);
    control->Font->Parent = parent->Font;
    control->Font->OnChange = MakeCallback(control, &FontToolChanged);
    FontToolChanged(control, control->Font);
  }
  control->BackColor = parent->BackColor;
  if (parent->Brush) {
    control->Brush = AssignTool(nullptr, parent->Brush);
    control->Brush->Parent = parent->Brush;
    control->Brush->OnChange = MakeCallback(control, &BrushToolChanged);
    BrushToolChanged(control, control->Brush);
  }
  control->AlignMargin = parent->AlignMargin;

  const int32_t m = parent->AlignMargin;
  control->Bounds = RECT{m, m + parent->ClientMargins.Top, m + 64, m + 64};
  return control;
}

Control* MakeChildControl(Control* parent, const std::string& className, DWORD style, bool want3D,
                          const KindTable* kind) {
  Control* control = MakeWindowedControl(parent, className, want3D);
  control->IsChild = true;
  if (kind) control->Kind = *kind;
  control->Style = style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (control->Look3D) {
    control->Style &= ~static_cast<DWORD>(WS_BORDER);
    control->ExStyle |= WS_EX_CLIENTEDGE;
  }
  control->Visible = (control->Style & WS_VISIBLE) != 0;

  Control* form = nullptr;
  if (parent) {
    control->Cursor = parent->Cursor;
    form = parent->FindForm();
    if (form) {
      form->TabOrder += 1;
      control->TabOrder = form->TabOrder;
    }
  }
  if (control->Style & WS_TABSTOP) {
    control->TabStop = true;
    if (form && !form->FocusedChild) form->FocusedChild = control;
  }
  control->ControlId = NextControlId;
  NextControlId = static_cast<uint16_t>(NextControlId + 1);
  control->AddMessageHandler(&CommonChildHandler);
  return control;
}

void Control::SetParentControl(Control* parent) {
  if (Parent && Parent->Children) Parent->Children->Remove(this);
  Parent = parent;
  if (parent && parent->Children) parent->Children->Add(this);
}

Control* Control::FindForm() {
  Control* c = this;
  while (c && c->IsChild) c = c->Parent;
  return c;
}

bool Control::IsMainWindow() const {
  if (IsChild) return false;
  if (!Parent) return true;
  return !Parent->Parent && Parent->Children && Parent->Children->Item(0) == this;
}

void Control::FireClick() {
  if (OnClick) OnClick.Invoke<ClickProc>(this);
}

// ---------------------------------------------------------------------------------------
// Tear-down

void Control::Destroy() {
  if (Control* form = FindForm(); form && form->FocusedChild == this) form->FocusedChild = nullptr;
  // The application window remembers the form that had the focus last.
  if (AppWindow && AppWindow != this && AppWindow->FocusedChild == this)
    AppWindow->FocusedChild = nullptr;
  if (WindowHandle) ShowWindow(WindowHandle, SW_HIDE);

  RunDestroyCallbacks();

  if (Children) {
    for (int32_t i = Children->Count - 1; i >= 0; --i) {
      if (i >= Children->Count) continue;  // a child's tear-down may have shortened the list
      FreeObject(Children->Items[i]);
    }
    // A child kept alive by a reference outlives this control: it must not reach back.
    for (int32_t i = 0; i < Children->Count; ++i)
      static_cast<Control*>(Children->Items[i])->Parent = nullptr;
    Children->Clear();
  }

  if (Destroying) return;
  Destroying = true;

  FreeAndNull(Font);
  FreeAndNull(Brush);
  FreeAndNull(OwnCanvas);

  if (WindowHandle && IsWindow(WindowHandle)) {
    auto oldIcon = reinterpret_cast<HICON>(SendMessageA(WindowHandle, WM_SETICON, ICON_BIG, 0));
    if (oldIcon && oldIcon != NoIcon() && !IconShared) DestroyIcon(oldIcon);
    if (!WindowGone) DestroyWindow(WindowHandle);
  }
  WindowHandle = nullptr;

  Caption = std::string();

  if (Parent) {
    if (Parent->FocusedChild == this) Parent->FocusedChild = nullptr;
    if (Parent->Children) Parent->Children->Remove(this);
    Parent = nullptr;
  }

  if (BackgroundBrush) {
    DeleteObject(BackgroundBrush);
    BackgroundBrush = nullptr;
  }

  FreeAndNull(MessageHandlers);
  FreeAndNull(Children);
  ObjectBase::Destroy();
}

// ---------------------------------------------------------------------------------------
// Windows and messages

HWND Control::GetWindowHandle() {
  if (WindowHandle) return WindowHandle;
  SetVisible(false);
  CreateWindowHandle();
  PendingShow = true;
  return WindowHandle;
}

void Control::CreateChildWindows() {
  if (!Children) return;
  // Index-based: creating a window may run handlers that add children.
  for (int32_t i = 0; i < Children->Count; ++i)
    static_cast<Control*>(Children->Items[i])->CreateWindowHandle();
}

bool Control::CreateWindowHandle() {
  HWND parentWindow = nullptr;
  if (Parent) {
    parentWindow = Parent->GetWindowHandle();
    if (!parentWindow) return false;
  }

  if (WindowHandle) {
    CreateChildWindows();
    if (PendingShow) {
      SetVisible(true);
      PendingShow = false;
    }
    return true;
  }

  HINSTANCE instance = ModuleInstance();
  WNDCLASSA wc = {};
  wc.style = ClassStyle;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));

  char name[64];
  std::string built = "obj_" + ClassName;
  std::strncpy(name, built.c_str(), sizeof name - 1);
  name[sizeof name - 1] = '\0';

  int x = Bounds.left;
  int y = Bounds.top;
  int width = Bounds.right - Bounds.left;
  int height = Bounds.bottom - Bounds.top;
  if (width == 0) width = CW_USEDEFAULT;
  if (height == 0) height = CW_USEDEFAULT;
  if (!IsChild && (PositionSet & (LeftWasSet | TopWasSet)) == 0) x = y = CW_USEDEFAULT;

  if (!ClassName.empty()) {
    WNDCLASSA system = {};
    if (GetClassInfoA(instance, ClassName.c_str(), &system)) wc = system;
  }
  wc.hInstance = instance;
  wc.style &= 0xFFFFBF1F;  // no own, class or parent DC, not global
  if (!ClassWindowProc) ClassWindowProc = wc.lpfnWndProc;

  if (!parentWindow && (Style & WS_CHILD)) return false;

  WNDCLASSA existing = {};
  if (!GetClassInfoA(instance, name, &existing)) {
    wc.lpfnWndProc = &ToolkitWindowProc;
    wc.lpszClassName = name;
    wc.lpszMenuName = nullptr;
    if (!RegisterClassA(&wc)) return false;
  }

  ControlBeingCreated = this;
  HWND window =
      CreateWindowExA(ExStyle, name, Caption.c_str(), Style, x, y, width, height, parentWindow,
                      reinterpret_cast<HMENU>(static_cast<intptr_t>(ControlId)), instance, nullptr);
  // A creation that failed before its first message must not bind the next window to us.
  if (ControlBeingCreated == this) ControlBeingCreated = nullptr;
  WindowHandle = window;
  if (!window) return false;

  SendMessageA(window, WM_UPDATEUISTATE, 0x00010002, 0);
  if (!GetPropA(window, SelfProperty)) {
    ControlBeingCreated = nullptr;
    SetPropA(window, SelfProperty, this);
  }
  if (!IsChild) SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(GetIcon()));

  if (AfterCreate) AfterCreate(this);
  AfterCreateHook(this);

  ApplyFont();
  CreateChildWindows();
  return true;
}

LRESULT Control::SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetWindowHandle(), message, wParam, lParam);
}

void Control::AddMessageHandler(MessageHandler handler) {
  if (!MessageHandlers) MessageHandlers = MakeObjectList();
  for (int32_t i = 0; i + 1 < MessageHandlers->Count; i += 2)
    if (MessageHandlers->Items[i] == reinterpret_cast<void*>(handler)) return;
  MessageHandlers->Add(reinterpret_cast<void*>(handler));
  MessageHandlers->Add(nullptr);  // not kept after termination
}

LRESULT Control::DefaultProcessing(const WindowMessage& message) {
  if (ClassWindowProc)
    return CallWindowProcA(ClassWindowProc, WindowHandle, message.Message, message.WParam,
                           message.LParam);
  return DefWindowProcA(message.Window, message.Message, message.WParam, message.LParam);
}

Control* ControlOfWindow(HWND window) {
  if (!window) return nullptr;
  return static_cast<Control*>(GetPropA(window, SelfProperty));
}

void SubclassChildWindows(HWND window, WNDPROC proc) {
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetPropA(child, PrevProcProperty)) continue;  // already subclassed
    LONG_PTR previous = SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    SetPropA(child, PrevProcProperty, reinterpret_cast<HANDLE>(previous));
  }
}

LRESULT CallPreviousProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropA(window, PrevProcProperty));
  return previous ? CallWindowProcA(previous, window, message, wParam, lParam) : 0;
}

LRESULT CALLBACK ToolkitWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowMessage m{window, message, wParam, lParam};
  if (Control* creating = ControlBeingCreated) {
    creating->WindowHandle = window;
    SetPropA(window, SelfProperty, creating);
    ControlBeingCreated = nullptr;
    return creating->HandleMessage(m);
  }
  if (Control* bound = ControlOfWindow(window)) return bound->HandleMessage(m);
  if (AppWindow) return AppWindow->HandleMessage(m);
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Control::HandleMessage(WindowMessage& message) {
  LRESULT result = 0;
  if (PreDispatchHook(this, message, &result)) return result;
  if (MessageHandlers && MessageHandlers->Count > 0 && RunMessageHandlers(message, &result))
    return result;
  return BuiltInHandling(message);
}

bool Control::RunMessageHandlers(WindowMessage& message, LRESULT* result) {
  if (RefCount < 0) return false;  // being destroyed
  AddReference();
  for (int32_t pair = MessageHandlers->Count / 2 - 1; pair >= 0; --pair) {
    if (!MessageHandlers || pair * 2 + 1 >= MessageHandlers->Count) continue;
    auto handler = reinterpret_cast<MessageHandler>(MessageHandlers->Items[pair * 2]);
    const bool keep = MessageHandlers->Items[pair * 2 + 1] != nullptr;
    if (!keep && AppTerminated) continue;
    if (handler(this, message, result)) {
      DropReference();
      return true;
    }
  }
  // Freed during the calls with nobody else holding it: it dies now, so nothing may follow.
  const bool dying = RefCount == 1;
  DropReference();
  return dying;
}

LRESULT Control::BuiltInHandling(WindowMessage& message) {
  const WPARAM wParam = message.WParam;
  const LPARAM lParam = message.LParam;
  switch (message.Message) {
    case WM_CLOSE:
      if (IsMainWindow() || this == AppWindow) {
        if (AppWindow && AppWindow != this) AppWindow->SendToWindow(WM_CLOSE, 0, 0);
        PostQuitMessage(0);
        return 0;
      }
      return DefaultProcessing(message);

    case WM_NCDESTROY:
      RemovePropA(message.Window, SelfProperty);
      if (AppWindow && message.Window == AppWindow->WindowHandle) return DefaultProcessing(message);
      if (IsMainWindow()) {
        PostMessageA(message.Window, PrivateRelease, 0, 0);
        return DefaultProcessing(message);
      }
      if (Parent && Parent == AppWindow) {
        // The system class still frees its own data for the window before the object goes.
        DefaultProcessing(message);
        WindowGone = true;
        Free();
        return 0;
      }
      return DefaultProcessing(message);

    case PrivateRelease:
      // The system destroyed the window already; the object is released completely.
      WindowGone = true;
      WindowHandle = nullptr;
      Free();
      return 0;

    case WM_SIZE: {
      LRESULT r = DefaultProcessing(message);
      if (!IsForm && Parent) AlignHook(Parent);
      AlignHook(this);
      return r;
    }

    case WM_SHOWWINDOW:
      if (lParam == SW_PARENTCLOSING) {
        if (IsIconic(WindowHandle))
          RestoreShowCommand = SW_SHOWMINNOACTIVE;
        else if (IsZoomed(WindowHandle))
          RestoreShowCommand = SW_SHOWMAXIMIZED;
        else
          RestoreShowCommand = SW_SHOWNOACTIVATE;
        return DefaultProcessing(message);
      }
      if (lParam == SW_PARENTOPENING) {
        if (RestoreShowCommand) {
          ShowWindow(WindowHandle, RestoreShowCommand);
          RestoreShowCommand = 0;
        }
        return 0;
      }
      return DefaultProcessing(message);

    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE && IsMainWindow() && AppWindow && AppWindow != this) {
        PostMessageA(AppWindow->WindowHandle, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
      }
      return DefaultProcessing(message);

    case WM_SETFOCUS: {
      if (!TakeFocus()) return 0;
      FocusGuard++;
      LRESULT r = DefaultProcessing(message);
      FocusGuard--;
      return r;
    }

    case WM_SETCURSOR:
      if (!GetCapture() && LOWORD(lParam) == HTCLIENT && Cursor) {
        SetCursor(Cursor);
        return 1;
      }
      return DefaultProcessing(message);

    case WM_COMMAND: {
      HWND from = reinterpret_cast<HWND>(lParam);
      if (ControlOfWindow(from)) return SendMessageA(from, PrivateNotify, wParam, lParam);
      return DefaultProcessing(message);
    }

    default:
      break;
  }

  if (message.Message >= WM_CTLCOLORMSGBOX && message.Message <= WM_CTLCOLORSTATIC)
    return SendMessageA(reinterpret_cast<HWND>(lParam), message.Message + ReflectedColorOffset,
                        wParam, lParam);

  if (message.Message >= WM_KEYDOWN && message.Message <= 0x0108) {
    if (GetFocus() != WindowHandle) return 0;
    if (IsModifierDown()) return DefaultProcessing(message);
    if (message.Message == WM_CHAR && wParam == VK_TAB) {
      message.WParam = 0;
      return 0;
    }
    return DefaultProcessing(message);
  }
  return DefaultProcessing(message);
}

// ---------------------------------------------------------------------------------------
// Properties

void Control::SetText(const std::string& text) {
  Caption = text;
  if (!WindowHandle) return;
  SetWindowTextA(WindowHandle, Caption.c_str());
  RequestRepaint();
  if (AfterTextChange) AfterTextChange(this);
}

bool Control::GetVisible() {
  if (!IsChild && WindowHandle) Visible = IsWindowVisible(WindowHandle) != FALSE;
  return Visible;
}

void Control::SetVisible(bool visible) {
  if (visible)
    Style |= WS_VISIBLE;
  else
    Style &= ~static_cast<DWORD>(WS_VISIBLE);
  Visible = visible;
  if (WindowHandle) ShowWindow(WindowHandle, visible ? SW_SHOW : SW_HIDE);
  if (Parent) AlignHook(Parent);
  if (visible) AlignHook(this);
  if (WindowHandle && !visible) PendingShow = false;
}

RECT Control::GetBounds() {
  if (WindowHandle) {
    RECT r;
    if (GetWindowRect(WindowHandle, &r)) {
      if (IsChild && Parent && Parent->WindowHandle) {
        POINT origin{0, 0};
        ClientToScreen(Parent->WindowHandle, &origin);
        OffsetRect(&r, -origin.x, -origin.y);
      }
      Bounds = r;
    }
  }
  return Bounds;
}

void Control::SetBounds(const RECT& bounds) {
  RECT current = GetBounds();
  if (EqualRect(&current, &bounds)) return;
  if (bounds.left != current.left) PositionSet |= LeftWasSet;
  if (bounds.top != current.top) PositionSet |= TopWasSet;
  Bounds = bounds;
  if (WindowHandle) {
    SetWindowPos(WindowHandle, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (IsLabel) RequestRepaint();
  }
}

void Control::SetLeft(int32_t left) {
  RECT r = GetBounds();
  OffsetRect(&r, left - r.left, 0);
  SetBounds(r);
}

void Control::SetTop(int32_t top) {
  RECT r = GetBounds();
  OffsetRect(&r, 0, top - r.top);
  SetBounds(r);
}

void Control::SetWidth(int32_t width) {
  RECT r = GetBounds();
  r.right = r.left + width;
  SetBounds(r);
}

void Control::SetHeight(int32_t height) {
  RECT r = GetBounds();
  r.bottom = r.top + height;
  SetBounds(r);
}

int32_t Control::GetWidth() {
  RECT r = GetBounds();
  return r.right - r.left;
}

int32_t Control::GetHeight() {
  RECT r = GetBounds();
  return r.bottom - r.top;
}

RECT Control::GetClientArea() {
  RECT r = Bounds;
  if (HWND window = GetWindowHandle()) GetClientRect(window, &r);
  r.left += ClientMargins.Left;
  r.top += ClientMargins.Top;
  r.right -= ClientMargins.Right;
  r.bottom -= ClientMargins.Bottom;
  return r;
}

void Control::RequestRepaint() {
  if (AppTerminated) return;
  if (WindowHandle) InvalidateRect(WindowHandle, nullptr, TRUE);
  AfterRepaintRequestHook(this);
}

bool Control::TakeFocus() {
  if (!IsEnabled() || !TabStop) return false;
  FocusGuard++;
  // Without a window there is nothing to focus; SetFocus(0) would take the focus away.
  if (WindowHandle) SetFocus(WindowHandle);
  FocusGuard--;
  return true;
}

bool Control::IsEnabled() const {
  if (WindowHandle) return IsWindowEnabled(WindowHandle) != FALSE;
  return (Style & WS_DISABLED) == 0;
}

void Control::SetBackColor(Color color) {
  if (color == BackColor) return;
  BackColor = color;
  if (BackgroundBrush) {
    DeleteObject(BackgroundBrush);
    BackgroundBrush = nullptr;
  }
  if (Brush) Brush->StoreColor(color);
  RequestRepaint();
}

DrawingTool* Control::GetFont() {
  if (!Font) {
    Font = MakeFontTool();
    Font->StoreColor(TextColor);
    Font->OnChange = MakeCallback(this, &FontToolChanged);
  }
  return Font;
}

DrawingTool* Control::GetBrush() {
  if (!Brush) {
    Brush = MakeBrushTool();
    Brush->StoreColor(BackColor);
    Brush->OnChange = MakeCallback(this, &BrushToolChanged);
  }
  return Brush;
}

void Control::ApplyFont() {
  if (!Font) return;
  TextColor = Font->GetColor();
  if (!WindowHandle) return;
  SendMessageA(WindowHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font->GetHandle()), 0xFFFF);
  FreeAndNull(OwnCanvas);
  if (AfterTextChange) AfterTextChange(this);
}

void Control::ApplyColor() {
  if (Brush) BackColor = Brush->GetColor();
  if (BackgroundBrush) {
    DeleteObject(BackgroundBrush);
    BackgroundBrush = nullptr;
  }
  RequestRepaint();
}

void Control::SetControlCursor(HCURSOR cursor) {
  if (cursor == Cursor) return;
  Cursor = cursor;
  if (!WindowHandle || !cursor) return;
  POINT p;
  if (!GetCursorPos(&p)) return;
  ScreenToClient(WindowHandle, &p);
  RECT area = GetClientArea();
  if (p.x >= area.left && p.x <= area.right && p.y >= area.top && p.y <= area.bottom)
    SetCursor(cursor);
}

HICON Control::GetIcon() {
  if (Icon == NoIcon()) return nullptr;
  if (!Icon) {
    if (AppWindow && AppWindow != this) {
      HICON source = AppWindow->GetIcon();
      Icon = source ? static_cast<HICON>(CopyImage(source, IMAGE_ICON, 0, 0, 0)) : nullptr;
    } else {
      Icon = LoadIconA(ModuleInstance(), "MAINICON");
    }
  }
  return Icon;
}

Canvas* Control::GetCanvas() {
  if (!OwnCanvas) {
    OwnCanvas = CreateCanvas(nullptr);
    OwnCanvas->Owner = this;
    OwnCanvas->DCProvider = MakeCallback(this, &ControlDeviceContext);
    if (Font) OwnCanvas->Font = AssignTool(OwnCanvas->Font, Font);
    if (Brush) OwnCanvas->Brush = AssignTool(OwnCanvas->Brush, Brush);
  }
  return OwnCanvas;
}

HDC ControlDeviceContext(void* context, Canvas* canvas) {
  auto* control = static_cast<Control*>(context);
  if (control->PaintDC) {
    canvas->PaintDCBound = true;
    return control->PaintDC;
  }
  if (canvas->DC) return canvas->DC;
  return GetDC(control->GetWindowHandle());
}

HBRUSH SolidBackgroundBrush(Control* control) {
  if (!control) return nullptr;
  Control* owner = control;
  while (owner->Parent && owner->Parent->BackColor == owner->BackColor) owner = owner->Parent;
  const COLORREF rgb = ResolveColor(owner->BackColor);
  if (owner->BackgroundBrush && owner->BackgroundBrushColor != rgb) {
    DeleteObject(owner->BackgroundBrush);
    owner->BackgroundBrush = nullptr;
  }
  if (!owner->BackgroundBrush) {
    owner->BackgroundBrush = CreateSolidBrush(rgb);
    owner->BackgroundBrushColor = rgb;
  }
  return owner->BackgroundBrush;
}

}  // namespace velmora
