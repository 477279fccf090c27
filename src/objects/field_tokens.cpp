// Tokens into fields and back.
#include "objects/field_tokens.h"

#include "objects/builtin_functions.h"
#include "values/expr_operators.h"
#include "values/variable.h"

bool StoreToken(ObjectField& field, ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: Object::SetInteger(field, token.ValueInt64); return true;
    case ExprSymbol::Float: Object::SetFloat(field, token.ValueDouble); return true;
    case ExprSymbol::ObjectRef: Object::SetObject(field, token.Object); return true;
    case ExprSymbol::VariableRef: {
      Variable& var = *token.Var->ResolveAlias();
      if (IObject* object = var.ObjectValue()) {
        Object::SetObject(field, object);
        return true;
      }
      const uint8_t attrib = var.Attrib();
      if ((attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && (attrib & VAR_ATTRIB_HAS_VALID_INT64)) {
        Object::SetInteger(field, var.ToInteger(false));
        return true;
      }
      if ((attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE)) {
        Object::SetFloat(field, var.ToFloat(false));
        return true;
      }
      return Object::SetText(field, std::wstring_view(var.TextOf(), var.Length()));
    }
    default: break;
  }
  wchar_t buffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* text = ParamText(token, buffer, &length);
  return Object::SetText(field, std::wstring_view(text, length));
}

FieldValue FieldValueOfToken(ExprToken& token) {
  if (IObject* object = ObjectOf(token)) {
    object->AddRef();
    return FieldValue::OfObject(object);
  }
  ObjectField field;
  field.TextValue = nullptr;
  field.TextCapacity = 0;
  field.Kind = ExprSymbol::Integer;
  field.IntValue = 0;
  if (!StoreToken(field, token)) return FieldValue::OfText(L"");
  FieldValue value = PeekFieldValue(field);
  Object::ClearValue(field);
  if (field.TextCapacity) Object::ResizeText(field, 0);
  return value;
}

void TokenOfField(const ObjectField* field, ExprToken& token) {
  if (!field) {
    token.SetText(L"", ExprSymbol::Omitted);
    return;
  }
  switch (field->Kind) {
    case ExprSymbol::Integer: token.SetInteger(field->IntValue); break;
    case ExprSymbol::Float: token.SetFloat(field->FloatValue); break;
    case ExprSymbol::ObjectRef: token.SetObject(field->ObjectValue); break;
    default: token.SetText(field->TextValue, ExprSymbol::RawWord); break;
  }
}

void ResultOfField(const ObjectField& field, ExprToken& result) {
  switch (field.Kind) {
    case ExprSymbol::Integer: result.SetInteger(field.IntValue); return;
    case ExprSymbol::Float: result.SetFloat(field.FloatValue); return;
    case ExprSymbol::ObjectRef:
      field.ObjectValue->AddRef();
      result.SetObject(field.ObjectValue);
      return;
    default:
      if (field.TextValue[0]) SetResultText(result, field.TextValue);
      return;
  }
}

void ResultOfKey(const Object& object, size_t position, ExprToken& result) {
  const ObjectField& field = object.FieldAt(position);
  switch (object.KeyKindAt(position)) {
    case KeyKind::Integer: result.SetInteger(field.IntKey); return;
    case KeyKind::Object:
      field.ObjectKey->AddRef();
      result.SetObject(field.ObjectKey);
      return;
    case KeyKind::Text: SetResultText(result, field.TextKey); return;
  }
}

Object* ArrayOfTokens(ExprToken** params, int count) {
  Object* array = Object::Create();
  if (!array) return nullptr;
  array->SetCapacity(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (params[i]->Symbol == ExprSymbol::Omitted) continue;
    if (ObjectField* field = array->FieldFor(ObjectKey::OfInteger(i + 1))) StoreToken(*field, *params[i]);
  }
  return array;
}
