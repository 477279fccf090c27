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
#include "objects/param_list.h"
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

}  // namespace

ResultCode Func::Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) {
  if (flags & IF_FUNCOBJ) return CallFunctionChecked(*this, result, params, count, false);
  if (count < 1) return ResultCode::NotHandled;
  wchar_t buffer[kFloatTextChars];
  const std::wstring name = params[0]->Symbol == ExprSymbol::Omitted ? std::wstring() : ParamText(*params[0], buffer);
  if (InvokeKindOf(flags) == IT_GET)
    return GetFunctionProperty(this, name, result) ? ResultCode::Ok : ResultCode::NotHandled;
  if (InvokeKindOf(flags) != IT_CALL) return ResultCode::NotHandled;
  bool handled = false;
  ResultCode ran = CallFuncMember(*this, name, result, params + 1, count - 1, false, handled);
  return handled ? ran : ResultCode::NotHandled;
}

BoundFunc::BoundFunc(IObject* target, Object* bound, bool callsMethod)
    : target_(target), bound_(bound), callsMethod_(callsMethod) {
  target_->AddRef();
}

BoundFunc::~BoundFunc() {
  target_->Release();
  bound_->Release();
}

ResultCode BoundFunc::Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) {
  if (flags & IF_FUNCOBJ) return Call(result, params, count);
  if (InvokeKindOf(flags) != IT_CALL || count < 1) return ResultCode::NotHandled;
  wchar_t buffer[kFloatTextChars];
  const wchar_t* name = params[0]->Symbol == ExprSymbol::Omitted ? L"" : ParamText(*params[0], buffer);
  if (*name && !EqualsNoCase(name, L"Call")) return ResultCode::NotHandled;
  return Call(result, params + 1, count - 1);
}

ResultCode BoundFunc::Call(ExprToken& result, ExprToken** params, int count) {
  const int64_t boundCount = bound_->ArrayLength();
  std::vector<ExprToken> boundTokens(static_cast<size_t>(boundCount > 0 ? boundCount : 0));
  std::vector<ExprToken*> all;
  for (int64_t key = 1; key <= boundCount; ++key) {
    ExprToken& token = boundTokens[static_cast<size_t>(key - 1)];
    TokenOfField(bound_->FindField(ObjectKey::OfInteger(key)), token);
    all.push_back(&token);
  }
  all.insert(all.end(), params, params + count);
  bool handled = false;
  if (callsMethod_ && !all.empty()) {
    wchar_t buffer[kFloatTextChars];
    std::wstring method = ParamText(*all[0], buffer);
    ExprToken self;
    self.SetObject(target_);
    all[0] = &self;  // the method name's place becomes "this"
    return CallMethod(target_, method, result, all.data(), static_cast<int>(all.size()), false, handled);
  }
  return CallObject(target_, result, all.data(), static_cast<int>(all.size()), false, handled);
}

ResultCode CallObject(IObject* object, ExprToken& result, ExprToken** params, int count, bool expandLast,
                      bool& handled) {
  handled = true;
  if (Func* func = AsFunc(object)) return CallFunctionChecked(*func, result, params, count, expandLast);
  SpreadArguments spread(params, count, expandLast);
  ExprToken self;
  self.SetObject(object);
  object->AddRef();
  ResultCode ran = object->Invoke(result, self, IT_CALL | IF_FUNCOBJ, spread.Items(), spread.Count());
  object->Release();
  if (ran == ResultCode::NotHandled) {
    handled = false;
    return ResultCode::Ok;
  }
  return ran == ResultCode::Returned ? ResultCode::Ok : ran;
}

ResultCode CallMethod(IObject* target, std::wstring_view name, ExprToken& result, ExprToken** params, int count,
                      bool expandLast, bool& handled) {
  SpreadArguments spread(params + 1, count - 1, expandLast);
  ExprToken nameToken;
  const std::wstring nameText(name);
  nameToken.SetText(nameText.c_str());
  ParamList list;
  list.Push(&nameToken);
  list.Append(spread.Items(), spread.Count());
  ExprToken self;
  self.SetObject(target);
  target->AddRef();
  ResultCode ran = target->Invoke(result, self, IT_CALL | IF_METAFUNC, list.Data(), list.Count());
  target->Release();
  handled = ran != ResultCode::NotHandled;
  if (!handled || ran == ResultCode::Returned) return ResultCode::Ok;
  return ran;
}

SpreadArguments::SpreadArguments(ExprToken** params, int count, bool expandLast) : items_(params), count_(count) {
  if (!expandLast || count < 1) return;
  list_.assign(params, params + count - 1);
  auto* array = dynamic_cast<Object*>(ObjectOf(*params[count - 1]));
  const int64_t length = array ? array->ArrayLength() : 0;
  tokens_.resize(static_cast<size_t>(length > 0 ? length : 0));
  for (int64_t key = 1; key <= length; ++key) {
    ExprToken& token = tokens_[static_cast<size_t>(key - 1)];
    TokenOfField(array->FindField(ObjectKey::OfInteger(key)), token);
    list_.push_back(&token);
  }
  items_ = list_.data();
  count_ = static_cast<int>(list_.size());
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
  Object* bound = ArrayOfTokens(params + 1, count - 1);
  if (!bound) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  result.SetObject(new BoundFunc(target, bound, true));
  return ResultCode::Ok;
}
