// Activating and closing windows: the foreground-lock workarounds behind
// WinActivate and the group commands, the hung-window test, and WinClose /
// WinKill's close-and-wait.
//
// Invariants: a hung window of another thread is never activated; every
// AttachThreadInput made for an activation is undone before it returns.
#pragma once
#include <windows.h>

#include <vector>

#include "automation/window_criteria.h"

// The optional user32 functions, looked up on first call.
void LookUpOptionalUser32();

// Whether the window does not answer messages.
bool WindowIsHung(HWND window);
// Brings the window to the foreground; the window (or one it owns) that
// came to the foreground, or null.
HWND ForceForeground(HWND target);
// WinActivate and WinActivateBottom: finds and activates the window.
HWND ActivateMatchingWindow(const WindowStrings& strings, bool findLast, const std::vector<HWND>* excluded = nullptr);
// Closes (WM_CLOSE) or kills the window, then waits up to waitMs for it to go.
void CloseWindow(HWND window, int waitMs, bool kill);
// WinClose and WinKill on one window: the active window when it matches,
// else the topmost match. Returns the window acted on.
HWND CloseMatchingWindow(const WindowStrings& strings, int waitMs, bool kill);
// Waits, running the message loop, until the window is gone or waitMs passed.
void WaitForWindowToClose(HWND window, int waitMs);
