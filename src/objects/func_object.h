// What scripts can do with function objects and with the methods of their
// own objects: calling a Func or a BoundFunc as a value (%fn%(), fn.Call(),
// fn.()), the Func members (Bind, IsOptional, IsByRef, Name, MinParams,
// MaxParams, IsBuiltIn, IsVariadic), BoundFunc objects, and calling a method
// that an object or one of its bases holds as a Func (with the object as
// "this").
#pragma once
#include <string_view>
#include <vector>

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
  using ObjectBase::Invoke;
  const wchar_t* Type() override { return L"BoundFunc"; }
  // Called as itself, or its Call method.
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;

  // Calls the target with the bound arguments followed by `params`.
  ResultCode Call(ExprToken& result, ExprToken** params, int count);

 private:
  IObject* target_;
  Object* bound_;
  bool callsMethod_;  // bound[1] is a method name to call on the target
};

// The arguments of a call whose last argument ends in "*": the array's
// elements 1..Length take its place. Without "*" the arguments as they are.
class SpreadArguments {
 public:
  SpreadArguments(ExprToken** params, int count, bool expandLast);
  ExprToken** Items() { return items_; }
  int Count() const { return count_; }

 private:
  ExprToken** items_;
  int count_;
  std::vector<ExprToken*> list_;
  std::vector<ExprToken> tokens_;
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
