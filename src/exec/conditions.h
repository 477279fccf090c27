// The legacy if-forms: comparisons of a variable with a value, between,
// in/contains lists, type tests, and the IfInString/IfExist/IfMsgBox family.
#pragma once
#include <string_view>

#include "base/result_code.h"
#include "exec/command_args.h"

struct ScriptLine;

// Evaluates a legacy if-form; returns TestPassed, TestFailed or Fail.
ResultCode TestCondition(ScriptLine& line, CommandArgs& args);

// Compares two texts by the thread's StringCaseSense; <0, 0 or >0.
int CompareByCaseSense(std::wstring_view a, std::wstring_view b);

// True when `text` contains `part` by the thread's StringCaseSense.
bool ContainsByCaseSense(std::wstring_view text, std::wstring_view part);

// The "if var is type" test for one type word.
bool TextIsOfType(std::wstring_view text, std::wstring_view type, bool& knownType);
