// The start-up sequence, in the order the steps must happen: each step may
// rely on everything before it.
#include "app/startup.h"

#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/event_functions.h"
#include "app/exit.h"
#include "app/main_window.h"
#include "app/message_loop.h"
#include "app/script_identity.h"
#include "app/single_instance.h"
#include "app/subsystems.h"
#include "app/threads.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exceptions.h"
#include "exec/run_lines.h"
#include "gui/message_box.h"
#include "objects/func.h"
#include "objects/object_ops.h"
#include "script/directives.h"
#include "script/loader.h"
#include "script/script_state.h"
#include "values/builtin_vars.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// How long the auto-execute section runs before timers may interrupt it.
constexpr int32_t kAutoExecuteProtectMs = 100;
// After this long a still-running auto-execute section hands its settings
// to the threads that start meanwhile.
constexpr UINT kAutoExecuteHandOverMs = 100;
// The interruptibility re-check, well inside the 49.7 days after which the
// tick count wraps and an old protection start would look recent.
constexpr UINT kInterruptibilityRecheckMs = 82800000;

// Buffer sizes the platform calls are made with.
constexpr DWORD kWorkDirBuffer = MAX_PATH;
constexpr DWORD kModulePathBuffer = 2048;

// The executable's full path.
std::wstring ModulePath() {
  std::wstring path(kModulePathBuffer, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, path.data(), kModulePathBuffer);
  path.resize(length);
  return path;
}

// The current directory, or "" when it cannot be read.
std::wstring CurrentDirectory() {
  wchar_t buffer[kWorkDirBuffer];
  DWORD length = GetCurrentDirectoryW(kWorkDirBuffer, buffer);
  return length && length < kWorkDirBuffer ? std::wstring(buffer, length) : std::wstring();
}

// The script file's full path as the user named it (relative to the
// current directory).
std::wstring FullPathOf(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (!needed) return path;
  std::wstring full(needed, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  full.resize(length);
  return full;
}

// Applies the command line to the script context and the global variables.
bool ApplyCommandLine(const std::vector<std::wstring>& args, ScriptOrigin origin) {
  CommandLine line = ParseCommandLine(args, origin);
  Script().RestartRequested = line.RestartRequested;
  Script().ErrorsToStdout = line.ErrorsToStdout;
  Script().SkipInstanceCheck = line.SkipInstanceCheck;
  if (origin == ScriptOrigin::File) {
    if (!line.HasScriptFile) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(ReportLoadError(msg::NoScriptFile));
      return false;
    }
    Script().ScriptFileArgument = line.ScriptFile;
  }
  AssignScriptParameters(line.Parameters, Values().Globals);
  return true;
}

// True when the script must stay resident after its auto-execute section.
bool ScriptIsPersistent() {
  // Seam: hotkeys, hotstrings and hooks keep a script resident too.
  return Script().StayResident;
}

// The defaults every later thread starts from, taken from the settings of
// the auto-execute section without what belongs to its run.
ThreadSettings DefaultsFrom(const ThreadSettings& section) {
  ThreadSettings defaults = section;
  defaults.ExceptionMode = 0;
  defaults.Thrown = nullptr;
  defaults.CurrentCall = nullptr;
  defaults.LoopIndex = 0;
  defaults.LoopField = nullptr;
  defaults.CurrentLabel = nullptr;
  defaults.Priority = 0;
  defaults.Interruptible = true;
  defaults.IsCriticalThread = false;
  defaults.Paused = false;
  defaults.LinesWhileProtected = 0;
  defaults.LastFoundWindow = nullptr;
  return defaults;
}

// A long auto-execute section: threads that start while it still runs get
// the settings it has made so far.
void CALLBACK AutoExecuteHandOver(HWND window, UINT, UINT_PTR timer, DWORD) {
  KillTimer(window, timer);
  const ThreadSettings* section = App().Threads.AutoExecuteRecord;
  if (Script().StartupSectionRunning && section) Values().ThreadDefaults = DefaultsFrom(*section);
}

// Lets a thread whose protection started just before the tick count wrapped
// become interruptible.
void CALLBACK RecheckInterruptibility(HWND, UINT, UINT_PTR, DWORD) { CanInterruptNow(); }

