// Timer and thread commands.
#include "app/thread_commands.h"

#include <windows.h>

#include <string>

#include "app/app_state.h"
#include "app/exit.h"
#include "app/message_loop.h"
#include "app/threads.h"
#include "app/timers.h"
#include "app/tray_icon.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "objects/func.h"
#include "script/messages.h"
#include "script/script_lines.h"
#include "values/numeric_text.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Critical's default message-check interval, and the normal one.
constexpr int kCriticalCheckMs = 16;
constexpr int kNormalCheckMs = 5;

// The label a command's first argument names: resolved at load time when
// fixed, else looked up now. Null after reporting.
Label* LabelOfArg(ScriptLine& line, CommandArgs& args) {
  if (line.ResolvedCallee) return static_cast<Label*>(line.ResolvedCallee);
  Label* label = FindLabel(args[0]);
  // Reported once here; this path answers through its own return value.
  if (!label) static_cast<void>(ReportLineError(&line, parse_msg::TargetLabelMissing, ERROR_KIND_ERROR, args[0]));
  return label;
}

// What SetTimer's first argument names: a function object it gave, the
// label or function resolved at load time or named now, or, when empty, the
// timer whose thread is running. False after reporting.
bool TimerTargetOfArgs(ScriptLine& line, CommandArgs& args, Label*& label, IObject*& object) {
  label = nullptr;
  object = args.FirstObject;
  if (object) return true;
  if (line.ResolvedCallee) {
    if (line.Extra == kCalleeIsFunction)
      object = static_cast<Func*>(line.ResolvedCallee);
    else
      label = static_cast<Label*>(line.ResolvedCallee);
    return true;
  }
  const wchar_t* name = args[0];
  if (!*name) {
    if (CurrentTimerTarget(label, object)) return true;
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLineError(&line, parse_msg::Param1Invalid, ERROR_KIND_ERROR, L""));
    return false;
  }
  label = FindLabel(name);
  if (label) return true;
  Func* func = LookupFunction(name);
  if (func && func->Expr.MinParams == 0) {
    object = func;
    return true;
  }
  // Reported once here; this path answers through its own return value.
  static_cast<void>(ReportLineError(&line, parse_msg::TargetLabelMissing, ERROR_KIND_ERROR, name));
  return false;
}

}  // namespace

ResultCode CmdSetTimer(ScriptLine& line, CommandArgs& args) {
  Label* label = nullptr;
  IObject* object = nullptr;
  if (!TimerTargetOfArgs(line, args, label, object)) return ResultCode::Fail;
  const wchar_t* mode = args[1];
  if (EqualsNoCase(mode, L"Delete")) {
    DeleteTimer(label, object);
  } else if (EqualsNoCase(mode, L"Off")) {
    SetTimerEntry(label, object, nullptr, args[2], false, false);
  } else if (EqualsNoCase(mode, L"On") || !*mode) {
    SetTimerEntry(label, object, nullptr, args[2], true, false);
  } else {
    if (IsNumeric(mode, true, false, false) != PURE_INTEGER)
      return ReportLineError(&line, parse_msg::Param2Invalid, ERROR_KIND_ERROR, mode);
    SetTimerEntry(label, object, mode, args[2], true, true);
  }
  return ResultCode::Ok;
}

ResultCode CmdOnExit(ScriptLine& line, CommandArgs& args) {
  if (!*args[0]) {
    SetExitLabel(nullptr);
    return ResultCode::Ok;
  }
  Label* label = LabelOfArg(line, args);
  if (!label) return ResultCode::Fail;
  SetExitLabel(label);
  return ResultCode::Ok;
}

ResultCode CmdCritical(ScriptLine& line, CommandArgs& args) {
  (void)line;
  ThreadSettings& thread = *Values().CurrentThread;
  const wchar_t* mode = args[0];
  int64_t interval = kCriticalCheckMs;
  bool on = true;
  if (EqualsNoCase(mode, L"Off")) {
    on = false;
  } else if (*mode && !EqualsNoCase(mode, L"On")) {
    interval = TextToInteger(mode);
    on = interval != 0;
  }
  thread.IsCriticalThread = on;
  if (on) {
    thread.MessageCheckInterval = static_cast<int32_t>(interval);
    thread.Interruptible = false;
    thread.BatchLineLimit = -1;
    thread.BatchTimeLimit = -1;
  } else {
    thread.MessageCheckInterval = kNormalCheckMs;
    thread.Interruptible = true;
  }
  return ResultCode::Ok;
}

ResultCode CmdThread(ScriptLine& line, CommandArgs& args) {
  (void)line;
  const wchar_t* sub = args[0];
  if (EqualsNoCase(sub, L"Priority")) {
    Values().CurrentThread->Priority = static_cast<int32_t>(TextToInteger(args[1]));
  } else if (EqualsNoCase(sub, L"Interrupt")) {
    ThreadState& threads = App().Threads;
    if (*args[1]) threads.ProtectMs = static_cast<int>(TextToInteger(args[1]));
    if (*args[2]) threads.ProtectLines = static_cast<int>(TextToInteger(args[2]));
  } else if (EqualsNoCase(sub, L"NoTimers")) {
    Values().CurrentThread->TimersAllowed = *args[1] && TextToInteger(args[1]) == 0;
  }
  return ResultCode::Ok;
}

ResultCode CmdSleep(ScriptLine& line, CommandArgs& args) {
  (void)line;
  int64_t ms = TextToInteger(args[0]);
  if (ms > INT32_MAX) ms = INT32_MAX;
  MessagePump(static_cast<int>(ms), PumpMode::ReturnAfter);
  return ResultCode::Ok;
}

bool TogglePauseFromMenu() {
  ThreadSettings& thread = *Values().CurrentThread;
  thread.Paused = !thread.Paused;
  App().Threads.PausedThreads += thread.Paused ? 1 : -1;
  RefreshTrayIcon(false);
  return thread.Paused;
}

ResultCode CmdPause(ScriptLine& line, CommandArgs& args) {
  const wchar_t* mode = args[0];
  ThreadSettings* underlying = UnderlyingThread();
  bool onUnderlying = *args[1] && TextToInteger(args[1]) != 0;
  auto pause = [](ThreadSettings& thread) {
    if (thread.Paused) return;
    thread.Paused = true;
    ++App().Threads.PausedThreads;
  };
  auto unpause = [](ThreadSettings& thread) {
    if (!thread.Paused) return;
    thread.Paused = false;
    --App().Threads.PausedThreads;
  };
  if (EqualsNoCase(mode, L"On")) {
    pause(onUnderlying && underlying ? *underlying : *Values().CurrentThread);
  } else if (EqualsNoCase(mode, L"Off")) {
    if (underlying) unpause(*underlying);
  } else if (!*mode || EqualsNoCase(mode, L"Toggle")) {
    if (underlying && underlying->Paused)
      unpause(*underlying);
    else
      pause(*Values().CurrentThread);
  } else {
    return ReportLineError(&line, parse_msg::Param1Invalid, ERROR_KIND_ERROR, mode);
  }
  RefreshTrayIcon(false);
  return ResultCode::Ok;
}
