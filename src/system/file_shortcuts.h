// Shell shortcuts (.lnk files): FileGetShortcut reads one through the
// shell's ShellLink object, FileCreateShortcut writes one.
#pragma once
#include "exec/command_args.h"

// FileGetShortcut, LinkFile [, OutTarget, OutDir, OutArgs, OutDescription, OutIcon, OutIconNum, OutRunState]
ResultCode CmdFileGetShortcut(ScriptLine& line, CommandArgs& args);
// FileCreateShortcut, Target, LinkFile [, WorkingDir, Args, Description, IconFile, ShortcutKey, IconNumber, RunState]
ResultCode CmdFileCreateShortcut(ScriptLine& line, CommandArgs& args);
