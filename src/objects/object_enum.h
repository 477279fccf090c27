// Object::Enumerator: walks an object's fields in their sorted order (integer
// keys ascending, then object keys, then text keys), giving each key and
// value to the For loop's variables. Fields added or removed while it walks
// shift the positions that follow.
#pragma once
#include "values/object.h"

// A new enumerator over `object` (which it references); null when memory
// ran out.
IObject* NewObjectEnumerator(Object& object);
