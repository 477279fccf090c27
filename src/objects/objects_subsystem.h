// The object layer's registration: functions and classes, the built-in
// function families of this layer, A_ThisFunc, and the hooks through which
// the loader and the evaluator reach functions and objects.
#pragma once
#include "exec/subsystem.h"

const Subsystem& ObjectsSubsystem();
