// Process (Exist, Close, Priority, Wait, WaitClose) and Shutdown.
//
// A process is named by its PID (decimal or 0x hexadecimal) or by its
// executable's file name; the answer is a PID or 0 in ErrorLevel.
#pragma once
#include <windows.h>

#include <string_view>

#include "exec/command_args.h"

// The PID of the process the text names, or 0; empty text is this program.
DWORD FindProcess(std::wstring_view pidOrName);

// Process, Cmd [, PID-or-Name, Param3]
ResultCode CmdProcess(ScriptLine& line, CommandArgs& args);
// Shutdown, Flags
ResultCode CmdShutdown(ScriptLine& line, CommandArgs& args);
