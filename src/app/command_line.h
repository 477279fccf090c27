// The process command line: the start-up switches and the script
// parameters, which become the numbered variables and A_Args.
#pragma once
#include <string>
#include <vector>

#include "base/script_context.h"
#include "values/variable.h"

struct CommandLine {
  bool RestartRequested = false;   // "/R", "/restart"
  bool SkipInstanceCheck = false;  // "/F", "/force"
  bool ErrorsToStdout = false;     // "/ErrorStdOut"
  bool HasScriptFile = false;
  std::wstring ScriptFile;  // qrv.exe: the first argument that is not a switch
  std::vector<std::wstring> Parameters;
};

// Splits the arguments (the executable's own name excluded). Switches are
// recognised only before the first other argument; for a script file origin
// that argument is the script path and the rest are parameters.
CommandLine ParseCommandLine(const std::vector<std::wstring>& args, ScriptOrigin origin);

// Creates the variables "1".."N" and "0" and the super-global A_Args array.
void AssignScriptParameters(const std::vector<std::wstring>& parameters, VarList& globals);