// Runs the script from its first line until a Return or Exit, then makes
// the settings it left behind the defaults of every later thread.
ResultCode RunAutoExecuteSection() {
  ScriptContext& s = Script();
  ThreadState& threads = App().Threads;
  ResultCode result = ResultCode::Ok;
  threads.ThreadLimit = Loader().Directives.MaxThreads;
  InitThreadRecords(*Values().CurrentThread);
  threads.AutoExecuteRecord = Values().CurrentThread;
  SetTimer(MainWindow(), TIMER_ID_REFRESH_INTERRUPTIBILITY, kInterruptibilityRecheckMs, RecheckInterruptibility);
  ResetBatch();
  if (s.FirstScriptLine) {
    // The section starts uninterruptible for its first 100 ms.
    Values().CurrentThread->Interruptible = false;
    Values().CurrentThread->ProtectStart = GetTickCount();
    Values().CurrentThread->ProtectSpan = kAutoExecuteProtectMs;
    SetTimer(MainWindow(), TIMER_ID_AUTOEXEC, kAutoExecuteHandOverMs, AutoExecuteHandOver);
    ++threads.ActiveThreads;
    s.StartupSectionRunning = true;
    ScriptLine* jump = nullptr;
    result = RunLines(s.FirstScriptLine, RunMode::UntilReturn, jump);
    s.StartupSectionRunning = false;
    --threads.ActiveThreads;
    KillTimer(MainWindow(), TIMER_ID_AUTOEXEC);
  }
  DiscardThrownValue();
  ThreadSettings& thread = *Values().CurrentThread;
  thread.ExceptionMode = 0;
  thread.LoopIndex = 0;
  thread.LoopField = nullptr;
  Values().ThreadDefaults = DefaultsFrom(thread);
  // The start-up thread becomes the idle thread, which anything may interrupt.
  thread.Interruptible = true;
  thread.IsCriticalThread = false;
  thread.Priority = INT32_MIN;
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL)->Assign(L"0"));
  return result;
}

}  // namespace

std::vector<std::wstring> ProcessArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  wchar_t** vector = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!vector) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(vector[i]);
  LocalFree(vector);
  return args;
}

int RunProgram(HINSTANCE instance, ScriptOrigin origin, const std::vector<std::wstring>& args) {
  ScriptContext& s = Script();
  s.Origin = origin;
  if (!InstallSubsystems()) return CRITICAL_ERROR_EXIT_CODE;
  // Seam: the tray menu is created here once menus exist.
  OleInitialize(nullptr);

  s.Instance = instance;
  // Seam: the regular-expression cache lock is initialised with that cache.
  SetErrorMode(SEM_FAILCRITICALERRORS);

  s.CurrentWorkDir = CurrentDirectory();
  s.StartupWorkDir = s.CurrentWorkDir;

  if (!ApplyCommandLine(args, origin)) return CRITICAL_ERROR_EXIT_CODE;

  // Seam: the start-up thread's settings take their defaults here, and are
  // copied to the defaults record after the identity is set.
  std::wstring exePath = ModulePath();
  std::wstring scriptPath = origin == ScriptOrigin::File ? FullPathOf(s.ScriptFileArgument) : exePath;
  if (!InitScriptIdentity(exePath, scriptPath)) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(msg::OutOfMemory));
    return CRITICAL_ERROR_EXIT_CODE;
  }

  if (LoadScript() != ResultCode::Ok) return CRITICAL_ERROR_EXIT_CODE;

  if (s.InstanceMode == INSTANCE_NOT_GIVEN && ScriptIsPersistent()) s.InstanceMode = INSTANCE_PROMPT;
  int yielded = ApplySingleInstanceRule();
  if (yielded >= 0) return yielded;
  DWORD lockTimeout = 0;
  if (SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0)) {
    s.SavedForegroundLockTimeout = lockTimeout;
    if (lockTimeout) SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
  }
  // The main window, its viewer and the tray icon.
  if (!CreateMainWindow()) return CRITICAL_ERROR_EXIT_CODE;
  if (App().MainWindow.Seams.StartClipboardWatch) App().MainWindow.Seams.StartClipboardWatch();

  std::setvbuf(stdout, nullptr, _IONBF, 0);

  // Seams: the key-history ring and hotkey activation.
  s.ReadyToRun = true;

  ResultCode ended = RunAutoExecuteSection();
  // A cancelled exit keeps the script running; there is no caller to pass it to.
  if (!ScriptIsPersistent()) static_cast<void>(ExitApp(ended == ResultCode::Fail ? EXIT_ERROR : EXIT_EXIT, 0));
  // Resident: threads start from messages and timers until an exit.
  MessagePump(kWaitUnspecified, PumpMode::Idle);
  return 0;
}
