// The expression evaluator: runs the postfix tokens the compiler made for one
// argument of one line and produces the argument's value, as text appended
// to the caller's expansion buffer, as a number or object in a result token,
// or as an assignment straight to the line's output variable.
//
// Invariants: one evaluation is self-contained; its temporaries live in a
// stack-like arena shared by nested evaluations (chunks are kept for reuse,
// so numbers and short texts cost no heap allocation once it has warmed up),
// long texts in at most kMaxEvalHeapBlocks heap blocks; all of it, and every
// object reference held by the operand stack, is released before it returns.
// Everything runs on the one script thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "values/expr_token.h"

struct ScriptLine;
class Variable;
class IObject;

// Longest temporary text kept in the arena; longer ones get heap blocks.
inline constexpr size_t kMaxArenaPieceChars = 4096;
// Arena text one evaluation may use before it turns to heap blocks.
inline constexpr size_t kMaxArenaCharsPerEvaluation = 40000;
// Heap blocks one evaluation may hold; one more is "Out of memory.".
inline constexpr size_t kMaxEvalHeapBlocks = 200;

// Evaluates expression argument `argIndex` of `line`. On success appends the
// result text and a terminating L'\0' to `out` (starting at out.size(); the
// caller remembers that offset) and returns true; on failure returns false
// with `result` set (Fail, or ThreadExit), the error already reported.
// For ACT_ASSIGNEXPR argument 1 the value is assigned to the line's output
// variable (args[0].ResolvedVar, or `outputVar` when the caller resolved a
// dynamic name) and empty text is appended; for ACT_EXPRESSION the result is
// discarded; for ACT_IFEXPR, ACT_WHILE and ACT_UNTIL the text is "1" or "".
// When `resultToken` is non-null (Return, Throw), an integer, float or object
// result goes into it (the caller owns it) and empty text is appended; a
// text result is appended as usual and leaves the token as it was.
bool EvaluateExpression(ScriptLine& line, int argIndex, ResultCode& result, ExprToken* resultToken, std::wstring& out,
                        Variable* outputVar = nullptr);

// Evaluates expression argument `argIndex` of a condition line (if, while,
// until) and returns its truth, without making the text "1" or "". On
// failure returns false with `result` set, the error already reported.
bool EvaluateCondition(ScriptLine& line, int argIndex, ResultCode& result);

// For tests and tools: compiles and evaluates one expression text against
// the global variables; returns the text result, or the error message.
// Reports go to the returned Error instead of a dialog (any load-error sink
// installed before is removed afterwards). The compiled tokens stay in the
// load pool.
struct ExprTestResult {
  bool Ok;
  std::wstring Text;
  std::wstring Error;
};
ExprTestResult EvaluateExpressionText(std::wstring_view expression);

// Counts of the evaluator's own heap use, so that tests can show that the
// hot path stays off the heap: arena chunks taken (once, then reused) and
// heap blocks for long texts.
struct ExprMemoryCounters {
  uint64_t ArenaChunks = 0;
  uint64_t HeapBlocks = 0;
};
const ExprMemoryCounters& GetExprMemoryCounters();

// Supplies the implementation of an operator function (member access,
// object literals) that the compiler left without one; installed by the
// object model. Null, or a null answer, leaves the operation unavailable.
using ObjectCallHook = ExprCallFunction (*)(const ExprFunc& func);

// Calls an object used as a function (%fn%(...) with an object in fn);
// `handled` false means the object cannot be called. Installed by the
// object model; while null such a call reports that objects are not
// supported.
using CallObjectHook = ResultCode (*)(IObject* object, ExprToken& result, ExprToken** params, int count,
                                      bool expandLast, bool& handled);

// Makes a call whose last argument ends in "*" (`f(args*)`) to a function
// of the function list: spreads the array for functions that do not do so
// themselves. Installed by the functions code.
using SpreadCallHook = ResultCode (*)(const ExprFunc& func, ExprToken& result, ExprToken** params, int count);
