// The automation subsystem's registration: window matching, window
// commands, window groups and their settings.
#pragma once
#include <span>

#include "exec/subsystem.h"

const Subsystem& AutomationSubsystem();

// The built-in variables of the window settings (window_settings.cpp).
std::span<const BuiltInVarDef> AutomationVariables();
