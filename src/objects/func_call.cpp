// Calling script functions.
#include "objects/func_call.h"

#include <windows.h>

#include <cwchar>
#include <forward_list>
#include <string>
#include <vector>

#include "base/portability.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/command_args.h"
#include "exec/errors.h"
#include "exec/run_lines.h"
#include "objects/builtin_functions.h"
#include "objects/field_tokens.h"
#include "objects/func.h"
#include "objects/objects_state.h"
#include "values/expr_eval.h"
#include "values/expr_operators.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Native stack a call must leave free for the lines it runs and for the
// error report that stops a runaway recursion.
constexpr uintptr_t kStackReserveBytes = 256 * 1024;

// The lowest address reserved for the script thread's stack, read once.
uintptr_t StackFloor() {
  static const uintptr_t floor = [] {
    MEMORY_BASIC_INFORMATION region = {};
    volatile char marker = 0;
    VirtualQuery(const_cast<char*>(&marker), &region, sizeof(region));
    return reinterpret_cast<uintptr_t>(region.AllocationBase);
  }();
  return floor;
}

// The arguments of one call. Usually they are the caller's tokens as they
// are; a variadic call's array spread out, or variables replaced by their
// values, make a list of their own. Nothing is allocated unless one of those
// happens, since most calls need neither.
class CallArguments {
 public:
  CallArguments(ExprToken** params, int count) : items_(params), count_(count) {}

  // Spreads the last argument's integer keys; remembers an array with other
  // keys as the source of named arguments.
  void Expand() {
    ExprToken* last = items_[count_ - 1];
    MakeOwnList();
    list_.pop_back();
    Object* array = dynamic_cast<Object*>(ObjectOf(*last));
    if (array) {
      const int64_t length = array->ArrayLength();
      for (int64_t key = 1; key <= length; ++key) {
        ExprToken& token = NewToken();
        TokenOfField(array->FindField(ObjectKey::OfInteger(key)), token);
        list_.push_back(&token);
      }
      if (array->FieldCount() > array->IntegerKeyCount()) named_ = array;
    }
    items_ = list_.data();
    count_ = static_cast<int>(list_.size());
  }

  int Count() const { return count_; }
  ExprToken& operator[](int i) { return *items_[i]; }
  bool Given(int i) const { return i < count_ && items_[i]->Symbol != ExprSymbol::Omitted; }
  Object* Named() const { return named_; }

  // The token a named argument supplies for a parameter, or null.
  ExprToken* NamedValue(const wchar_t* name) {
    if (!named_) return nullptr;
    const ObjectField* field = named_->GetField(name);
    if (!field) return nullptr;
    ExprToken& token = NewToken();
    TokenOfField(field, token);
    return &token;
  }

