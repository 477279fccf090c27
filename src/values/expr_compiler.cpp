// The expression compiler: tokenizer, operator-precedence pass and the final
// copy into the load pool. Everything here runs at load time, once per
// expression argument; the working arrays are fixed-size and reused.
#include "values/expr_compiler.h"
#include "values/expr_integer.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/error_sink.h"
#include "base/load_pool.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "values/expr_scan.h"
#include "values/numeric_text.h"
#include "values/parsed_arg.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// What literals and "~=" call when the functions code does not provide
// Array, Object or RegExMatch: records with the right limits that report
// what this version lacks when run.
constexpr ExprFunc PlaceholderFunc(const wchar_t* name, int minParams, int maxParams, bool variadic,
                                   const wchar_t* message) {
  ExprFunc f;
  f.Name = name;
  f.MinParams = minParams;
  f.MaxParams = maxParams;
  f.Variadic = variadic;
  f.UnavailableMessage = message;
  return f;
}
const ExprFunc kArrayPlaceholder = PlaceholderFunc(L"Array", 0, 0, true, expr_msg::ObjectsUnsupported);
const ExprFunc kObjectPlaceholder = PlaceholderFunc(L"Object", 0, 0, true, expr_msg::ObjectsUnsupported);
const ExprFunc kRegExMatchPlaceholder = PlaceholderFunc(L"RegExMatch", 2, 4, false, expr_msg::RegExUnsupported);

// Largest copy of a double-deref chunk's reference list.
constexpr size_t kMaxChunkListBytes = 65535;
// Most tokens the postfix pass can produce: the infix tokens plus the ones
// it inserts (omitted parameters, key counts, the operators of member
// compound assignments).
constexpr size_t kMaxWorkTokens = 3 * kMaxExprTokens + 2;

// A token while compiling: the token itself (first, so that circuit links,
// which point at tokens, lead back to it) and what the passes note about it.
struct CompTok {
  ExprToken T;
  uint16_t Pos;
  bool MemberName;      // a RawWord naming a member
  bool IsIndex;         // an OpenBracket after an operand: x[...]
  bool OpensCall;       // an OpenParen whose call counts its parameters
  bool KeyBoundary;     // a ":" that separated an object literal's key from its value
  bool Dropped;         // an increment taken over by a member call
  CompTok* SavedCall;   // opener: the call that was current before it
  CompTok* PendingSet;  // assignment: the member-set call it turns into
  int OutIndex;         // place in the final array, or -1
};
static_assert(offsetof(CompTok, T) == 0, "circuit links lead back to their CompTok");

// The compound assignments and the binary operator each one computes.
ExprSymbol BinaryOfCompound(ExprSymbol assign) {
  switch (assign) {
    case ExprSymbol::AssignAdd: return ExprSymbol::Add;
    case ExprSymbol::AssignSubtract: return ExprSymbol::Subtract;
    case ExprSymbol::AssignMultiply: return ExprSymbol::Multiply;
    case ExprSymbol::AssignDivide: return ExprSymbol::Divide;
    case ExprSymbol::AssignFloorDivide: return ExprSymbol::FloorDivide;
    case ExprSymbol::AssignBitOr: return ExprSymbol::BitOr;
    case ExprSymbol::AssignBitXor: return ExprSymbol::BitXor;
    case ExprSymbol::AssignBitAnd: return ExprSymbol::BitAnd;
    case ExprSymbol::AssignShiftLeft: return ExprSymbol::ShiftLeft;
    case ExprSymbol::AssignShiftRight: return ExprSymbol::ShiftRight;
    default: return ExprSymbol::Concat;
  }
}

// Case-insensitive equality of a name with an ASCII word.
bool NameIs(std::wstring_view name, std::wstring_view word) { return CompareNamesNoCase(name, word) == 0; }

// Decimal digit 0-9.
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One operator spelled by the characters at a position: the longest match
// among the alternatives of its first character.
struct OperatorSpelling {
  ExprSymbol Symbol;
  size_t Length;
};

}  // namespace

// The compiler of the running load: one instance, made on first use and kept
// in ValuesState (which is why it is not file-local); its arrays are too
// large for the stack and are reused for every argument.
class ExprCompiler {
 public:
  // Working arrays for arguments of any size up to the limits.
  ExprCompiler() : toks_(new CompTok[kMaxWorkTokens]) {}

  // Compiles one scanned argument of `line`; Fail after reporting.
  ResultCode Compile(ScriptLine& line, ArgRecord& arg, CompiledExpression& form);

 private:
  // Reports a compile error on the line being compiled.
  ResultCode Error(const wchar_t* message, std::wstring_view extra = {}) {
    return ReportLineError(line_, message, ERROR_KIND_ERROR, extra);
  }
  // The text of the expression from a position on (error details).
  std::wstring_view TextFrom(size_t pos) const {
    return std::wstring_view(text_.Chars, text_.Length).substr(pos < text_.Length ? pos : text_.Length);
  }

