// Subsystem: the one table through which a folder of the interpreter adds
// itself: its commands (dispatch rows), built-in functions, built-in
// variables, window-message filters and start-up and exit steps. The
// application lists the subsystems, one line each, and installs them all at
// start-up; nothing else in the lower layers names a subsystem.
//
// Invariants: rows live for the whole program (static tables); no two
// subsystems implement the same action (installation stops with an error
// naming both).
#pragma once
#include <windows.h>

#include <cstddef>
#include <span>

#include "base/command_table.h"
#include "exec/command_args.h"
#include "values/builtin_vars.h"

struct BuiltInFunctionDef;

// A command a subsystem implements.
struct CommandRow {
  ActionType Action;
  CommandFunction Run;
};

// Offered every message the message loop takes before it is dispatched;
// returns true when it handled the message (it is then not dispatched).
using MessageFilter = bool (*)(MSG& msg);

// Written as a constant with designated initialisers, naming only what the
// subsystem has.
struct Subsystem {
  const wchar_t* Name = L"";
  std::span<const CommandRow> Commands = {};
  // Built-in functions (a table whose type the object layer defines).
  const BuiltInFunctionDef* Functions = nullptr;
  size_t FunctionCount = 0;
  std::span<const BuiltInVarDef> Variables = {};
  std::span<const MessageFilter> MessageFilters = {};
  // Start-up step: installs the subsystem's hooks into the lower layers.
  void (*Startup)() = nullptr;
  // Exit step: releases what the subsystem holds before the process ends.
  void (*Exit)() = nullptr;
  // Puts the subsystem's state back to its state before start-up.
  void (*Reset)() = nullptr;
};
