// Field get/set and object literals on Object.
#include "objects/object_ops.h"

#include <string>
#include <vector>

#include "app/thread_settings.h"
#include "objects/func_object.h"
#include "objects/object.h"
#include "values/expr_compiler.h"
#include "values/expr_eval.h"
#include "values/numeric_text.h"
#include "values/variable.h"

namespace {

// The script object a token holds, itself or through its variable; null
// for anything else (and for objects of other kinds).
Object* ObjectIn(const ExprToken& token) {
  IObject* object = nullptr;
  if (token.Symbol == ExprSymbol::ObjectRef) object = token.Object;
  if (token.Symbol == ExprSymbol::VariableRef) object = token.Var->ObjectValue();
  return dynamic_cast<Object*>(object);
}

// The text form of a parameter token.
std::wstring TextOfToken(const ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return std::to_wstring(token.ValueInt64);
    case ExprSymbol::Float: {
      wchar_t buffer[kFloatTextMaxChars];
      FloatToText(token.ValueDouble, buffer, kFloatTextMaxChars, g_CurrentThread->FloatFormatText);
      return buffer;
    }
    case ExprSymbol::VariableRef: return token.Var->HasObject() ? std::wstring() : std::wstring(token.Var->TextOf());
    case ExprSymbol::String:
    case ExprSymbol::RawWord: return token.Text ? token.Text : L"";
    default: return std::wstring();
  }
}

// A parameter token as a field value; objects gain a reference.
FieldValue ValueOfToken(const ExprToken& token) {
  FieldValue value;
  if (token.Symbol == ExprSymbol::Integer) return FieldValue::OfInteger(token.ValueInt64);
  if (token.Symbol == ExprSymbol::Float) {
    value.Type = FieldValue::Kind::Float;
    value.Float = token.ValueDouble;
    return value;
  }
  IObject* object = token.Symbol == ExprSymbol::ObjectRef ? token.Object
                    : token.Symbol == ExprSymbol::VariableRef ? token.Var->ObjectValue()
                                                              : nullptr;
  if (object) {
    object->AddRef();
    value.Type = FieldValue::Kind::Object;
    value.Object = object;
    return value;
  }
  return FieldValue::OfText(TextOfToken(token));
}

// Puts a field's value in the result token. Text is copied into heap memory
// the evaluator takes over, since the field may change before it is used.
void SetResult(ExprToken& result, const FieldValue& value) {
  switch (value.Type) {
    case FieldValue::Kind::Integer: result.SetInteger(value.Integer); return;
    case FieldValue::Kind::Float: result.SetFloat(value.Float); return;
    case FieldValue::Kind::Object:
      value.Object->AddRef();
      result.SetObject(value.Object);
      return;
    case FieldValue::Kind::Text: break;
  }
  auto* copy = static_cast<wchar_t*>(AllocVarHeap((value.Text.size() + 1) * sizeof(wchar_t)));
  if (!copy) {
    result.SetText(L"");
    return;
  }
  value.Text.copy(copy, value.Text.size());
  copy[value.Text.size()] = L'\0';
  result.SetText(copy, ExprSymbol::String);
  result.HeapText = copy;
}

// x.name / x[name]: the field's value (its own or a base's), a function
// object's property, or "" when x has no such member.
ResultCode MemberGet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetText(L"");
  if (count < 2) return ResultCode::Ok;
  const std::wstring name = TextOfToken(*params[1]);
  if (Object* object = ObjectIn(*params[0])) {
    if (const FieldValue* field = object->FindInherited(name)) SetResult(result, *field);
    return ResultCode::Ok;
  }
  IObject* other = params[0]->Symbol == ExprSymbol::ObjectRef    ? params[0]->Object
                   : params[0]->Symbol == ExprSymbol::VariableRef ? params[0]->Var->ObjectValue()
                                                                  : nullptr;
  if (other) GetFunctionProperty(other, name, result);
  return ResultCode::Ok;
}

// x.name(args...) and x[name](args...): a method of the object, or "" when
// it has none.
ResultCode MethodCall(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  result.SetText(L"");
  if (count < 2) return ResultCode::Ok;
  IObject* target = params[0]->Symbol == ExprSymbol::ObjectRef    ? params[0]->Object
                    : params[0]->Symbol == ExprSymbol::VariableRef ? params[0]->Var->ObjectValue()
                                                                   : nullptr;
  if (!target) return ResultCode::Ok;
  const std::wstring name = params[1]->Symbol == ExprSymbol::Omitted ? std::wstring() : TextOfToken(*params[1]);
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
  Object* object = count >= 3 ? ObjectIn(*params[0]) : nullptr;
  if (!object) return ResultCode::Ok;
  FieldValue value = ValueOfToken(*params[count - 1]);
  object->SetField(TextOfToken(*params[1]), value);
  SetResult(result, value);
  if (value.Type == FieldValue::Kind::Object) value.Object->Release();  // the field holds its own reference
  return ResultCode::Ok;
}

// Which implementation an operator function gets.
ExprCallFunction ImplementationOf(const ExprFunc& func) {
  if (&func == &g_ExprMemberGet) return MemberGet;
  if (&func == &g_ExprMemberSet) return MemberSet;
  if (&func == &g_ExprMethodCall) return MethodCall;
  return nullptr;
}

// %fn%(...) where fn holds an object: calls it when it is callable.
ResultCode CallObjectValue(IObject* object, ExprToken& result, ExprToken** params, int count, bool expandLast,
                           bool& handled) {
  return CallObject(object, result, params, count, expandLast, handled);
}

}  // namespace

void InstallObjectOperations() {
  g_ObjectCallHook = ImplementationOf;
  g_CallObjectHook = CallObjectValue;
}