  // --- tokenizer
  // Turns the text into infix tokens, ending them with an End sentinel.
  ResultCode Tokenize();
  // Looks up every function the expression calls, before anything else.
  ResultCode ResolveCalls();
  // A new infix token; null after "Expression too long" was reported.
  CompTok* Add(ExprSymbol symbol, size_t pos);
  // A call record in the pool.
  ExprCall* NewCall(const ExprFunc* func, int params, size_t pos);
  // Whether the last infix token ends an operand (an implicit concatenation
  // or a binary operator may follow).
  bool PrevOperandLike() const;
  // The symbol of the last infix token (StackBottom when there is none).
  ExprSymbol PrevSymbol() const { return infixCount_ ? toks_[infixCount_ - 1].T.Symbol : ExprSymbol::StackBottom; }
  // Inserts the implicit Concat an operand needs after another operand.
  bool AddConcatIfNeeded(size_t pos);
  // The tokens of one reference the scan found.
  bool AddRef(const ExprRef& ref, size_t refIndex);
  // The token of a variable reference (constants for fixed built-ins).
  bool AddVariableToken(const ExprRef& ref);
  // A quoted literal, and the Concat a sign-like operator after it needs.
  bool AddString(size_t& i);
  // A word that is not a reference: a number, "not", "new", or a key.
  bool AddWord(size_t& i);
  // A "." in any of its roles: ".=", concatenation, member access, a number.
  bool AddDot(size_t& i);
  // Brackets, the folded negative number, and the operator table.
  bool AddOperator(size_t& i);
  // The operator spelled at a position, longest match first.
  OperatorSpelling SpellOperator(size_t i) const;
  // Whether "new" stands before the object of the member chain being read.
  bool NewBeforeObject() const;
  // A zero-terminated copy of text in the load pool.
  const wchar_t* PoolText(std::wstring_view text) { return PoolCopy(text); }

  // --- postfix
  // Reorders the infix tokens into postfix in out_.
  ResultCode ToPostfix();
  // The operator stack.
  void Push(CompTok* t) { stack_[sp_++] = t; }
  CompTok* Pop() { return stack_[--sp_]; }
  CompTok* Top() const { return stack_[sp_ - 1]; }
  // Appends a token to the postfix output.
  void Output(CompTok* t) { out_[outCount_++] = t; }
  // A token the postfix pass inserts (omitted parameters, key counts, the
  // operators of member compound assignments).
  CompTok* NewExtra(ExprSymbol symbol, size_t pos);
  // Pushes an operator after popping those that bind at least as tightly.
  void PushOperator(CompTok* t);
  // Pops the top operator to the output, applying the pop-time rewrites.
  void PopGeneric();
  // Outputs a finished call; member calls become sets or increments when
  // the infix token after position k (or the stack) asks for it.
  void PopCallToOutput(CompTok* t, size_t k);
  // Whether the infix token continues a member chain (x.y.z, x.y[1]).
  bool ChainContinues(const CompTok& next) const;
  // A comma or a closing bracket: pops to the opener and counts parameters.
  ResultCode CloseOrComma(CompTok* t, size_t k);
  // What ends a parameter.
  enum class Boundary { Comma, Key, Closer };
  // Counts the parameter that ends at infix token k of the current call.
  ResultCode CountParameter(CompTok* opener, size_t k, Boundary boundary);
  // Counts one parameter against the function's maximum.
  ResultCode CountOne(ExprCall& call);
  // A ":" of ?: (or of an object literal's key).
  ResultCode HandleElse(CompTok* t, size_t k);
  // Copies the postfix tokens into the pool and classifies literals.
  ResultCode FinalCopy(CompiledExpression& form);

  ScriptLine* line_ = nullptr;
  ExprText text_;
  const CompiledExpression* form_ = nullptr;
  const ExprFunc* callFuncs_[kMaxExprRefs] = {};

  std::unique_ptr<CompTok[]> toks_;
  size_t infixCount_ = 0;
  size_t extraCount_ = 0;  // tokens made after the infix array (from the top of toks_)

  CompTok bottom_{};
  CompTok* stack_[kMaxExprTokens + 2] = {};
  size_t sp_ = 0;
  CompTok* out_[kMaxWorkTokens] = {};
  size_t outCount_ = 0;
  CompTok* currentCall_ = nullptr;
};

// ---------------------------------------------------------------------------
// Tokenizer

CompTok* ExprCompiler::NewExtra(ExprSymbol symbol, size_t pos) {
  // Extra tokens grow down from the end of the array, infix tokens up from 0.
  CompTok* t = &toks_[kMaxWorkTokens - 1 - extraCount_++];
  *t = CompTok{};
  t->T.Symbol = symbol;
  t->Pos = static_cast<uint16_t>(pos);
  t->OutIndex = -1;
  return t;
}

CompTok* ExprCompiler::Add(ExprSymbol symbol, size_t pos) {
  if (infixCount_ >= kMaxExprTokens) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(Error(expr_msg::TooLong));
    return nullptr;
  }
  CompTok* t = &toks_[infixCount_++];
  *t = CompTok{};
  t->T.Symbol = symbol;
  t->Pos = static_cast<uint16_t>(pos);
  t->OutIndex = -1;
  return t;
}

ExprCall* ExprCompiler::NewCall(const ExprFunc* func, int params, size_t pos) {
  ExprCall* call = PoolNew<ExprCall>();
  call->Func = func;
  call->ParamCount = params;
  call->Position = static_cast<uint16_t>(pos);
  return call;
}

bool ExprCompiler::PrevOperandLike() const {
  const ExprSymbol prev = PrevSymbol();
  return prev < ExprSymbol::OpenParen && prev != ExprSymbol::StackBottom;
}

bool ExprCompiler::AddConcatIfNeeded(size_t pos) {
  if (!PrevOperandLike()) return true;
  return Add(ExprSymbol::Concat, pos) != nullptr;
}

ResultCode ExprCompiler::ResolveCalls() {
  for (size_t r = 0; r < form_->RefCount; ++r) {
    const ExprRef& ref = form_->Refs[r];
    callFuncs_[r] = nullptr;
    if (ref.Kind != ExprRefKind::Call) continue;
    std::wstring_view name(text_.Chars + ref.Position, ref.Length);
    const ExprFunc* func = Values().FindFunction ? Values().FindFunction(name) : nullptr;
    if (!func) return Error(expr_msg::NonexistentFunction, name);
    callFuncs_[r] = func;
  }
  return ResultCode::Ok;
}