  // Replaces variables by their values (or, for ByRef parameters, by the
  // variables they stand for), so that emptying the function's locals for a
  // recursive call does not empty or unbind the arguments.
  void TakeValuesOfVariables(const Func& func) {
    for (int i = 0; i < count_; ++i) {
      if (items_[i]->Symbol != ExprSymbol::VariableRef) continue;
      MakeOwnList();
      if (static_cast<size_t>(i) < func.Params.size() && func.Params[static_cast<size_t>(i)].IsByRef) {
        // The caller's variable may be this function's own ByRef parameter,
        // about to be set aside: bind to what it stands for instead.
        ExprToken& target = NewToken();
        target.SetVariable(list_[static_cast<size_t>(i)]->Var->ResolveAlias());
        list_[static_cast<size_t>(i)] = &target;
        continue;
      }
      Variable& var = *list_[static_cast<size_t>(i)]->Var->ResolveAlias();
      ExprToken& value = NewToken();
      if (IObject* object = var.ObjectValue()) {
        object->AddRef();
        heldObjects_.push_back(object);
        value.SetObject(object);
      } else if ((var.Attrib() & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && (var.Attrib() & VAR_ATTRIB_HAS_VALID_INT64)) {
        value.SetInteger(var.ToInteger(false));
      } else if ((var.Attrib() & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) && (var.Attrib() & VAR_ATTRIB_HAS_VALID_DOUBLE)) {
        value.SetFloat(var.ToFloat(false));
      } else {
        texts_.emplace_front(var.TextOf());
        value.SetText(texts_.front().c_str(), ExprSymbol::RawWord);
      }
      list_[static_cast<size_t>(i)] = &value;
    }
  }

  ~CallArguments() {
    for (IObject* object : heldObjects_) object->Release();
  }

 private:
  // Copies the caller's pointers into a list this call may change.
  void MakeOwnList() {
    if (!list_.empty() || count_ == 0 || items_ == list_.data()) return;
    list_.assign(items_, items_ + count_);
    items_ = list_.data();
  }
  // A token that lives as long as the call's arguments (nodes never move).
  ExprToken& NewToken() { return tokens_.emplace_front(); }

  ExprToken** items_;
  int count_;
  std::vector<ExprToken*> list_;
  std::forward_list<ExprToken> tokens_;
  std::forward_list<std::wstring> texts_;
  std::vector<IObject*> heldObjects_;
  Object* named_ = nullptr;
};

// Whether every parameter without an argument has a default or a named
// value; otherwise the call yields "" without running.
bool CanBindAll(const Func& func, CallArguments& args) {
  for (size_t i = 0; i < func.Params.size(); ++i) {
    const FuncParam& param = func.Params[i];
    if (args.Given(static_cast<int>(i)) || param.DefaultKind != ParamDefault::None) continue;
    if (args.Named() && args.Named()->GetField(param.Var->Name())) continue;
    return false;
  }
  return true;
}

// Moves the state of every local of the function aside for a recursive call.
void SaveLocals(Func& func) {
  std::vector<SavedLocal>& savedLocals = Objects().SavedLocals;
  for (Variable* var : func.CallLocals) {
    SavedLocal& saved = savedLocals.emplace_back();
    saved.Var = var;
    var->MoveStateTo(saved.State);
  }
}

// Frees the locals of the call that ended and gives the outer call its
// saved state back.
void ReleaseLocals(Func& func, size_t savedFrom, bool restore) {
  for (Variable* var : func.CallLocals) var->Free(VAR_FREE_IF_LARGE, true);
  if (!restore) return;
  std::vector<SavedLocal>& savedLocals = Objects().SavedLocals;
  for (size_t i = savedFrom; i < savedLocals.size(); ++i) savedLocals[i].Var->RestoreState(savedLocals[i].State);
  savedLocals.resize(savedFrom);
}

// Gives one parameter its value.
ResultCode BindParameter(const FuncParam& param, CallArguments& args, int index) {
  Variable& var = *param.Var;
  if (!args.Given(index)) {
    if (param.IsByRef) var.RemoveAlias();
    if (ExprToken* named = args.NamedValue(param.Var->Name())) return var.AssignToken(*named);
    switch (param.DefaultKind) {
      case ParamDefault::Text: return var.Assign(param.DefaultText);
      case ParamDefault::Integer: return var.AssignInteger(param.DefaultInteger);
      case ParamDefault::Float: return var.AssignFloat(param.DefaultFloat);
      case ParamDefault::None: return ResultCode::Ok;  // ruled out by CanBindAll
    }
  }
  ExprToken& arg = args[index];
  if (param.IsByRef && arg.Symbol == ExprSymbol::VariableRef) {
    var.SetAlias(arg.Var);
    return ResultCode::Ok;
  }
  if (param.IsByRef) var.RemoveAlias();
  return var.AssignToken(arg);
}

// Collects the arguments beyond the declared parameters into a new array
// for the variadic parameter.
ResultCode BindRest(Func& func, CallArguments& args) {
  Object* rest = Object::Create();
  if (!rest) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  if (Object* named = args.Named()) {
    named->SortKeys();
    for (size_t i = named->IntegerKeyCount(); i < named->FieldCount(); ++i) {
      const ObjectField& field = named->FieldAt(i);
      if (named->KeyKindAt(i) != KeyKind::Text) continue;
      FieldValue copy = PeekFieldValue(field);
      if (copy.Type == FieldValue::Kind::Object) copy.Object->AddRef();
      rest->SetField(field.TextKey, std::move(copy));
    }
  }
  int64_t key = 0;
  for (int i = static_cast<int>(func.Params.size()); i < args.Count(); ++i) {
    ++key;
    if (!args.Given(i)) continue;
    if (ObjectField* field = rest->FieldFor(ObjectKey::OfInteger(key)))
      if (!StoreToken(*field, args[i])) return ReportLineError(Script().CurrentLine, expr_msg::OutOfMemory);
  }
  return func.RestParam->AssignObject(rest);
}

}  // namespace

bool StackHasRoom(bool forFunctionCall) {
  volatile char marker = 0;
  const auto here = reinterpret_cast<uintptr_t>(&marker);
  // Object requests may go a little deeper than calls, so that a runaway
  // recursion is reported by the function it runs through.
  return here > StackFloor() + (forFunctionCall ? kStackReserveBytes : kStackReserveBytes / 2);
}

Func* RunningFunction() {
  CallFrame* frame = Values().CurrentThread->CurrentCall;
  return frame ? frame->Function : nullptr;
}

void RefreshCallLocals(Func& func) {
  func.CallLocals.clear();
  func.Scope.Locals.ForEach([&](Variable& var) {
    if (!(var.Scope() & VAR_LOCAL_STATIC) && var.Type() != VAR_BUILTIN) func.CallLocals.push_back(&var);
  });
  func.CallLocalsSource = func.Scope.Locals.Count();
}

