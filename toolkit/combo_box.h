// Combo boxes (COMBOBOX child windows): style options, the drop-down list sized to its items,
// Escape and Enter in the open list, and the item operations that any kind with item
// messages in its kind table answers. Relies on toolkit/control.h and toolkit/text_utils.h.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/control.h"

namespace velmora {

// Bit set of combo options; bit i is option i.
using ComboOptions = uint32_t;
constexpr ComboOptions ComboDropDownList = 1u << 0;       // CBS_DROPDOWNLIST: no edit field
constexpr ComboOptions ComboNoAutoHScroll = 1u << 1;      // without CBS_AUTOHSCROLL
constexpr ComboOptions ComboDisableNoScroll = 1u << 2;    // CBS_DISABLENOSCROLL
constexpr ComboOptions ComboLowerCase = 1u << 3;          // CBS_LOWERCASE
constexpr ComboOptions ComboNoIntegralHeight = 1u << 4;   // CBS_NOINTEGRALHEIGHT
constexpr ComboOptions ComboOemConvert = 1u << 5;         // CBS_OEMCONVERT
constexpr ComboOptions ComboSort = 1u << 6;               // CBS_SORT
constexpr ComboOptions ComboUpperCase = 1u << 7;          // CBS_UPPERCASE
constexpr ComboOptions ComboOwnerDrawFixed = 1u << 8;     // CBS_OWNERDRAWFIXED
constexpr ComboOptions ComboOwnerDrawVariable = 1u << 9;  // CBS_OWNERDRAWVARIABLE
constexpr ComboOptions ComboSimple = 1u << 10;            // CBS_SIMPLE

extern const KindTable ComboKind;

// The window style a combo box with these options is made with (before the clipping bits);
// a drop-down with edit field unless the options ask for a list or a simple combo.
DWORD ComboStyle(ComboOptions options);

// A combo box of 100 x 22 at the parent's default place.
Control* MakeComboBox(Control* parent, ComboOptions options);

// The combo box's attached handler and the procedure its edit window is subclassed with.
bool ComboHandler(Control* combo, WindowMessage& message, LRESULT* result);
void SubclassComboChildren(Control* combo);
LRESULT CALLBACK ComboChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Item operations. Each creates the window if needed and sends the kind's message; a kind
// without that message does nothing and answers 0 (-1 for InsertItem and GetItemIndex).
// Negative indexes other than where noted are refused the same way.
int32_t ItemCount(Control* control);
// Replaces the item at index (an index equal to the count appends), keeping its data and
// the current selection.
void SetItemText(Control* control, int32_t index, const std::string& text);
// Inserts before index (-1 appends); answers the new item's index or -1.
int32_t InsertItem(Control* control, int32_t index, const std::string& text);
void DeleteItem(Control* control, int32_t index);
int32_t GetItemData(Control* control, int32_t index);
void SetItemData(Control* control, int32_t index, int32_t value);
// The selected item, -1 when nothing is selected.
int32_t GetItemIndex(Control* control);
// Selects the item; -1 clears the selection.
void SetItemIndex(Control* control, int32_t index);

}  // namespace velmora
