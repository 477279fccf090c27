// Function objects, BoundFunc, and method calls on script objects.
#include "objects/func_object.h"

#include <string>
#include <vector>

#include "base/script_context.h"
#include "exec/errors.h"
#include "exec/run_lines.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "values/expr_operators.h"

namespace {

inline constexpr wchar_t kParam1Invalid[] = L"Parameter #1 invalid.";

// The index argument of IsOptional and IsByRef: 0 when absent.
bool IndexArgument(ExprToken** params, int count, int64_t& index) {
  if (count < 1 || params[0]->Symbol == ExprSymbol::Omitted) return false;
  index = ParamInteger(*params[0]);
  return true;
}

// Func.IsOptional([index]).
void IsOptional(const Func& func, ExprToken** params, int count, ExprToken& result) {
  int64_t index = 0;
  const int declared = func.Expr.MaxParams;
  if (!IndexArgument(params, count, index)) {
    result.SetInteger(declared != func.Expr.MinParams || func.Expr.Variadic ? 1 : 0);
    return;
  }
  if (index < 1 || (index > declared && !func.Expr.Variadic)) return;  // ""
  result.SetInteger(index > func.Expr.MinParams ? 1 : 0);
}

// Func.IsByRef([index]) for script functions.
void IsByRef(const Func& func, ExprToken** params, int count, ExprToken& result) {
  if (func.IsBuiltIn) return;
  int64_t index = 0;
  const int declared = static_cast<int>(func.Params.size());
  if (!IndexArgument(params, count, index)) {
    bool any = false;
    for (const FuncParam& param : func.Params) any = any || param.IsByRef;
    result.SetInteger(any ? 1 : 0);
    return;
  }
  if (index < 1 || (index > declared && !func.IsVariadic)) return;
  if (index > declared) {
    result.SetInteger(0);
    return;
  }
  result.SetInteger(func.Params[static_cast<size_t>(index - 1)].IsByRef ? 1 : 0);
}

// The methods of a Func.
ResultCode CallFuncMember(Func& func, std::wstring_view name, ExprToken& result, ExprToken** args, int count,
                          bool expandLast, bool& handled) {
  handled = true;
  if (name.empty() || EqualsNoCase(name, L"Call")) return CallFunctionChecked(func, result, args, count, expandLast);
  if (EqualsNoCase(name, L"Bind")) {
    result.SetObject(new BoundFunc(&func, ArrayOfTokens(args, count), false));
    return ResultCode::Ok;
  }
  if (EqualsNoCase(name, L"IsOptional") && count <= 1) {
    IsOptional(func, args, count, result);
    return ResultCode::Ok;
  }
  if (EqualsNoCase(name, L"IsByRef") && count <= 1) {
    IsByRef(func, args, count, result);
    return ResultCode::Ok;
  }
  handled = false;
  return ResultCode::Ok;
}

// The few array methods scripts need before the full object model.
bool CallArrayMethod(Object& object, std::wstring_view name, ExprToken& result, ExprToken** args, int count) {
  if (EqualsNoCase(name, L"Length") || EqualsNoCase(name, L"MaxIndex")) {
    const int64_t length = object.ArrayLength();
    if (length > 0 || EqualsNoCase(name, L"Length")) result.SetInteger(length);
    return true;
  }
  if (EqualsNoCase(name, L"Count")) {
    result.SetInteger(static_cast<int64_t>(object.Fields().size()));
    return true;
  }
  if (EqualsNoCase(name, L"HasKey") && count == 1) {
    wchar_t buffer[kFloatTextChars];
    result.SetInteger(object.GetField(ParamText(*args[0], buffer)) ? 1 : 0);
    return true;
  }
  return false;
}

}  // namespace

BoundFunc::BoundFunc(IObject* target, Object* bound, bool callsMethod)
    : target_(target), bound_(bound), callsMethod_(callsMethod) {
  target_->AddRef();
}

BoundFunc::~BoundFunc() {
  target_->Release();
  bound_->Release();
}

