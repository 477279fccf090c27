// The commands of this subsystem: Sort (sort_command.cpp) and FormatTime
// (format_time.cpp).
#pragma once
#include "exec/command_args.h"

ResultCode CmdSort(ScriptLine& line, CommandArgs& args);
ResultCode CmdFormatTime(ScriptLine& line, CommandArgs& args);
