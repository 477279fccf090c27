// Escape processing, argument splitting and argument records.
#include "script/arg_parser.h"

#include <windows.h>

#include "base/error_sink.h"
#include "base/load_pool.h"
#include "base/script_context.h"
#include "script/script_reader.h"
#include "values/expr_scan.h"
#include "values/expr_token.h"
#include "values/numeric_text.h"
#include "values/values_state.h"

namespace {

// A variable named in the script text, found by the scope of the function
// being defined (or the globals outside functions).
Variable* FindOrAddLoadTimeVariable(std::wstring_view name) {
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  return FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Loading);
}

inline constexpr wchar_t kInvalidEscapedPercent[] = L"Invalid `%.";
inline constexpr wchar_t kNotOutputVariable[] = L"Not allowed as an output variable.";

// A character that may appear in a variable name.
bool IsNameChar(wchar_t c) { return c >= 128 || iswalnum(c) || c == L'_' || c == L'$' || c == L'#' || c == L'@'; }

// True when the 1-based parameter is delimited like an expression: one of
// the command's numeric parameters, with the WinMove and Transform rules.
bool DelimitedAsExpression(ActionType action, int position, const std::vector<ParsedArg>& sofar) {
  if (action == ACT_TRANSFORM) {
    if (position != 3 && position != 4) return false;
    // Sub-commands whose operands are text, not numbers.
    static const wchar_t* const kTextSubCommands[] = {L"Unicode", L"Asc", L"Chr", L"Deref", L"HTML"};
    if (sofar.size() < 2) return false;
    for (const wchar_t* name : kTextSubCommands)
      if (CompareStringOrdinal(sofar[1].Text.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL) return false;
    return true;
  }
  return IsNumericParam(action, position);
}

// Finds where an argument starting at `from` ends: at the next unescaped
// delimiter, or for expressions the next one outside quotes and brackets.
size_t FindArgEnd(const ParsedArg& all, size_t from, bool asExpression) {
  const wchar_t delimiter = Script().Syntax.Delimiter;
  int depth = 0;
  bool inQuotes = false;
  for (size_t i = from; i < all.Text.size(); ++i) {
    wchar_t c = all.Text[i];
    if (all.Literal[i]) continue;
    if (asExpression) {
      if (c == L'"') {
        inQuotes = !inQuotes;
        continue;
      }
      if (inQuotes) continue;
      if (c == L'(' || c == L'[' || c == L'{')
        ++depth;
      else if ((c == L')' || c == L']' || c == L'}') && depth > 0)
        --depth;
      else if (c == delimiter && depth == 0)
        return i;
    } else if (c == delimiter) {
      return i;
    }
  }
  return all.Text.size();
}

// WinMove's parameters from the third on may be the word "default".
bool IsWinMoveDefault(ActionType action, int position, const ParsedArg& all, size_t from) {
  if (action != ACT_WINMOVE || position < 3) return false;
  size_t end = FindArgEnd(all, from, false);
  std::wstring word = all.Text.substr(from, end - from);
  reader::TrimBlanks(word);
  return CompareStringOrdinal(word.c_str(), -1, L"default", -1, TRUE) == CSTR_EQUAL;
}

// True for a numeric parameter that is a single "%name%" reference,
// optionally followed by digits: it stays a plain reference.
bool IsSingleReferenceWithDigits(const ParsedArg& arg) {
  const wchar_t deref = Script().Syntax.DerefChar;
  const std::wstring& t = arg.Text;
  if (t.size() < 3 || t[0] != deref || arg.Literal[0]) return false;
  size_t close = t.find(deref, 1);
  if (close == std::wstring::npos || close == 1 || arg.Literal[close]) return false;
  for (size_t i = 1; i < close; ++i)
    if (!IsNameChar(t[i])) return false;
  for (size_t i = close + 1; i < t.size(); ++i)
    if (!iswdigit(t[i])) return false;
  return true;
}

// True when a numeric parameter must be evaluated as an expression.
bool NumericParamIsExpression(const ParsedArg& arg) {
  if (arg.Text.empty()) return false;
  if (IsNumeric(arg.Text.c_str()) != PURE_NOT_NUMERIC) return false;
  // Anything else, operators or a bare variable name alike, is evaluated.
  return !IsSingleReferenceWithDigits(arg);
}

// Arguments of these actions are always expressions.
bool AlwaysExpression(ActionType action, int position) {
  switch (action) {
    case ACT_ASSIGNEXPR: return position == 1;
    case ACT_EXPRESSION:
    case ACT_IFEXPR:
    case ACT_STATIC:
    case ACT_WHILE:
    case ACT_UNTIL:
    case ACT_HASH_IF: return position == 0;
    default: return false;
  }
}

// Copies the literal marks of an expression into the pool, or null when
// nothing in it was escaped.
const uint8_t* PoolLiteralMask(const ParsedArg& arg) {
  bool any = false;
  for (bool literal : arg.Literal) any = any || literal;
  if (!any) return nullptr;
  auto* mask = static_cast<uint8_t*>(PoolAlloc(arg.Literal.size()));
  for (size_t i = 0; i < arg.Literal.size(); ++i) mask[i] = arg.Literal[i] ? 1 : 0;
  return mask;
}

// Locates the "%name%" references of a normal argument, finding or
// creating each variable. `lineRefs` counts references across the line.
ResultCode ParseDerefs(const ParsedArg& arg, ArgRecord& record, int& lineRefs) {
  const wchar_t deref = Script().Syntax.DerefChar;
  const std::wstring& t = arg.Text;
  std::vector<DerefEntry> refs;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] != deref || arg.Literal[i]) continue;
    size_t close = i + 1;
    while (close < t.size() && t[close] != deref) ++close;
    if (close >= t.size()) return ReportLoadError(expr_msg::MissingEndPercent, t);
    if (arg.Literal[close]) return ReportLoadError(kInvalidEscapedPercent, t);
    size_t nameLength = close - i - 1;
    if (nameLength == 0) return ReportLoadError(expr_msg::EmptyVarRef, t);
    std::wstring_view name(t.data() + i + 1, nameLength);
    if (nameLength > kMaxVarNameLength) return ReportLoadError(msg::VarNameTooLong, name);
    if (ValidateVariableName(name) != ResultCode::Ok) return ResultCode::Fail;
    if (++lineRefs > kMaxDerefsPerLine) return ReportLoadError(expr_msg::TooManyRefs, t);
    Variable* var = FindOrAddLoadTimeVariable(name);
    if (!var) return ResultCode::Fail;
    refs.push_back({static_cast<uint16_t>(i), static_cast<uint16_t>(close - i + 1), var});
    i = close;
  }
  if (refs.empty()) return ResultCode::Ok;
  record.RefList = PoolNewArray<DerefEntry>(refs.size() + 1);
  for (size_t n = 0; n < refs.size(); ++n) record.RefList[n] = refs[n];
  return ResultCode::Ok;
}

