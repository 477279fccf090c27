// Moving values between expression tokens and object fields: what storing a
// token in a field keeps, how a field or a key is read back into a token,
// and the array made from a list of arguments.
#pragma once
#include "values/expr_token.h"
#include "values/object.h"

// Stores a token in a field by the assignment rules: numbers stay numbers
// (a variable holding a number it has no text for gives that number), an
// object gains a reference, anything else is copied as text. False when
// memory for the text ran out (the field is then empty).
bool StoreToken(ObjectField& field, ExprToken& token);

// A token as a FieldValue (the object gains a reference the value owns).
FieldValue FieldValueOfToken(ExprToken& token);

// A field's value as a token that points into the field (valid while the
// object keeps it unchanged); a missing field gives an Omitted token.
void TokenOfField(const ObjectField* field, ExprToken& token);

// A field's value as a call's result: an object gains a reference and text
// is copied into a heap block the caller frees, since the field may change
// before the result is used.
void ResultOfField(const ObjectField& field, ExprToken& result);

// The key of the field at a position as a result (an object gains a
// reference, text is copied).
void ResultOfKey(const Object& object, size_t position, ExprToken& result);

// A new array holding the arguments under keys 1, 2, ... (an omitted
// argument leaves its key out). The caller owns the reference; null when
// memory ran out.
Object* ArrayOfTokens(ExprToken** params, int count);
