// Callbacks scripts register for events: the OnExit and OnError lists and
// the OnMessage monitors, and the calls the exit sequence, the error report
// and the message loop make to them.
#pragma once
#include <windows.h>

#include "objects/builtin_functions.h"

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
