// Pseudo-threads: the array of per-thread settings records, BeginThread and
// EndThread that bracket every thread, and the interruption rules.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/result_code.h"
#include "values/thread_settings.h"

// Process-wide thread state, held in App().Threads. Written only on the GUI
// thread.
struct ThreadState {
  // Written by BeginThread and EndThread, and by the auto-execute section
  // and the exit routine around their runs.
  int ActiveThreads = 0;  // script threads running now (idle is 0)
  // Set from #MaxThreads by the start-up before the records are made.
  int ThreadLimit = 10;
  // Turned off by the exit routine (and back on when it cancels the exit)
  // and by FinalShutdown.
  bool InterruptsEnabled = true;
  // Written by "Thread, Interrupt".
  int ProtectMs = 15;       // time a new thread is uninterruptible
  int ProtectLines = 1000;  // lines a new thread is uninterruptible
  // Written by Pause and the Pause menu items.
  int PausedThreads = 0;

  // The per-thread settings records: sized once by InitThreadRecords, then
  // Records[Depth] is the running thread's (BeginThread and EndThread move
  // Depth). The values layer's current thread points into them.
  std::vector<ThreadSettings> Records;
  int Depth = 0;
  // The auto-execute section's record; set by the start-up when the section
  // starts, read by the settings hand-over timer.
  ThreadSettings* AutoExecuteRecord = nullptr;
};

// Allocates the records ((#MaxThreads + 4) of them) and makes the first the
// current thread's record, as a copy of `startup`.
void InitThreadRecords(const ThreadSettings& startup);

// Starts a thread: the next record, a copy of the defaults, the priority,
// and the initial uninterruptible period. `firstLineIsCritical` makes it
// start critical.
void BeginThread(int priority, bool count, bool firstLineIsCritical);

// Ends the current thread and returns to the interrupted one, restoring
// ErrorLevel to `savedErrorLevel`.
void EndThread(const std::wstring& savedErrorLevel, bool counted);

// True when a new thread may interrupt the current one now.
bool CanInterruptNow();

// Counts a line run while the thread is not yet interruptible.
void CountProtectedLine();

// The text of ErrorLevel now (at most 127 characters), to restore later.
std::wstring SaveErrorLevel();

// The record of the thread the current one interrupted, or null for the
// first thread.
ThreadSettings* UnderlyingThread();

class ScriptCallback;
struct ExprToken;

// Whether a new thread of that priority may start now.
bool CanLaunchThread(int priority);
// Runs a callback in a new thread of its own (BeginThread, the callback,
// EndThread), restoring ErrorLevel afterwards.
ResultCode LaunchCallbackThread(const ScriptCallback& target, int priority, ExprToken** params, int count,
                                ExprToken* result);
