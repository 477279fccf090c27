// ObjectsState: what the object layer keeps: the built-in function families
// the subsystems registered, the function list, the declarations code's
// progress through the load in hand (the function body and the classes
// being read), the saved locals of recursive calls, and the text Round
// returns.
//
// Invariants: Families is filled at start-up, before the script loads, and
// never changes afterwards (Func records point into its rows). Functions is
// sorted by name. The Func records the list points at come from the load
// pool and live until the process ends: forgetting the list never frees a
// record that a compiled line, a variable or a timer may still point at.
// Only the script thread touches any of it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "objects/builtin_functions.h"
#include "objects/class_declarations.h"
#include "objects/func_call.h"
#include "values/numeric_text.h"

class Func;
class ScriptCallback;

// Starting a new script thread for an event (a GUI event, a clipboard
// change, a menu item): the application installs these at start-up.
struct ThreadLaunchHooks {
  // Whether a thread of that priority may start now (not paused, under the
  // thread limit, the current thread interruptible).
  bool (*CanLaunch)(int priority) = nullptr;
  // Runs the callback in a thread of its own with the parameters; `result`
  // (may be null) receives the function's value, which the caller releases.
  // The callback reports its own errors in its own thread.
  ResultCode (*Launch)(const ScriptCallback& target, int priority, ExprToken** params, int count,
                       ExprToken* result) = nullptr;
};

// Regular-expression matching for other subsystems (window titles and
// texts); the text subsystem installs it.
struct RegExHooks {
  // Whether `pattern` (with its options before ")") matches somewhere in
  // `subject`. A pattern that does not compile is no match and sets
  // `error` to the compiler's message.
  bool (*Matches)(std::wstring_view subject, std::wstring_view pattern, std::wstring* error) = nullptr;
};

struct ObjectsState {
  // Built-in function families, in registration order; a name found in an
  // earlier family wins.
  std::vector<BuiltInFamily> Families;

  // Every function, script-defined or built-in, sorted by name: written by
  // the declarations code while loading and by a built-in's first use.
  std::vector<Func*> Functions;

  // The function whose body is being parsed; null outside function bodies.
  // Written by the declarations code while loading.
  Func* FunctionBeingDefined = nullptr;
  // Nesting of braces in that body: 0 until its "{" is added, back to 0 at
  // the "}" that closes it. Written by the declarations code.
  int BodyDepth = 0;
  // Set by the declarations code while it adds a static initialiser, which
  // runs before the auto-execute section and so is not the body's first line.
  bool AddingStaticInitializer = false;
  // The classes being read: written by the class declarations code while
  // loading, cleared by its reset (which releases the placeholders).
  decl::ClassParseState Classes;

  // The saved locals of every recursive call now running, innermost last:
  // pushed and popped by the function-call code as calls start and end.
  std::vector<SavedLocal> SavedLocals;

  // Installed by the application at start-up; null until then.
  ThreadLaunchHooks Threads;
  // Installed by the text subsystem at start-up; null until then (callers
  // then fail with the regular-expression "not supported" message).
  RegExHooks RegEx;

  // Whether the script function that ended last returned a value (Return
  // with an argument): a meta-function that did not leaves the request to
  // the normal lookup. Written by every call as it ends.
  bool LastCallReturnedValue = false;

  // The text of the element x[i] last read by MemberGet's direct way, kept
  // until its next read (the evaluator copies it at once); longer texts go
  // to a heap block instead.
  static constexpr size_t kElementTextChars = 127;
  wchar_t ElementText[kElementTextChars + 1] = {};

  // The text Round returns with decimals: written by each such call and
  // valid until the next (the built-in functions' result contract).
  wchar_t RoundText[kFloatTextChars] = {};
};

namespace state_detail {
// The one instance; reach it through Objects().
extern ObjectsState objects;
}  // namespace state_detail

inline ObjectsState& Objects() { return state_detail::objects; }

// Puts the object layer back to its state before start-up: no families, an
// empty function list, no load or call in progress. The Func records stay
// where they are (see above); the placeholder classes are released.
void ResetObjectsState();
