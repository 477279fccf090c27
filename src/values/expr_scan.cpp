// Load-time scanning of expression arguments and the lexical rules shared with
// the compiler. Runs once per argument while the script loads, so clarity
// wins over speed here; the records it makes live in the load pool.
#include "values/expr_scan.h"

#include <cwctype>
#include <string>
#include <vector>

#include "base/error_sink.h"
#include "base/load_pool.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "values/numeric_text.h"
#include "values/parsed_arg.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Deepest bracket nesting the scanner tracks for object-literal keys; deeper
// text is still scanned, its keys are just not recognised as keys.
constexpr size_t kMaxTrackedNesting = 256;

// Decimal digit 0-9.
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A character that may appear in a variable or function name.
bool IsNameChar(wchar_t c) {
  if (c >= 128) return true;
  if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || IsDigit(c)) return true;
  return c == L'_' || c == L'$' || c == L'#' || c == L'@';
}

// The scan of one argument: its text, the references found so far and the
// little context the rules need (what came before the current position).
class Scanner {
 public:
  Scanner(std::wstring& text, const uint8_t* mask) : text_(text), mask_(mask) {}

  // Runs the scan; Fail after reporting.
  ResultCode Run();
  // The references found, in text order.
  const std::vector<ExprRef>& Refs() const { return refs_; }

 private:
  // The text as the shared lexical rules read it.
  ExprText View() const { return {text_.data(), text_.size(), mask_}; }
  // The character at i, or L'\0' past the end.
  wchar_t At(size_t i) const { return i < text_.size() ? text_[i] : L'\0'; }
  // Whether the character at i came from an escape sequence.
  bool IsLiteral(size_t i) const { return mask_ && i < text_.size() && mask_[i]; }
  // An unescaped dereference character at i.
  bool IsDerefAt(size_t i) const { return At(i) == Script().Syntax.DerefChar && At(i) && !IsLiteral(i); }
  // An unescaped double quote at i.
  bool IsQuoteAt(size_t i) const { return At(i) == L'"' && !IsLiteral(i); }

  // Reports a load error with the argument's text as detail.
  ResultCode Error(const wchar_t* message) { return ReportLoadError(message, text_); }
  // Reports the character at `at` as one that cannot stand in an expression.
  ResultCode IllegalAt(size_t at) {
    return ReportLoadError(expr_msg::IllegalChar, std::wstring_view(text_).substr(at));
  }
  // Counts references against the per-argument limit.
  ResultCode CountRefs(size_t added);

  // Skips a quoted literal starting at i.
  ResultCode ScanString(size_t& i);
  // A "." at i: ".=", concatenation, a member name (skipped) or a number.
  ResultCode ScanDot(size_t& i);
  // A word at i: a number, a word operator, a key, a call or a variable.
  ResultCode ScanWord(size_t& i);
  // A double-deref chunk starting at `start` (its leading word included).
  ResultCode ScanChunk(size_t start, size_t& i);
  // Records a variable reference, creating the variable.
  ResultCode AddVariable(size_t start, size_t end);
  // Whether the word ending at `end`, after the character `before`, is an
  // object-literal key.
  bool IsObjectKey(size_t end, wchar_t before) const;
  // Notes an operator character (brackets, operand-likeness).
  void NoteOperator(wchar_t c);

  std::wstring& text_;
  const uint8_t* mask_;
  std::vector<ExprRef> refs_;
  size_t refTotal_ = 0;
  wchar_t brackets_[kMaxTrackedNesting] = {};
  size_t depth_ = 0;
  bool operandBefore_ = false;   // the previous item ends an operand
  bool afterNew_ = false;        // the previous word was the operator "new"
  wchar_t lastSignificant_ = 0;  // the last character outside strings that is not blank
};

ResultCode Scanner::CountRefs(size_t added) {
  refTotal_ += added;
  if (refTotal_ > kMaxExprRefs) return Error(expr_msg::TooManyRefs);
  return ResultCode::Ok;
}

