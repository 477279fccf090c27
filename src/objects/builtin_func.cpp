// The function-related built-in functions: Func, IsFunc, IsLabel, IsByRef
// and Exception.
#include <string>

#include "base/script_context.h"
#include "exec/errors.h"
#include "exec/exceptions.h"
#include "exec/run_lines.h"
#include "objects/builtin_functions.h"
#include "objects/callbacks.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "objects/func_object.h"
#include "script/script_lines.h"
#include "values/variable.h"

namespace {

// The function an argument names or is, or null.
Func* FunctionOfParam(ExprToken& param) {
  Func* func = nullptr;
  CallableOfToken(param, func);
  return func;
}

// Func(name): the function object, or 0.
ResultCode BifFunc(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  wchar_t buffer[kFloatTextChars];
  Func* func = LookupFunction(ParamText(*params[0], buffer));
  if (func)
    result.SetObject(func);
  else
    result.SetInteger(0);
  return ResultCode::Ok;
}

// IsFunc(name or function): 0, or the minimum parameter count + 1.
ResultCode BifIsFunc(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  Func* func = FunctionOfParam(*params[0]);
  result.SetInteger(func ? func->Expr.MinParams + 1 : 0);
  return ResultCode::Ok;
}

// IsLabel(name): whether a label of that name exists.
ResultCode BifIsLabel(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  wchar_t buffer[kFloatTextChars];
  const wchar_t* name = ParamText(*params[0], buffer);
  result.SetInteger(*name && FindLabel(name) ? 1 : 0);
  return ResultCode::Ok;
}

// IsByRef(var): whether the variable is a ByRef parameter bound to another
// variable; "" for anything that is not a variable.
ResultCode BifIsByRef(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  ExprToken& param = *params[0];
  if (param.Symbol != ExprSymbol::VariableRef) return ResultCode::Ok;
  Variable* var = param.Var;
  result.SetInteger(var->Type() == VAR_ALIAS && var->ResolveAlias() != var ? 1 : 0);
  return ResultCode::Ok;
}

// Exception(message [, what, extra]): a new exception object for the line.
ResultCode BifException(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t buffer[kFloatTextChars];
  std::wstring message = ParamText(*params[0], buffer);
  std::wstring what;
  if (ParamGiven(params, count, 1)) {
    what = ParamText(*params[1], buffer);
  } else if (Func* running = RunningFunction()) {
    what = running->Name;
  }
  std::wstring extra = ParamGiven(params, count, 2) ? ParamText(*params[2], buffer) : L"";
  result.SetObject(MakeExceptionObject(Script().CurrentLine, message, what, extra));
  return ResultCode::Ok;
}

const BuiltInFunctionDef kFunctionFunctions[] = {
    {L"Func", 1, 1, BifFunc},       {L"IsFunc", 1, 1, BifIsFunc},       {L"IsLabel", 1, 1, BifIsLabel},
    {L"IsByRef", 1, 1, BifIsByRef}, {L"Exception", 1, 3, BifException}, {L"ObjBindMethod", 2, 10001, BifObjBindMethod},
};

}  // namespace

BuiltInFamily FunctionFunctions() {
  return {kFunctionFunctions, sizeof(kFunctionFunctions) / sizeof(kFunctionFunctions[0])};
}
