// What the script gives to be called later: a label, or a function object
// (a Func, a BoundFunc, any callable object). Timers, OnExit, OnError and
// OnMessage keep their targets as ScriptCallbacks.
//
// Invariant: a callback holding an object holds one reference to it, taken
// by Set and given back by Clear.
#pragma once
#include <string_view>

#include "base/result_code.h"
#include "values/expr_token.h"

struct Label;
struct ScriptLine;
class IObject;
class Func;

class ScriptCallback {
 public:
  ScriptCallback() = default;
  ScriptCallback(const ScriptCallback&) = delete;
  ScriptCallback& operator=(const ScriptCallback&) = delete;
  ~ScriptCallback() { Clear(); }

  void SetLabel(Label* label);
  void SetObject(IObject* object);  // adds a reference
  void Clear();

  bool IsSet() const { return label_ || object_; }
  bool Is(const Label* label, const IObject* object) const { return label_ == label && object_ == object; }
  Label* TargetLabel() const { return label_; }
  IObject* TargetObject() const { return object_; }
  // The label's or script function's first line (null for other objects),
  // so that a thread can start critical when that line is Critical.
  ScriptLine* FirstLine() const;
  // The name the key-history view shows.
  std::wstring_view Name() const;

  // Runs the callback in the current thread: a label as a subroutine, an
  // object called with the parameters. `result` (may be null) receives the
  // function's value; the caller releases an object or heap text in it.
  ResultCode Run(ExprToken** params, int count, ExprToken* result) const;

 private:
  Label* label_ = nullptr;
  IObject* object_ = nullptr;
};

// Whether a value returned by a callback counts as true (and the caller's
// release of what it holds).
bool TakeCallbackResultTruth(ExprToken& result);

// The callable an argument stands for: an object, or the function a text
// names; null when neither. `func` is set when it is a script or built-in
// function.
IObject* CallableOfToken(ExprToken& token, Func*& func);
