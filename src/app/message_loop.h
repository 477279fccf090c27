// The message loop: waits and idles while running script timers and
// dispatching window messages, and the check the execution loop makes
// between lines so that timers and messages can interrupt a running thread.
#pragma once
#include <cstdint>

// The "unspecified" wait: 10 ms, returning as soon as the queue is empty.
inline constexpr int kWaitUnspecified = -2147483647 - 1 + 303;

enum class PumpMode {
  Idle,         // wait for messages forever (the resident state)
  ReturnAfter,  // return once the wait time has passed
};

// Runs timers and messages for at least `waitMs` (mode ReturnAfter) or
// forever (Idle). Returns whether a timer or thread ran.
bool MessagePump(int waitMs, PumpMode mode);

// Called by the execution loop before each line: every few milliseconds it
// looks for waiting messages and due timers, and rests when the thread's
// batch budget (SetBatchLines) is used up.
// Returns the tick count it read, for the caller to reuse.
uint32_t CheckMessagesBetweenLines();

// Starts a new batch: called when a thread starts and after each rest.
void ResetBatch();