bool ExprCompiler::AddVariableToken(const ExprRef& ref) {
  Variable* var = ref.Var;
  const std::wstring_view name = var->Name();
  if (!AddConcatIfNeeded(ref.Position)) return false;
  CompTok* t = Add(ExprSymbol::RuntimeRef, ref.Position);
  if (!t) return false;
  // Built-ins whose value never changes cost nothing at run time.
  if (NameIs(name, L"True") || NameIs(name, L"False")) {
    t->T.SetInteger(name[0] == L'T' || name[0] == L't' ? 1 : 0);
  } else if (NameIs(name, L"A_PtrSize")) {
    t->T.SetInteger(static_cast<int64_t>(sizeof(void*)));
  } else if (NameIs(name, L"A_IsUnicode") || NameIs(name, L"A_Is64bitOS")) {
    t->T.SetInteger(1);
  } else if (NameIs(name, L"A_IsCompiled")) {
    // Only a script embedded in the executable is a compiled one.
    if (Script().Origin == ScriptOrigin::Resource)
      t->T.SetInteger(1);
    else
      t->T.SetText(L"");
  } else if (NameIs(name, L"A_Index")) {
    t->T.Var = var;
    t->T.Parts = g_ExprLoopIndexMarker;
  } else if (var->ResolveAlias()->Type() == VAR_NORMAL && Values().NoEnv) {
    t->T.SetVariable(var);
  } else {
    // Read when run: an empty variable may fall back to the environment.
    t->T.Var = var;
    t->T.Parts = nullptr;
  }
  return true;
}

bool ExprCompiler::AddRef(const ExprRef& ref, size_t refIndex) {
  switch (ref.Kind) {
    case ExprRefKind::Variable: return AddVariableToken(ref);
    case ExprRefKind::Call: {
      if (!AddConcatIfNeeded(ref.Position)) return false;
      CompTok* t = Add(ExprSymbol::Call, ref.Position);
      if (!t) return false;
      t->T.CallInfo = NewCall(callFuncs_[refIndex], 0, ref.Position);
      return true;
    }
    case ExprRefKind::DoubleDeref: break;
  }
  // A double-deref chunk: its own copy of the text and of the references.
  const ExprSymbol before = PrevSymbol();
  if (!AddConcatIfNeeded(ref.Position)) return false;
  CompTok* t = Add(ExprSymbol::RuntimeRef, ref.Position);
  if (!t) return false;
  t->T.Text = PoolText(std::wstring_view(text_.Chars + ref.Position, ref.Length));
  size_t parts = 0;
  while (ref.Parts[parts].Var) ++parts;
  if ((parts + 1) * sizeof(DerefEntry) > kMaxChunkListBytes) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(Error(expr_msg::OutOfMemory));
    return false;
  }
  DerefEntry* copy = PoolNewArray<DerefEntry>(parts + 1);
  for (size_t k = 0; k <= parts; ++k) copy[k] = ref.Parts[k];
  t->T.Parts = copy;
  const size_t after = ref.Position + ref.Length;
  if (text_.At(after) == L'(' && !text_.IsLiteral(after) && before != ExprSymbol::New) {
    // The chunk names a function, found by name when the call runs.
    copy[parts].Offset = kExprChunkNamesFunction;
    CompTok* call = Add(ExprSymbol::Call, ref.Position);
    if (!call) return false;
    call->T.CallInfo = NewCall(nullptr, 0, ref.Position);
  }
  return true;
}

bool ExprCompiler::AddString(size_t& i) {
  std::wstring literal;
  size_t j = i + 1;
  for (;; ++j) {
    if (j >= text_.Length) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(Error(expr_msg::MissingCloseQuote));
      return false;
    }
    const wchar_t c = text_.Chars[j];
    if (c == L'"' && !text_.IsLiteral(j)) {
      if (text_.At(j + 1) == L'"' && !text_.IsLiteral(j + 1)) {
        literal += L'"';
        ++j;
        continue;
      }
      break;
    }
    literal += c;
  }
  if (!AddConcatIfNeeded(i)) return false;
  CompTok* t = Add(ExprSymbol::String, i);
  if (!t) return false;
  t->T.SetText(PoolText(literal));
  i = j + 1;
  // A quoted literal followed by a sign-like operator concatenates with what
  // follows, which then reads as unary: "x" -1 is the text x-1.
  const size_t next = SkipExprBlanks(text_, i);
  const wchar_t c = text_.At(next), c2 = text_.At(next + 1);
  // A "*" that closes a call's arguments marks the variadic call instead.
  const wchar_t afterStar = text_.At(SkipExprBlanks(text_, next + 1));
  const bool spreads = c == L'*' && (afterStar == L')' || afterStar == L']');
  if (c && std::wstring_view(L"+-*&~!").find(c) != std::wstring_view::npos && c2 != L'=' &&
      !(c == L'&' && c2 == L'&') && !spreads)
    return Add(ExprSymbol::Concat, next) != nullptr;
  return true;
}

bool ExprCompiler::AddWord(size_t& i) {
  const size_t end = ExprWordEnd(text_, i);
  if (end == i) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(Error(expr_msg::IllegalChar, TextFrom(i)));
    return false;
  }
  CompTok* t;
  if (IsExprKeyword(text_, i, end, L"not")) {
    t = Add(ExprSymbol::WordNot, i);
  } else if (IsExprKeyword(text_, i, end, L"new")) {
    if (!AddConcatIfNeeded(i)) return false;
    t = Add(ExprSymbol::New, i);
    if (t) t->T.CallInfo = NewCall(&g_ExprNew, 1, i);
  } else {
    if (!AddConcatIfNeeded(i)) return false;
    t = Add(ExprSymbol::RawWord, i);
    if (t) t->T.SetText(PoolText(std::wstring_view(text_.Chars + i, end - i)), ExprSymbol::RawWord);
  }
  i = end;
  return t != nullptr;
}

