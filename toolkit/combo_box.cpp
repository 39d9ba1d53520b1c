// Combo boxes and the item operations.
#include "toolkit/combo_box.h"

#include <algorithm>

#include "toolkit/text_utils.h"

namespace velmora {

namespace {

// Option bit i maps to entry i; the negative entry adds CBS_AUTOHSCROLL unless bit 1 is set.
constexpr int32_t ComboOptionFlags[11] = {
    CBS_DROPDOWNLIST,
    ~CBS_AUTOHSCROLL,
    CBS_DISABLENOSCROLL,
    CBS_LOWERCASE,
    CBS_NOINTEGRALHEIGHT,
    CBS_OEMCONVERT,
    CBS_SORT,
    CBS_UPPERCASE,
    CBS_OWNERDRAWFIXED,
    CBS_OWNERDRAWVARIABLE,
    CBS_SIMPLE,
};

// Child, visible, vertical scroll bar, tab stop and CBS_HASSTRINGS.
constexpr DWORD ComboBaseStyle = 0x50210200;

// Code of the selection-change notification that the combo box reposts to itself, so that it
// arrives after the selection has settled.
constexpr WORD SettledSelectionCode = 15;

// The list shows between 1 and 8 rows of the combo box's own height.
constexpr int32_t MaxDropDownRows = 8;

constexpr UINT_PTR CharEscape = 0x1B;
constexpr UINT_PTR CharEnter = 0x0D;

void OpenDropDown(Control* combo) {
  combo->DroppedDown = true;
  combo->IndexAtDropDown = GetItemIndex(combo);
  const int32_t rows = std::clamp(ItemCount(combo), 1, MaxDropDownRows);
  HWND window = combo->WindowHandle;
  SetWindowPos(window, nullptr, 0, 0, combo->GetWidth(), combo->GetHeight() * (rows + 1) + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  SetWindowPos(
      window, nullptr, 0, 0, 0, 0,
      SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

}  // namespace

const KindTable ComboKind = {
    .ClickCode = CBN_DBLCLK,
    .SelectionChangeCode = SettledSelectionCode,
    .ItemCountMessage = CB_GETCOUNT,
    .GetItemDataMessage = CB_GETITEMDATA,
    .SetItemDataMessage = CB_SETITEMDATA,
    .DeleteItemMessage = CB_DELETESTRING,
    .InsertItemMessage = CB_INSERTSTRING,
    .GetItemIndexMessage = CB_GETCURSEL,
    .SetItemIndexMessage = CB_SETCURSEL,
    .AutoSizeExtraWidth = 0,
    .AutoSizeExtraHeight = 6,
};

DWORD ComboStyle(ComboOptions options) {
  DWORD flags = FlagsFromSet(options, ComboOptionFlags, 11) | ComboBaseStyle;
  // Neither a drop-down list nor a simple combo: a drop-down with an edit field.
  if (!(flags & 1)) flags |= CBS_DROPDOWN;
  return flags;
}

Control* MakeComboBox(Control* parent, ComboOptions options) {
  Control* combo = MakeChildControl(parent, "COMBOBOX", ComboStyle(options), true, &ComboKind);
  combo->AfterCreate = SubclassComboChildren;
  RECT r = combo->GetBounds();
  r.right += 36;
  r.bottom = r.top + 22;
  combo->SetBounds(r);
  combo->AddMessageHandler(ComboHandler);
  return combo;
}

bool ComboHandler(Control* combo, WindowMessage& message, LRESULT* result) {
  if (message.Message >= WM_CTLCOLORMSGBOX && message.Message <= WM_CTLCOLORSTATIC) {
    // Colour requests of the combo box's own edit and list: answered like the combo's own.
    *result =
        combo->SendToWindow(message.Message + ReflectedColorOffset, message.WParam, message.LParam);
    return true;
  }
  if (message.Message == PrivateNotify) {
    switch (HIWORD(message.WParam)) {
      case CBN_SELCHANGE:
        PostMessageA(combo->WindowHandle, PrivateNotify, MAKEWPARAM(0, SettledSelectionCode),
                     message.LParam);
        break;
      case CBN_DROPDOWN:
        OpenDropDown(combo);
        break;
      case CBN_CLOSEUP:
        combo->DroppedDown = false;
        break;
      default:
        break;
    }
  }
  // Notifications go on to the common child handler.
  return false;
}

void SubclassComboChildren(Control* combo) {
  if (combo->WindowHandle) SubclassChildWindows(combo->WindowHandle, ComboChildProc);
}

LRESULT CALLBACK ComboChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCDESTROY) {
    // The window's own procedure gets its last message and the property goes with it.
    auto prev = reinterpret_cast<WNDPROC>(RemovePropA(window, PrevProcProperty));
    if (!prev) return DefWindowProcA(window, message, wParam, lParam);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
    return CallWindowProcA(prev, window, message, wParam, lParam);
  }

  Control* combo = ControlOfWindow(GetParent(window));
  if (!combo) {
    // No combo control (any more): the edit still needs its own procedure to work.
    if (GetPropA(window, PrevProcProperty))
      return CallPreviousProc(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
  }

  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      if (wParam == VK_TAB) {
        if (message != WM_KEYDOWN) return 0;
        break;
      }
      if (message == WM_CHAR && (wParam == CharEscape || wParam == CharEnter) &&
          combo->SendToWindow(CB_GETDROPPEDSTATE, 0, 0) != 0) {
        // Enter keeps what was picked in the list; Escape goes back to the selection
        // that the list opened with.
        combo->SendToWindow(CB_SHOWDROPDOWN, FALSE, 0);
        if (wParam == CharEscape) {
          combo->SendToWindow(CB_SETCURSEL, static_cast<WPARAM>(combo->IndexAtDropDown), 0);
        }
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (Control* form = combo->FindForm()) form->FocusedChild = combo;
      break;
    default:
      break;
  }
  return CallPreviousProc(window, message, wParam, lParam);
}

int32_t ItemCount(Control* control) {
  if (!control || !control->Kind.ItemCountMessage) return 0;
  return static_cast<int32_t>(control->SendToWindow(control->Kind.ItemCountMessage, 0, 0));
}

void SetItemText(Control* control, int32_t index, const std::string& text) {
  if (!control || index < 0) return;
  // Delete and insert again, carrying data and selection over.
  // An index just past the end appends a new item, which starts without data.
  const int32_t selected = GetItemIndex(control);
  const bool exists = index < ItemCount(control);
  const int32_t data = exists ? GetItemData(control, index) : 0;
  if (exists) DeleteItem(control, index);
  if (InsertItem(control, index, text) >= 0 && exists) SetItemData(control, index, data);
  SetItemIndex(control, selected);
}

int32_t InsertItem(Control* control, int32_t index, const std::string& text) {
  if (!control || !control->Kind.InsertItemMessage) return -1;
  return static_cast<int32_t>(control->SendToWindow(control->Kind.InsertItemMessage,
                                                    static_cast<WPARAM>(index),
                                                    reinterpret_cast<LPARAM>(text.c_str())));
}

void DeleteItem(Control* control, int32_t index) {
  if (!control || !control->Kind.DeleteItemMessage || index < 0) return;
  control->SendToWindow(control->Kind.DeleteItemMessage, static_cast<WPARAM>(index), 0);
}

int32_t GetItemData(Control* control, int32_t index) {
  if (!control || !control->Kind.GetItemDataMessage) return 0;
  return static_cast<int32_t>(
      control->SendToWindow(control->Kind.GetItemDataMessage, static_cast<WPARAM>(index), 0));
}

void SetItemData(Control* control, int32_t index, int32_t value) {
  if (!control || !control->Kind.SetItemDataMessage || index < 0) return;
  control->SendToWindow(control->Kind.SetItemDataMessage, static_cast<WPARAM>(index),
                        static_cast<LPARAM>(value));
}

int32_t GetItemIndex(Control* control) {
  if (!control || !control->Kind.GetItemIndexMessage) return -1;
  return static_cast<int32_t>(control->SendToWindow(control->Kind.GetItemIndexMessage, 0, 0));
}

void SetItemIndex(Control* control, int32_t index) {
  if (!control || !control->Kind.SetItemIndexMessage) return;
  control->SendToWindow(control->Kind.SetItemIndexMessage, static_cast<WPARAM>(index), 0);
}

}  // namespace velmora
