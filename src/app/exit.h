// The exit sequence: every way out of the program after start-up ends here.
#pragma once
#include "exec/result_code.h"

// Starts the exit with a reason (ExitReason) and exit code. Returns
// ResultCode::EarlyExit only when an exit routine cancelled the exit;
// otherwise it does not return.
ResultCode ExitApp(int reason, int exitCode);

// Releases what the script holds and ends the process with the code.
[[noreturn]] void FinalShutdown(int reason, int exitCode);

// The A_ExitReason text of an exit reason.
const wchar_t* ExitReasonText(int reason);