bool ExprCompiler::NewBeforeObject() const {
  // Walk back over a chain of members (name, Member) to the object itself.
  size_t idx = infixCount_;
  if (!idx) return false;
  --idx;
  while (idx >= 2 && toks_[idx].T.Symbol == ExprSymbol::Member && toks_[idx - 1].MemberName) idx -= 2;
  return idx >= 1 && toks_[idx - 1].T.Symbol == ExprSymbol::New;
}

bool ExprCompiler::AddDot(size_t& i) {
  const wchar_t next = text_.At(i + 1);
  if (next == L'=') {
    i += 2;
    return Add(ExprSymbol::AssignConcat, i - 2) != nullptr;
  }
  if (IsExprBlank(next)) {
    if (i == 0 || !IsExprBlank(text_.Chars[i - 1])) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(Error(expr_msg::AmbiguousDot));
      return false;
    }
    ++i;
    return Add(ExprSymbol::Concat, i - 1) != nullptr;
  }
  if (PrevOperandLike()) {
    size_t j = i + 1;
    while (j < text_.Length && IsMemberNameChar(text_.Chars[j])) ++j;
    if (j == i + 1 && text_.At(j) != L'(') {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(Error(expr_msg::AmbiguousDot));
      return false;
    }
    if (j < text_.Length && (!IsExprOperatorChar(text_.Chars[j]) || text_.IsLiteral(j))) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(Error(expr_msg::CharNotAllowed, TextFrom(j)));
      return false;
    }
    const bool methodCall = text_.At(j) == L'(' && !text_.IsLiteral(j) && !NewBeforeObject();
    CompTok* name = Add(ExprSymbol::RawWord, i + 1);
    if (!name) return false;
    name->T.SetText(PoolText(std::wstring_view(text_.Chars + i + 1, j - i - 1)), ExprSymbol::RawWord);
    name->MemberName = true;
    CompTok* access = Add(methodCall ? ExprSymbol::Call : ExprSymbol::Member, i);
    if (!access) return false;
    access->T.CallInfo = NewCall(methodCall ? &g_ExprMethodCall : &g_ExprMemberGet, 2, i);
    i = j;
    return true;
  }
  if (IsDigit(next)) return AddWord(i);  // .5
  // Reported once here; this path answers through its own return value.
  static_cast<void>(Error(expr_msg::AmbiguousDot));
  return false;
}

OperatorSpelling ExprCompiler::SpellOperator(size_t i) const {
  const wchar_t c = text_.At(i), c1 = text_.At(i + 1), c2 = text_.At(i + 2);
  const bool operand = PrevOperandLike();
  using S = ExprSymbol;
  switch (c) {
    case L'!': return c1 == L'=' ? OperatorSpelling{S::NotEqual, 2} : OperatorSpelling{S::Not, 1};
    case L'&':
      if (c1 == L'&') return {S::And, 2};
      if (c1 == L'=') return {S::AssignBitAnd, 2};
      return {operand ? S::BitAnd : S::Address, 1};
    case L'*':
      if (c1 == L'=') return {S::AssignMultiply, 2};
      if (c1 == L'*') return {S::Power, 2};
      return {operand ? S::Multiply : S::Deref, 1};
    case L'+':
      if (c1 == L'=') return {S::AssignAdd, 2};
      if (c1 == L'+') return {operand ? S::PostIncrement : S::PreIncrement, 2};
      return {operand ? S::Add : S::StackBottom, 1};  // unary plus has no token
    case L'-':
      if (c1 == L'=') return {S::AssignSubtract, 2};
      if (c1 == L'-') return {operand ? S::PostDecrement : S::PreDecrement, 2};
      return {operand ? S::Subtract : S::Negate, 1};
    case L'/':
      if (c1 == L'=') return {S::AssignDivide, 2};
      if (c1 == L'/')
        return c2 == L'=' ? OperatorSpelling{S::AssignFloorDivide, 3} : OperatorSpelling{S::FloorDivide, 2};
      return {S::Divide, 1};
    case L':': return c1 == L'=' ? OperatorSpelling{S::Assign, 2} : OperatorSpelling{S::Else, 1};
    case L'<':
      if (c1 == L'<') return c2 == L'=' ? OperatorSpelling{S::AssignShiftLeft, 3} : OperatorSpelling{S::ShiftLeft, 2};
      if (c1 == L'=') return {S::LessOrEqual, 2};
      if (c1 == L'>') return {S::NotEqual, 2};
      return {S::Less, 1};
    case L'=': return c1 == L'=' ? OperatorSpelling{S::EqualExact, 2} : OperatorSpelling{S::Equal, 1};
    case L'>':
      if (c1 == L'=') return {S::GreaterOrEqual, 2};
      if (c1 == L'>') return c2 == L'=' ? OperatorSpelling{S::AssignShiftRight, 3} : OperatorSpelling{S::ShiftRight, 2};
      return {S::Greater, 1};
    case L'^': return c1 == L'=' ? OperatorSpelling{S::AssignBitXor, 2} : OperatorSpelling{S::BitXor, 1};
    case L'|':
      if (c1 == L'|') return {S::Or, 2};
      if (c1 == L'=') return {S::AssignBitOr, 2};
      return {S::BitOr, 1};
    case L'~': return c1 == L'=' ? OperatorSpelling{S::RegExMatch, 2} : OperatorSpelling{S::BitNot, 1};
    case L'?': return {S::Then, 1};
    case L',': return {S::Comma, 1};
    case L')': return {S::CloseParen, 1};
    case L']': return {S::CloseBracket, 1};
    case L'}': return {S::CloseBrace, 1};
    default: return {S::End, 0};
  }
}

