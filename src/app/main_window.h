// The hidden main window: its class lets a second copy of the script find
// the first; its procedure turns closing, session end, the menu commands,
// tray-icon clicks and the private messages into their actions; when shown
// it is a read-only text viewer (main_window_views.h).
//
// Invariants: one main window per process, created once by CreateMainWindow
// and destroyed only by DestroyMainWindow or from outside (which ends the
// script); the edit control always fills its client area.
#pragma once
#include <windows.h>

#include "app/resource_ids.h"

// The menu-item flag words (MF_...) are long constants in the Windows
// headers, while the menu functions take UINT; every combination fits.
constexpr UINT MenuFlags(long flags) { return static_cast<UINT>(flags); }

// Private messages of the main window (also posted as WM_COMMNOTIFY with
// the number in wParam).
enum PrivateMessage : UINT {
  MSG_HOTKEY_FIRED = 1024,
  MSG_HOTSTRING_FIRED = 1025,
  MSG_MENU_CHOSEN = 1026,
  MSG_DIALOG_SHOWN = 1027,
  MSG_TRAY_NOTIFY = 1028,
  MSG_QUERY_PID = 1029,
  MSG_CLOSE_FOR_RELOAD = 1030,
  MSG_CLOSE_FOR_NEW_INSTANCE = 1031,
  MSG_GUI_ACTION = 1044,
  MSG_CLIPBOARD_CHANGED = 1045,
  MSG_READ_WINDOW_TEXT = 1048,
  MSG_EVAL_HOT_IF = 1049,
};

// Window timers of the main window.
enum MainWindowTimer : UINT_PTR {
  TIMER_ID_MAIN = 9,                       // 10 ms, no callback: keeps the loop waking
  TIMER_ID_AUTOEXEC = 11,                  // the auto-execute section's settings hand-over
  TIMER_ID_INPUT = 12,                     // Input command time-out
  TIMER_ID_DEREF = 13,                     // frees a grown argument-expansion buffer
  TIMER_ID_REFRESH_INTERRUPTIBILITY = 14,  // re-checks interruptibility before the tick count wraps
};

// The second window class, for the splash-text and progress windows.
inline constexpr wchar_t SECOND_WINDOW_CLASS[] = L"Quorivance2";

// The edit control that shows the views.
inline constexpr int MAIN_EDIT_ID = 1;

// The tray icon's identifier in its notification record.
inline constexpr UINT TRAY_ICON_ID = 1028;

// Values of the menu-showing mark.
enum MenuShowingMark : int {
  MENU_NOT_SHOWING = 0,
  MENU_SHOWN_BY_COMMAND = 1,  // a menu the program itself is tracking
  MENU_SHOWN_BY_LOOP = 2,     // any other menu loop of the main window
};

// Creates the window classes, the main window (hidden), its edit control,
// font and accelerators, and the tray icon. False after reporting a failure.
bool CreateMainWindow();

// The main window, or null before it exists and after it is destroyed.
HWND MainWindow();

// The viewer's edit control (null without the main window).
HWND MainEditControl();

// Destroys the main window as the program's own act (no exit follows).
void DestroyMainWindow();

// Removes the tray icon, destroys the main window (as DestroyMainWindow)
// and frees what CreateMainWindow made for it: the viewer's font, the icons
// and the window classes, so that CreateMainWindow can run again. A class
// that still has windows (of the second class, made by other subsystems)
// stays registered, and the icons stay with it; CreateMainWindow then fails
// until those windows are gone.
void ReleaseMainWindow();

// Carries out a command of the main window's menu or of the standard tray
// menu (by its ID). Returns whether the ID was one of them.
bool HandleMenuCommand(HWND window, UINT id, HWND control);

// Called by the message loop before it dispatches a message: Escape in the
// viewer hides the main window, and the menu's accelerators work while the
// main window has the keyboard. Returns true when the message was consumed.
bool PreTranslateMainWindowMessage(MSG& msg);

// The menu-showing mark (MenuShowingMark); timers and new threads wait
// while a menu is showing.
int MenuShowing();
void SetMenuShowing(int mark);

// The main icon at the system's large and small icon sizes (null when the
// executable has none).
HICON MainIconLarge();
HICON MainIconSmall();

// Brings a window of this process to the foreground, attaching to the
// foreground thread's input when a plain attempt is refused.
bool BringWindowForward(HWND window);

// Points where later subsystems plug into the main window's procedure
// (held in App().MainWindow.Seams, written once by each subsystem as it
// starts). Each is null until its subsystem exists; the procedure then does
// what the missing subsystem implies (nothing to offer, nothing to evaluate).
struct MainWindowSeams {
  // Message monitors (OnMessage): true when one handled the message.
  bool (*OfferToMessageMonitors)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = nullptr;
  // Closes the clipboard when a command left it open.
  void (*CloseClipboardIfOpen)() = nullptr;
  // Clipboard-change notifications (WM_DRAWCLIPBOARD, WM_CLIPBOARDUPDATE,
  // WM_CHANGECBCHAIN) and, once the window exists, the start of the watch.
  LRESULT (*ClipboardNotice)(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = nullptr;
  void (*StartClipboardWatch)() = nullptr;
  // Records a standard dialog as the current thread's dialog.
  void (*DialogShown)(HWND dialog) = nullptr;
  // Told when a dialog's time-out ended it (sets the thread's flag).
  void (*DialogTimedOut)(HWND dialog) = nullptr;
  // Evaluates a "#If" expression record; 0 when it is not one.
  LRESULT (*EvaluateHotIf)(WPARAM expression, LPARAM hotkeyName) = nullptr;
  // Copies a window's title into a key-history slot; the owner of the slots
  // checks that the buffer is one of its own.
  void (*ReadWindowText)(WPARAM buffer, LPARAM window) = nullptr;
  // Whether an ID belongs to an item of a script menu.
  bool (*IsScriptMenuItem)(UINT id) = nullptr;
  // Suspends or resumes the hotkeys.
  void (*SuspendHotkeys)(bool suspend) = nullptr;
};
