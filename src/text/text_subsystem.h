// The text subsystem: string functions, Format and the legacy text,
// environment and Random/Transform commands.
#pragma once
#include "exec/subsystem.h"

// The subsystem's table, for the application's list.
const Subsystem& TextSubsystem();
