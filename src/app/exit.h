// The exit sequence: every way out of the program after start-up ends here.
#pragma once
#include "base/result_code.h"

struct Label;

// Starts the exit with a reason (ExitReason) and exit code. Runs the exit
// routine (the OnExit label) first; returns ResultCode::EarlyExit when the
// routine cancelled the exit, or when ExitApp is called from inside the
// routine (the routine's thread then ends and the exit goes on). Otherwise
// it does not return. `codeGiven` is false for an ExitApp without a code.
ResultCode ExitApp(int reason, int exitCode, bool codeGiven = true);

// Releases what the script holds and ends the process with the code.
[[noreturn]] void FinalShutdown(int reason, int exitCode);

// The A_ExitReason text of an exit reason.
const wchar_t* ExitReasonText(int reason);

// The label the OnExit command set (null: none).
void SetExitLabel(Label* label);
