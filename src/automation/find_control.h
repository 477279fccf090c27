// Finding a control inside a window by ClassNN name or by text, and reading
// window text from another program without blocking.
//
// ClassNN: the class name followed by its instance number, counted from 1
// over the descendants of that class in EnumChildWindows order (all depths,
// hidden ones included).
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// The control of `window` that `control` names; the window (or its deepest
// first child) for an empty name; null when none.
HWND FindControl(HWND window, std::wstring_view control);
// A window's text by WM_GETTEXT without blocking on a hung program; "" when
// the send fails.
std::wstring ReadWindowText(HWND window);
// The length WM_GETTEXTLENGTH reports, 0 when the send fails.
size_t ReadWindowTextLength(HWND window);
// The window itself, or the top-level window a child belongs to.
HWND TopLevelAncestor(HWND window);
