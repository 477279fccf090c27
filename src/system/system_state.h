// SystemState: what the system subsystem (files, registry, processes)
// keeps between commands.
#pragma once
#include <string>

#include "system/file_append.h"

// The credentials RunAs sets for later launches; in force while any is
// non-empty.
struct RunAsCredentials {
  std::wstring User, Password, Domain;
};

struct SystemState {
  // Finds the innermost running read loop's output; installed by the read
  // loops, null while none can run.
  ReadLoopOutputLookup ReadLoopOutput = nullptr;
  // Written by RunAs, read by every launch.
  RunAsCredentials RunAs;
};

namespace state_detail {
// The one instance; reach it through System().
extern SystemState system;
}  // namespace state_detail

inline SystemState& System() { return state_detail::system; }
