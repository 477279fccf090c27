// The step every loop kind shares: run the body once, interpret its result
// and jumps, test the Until line and advance A_Index.
#pragma once
#include "base/result_code.h"

struct ScriptLine;

// What one iteration decided.
enum class Iteration { Continue, Stop };

// Runs the body once; Stop ends the loop with `result` (and `jumpToLine`
// when a jump leaves it).
Iteration RunIteration(ScriptLine& loopLine, ScriptLine* untilLine, ResultCode& result, ScriptLine*& jumpToLine);
