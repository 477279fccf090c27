// Pseudo-threads: the array of per-thread settings records, BeginThread and
// EndThread that bracket every thread, and the interruption rules.
#pragma once
#include <cstdint>
#include <string>

#include "values/thread_settings.h"

// Process-wide thread state. Written only on the GUI thread.
struct ThreadState {
  int ActiveThreads = 0;          // script threads running now (idle is 0)
  int ThreadLimit = 10;           // #MaxThreads
  bool InterruptsEnabled = true;  // off while an exit routine runs
  int ProtectMs = 15;             // "Thread, Interrupt" time
  int ProtectLines = 1000;        // "Thread, Interrupt" lines
  int PausedThreads = 0;
};
extern ThreadState g_threads;

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
