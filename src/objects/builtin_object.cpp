// The object-making built-in functions that literals compile to: Array and
// Object, and IsObject.
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "values/expr_operators.h"
#include "values/object.h"

namespace {

// Array(values...): a new array with the values under keys 1, 2, ...
ResultCode BifArray(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetObject(ArrayOfTokens(params, count));
  return ResultCode::Ok;
}

// Object(key, value, ...): a new object with those fields.
ResultCode BifObject(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  Object* object = Object::Create();
  wchar_t buffer[kFloatTextChars];
  for (int i = 0; i + 1 < count; i += 2)
    object->SetField(ParamText(*params[i], buffer), FieldValueOfToken(*params[i + 1]));
  result.SetObject(object);
  return ResultCode::Ok;
}

// IsObject(values...): 1 when every argument is an object.
ResultCode BifIsObject(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  bool all = true;
  for (int i = 0; i < count && all; ++i) all = ObjectOf(*params[i]) != nullptr;
  result.SetInteger(all ? 1 : 0);
  return ResultCode::Ok;
}

const BuiltInFunctionDef kObjectFunctions[] = {
    {L"Array", 0, kUnlimitedParams, BifArray},
    {L"Object", 0, kUnlimitedParams, BifObject},
    {L"IsObject", 1, kUnlimitedParams, BifIsObject},
};

}  // namespace

BuiltInFamily ObjectFunctions() { return {kObjectFunctions, sizeof(kObjectFunctions) / sizeof(kObjectFunctions[0])}; }
