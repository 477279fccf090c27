// FileDelete: one file, or every file matching a pattern.
#pragma once
#include "exec/command_args.h"

// FileDelete, FilePattern
ResultCode CmdFileDelete(ScriptLine& line, CommandArgs& args);
