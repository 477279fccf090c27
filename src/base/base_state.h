// BaseState: the base layer's own plumbing: the error reporter and dialog
// the upper layers install, the load-error sink of tools and tests, and the
// load pool's current block. The script-wide facts live in ScriptContext.
#pragma once
#include <cstddef>

#include "base/error_sink.h"

struct BaseState {
  ErrorReporter Reporter;               // installed by the execution layer at start-up
  MessageBoxHook MessageBox = nullptr;  // installed by the GUI at start-up
  LoadErrorSink LoadSink = nullptr;     // set and cleared by tools and tests around a load
  // The load pool's block being carved up; written only by PoolAlloc.
  char* PoolBlock = nullptr;
  size_t PoolLeft = 0;
};

namespace state_detail {
// The one instance; reach it through Base().
extern BaseState base;
}  // namespace state_detail

inline BaseState& Base() { return state_detail::base; }

// Forgets the installed hooks and the sink. The pool keeps its block: the
// records already carved from it live until the process ends.
void ResetBaseState();
