// Thread records and interruption.
#include "app/threads.h"

#include <windows.h>

#include <vector>

#include "base/script_context.h"
#include "exec/exceptions.h"
#include "values/variable.h"
#include "values/values_state.h"

ThreadState g_threads;

namespace {

// Extra records beyond #MaxThreads: two for the always-allowed commands,
// one for the exit routine, one spare.
constexpr int kExtraThreadRecords = 4;
constexpr size_t kSavedErrorLevelChars = 127;

std::vector<ThreadSettings> g_records;  // sized once by InitThreadRecords
int g_depth = 0;

Variable* ErrorLevelVar() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

}  // namespace

void InitThreadRecords(const ThreadSettings& startup) {
  g_records.assign(static_cast<size_t>(g_threads.ThreadLimit + kExtraThreadRecords), ThreadSettings());
  g_records[0] = startup;
  g_depth = 0;
  Values().CurrentThread = &g_records[0];
}

void BeginThread(int priority, bool count, bool firstLineIsCritical) {
  if (count) ++g_threads.ActiveThreads;
  if (g_depth + 1 < static_cast<int>(g_records.size())) ++g_depth;
  ThreadSettings& thread = g_records[static_cast<size_t>(g_depth)];
  thread = Values().ThreadDefaults;
  thread.Priority = priority;
  thread.LinesWhileProtected = 0;
  if (firstLineIsCritical) {
    thread.IsCriticalThread = true;
    thread.BatchLineLimit = -1;
    thread.BatchTimeLimit = -1;
  }
  if ((g_threads.ProtectMs != 0 && g_threads.ProtectLines != 0) || thread.IsCriticalThread) {
    thread.Interruptible = false;
    if (!thread.IsCriticalThread) {
      thread.ProtectSpan = g_threads.ProtectMs < 0 ? -1 : g_threads.ProtectMs;
      thread.ProtectStart = GetTickCount();
    }
  }
  Values().CurrentThread = &thread;
}

void EndThread(const std::wstring& savedErrorLevel, bool counted) {
  DiscardThrownValue();
  if (counted && g_threads.ActiveThreads > 0) --g_threads.ActiveThreads;
  if (g_depth > 0) --g_depth;
  Values().CurrentThread = &g_records[static_cast<size_t>(g_depth)];
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(ErrorLevelVar()->Assign(savedErrorLevel));
}

bool CanInterruptNow() {
  if (!g_threads.InterruptsEnabled) return false;
  ThreadSettings& thread = *Values().CurrentThread;
  if (!thread.Interruptible && !thread.IsCriticalThread && thread.ProtectSpan >= 0 &&
      GetTickCount() - thread.ProtectStart >= static_cast<DWORD>(thread.ProtectSpan))
    thread.Interruptible = true;
  return thread.Interruptible;
}

void CountProtectedLine() {
  ThreadSettings& thread = *Values().CurrentThread;
  if (thread.Interruptible || thread.IsCriticalThread || g_threads.ProtectLines < 0) return;
  if (++thread.LinesWhileProtected > g_threads.ProtectLines) thread.Interruptible = true;
}

std::wstring SaveErrorLevel() {
  std::wstring text = ErrorLevelVar()->TextOf();
  if (text.size() > kSavedErrorLevelChars) text.resize(kSavedErrorLevelChars);
  return text;
}

ThreadSettings* UnderlyingThread() { return g_depth > 0 ? &g_records[static_cast<size_t>(g_depth - 1)] : nullptr; }
