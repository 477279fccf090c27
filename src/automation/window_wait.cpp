// WinWait, WinWaitClose, WinWaitActive and WinWaitNotActive: test the
// condition, run the message loop, test again, until it holds or the
// time-out passes (ErrorLevel 1).
#include <string>

#include "automation/automation_support.h"
#include "automation/window_commands.h"
#include "automation/window_search.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "values/numeric_text.h"

namespace {

// Argument positions of the waiting commands.
enum : int { kArgTitle = 0, kArgText = 1, kArgSeconds = 2, kArgExcludeTitle = 3, kArgExcludeText = 4 };
// The wait that a time-out below one millisecond becomes.
constexpr int64_t kShortestTimeoutMs = 500;
// The remaining time at which a timed wait gives up.
constexpr int64_t kWaitSlackMs = 5;

// Whether the command's condition holds now.
bool ConditionHolds(ActionType action, const WindowStrings& strings) {
  switch (action) {
    case ACT_WINWAIT: return FindMatchingWindow(strings, false, true) != nullptr;
    case ACT_WINWAITCLOSE: return FindMatchingWindow(strings, false, false) == nullptr;
    case ACT_WINWAITACTIVE: return FindActiveMatch(strings, true) != nullptr;
    default: return FindActiveMatch(strings, true) == nullptr;
  }
}

}  // namespace

// The four waiting commands.
ResultCode CmdWinWait(ScriptLine& line, CommandArgs& args) {
  const WindowStrings strings = StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText);
  const std::wstring_view seconds = ArgView(args, kArgSeconds);
  int64_t timeoutMs = -1;
  if (!seconds.empty()) {
    timeoutMs = static_cast<int64_t>(TextToDouble(std::wstring(seconds).c_str()) * 1000.0);
    if (timeoutMs < 1) timeoutMs = kShortestTimeoutMs;
  }
  SetErrorLevelNumber(0);
  const DWORD start = GetTickCount();
  for (;;) {
    if (ConditionHolds(line.CommandIndex, strings)) {
      SleepWinDelay();
      return ResultCode::Ok;
    }
    if (timeoutMs >= 0 && timeoutMs - static_cast<int64_t>(GetTickCount() - start) <= kWaitSlackMs) {
      return ReportOutcome(true);
    }
    PumpMessages(kPumpDefaultPass);
  }
}
