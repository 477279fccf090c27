// The system subsystem's registration: file, registry and process commands.
#pragma once
#include "exec/subsystem.h"

const Subsystem& SystemSubsystem();
