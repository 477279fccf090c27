// The built-in function table: every native function a script can call by
// name, grouped in families (one table per source file), with the parameter
// limits the compiler checks. A name in no family is not a built-in function;
// a family lists only the functions this version implements, so a call to a
// function that is not built fails to load as a call to a nonexistent one.
//
// Contract of an entry point (an ExprCallFunction):
// - `func.Name` is the name the table gives, so one implementation can serve
//   several names (Floor and Ceil, Trim/LTrim/RTrim).
// - `result` arrives as the empty String. Put an Integer, a Float, an
//   ObjectRef (the caller takes over one reference), or text: constant text,
//   text in memory that stays valid until the same function is next called,
//   or a heap block from AllocVarHeap set as both Text and HeapText (the
//   caller frees it).
// - `params[0..count)` are the evaluated arguments: numbers, text, a
//   VariableRef for a variable (the caller's own variable: a function that
//   writes through it changes the caller's variable), Omitted for an
//   argument left out in the middle of a call. Calls are checked against
//   MinParams/MaxParams before they run.
// - Return Ok. For a run-time error that must fail the line, report it with
//   ReportLineError(Script().CurrentLine, ...) and return Fail; otherwise built-ins
//   answer 0 or "" when their input is unusable.
#pragma once
#include <cstddef>
#include <string_view>

#include "values/expr_token.h"
#include "values/numeric_text.h"

// A maximum of this many parameters or more means "no practical limit".
inline constexpr int kUnlimitedParams = 10000;

struct BuiltInFunctionDef {
  const wchar_t* Name;
  int MinParams;
  int MaxParams;
  ExprCallFunction Call;
  ExprIntegerFunction IntegerCall = nullptr;  // its work on integers, when that is all it does
};

struct BuiltInFamily {
  const BuiltInFunctionDef* Defs;
  size_t Count;
};

// The families, one per source file.
BuiltInFamily MathFunctions();      // builtin_math.cpp
BuiltInFamily MemoryFunctions();    // builtin_memory.cpp
BuiltInFamily FunctionFunctions();  // builtin_func.cpp
BuiltInFamily ObjectFunctions();    // builtin_object.cpp

// Adds a family to the functions scripts can call; the rows must outlive
// the program. Done at start-up, before the script loads.
void RegisterBuiltInFunctions(BuiltInFamily family);

// The table entry of that name (any case), or null.
const BuiltInFunctionDef* FindBuiltInFunction(std::wstring_view name);

// Conveniences for entry points.
// Whether the argument was given (present and not Omitted).
inline bool ParamGiven(ExprToken** params, int count, int index) {
  return index < count && params[index]->Symbol != ExprSymbol::Omitted;
}
// The text of an argument: its own text, a variable's text, or a number
// formatted by the thread's formats into `numberBuffer` (kFloatTextChars
// characters). Objects give "". The pointer is valid while the argument is.
const wchar_t* ParamText(ExprToken& param, wchar_t* numberBuffer, size_t* length = nullptr);
// The numeric type of an argument by the number rules (hexadecimal text
// counts; quoted text that looks like a number counts as well).
NumericKind ParamNumericType(ExprToken& param);
// An argument as a 64-bit integer or a double ("" and non-numbers are 0).
int64_t ParamInteger(ExprToken& param);
double ParamFloat(ExprToken& param);
// Puts text into the result as a heap block the caller frees; the empty
// string (and false) when memory runs out.
bool SetResultText(ExprToken& result, std::wstring_view text);
