// Callbacks scripts register for events: the OnExit, OnError and
// OnClipboardChange lists and the OnMessage monitors, and the calls the
// exit sequence, the error report, the clipboard thread and the message
// loop make to them.
#pragma once
#include <windows.h>

#include "objects/builtin_functions.h"

// The registration built-ins: OnExit, OnClipboardChange, OnError, OnMessage.
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

// Calls the OnClipboardChange functions with the content kind (0 empty,
// 1 text, 2 other data).
void ClipboardChanged(int contentKind);
