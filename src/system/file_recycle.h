// The recycle bin: FileRecycle sends files there, FileRecycleEmpty empties it.
#pragma once
#include "exec/command_args.h"

// FileRecycle, FilePattern
ResultCode CmdFileRecycle(ScriptLine& line, CommandArgs& args);
// FileRecycleEmpty [, DriveLetter]
ResultCode CmdFileRecycleEmpty(ScriptLine& line, CommandArgs& args);
