// Thread records and interruption.
#include "app/threads.h"

#include <windows.h>

#include <vector>

#include "app/app_state.h"
#include "base/command_table.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/exceptions.h"
#include "objects/callbacks.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Extra records beyond #MaxThreads: two for the always-allowed commands,
// one for the exit routine, one spare.
constexpr int kExtraThreadRecords = 4;
constexpr size_t kSavedErrorLevelChars = 127;

Variable* ErrorLevelVar() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

}  // namespace

void InitThreadRecords(const ThreadSettings& startup) {
  ThreadState& threads = App().Threads;
  threads.Records.assign(static_cast<size_t>(threads.ThreadLimit + kExtraThreadRecords), ThreadSettings());
  threads.Records[0] = startup;
  threads.Depth = 0;
  Values().CurrentThread = &threads.Records[0];
}

void BeginThread(int priority, bool count, bool firstLineIsCritical) {
  ThreadState& threads = App().Threads;
  if (count) ++threads.ActiveThreads;
  if (threads.Depth + 1 < static_cast<int>(threads.Records.size())) ++threads.Depth;
  ThreadSettings& thread = threads.Records[static_cast<size_t>(threads.Depth)];
  thread = Values().ThreadDefaults;
  thread.Priority = priority;
  thread.LinesWhileProtected = 0;
  if (firstLineIsCritical) {
    thread.IsCriticalThread = true;
    thread.BatchLineLimit = -1;
    thread.BatchTimeLimit = -1;
  }
  if ((threads.ProtectMs != 0 && threads.ProtectLines != 0) || thread.IsCriticalThread) {
    thread.Interruptible = false;
    if (!thread.IsCriticalThread) {
      thread.ProtectSpan = threads.ProtectMs < 0 ? -1 : threads.ProtectMs;
      thread.ProtectStart = GetTickCount();
    }
  }
  Values().CurrentThread = &thread;
}

void EndThread(const std::wstring& savedErrorLevel, bool counted) {
  DiscardThrownValue();
  ThreadState& threads = App().Threads;
  if (counted && threads.ActiveThreads > 0) --threads.ActiveThreads;
  if (threads.Depth > 0) --threads.Depth;
  Values().CurrentThread = &threads.Records[static_cast<size_t>(threads.Depth)];
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(ErrorLevelVar()->Assign(savedErrorLevel));
}

bool CanInterruptNow() {
  if (!App().Threads.InterruptsEnabled) return false;
  ThreadSettings& thread = *Values().CurrentThread;
  if (!thread.Interruptible && !thread.IsCriticalThread && thread.ProtectSpan >= 0 &&
      GetTickCount() - thread.ProtectStart >= static_cast<DWORD>(thread.ProtectSpan))
    thread.Interruptible = true;
  return thread.Interruptible;
}

void CountProtectedLine() {
  ThreadSettings& thread = *Values().CurrentThread;
  if (thread.Interruptible || thread.IsCriticalThread) return;
  const int limit = App().Threads.ProtectLines;
  if (limit < 0) return;
  if (++thread.LinesWhileProtected > limit) thread.Interruptible = true;
}

std::wstring SaveErrorLevel() {
  std::wstring text = ErrorLevelVar()->TextOf();
  if (text.size() > kSavedErrorLevelChars) text.resize(kSavedErrorLevelChars);
  return text;
}

ThreadSettings* UnderlyingThread() {
  ThreadState& threads = App().Threads;
  return threads.Depth > 0 ? &threads.Records[static_cast<size_t>(threads.Depth - 1)] : nullptr;
}

bool CanLaunchThread(int priority) {
  const ThreadState& threads = App().Threads;
  if (threads.PausedThreads > 0 || threads.ActiveThreads >= threads.ThreadLimit) return false;
  if (priority < Values().CurrentThread->Priority) return false;
  return threads.ActiveThreads == 0 || CanInterruptNow();
}

ResultCode LaunchCallbackThread(const ScriptCallback& target, int priority, ExprToken** params, int count,
                                ExprToken* result) {
  if (result) {
    result->SetText(L"");
    result->HeapText = nullptr;
  }
  ScriptLine* first = target.FirstLine();
  if (target.TargetLabel() && !first) return ResultCode::Ok;
  std::wstring savedErrorLevel = SaveErrorLevel();
  BeginThread(priority, true, first && first->CommandIndex == ACT_CRITICAL);
  if (Label* label = target.TargetLabel()) Values().CurrentThread->CurrentLabel = label->Name;
  ResultCode ran = target.Run(params, count, result);
  EndThread(savedErrorLevel, true);
  return ran;
}
