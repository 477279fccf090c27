// The application's own registration: thread, timer and view commands, the
// event functions (OnMessage, OnExit, OnError...), A_ExitReason, and the
// hooks through which the lower layers reach the message loop, the main
// window and the exit sequence.
#pragma once
#include "exec/subsystem.h"

const Subsystem& AppSubsystem();
