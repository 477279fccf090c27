// The tray menu as far as the main window needs it: its standard items
// ("&Open", "&Suspend Hotkeys", "&Pause Script", "E&xit"), how many clicks
// run its default item, whether the main window may be opened, and showing
// it at the pointer. Script-defined items join through the seams of
// main_window.h once script menus exist.
#pragma once
#include <windows.h>

// Tray-menu state, held in App().Tray.Menu; written by the start-up and the
// tray-menu commands.
struct TrayMenuState {
  bool StandardItems = true;       // the standard items are present
  int ClickCount = 2;              // clicks on the icon that run the default item
  UINT DefaultItemId = 0;          // a script item made the default, or 0
  bool MainWindowAllowed = false;  // the viewer may be opened from the menus
};

// Allows or forbids opening the main window: enables or greys the main
// menu's view items, and "&Open" appears in or leaves the tray menu.
void SetMainWindowAllowed(bool allowed);

// Builds the tray menu as it would show now (the caller destroys it).
HMENU BuildTrayMenu();

// Shows the tray menu at the pointer and handles the chosen command.
void ShowTrayMenu();

// Runs what a click on the tray icon runs: the default item, or the main
// window when there is none and the standard items allow it.
void RunTrayDefaultAction();
