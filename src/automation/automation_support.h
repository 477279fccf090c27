// Small helpers every window command shares: the running thread's settings,
// argument views, the window and control delays, ErrorLevel values, handle
// text and the number forms of window-command parameters.
//
// Invariants: the delays and waits keep the message loop running (through
// the execution layer's pump hook), so other threads can start meanwhile.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "exec/command_args.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

// The running thread's settings.
inline ThreadSettings& CurrentSettings() { return *Values().CurrentThread; }

// Argument i of a command as a view; empty when absent.
std::wstring_view ArgView(const CommandArgs& args, int i);

// Runs the message loop for waitMs, or one default pass for
// kPumpDefaultPass; false when nothing is installed to run it (then it
// sleeps instead). Returns whether another thread ran.
bool PumpMessages(int waitMs);
// Sleeps the thread's window delay (nothing when negative).
void SleepWinDelay();

// Stores a number or a text in ErrorLevel without raising anything.
void SetErrorLevelNumber(int64_t value);
void SetErrorLevelText(std::wstring_view text);

// "0x" and the handle in lower-case hexadecimal; "0x0" for none.
std::wstring HandleText(HWND window);

// A whole number in decimal or "0x" hexadecimal after optional blanks and a
// sign; false when the text holds no digits there. Wraps like the
// platform's own unsigned conversion.
bool ParseWholeNumber(std::wstring_view text, uint64_t& value);
// The same, 0 when the text is not a number.
int64_t WholeNumberOr0(std::wstring_view text);

// Case-insensitive comparisons of script-visible words (EqualsNoCase comes
// with the variables).
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
// Position of `part` in `text` ignoring case, or npos.
size_t FindNoCase(std::wstring_view text, std::wstring_view part, size_t from = 0);

// Assigns text to the output variable at argument i when one was given.
ResultCode AssignOutput(CommandArgs& args, int i, std::wstring_view text);

// The class name of a window ("" when it cannot be read).
std::wstring WindowClassName(HWND window);
// The title of a window as GetWindowTextW gives it.
std::wstring WindowTitle(HWND window);
