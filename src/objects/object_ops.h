// Member access, method calls, "new" and member increments as the
// expression evaluator runs them, and object creation.
#pragma once
#include "base/result_code.h"
#include "values/expr_token.h"
#include "values/object.h"

// new C(args...): a new Object whose base is the class, its __Init and then
// its __New run; a non-empty value __New returns replaces the object.
ResultCode NewInstance(IObject& classObject, ExprToken& result, ExprToken** args, int count);

// Makes the evaluator's operator functions and object calls use the above.
void InstallObjectOperations();
