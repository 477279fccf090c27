// The built-in methods of Object (Push, Pop, InsertAt, RemoveAt, Delete,
// Remove, Insert, Length, Count, MinIndex, MaxIndex, HasKey, GetCapacity,
// SetCapacity, GetAddress, NewEnum, Clone) found by name, and the shallow
// copy Clone makes. The Obj... functions run the same methods.
#pragma once
#include <string_view>

#include "base/result_code.h"
#include "values/expr_token.h"
#include "values/object.h"

namespace obj_msg {
inline constexpr wchar_t kParam1Invalid[] = L"Parameter #1 invalid.";
inline constexpr wchar_t kParam2Invalid[] = L"Parameter #2 invalid.";
}  // namespace obj_msg

// A built-in method: `args` are the parameters after the method name.
struct ObjectMethod {
  const wchar_t* Name;
  bool AllowsUnderscore;  // also answers to "_" + name
  ResultCode (*Run)(Object& object, ExprToken& result, ExprToken** args, int count);
};

// The method of that name (any case; "_" + name where allowed), or null.
const ObjectMethod* FindObjectMethod(std::wstring_view name);

// A shallow copy: the same keys and values (objects shared with a new
// reference, text copied) and the same base; null when memory ran out.
Object* CloneObject(Object& source);
