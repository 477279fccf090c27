// Finding windows: the search behind WinExist, WinActive, the IfWin forms
// and every command that names its target window, and the thread's last
// found window.
//
// Invariants: top-level windows are visited in Z-order, top first;
// invisible ones take part only with DetectHiddenWindows On. The last found
// window changes only when a caller asks for it.
#pragma once
#include <windows.h>

#include <vector>

#include "automation/window_criteria.h"

// Whether a window takes part in searches: visible, or hidden windows are
// detected.
bool WindowIsDetected(HWND window);
// The foreground window when it takes part in searches, else null.
HWND DetectedForegroundWindow();

// The thread's last found window while it is still a window the thread may
// see, else null.
HWND LastFoundWindow();
void SetLastFoundWindow(HWND window);

// WinExist: the first (or with findLast the lowest) matching window.
HWND FindMatchingWindow(const WindowStrings& strings, bool findLast, bool updateLastFound,
                        const std::vector<HWND>* excluded = nullptr);
// WinActive: the foreground window when it matches.
HWND FindActiveMatch(const WindowStrings& strings, bool updateLastFound);
// The target of a window command: "A", the last found window, or the first
// match; never changes the last found window.
HWND ResolveTargetWindow(const WindowStrings& strings);
// Every matching top-level window in Z-order (WinGet Count and List).
std::vector<HWND> FindAllMatchingWindows(const WindowStrings& strings);
