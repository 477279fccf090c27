// Arguments of a command line: escape processing, splitting at delimiters,
// and the argument records (variable arguments resolved, variable
// references located, expression arguments marked).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "base/result_code.h"
#include "base/script_line.h"
#include "values/parsed_arg.h"

// Converts escape sequences ("`n", "`t", ..., "`," and the like).
ParsedArg ProcessEscapes(std::wstring_view raw);

// Splits escape-processed text into at most `mostArgs` arguments; the last
// takes the rest of the line. Expression-like arguments (forced or numeric)
// end only at a delimiter outside quotes and brackets.
// The arguments of "For key [, value] in expression": the key, the value
// (empty when absent) and the expression; none when "in" is missing.
std::vector<ParsedArg> SplitForArgs(const ParsedArg& all);

std::vector<ParsedArg> SplitArgs(const ParsedArg& all, ActionType action, int mostArgs);

// Builds the argument records of a line. May change the action (a forced
// expression turns a legacy assignment into an expression assignment).
// Reports and returns Fail on a malformed argument.
ResultCode BuildArgRecords(ActionType& action, std::vector<ParsedArg>& args, ArgRecord*& records);

// True when the text starts with the dereference character and a blank:
// the "% " prefix that forces an expression.
bool IsForcedExpression(const ParsedArg& arg);

// Largest number of variable references one line may hold.
inline constexpr int kMaxDerefsPerLine = 512;
