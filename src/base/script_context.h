// ScriptContext: the script-wide state (identity and paths, start-up flags,
// the loaded script, exit cause and code). One instance, `Script()`, exists
// before the entry point runs; start-up fills it, the exit sequence reads it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ScriptLine;
struct Label;

// Exit reasons (ExitCause) and the codes a running copy receives.
enum ExitReason : int {
  EXIT_NONE = 0,
  EXIT_CRITICAL = 1,
  EXIT_ERROR = 2,
  EXIT_DESTROY = 3,
  EXIT_LOGOFF = 4,
  EXIT_SHUTDOWN = 5,
  EXIT_RESERVED = 6,
  EXIT_CLOSE = 7,
  EXIT_MENU = 8,
  EXIT_EXIT = 9,
  EXIT_RELOAD = 10,
  EXIT_SINGLEINSTANCE = 11,
};

// The process exit code for a failed start-up or load.
constexpr int CRITICAL_ERROR_EXIT_CODE = 2;

// Values of InstanceMode (#SingleInstance).
enum InstanceMode : int {
  INSTANCE_NOT_GIVEN = 0,
  INSTANCE_PROMPT = 1,
  INSTANCE_FORCE = 2,
  INSTANCE_IGNORE = 3,
  INSTANCE_OFF = 4,
};

// Where the script text comes from: the executable's own resource (the
// compiled-script runtime) or a file named on the command line (qrv.exe).
enum class ScriptOrigin { Resource, File };

// The special characters of the script syntax, changeable by directives.
struct SyntaxChars {
  std::wstring CommentFlag = L";";
  wchar_t EscapeChar = L'`';
  wchar_t DerefChar = L'%';
  wchar_t Delimiter = L',';
  bool ContinuationLTrim = false;  // #LTrim: default LTrim of sections
};

struct ScriptContext {
  // Start-up flags from the command line (and directives).
  bool RestartRequested = false;
  bool ErrorsToStdout = false;
  std::wstring ScriptPath, ScriptDirectory, ScriptFileName;
  std::wstring ExePathQuoted, ExeDirectory;
  std::wstring MainTitle;
  int InstanceMode = INSTANCE_NOT_GIVEN;
  bool ReadyToRun = false;
  bool StartupSectionRunning = false;
  int ExitCause = EXIT_NONE;
  std::wstring CurrentWorkDir, StartupWorkDir;
  DWORD SavedForegroundLockTimeout = 0;

  HINSTANCE Instance = nullptr;
  ScriptOrigin Origin = ScriptOrigin::Resource;
  // The script file named on the command line (qrv.exe only).
  std::wstring ScriptFileArgument;

  // Source files by index; index 0 is the main script.
  std::vector<std::wstring> SourceFiles;
  // The physical line the reader is on, for load errors not tied to a line.
  int CurrentFileIndex = 0;
  int CurrentLineNumber = 0;
  SyntaxChars Syntax;

  // The loaded script: lines in source order and labels in definition order.
  ScriptLine* FirstScriptLine = nullptr;
  ScriptLine* LastScriptLine = nullptr;
  Label* FirstLabel = nullptr;
  Label* LastLabel = nullptr;
  // Labels defined since the last line was added; the next line marks them.
  int LabelsAwaitingLine = 0;
  // The label with an empty name that points at the script's last line.
  Label* PlaceholderLabel = nullptr;
  // Set by the first hotkey or hotstring label, which ends the auto-execute
  // section with an implicit Return.
  bool HotkeyLabelSeen = false;

  // The line being executed; error reports, ErrorLevel outcomes and
  // A_LineNumber use it. Written by RunLines for each line it reaches.
  ScriptLine* CurrentLine = nullptr;

  // Process-wide switches.
  bool SkipInstanceCheck = false;  // written once by the command-line parser
  bool StayResident = false;       // written by directives and commands that keep the script alive
  int ProcessExitCode = 0;         // written by the exit sequence
};

namespace state_detail {
// The one instance; reach it through Script().
extern ScriptContext script;
}  // namespace state_detail

// The script-wide facts: written by start-up (identity, paths, flags), by
// the loader (source files, reader position, syntax characters, lines and
// labels) and by the exit sequence (cause and code); read by every layer.
inline ScriptContext& Script() { return state_detail::script; }

// Puts the script-wide facts back to their state before start-up.
void ResetScriptContext();
