// Registers the application layer.
#include "app/app_subsystem.h"

#include <cstdint>
#include <cwchar>

#include "app/app_state.h"
#include "app/event_functions.h"
#include "app/exit.h"
#include "app/main_window.h"
#include "app/main_window_views.h"
#include "app/message_loop.h"
#include "app/reload_edit.h"
#include "app/thread_commands.h"
#include "app/threads.h"
#include "base/script_context.h"
#include "exec/exec_state.h"
#include "objects/func.h"
#include "objects/objects_state.h"
#include "system/clipboard.h"
#include "values/builtin_vars.h"

namespace {

const CommandRow kAppCommands[] = {
    {ACT_SLEEP, CmdSleep},
    {ACT_SETTIMER, CmdSetTimer},
    {ACT_ONEXIT, CmdOnExit},
    {ACT_CRITICAL, CmdCritical},
    {ACT_THREAD, CmdThread},
    {ACT_PAUSE, CmdPause},
    {ACT_LISTVARS, CmdListVars},
    {ACT_LISTHOTKEYS, CmdListHotkeys},
    {ACT_KEYHISTORY, CmdKeyHistory},
    {ACT_RELOAD, CmdReload},
    {ACT_EDIT, CmdEdit},
};

// A_ExitReason: why the exit sequence started ("" before it did).
size_t GetExitReason(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, ExitReasonText(Script().ExitCause));
}

// A_ScriptHwnd: the main window's handle as "0x" and lower-case hex digits.
size_t GetScriptHwnd(wchar_t* buffer, const wchar_t*) {
  wchar_t text[2 + 2 * sizeof(HWND) + 1];
  const auto handle = static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(MainWindow()));
  std::swprintf(text, sizeof(text) / sizeof(text[0]), L"0x%llx", handle);
  return PutBuiltInText(buffer, text);
}

// A_IsPaused: whether the thread beneath the running one is paused.
size_t GetIsPaused(wchar_t* buffer, const wchar_t*) {
  const ThreadState& threads = App().Threads;
  const bool paused = threads.Depth > 0 && static_cast<size_t>(threads.Depth) <= threads.Records.size() &&
                      threads.Records[static_cast<size_t>(threads.Depth - 1)].Paused;
  return PutBuiltInText(buffer, paused ? L"1" : L"0");
}

const BuiltInVarDef kAppVariables[] = {
    {L"A_ExitReason", GetExitReason},
    {L"A_IsPaused", GetIsPaused},
    {L"A_ScriptHwnd", GetScriptHwnd},
};

void ShowLinesView() { OpenMainWindowView(VIEW_LINES, false); }

// Lets a waiting command keep the message loop running.
bool PumpWhileWaiting(int waitMs) {
  return MessagePump(waitMs == kPumpDefaultPass ? kWaitUnspecified : waitMs, PumpMode::ReturnAfter);
}

// One short pass of the message loop for a waiting command; with threads
// barred only messages that start no thread are handled.
void PumpMessagesOnce(bool allowNewThreads) {
  bool& interrupts = App().Threads.InterruptsEnabled;
  const bool saved = interrupts;
  if (!allowNewThreads) interrupts = false;
  MessagePump(kWaitUnspecified, PumpMode::ReturnAfter);
  interrupts = saved;
}

void StartApp() {
  ExecHooks& hooks = Exec().Hooks;
  hooks.CheckMessagesBetweenLines = CheckMessagesBetweenLines;
  hooks.ExitApp = ExitApp;
  hooks.MainWindow = MainWindow;
  hooks.HasErrorFunctions = HasErrorFunctions;
  hooks.CallErrorFunctions = CallErrorFunctions;
  hooks.ShowLinesView = ShowLinesView;
  hooks.PumpMessages = PumpWhileWaiting;
  hooks.PumpMessagesOnce = PumpMessagesOnce;
  App().Viewer.Hooks.ListVarsLocals = LocalsOfRunningFunction;
  Objects().Threads = {.CanLaunch = CanLaunchThread, .Launch = LaunchCallbackThread};
  InstallMessageMonitors();
  MainWindowSeams& seams = App().MainWindow.Seams;
  seams.CloseClipboardIfOpen = CloseClipboardIfOpen;
  seams.ClipboardNotice = HandleClipboardNotice;
  seams.StartClipboardWatch = StartClipboardWatch;
}

}  // namespace

const Subsystem& AppSubsystem() {
  static const Subsystem kApp{.Name = L"app",
                              .Commands = kAppCommands,
                              .Functions = EventFunctions().Defs,
                              .FunctionCount = EventFunctions().Count,
                              .Variables = kAppVariables,
                              .Startup = StartApp,
                              .Reset = ResetAppState};
  return kApp;
}
