// The GUI subsystem's registration: dialogs (and, as they come, Gui windows
// and their controls).
#pragma once
#include "exec/subsystem.h"

const Subsystem& GuiSubsystem();
