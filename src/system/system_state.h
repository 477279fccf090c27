// SystemState: what the system subsystem (files, registry, processes)
// keeps between commands.
#pragma once
#include "system/file_append.h"

struct SystemState {
  // Finds the innermost running read loop's output; installed by the read
  // loops, null while none can run.
  ReadLoopOutputLookup ReadLoopOutput = nullptr;
};

namespace state_detail {
// The one instance; reach it through System().
extern SystemState system;
}  // namespace state_detail

inline SystemState& System() { return state_detail::system; }
