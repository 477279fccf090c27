// ExitApp, the exit routine and FinalShutdown.
#include "app/exit.h"
#include "app/subsystems.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/event_functions.h"
#include "app/main_window.h"
#include "base/script_context.h"
#include "app/threads.h"
#include "app/tray_icon.h"
#include "exec/run_lines.h"
#include "objects/func.h"
#include "base/script_line.h"
#include "values/values_state.h"

namespace {

// Written by the OnExit command.
Label* g_exitLabel = nullptr;
// Set while the exit routine runs, and when it calls ExitApp itself.
bool g_exitRoutineRunning = false;
bool g_exitAppCalledInRoutine = false;

// Runs the exit label, then the OnExit functions, in a thread of their own
// with interruptions off. Returns true when they let the exit go on.
bool RunExitRoutine(int reason) {
  std::wstring savedErrorLevel = SaveErrorLevel();
  BeginThread(0, true, false);
  RefreshTrayIcon(false);
  bool interrupts = g_threads.InterruptsEnabled;
  g_threads.InterruptsEnabled = false;
  g_exitRoutineRunning = true;
  g_exitAppCalledInRoutine = false;
  bool cancelled = false;
  if (g_exitLabel && g_exitLabel->MarkedLine) {
    ScriptLine* jump = nullptr;
    // The routine reports its own errors; its outcome does not change the exit.
    static_cast<void>(RunLines(g_exitLabel->MarkedLine, RunMode::UntilReturn, jump));
    // A label that returns without calling ExitApp keeps the script running.
    cancelled = !g_exitAppCalledInRoutine;
  }
  if (!cancelled && HasExitFunctions())
    cancelled = CallExitFunctions(ExitReasonText(reason), Script().ProcessExitCode);
  g_exitRoutineRunning = false;
  bool proceed = !cancelled || reason == EXIT_DESTROY;
  if (!proceed) {
    EndThread(savedErrorLevel, true);
    RefreshTrayIcon(false);
    g_threads.InterruptsEnabled = interrupts;
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

void SetExitLabel(Label* label) { g_exitLabel = label; }

ResultCode ExitApp(int reason, int exitCode, bool codeGiven) {
  if (g_exitRoutineRunning) {
    if (reason == EXIT_EXIT && !g_exitAppCalledInRoutine) {
      g_exitAppCalledInRoutine = true;
      if (codeGiven) Script().ProcessExitCode = exitCode;
    }
    return ResultCode::EarlyExit;
  }
  Script().ExitCause = reason;
  if (Script().ReadyToRun) {
    Script().ProcessExitCode = exitCode;
    const bool hasRoutine = (g_exitLabel && g_exitLabel->MarkedLine) || HasExitFunctions();
    if (hasRoutine && !RunExitRoutine(reason)) return ResultCode::EarlyExit;
    exitCode = Script().ProcessExitCode;
  }
  FinalShutdown(reason, exitCode);
}

void FinalShutdown(int /*reason*/, int exitCode) {
  if (exitCode != CRITICAL_ERROR_EXIT_CODE) {
    g_threads.InterruptsEnabled = false;
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
