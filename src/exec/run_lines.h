// The execution loop: RunLines walks the linked script lines from a start
// line, expands each line's arguments and either carries out flow control
// itself or hands the line to its command. Every thread and every function
// call enters here.
#pragma once
#include <string>

#include "base/result_code.h"
#include "exec/command_args.h"

struct ScriptLine;

// How far RunLines runs: until a Return (thread entry points and label
// bodies), until the end of the current block, or exactly one line (a
// non-block body).
enum class RunMode { UntilReturn = 1, UntilBlockEnd = 2, OneLine = 3 };

// Runs lines from `start`. When control must continue at a line outside
// the caller's range (Goto, Break or Continue to an outer loop), sets
// `jumpToLine`, which the caller either continues at or passes outward.
ResultCode RunLines(ScriptLine* start, RunMode mode, ScriptLine*& jumpToLine);

// Expands the arguments of one line into `args`, using `buffer` for texts
// that need room. Returns Ok, or the failing result.
ResultCode PrepareArgs(ScriptLine& line, CommandArgs& args, std::wstring& buffer);

// Lines whose truth decides a loop or if: "1" or "" as the evaluator gives it.
bool TextIsTrueResult(const wchar_t* text);
