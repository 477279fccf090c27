// Tokens into fields and back.
#include "objects/field_tokens.h"

#include "objects/builtin_functions.h"
#include "values/variable.h"

FieldValue FieldValueOfToken(ExprToken& token) {
  FieldValue value;
  switch (token.Symbol) {
    case ExprSymbol::Integer: return FieldValue::OfInteger(token.ValueInt64);
    case ExprSymbol::Float:
      value.Type = FieldValue::Kind::Float;
      value.Float = token.ValueDouble;
      return value;
    case ExprSymbol::ObjectRef:
      token.Object->AddRef();
      value.Type = FieldValue::Kind::Object;
      value.Object = token.Object;
      return value;
    case ExprSymbol::VariableRef: {
      Variable& var = *token.Var->ResolveAlias();
      if (IObject* object = var.ObjectValue()) {
        object->AddRef();
        value.Type = FieldValue::Kind::Object;
        value.Object = object;
        return value;
      }
      const uint8_t attrib = var.Attrib();
      if ((attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && (attrib & VAR_ATTRIB_HAS_VALID_INT64))
        return FieldValue::OfInteger(var.ToInteger(false));
      if ((attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && (attrib & VAR_ATTRIB_HAS_VALID_DOUBLE)) {
        value.Type = FieldValue::Kind::Float;
        value.Float = var.ToFloat(false);
        return value;
      }
      return FieldValue::OfText(var.TextOf());
    }
    default: break;
  }
  wchar_t buffer[kFloatTextChars];
  return FieldValue::OfText(ParamText(token, buffer));
}

void TokenOfField(const FieldValue* field, ExprToken& token) {
  if (!field) {
    token.SetText(L"", ExprSymbol::Omitted);
    return;
  }
  switch (field->Type) {
    case FieldValue::Kind::Integer: token.SetInteger(field->Integer); break;
    case FieldValue::Kind::Float: token.SetFloat(field->Float); break;
    case FieldValue::Kind::Object: token.SetObject(field->Object); break;
    case FieldValue::Kind::Text: token.SetText(field->Text.c_str(), ExprSymbol::RawWord); break;
  }
}

void ResultOfField(const FieldValue& field, ExprToken& result) {
  switch (field.Type) {
    case FieldValue::Kind::Integer: result.SetInteger(field.Integer); return;
    case FieldValue::Kind::Float: result.SetFloat(field.Float); return;
    case FieldValue::Kind::Object:
      field.Object->AddRef();
      result.SetObject(field.Object);
      return;
    case FieldValue::Kind::Text: SetResultText(result, field.Text); return;
  }
}

Object* ArrayOfTokens(ExprToken** params, int count) {
  Object* array = Object::Create();
  for (int i = 0; i < count; ++i)
    if (params[i]->Symbol != ExprSymbol::Omitted) array->SetItem(i + 1, FieldValueOfToken(*params[i]));
  return array;
}