ResultCode Scanner::Run() {
  size_t i = 0;
  while (i < text_.size()) {
    const wchar_t c = text_[i];
    if (IsExprBlank(c)) {
      ++i;
      continue;
    }
    ResultCode result = ResultCode::Ok;
    if (IsQuoteAt(i)) {
      result = ScanString(i);
    } else if (IsDerefAt(i)) {
      const size_t start = i;
      result = ScanChunk(start, i);
    } else if (c == L'.' && !IsLiteral(i)) {
      result = ScanDot(i);
    } else if (IsExprOperatorChar(c) && !(c == L'.' && IsLiteral(i))) {
      // "++" and "--" right after an operand are post-increments, after
      // which the operand is still complete.
      if ((c == L'+' || c == L'-') && At(i + 1) == c && operandBefore_) {
        i += 2;
        lastSignificant_ = c;
        continue;
      }
      NoteOperator(c);
      ++i;
      continue;
    } else {
      result = ScanWord(i);
    }
    if (result != ResultCode::Ok) return result;
  }
  return ResultCode::Ok;
}

void Scanner::NoteOperator(wchar_t c) {
  lastSignificant_ = c;
  afterNew_ = false;
  switch (c) {
    case L'(':
    case L'[':
    case L'{':
      if (depth_ < kMaxTrackedNesting) brackets_[depth_] = c;
      ++depth_;
      operandBefore_ = false;
      return;
    case L')':
    case L']':
    case L'}':
      if (depth_) --depth_;
      operandBefore_ = true;
      return;
    default: operandBefore_ = false; return;
  }
}

ResultCode Scanner::ScanString(size_t& i) {
  size_t j = i + 1;
  for (;; ++j) {
    if (j >= text_.size()) return Error(expr_msg::MissingCloseQuote);
    if (!IsQuoteAt(j)) continue;
    if (IsQuoteAt(j + 1)) {
      ++j;  // a doubled quote stands for one
      continue;
    }
    break;
  }
  i = j + 1;
  operandBefore_ = true;
  afterNew_ = false;
  lastSignificant_ = L'"';
  return ResultCode::Ok;
}

ResultCode Scanner::ScanDot(size_t& i) {
  const wchar_t next = At(i + 1);
  if (next == L'=') {  // ".="
    i += 2;
    operandBefore_ = false;
    lastSignificant_ = L'=';
    return ResultCode::Ok;
  }
  if (IsExprBlank(next)) {
    // Concatenation is written with blanks on both sides, so that it can
    // never be mistaken for a member or a decimal point.
    if (i == 0 || !IsExprBlank(text_[i - 1])) return Error(expr_msg::AmbiguousDot);
    ++i;
    operandBefore_ = false;
    lastSignificant_ = L'.';
    return ResultCode::Ok;
  }
  if (operandBefore_) {
    // Member access: the name is not a variable.
    size_t j = i + 1;
    while (j < text_.size() && IsMemberNameChar(text_[j])) ++j;
    if (j == i + 1 && At(j) != L'(') return Error(expr_msg::AmbiguousDot);
    if (j < text_.size() && (!IsExprOperatorChar(text_[j]) || IsLiteral(j)))
      return ReportLoadError(expr_msg::CharNotAllowed, std::wstring_view(text_).substr(j));
    i = j;
    operandBefore_ = true;
    lastSignificant_ = L'.';
    return ResultCode::Ok;
  }
  if (IsDigit(next)) return ScanWord(i);  // a number such as .5
  return Error(expr_msg::AmbiguousDot);
}

bool Scanner::IsObjectKey(size_t end, wchar_t before) const {
  if (!depth_ || depth_ > kMaxTrackedNesting || brackets_[depth_ - 1] != L'{') return false;
  if (before != L'{' && before != L',') return false;
  const size_t colon = SkipExprBlanks(View(), end);
  return At(colon) == L':' && At(colon + 1) != L'=';
}

ResultCode Scanner::AddVariable(size_t start, size_t end) {
  std::wstring_view name(text_.data() + start, end - start);
  if (ValidateVariableName(name) != ResultCode::Ok) return ResultCode::Fail;
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  Variable* var = FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Loading);
  if (!var) return ResultCode::Fail;
  if (CountRefs(1) != ResultCode::Ok) return ResultCode::Fail;
  ExprRef ref;
  ref.Position = static_cast<uint16_t>(start);
  ref.Length = static_cast<uint16_t>(end - start);
  ref.Kind = ExprRefKind::Variable;
  ref.Var = var;
  refs_.push_back(ref);
  return ResultCode::Ok;
}