ResultCode BoundFunc::Call(ExprToken& result, ExprToken** params, int count) {
  const int64_t boundCount = bound_->ArrayLength();
  std::vector<ExprToken> boundTokens(static_cast<size_t>(boundCount > 0 ? boundCount : 0));
  std::vector<ExprToken*> all;
  for (int64_t key = 1; key <= boundCount; ++key) {
    ExprToken& token = boundTokens[static_cast<size_t>(key - 1)];
    TokenOfField(bound_->GetField(std::to_wstring(key)), token);
    all.push_back(&token);
  }
  all.insert(all.end(), params, params + count);
  bool handled = false;
  ExprToken self;
  self.SetObject(target_);
  if (callsMethod_ && !all.empty()) {
    wchar_t buffer[kFloatTextChars];
    std::wstring method = ParamText(*all[0], buffer);
    all[0] = &self;  // the method name's place becomes "this"
    return CallMethod(target_, method, result, all.data(), static_cast<int>(all.size()), false, handled);
  }
  return CallObject(target_, result, all.data(), static_cast<int>(all.size()), false, handled);
}

ResultCode CallObject(IObject* object, ExprToken& result, ExprToken** params, int count, bool expandLast,
                      bool& handled) {
  handled = true;
  if (Func* func = AsFunc(object)) return CallFunctionChecked(*func, result, params, count, expandLast);
  if (auto* bound = dynamic_cast<BoundFunc*>(object)) return bound->Call(result, params, count);
  handled = false;
  return ResultCode::Ok;
}

ResultCode CallMethod(IObject* target, std::wstring_view name, ExprToken& result, ExprToken** params, int count,
                      bool expandLast, bool& handled) {
  handled = false;
  if (Func* func = AsFunc(target))
    return CallFuncMember(*func, name, result, params + 1, count - 1, expandLast, handled);
  if (auto* bound = dynamic_cast<BoundFunc*>(target)) {
    if (!name.empty() && !EqualsNoCase(name, L"Call")) return ResultCode::Ok;
    handled = true;
    return bound->Call(result, params + 1, count - 1);
  }
  auto* object = dynamic_cast<Object*>(target);
  if (!object) return ResultCode::Ok;
  const FieldValue* field = object->FindInherited(name);
  if (field && field->Type == FieldValue::Kind::Object) {
    // A method: the function gets the object as its first parameter.
    IObject* method = field->Object;
    method->AddRef();
    ResultCode ran = CallObject(method, result, params, count, expandLast, handled);
    method->Release();
    return ran;
  }
  handled = CallArrayMethod(*object, name, result, params + 1, count - 1);
  return ResultCode::Ok;
}

bool GetFunctionProperty(IObject* target, std::wstring_view name, ExprToken& result) {
  Func* func = AsFunc(target);
  if (!func) return false;
  if (EqualsNoCase(name, L"Name")) {
    result.SetText(func->Name);
  } else if (EqualsNoCase(name, L"MinParams")) {
    result.SetInteger(func->Expr.MinParams);
  } else if (EqualsNoCase(name, L"MaxParams")) {
    result.SetInteger(func->Expr.MaxParams);
  } else if (EqualsNoCase(name, L"IsBuiltIn")) {
    result.SetInteger(func->IsBuiltIn ? 1 : 0);
  } else if (EqualsNoCase(name, L"IsVariadic")) {
    result.SetInteger(func->Expr.Variadic ? 1 : 0);
  } else {
    return false;
  }
  return true;
}

ResultCode BifObjBindMethod(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  IObject* target = ObjectOf(*params[0]);
  if (!target) {
    wchar_t buffer[kFloatTextChars];
    target = LookupFunction(ParamText(*params[0], buffer));
  }
  if (!target) return ReportLineError(Script().CurrentLine, kParam1Invalid);
  result.SetObject(new BoundFunc(target, ArrayOfTokens(params + 1, count - 1), true));
  return ResultCode::Ok;
}