bool ExprCompiler::AddOperator(size_t& i) {
  const wchar_t c = text_.Chars[i];
  if (c == L'(') {
    // "(" after an operand concatenates only when set apart from it, as in
    // x (y) or "a"(b); f(y) is a call and x[y](z) a method call.
    const wchar_t before = i ? text_.Chars[i - 1] : L'\0';
    if (PrevOperandLike() && (IsExprBlank(before) || before == L')' || before == L'"'))
      if (!Add(ExprSymbol::Concat, i)) return false;
    ++i;
    return Add(ExprSymbol::OpenParen, i - 1) != nullptr;
  }
  if (c == L'[') {
    CompTok* prev = infixCount_ ? &toks_[infixCount_ - 1] : nullptr;
    const size_t next = SkipExprBlanks(text_, i + 1);
    if (prev && prev->T.Symbol == ExprSymbol::Member && text_.At(next) != L']') {
      // x.y[z] is x["y", z]: the member access becomes the index.
      prev->T.Symbol = ExprSymbol::OpenBracket;
      prev->IsIndex = true;
      ++i;
      return true;
    }
    const bool index = PrevOperandLike();
    CompTok* t = Add(ExprSymbol::OpenBracket, i);
    if (!t) return false;
    t->IsIndex = index;
    if (index) {
      t->T.CallInfo = NewCall(&g_ExprMemberGet, 1, i);
    } else {
      const ExprFunc* array = Values().FindFunction ? Values().FindFunction(L"Array") : nullptr;
      t->T.CallInfo = NewCall(array ? array : &kArrayPlaceholder, 0, i);
    }
    ++i;
    return true;
  }
  if (c == L'{') {
    if (PrevOperandLike()) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(Error(expr_msg::UnexpectedOpenBrace));
      return false;
    }
    CompTok* t = Add(ExprSymbol::OpenBrace, i);
    if (!t) return false;
    const ExprFunc* object = Values().FindFunction ? Values().FindFunction(L"Object") : nullptr;
    t->T.CallInfo = NewCall(object ? object : &kObjectPlaceholder, 0, i);
    ++i;
    return true;
  }
  if (c == L'-' && !PrevOperandLike() && text_.At(i + 1) != L'-' && text_.At(i + 1) != L'=') {
    // A minus sign directly before a number literal is part of it, unless
    // a power follows: -2**2 is -(2**2).
    const size_t start = i + 1;
    const wchar_t first = text_.At(start);
    const bool startsNumber = IsDigit(first) || (first == L'.' && IsDigit(text_.At(start + 1)));
    const bool isRef = form_->RefCount && [&] {
      for (size_t r = 0; r < form_->RefCount; ++r)
        if (form_->Refs[r].Position == start) return true;
      return false;
    }();
    if (startsNumber && !isRef) {
      const size_t end = ExprWordEnd(text_, start);
      const std::wstring word(text_.Chars + i, end - i);
      const size_t after = SkipExprBlanks(text_, end);
      const bool powerFollows = text_.At(after) == L'*' && text_.At(after + 1) == L'*';
      if (!powerFollows && IsNumeric(word.c_str()) != PURE_NOT_NUMERIC) {
        CompTok* t = Add(ExprSymbol::RawWord, i);
        if (!t) return false;
        t->T.SetText(PoolText(word), ExprSymbol::RawWord);
        i = end;
        return true;
      }
    }
  }
  const OperatorSpelling op = SpellOperator(i);
  if (op.Symbol == ExprSymbol::End) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(Error(expr_msg::IllegalChar, TextFrom(i)));
    return false;
  }
  const size_t pos = i;
  i += op.Length;
  if (op.Symbol == ExprSymbol::StackBottom) return true;  // a dropped unary plus
  CompTok* t = Add(op.Symbol, pos);
  if (!t) return false;
  if (op.Symbol == ExprSymbol::RegExMatch) {
    const ExprFunc* regex = Values().FindFunction ? Values().FindFunction(L"RegExMatch") : nullptr;
    t->T.CallInfo = NewCall(regex ? regex : &kRegExMatchPlaceholder, 2, pos);
  }
  return true;
}

ResultCode ExprCompiler::Tokenize() {
  size_t i = 0, refIndex = 0;
  const wchar_t deref = Script().Syntax.DerefChar;
  while (i < text_.Length) {
    if (refIndex < form_->RefCount && form_->Refs[refIndex].Position <= i) {
      const ExprRef& ref = form_->Refs[refIndex];
      // The scan and this pass read words alike, so a reference is always
      // met at its first character.
      if (ref.Position < i) return Error(expr_msg::IllegalChar, TextFrom(ref.Position));
      if (!AddRef(ref, refIndex)) return ResultCode::Fail;
      i += ref.Length;
      ++refIndex;
      continue;
    }
    const wchar_t c = text_.Chars[i];
    bool ok;
    if (IsExprBlank(c)) {
      ++i;
      continue;
    }
    if ((c == L'"' || c == deref) && text_.IsLiteral(i)) {
      return Error(expr_msg::IllegalChar, TextFrom(i));
    } else if (c == L'"') {
      ok = AddString(i);
    } else if (c == L'.') {
      ok = AddDot(i);
    } else if (IsExprOperatorChar(c)) {
      ok = AddOperator(i);
    } else {
      ok = AddWord(i);
    }
    if (!ok) return ResultCode::Fail;
  }
  // A sentinel, so that "the next infix token" always exists.
  toks_[infixCount_] = CompTok{};
  toks_[infixCount_].T.Symbol = ExprSymbol::End;
  toks_[infixCount_].OutIndex = -1;
  return ResultCode::Ok;
}

// ---------------------------------------------------------------------------
// Postfix