ResultCode Scanner::ScanWord(size_t& i) {
  const size_t start = i;
  const size_t end = ExprWordEnd(View(), start);
  // A word that runs into a dereference character is the start of a
  // double-deref chunk (the "Array" of Array%i%).
  if (IsDerefAt(end)) return ScanChunk(start, i);
  if (end == start) return IllegalAt(start);  // an escaped quote or deref character
  const ExprText view = View();
  const bool afterNew = afterNew_;
  const wchar_t before = lastSignificant_;
  afterNew_ = false;
  lastSignificant_ = text_[end - 1];
  i = end;

  if (IsExprKeyword(view, start, end, L"and") || IsExprKeyword(view, start, end, L"or")) {
    // The compiler sees the symbolic forms only; padding keeps positions.
    const bool isAnd = end - start == 3;
    text_.replace(start, end - start, isAnd ? L"&& " : L"||");
    operandBefore_ = false;
    return ResultCode::Ok;
  }
  if (IsExprKeyword(view, start, end, L"not")) {
    operandBefore_ = false;
    return ResultCode::Ok;
  }
  if (IsExprKeyword(view, start, end, L"new")) {
    operandBefore_ = false;
    afterNew_ = true;
    return ResultCode::Ok;
  }
  operandBefore_ = true;

  std::wstring word(text_, start, end - start);
  if ((IsDigit(word[0]) || word[0] == L'.') && IsNumeric(word.c_str(), false) != PURE_NOT_NUMERIC)
    return ResultCode::Ok;                              // a number literal
  if (IsObjectKey(end, before)) return ResultCode::Ok;  // {key: value}: the key is text
  for (size_t k = start; k < end; ++k)
    if (!IsNameChar(text_[k]) || IsLiteral(k)) return IllegalAt(k);
  if (At(end) == L'(' && !IsLiteral(end) && !afterNew) {
    if (word.size() > kMaxVarNameLength) return ReportLoadError(msg::FuncNameTooLong, word);
    if (CountRefs(1) != ResultCode::Ok) return ResultCode::Fail;
    ExprRef ref;
    ref.Position = static_cast<uint16_t>(start);
    ref.Length = static_cast<uint16_t>(end - start);
    ref.Kind = ExprRefKind::Call;
    refs_.push_back(ref);
    return ResultCode::Ok;
  }
  return AddVariable(start, end);
}

ResultCode Scanner::ScanChunk(size_t start, size_t& i) {
  std::vector<DerefEntry> parts;
  size_t j = start;
  for (;;) {
    while (j < text_.size() && IsNameChar(text_[j]) && !IsLiteral(j)) ++j;
    if (!IsDerefAt(j)) break;
    size_t close = j + 1;
    while (close < text_.size() && !IsDerefAt(close)) ++close;
    if (close >= text_.size()) return Error(expr_msg::MissingEndPercent);
    if (close == j + 1) return Error(expr_msg::EmptyVarRef);
    std::wstring_view name(text_.data() + j + 1, close - j - 1);
    if (ValidateVariableName(name) != ResultCode::Ok) return ResultCode::Fail;
    FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
    Variable* var = FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Loading);
    if (!var) return ResultCode::Fail;
    parts.push_back({static_cast<uint16_t>(j - start), static_cast<uint16_t>(close - j + 1), var});
    j = close + 1;
  }
  // A chunk that starts with neither a name character nor a reference
  // (".5%x%", where the dot cannot join a name) is no operand at all.
  if (j == start) return ReportLoadError(expr_msg::CharNotAllowed, std::wstring_view(text_).substr(j));
  // The chunk must end where an operator, a blank or a string begins.
  if (j < text_.size() && !IsExprBlank(text_[j]) && !IsQuoteAt(j) && (!IsExprOperatorChar(text_[j]) || IsLiteral(j)))
    return IllegalAt(j);
  if (CountRefs(parts.size()) != ResultCode::Ok) return ResultCode::Fail;
  ExprRef ref;
  ref.Position = static_cast<uint16_t>(start);
  ref.Length = static_cast<uint16_t>(j - start);
  ref.Kind = ExprRefKind::DoubleDeref;
  ref.Parts = PoolNewArray<DerefEntry>(parts.size() + 1);
  for (size_t k = 0; k < parts.size(); ++k) ref.Parts[k] = parts[k];
  refs_.push_back(ref);
  i = j;
  operandBefore_ = true;
  afterNew_ = false;
  lastSignificant_ = text_[j - 1];
  return ResultCode::Ok;
}

}  // namespace

