// ValuesState: everything the values layer keeps between calls: the global
// variables, the variable options the directives set, the per-thread
// settings records, the evaluator's working memory, and the hooks through
// which upper layers (functions, objects, the clipboard, built-in
// variables) serve the evaluator and the variable code.
//
// Invariants: CurrentThread is never null; the hooks are either null (the
// feature is absent) or installed once at start-up by the layer that owns
// the feature. Only the script thread touches any of it.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "values/builtin_vars.h"
#include "values/expr_eval.h"
#include "values/expr_token.h"
#include "values/thread_settings.h"
#include "values/variable.h"

class EvalArena;
class Object;

// What the object layer does for Object's script face and its last release.
using ObjectInvokeHook = ResultCode (*)(Object& object, ExprToken& result, ExprToken& thisToken, int flags,
                                        ExprToken** params, int count);
// Runs __Delete; false when the object was given a new reference and lives on.
using ObjectDeleteHook = bool (*)(Object& object);

// The IDispatch face of script objects, served by the COM code.
struct DispatchHooks {
  HRESULT (*GetIDsOfNames)(IObject* object, REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = nullptr;
  HRESULT(*Invoke)
  (IObject* object, DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
   EXCEPINFO* exception, UINT* argError) = nullptr;
};
class ExprCompiler;

// The length query of GetText for an empty variable, remembered for the text
// query that follows it so that the environment is asked only once.
struct EnvPairing {
  const Variable* Var = nullptr;
  size_t Length = 0;
  bool Found = false;
};

// Freed heap blocks of a few small sizes, kept for the next request of their
// class: under Wine a heap allocation, a size query and a free cost more than
// most of the work on a short text. Hints say which class a block handed out
// recently belongs to, sparing the size query when it comes back; a hint is
// dropped before anything but FreeVarHeap may free or move its block.
struct SmallHeapCache {
  static constexpr size_t kGranuleBytes = 32;
  static constexpr size_t kClasses = 4;  // blocks of 32, 64, 96 and 128 bytes
  static constexpr size_t kKeptPerClass = 64;
  static constexpr size_t kHints = 256;
  struct Hint {
    void* Block = nullptr;
    size_t Class = 0;
    size_t Bytes = 0;  // as requested: what the block's owner may count on
  };
  void* Kept[kClasses][kKeptPerClass] = {};
  size_t KeptCount[kClasses] = {};
  Hint Hints[kHints];
};

struct ValuesState {
  // Global variables (A_Args, the numbered parameters, script variables):
  // filled by the loader and start-up, grown by dynamic references.
  VarList Globals;

  // Variable options, written by directives and #MaxMem at load time.
  size_t MaxVarCapacity = kDefaultMaxMem;
  bool NoEnv = false;
  bool UsesSlowIntegerFormat = false;
  bool UsesSlowFloatFormat = false;

  // Variable memory: the small-block pool and the counters tests read.
  char* VarPoolNext = nullptr;
  size_t VarPoolLeft = 0;
  // Small text blocks given back by the locals of recursive calls, a free
  // list per capacity step: pushed when a call restores its caller's
  // locals, popped before the pool is asked for a new block.
  void* FreeSmallBlocks[kFreeSmallBlockSlots] = {};
  // One freed large text block kept for the next large request it fits
  // (see FreeVarHeap); written only by AllocVarHeap and FreeVarHeap.
  void* SpareBlock = nullptr;
  size_t SpareBlockBytes = 0;
  // Short text blocks (a function's result, mostly) freed for reuse, and
  // which class recent ones belong to (see AllocVarHeap).
  SmallHeapCache SmallHeap;
  VarMemoryCounters VarCounters;
  EnvPairing EnvQuery;

  // Thread settings: the defaults each new thread copies (written by the
  // auto-execute hand-over), the record used before threads exist, and the
  // running thread's record (moved by BeginThread and EndThread).
  ThreadSettings ThreadDefaults;
  ThreadSettings InitialThread;
  ThreadSettings* CurrentThread = &InitialThread;

  // The evaluator's arena (made on first use, kept for reuse), its counters,
  // and the error text EvaluateExpressionText captures.
  EvalArena* Arena = nullptr;
  // The expression compiler's working arrays, too large for the stack: made
  // by the first compile, reused by every later one, kept by a reset.
  ExprCompiler* Compiler = nullptr;
  ExprMemoryCounters ExprCounters;
  std::wstring* CapturedError = nullptr;

  // Built-in variables other layers registered at start-up.
  std::vector<std::span<const BuiltInVarDef>> BuiltInVarTables;
  // What the built-in getters remember between reads.
  BuiltInVarCache BuiltIns;

  // Hooks installed by upper layers at start-up.
  ClipboardSeam Clipboard;                          // the clipboard module
  BuiltInLookup FindBuiltIn = nullptr;              // the built-in variable table
  CurrentScopeHook CurrentFunctionScope = nullptr;  // the functions code
  ObjectDescriber DescribeObject = nullptr;         // the object model
  FindFunctionHook FindFunction = nullptr;          // the functions code
  ObjectCallHook ObjectCall = nullptr;              // the object model
  CallObjectHook CallObject = nullptr;              // the object model
  SpreadCallHook SpreadCall = nullptr;              // the functions code
  ObjectInvokeHook ObjectInvoke = nullptr;          // the object model
  ObjectDeleteHook ObjectDelete = nullptr;          // the object model
  DispatchHooks Dispatch;                           // the COM code

  ValuesState() = default;
  ValuesState(const ValuesState&) = delete;
  ValuesState& operator=(const ValuesState&) = delete;
};

namespace state_detail {
// The one instance; reach it through Values().
extern ValuesState values;
}  // namespace state_detail

// The values layer's state.
inline ValuesState& Values() { return state_detail::values; }

// Puts the values layer back to its state before loading: no variables, no
// hooks, default options and thread settings. The arena and the compiler
// are kept; the pool's blocks and the free lists are forgotten, never freed.
void ResetValuesState();
