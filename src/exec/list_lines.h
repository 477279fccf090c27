// The ListLines log: a ring of the most recently executed lines with the
// tick count at which each started.
#pragma once
#include <cstdint>
#include <string>

#include "exec/exec_state.h"

struct ScriptLine;

// Records a line as started at `tick` (a GetTickCount value). Inline: every
// line that runs while ListLines is on passes here.
inline void LogLine(ScriptLine* line, uint32_t tick) {
  ExecState& exec = Exec();
  exec.Ring[exec.RingNext] = {line, tick};
  if (++exec.RingNext == kListLinesRingSize) exec.RingNext = 0;
}

// Steps the ring back one entry and clears it (ListLines Off removes its own line).
void UnlogLastLine();

// The text of the lines view: header, the logged lines oldest first with
// the seconds until the next one, and the closing hint.
std::wstring BuildListLinesText();