namespace {

// Binds the arguments, runs the prologue if any, then the body.
ResultCode CallBound(Func& func, ExprToken& result, ExprToken** params, int count, bool expandLast,
                     CallPrologue prologue, void* data) {
  CallArguments args(params, count);
  if (expandLast && count > 0) args.Expand();
  if (!CanBindAll(func, args)) return ResultCode::Ok;
  if (!StackHasRoom()) return ReportLineError(Script().CurrentLine, kRecursionTooDeep, ERROR_KIND_ERROR, func.Name);
  if (func.CallLocalsSource != func.Scope.Locals.Count()) RefreshCallLocals(func);

  const bool recursive = func.ActiveCalls > 0;
  const size_t savedFrom = Objects().SavedLocals.size();
  if (recursive) {
    args.TakeValuesOfVariables(func);
    SaveLocals(func);
  }
  ResultCode bound = ResultCode::Ok;
  for (size_t i = 0; i < func.Params.size() && bound == ResultCode::Ok; ++i)
    bound = BindParameter(func.Params[i], args, static_cast<int>(i));
  if (bound == ResultCode::Ok && func.IsVariadic) bound = BindRest(func, args);
  if (bound == ResultCode::Ok && prologue) bound = prologue(func, data);
  if (bound != ResultCode::Ok) {
    ReleaseLocals(func, savedFrom, recursive);
    return ResultCode::Fail;
  }

  CallFrame frame{&func, &result, Values().CurrentThread->CurrentCall, false};
  Values().CurrentThread->CurrentCall = &frame;
  ++func.ActiveCalls;
  ScriptLine* jump = nullptr;
  ResultCode ran = RunLines(func.Body, RunMode::UntilBlockEnd, jump);
  --func.ActiveCalls;
  Values().CurrentThread->CurrentCall = frame.Outer;
  ReleaseLocals(func, savedFrom, recursive);
  Objects().LastCallReturnedValue = frame.ValueReturned;
  if (ran == ResultCode::Ok || ran == ResultCode::Returned) return ResultCode::Ok;
  return ran;
}

}  // namespace

ResultCode CallScriptFunction(const ExprFunc& expr, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  return CallBound(*FuncOf(expr), result, params, count, expandLast, nullptr, nullptr);
}

ResultCode CallScriptFunctionWith(Func& func, ExprToken& result, ExprToken** params, int count, CallPrologue prologue,
                                  void* data) {
  return CallBound(func, result, params, count, false, prologue, data);
}

ResultCode CallWithSpreadArguments(const ExprFunc& expr, ExprToken& result, ExprToken** params, int count) {
  Func* func = FuncOf(expr);
  if (!func || !func->IsBuiltIn) return expr.Call(expr, result, params, count, true);
  CallArguments args(params, count);
  if (count > 0) args.Expand();
  std::vector<ExprToken*> spread;
  for (int i = 0; i < args.Count(); ++i) spread.push_back(&args[i]);
  // Too few arguments after spreading: the call yields "" without running.
  if (args.Count() < expr.MinParams) return ResultCode::Ok;
  if (!expr.Variadic && args.Count() > expr.MaxParams) spread.resize(static_cast<size_t>(expr.MaxParams));
  return expr.Call(expr, result, spread.data(), static_cast<int>(spread.size()), false);
}

ResultCode CallFunctionChecked(Func& func, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  result.SetText(L"");
  result.HeapText = nullptr;
  if (count < func.Expr.MinParams && !expandLast) return ResultCode::Ok;
  if (!func.Expr.Call) return ResultCode::Ok;
  ResultCode ran = expandLast ? CallWithSpreadArguments(func.Expr, result, params, count)
                              : func.Expr.Call(func.Expr, result, params, count, false);
  if (ran == ResultCode::Returned) ran = ResultCode::Ok;
  if (func.IsBuiltIn) Objects().LastCallReturnedValue = true;
  if (ran != ResultCode::Ok) return ran;
  const bool text = result.Symbol == ExprSymbol::String || result.Symbol == ExprSymbol::RawWord;
  if (text && !result.HeapText) SetResultText(result, result.Text ? result.Text : L"");
  return ResultCode::Ok;
}

// Return with a text argument, or outside any function: the argument is
// expanded as text (for its effects when no call receives it).
QRV_NOINLINE ResultCode DeliverReturnText(ScriptLine& line, std::wstring& buffer, CallFrame* frame) {
  CommandArgs args;
  ResultCode prepared = PrepareArgs(line, args, buffer);
  if (prepared != ResultCode::Ok || !frame) return prepared;
  frame->ValueReturned = true;
  SetResultText(*frame->Result, args[0]);
  return ResultCode::Ok;
}

ResultCode DeliverReturnValue(ScriptLine& line, std::wstring& buffer) {
  CallFrame* frame = Values().CurrentThread->CurrentCall;
  buffer.clear();
  if (!line.ArgList[0].ExprFlag || !frame) return DeliverReturnText(line, buffer, frame);
  ExprToken value;
  value.SetText(L"");
  ResultCode result = ResultCode::Ok;
  if (!EvaluateExpression(line, 0, result, &value, buffer)) return result == ResultCode::Ok ? ResultCode::Fail : result;
  ExprToken& target = *frame->Result;
  frame->ValueReturned = true;
  if (value.Symbol == ExprSymbol::Integer || value.Symbol == ExprSymbol::Float ||
      value.Symbol == ExprSymbol::ObjectRef) {
    target = value;
    target.HeapText = nullptr;
    return ResultCode::Ok;
  }
  SetResultText(target, buffer.c_str());
  return ResultCode::Ok;
}
