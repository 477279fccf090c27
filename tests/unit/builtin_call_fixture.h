// Calls built-in functions the way the evaluator does, straight through
// their table entries, for the tests of the built-in function families.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/result_code.h"
#include "values/expr_token.h"

class Variable;

// One argument of a test call.
struct TestArg {
  enum class Kind { Integer, Float, String, Word, Variable, Omitted };
  Kind What;
  int64_t Int = 0;
  double Float = 0.0;
  const wchar_t* Text = L"";
  Variable* Var = nullptr;
};

// Argument makers: an integer, a float, quoted text, unquoted word text
// (as values from variables and functions arrive), a variable, an omitted
// argument.
TestArg ArgInt(int64_t value);
TestArg ArgFloat(double value);
TestArg ArgText(const wchar_t* text);
TestArg ArgWord(const wchar_t* text);
TestArg ArgVar(Variable& var);
TestArg ArgOmitted();

// What a call produced.
struct CallOutcome {
  ResultCode Code = ResultCode::Ok;
  ExprSymbol Symbol = ExprSymbol::String;
  int64_t Int = 0;
  double Float = 0.0;
  std::wstring Text;
  // "i:<integer>", "f:<float with 10 significant digits>", "s:<text>", or
  // "" for the empty text.
  std::string Shown() const;
};

// Calls the built-in function of that name with the arguments, checking
// first (as the compiler does) that it exists and takes that many. A
// failure to find or to call is a test failure with an "error" outcome.
CallOutcome CallBuiltIn(const wchar_t* name, std::initializer_list<TestArg> args);

// ASCII rendering of a wide text (other characters as "?").
std::string NarrowText(std::wstring_view text);
