// ExitApp, the exit routine and FinalShutdown.
#include "app/exit.h"
#include "app/subsystems.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/event_functions.h"
#include "app/main_window.h"
#include "app/threads.h"
#include "app/tray_icon.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/run_lines.h"
#include "objects/func.h"
#include "values/values_state.h"

namespace {

// Runs the exit label, then the OnExit functions, in a thread of their own
// with interruptions off. Returns true when they let the exit go on.
bool RunExitRoutine(int reason) {
  AppState& app = App();
  std::wstring savedErrorLevel = SaveErrorLevel();
  BeginThread(0, true, false);
  RefreshTrayIcon(false);
  bool interrupts = app.Threads.InterruptsEnabled;
  app.Threads.InterruptsEnabled = false;
  app.Exit.RoutineRunning = true;
  app.Exit.ExitAppCalledInRoutine = false;
  bool cancelled = false;
  if (Label* label = app.Exit.OnExitLabel; label && label->MarkedLine) {
    ScriptLine* jump = nullptr;
    // The routine reports its own errors; its outcome does not change the exit.
    static_cast<void>(RunLines(label->MarkedLine, RunMode::UntilReturn, jump));
    // A label that returns without calling ExitApp keeps the script running.
    cancelled = !app.Exit.ExitAppCalledInRoutine;
  }
  if (!cancelled && HasExitFunctions()) cancelled = CallExitFunctions(ExitReasonText(reason), Script().ProcessExitCode);
  app.Exit.RoutineRunning = false;
  bool proceed = !cancelled || reason == EXIT_DESTROY;
  if (!proceed) {
    EndThread(savedErrorLevel, true);
    RefreshTrayIcon(false);
    app.Threads.InterruptsEnabled = interrupts;
  }
  return proceed;
}

}  // namespace

const wchar_t* ExitReasonText(int reason) {
  switch (reason) {
    case EXIT_CRITICAL:
    case EXIT_DESTROY:
    case EXIT_RESERVED:
    case EXIT_CLOSE: return L"Close";
    case EXIT_ERROR: return L"Error";
    case EXIT_LOGOFF: return L"Logoff";
    case EXIT_SHUTDOWN: return L"Shutdown";
    case EXIT_MENU: return L"Menu";
    case EXIT_EXIT: return L"Exit";
    case EXIT_RELOAD: return L"Reload";
    case EXIT_SINGLEINSTANCE: return L"Single";
    default: return L"";
  }
}

void SetExitLabel(Label* label) { App().Exit.OnExitLabel = label; }

ResultCode ExitApp(int reason, int exitCode, bool codeGiven) {
  ExitState& state = App().Exit;
  if (state.RoutineRunning) {
    if (reason == EXIT_EXIT && !state.ExitAppCalledInRoutine) {
      state.ExitAppCalledInRoutine = true;
      if (codeGiven) Script().ProcessExitCode = exitCode;
    }
    return ResultCode::EarlyExit;
  }
  Script().ExitCause = reason;
  if (Script().ReadyToRun) {
    Script().ProcessExitCode = exitCode;
    const bool hasRoutine = (state.OnExitLabel && state.OnExitLabel->MarkedLine) || HasExitFunctions();
    if (hasRoutine && !RunExitRoutine(reason)) return ResultCode::EarlyExit;
    exitCode = Script().ProcessExitCode;
  }
  FinalShutdown(reason, exitCode);
}

void FinalShutdown(int /*reason*/, int exitCode) {
  if (exitCode != CRITICAL_ERROR_EXIT_CODE) {
    App().Threads.InterruptsEnabled = false;
    // Object destructors run before exit, while everything they may use
    // still exists.
    Values().Globals.ReleaseObjects();
    ReleaseStaticObjects();
  }
  RunSubsystemExitSteps();
  DestroyMainWindow();
  RemoveTrayIcon();
  // Seams: stop the hook thread and unregister hotkeys once those exist.
  std::exit(exitCode);
}
