// Property: what a class stores under a property's name, pairing the
// accessor methods that run when the property is read or assigned.
//
// Invariants: the accessors are Funcs made while loading, which live until
// the program ends, so the property holds them without references; either
// may be null (a property with only a getter, or with neither yet).
#pragma once
#include "values/object.h"

class Func;

class Property : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  Property() : ObjectBase(ObjectTag::Property) {}
  const wchar_t* Type() override { return L"Property"; }
  // Called as itself: the getter; the members Get and Set read, replace or
  // call an accessor.
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;

  Func* Getter = nullptr;  // "Class.Name.Get", or null
  Func* Setter = nullptr;  // "Class.Name.Set", or null
};
