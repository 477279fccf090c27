// The loop runners: count loops, While, and the parse loops (plain and
// CSV). Each runs the common iteration step (body, jumps, Until, counter)
// and keeps the enclosing loop's A_Index and loop field intact.
#pragma once
#include <string>

#include "base/result_code.h"

struct ScriptLine;

// Runs a Loop, While or For line. `next` gets the line after the loop (and
// its Until); `jumpToLine` a jump the loop passes outward. `buffer` holds
// the loop line's expanded arguments.
ResultCode RunLoop(ScriptLine& loopLine, ScriptLine*& next, ScriptLine*& jumpToLine, std::wstring& buffer);
