// Field get/set and object literals on Object.
#include "objects/object_ops.h"

#include <string>

#include "app/thread_settings.h"
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

// x.name / x[name]: the field's value, or "" when x is no object or lacks it.
ResultCode MemberGet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetText(L"");
  Object* object = count >= 2 ? ObjectIn(*params[0]) : nullptr;
  if (!object) return ResultCode::Ok;
  const FieldValue* field = object->GetField(TextOfToken(*params[1]));
  if (field) SetResult(result, *field);
  return ResultCode::Ok;
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

// {key: value, ...}: a new object with those fields in order.
ResultCode ObjectLiteral(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  Object* object = Object::Create();
  for (int i = 0; i + 1 < count; i += 2) object->SetField(TextOfToken(*params[i]), ValueOfToken(*params[i + 1]));
  result.SetObject(object);
  return ResultCode::Ok;
}

// Which implementation an operator function gets.
ExprCallFunction ImplementationOf(const ExprFunc& func) {
  if (&func == &g_ExprMemberGet) return MemberGet;
  if (&func == &g_ExprMemberSet) return MemberSet;
  if (func.OperatorCode == EXPR_OP_NONE && func.Name && std::wstring_view(func.Name) == L"Object") return ObjectLiteral;
  return nullptr;
}

}  // namespace

void InstallObjectOperations() { g_ObjectCallHook = ImplementationOf; }