void ExprCompiler::PushOperator(CompTok* t) {
  const ExprSymbol symbol = t->T.Symbol;
  const ExprSymbol top = Top()->T.Symbol;
  if (IsExprAssignment(symbol) && top != ExprSymbol::Deref) {
    // Assignments bind everything to their right: a + b := c assigns c to b.
  } else if (IsExprPrefixUnary(symbol) && top == ExprSymbol::Power) {
    // 2**-x: the operator waits for its operand.
  } else {
    const int precedence = ExprPrecedence(symbol);
    const int threshold = precedence + (precedence & 1);  // odd: right to left
    while (ExprPrecedence(Top()->T.Symbol) >= threshold) PopGeneric();
  }
  Push(t);
  if ((symbol == ExprSymbol::Then || symbol == ExprSymbol::Or || symbol == ExprSymbol::And) && outCount_)
    out_[outCount_ - 1]->T.Circuit = &t->T;
}

void ExprCompiler::PopGeneric() {
  CompTok* t = Pop();
  const ExprSymbol symbol = t->T.Symbol;
  if (IsExprAssignment(symbol) && t->PendingSet) {
    // x.y := v and x.y += v end in the member-set call.
    if (symbol != ExprSymbol::Assign) Output(NewExtra(BinaryOfCompound(symbol), t->Pos));
    Output(t->PendingSet);
    return;
  }
  if ((symbol == ExprSymbol::PreIncrement || symbol == ExprSymbol::PreDecrement) && outCount_ &&
      out_[outCount_ - 1]->T.Symbol == ExprSymbol::VariableRef)
    out_[outCount_ - 1]->T.IsTarget = 1;
  if (symbol == ExprSymbol::New) t->T.Symbol = ExprSymbol::Call;  // new C without "("
  Output(t);
}

bool ExprCompiler::ChainContinues(const CompTok& next) const {
  return next.MemberName || (next.T.Symbol == ExprSymbol::OpenBracket && next.IsIndex);
}

void ExprCompiler::PopCallToOutput(CompTok* t, size_t k) {
  ExprCall* call = t->T.CallInfo;
  CompTok& next = toks_[k + 1];
  const bool access = call->Func == &g_ExprMemberGet || call->Func == &g_ExprMethodCall;
  if (access) {
    if (IsExprAssignment(next.T.Symbol)) {
      const int items = call->ParamCount;
      call->Func = &g_ExprMemberSet;
      ++call->ParamCount;  // the value
      next.PendingSet = t;
      if (next.T.Symbol != ExprSymbol::Assign) {
        // The read of a compound assignment uses the object and key that
        // lie on the stack, without taking them.
        int getParams = items;
        if (items != 2) {
          CompTok* count = NewExtra(ExprSymbol::Integer, t->Pos);
          count->T.SetInteger(items);
          Output(count);
          getParams = 1;
        }
        CompTok* get = NewExtra(ExprSymbol::Call, t->Pos);
        get->T.CallInfo = NewCall(&g_ExprMemberGetInPlace, getParams, t->Pos);
        Output(get);
      }
      return;
    }
    if (next.T.Symbol == ExprSymbol::PostIncrement || next.T.Symbol == ExprSymbol::PostDecrement) {
      call->Func = next.T.Symbol == ExprSymbol::PostIncrement ? &g_ExprMemberPostIncrement : &g_ExprMemberPostDecrement;
      next.Dropped = true;
      Output(t);
      return;
    }
    const ExprSymbol top = Top()->T.Symbol;
    if ((top == ExprSymbol::PreIncrement || top == ExprSymbol::PreDecrement) && !ChainContinues(next)) {
      call->Func = top == ExprSymbol::PreIncrement ? &g_ExprMemberPreIncrement : &g_ExprMemberPreDecrement;
      Pop();
      Output(t);
      return;
    }
  }
  Output(t);
}

ResultCode ExprCompiler::CountOne(ExprCall& call) {
  const ExprFunc* func = call.Func;
  if (func && !func->Variadic && call.ParamCount >= func->MaxParams)
    return Error(expr_msg::TooManyParams, TextFrom(call.Position));
  ++call.ParamCount;
  return ResultCode::Ok;
}

ResultCode ExprCompiler::CountParameter(CompTok* opener, size_t k, Boundary boundary) {
  CompTok* callTok = currentCall_;
  ExprCall& call = *callTok->T.CallInfo;
  const CompTok& prev = toks_[k - 1];
  const bool emptyCall = &prev == opener;
  const bool blank = emptyCall || prev.T.Symbol == ExprSymbol::Comma || prev.KeyBoundary;
  const bool objectLiteral = callTok->T.Symbol == ExprSymbol::OpenBrace;
  if (boundary == Boundary::Closer) {
    if (!emptyCall) {
      if (blank) return Error(expr_msg::BlankParam, TextFrom(call.Position));
      if (CountOne(call) != ResultCode::Ok) return ResultCode::Fail;
    }
    if (call.Func && call.ParamCount < call.Func->MinParams && !call.ExpandLast)
      return Error(expr_msg::TooFewParams, TextFrom(call.Position));
    if (objectLiteral && (call.ParamCount & 1)) return Error(expr_msg::MissingKey);
    return ResultCode::Ok;
  }
  if (blank) {
    if (call.Func && call.ParamCount < call.Func->MinParams)
      return Error(expr_msg::BlankParam, TextFrom(call.Position));
    CompTok* omitted = NewExtra(ExprSymbol::Omitted, toks_[k].Pos);
    omitted->T.SetText(L"", ExprSymbol::Omitted);
    Output(omitted);
  }
  if (CountOne(call) != ResultCode::Ok) return ResultCode::Fail;
  if (boundary == Boundary::Comma && objectLiteral && (call.ParamCount & 1)) return Error(expr_msg::MissingKey);
  return ResultCode::Ok;
}

