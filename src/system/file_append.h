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
#include "script/text_stream.h"

// A file-reading loop's output file as FileAppend sees it. The read loop
// owns the record: it sets FileName when it starts and, when it ends, closes
// File (which writes out what is still buffered). FileAppend without a file
// name opens File on first use, with the flags and encoding of that call.
struct ReadLoopOutput {
  const wchar_t* FileName = L"";  // the loop's output file; "" = the loop has none
  TextFile File;                  // closed until the first FileAppend without a name
};

// Finds the innermost running read loop's output record, or null outside
// any read loop. Installed by the read loops; while null no read loop is
// running, so an omitted file name is always an error.
using ReadLoopOutputLookup = ReadLoopOutput* (*)();

// FileAppend [, Text, Filename, Encoding]
ResultCode CmdFileAppend(ScriptLine& line, CommandArgs& args);
// FileEncoding [, Encoding]
ResultCode CmdFileEncoding(ScriptLine& line, CommandArgs& args);
