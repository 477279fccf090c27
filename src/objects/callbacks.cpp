// Running labels and function objects as callbacks.
#include "objects/callbacks.h"

#include "base/script_line.h"
#include "exec/run_lines.h"
#include "objects/builtin_functions.h"
#include "objects/func.h"
#include "objects/func_object.h"
#include "values/expr_operators.h"
#include "values/variable.h"

void ScriptCallback::SetLabel(Label* label) {
  Clear();
  label_ = label;
}

void ScriptCallback::SetObject(IObject* object) {
  if (object) object->AddRef();
  Clear();
  object_ = object;
}

void ScriptCallback::Clear() {
  if (object_) object_->Release();
  object_ = nullptr;
  label_ = nullptr;
}

ScriptLine* ScriptCallback::FirstLine() const {
  if (label_) return label_->MarkedLine;
  Func* func = AsFunc(object_);
  return func && !func->IsBuiltIn ? func->Body : nullptr;
}

std::wstring_view ScriptCallback::Name() const {
  if (label_) return label_->Name;
  if (Func* func = AsFunc(object_)) return func->Name;
  return object_ ? object_->Type() : L"";
}

ResultCode ScriptCallback::Run(ExprToken** params, int count, ExprToken* result) const {
  // A label gives no value: the caller reads an empty result.
  if (result) {
    result->SetText(L"");
    result->HeapText = nullptr;
  }
  if (label_) {
    if (!label_->MarkedLine) return ResultCode::Ok;
    ScriptLine* jump = nullptr;
    ResultCode ran = RunLines(label_->MarkedLine, RunMode::UntilReturn, jump);
    return ran == ResultCode::Returned ? ResultCode::Ok : ran;
  }
  if (!object_) return ResultCode::Ok;
  ExprToken ignored;
  ExprToken& target = result ? *result : ignored;
  target.SetText(L"");
  target.HeapText = nullptr;
  bool handled = false;
  object_->AddRef();  // the callback may remove itself while it runs
  ResultCode ran = CallObject(object_, target, params, count, false, handled);
  object_->Release();
  if (!result) TakeCallbackResultTruth(target);
  return ran;
}

bool TakeCallbackResultTruth(ExprToken& result) {
  bool truth = false;
  switch (result.Symbol) {
    case ExprSymbol::ObjectRef:
      truth = true;
      result.Object->Release();
      break;
    case ExprSymbol::Integer: truth = result.ValueInt64 != 0; break;
    case ExprSymbol::Float: truth = result.ValueDouble != 0.0; break;
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
      truth = TextIsTrue(result.Text ? result.Text : L"");
      if (result.HeapText) FreeVarHeap(result.HeapText);
      break;
    default: break;
  }
  result.SetText(L"");
  result.HeapText = nullptr;
  return truth;
}

IObject* CallableOfToken(ExprToken& token, Func*& func) {
  func = nullptr;
  if (IObject* object = ObjectOf(token)) {
    func = AsFunc(object);
    return object;
  }
  wchar_t buffer[kFloatTextChars];
  func = LookupFunction(ParamText(token, buffer));
  return func;
}