// True when the text holds a dereference character that is not escaped.
bool HasDerefChar(const ParsedArg& arg) {
  const wchar_t deref = Script().Syntax.DerefChar;
  for (size_t i = 0; i < arg.Text.size(); ++i)
    if (arg.Text[i] == deref && !arg.Literal[i]) return true;
  return false;
}

// Legacy if-forms and Sort may take "% expr" in their input variable.
bool InputVarAcceptsExpression(ActionType action) {
  return (action >= ACT_IFIN && action <= ACT_IFNOTBETWEEN) || (action >= ACT_IFEQUAL && action <= ACT_IFLESSOREQUAL) ||
         action == ACT_SORT;
}

}  // namespace

ParsedArg ProcessEscapes(std::wstring_view raw) {
  const wchar_t escape = Script().Syntax.EscapeChar;
  ParsedArg out;
  out.Text.reserve(raw.size());
  out.Literal.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == escape && i + 1 < raw.size()) {
      out.Append(reader::EscapedChar(raw[++i], false), true);
    } else {
      out.Append(raw[i], false);
    }
  }
  return out;
}

bool IsForcedExpression(const ParsedArg& arg) {
  return arg.Text.size() >= 2 && arg.Text[0] == Script().Syntax.DerefChar && !arg.Literal[0] && arg.IsBlankAt(1);
}

std::vector<ParsedArg> SplitArgs(const ParsedArg& all, ActionType action, int mostArgs) {
  std::vector<ParsedArg> args;
  size_t pos = 0;
  while (pos < all.Text.size() && all.IsBlankAt(pos)) ++pos;
  if (pos >= all.Text.size() || mostArgs == 0) return args;
  for (;;) {
    int position = static_cast<int>(args.size()) + 1;
    size_t end;
    if (position >= mostArgs) {
      end = all.Text.size();
    } else {
      ParsedArg probe = all.Slice(pos, std::min(pos + 2, all.Text.size()));
      bool asExpression = IsForcedExpression(probe) || (DelimitedAsExpression(action, position, args) &&
                                                        !IsWinMoveDefault(action, position, all, pos));
      end = FindArgEnd(all, pos, asExpression);
    }
    ParsedArg arg = all.Slice(pos, end);
    arg.RightTrim();
    args.push_back(std::move(arg));
    if (end >= all.Text.size()) break;
    pos = end + 1;
    while (pos < all.Text.size() && all.IsBlankAt(pos)) ++pos;
    if (pos >= all.Text.size()) {
      args.emplace_back();  // a trailing delimiter leaves an empty last argument
      break;
    }
  }
  return args;
}

