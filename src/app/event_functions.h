// Callbacks scripts register for events: the OnExit and OnError lists and
// the OnMessage monitors, and the calls the exit sequence, the error report
// and the message loop make to them.
#pragma once
#include <windows.h>

#include "objects/builtin_functions.h"
#include "objects/callbacks.h"

// The callback lists of App().Events, one per registration function.
enum EventListKind { EVENT_LIST_EXIT, EVENT_LIST_ERROR, EVENT_LIST_COUNT };

// One OnMessage registration, held in App().Events.Monitors; written by
// OnMessage, its thread count by the monitor's runs.
struct MessageMonitor {
  UINT Message = 0;  // 0 once removed while a thread still runs it
  ScriptCallback Callback;
  int RunningThreads = 0;
  int ThreadCap = 1;
  bool ByName = false;
};

// The registration built-ins: OnExit, OnError, OnMessage.
BuiltInFamily EventFunctions();

// Makes the main window's procedure offer messages to the monitors.
void InstallMessageMonitors();
// The loop's offer of a message it took from the queue; true when a
// monitor handled it (the message is then not dispatched).
bool OfferMessageFromLoop(const MSG& msg);
// Marks the message the loop is dispatching (false when done).
void MarkDispatch(bool dispatching, UINT message);

// Calls the OnExit functions with the reason text and the exit code; true
// when one returned a true value (the exit is cancelled).
bool HasExitFunctions();
bool CallExitFunctions(const wchar_t* reasonText, int exitCode);

// Offers the thread's uncaught thrown value to the OnError functions; true
// when nothing more is to be shown (one returned true, or threw anew).
bool HasErrorFunctions();
bool CallErrorFunctions();
