// Property objects called as themselves or through their Get and Set members.
#include "objects/property.h"

#include "objects/builtin_functions.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "values/expr_operators.h"

ResultCode Property::Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) {
  const int kind = InvokeKindOf(flags);
  if (flags & IF_FUNCOBJ) {
    Func* accessor = kind == IT_SET ? Setter : Getter;
    if (!accessor) return ResultCode::NotHandled;
    return CallFunctionChecked(*accessor, result, params, count, false);
  }
  if (count < 1) return ResultCode::NotHandled;
  wchar_t buffer[kFloatTextChars];
  const wchar_t* name = ParamText(*params[0], buffer);
  const bool getter = EqualsNoCase(name, L"Get");
  if (!getter && !EqualsNoCase(name, L"Set")) return ResultCode::NotHandled;
  Func*& accessor = getter ? Getter : Setter;
  switch (kind) {
    case IT_GET:
      if (accessor) result.SetObject(accessor);  // a Func's count is ignored
      return ResultCode::Ok;
    case IT_SET: {
      ExprToken& value = *params[count - 1];
      IObject* object = ObjectOf(value);
      wchar_t valueBuffer[kFloatTextChars];
      accessor = object ? AsFunc(object) : LookupFunction(ParamText(value, valueBuffer));
      if (accessor) result.SetObject(accessor);
      return ResultCode::Ok;
    }
    default:
      if (!accessor) return ResultCode::NotHandled;
      return CallFunctionChecked(*accessor, result, params + 1, count - 1, false);
  }
}
