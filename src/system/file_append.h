// FileAppend and FileEncoding: appending text to a file, standard output
// ("*") or standard error ("**") in the thread's file encoding or a given
// one, writing saved clipboard images raw, and setting the thread's encoding.
//
// FileAppend reports through ErrorLevel (or an exception inside Try) and
// A_LastError; FileEncoding fails the line on a name that is not an encoding.
// A file is open only for the duration of one FileAppend, except a read
// loop's output file, which the loop owns and keeps open until it ends.
#pragma once
#include "exec/command_args.h"
#include "exec/read_loop.h"

// Finds the innermost running read loop's output record, or null outside
// any read loop (ReadLoopOutput is the read loop's, see exec/read_loop.h).
// Installed at start-up; while null an omitted file name is always an error.
using ReadLoopOutputLookup = ReadLoopOutput* (*)();

// FileAppend [, Text, Filename, Encoding]
ResultCode CmdFileAppend(ScriptLine& line, CommandArgs& args);
// FileEncoding [, Encoding]
ResultCode CmdFileEncoding(ScriptLine& line, CommandArgs& args);
