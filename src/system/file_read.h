// FileRead and FileReadLine: a whole file (text decoded, or raw bytes) or
// one line of it into a variable, with ErrorLevel and A_LastError.
#pragma once
#include "exec/command_args.h"

// FileRead, OutputVar, [*c *m<n> *p<n> *t] Filename
ResultCode CmdFileRead(ScriptLine& line, CommandArgs& args);
// FileReadLine, OutputVar, Filename, LineNumber
ResultCode CmdFileReadLine(ScriptLine& line, CommandArgs& args);
