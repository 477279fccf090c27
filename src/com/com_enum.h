// The enumerators For loops use on COM values: ComEnum walks an
// IEnumVARIANT (a collection's _NewEnum), ComArrayEnum walks the elements
// of a one-dimensional SAFEARRAY in place. Both give the element first and
// its VARTYPE second.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include "values/object.h"

class ComObject;

// An enumerator over `items`, whose reference it takes over.
IObject* NewComEnum(IEnumVARIANT* items);

// An enumerator over a one-dimensional array wrapper (which it references);
// null with `code` set when the array's data cannot be reached.
IObject* NewComArrayEnum(ComObject& array, HRESULT& code);
