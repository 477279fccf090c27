// Commands that change the running thread's settings: SetBatchLines,
// AutoTrim, StringCaseSense, SetFormat and ListLines, plus OutputDebug.
#pragma once
#include "exec/command_args.h"

struct ScriptLine;

ResultCode CmdSetBatchLines(ScriptLine& line, CommandArgs& args);
ResultCode CmdAutoTrim(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringCaseSense(ScriptLine& line, CommandArgs& args);
ResultCode CmdSetFormat(ScriptLine& line, CommandArgs& args);
ResultCode CmdListLines(ScriptLine& line, CommandArgs& args);
ResultCode CmdOutputDebug(ScriptLine& line, CommandArgs& args);
