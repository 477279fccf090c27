// The legacy assignment forms: "Var = text" and the arithmetic commands
// +=, -=, *=, /= (EnvAdd and relatives) with their time units.
#pragma once
#include <string>

#include "base/result_code.h"
#include "exec/command_args.h"

struct ScriptLine;

// "Var = value": reads its arguments itself (integer literals stay numbers,
// a single reference copies the variable, AutoTrim trims).
ResultCode RunLegacyAssign(ScriptLine& line, std::wstring& buffer);

// +=, -=, *= and /= with already expanded arguments.
ResultCode RunArithmetic(ScriptLine& line, CommandArgs& args);

// "x += n", "x -= n" and "x++" while x holds an integer and n is one (an
// integer literal, A_Index, a variable or integer arithmetic): done at once,
// without preparing the arguments. False, with nothing changed, when the
// line needs the general way; otherwise result tells how the store went.
bool RunQuickArithmetic(ScriptLine& line, ResultCode& result);
