// Keyboard use: each form with the handling on has a record (owned by the form) listing its
// shortcuts; the key preview finds the record of the form a key message is for.
#include "toolkit/keyboard.h"

#include <algorithm>

namespace velmora {

namespace {

struct Shortcut {
  char Letter = 0;
  Control* Button = nullptr;
  Callback Action;  // fired instead of a button's click when there is no button
};

struct KeyButton {
  WORD Key = 0;
  Control* Button = nullptr;
};

class KeyboardRecord : public ObjectBase {
 public:
  void Destroy() override;
  Control* Form = nullptr;
  std::vector<Shortcut> Shortcuts;
  std::vector<KeyButton> KeyButtons;
};

std::vector<KeyboardRecord*> keyboardRecords;

void KeyboardRecord::Destroy() {
  keyboardRecords.erase(std::remove(keyboardRecords.begin(), keyboardRecords.end(), this),
                        keyboardRecords.end());
  ObjectBase::Destroy();
}

KeyboardRecord* RecordOf(const Control* form) {
  for (KeyboardRecord* record : keyboardRecords)
    if (record->Form == form) return record;
  return nullptr;
}

void CollectTabStops(Control* parent, std::vector<Control*>* stops) {
  if (!parent->Children) return;
  for (int32_t i = 0; i < parent->Children->Count; ++i) {
    auto* child = static_cast<Control*>(parent->Children->Item(i));
    HWND window = child->WindowHandle;
    if (window == nullptr || !IsWindowVisible(window) || !IsWindowEnabled(window)) continue;
    if (child->TabStop) stops->push_back(child);
    CollectTabStops(child, stops);
  }
}

bool IsButton(const Control* control) { return control->ClassName == "BUTTON"; }

bool IsDown(int key) { return GetKeyState(key) < 0; }

// Whether the button can be pressed now: its window is shown and enabled.
bool CanPress(const Control* button) {
  HWND window = button->WindowHandle;
  return window != nullptr && IsWindowVisible(window) && IsWindowEnabled(window);
}

// A key of its own presses its button unless an open combo box list takes the key.
bool PressKeyButton(const KeyboardRecord& record, WPARAM key) {
  Control* focused = FocusedControl();
  if (focused != nullptr && focused->ClassName == "COMBOBOX" &&
      SendMessageA(focused->WindowHandle, CB_GETDROPPEDSTATE, 0, 0) != 0)
    return false;
  for (const KeyButton& entry : record.KeyButtons) {
    if (key != entry.Key || !CanPress(entry.Button)) continue;
    entry.Button->FireClick();
    return true;
  }
  return false;
}

// The key preview: Tab, Enter on a button and the shortcuts of the form the key is for.
bool KeyboardPreview(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.hwnd == nullptr) return false;
  Control* form = ControlOfWindow(GetAncestor(message.hwnd, GA_ROOT));
  KeyboardRecord* record = form ? RecordOf(form) : nullptr;
  if (record == nullptr || IsDown(VK_MENU)) return false;
  const bool control = IsDown(VK_CONTROL), shift = IsDown(VK_SHIFT);
  if (message.wParam == VK_TAB && !control) return MoveFocus(form, shift);
  if (message.wParam == VK_RETURN && !control && !shift) {
    Control* focused = FocusedControl();
    if (focused == nullptr || !IsButton(focused) || focused->FindForm() != form) return false;
    focused->FireClick();
    return true;
  }
  if (!control && !shift) return PressKeyButton(*record, message.wParam);
  if (!control || shift) return false;
  for (const Shortcut& shortcut : record->Shortcuts) {
    if (message.wParam != static_cast<WPARAM>(shortcut.Letter)) continue;
    if (shortcut.Button)
      shortcut.Button->FireClick();
    else
      shortcut.Action.Invoke<ClickProc>(form);
    return true;
  }
  return false;
}

}  // namespace

void EnableKeyboard(Control* form) {
  if (form == nullptr || RecordOf(form) != nullptr) return;
  KeyPreviewHook = &KeyboardPreview;
  auto* record = MakeObject<KeyboardRecord>();
  record->Form = form;
  keyboardRecords.push_back(record);
  form->OwnObject(record);
}

void AddShortcut(Control* form, char letter, Control* button) {
  KeyboardRecord* record = RecordOf(form);
  if (record == nullptr || button == nullptr || letter < 'A' || letter > 'Z') return;
  for (Shortcut& shortcut : record->Shortcuts) {
    if (shortcut.Letter != letter) continue;
    shortcut = {letter, button, {}};
    return;
  }
  record->Shortcuts.push_back({letter, button, {}});
}

void AddShortcutAction(Control* form, char letter, Callback action) {
  KeyboardRecord* record = RecordOf(form);
  if (record == nullptr || !action || letter < 'A' || letter > 'Z') return;
  for (Shortcut& shortcut : record->Shortcuts) {
    if (shortcut.Letter != letter) continue;
    shortcut = {letter, nullptr, action};
    return;
  }
  record->Shortcuts.push_back({letter, nullptr, action});
}

void AddKeyButton(Control* form, WORD key, Control* button) {
  KeyboardRecord* record = RecordOf(form);
  if (record == nullptr || button == nullptr || key == 0) return;
  for (KeyButton& entry : record->KeyButtons) {
    if (entry.Key != key) continue;
    entry.Button = button;
    return;
  }
  record->KeyButtons.push_back({key, button});
}

std::vector<Control*> TabOrder(Control* form) {
  std::vector<Control*> stops;
  if (form == nullptr) return stops;
  CollectTabStops(form, &stops);
  struct Place {
    Control* Stop;
    RECT Rect;
  };
  std::vector<Place> places;
  for (Control* stop : stops) {
    RECT r{};
    GetWindowRect(stop->WindowHandle, &r);
    places.push_back({stop, r});
  }
  // Top to bottom (stable: creation order breaks ties), then cut into rows, each sorted by left.
  std::stable_sort(places.begin(), places.end(),
                   [](const Place& a, const Place& b) { return a.Rect.top < b.Rect.top; });
  stops.clear();
  for (size_t start = 0; start < places.size();) {
    size_t end = start + 1;
    LONG bottom = places[start].Rect.bottom;
    while (end < places.size() && places[end].Rect.top < bottom)
      bottom = std::max(bottom, places[end++].Rect.bottom);
    std::stable_sort(places.begin() + start, places.begin() + end,
                     [](const Place& a, const Place& b) { return a.Rect.left < b.Rect.left; });
    for (size_t i = start; i < end; ++i) stops.push_back(places[i].Stop);
    start = end;
  }
  return stops;
}

bool MoveFocus(Control* form, bool backwards) {
  const std::vector<Control*> stops = TabOrder(form);
  if (stops.empty()) return false;
  const auto count = static_cast<int>(stops.size());
  const auto at = std::find(stops.begin(), stops.end(), FocusedControl());
  int next = backwards ? count - 1 : 0;
  if (at != stops.end()) {
    const int index = static_cast<int>(at - stops.begin());
    next = (index + (backwards ? count - 1 : 1)) % count;
  }
  stops[next]->TakeFocus();
  return true;
}

Control* FocusedControl() {
  for (HWND window = GetFocus(); window != nullptr; window = GetAncestor(window, GA_PARENT))
    if (Control* control = ControlOfWindow(window)) return control;
  return nullptr;
}

}  // namespace velmora
