// FileGetVersion: the file version from a file's version resource.
#pragma once
#include "exec/command_args.h"

// FileGetVersion, OutputVar [, Filename]
ResultCode CmdFileGetVersion(ScriptLine& line, CommandArgs& args);
