// Block structure and jump resolution: after all lines are parsed, every
// line gets its enclosing line, every control statement the line after its
// body, and every fixed jump its target. Execution never searches for the
// end of a block.
#pragma once
#include "base/result_code.h"

struct ScriptLine;

// Links the whole script's blocks. Reports and returns Fail on a
// misplaced statement.
ResultCode LinkScriptBlocks(ScriptLine* first);

// Resolves Goto, Gosub, Break, Continue and the fixed label parameters of
// SetTimer, Hotkey, OnExit and GroupAdd.
ResultCode ResolveJumps(ScriptLine* first);
