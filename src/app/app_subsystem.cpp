// Registers the application layer.
#include "app/app_subsystem.h"

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

const BuiltInVarDef kAppVariables[] = {
    {L"A_ExitReason", GetExitReason},
};

void ShowLinesView() { OpenMainWindowView(VIEW_LINES, false); }

// Lets a waiting command keep the message loop running.
bool PumpWhileWaiting(int waitMs) {
  return MessagePump(waitMs == kPumpDefaultPass ? kWaitUnspecified : waitMs, PumpMode::ReturnAfter);
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
  App().Viewer.Hooks.ListVarsLocals = LocalsOfRunningFunction;
  Objects().Threads = {.CanLaunch = CanLaunchThread, .Launch = LaunchCallbackThread};
  InstallMessageMonitors();
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
