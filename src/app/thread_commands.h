// Commands acting on threads and timers: SetTimer, OnExit, Critical,
// Thread and Sleep.
#pragma once
#include "exec/command_args.h"

struct ScriptLine;

ResultCode CmdSetTimer(ScriptLine& line, CommandArgs& args);
ResultCode CmdOnExit(ScriptLine& line, CommandArgs& args);
ResultCode CmdCritical(ScriptLine& line, CommandArgs& args);
ResultCode CmdThread(ScriptLine& line, CommandArgs& args);
ResultCode CmdSleep(ScriptLine& line, CommandArgs& args);
ResultCode CmdPause(ScriptLine& line, CommandArgs& args);

// The Pause item of the script's menus: pauses the running thread, or
// resumes it when it is paused. Returns whether it is now paused.
bool TogglePauseFromMenu();
