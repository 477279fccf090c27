// The built-in variables of the file and read loops: A_LoopFile... and
// A_LoopReadLine, read from the innermost loop's current item.
#pragma once
#include <span>

#include "values/builtin_vars.h"

// The rows the system subsystem registers.
std::span<const BuiltInVarDef> LoopVariables();
