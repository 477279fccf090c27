// Func: every callable thing of the language, a script function (or class
// method) whose body is a block of script lines, or a built-in function; and
// the script's function list, searched by name.
//
// Invariants:
// - Func records are made while loading (or on first use of a built-in),
//   live until the program ends and are never freed; their reference count
//   is ignored, so any number of variables and objects may hold one.
// - The list is sorted by case-insensitive name; a built-in enters it the
//   first time its name is looked up.
// - `Expr` is what the expression compiler and evaluator see: its Owner
//   points back at the Func, its limits are the Func's.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "values/expr_token.h"
#include "values/object.h"
#include "values/variable.h"

struct ScriptLine;
struct BuiltInFunctionDef;

// What a parameter without an argument receives.
enum class ParamDefault : uint8_t { None, Text, Integer, Float };

struct FuncParam {
  Variable* Var = nullptr;
  bool IsByRef = false;
  ParamDefault DefaultKind = ParamDefault::None;
  const wchar_t* DefaultText = L"";
  int64_t DefaultInteger = 0;
  double DefaultFloat = 0.0;
};

class Func : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  Func() : ObjectBase(ObjectTag::Func) {}
  // Func records live as long as the program: counting does nothing.
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  bool Delete() override { return false; }
  const wchar_t* Type() override { return L"Func"; }
  // Called as itself; its members Call, Bind, IsOptional, IsByRef and the
  // properties Name, MinParams, MaxParams, IsBuiltIn, IsVariadic.
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;

  ExprFunc Expr;                  // the compiler's and evaluator's view
  const wchar_t* Name = L"";      // pool copy; "Class.Method" for a method
  std::vector<FuncParam> Params;  // declared parameters, the variadic one excluded
  int RequiredCount = 0;          // parameters before the first with a default
  bool IsVariadic = false;
  Variable* RestParam = nullptr;  // the variadic parameter's array variable
  bool IsBuiltIn = false;
  const BuiltInFunctionDef* Native = nullptr;
  ScriptLine* BodyBlock = nullptr;  // the "{" line of the body
  ScriptLine* Body = nullptr;       // the first line inside the body
  FunctionScope Scope;              // locals, declared globals, scope mode
  bool ScopeDecided = false;        // a declaration or the first line fixed the mode
  bool DeclarationsOpen = true;     // still in the declaration area at the top of the body
  bool LocalDeclared = false;       // a lone "local" was seen (for "static" after it)
  int ActiveCalls = 0;              // calls running now (recursion depth)
  IObject* OwnerClass = nullptr;    // the class object of a method

  // Local variables a call must save and clear: non-static locals, cached
  // after loading and rebuilt when a dynamic reference adds one.
  std::vector<Variable*> CallLocals;
  size_t CallLocalsSource = 0;  // Scope.Locals.Count() when the cache was built

  // Updates Expr's limits from the parameters.
  void SyncLimits();
};

// Longest function name.
inline constexpr size_t kMaxFunctionName = 253;

// The function of that name (any case); a built-in name not yet used
// creates its Func now. Null when there is none (and for names of 254
// characters or more).
Func* LookupFunction(std::wstring_view name);
// A function of that name already in the list (no built-in is created).
Func* FindListedFunction(std::wstring_view name);
// Creates a function and inserts it in the list. The name is checked first
// ("Function name too long.", the illegal-character message, "Invalid method
// name." for a method without "."); null after the load error was reported.
Func* CreateFunction(std::wstring_view name, bool isBuiltIn, IObject* classObject);
// Every function in the list, in name order.
const std::vector<Func*>& AllFunctions();

// The Func behind a compiled call's record, or null for operator functions.
inline Func* FuncOf(const ExprFunc& expr) { return static_cast<Func*>(expr.Owner); }
// The Func an object is, or null.
Func* AsFunc(IObject* object);

// The running function's locals for ListVars: false outside any function.
bool LocalsOfRunningFunction(const VarList*& locals, std::wstring& functionName);

// After loading: undeclared locals named like super-globals become aliases
// of them, and each function's list of locals to save is built.
void FinishAllFunctionScopes();

// Empties every static variable of a script function that holds an object,
// so that objects are released before the program ends.
void ReleaseStaticObjects();

// Installs the function lookup and the current-scope hook the expression
// code and the variable lookups use.
void InstallFunctions();
