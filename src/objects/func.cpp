// The function list: lookup by name, creation of script and built-in
// functions, and the scope hooks the variable code asks.
#include "objects/func.h"
#include "objects/objects_state.h"

#include <algorithm>
#include <string>

#include "base/load_pool.h"
#include "base/script_context.h"
#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "objects/func_call.h"
#include "values/expr_eval.h"
#include "values/numeric_text.h"
#include "values/values_state.h"

namespace {

inline constexpr wchar_t kInvalidMethodName[] = L"Invalid method name.";
// Room the list takes first; it doubles when full.
constexpr size_t kFirstListCapacity = 100;

// The list, sorted by name; written while loading and when a built-in is
// first used.
std::vector<Func*>& FunctionList() { return Objects().Functions; }

// The index where a name is or would be.
size_t LowerBound(std::wstring_view name) {
  const std::vector<Func*>& list = FunctionList();
  size_t low = 0, high = list.size();
  while (low < high) {
    const size_t mid = (low + high) / 2;
    if (CompareNamesNoCase(list[mid]->Name, name) < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

// A character a function name may hold (dots separate a method's class).
bool IsFunctionNameChar(wchar_t c) {
  return c >= 128 || (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' ||
         c == L'$' || c == L'#' || c == L'@';
}

// Checks a new function's name; reports and returns false when it is unusable.
bool CheckFunctionName(std::wstring_view name, bool isMethod) {
  if (name.size() > kMaxFunctionName) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(msg::FuncNameTooLong, name));
    return false;
  }
  for (wchar_t c : name) {
    if (IsFunctionNameChar(c) || (isMethod && c == L'.')) continue;
    std::wstring message = msg::FuncNameIllegalChar;
    message.append(name.substr(0, msg::kIllegalNameShown));
    message += L'"';
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(message));
    return false;
  }
  if (isMethod && name.find(L'.') == std::wstring_view::npos) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(kInvalidMethodName, name));
    return false;
  }
  return !name.empty();
}

// Inserts a made function at its sorted place.
void Insert(Func* func) {
  std::vector<Func*>& list = FunctionList();
  if (list.size() == list.capacity()) list.reserve(list.capacity() ? list.capacity() * 2 : kFirstListCapacity);
  list.insert(list.begin() + static_cast<ptrdiff_t>(LowerBound(func->Name)), func);
}

// A Func for a built-in table entry.
Func* MakeBuiltIn(const BuiltInFunctionDef& def) {
  Func* func = PoolNew<Func>();
  func->Name = def.Name;
  func->IsBuiltIn = true;
  func->Native = &def;
  func->Expr.Name = def.Name;
  func->Expr.MinParams = def.MinParams;
  func->Expr.MaxParams = def.MaxParams;
  func->Expr.Variadic = def.MaxParams >= kUnlimitedParams;
  func->Expr.Call = def.Call;
  func->Expr.IntegerCall = def.IntegerCall;
  func->Expr.Owner = func;
  func->RequiredCount = def.MinParams;
  Insert(func);
  // A script that watches messages must stay resident to receive them.
  if (EqualsNoCase(def.Name, L"OnMessage")) Script().StayResident = true;
  return func;
}

// The lookup the expression compiler and dynamic calls use.
const ExprFunc* FindFunctionForExpression(std::wstring_view name) {
  Func* func = LookupFunction(name);
  return func ? &func->Expr : nullptr;
}

// The scope names resolve in now: the function being parsed while loading,
// else the function the current thread is running.
FunctionScope* CurrentScope() {
  if (Objects().FunctionBeingDefined) return &Objects().FunctionBeingDefined->Scope;
  Func* running = RunningFunction();
  return running ? &running->Scope : nullptr;
}

}  // namespace

// The running function's locals for the variables view.
bool LocalsOfRunningFunction(const VarList*& locals, std::wstring& functionName) {
  Func* running = RunningFunction();
  if (!running) return false;
  locals = &running->Scope.Locals;
  functionName = running->Name;
  return true;
}

void Func::SyncLimits() {
  Expr.MinParams = RequiredCount;
  Expr.MaxParams = static_cast<int>(Params.size());
  Expr.Variadic = IsVariadic;
}

Func* FindListedFunction(std::wstring_view name) {
  const std::vector<Func*>& list = FunctionList();
  const size_t at = LowerBound(name);
  if (at < list.size() && CompareNamesNoCase(list[at]->Name, name) == 0) return list[at];
  return nullptr;
}

Func* LookupFunction(std::wstring_view name) {
  if (name.empty() || name.size() > kMaxFunctionName) return nullptr;
  if (Func* listed = FindListedFunction(name)) return listed;
  const BuiltInFunctionDef* def = FindBuiltInFunction(name);
  return def ? MakeBuiltIn(*def) : nullptr;
}

Func* CreateFunction(std::wstring_view name, bool isBuiltIn, IObject* classObject) {
  if (!CheckFunctionName(name, classObject != nullptr)) return nullptr;
  Func* func = PoolNew<Func>();
  func->Name = PoolCopy(name);
  func->IsBuiltIn = isBuiltIn;
  func->OwnerClass = classObject;
  func->Expr.Name = func->Name;
  func->Expr.Call = CallScriptFunction;
  func->Expr.Owner = func;
  Insert(func);
  return func;
}

const std::vector<Func*>& AllFunctions() { return FunctionList(); }

Func* AsFunc(IObject* object) {
  return object && TagOf(object) == ObjectTag::Func ? static_cast<Func*>(object) : nullptr;
}

void FinishAllFunctionScopes() {
  for (Func* func : FunctionList()) {
    if (func->IsBuiltIn) continue;
    FinishFunctionScope(func->Scope, Values().Globals);
    RefreshCallLocals(*func);
  }
}

void ReleaseStaticObjects() {
  for (Func* func : FunctionList()) {
    if (func->IsBuiltIn) continue;
    func->Scope.Locals.ForEach([](Variable& var) {
      if ((var.Scope() & VAR_LOCAL_STATIC) && var.Type() == VAR_NORMAL && var.HasObject()) var.Free(VAR_FREE_KEEP);
    });
  }
}

void InstallFunctions() {
  Values().FindFunction = FindFunctionForExpression;
  Values().CurrentFunctionScope = CurrentScope;
  Values().SpreadCall = CallWithSpreadArguments;
}
