// Script timers: labels run as new threads every period (or once).
#pragma once
#include <cstdint>
#include <string>

#include "exec/result_code.h"

struct Label;

// Creates or updates the timer of a label. `period` and `priority` are the
// command's texts (empty: unchanged or default); `enable` turns it on or off.
void SetTimerEntry(Label* target, const wchar_t* periodText, const wchar_t* priorityText, bool enable, bool reset);

// Removes a label's timer (or marks it for removal while it runs).
void DeleteTimer(Label* target);

// Runs every timer that is due, each as a thread of its own. Returns
// whether any ran.
bool RunDueTimers();

// Milliseconds until the next enabled timer is due (0 when one is due now),
// or -1 when no timer is enabled.
int64_t MsUntilNextTimer();

// The timers as the key-history view reports them.
struct TimerSummary {
  unsigned Enabled = 0;
  unsigned Total = 0;
  std::wstring EnabledNames;  // the enabled timers' labels, separated by spaces
};
TimerSummary SummarizeTimers();
