// The timer list and running due timers.
#include "app/timers.h"

#include <windows.h>

#include <string>

#include "app/app_state.h"
#include "app/threads.h"
#include "base/script_line.h"
#include "exec/run_lines.h"
#include "objects/callbacks.h"
#include "objects/func_object.h"
#include "values/numeric_text.h"
#include "values/values_state.h"

namespace {

// The timer of a label or object (one of them null), or null.
TimerEntry* FindTimer(Label* label, IObject* object) {
  for (TimerEntry* timer = App().Timers.First; timer; timer = timer->NextEntry)
    if (timer->Target.Is(label, object) && !timer->Deleted) return timer;
  return nullptr;
}

// Reads a number the way SetTimer does: blanks skipped, decimal or "0x".
int64_t ReadNumber(const wchar_t* text) {
  while (*text == L' ' || *text == L'\t') ++text;
  return TextToInteger(text);
}

// Unlinks and frees timers that were deleted and have finished running.
void PurgeDeletedTimers() {
  TimerEntry** link = &App().Timers.First;
  while (*link) {
    TimerEntry* timer = *link;
    if (timer->Deleted && timer->RunningCount == 0) {
      *link = timer->NextEntry;
      delete timer;
    } else {
      link = &timer->NextEntry;
    }
  }
}

}  // namespace

void SetTimerEntry(Label* label, IObject* object, const wchar_t* periodText, const wchar_t* priorityText, bool enable,
                   bool reset) {
  TimerEntry* timer = FindTimer(label, object);
  bool created = false;
  if (!timer) {
    timer = new TimerEntry();
    if (label)
      timer->Target.SetLabel(label);
    else
      timer->Target.SetObject(object);
    TimerEntry** link = &App().Timers.First;
    while (*link) link = &(*link)->NextEntry;
    *link = timer;
    created = true;
  }
  if (periodText && *periodText) {
    int64_t period = ReadNumber(periodText);
    timer->OneShot = period < 0;
    timer->PeriodMs = period < 0 ? -period : period;
  }
  if (priorityText && *priorityText) timer->Priority = static_cast<int>(ReadNumber(priorityText));
  if (!enable) {
    timer->IsEnabled = false;
    return;
  }
  if (created || reset || !timer->IsEnabled) timer->LastStart = GetTickCount();
  timer->IsEnabled = true;
}

void DeleteTimer(Label* label, IObject* object) {
  TimerEntry* timer = FindTimer(label, object);
  if (!timer) return;
  timer->IsEnabled = false;
  timer->Deleted = true;
  PurgeDeletedTimers();
}

void DeleteAllTimers() {
  TimerState& timers = App().Timers;
  while (TimerEntry* timer = timers.First) {
    timers.First = timer->NextEntry;
    delete timer;
  }
  timers.Running = nullptr;
}

int64_t MsUntilNextTimer() {
  int64_t soonest = -1;
  DWORD now = GetTickCount();
  for (TimerEntry* timer = App().Timers.First; timer; timer = timer->NextEntry) {
    if (!timer->IsEnabled) continue;
    int64_t left = timer->PeriodMs - static_cast<int64_t>(now - timer->LastStart);
    if (left < 0) left = 0;
    if (soonest < 0 || left < soonest) soonest = left;
  }
  return soonest;
}

bool RunDueTimers() {
  TimerState& timers = App().Timers;
  if (!timers.First) return false;
  ThreadSettings& current = *Values().CurrentThread;
  const ThreadState& threads = App().Threads;
  if (threads.PausedThreads > 0 || !current.TimersAllowed || threads.ActiveThreads >= threads.ThreadLimit ||
      !CanInterruptNow())
    return false;
  bool ran = false;
  for (TimerEntry* timer = timers.First; timer; timer = timer->NextEntry) {
    DWORD now = GetTickCount();
    if (!timer->IsEnabled || timer->RunningCount > 0 || timer->Priority < Values().CurrentThread->Priority ||
        static_cast<int64_t>(now - timer->LastStart) < timer->PeriodMs)
      continue;
    ScriptLine* first = timer->Target.FirstLine();
    timer->LastStart = now;
    if (timer->OneShot) timer->IsEnabled = false;
    if (timer->Target.TargetLabel() && !first) continue;
    std::wstring savedErrorLevel = SaveErrorLevel();
    BeginThread(timer->Priority, true, first && first->CommandIndex == ACT_CRITICAL);
    if (Label* label = timer->Target.TargetLabel()) Values().CurrentThread->CurrentLabel = label->Name;
    ++timer->RunningCount;
    TimerEntry* interrupted = timers.Running;
    timers.Running = timer;
    // The callback reports its own errors in its own thread.
    static_cast<void>(timer->Target.Run(nullptr, 0, nullptr));
    timers.Running = interrupted;
    --timer->RunningCount;
    EndThread(savedErrorLevel, true);
    // A one-shot bound function is not kept alive for a later SetTimer.
    if (timer->OneShot && !timer->IsEnabled && dynamic_cast<BoundFunc*>(timer->Target.TargetObject()))
      timer->Deleted = true;
    ran = true;
  }
  PurgeDeletedTimers();
  return ran;
}

TimerSummary SummarizeTimers() {
  TimerSummary summary;
  for (TimerEntry* timer = App().Timers.First; timer; timer = timer->NextEntry) {
    if (timer->Deleted) continue;
    ++summary.Total;
    if (!timer->IsEnabled) continue;
    ++summary.Enabled;
    if (!summary.EnabledNames.empty()) summary.EnabledNames += L' ';
    summary.EnabledNames += timer->Target.Name();
  }
  return summary;
}

bool CurrentTimerTarget(Label*& label, IObject*& object) {
  label = nullptr;
  object = nullptr;
  const TimerEntry* running = App().Timers.Running;
  if (!running || running->Deleted) return false;
  label = running->Target.TargetLabel();
  object = running->Target.TargetObject();
  return true;
}
