// The COM subsystem's registration: the ComObj functions, COM start-up and
// the IDispatch face of script objects.
#pragma once
#include "exec/subsystem.h"

const Subsystem& ComSubsystem();