bool IsExprOperatorChar(wchar_t c) {
  switch (c) {
    case L' ':
    case L'\t':
    case L'<':
    case L'>':
    case L'=':
    case L'/':
    case L'|':
    case L'^':
    case L',':
    case L':':
    case L'*':
    case L'&':
    case L'~':
    case L'!':
    case L'(':
    case L')':
    case L'[':
    case L']':
    case L'{':
    case L'}':
    case L'+':
    case L'-':
    case L'?':
    case L'.': return true;
    default: return false;
  }
}

bool IsMemberNameChar(wchar_t c) {
  return c >= 128 || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || IsDigit(c) || c == L'_';
}

size_t SkipExprBlanks(const ExprText& text, size_t from) {
  while (from < text.Length && IsExprBlank(text.Chars[from])) ++from;
  return from;
}

size_t ExprWordEnd(const ExprText& text, size_t start) {
  const wchar_t deref = Script().Syntax.DerefChar;
  const wchar_t first = text.At(start);
  const bool number = IsDigit(first) || (first == L'.' && IsDigit(text.At(start + 1)));
  const bool hex = first == L'0' && (text.At(start + 1) == L'x' || text.At(start + 1) == L'X');
  bool sawPoint = false;
  size_t j = start;
  for (; j < text.Length; ++j) {
    const wchar_t c = text.Chars[j];
    if (text.IsLiteral(j)) {
      // An escaped quote or deref character is never syntax; other escaped
      // characters are read as they are.
      if (c == L'"' || c == deref) break;
    } else if (c == L'"' || c == deref) {
      break;
    }
    if (c == L'.' && number && !hex && !sawPoint) {
      sawPoint = true;
      continue;
    }
    // An exponent's sign belongs to a decimal number with a point ("1.5e+3").
    if ((c == L'+' || c == L'-') && number && !hex && sawPoint && j > start &&
        (text.Chars[j - 1] == L'e' || text.Chars[j - 1] == L'E'))
      continue;
    if (IsExprOperatorChar(c)) break;
  }
  return j;
}

bool IsExprKeyword(const ExprText& text, size_t start, size_t end, std::wstring_view keyword) {
  if (end - start != keyword.size()) return false;
  for (size_t k = 0; k < keyword.size(); ++k) {
    wchar_t c = text.Chars[start + k];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != keyword[k]) return false;
  }
  const size_t next = SkipExprBlanks(text, end);
  return !(text.At(next) == L':' && text.At(next + 1) != L'=');
}

ResultCode ScanExpressionArg(ParsedArg& arg, ArgRecord& record) {
  std::vector<uint8_t> mask(arg.Text.size());
  bool anyLiteral = false;
  for (size_t k = 0; k < arg.Text.size(); ++k) {
    mask[k] = arg.Literal[k] ? 1 : 0;
    anyLiteral = anyLiteral || arg.Literal[k];
  }
  Scanner scanner(arg.Text, anyLiteral ? mask.data() : nullptr);
  if (scanner.Run() != ResultCode::Ok) return ResultCode::Fail;
  auto* form = PoolNew<CompiledExpression>();
  const std::vector<ExprRef>& refs = scanner.Refs();
  if (!refs.empty()) {
    ExprRef* copy = PoolNewArray<ExprRef>(refs.size());
    for (size_t k = 0; k < refs.size(); ++k) copy[k] = refs[k];
    form->Refs = copy;
    form->RefCount = static_cast<uint16_t>(refs.size());
  }
  record.CompiledForm = form;
  record.ContentLength = static_cast<uint16_t>(arg.Text.size());
  return ResultCode::Ok;
}
