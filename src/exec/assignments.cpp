// Legacy assignments and arithmetic commands.
#include "exec/assignments.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/run_lines.h"
#include "exec/time_stamps.h"
#include "values/expr_compiler.h"
#include "values/expr_integer.h"
#include "values/expr_scan.h"
#include "values/expr_token.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

constexpr int64_t kSecondsPerUnit[] = {1, 60, 3600, 86400};  // S, M, H, D
// The largest file time the system converts back to a calendar date.
constexpr double kLargestFileTimeTicks = 9223372036854775807.0;

// The unit index of a time unit word (S, M, H, D by first letter), or -1.
int TimeUnitIndex(const wchar_t* unit) {
  switch (towupper(unit[0])) {
    case L'S': return 0;
    case L'M': return 1;
    case L'H': return 2;
    case L'D': return 3;
    default: return -1;
  }
}

// Adds a number of units (fractions allowed) to a time stamp variable; an
// invalid stamp, or a result outside the calendar, empties the variable.
ResultCode AddTime(Variable& var, const wchar_t* amount, int unit) {
  if (IsNumeric(amount) == PURE_NOT_NUMERIC) return ResultCode::Ok;
  FILETIME start;
  if (!TimeStampToFileTime(var.TextOf(), start)) return var.Assign();
  const double seconds = TextToDouble(amount) * static_cast<double>(kSecondsPerUnit[unit]);
  // In doubles, so that a huge amount cannot overflow the tick count.
  const double ticks =
      static_cast<double>(FileTimeTicks(start)) + std::round(seconds * static_cast<double>(kFileTimeTicksPerSecond));
  if (!(ticks >= 0.0 && ticks < kLargestFileTimeTicks)) return var.Assign();
  const std::wstring stamp = WriteTimeStamp(FileTimeOfTicks(static_cast<int64_t>(ticks)), false);
  // A date past the year 9999 has no 14-digit stamp; it is no stamp at all.
  return stamp.size() != kTimeStampChars ? var.Assign() : var.Assign(stamp);
}

// The difference between two time stamps in whole units, truncated toward zero.
ResultCode SubtractTime(Variable& var, const wchar_t* other, int unit) {
  FILETIME a, b;
  if (!TimeStampToFileTime(var.TextOf(), a) || !TimeStampToFileTime(other, b)) return var.Assign();
  const int64_t seconds = (FileTimeTicks(a) - FileTimeTicks(b)) / kFileTimeTicksPerSecond;
  return var.AssignInteger(seconds / kSecondsPerUnit[unit]);
}

// A single "%name%" reference and nothing else.
bool IsSingleReference(const ArgRecord& arg) {
  return arg.RefList && arg.RefList[0].Var && !arg.RefList[1].Var && arg.RefList[0].Offset == 0 &&
         arg.RefList[0].Length == arg.ContentLength;
}

// The integer a plain decimal text such as "1" or "25" stands for, read
// without the general numeric rules; false for every other form (signs,
// blanks, hex, a leading zero, very long numbers), which those rules read.
bool PlainDecimal(const wchar_t* text, int64_t& value) {
  constexpr size_t kMostPlainDigits = 18;  // always fits an int64_t
  if (text[0] < L'1' || text[0] > L'9') return false;
  int64_t number = 0;
  for (size_t i = 0; text[i]; ++i) {
    if (text[i] < L'0' || text[i] > L'9' || i >= kMostPlainDigits) return false;
    number = number * 10 + (text[i] - L'0');
  }
  value = number;
  return true;
}

// The amount of a quick +=/-=, when it is an integer now.
bool QuickAmount(const ArgRecord& arg, int64_t& amount) {
  if (!arg.ExprFlag) return arg.Kind == ARG_TYPE_NORMAL && !arg.RefList && PlainDecimal(arg.Content, amount);
  const auto* form = static_cast<const CompiledExpression*>(arg.CompiledForm);
  if (!form || !form->Postfix) return false;
  if (form->IntegerOnly) return TryIntegerValue(*form, amount);
  if (form->PostfixCount != 1) return false;
  const ExprToken& only = form->Postfix[0];
  switch (only.Symbol) {
    case ExprSymbol::Integer: amount = only.ValueInt64; return true;
    case ExprSymbol::RawWord:
      if (!only.PreParsed) return false;
      amount = *only.PreParsed;
      return true;
    case ExprSymbol::RuntimeRef:
      if (only.Parts == g_ExprLoopIndexMarker) {
        amount = Values().CurrentThread->LoopIndex;
        return true;
      }
      return !only.Parts && only.Var->ResolveAlias()->PeekInteger(amount);
    default: return false;
  }
}

}  // namespace

bool RunQuickArithmetic(ScriptLine& line, ResultCode& result) {
  if (line.ArgTotal < 2) return false;
  const ArgRecord& output = line.ArgList[0];
  // A time unit makes it date arithmetic.
  if (line.ArgTotal > 2 && (line.ArgList[2].ContentLength || line.ArgList[2].ExprFlag)) return false;
  if (output.ExprFlag || !output.ResolvedVar) return false;
  Variable& var = *output.ResolvedVar->ResolveAlias();
  int64_t current = 0, amount = 0;
  if (!var.PeekInteger(current) || !QuickAmount(line.ArgList[1], amount)) return false;
  // Plain two's-complement arithmetic: overflow wraps.
  const uint64_t a = static_cast<uint64_t>(current), b = static_cast<uint64_t>(amount);
  result = var.AssignInteger(static_cast<int64_t>(line.CommandIndex == ACT_ADD ? a + b : a - b));
  return true;
}

