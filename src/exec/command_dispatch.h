// Command dispatch: the table from action type to implementation.
#pragma once
#include "exec/command_args.h"
#include "exec/result_code.h"

struct ScriptLine;

// Runs the command of a line with its expanded arguments. A command whose
// subsystem does not exist yet fails with a clear error.
ResultCode DispatchCommand(ScriptLine& line, CommandArgs& args);
