// AutomationState: what window matching keeps between commands: the window
// groups, the list of windows visited in the current group cycle, the
// platform functions looked up once, and the text of the last handle a
// function returned.
//
// Invariants: groups are never deleted while the script runs (criteria and
// the visited list point at them); Visited holds at most kMaxVisitedWindows
// handles, none twice. Only the script thread touches any of it.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

struct Label;

// The most windows one group cycle remembers.
inline constexpr size_t kMaxVisitedWindows = 500;

// One rule of a window group: the four criteria strings.
struct WindowGroupRule {
  std::wstring WinTitle, WinText, ExcludeTitle, ExcludeText;
};

// A named set of window rules.
struct WindowGroup {
  std::wstring Name;
  bool IsModeActivate = true;          // the last of GroupActivate (true) and GroupDeactivate (false)
  std::vector<WindowGroupRule> Rules;  // in the order added; walked as a circle
  Label* JumpToLabel = nullptr;
};

// Platform functions that older systems lack, looked up on first use.
struct OptionalUser32 {
  bool LookedUp = false;
  BOOL(WINAPI* IsHungAppWindow)(HWND) = nullptr;
  BOOL(WINAPI* GetLayeredWindowAttributes)(HWND, COLORREF*, BYTE*, DWORD*) = nullptr;
};

struct AutomationState {
  // Every group in order of creation: written by GroupAdd.
  std::vector<std::unique_ptr<WindowGroup>> Groups;
  // Windows already activated in the current group cycle, and the group
  // that cycle belongs to: written by the group commands.
  std::vector<HWND> Visited;
  const WindowGroup* VisitedOwner = nullptr;
  OptionalUser32 User32;
  // Set when a RegEx match was asked for while no regular-expression engine
  // is installed; the command that searched reports it and clears it.
  bool RegExUnavailable = false;
  // The text WinExist and WinActive return: valid until the next call.
  wchar_t HandleText[24] = {};
};

namespace state_detail {
// The one instance; reach it through Automation().
extern AutomationState automation;
}  // namespace state_detail

inline AutomationState& Automation() { return state_detail::automation; }
