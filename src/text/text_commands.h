// The commands of the text subsystem, registered by text_subsystem.cpp.
// Each reads the expanded arguments of its line, writes its output
// variables and returns Ok, or Fail after reporting the line's error.
#pragma once
#include "exec/command_args.h"

struct ScriptLine;

// legacy_string_commands.cpp
ResultCode CmdStringLeftRight(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringTrim(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringMid(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringCase(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringLen(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringGetPos(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringReplace(ScriptLine& line, CommandArgs& args);
ResultCode CmdStringSplit(ScriptLine& line, CommandArgs& args);

// split_path.cpp
ResultCode CmdSplitPath(ScriptLine& line, CommandArgs& args);

// environment_commands.cpp
ResultCode CmdEnvGet(ScriptLine& line, CommandArgs& args);
ResultCode CmdEnvSet(ScriptLine& line, CommandArgs& args);
ResultCode CmdEnvUpdate(ScriptLine& line, CommandArgs& args);

// random_transform.cpp
ResultCode CmdRandom(ScriptLine& line, CommandArgs& args);
ResultCode CmdTransform(ScriptLine& line, CommandArgs& args);
// Seeds Random's generator from the system time (start-up).
void SeedRandomFromClock();
