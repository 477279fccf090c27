// Statements simple enough to run without preparing the line's arguments or
// opening an evaluation frame: "x := <number, quoted text, variable or
// integer arithmetic>" and "x .= <quoted text or variable>". They are the
// bulk of the lines in tight loops, where the general path's set-up costs
// more than the work itself.
#pragma once

#include "base/result_code.h"

struct ScriptLine;

// Runs the line when it has one of those shapes and its operands allow it
// now (plain variables, no objects); false, with nothing changed, when the
// line needs the general way. Otherwise `result` tells how the store went.
bool RunQuickStatement(ScriptLine& line, ResultCode& result);