ResultCode RunLegacyAssign(ScriptLine& line, std::wstring& buffer) {
  CommandArgs args;
  // The output variable resolves as usual; the value is read below.
  ResultCode result = PrepareArgs(line, args, buffer);
  if (result != ResultCode::Ok) return result;
  Variable* target = args.Var[0];
  if (!target) return ResultCode::Fail;
  if (line.ArgTotal < 2) return target->Assign();
  const ArgRecord& value = line.ArgList[1];
  if (IsSingleReference(value)) {
    Variable* source = value.RefList[0].Var;
    bool outOfDate = (source->Attrib() & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) != 0;
    if (!Values().CurrentThread->TrimArgs || outOfDate) return target->AssignVariable(*source);
  }
  const wchar_t* text = args[1];
  // An integer literal is stored as a number, but only in its plain form:
  // "007" or "+5" keep the exact text the author wrote.
  if (!value.RefList && IsNumeric(text, true, false, false) == PURE_INTEGER) {
    wchar_t canonical[kIntegerTextChars];
    IntegerToText(TextToInteger(text), canonical);
    if (wcscmp(canonical, text) == 0) return target->AssignInteger(TextToInteger(text));
  }
  if (!Values().CurrentThread->TrimArgs) return target->Assign(text, static_cast<ptrdiff_t>(args.Length[1]));
  std::wstring_view view(text, args.Length[1]);
  size_t start = view.find_first_not_of(L" \t");
  if (start == std::wstring_view::npos) return target->Assign();
  size_t end = view.find_last_not_of(L" \t");
  return target->Assign(view.substr(start, end - start + 1));
}

ResultCode RunArithmetic(ScriptLine& line, CommandArgs& args) {
  Variable* var = args.Var[0];
  if (!var) return ResultCode::Fail;
  const ActionType action = line.CommandIndex;
  const wchar_t* value = args[1];
  if ((action == ACT_ADD || action == ACT_SUB) && *args[2]) {
    wchar_t number[kFloatTextMaxChars];
    if (args.ValueKind == PURE_INTEGER) IntegerToText(args.ValueInteger, number);
    if (args.ValueKind == PURE_FLOAT) FloatToText(args.ValueFloat, number, kFloatTextMaxChars, L"%0.6f");
    if (args.ValueKind) value = number;
    int unit = TimeUnitIndex(args[2]);
    if (unit >= 0) return action == ACT_ADD ? AddTime(*var, value, unit) : SubtractTime(*var, value, unit);
  }
  // "x++" and "x += 5" give their amount as text: a plain number is read
  // once here instead of by the general rules at each use below.
  int64_t plain = 0;
  if (!args.ValueKind && PlainDecimal(value, plain)) {
    args.ValueKind = PURE_INTEGER;
    args.ValueInteger = plain;
  }
  NumericKind varKind = var->NumericType();
  NumericKind valueKind = args.ValueKind ? static_cast<NumericKind>(args.ValueKind) : IsNumeric(value);
  if (action == ACT_ADD && valueKind == PURE_NOT_NUMERIC) return ResultCode::Ok;
  bool useFloat = varKind == PURE_FLOAT || valueKind == PURE_FLOAT;
  if (useFloat) {
    double a = varKind == PURE_NOT_NUMERIC ? 0.0 : var->ToFloat(false);
    double b = valueKind == PURE_NOT_NUMERIC    ? 0.0
               : args.ValueKind == PURE_FLOAT   ? args.ValueFloat
               : args.ValueKind == PURE_INTEGER ? static_cast<double>(args.ValueInteger)
                                                : TextToDouble(value);
    switch (action) {
      case ACT_ADD: return var->AssignFloat(a + b);
      case ACT_SUB: return var->AssignFloat(a - b);
      case ACT_MULT: return var->AssignFloat(a * b);
      default: return b == 0.0 ? var->Assign() : var->AssignFloat(a / b);
    }
  }
  int64_t a = varKind == PURE_NOT_NUMERIC ? 0 : var->ToInteger(false);
  int64_t b = valueKind == PURE_NOT_NUMERIC    ? 0
              : args.ValueKind == PURE_INTEGER ? args.ValueInteger
                                               : TextToInteger(value);
  // Plain two's-complement arithmetic: overflow wraps.
  uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
  switch (action) {
    case ACT_ADD: return var->AssignInteger(static_cast<int64_t>(ua + ub));
    case ACT_SUB: return var->AssignInteger(static_cast<int64_t>(ua - ub));
    case ACT_MULT: return var->AssignInteger(static_cast<int64_t>(ua * ub));
    default:
      if (b == 0) return var->Assign();
      if (b == -1) return var->AssignInteger(static_cast<int64_t>(0 - ua));  // INT64_MIN / -1 wraps
      return var->AssignInteger(a / b);
  }
}
