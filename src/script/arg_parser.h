// Arguments of a command line: escape processing, splitting at delimiters,
// and the argument records (variable arguments resolved, variable
// references located, expression arguments marked).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "exec/result_code.h"
#include "script/script_line.h"

// Argument text after escape processing. Literal[i] is set for a character
// that came from an escape sequence: a literal delimiter does not split, a
// literal dereference character starts no reference, a literal blank is
// not trimmed.
struct ParsedArg {
  std::wstring Text;
  std::vector<bool> Literal;

  void Append(wchar_t c, bool literal) {
    Text += c;
    Literal.push_back(literal);
  }
  void RightTrim();
  void LeftTrim();
  bool IsBlankAt(size_t i) const;
  ParsedArg Slice(size_t from, size_t to) const;
};

// Converts escape sequences ("`n", "`t", ..., "`," and the like).
ParsedArg ProcessEscapes(std::wstring_view raw);

// An argument taken as it is, with no escape processing.
ParsedArg LiteralArg(std::wstring_view text);

// Splits escape-processed text into at most `mostArgs` arguments; the last
// takes the rest of the line. Expression-like arguments (forced or numeric)
// end only at a delimiter outside quotes and brackets.
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
