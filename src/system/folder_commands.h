// Folder commands: FileCreateDir, FileRemoveDir, FileCopyDir, FileMoveDir
// and SetWorkingDir.
#pragma once
#include "exec/command_args.h"

// FileCreateDir, DirName
ResultCode CmdFileCreateDir(ScriptLine& line, CommandArgs& args);
// FileRemoveDir, DirName [, Recurse]
ResultCode CmdFileRemoveDir(ScriptLine& line, CommandArgs& args);
// FileCopyDir, Source, Dest [, Overwrite]
ResultCode CmdFileCopyDir(ScriptLine& line, CommandArgs& args);
// FileMoveDir, Source, Dest [, Flag]
ResultCode CmdFileMoveDir(ScriptLine& line, CommandArgs& args);
// SetWorkingDir, DirName
ResultCode CmdSetWorkingDir(ScriptLine& line, CommandArgs& args);
