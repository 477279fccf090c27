// Script timers: labels and function objects run as new threads every
// period (or once).
#pragma once
#include <cstdint>
#include <string>

#include "base/result_code.h"

struct Label;
class IObject;

// Creates or updates the timer of a label or of a callable object (one of
// the two is null). `period` and `priority` are the command's texts (empty:
// unchanged or default); `enable` turns it on or off.
void SetTimerEntry(Label* label, IObject* object, const wchar_t* periodText, const wchar_t* priorityText, bool enable,
                   bool reset);

// Removes a timer (or marks it for removal while it runs).
void DeleteTimer(Label* label, IObject* object);

// The label and object of the timer whose thread is running now (both null
// outside timer threads), for SetTimer without a target.
bool CurrentTimerTarget(Label*& label, IObject*& object);

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
