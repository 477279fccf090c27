// The text form of a Hotkey control's value: modifier symbols ("^" Ctrl,
// "!" Alt, "+" Shift) followed by the key's name, both ways.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// The HKM_SETHOTKEY value of a hotkey text; 0 when the text names no key.
WORD HotkeyFromText(std::wstring_view text);
// The text of an HKM_GETHOTKEY value; empty when no key is set.
std::wstring HotkeyToText(WORD value);
