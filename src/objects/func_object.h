// What scripts can do with function objects and with the methods of their
// own objects: calling a Func or a BoundFunc as a value (%fn%(), fn.Call(),
// fn.()), the Func members (Bind, IsOptional, IsByRef, Name, MinParams,
// MaxParams, IsBuiltIn, IsVariadic), BoundFunc objects, and calling a method
// that an object or one of its bases holds as a Func (with the object as
// "this").
#pragma once
#include <string_view>

#include "base/result_code.h"
#include "values/expr_token.h"
#include "values/object.h"

class Func;

// A function with arguments bound in front of the call's own.
class BoundFunc : public ObjectBase {
 public:
  // Takes over one reference to `bound`; adds one to `target`.
  BoundFunc(IObject* target, Object* bound, bool callsMethod);
  ~BoundFunc() override;
  const wchar_t* TypeName() const override { return L"BoundFunc"; }

  // Calls the target with the bound arguments followed by `params`.
  ResultCode Call(ExprToken& result, ExprToken** params, int count);

 private:
  IObject* target_;
  Object* bound_;
  bool callsMethod_;  // bound[1] is a method name to call on the target
};

// Calls an object as a function. `handled` is false when the object cannot
// be called (then nothing ran).
ResultCode CallObject(IObject* object, ExprToken& result, ExprToken** params, int count, bool expandLast,
                      bool& handled);

// target.name(params...): `params[0]` is the target itself (it becomes
// "this" of a script method). `handled` is false when no such method exists.
ResultCode CallMethod(IObject* target, std::wstring_view name, ExprToken& result, ExprToken** params, int count,
                      bool expandLast, bool& handled);

// target.name for the members objects other than plain Objects have; false
// when there is no such member.
bool GetFunctionProperty(IObject* target, std::wstring_view name, ExprToken& result);

// ObjBindMethod(object, method, args...): a BoundFunc that calls the method.
ResultCode BifObjBindMethod(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool);
