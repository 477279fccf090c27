// The script face of Object (member get, set and call with meta-functions,
// properties, base objects, built-in methods and multi-level keys), the
// default base object every non-object value is invoked through, and the
// __Delete call when an object's last reference goes.
#pragma once
#include "base/result_code.h"
#include "values/expr_token.h"
#include "values/object.h"

// Carries out one request on an Object (the body of Object::Invoke).
ResultCode InvokeObject(Object& object, ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params,
                        int count);

// The default base of every value that is not an object.
Object& MetaObject();
// Removes the members scripts gave the default base.
void ClearMetaObject();

// Releases what a result token holds (an object reference or heap text) and
// makes it the empty string.
void ReleaseResult(ExprToken& result);

// Makes Object::Invoke and Object::Delete do the above.
void InstallObjectInvoke();