ResultCode ExprCompiler::CloseOrComma(CompTok* t, size_t k) {
  const ExprSymbol symbol = t->T.Symbol;
  while (!IsExprOpener(Top()->T.Symbol) && Top()->T.Symbol != ExprSymbol::StackBottom) PopGeneric();
  CompTok* opener = Top();
  if (symbol == ExprSymbol::Comma) {
    if (!currentCall_) {
      PushOperator(t);  // an ordinary comma operator
      return ResultCode::Ok;
    }
    return CountParameter(opener, k, Boundary::Comma);
  }
  const auto wanted = static_cast<ExprSymbol>(static_cast<int>(symbol) + 3);
  if (opener->T.Symbol != wanted) {
    const wchar_t* message = symbol == ExprSymbol::CloseParen     ? expr_msg::UnexpectedCloseParen
                             : symbol == ExprSymbol::CloseBracket ? expr_msg::UnexpectedCloseBracket
                                                                  : expr_msg::UnexpectedCloseBrace;
    return Error(message);
  }
  const bool countsParams = opener->OpensCall || opener->T.Symbol != ExprSymbol::OpenParen;
  if (countsParams && CountParameter(opener, k, Boundary::Closer) != ResultCode::Ok) return ResultCode::Fail;
  Pop();
  currentCall_ = opener->SavedCall;
  if (symbol == ExprSymbol::CloseParen) {
    if (opener->OpensCall) PopCallToOutput(Pop(), k);
    return ResultCode::Ok;
  }
  // A literal or an index is a call from here on.
  opener->T.Symbol = ExprSymbol::Call;
  if (symbol == ExprSymbol::CloseBracket && toks_[k + 1].T.Symbol == ExprSymbol::OpenParen) {
    // x[y](...) calls method y; x[](...) the default method.
    ExprCall& call = *opener->T.CallInfo;
    if (!opener->IsIndex || call.ParamCount > 2) return Error(expr_msg::UnsupportedMethodCall);
    if (call.ParamCount == 1) {
      CompTok* omitted = NewExtra(ExprSymbol::Omitted, t->Pos);
      omitted->T.SetText(L"", ExprSymbol::Omitted);
      Output(omitted);
      call.ParamCount = 2;
    }
    call.Func = &g_ExprMethodCall;
    Push(opener);  // the "(" that follows takes it as its call
    return ResultCode::Ok;
  }
  PopCallToOutput(opener, k);
  return ResultCode::Ok;
}

ResultCode ExprCompiler::HandleElse(CompTok* t, size_t k) {
  for (;;) {
    CompTok* top = Top();
    const ExprSymbol symbol = top->T.Symbol;
    if (symbol == ExprSymbol::Then) break;
    if (symbol == ExprSymbol::StackBottom) return Error(expr_msg::ElseWithoutThen);
    if (IsExprOpener(symbol)) {
      if (symbol == ExprSymbol::OpenBrace && top == currentCall_) {
        // {key: value}: the colon ends the key.
        t->KeyBoundary = true;
        return CountParameter(top, k, Boundary::Key);
      }
      return Error(symbol == ExprSymbol::OpenParen     ? expr_msg::MissingParenBeforeColon
                   : symbol == ExprSymbol::OpenBracket ? expr_msg::MissingBracketBeforeColon
                                                       : expr_msg::MissingBraceBeforeColon);
    }
    PopGeneric();
  }
  CompTok* then = Pop();
  Output(then);
  then->T.Circuit = &t->T;
  Push(t);
  return ResultCode::Ok;
}

ResultCode ExprCompiler::ToPostfix() {
  bottom_ = CompTok{};
  bottom_.T.Symbol = ExprSymbol::StackBottom;
  sp_ = 0;
  outCount_ = 0;
  currentCall_ = nullptr;
  Push(&bottom_);
  for (size_t k = 0; k < infixCount_; ++k) {
    CompTok* t = &toks_[k];
    if (t->Dropped) continue;
    const ExprSymbol symbol = t->T.Symbol;
    const CompTok& next = toks_[k + 1];
    if (IsExprOperand(symbol)) {
      const bool plainVariable =
          symbol == ExprSymbol::VariableRef ||
          (symbol == ExprSymbol::RuntimeRef && !t->T.Parts && t->T.Var &&
           (t->T.Var->ResolveAlias()->Type() == VAR_NORMAL || t->T.Var->ResolveAlias()->Type() == VAR_CLIPBOARD));
      if (plainVariable) {
        const ExprSymbol top = Top()->T.Symbol;
        const bool target = IsExprAssignment(next.T.Symbol) || next.T.Symbol == ExprSymbol::PostIncrement ||
                            next.T.Symbol == ExprSymbol::PostDecrement || top == ExprSymbol::PreIncrement ||
                            top == ExprSymbol::PreDecrement;
        if (target) {
          t->T.Symbol = ExprSymbol::VariableRef;
          t->T.IsTarget = 1;
        }
      }
      Output(t);
      continue;
    }
    ResultCode result = ResultCode::Ok;
    switch (symbol) {
      case ExprSymbol::Member:
        t->T.Symbol = ExprSymbol::Call;
        PopCallToOutput(t, k);
        break;
      case ExprSymbol::Call:
      case ExprSymbol::New: Push(t); break;
      case ExprSymbol::OpenParen: {
        t->SavedCall = currentCall_;
        CompTok* top = Top();
        if (top->T.Symbol == ExprSymbol::Call || top->T.Symbol == ExprSymbol::New) {
          top->T.Symbol = ExprSymbol::Call;
          currentCall_ = top;
          t->OpensCall = true;
        } else {
          currentCall_ = nullptr;  // a grouping parenthesis
        }
        Push(t);
        break;
      }
      case ExprSymbol::OpenBracket:
      case ExprSymbol::OpenBrace:
        t->SavedCall = currentCall_;
        currentCall_ = t;
        Push(t);
        break;
      case ExprSymbol::Comma:
      case ExprSymbol::CloseParen:
      case ExprSymbol::CloseBracket:
      case ExprSymbol::CloseBrace: result = CloseOrComma(t, k); break;
      case ExprSymbol::Else: result = HandleElse(t, k); break;
      case ExprSymbol::Multiply:
        if (currentCall_ && (next.T.Symbol == ExprSymbol::CloseParen || next.T.Symbol == ExprSymbol::CloseBracket)) {
          currentCall_->T.CallInfo->ExpandLast = true;  // f(args*)
          break;
        }
        PushOperator(t);
        break;
      default: PushOperator(t); break;
    }
    if (result != ResultCode::Ok) return result;
  }
  while (Top()->T.Symbol != ExprSymbol::StackBottom) {
    const ExprSymbol symbol = Top()->T.Symbol;
    if (symbol == ExprSymbol::OpenParen) return Error(expr_msg::MissingParen);
    if (symbol == ExprSymbol::OpenBracket) return Error(expr_msg::MissingBracket);
    if (symbol == ExprSymbol::OpenBrace) return Error(expr_msg::MissingBrace);
    PopGeneric();
  }
  return ResultCode::Ok;
}

