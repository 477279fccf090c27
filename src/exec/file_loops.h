// The loop over files matching a pattern (Loop, Files and the legacy
// Loop, Pattern form): its current item as the built-in variables and the
// file commands read it.
#pragma once
#include <windows.h>

#include <string>

#include "base/result_code.h"

struct ScriptLine;
struct CommandArgs;

// The file loop's current item: the find record and the path the loop
// built for it (the pattern's directory part, as written, and the name).
struct LoopFileRecord {
  WIN32_FIND_DATAW Found;
  std::wstring Path;
};

// Runs a file loop; `legacy` picks the argument layout of the old form
// (pattern, include-folders 0/1/2, recurse 0/1) over the mode letters.
ResultCode RunFileLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, bool legacy,
                       ScriptLine*& jumpToLine);
