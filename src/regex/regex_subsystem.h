// The text-processing subsystem of regular expressions, Sort and
// FormatTime: its registration table.
#pragma once
#include "exec/subsystem.h"

const Subsystem& RegexSubsystem();
