// Member access on VT_ARRAY wrappers: elements by as many integer indexes
// as the array has dimensions, and the methods NewEnum, Clone, MaxIndex and
// MinIndex.
#pragma once
#include "base/result_code.h"
#include "values/expr_token.h"

class ComObject;

// The script face of an array wrapper (called by ComObject::Invoke).
ResultCode InvokeSafeArray(ComObject& array, ExprToken& result, int flags, ExprToken** params, int count);
