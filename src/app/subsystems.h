// The interpreter's subsystems: the list, their installation at start-up,
// their exit steps, and the one call that puts all interpreter state back
// to its state before start-up (for tests and tools).
#pragma once
#include <span>

#include "exec/subsystem.h"

// Every subsystem, lower layers first.
std::span<const Subsystem* const> AllSubsystems();

// Installs every subsystem: commands, functions, variables, message
// filters, then each start-up step in list order. False (after a message
// on standard error) when two subsystems claim the same command; nothing
// can run then.
bool InstallSubsystems();

// Runs each subsystem's exit step, upper layers first.
void RunSubsystemExitSteps();

// Offers a message to the subsystems' filters; true when one handled it.
bool OfferToMessageFilters(MSG& msg);

// Resets all interpreter state (every layer's record, upper layers first)
// and installs the subsystems again, as at start-up before the script
// loads. For tests and tools between scripts, never while one runs: the
// app layer's step (ResetAppState) removes the tray icon and destroys a
// main window that still exists, without starting the exit sequence.
bool ResetInterpreterState();
