// Program start-up: command line, identity, load, and the run that follows.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/script_context.h"

// Runs the whole program for the given script origin and returns the
// process exit code (when the exit sequence does not end the process first).
// `args` excludes the executable's own name.
int RunProgram(HINSTANCE instance, ScriptOrigin origin, const std::vector<std::wstring>& args);

// The arguments of this process, without the executable's name.
std::vector<std::wstring> ProcessArguments();
