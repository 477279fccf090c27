// AppState: everything the application layer keeps between calls: the main
// window and its resources, the viewer, the tray icon and menu, the thread
// records, the timers, the message loop's batch counters, the registered
// event callbacks, the exit sequence's flags and the subsystems' message
// filters.
//
// Invariants: one instance, reached through App(); only the script (GUI)
// thread touches it, including the window procedures and timer callbacks
// Windows calls, which reach it only through App(). Window handles are
// either null or name live windows of this process; the tray record's hWnd
// is set exactly while the icon exists.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/event_functions.h"
#include "app/main_window.h"
#include "app/main_window_views.h"
#include "app/threads.h"
#include "app/timers.h"
#include "app/tray_icon.h"
#include "app/tray_menu.h"
#include "exec/subsystem.h"
#include "objects/callbacks.h"

struct Label;

// The hidden main window and what it owns.
struct MainWindowState {
  // Written by CreateMainWindow; cleared by DestroyMainWindow and by the
  // window's own WM_DESTROY.
  HWND Handle = nullptr;
  HWND EditControl = nullptr;
  // Written by CreateMainWindow; freed by ResetAppState.
  HFONT EditFont = nullptr;
  HACCEL Accelerators = nullptr;  // a resource table: never destroyed
  HICON IconLarge = nullptr;
  HICON IconSmall = nullptr;
  // The shell's "TaskbarCreated" message; written by CreateMainWindow.
  UINT TaskbarCreatedMessage = 0;
  // Set by DestroyMainWindow before it destroys the window, so WM_DESTROY
  // does not start the exit sequence.
  bool DestroyedByProgram = false;
  // The menu-showing mark (MenuShowingMark): written by the menu-loop
  // messages and by the program's own menus (SetMenuShowing).
  int MenuShowing = MENU_NOT_SHOWING;
  // Written once by each subsystem's start-up step; read by the procedure.
  MainWindowSeams Seams;
};

// The main window as a text viewer.
struct ViewerState {
  // The view shown now; written by OpenMainWindowView.
  int CurrentView = VIEW_NONE;
  // Written once by the start-up steps of the subsystems that own them.
  ViewHooks Hooks;
};

// The notification-area icon and the tray menu.
struct TrayState {
  // The notification record; hWnd null means "no icon". Written by
  // AddTrayIcon, RefreshTrayIcon and RemoveTrayIcon.
  NOTIFYICONDATAW Record = {};
  // The look last shown (valid while the icon exists); written by
  // AddTrayIcon and RefreshTrayIcon.
  bool ShownPaused = false;
  bool ShownSuspended = false;
  // Custom icon and tip: written by the tray-menu commands.
  TrayIconCustomization Custom;
  // The menu's settings: written by the start-up and the tray-menu commands.
  TrayMenuState Menu;
};

// The script timers.
struct TimerState {
  // The timers in creation order (owned; freed by DeleteTimer once they
  // have stopped running, and all at once by ResetAppState). Written by
  // SetTimer and RunDueTimers.
  TimerEntry* First = nullptr;
  // The timer whose thread runs now; saved and restored by RunDueTimers
  // around each run, so an interrupting timer thread does not change it
  // for the one it interrupts.
  TimerEntry* Running = nullptr;
};

// The execution loop's between-lines check.
struct MessageLoopState {
  // Tick counts of the last queue check and the last rest, and the lines
  // run since the rest; written by CheckMessagesBetweenLines and ResetBatch
  // (which MessagePump calls when it returns).
  DWORD LastQueueCheck = 0;
  DWORD LastYield = 0;
  int64_t LinesSinceYield = 0;
};

// Callbacks the script registered for events.
struct EventState {
  // OnExit and OnError callbacks in calling order; written by those
  // functions. A list being called is walked over a copy.
  std::vector<std::unique_ptr<ScriptCallback>> Lists[EVENT_LIST_COUNT];
  // Set by CallErrorFunctions while the OnError callbacks run.
  bool ErrorCallbacksRunning = false;
  // OnMessage monitors in the order they are offered a message; written by
  // OnMessage.
  std::vector<std::unique_ptr<MessageMonitor>> Monitors;
  // The message the loop is dispatching (MarkDispatch), so the window
  // procedure does not offer it to the monitors a second time.
  bool InDispatch = false;
  UINT DispatchedMessage = 0;
};

// The exit sequence.
struct ExitState {
  // The OnExit command's label (null: none); written by that command.
  Label* OnExitLabel = nullptr;
  // Set by RunExitRoutine while the routine runs, and by ExitApp when the
  // routine calls it itself.
  bool RoutineRunning = false;
  bool ExitAppCalledInRoutine = false;
};

struct AppState {
  MainWindowState MainWindow;
  ViewerState Viewer;
  TrayState Tray;
  ThreadState Threads;
  TimerState Timers;
  MessageLoopState Loop;
  EventState Events;
  ExitState Exit;

  // Whether hotkeys are suspended; written by the Suspend command and the
  // menu item, read by the tray icon and menus.
  bool HotkeysSuspended = false;

  // The subsystems' message filters, collected by InstallSubsystems; read
  // by the message loop for every message it takes.
  std::vector<MessageFilter> MessageFilters;

  AppState() = default;
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;
};

namespace state_detail {
// The one instance; reach it through App().
extern AppState app;
}  // namespace state_detail

// The application layer's state.
inline AppState& App() { return state_detail::app; }

// Puts the application layer back to its state before start-up, for tests
// and tools between scripts (never while a script thread runs). Windows
// resources are released first: the tray icon is removed, a still-existing
// main window is destroyed as the program's own act (no exit sequence
// follows), its font and icons are freed and its window classes
// unregistered, so that CreateMainWindow can run again. The timers and the
// registered callbacks are freed (releasing the objects they hold), and the
// values layer's current thread is moved off the thread records before
// they go. The hooks come back when InstallSubsystems runs the start-up
// steps again.
void ResetAppState();
