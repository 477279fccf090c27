// Script timers: labels and function objects run as new threads every
// period (or once).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/result_code.h"
#include "objects/callbacks.h"

struct Label;
class IObject;

// The period of a timer whose SetTimer gave none.
inline constexpr int kDefaultTimerPeriodMs = 250;

// One timer, a link of the list in App().Timers (owned by it). Written by
// SetTimer and RunDueTimers.
struct TimerEntry {
  ScriptCallback Target;
  int64_t PeriodMs = kDefaultTimerPeriodMs;
  DWORD LastStart = 0;
  int Priority = 0;
  int RunningCount = 0;
  bool IsEnabled = false;
  bool OneShot = false;
  bool Deleted = false;  // removed while running: dropped once it ends
  TimerEntry* NextEntry = nullptr;
};

// Creates or updates the timer of a label or of a callable object (one of
// the two is null). `period` and `priority` are the command's texts (empty:
// unchanged or default); `enable` turns it on or off.
void SetTimerEntry(Label* label, IObject* object, const wchar_t* periodText, const wchar_t* priorityText, bool enable,
                   bool reset);

// Removes a timer (or marks it for removal while it runs).
void DeleteTimer(Label* label, IObject* object);

// Frees every timer at once, releasing the objects they hold (for a reset
// between scripts; no timer's thread may be running).
void DeleteAllTimers();

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
