// The ListLines log: a ring of the most recently executed lines with the
// tick count at which each started.
#pragma once
#include <cstdint>
#include <string>

struct ScriptLine;

// Records a line as started at `tick` (a GetTickCount value).
void LogLine(ScriptLine* line, uint32_t tick);

// Steps the ring back one entry and clears it (ListLines Off removes its own line).
void UnlogLastLine();

// The text of the lines view: header, the logged lines oldest first with
// the seconds until the next one, and the closing hint.
std::wstring BuildListLinesText();
