// Hotkey control values as text (see gui_hotkey_text.h).
//
// Letters are named in lower case and digits by themselves, function keys
// "F1" to "F24", the keys a Hotkey control commonly holds by the names
// scripts use for them; any other key by the system's name for it.
#include "gui/gui_hotkey_text.h"

#include <commctrl.h>

#include <cwctype>

#include "values/variable.h"

namespace {

struct KeyName {
  const wchar_t* Name;
  UINT Vk;
  bool Extended;  // HOTKEYF_EXT: the key of the navigation block, not the numpad's
};

const KeyName kKeyNames[] = {
    {L"Space", VK_SPACE, false},
    {L"Enter", VK_RETURN, false},
    {L"Tab", VK_TAB, false},
    {L"Escape", VK_ESCAPE, false},
    {L"Esc", VK_ESCAPE, false},
    {L"Backspace", VK_BACK, false},
    {L"BS", VK_BACK, false},
    {L"Delete", VK_DELETE, true},
    {L"Del", VK_DELETE, true},
    {L"Insert", VK_INSERT, true},
    {L"Ins", VK_INSERT, true},
    {L"Home", VK_HOME, true},
    {L"End", VK_END, true},
    {L"PgUp", VK_PRIOR, true},
    {L"PgDn", VK_NEXT, true},
    {L"Up", VK_UP, true},
    {L"Down", VK_DOWN, true},
    {L"Left", VK_LEFT, true},
    {L"Right", VK_RIGHT, true},
    {L"Numpad0", VK_NUMPAD0, false},
    {L"Numpad1", VK_NUMPAD1, false},
    {L"Numpad2", VK_NUMPAD2, false},
    {L"Numpad3", VK_NUMPAD3, false},
    {L"Numpad4", VK_NUMPAD4, false},
    {L"Numpad5", VK_NUMPAD5, false},
    {L"Numpad6", VK_NUMPAD6, false},
    {L"Numpad7", VK_NUMPAD7, false},
    {L"Numpad8", VK_NUMPAD8, false},
    {L"Numpad9", VK_NUMPAD9, false},
    {L"Pause", VK_PAUSE, false},
    {L"PrintScreen", VK_SNAPSHOT, false},
};

// The virtual key a key name stands for (0 for none); `extended` tells the
// navigation-block keys from the numpad's.
UINT KeyOfName(std::wstring_view name, bool& extended) {
  extended = false;
  if (name.size() == 1) {
    const SHORT scan = VkKeyScanW(name[0]);
    return scan == -1 ? 0 : LOBYTE(scan);
  }
  if ((name[0] == L'F' || name[0] == L'f') && name.size() <= 3) {
    const int number = _wtoi(std::wstring(name.substr(1)).c_str());
    if (number >= 1 && number <= 24) return VK_F1 + static_cast<UINT>(number) - 1;
  }
  for (const KeyName& key : kKeyNames)
    if (EqualsNoCase(name, key.Name)) {
      extended = key.Extended;
      return key.Vk;
    }
  return 0;
}

// The name of a virtual key.
std::wstring NameOfKey(UINT vk, bool extended) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
    return std::wstring(1, static_cast<wchar_t>(towlower(static_cast<wint_t>(vk))));
  if (vk >= VK_F1 && vk <= VK_F24) return L"F" + std::to_wstring(vk - VK_F1 + 1);
  for (const KeyName& key : kKeyNames)
    if (key.Vk == vk && key.Extended == extended) return key.Name;
  wchar_t name[64] = L"";
  const LONG scan = static_cast<LONG>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
  GetKeyNameTextW(scan | (extended ? (1 << 24) : 0), name, 64);
  return name;
}

}  // namespace

WORD HotkeyFromText(std::wstring_view text) {
  BYTE modifiers = 0;
  size_t i = 0;
  for (; i + 1 < text.size(); ++i) {
    if (text[i] == L'^')
      modifiers |= HOTKEYF_CONTROL;
    else if (text[i] == L'!')
      modifiers |= HOTKEYF_ALT;
    else if (text[i] == L'+')
      modifiers |= HOTKEYF_SHIFT;
    else
      break;
  }
  if (i >= text.size()) return 0;
  bool extended = false;
  const UINT vk = KeyOfName(text.substr(i), extended);
  if (!vk) return 0;
  if (extended) modifiers |= HOTKEYF_EXT;
  return MAKEWORD(vk, modifiers);
}

std::wstring HotkeyToText(WORD value) {
  const UINT vk = LOBYTE(value);
  const BYTE modifiers = HIBYTE(value);
  if (!vk) return {};
  std::wstring text;
  if (modifiers & HOTKEYF_CONTROL) text += L"^";
  if (modifiers & HOTKEYF_ALT) text += L"!";
  if (modifiers & HOTKEYF_SHIFT) text += L"+";
  return text + NameOfKey(vk, (modifiers & HOTKEYF_EXT) != 0);
}
