// FileCopy and FileMove: every file matching a source pattern copied or
// moved to a destination pattern; ErrorLevel counts the files that failed.
#pragma once
#include "exec/command_args.h"

// FileCopy, SourcePattern, DestPattern [, Overwrite]
ResultCode CmdFileCopy(ScriptLine& line, CommandArgs& args);
// FileMove, SourcePattern, DestPattern [, Overwrite]
ResultCode CmdFileMove(ScriptLine& line, CommandArgs& args);
