// Member access and method calls on script objects.
#include "objects/object_ops.h"

#include <string>
#include <vector>

#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/func_object.h"
#include "values/expr_compiler.h"
#include "values/expr_eval.h"
#include "values/expr_operators.h"
#include "values/object.h"
#include "values/values_state.h"

namespace {

// A key or member name: the token's text.
std::wstring KeyOfToken(ExprToken& token) {
  wchar_t buffer[kFloatTextChars];
  return ParamText(token, buffer);
}

// x.name / x[name]: the field's value (its own or a base's), a function
// object's property, or "" when x has no such member.
ResultCode MemberGet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetText(L"");
  if (count < 2) return ResultCode::Ok;
  IObject* target = ObjectOf(*params[0]);
  if (!target) return ResultCode::Ok;
  const std::wstring name = KeyOfToken(*params[1]);
  if (auto* object = dynamic_cast<Object*>(target)) {
    if (const FieldValue* field = object->FindInherited(name)) ResultOfField(*field, result);
    return ResultCode::Ok;
  }
  GetFunctionProperty(target, name, result);
  return ResultCode::Ok;
}

// x.name(args...) and x[name](args...): a method of the object, or "" when
// it has none.
ResultCode MethodCall(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  result.SetText(L"");
  if (count < 2) return ResultCode::Ok;
  IObject* target = ObjectOf(*params[0]);
  if (!target) return ResultCode::Ok;
  const std::wstring name = KeyOfToken(*params[1]);
  std::vector<ExprToken*> args;
  args.reserve(static_cast<size_t>(count - 1));
  args.push_back(params[0]);
  args.insert(args.end(), params + 2, params + count);
  bool handled = false;
  return CallMethod(target, name, result, args.data(), static_cast<int>(args.size()), expandLast, handled);
}

// x.name := value: stores the field; the result is the value.
ResultCode MemberSet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetText(L"");
  auto* object = count >= 3 ? dynamic_cast<Object*>(ObjectOf(*params[0])) : nullptr;
  if (!object) return ResultCode::Ok;
  FieldValue value = FieldValueOfToken(*params[count - 1]);
  ResultOfField(value, result);  // before the field takes the value over
  object->SetField(KeyOfToken(*params[1]), std::move(value));
  return ResultCode::Ok;
}

// Which implementation an operator function gets.
ExprCallFunction ImplementationOf(const ExprFunc& func) {
  if (&func == &g_ExprMemberGet) return MemberGet;
  if (&func == &g_ExprMemberSet) return MemberSet;
  if (&func == &g_ExprMethodCall) return MethodCall;
  return nullptr;
}

}  // namespace

void InstallObjectOperations() {
  Values().ObjectCall = ImplementationOf;
  Values().CallObject = CallObject;
}