std::vector<ParsedArg> SplitForArgs(const ParsedArg& all) {
  std::vector<ParsedArg> args;
  // The keyword "in" between blanks ends the variables.
  size_t in = std::wstring::npos;
  for (size_t i = 1; i + 2 < all.Text.size(); ++i) {
    if (!all.IsBlankAt(i - 1) || !all.IsBlankAt(i + 2) || all.Literal[i] || all.Literal[i + 1]) continue;
    if ((all.Text[i] == L'i' || all.Text[i] == L'I') && (all.Text[i + 1] == L'n' || all.Text[i + 1] == L'N')) {
      in = i;
      break;
    }
  }
  if (in == std::wstring::npos) return args;
  ParsedArg vars = all.Slice(0, in);
  size_t comma = std::wstring::npos;
  for (size_t i = 0; i < vars.Text.size(); ++i)
    if (vars.Text[i] == Script().Syntax.Delimiter && !vars.Literal[i]) {
      comma = i;
      break;
    }
  ParsedArg key = vars.Slice(0, comma == std::wstring::npos ? vars.Text.size() : comma);
  ParsedArg value = comma == std::wstring::npos ? ParsedArg() : vars.Slice(comma + 1, vars.Text.size());
  ParsedArg object = all.Slice(in + 2, all.Text.size());
  for (ParsedArg* arg : {&key, &value, &object}) {
    arg->LeftTrim();
    arg->RightTrim();
    args.push_back(*arg);
  }
  return args;
}

ResultCode BuildArgRecords(ActionType& action, std::vector<ParsedArg>& args, ArgRecord*& records) {
  records = PoolNewArray<ArgRecord>(args.size());
  int lineRefs = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    ParsedArg& arg = args[i];
    ArgRecord& record = records[i];
    const int position = static_cast<int>(i);
    record.Kind = ArgKindOf(action, position);
    if (action == ACT_LOOP && position == 1 && !args.empty() &&
        CompareStringOrdinal(args[0].Text.c_str(), -1, L"Parse", -1, TRUE) == CSTR_EQUAL)
      record.Kind = ARG_TYPE_INPUT_VAR;

    if (IsForcedExpression(arg) && record.Kind != ARG_TYPE_OUTPUT_VAR &&
        (record.Kind == ARG_TYPE_NORMAL || InputVarAcceptsExpression(action))) {
      arg = arg.Slice(2, arg.Text.size());
      arg.LeftTrim();
      record.ExprFlag = true;
      if (action == ACT_ASSIGN && position == 1) action = ACT_ASSIGNEXPR;
    } else if (AlwaysExpression(action, position)) {
      record.ExprFlag = true;
    } else if (record.Kind == ARG_TYPE_NORMAL && IsNumericParam(action, position + 1) &&
               NumericParamIsExpression(arg)) {
      record.ExprFlag = true;
    }

    record.ContentLength = static_cast<uint16_t>(arg.Text.size());
    if (record.ExprFlag) {
      if (ScanExpressionArg(arg, record) != ResultCode::Ok) return ResultCode::Fail;
      record.Content = PoolCopy(arg.Text);
      record.LiteralMask = PoolLiteralMask(arg);
      continue;
    }
    if (record.Kind != ARG_TYPE_NORMAL && !arg.Text.empty() && !HasDerefChar(arg)) {
      if (arg.Text.size() > kMaxVarNameLength) return ReportLoadError(msg::VarNameTooLong, arg.Text);
      if (ValidateVariableName(arg.Text) != ResultCode::Ok) return ResultCode::Fail;
      record.ResolvedVar = FindOrAddLoadTimeVariable(arg.Text);
      if (!record.ResolvedVar) return ResultCode::Fail;
      uint8_t type = record.ResolvedVar->Type();
      if (record.Kind == ARG_TYPE_OUTPUT_VAR && (type == VAR_BUILTIN || type == VAR_CLIPBOARDALL))
        return ReportLoadError(kNotOutputVariable, arg.Text);
      record.Content = L"";
      record.ContentLength = 0;
      continue;
    }
    record.Content = PoolCopy(arg.Text);
    if (ParseDerefs(arg, record, lineRefs) != ResultCode::Ok) return ResultCode::Fail;
  }
  return ResultCode::Ok;
}
