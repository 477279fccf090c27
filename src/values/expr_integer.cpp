#include "values/expr_integer.h"

#include "values/expr_compiler.h"
#include "values/expr_operators.h"
#include "values/expr_scan.h"
#include "values/expr_token.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Longest postfix taken this way; its operand stack fits on the machine stack.
constexpr size_t kMaxIntegerTokens = 32;

bool IsIntegerOperand(const ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return true;
    case ExprSymbol::RawWord: return token.PreParsed != nullptr;
    case ExprSymbol::RuntimeRef: return !token.Parts || token.Parts == g_ExprLoopIndexMarker;
    default: return false;
  }
}

bool IsIntegerBinaryOperator(ExprSymbol symbol) {
  if (IsExprComparison(symbol)) return true;
  switch (symbol) {
    case ExprSymbol::Add:
    case ExprSymbol::Subtract:
    case ExprSymbol::Multiply:
    case ExprSymbol::FloorDivide:
    case ExprSymbol::BitOr:
    case ExprSymbol::BitXor:
    case ExprSymbol::BitAnd:
    case ExprSymbol::ShiftLeft:
    case ExprSymbol::ShiftRight: return true;
    default: return false;
  }
}

// A call of a built-in that has an integer form, with its arguments
// written out; a method or dynamic call has no function of its own here.
bool IsIntegerCall(const ExprToken& token) {
  if (token.Symbol != ExprSymbol::Call) return false;
  const ExprCall& call = *token.CallInfo;
  return call.Func && call.Func->IntegerCall && !call.ExpandLast && call.ParamCount >= call.Func->MinParams &&
         call.ParamCount <= call.Func->MaxParams;
}

// The integer an operand holds now; false when it holds anything else.
bool OperandInteger(const ExprToken& token, int64_t& value) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: value = token.ValueInt64; return true;
    case ExprSymbol::RawWord: value = *token.PreParsed; return true;
    default:
      if (token.Parts == g_ExprLoopIndexMarker) {
        value = Values().CurrentThread->LoopIndex;
        return true;
      }
      if (token.Var->PeekInteger(value)) return true;
      return token.Var->ResolveAlias()->PeekInteger(value);
  }
}

}  // namespace

bool IsIntegerOnlyPostfix(const ExprToken* postfix, size_t count) {
  // A lone operand keeps the general way: its value may be text that only
  // looks like a number, which the line must see as it is.
  if (count < 2 || count > kMaxIntegerTokens) return false;
  size_t depth = 0;
  for (size_t i = 0; i < count; ++i) {
    const ExprToken& token = postfix[i];
    // A short circuit or ternary link means more than plain arithmetic.
    if (token.Circuit) return false;
    if (IsIntegerOperand(token)) {
      ++depth;
    } else if (IsIntegerBinaryOperator(token.Symbol)) {
      if (depth < 2) return false;
      --depth;
    } else if (token.Symbol == ExprSymbol::Negate) {
      if (depth < 1) return false;
    } else if (IsIntegerCall(token)) {
      const auto params = static_cast<size_t>(token.CallInfo->ParamCount);
      if (params == 0 || depth < params) return false;
      depth -= params - 1;
    } else {
      return false;
    }
  }
  return depth == 1 && !IsIntegerOperand(postfix[count - 1]);
}

bool TryIntegerValue(const CompiledExpression& form, int64_t& value) {
  int64_t stack[kMaxIntegerTokens];
  size_t depth = 0;
  const ExprToken* postfix = form.Postfix;
  for (size_t i = 0, count = form.PostfixCount; i < count; ++i) {
    const ExprToken& token = postfix[i];
    const ExprSymbol symbol = token.Symbol;
    if (IsExprOperand(symbol)) {
      if (!OperandInteger(token, stack[depth])) return false;
      ++depth;
    } else if (symbol == ExprSymbol::Negate) {
      stack[depth - 1] = static_cast<int64_t>(0 - static_cast<uint64_t>(stack[depth - 1]));
    } else if (symbol == ExprSymbol::Call) {
      depth -= static_cast<size_t>(token.CallInfo->ParamCount);
      if (!token.CallInfo->Func->IntegerCall(stack + depth, stack[depth])) return false;
      ++depth;
    } else {
      --depth;
      if (!IntegerResult(symbol, stack[depth - 1], stack[depth], stack[depth - 1])) return false;
    }
  }
  value = stack[0];
  return true;
}
