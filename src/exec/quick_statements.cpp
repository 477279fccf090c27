// Quick paths for the commonest assignment statements.
//
// Each path checks the whole shape first and changes nothing until it is
// sure it can finish, so a refusal leaves the line to the general path with
// the same effect as before. Variables other than plain ones (built-ins, the
// clipboard, objects, binary clipboard images, unset variables that #Warn
// may report) always take the general path.
#include "exec/quick_statements.h"

#include <cwchar>

#include "base/command_table.h"
#include "base/script_line.h"
#include "base/text_length.h"
#include "values/expr_compiler.h"
#include "values/expr_integer.h"
#include "values/expr_scan.h"
#include "values/expr_token.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The attributes that make a variable's contents something other than text
// or a number.
constexpr uint8_t kNotPlainValue = VAR_ATTRIB_OBJECT | VAR_ATTRIB_BINARY_CLIP;

// The compiled expression of an argument, when it was compiled at load time.
const CompiledExpression* LoadedForm(const ArgRecord& arg) {
  if (!arg.ExprFlag) return nullptr;
  const auto* form = static_cast<const CompiledExpression*>(arg.CompiledForm);
  return form && form->Postfix ? form : nullptr;
}

// A plain variable that holds text or a number, when the token reads one.
// An empty one may stand for an environment variable of its name, which
// the general path looks up.
Variable* PlainSource(const ExprToken& token) {
  if (token.Symbol != ExprSymbol::RuntimeRef || token.Parts) return nullptr;
  Variable* var = token.Var->ResolveAlias();
  if (var->Type() != VAR_NORMAL || (var->Attrib() & (kNotPlainValue | VAR_ATTRIB_UNINITIALIZED))) return nullptr;
  const bool holdsNumber = var->Attrib() & (VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_HAS_VALID_DOUBLE);
  if (!var->ByteLength() && !holdsNumber && !Values().NoEnv) return nullptr;
  return var;
}

// A built-in variable whose value is made on request (A_TickCount, A_Now...).
Variable* BuiltInSource(const ExprToken& token) {
  if (token.Symbol != ExprSymbol::RuntimeRef || token.Parts) return nullptr;
  Variable* var = token.Var->ResolveAlias();
  return var->Type() == VAR_BUILTIN ? var : nullptr;
}

// A variable that can take any value by assignment.
bool IsPlainTarget(const Variable& var) { return var.Type() == VAR_NORMAL; }

// "x := value" with a one-token value.
bool AssignSingleToken(Variable& target, const ExprToken& only, ResultCode& result) {
  switch (only.Symbol) {
    case ExprSymbol::Integer: result = target.AssignInteger(only.ValueInt64); return true;
    case ExprSymbol::Float: result = target.AssignFloat(only.ValueDouble); return true;
    case ExprSymbol::String: result = target.Assign(only.Text); return true;
    case ExprSymbol::RuntimeRef: {
      if (only.Parts == g_ExprLoopIndexMarker) {
        result = target.AssignInteger(Values().CurrentThread->LoopIndex);
        return true;
      }
      Variable* source = PlainSource(only);
      if (!source) source = BuiltInSource(only);
      if (!source) return false;
      result = target.AssignVariable(*source);
      return true;
    }
    default: return false;
  }
}

// The quick paths a line's shape allows; what its operands hold now is
// checked on every run.
enum QuickShape : uint8_t { kShapeUnknown = 0, kShapeNone, kShapeAssign, kShapeAppend };

// "x := expression" with x named in the line and a value of one token or
// integer arithmetic.
bool IsQuickAssignShape(const ScriptLine& line, const CompiledExpression& form) {
  const ArgRecord& output = line.ArgList[0];
  return line.ArgTotal == 2 && !output.ExprFlag && output.ResolvedVar && (form.IntegerOnly || form.PostfixCount == 1);
}

// "x .= text" or "x .= var" as an expression statement.
bool IsQuickAppendShape(const ScriptLine& line, const CompiledExpression& form) {
  if (line.ArgTotal != 1 || form.PostfixCount != 3) return false;
  const ExprToken* postfix = form.Postfix;
  const ExprSymbol operand = postfix[1].Symbol;
  return postfix[0].Symbol == ExprSymbol::VariableRef && postfix[2].Symbol == ExprSymbol::AssignConcat &&
         (operand == ExprSymbol::String || (operand == ExprSymbol::RuntimeRef && !postfix[1].Parts));
}

// The shape of a line whose expression is compiled; kShapeUnknown while it
// is not (a line made after the script loaded is compiled on its first run).
uint8_t ShapeOf(const ScriptLine& line) {
  const int exprArg = line.CommandIndex == ACT_ASSIGNEXPR ? 1 : 0;
  if (line.ArgTotal <= exprArg) return kShapeNone;
  const ArgRecord& arg = line.ArgList[exprArg];
  if (!arg.ExprFlag) return kShapeNone;
  const CompiledExpression* form = LoadedForm(arg);
  if (!form) return kShapeUnknown;
  if (line.CommandIndex == ACT_ASSIGNEXPR) return IsQuickAssignShape(line, *form) ? kShapeAssign : kShapeNone;
  return IsQuickAppendShape(line, *form) ? kShapeAppend : kShapeNone;
}

// "x := expression" of the assign shape.
bool RunQuickAssign(ScriptLine& line, ResultCode& result) {
  Variable& target = *line.ArgList[0].ResolvedVar->ResolveAlias();
  const auto& form = *static_cast<const CompiledExpression*>(line.ArgList[1].CompiledForm);
  if (!IsPlainTarget(target)) return false;
  int64_t integer = 0;
  if (form.IntegerOnly && TryIntegerValue(form, integer)) {
    result = target.AssignInteger(integer);
    return true;
  }
  return form.PostfixCount == 1 && AssignSingleToken(target, form.Postfix[0], result);
}

// "x .= operand" of the append shape.
bool RunQuickAppend(ScriptLine& line, ResultCode& result) {
  const ExprToken* postfix = static_cast<const CompiledExpression*>(line.ArgList[0].CompiledForm)->Postfix;
  Variable& target = *postfix[0].Var->ResolveAlias();
  if (!IsPlainTarget(target) || (target.Attrib() & (kNotPlainValue | VAR_ATTRIB_UNINITIALIZED))) return false;
  const ExprToken& operand = postfix[1];
  if (operand.Symbol == ExprSymbol::String) {
    result = target.AppendGrowing(operand.Text, TextLength(operand.Text));
    return true;
  }
  Variable* source = PlainSource(operand);
  // "x .= x" reads the buffer it grows: the general path copies it first.
  if (!source || source == &target) return false;
  const wchar_t* text = source->TextOf();
  result = target.AppendGrowing(text, source->Length());
  return true;
}

}  // namespace

bool RunQuickStatement(ScriptLine& line, ResultCode& result) {
  if (line.QuickShape == kShapeUnknown) {
    if (line.CommandIndex != ACT_ASSIGNEXPR && line.CommandIndex != ACT_EXPRESSION) return false;
    line.QuickShape = ShapeOf(line);
  }
  switch (line.QuickShape) {
    case kShapeAssign: return RunQuickAssign(line, result);
    case kShapeAppend: return RunQuickAppend(line, result);
    default: return false;
  }
}
