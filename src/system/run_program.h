// Run, RunWait and RunAs: the one launch routine that starts programs
// directly or through the shell (documents, URLs, verbs), and the RunAs
// credentials later launches use.
//
// Invariants: every process and thread handle the routine receives is
// closed or handed to its caller; a failed launch is reported once (an
// error, or ErrorLevel "ERROR" with UseErrorLevel).
#pragma once
#include <windows.h>

#include <string_view>

#include "exec/command_args.h"

class Variable;

// What one launch is asked to do.
struct LaunchRequest {
  std::wstring_view Target;
  std::wstring_view Parameters;  // given separately (the Link control), else empty
  std::wstring_view WorkingDir;
  std::wstring_view Options;  // Min, Max, Hide
  bool ShowErrors = true;
  bool UpdateLastError = false;
  bool UseRunAs = true;
  HANDLE* ProcessHandle = nullptr;  // RunWait: receives the handle (may be null)
  Variable* OutputPid = nullptr;
};

// The launch routine: Ok when the program started; otherwise Fail, after
// reporting the error when ShowErrors is set.
ResultCode LaunchProgram(const ScriptLine* line, const LaunchRequest& request);

// Run and RunWait [, Target, WorkingDir, Options, OutputVarPID].
ResultCode CmdRun(ScriptLine& line, CommandArgs& args);
// RunAs [, User, Password, Domain].
ResultCode CmdRunAs(ScriptLine& line, CommandArgs& args);
