// ExitApp and FinalShutdown.
#include "app/exit.h"

#include <windows.h>

#include <cstdlib>

#include "app/script_context.h"

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

ResultCode ExitApp(int reason, int exitCode) {
  g_script.ExitCause = reason;
  if (g_script.ReadyToRun) {
    g_ProcessExitCode = exitCode;
    // Seam: the exit routines (the OnExit label and functions) run here in a
    // thread of their own and may cancel the exit, once threads exist.
  }
  FinalShutdown(reason, exitCode);
}

void FinalShutdown(int /*reason*/, int exitCode) {
  if (exitCode != CRITICAL_ERROR_EXIT_CODE) {
    // Object destructors run before exit, while everything they may use
    // still exists.
    g_script.Globals.ReleaseObjects();
  }
  // Seams: destroy the main window, stop the hook thread and unregister
  // hotkeys once those exist.
  std::exit(exitCode);
}