ResultCode ExprCompiler::FinalCopy(CompiledExpression& form) {
  const size_t count = outCount_;
  ExprToken* tokens = PoolNewArray<ExprToken>(count + 1);
  for (size_t i = 0; i < count; ++i) out_[i]->OutIndex = static_cast<int>(i);
  for (size_t i = 0; i < count; ++i) {
    ExprToken& t = tokens[i];
    t = out_[i]->T;
    if (t.Circuit) {
      // Links only ever lead forward, to an operator that consumes the value.
      const CompTok* target = reinterpret_cast<const CompTok*>(t.Circuit);
      t.Circuit = target->OutIndex > static_cast<int>(i) ? &tokens[target->OutIndex] : nullptr;
    }
    // Integer literals are parsed once; other words are classified when used.
    if (t.Symbol == ExprSymbol::RawWord && !t.PreParsed && IsNumeric(t.Text) == PURE_INTEGER)
      t.PreParsed = PoolNew<int64_t>(TextToInteger(t.Text));
  }
  tokens[count].Symbol = ExprSymbol::End;
  form.Postfix = tokens;
  form.PostfixCount = static_cast<uint16_t>(count);
  form.IntegerOnly = IsIntegerOnlyPostfix(tokens, count);
  return ResultCode::Ok;
}

ResultCode ExprCompiler::Compile(ScriptLine& line, ArgRecord& arg, CompiledExpression& form) {
  line_ = &line;
  text_ = ExprText{arg.Content, arg.ContentLength, arg.LiteralMask};
  form_ = &form;
  infixCount_ = 0;
  extraCount_ = 0;
  if (ResolveCalls() != ResultCode::Ok) return ResultCode::Fail;
  if (Tokenize() != ResultCode::Ok) return ResultCode::Fail;
  if (ToPostfix() != ResultCode::Ok) return ResultCode::Fail;
  return FinalCopy(form);
}

namespace {

// The compiler of the running load, made on first use.
ExprCompiler& TheCompiler() {
  ExprCompiler*& compiler = Values().Compiler;
  if (!compiler) compiler = new ExprCompiler();
  return *compiler;
}

// Scans an argument that reached compiling without the parser's scan (lines
// made by other code paths), keeping its text as rewritten.
ResultCode ScanLate(ArgRecord& arg) {
  ParsedArg parsed;
  parsed.Text.assign(arg.Content, arg.ContentLength);
  parsed.Literal.resize(arg.ContentLength);
  for (size_t i = 0; i < arg.ContentLength; ++i) parsed.Literal[i] = arg.LiteralMask && arg.LiteralMask[i];
  if (ScanExpressionArg(parsed, arg) != ResultCode::Ok) return ResultCode::Fail;
  arg.Content = PoolCopy(parsed.Text);
  return ResultCode::Ok;
}

}  // namespace

const ExprOpFunc g_ExprMemberGet(EXPR_OP_GET);
const ExprOpFunc g_ExprMemberSet(EXPR_OP_SET);
const ExprOpFunc g_ExprMethodCall(EXPR_OP_CALL);
const ExprOpFunc g_ExprMemberGetInPlace(EXPR_OP_GET);
const ExprOpFunc g_ExprNew(EXPR_OP_NEW);
const ExprOpFunc g_ExprMemberPreIncrement(EXPR_OP_PRE_INCREMENT);
const ExprOpFunc g_ExprMemberPreDecrement(EXPR_OP_PRE_DECREMENT);
const ExprOpFunc g_ExprMemberPostIncrement(EXPR_OP_POST_INCREMENT);
const ExprOpFunc g_ExprMemberPostDecrement(EXPR_OP_POST_DECREMENT);

const DerefEntry g_ExprLoopIndexMarker[1] = {};

ResultCode CompileExpression(ScriptLine& line, ArgRecord& arg) {
  if (!arg.CompiledForm && ScanLate(arg) != ResultCode::Ok) return ResultCode::Fail;
  auto* form = static_cast<CompiledExpression*>(arg.CompiledForm);
  return TheCompiler().Compile(line, arg, *form);
}

ResultCode CompileAllExpressions(ScriptLine* first) {
  for (ScriptLine* line = first; line; line = line->FollowingLine) {
    for (int i = 0; i < line->ArgTotal; ++i) {
      ArgRecord& arg = line->ArgList[i];
      if (!arg.ExprFlag) continue;
      if (CompileExpression(*line, arg) != ResultCode::Ok) return ResultCode::Fail;
    }
  }
  return ResultCode::Ok;
}
