// MessagePump and the between-lines check.
#include "app/message_loop.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/event_functions.h"
#include "app/exit.h"
#include "app/main_window.h"
#include "app/subsystems.h"
#include "app/threads.h"
#include "app/timers.h"
#include "base/script_context.h"
#include "exec/exec_state.h"
#include "values/values_state.h"

namespace {

constexpr int kRestMs = 10;
constexpr int kUnspecifiedWaitMs = 10;

// Takes and dispatches every waiting message (only those below WM_HOTKEY
// while the thread may not be interrupted, so hotkeys and the private
// messages wait their turn). Returns whether there was any.
bool DispatchWaitingMessages() {
  MSG msg;
  UINT last = CanInterruptNow() ? 0 : WM_HOTKEY - 1;
  bool any = false;
  while (PeekMessageW(&msg, nullptr, 0, last, PM_REMOVE)) {
    any = true;
    if (msg.message == WM_QUIT) {
      // A cancelled exit keeps the script running; there is no caller to pass it to.
      static_cast<void>(ExitApp(EXIT_RESERVED, static_cast<int>(msg.wParam)));
      continue;
    }
    if (OfferMessageFromLoop(msg)) continue;
    if (OfferToMessageFilters(msg)) continue;
    if (PreTranslateMainWindowMessage(msg)) continue;
    TranslateMessage(&msg);
    MarkDispatch(true, msg.message);
    DispatchMessageW(&msg);
    MarkDispatch(false, 0);
  }
  return any;
}

}  // namespace

void ResetBatch() {
  MessageLoopState& loop = App().Loop;
  loop.LastYield = GetTickCount();
  loop.LastQueueCheck = loop.LastYield;
  loop.LinesSinceYield = 0;
}

bool MessagePump(int waitMs, PumpMode mode) {
  const DWORD start = GetTickCount();
  bool early = false;
  if (waitMs == kWaitUnspecified) {
    waitMs = kUnspecifiedWaitMs;
    early = true;
  } else if (waitMs < 6) {
    early = true;
  }
  bool ran = false;
  for (;;) {
    if (RunDueTimers()) ran = true;
    bool dispatched = DispatchWaitingMessages();
    if (mode == PumpMode::ReturnAfter) {
      int64_t remaining = static_cast<int64_t>(waitMs) - static_cast<int64_t>(GetTickCount() - start);
      if (waitMs <= 0) {
        if (waitMs == 0 && !dispatched) Sleep(0);
        break;
      }
      if ((early && !dispatched) || remaining <= 0) break;
      int64_t next = MsUntilNextTimer();
      DWORD timeout = static_cast<DWORD>(next >= 0 && next < remaining ? next : remaining);
      MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } else {
      // Idle: sleep until a message arrives or the next timer is due, so a
      // resident script uses no processor time while it waits.
      int64_t next = MsUntilNextTimer();
      DWORD timeout = next < 0 ? INFINITE : static_cast<DWORD>(next);
      MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }
  ResetBatch();
  return ran;
}

uint32_t CheckMessagesBetweenLines() {
  // One statically placed record: App() is its address, as cheap as a
  // global's.
  MessageLoopState& loop = App().Loop;
  ThreadSettings& thread = *Values().CurrentThread;
  // Most lines run interruptible: the counting call is skipped for them.
  if (!thread.Interruptible) CountProtectedLine();
  DWORD now = GetTickCount();
  if (static_cast<int32_t>(now - loop.LastQueueCheck) > thread.MessageCheckInterval) {
    loop.LastQueueCheck = now;
    if (GetQueueStatus(QS_ALLINPUT) || MsUntilNextTimer() == 0) MessagePump(-1, PumpMode::ReturnAfter);
  }
  bool rest = (thread.BatchLineLimit >= 0 && ++loop.LinesSinceYield >= thread.BatchLineLimit) ||
              (thread.BatchTimeLimit >= 0 && static_cast<int32_t>(now - loop.LastYield) >= thread.BatchTimeLimit);
  if (rest) MessagePump(kRestMs, PumpMode::ReturnAfter);
  while (Values().CurrentThread->Paused) MessagePump(kWaitUnspecified, PumpMode::ReturnAfter);
  // Lines counted one by one (a batch of lines, a thread protected for a
  // number of lines) are all checked; otherwise a few quick lines may follow
  // unchecked.
  const bool countsLines = thread.BatchLineLimit >= 0 || !thread.Interruptible;
  Exec().QuickLinesLeft = countsLines ? 0 : kQuickLinesPerCheck;
  Exec().LastCheckTick = now;
  return now;
}
