// Command dispatch: from a line's action to the implementation a subsystem
// registered for it.
#pragma once
#include <span>

#include "base/result_code.h"
#include "exec/command_args.h"
#include "exec/subsystem.h"

struct ScriptLine;

// The error of a command (or a form of one) this build does not implement.
inline constexpr wchar_t kCommandNotSupported[] = L"This command is not supported by this version yet.";

// Runs the command of a line with its expanded arguments. A command no
// subsystem implements fails with a clear error.
ResultCode DispatchCommand(ScriptLine& line, CommandArgs& args);

// Enters a subsystem's command rows in the dispatch table. Returns the first
// action another subsystem already implements differently (nothing of a
// clashing table is lost: rows before it stay), or ACT_INVALID.
ActionType RegisterCommands(std::span<const CommandRow> rows);

// The execution layer's own registration.
const Subsystem& ExecSubsystem();
