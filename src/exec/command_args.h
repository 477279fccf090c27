// The expanded arguments of the line being executed, as command
// implementations receive them, and the signature every command has.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/command_table.h"
#include "base/result_code.h"

class Variable;
class IObject;
struct ScriptLine;

struct CommandArgs {
  CommandArgs() = default;
  CommandArgs(const CommandArgs&) = delete;
  CommandArgs& operator=(const CommandArgs&) = delete;
  ~CommandArgs();

  // Arguments written plus empty ones up to the command's MostArgs. Only
  // the first Count entries of the arrays below are set (by PrepareArgs):
  // leaving the rest alone keeps the per-line cost down.
  int Count = 0;
  // Each argument's text after expansion ("" for output variables and for
  // arguments beyond those written). Valid until the line finishes.
  const wchar_t* Text[kMaxArgs];
  size_t Length[kMaxArgs];
  // The variable of an input or output variable argument, else null.
  Variable* Var[kMaxArgs];
  // The arithmetic commands' value when it came from an expression as a
  // number (then Text[1] is empty): 1 integer, 2 float, 0 none.
  int ValueKind = 0;
  int64_t ValueInteger = 0;
  double ValueFloat = 0.0;
  // An object the first argument's expression gave, for the commands that
  // take a function object there (SetTimer); its text is then "". The
  // arguments own one reference, released with them.
  IObject* FirstObject = nullptr;

  // The text of argument i, "" when absent.
  const wchar_t* operator[](int i) const { return i < Count && Text[i] ? Text[i] : L""; }
};

// A command's implementation: reads its arguments, does its work, reports
// errors through the error routines and returns Ok or Fail.
using CommandFunction = ResultCode (*)(ScriptLine& line, CommandArgs& args);
