// The notification-area (tray) icon: adding it, choosing the look that
// matches the paused and suspended states, and removing it at exit.
//
// Invariant: the icon exists exactly when the notification record's window
// is set; a failed add leaves it clear, so every later call is a no-op until
// the taskbar is re-created and the add is tried again.
#pragma once
#include <windows.h>

#include <string>

// What a script sets through the tray-menu commands (custom icon and tip),
// held in App().Tray.Custom; written by those commands, read when the icon
// is added or refreshed.
struct TrayIconCustomization {
  HICON Icon = nullptr;  // custom small icon, or null for the program's own
  bool Frozen = false;   // keep the custom icon while paused or suspended
  std::wstring Tip;      // custom tip, or empty
};

// Adds the icon with the current look and tip. A failure leaves no icon.
void AddTrayIcon();

// Shows the look of the current thread's paused state and the suspended
// state, unless that look is already shown (or `force`).
void RefreshTrayIcon(bool force);

// Deletes the icon (at exit).
void RemoveTrayIcon();

// Whether the icon is shown now.
bool TrayIconExists();

// The icon group that shows a state: the main icon, or the suspended,
// paused, or paused-and-suspended icon.
int TrayIconGroupFor(bool paused, bool suspended);

// Whether a custom icon replaces the state's icon.
bool TrayUsesCustomIcon(bool hasCustom, bool frozen, bool paused, bool suspended);

// The tip text: the custom tip, else the script's file name, else the
// product name; at most 127 characters.
std::wstring TrayTipText(const std::wstring& custom, const std::wstring& scriptFileName);
