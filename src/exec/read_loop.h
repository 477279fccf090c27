// The read loop (Loop, Read, InputFile [, OutputFile]): one iteration per
// line of a text file, and the output file FileAppend writes to when it is
// given no file name inside the loop.
#pragma once
#include "base/result_code.h"
#include "script/text_stream.h"

struct ScriptLine;
struct CommandArgs;

// A read loop's output file as FileAppend sees it. The loop owns the
// record: it sets FileName when it starts and, when it ends, closes File
// (which writes out what is still buffered). FileAppend without a file name
// opens File on first use, with the flags and encoding of that call.
struct ReadLoopOutput {
  const wchar_t* FileName = L"";  // the loop's output file; "" = the loop has none
  TextFile File;                  // closed until the first FileAppend without a name
};

// The innermost read loop's state, published through the thread record.
struct LoopReadRecord {
  ReadLoopOutput Output;
  const wchar_t* Line = L"";  // the current line, without its line feed
  size_t LineLength = 0;      // its length, so readers need not measure it
};

// Runs a read loop; args[1] is the input file, args[2] the output file.
ResultCode RunReadLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, ScriptLine*& jumpToLine);
