// The hidden main window: its class lets a second copy of the script find
// the first, and its procedure turns closing, session end and the private
// messages of another copy into the exit sequence.
#pragma once
#include <windows.h>

// Private messages of the main window (also posted as WM_COMMNOTIFY with
// the number in wParam).
enum PrivateMessage : UINT {
  MSG_QUERY_PID = 1029,
  MSG_CLOSE_FOR_RELOAD = 1030,
  MSG_CLOSE_FOR_NEW_INSTANCE = 1031,
};

// Commands of the main window's menu and the standard tray menu.
enum MenuCommand : UINT {
  ID_FILE_PAUSE = 65403,
  ID_FILE_EXIT = 65405,
  ID_TRAY_PAUSE = 65306,
  ID_TRAY_EXIT = 65307,
};

// Creates the main window (hidden) with the script's title. False after
// reporting a failure.
bool CreateMainWindow();

// The main window, or null before it exists and after it is destroyed.
HWND MainWindow();

// Destroys the main window as the program's own act (no exit follows).
void DestroyMainWindow();
