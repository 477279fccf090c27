// Attributes, times and sizes of files: FileGetAttrib, FileSetAttrib,
// FileGetTime, FileSetTime, FileGetSize and the FileExist function. The
// commands that take an optional file name default to the current file of
// the innermost file loop.
#pragma once
#include "exec/command_args.h"
#include "objects/builtin_functions.h"

// FileGetAttrib, OutputVar [, Filename]
ResultCode CmdFileGetAttrib(ScriptLine& line, CommandArgs& args);
// FileSetAttrib, Attributes [, FilePattern, OperateOnFolders, Recurse]
ResultCode CmdFileSetAttrib(ScriptLine& line, CommandArgs& args);
// FileGetTime, OutputVar [, Filename, WhichTime]
ResultCode CmdFileGetTime(ScriptLine& line, CommandArgs& args);
// FileSetTime [, YYYYMMDDHH24MISS, FilePattern, WhichTime, OperateOnFolders, Recurse]
ResultCode CmdFileSetTime(ScriptLine& line, CommandArgs& args);
// FileGetSize, OutputVar [, Filename, Units]
ResultCode CmdFileGetSize(ScriptLine& line, CommandArgs& args);
// FileExist(FilePattern): the attribute letters, "X", or "".
ResultCode FnFileExist(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
