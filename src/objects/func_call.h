// Calling script functions: binding arguments to parameters (defaults,
// ByRef aliases, variadic arrays and calls), recursion with saved locals,
// the Return value, and releasing the locals when a call ends.
//
// Invariants: calls nest strictly (a pseudo-thread that interrupts a call
// runs to its end before the call goes on), so the saved locals of
// recursive calls form one stack; a call's locals are released and any
// saved ones restored before the call returns to its caller.
#pragma once
#include <string>

#include "base/result_code.h"
#include "values/expr_token.h"
#include "values/variable.h"

class Func;
class IObject;
struct ScriptLine;

// One running call of a script function.
struct CallFrame {
  Func* Function;
  ExprToken* Result;           // receives the Return value
  CallFrame* Outer;            // the call this one runs inside, on the same thread
  bool ValueReturned = false;  // a Return with a value ended the call
};

// A local variable of a recursive call moved aside while the call runs;
// ObjectsState keeps those of every recursive call now running, innermost
// last.
struct SavedLocal {
  Variable* Var;
  VarState State;
};

// The function the current thread is running, or null.
Func* RunningFunction();

// The entry point of every script function (an ExprCallFunction).
ResultCode CallScriptFunction(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);

// Runs once a call's parameters are bound and before its body, in the
// call's own scope, so a caller can give the call more locals (a regex
// callout's subpattern variables). Anything but Ok ends the call.
using CallPrologue = ResultCode (*)(Func& func, void* data);

// CallScriptFunction for a Func, with a prologue (may be null).
ResultCode CallScriptFunctionWith(Func& func, ExprToken& result, ExprToken** params, int count, CallPrologue prologue,
                                  void* data);

// A call whose last argument ends in "*": a built-in function gets the
// array's elements as its arguments (a script function spreads them itself).
ResultCode CallWithSpreadArguments(const ExprFunc& func, ExprToken& result, ExprToken** params, int count);

// Calls any function by its record with the object-call rules: too few
// arguments give "" without an error, and a text result is copied into
// memory the result owns (a heap block in HeapText).
ResultCode CallFunctionChecked(Func& func, ExprToken& result, ExprToken** params, int count, bool expandLast);

// Return with a value: evaluates the line's argument into the running
// call's result. Without a call to receive it the value is evaluated for
// its effects only.
ResultCode DeliverReturnValue(ScriptLine& line, std::wstring& buffer);

// Rebuilds a function's list of locals that calls save and clear.
void RefreshCallLocals(Func& func);

// Whether the native stack still has room for one more nested call (or,
// with false, one more object request).
bool StackHasRoom(bool forFunctionCall = true);

// Message of a call nested so deeply that the native stack would run out.
inline constexpr wchar_t kRecursionTooDeep[] = L"Function recursion is too deep.";
