// The expression compiler: turns each scanned expression argument into a
// postfix token array that the evaluator runs without parsing. Two passes per
// argument: a tokenizer (infix tokens, implicit concatenation, literals,
// member access, calls) and an operator-precedence pass that reorders into
// postfix while counting call parameters, rewriting member assignments and
// increments, and setting the circuit links of short-circuit evaluation.
//
// Invariants: compiling happens once, after the whole script is read and
// before any line runs; the postfix array and every record it points at come
// from the never-freed load pool; a compiled array ends with an End token
// and holds at most 3 * kMaxExprTokens tokens; every circuit link points
// forward into the same array.
#pragma once
#include <cstdint>

#include "base/result_code.h"
#include "values/expr_token.h"

struct ArgRecord;
struct ScriptLine;

// An operator function: member access, method calls, "new" and member
// increments compile to calls of these. Each carries an operation code
// instead of a name and takes 1 to 1000 parameters; until the object model
// exists its Call is null, so running one reports that objects are not
// supported.
struct ExprOpFunc : ExprFunc {
  // An operator function for an operation code.
  explicit constexpr ExprOpFunc(int code) {
    MinParams = 1;
    MaxParams = 1000;
    OperatorCode = code;
    UnavailableMessage = expr_msg::ObjectsUnsupported;
  }
};
extern const ExprOpFunc g_ExprMemberGet;         // x.y, x[k]
extern const ExprOpFunc g_ExprMemberSet;         // x.y := v, x[k] := v
extern const ExprOpFunc g_ExprMethodCall;        // x.y(...), x[k](...)
extern const ExprOpFunc g_ExprMemberGetInPlace;  // the read of x.y += v, leaving x and y on the stack
extern const ExprOpFunc g_ExprNew;               // new C, new C(...)
extern const ExprOpFunc g_ExprMemberPreIncrement;
extern const ExprOpFunc g_ExprMemberPreDecrement;
extern const ExprOpFunc g_ExprMemberPostIncrement;
extern const ExprOpFunc g_ExprMemberPostDecrement;

// The Offset of a double-deref chunk's list terminator when the chunk names
// a function (a call follows it) rather than a variable.
inline constexpr uint16_t kExprChunkNamesFunction = 1;

// Marks a RuntimeRef token that reads A_Index (its Parts point here): the
// evaluator answers the loop counter as an Integer without a variable.
extern const DerefEntry g_ExprLoopIndexMarker[1];

// Compiles every expression argument of every line (after the whole script is read).
ResultCode CompileAllExpressions(ScriptLine* first);

// Compiles one expression argument of `line` (scanning it first when the
// parser did not): every function it calls is looked up, then its postfix
// array is stored in the argument's CompiledExpression. Reports a load error
// and returns Fail on a malformed expression.
ResultCode CompileExpression(ScriptLine& line, ArgRecord& arg);
