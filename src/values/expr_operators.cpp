// The evaluator's value conversions and operators: integer arithmetic that
// wraps, float arithmetic, the text comparisons chosen by StringCaseSense,
// concatenation, assignments and the increments. Nothing here allocates
// except through the evaluation's frame.
#include "values/expr_operators.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>

#include "base/text_length.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
// Addresses below this are never readable (the first page), so unary *
// answers 0 for them without looking.
constexpr uintptr_t kLowestReadableAddress = 4096;
// ~x of a value in this range complements 32 bits, so ~0 is 4294967295.
constexpr uint64_t kUint32Max = 0xFFFFFFFFull;
// A base above this overflows 64 bits when squared.
constexpr uint64_t kLargestSquarable = 0xFFFFFFFFull;

// StringCaseSense values of a thread.
enum CaseSense : uint8_t { CASE_SENSE_OFF = 0, CASE_SENSE_ON = 1, CASE_SENSE_LOCALE = 2 };

// Wrapping integer arithmetic: overflow is defined as two's complement.
int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t WrapSubtract(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
int64_t WrapMultiply(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// A-Z folded to a-z, nothing else.
inline wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

// Three-way comparison of code units, optionally with A-Z folded.
int CompareUnits(const TextPiece& a, const TextPiece& b, bool fold) {
  const size_t n = a.Length < b.Length ? a.Length : b.Length;
  for (size_t i = 0; i < n; ++i) {
    const wchar_t x = fold ? FoldAscii(a.Chars[i]) : a.Chars[i];
    const wchar_t y = fold ? FoldAscii(b.Chars[i]) : b.Chars[i];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.Length < b.Length ? -1 : a.Length > b.Length ? 1 : 0;
}

// The system's locale-aware case-insensitive comparison.
int CompareLocale(const TextPiece& a, const TextPiece& b) {
  const int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.Chars, static_cast<int>(a.Length), b.Chars,
                                   static_cast<int>(b.Length));
  return order ? order - CSTR_EQUAL : CompareUnits(a, b, true);
}

// The text rules of one comparison operator, as Integer 1 or 0.
int64_t CompareTexts(ExprSymbol op, const TextPiece& a, const TextPiece& b) {
  const uint8_t sense = Values().CurrentThread->CaseSensitivity;
  if (op == ExprSymbol::EqualExact) return a.Length == b.Length && !std::wmemcmp(a.Chars, b.Chars, a.Length);
  if (op == ExprSymbol::Equal) return (sense == CASE_SENSE_OFF ? CompareUnits(a, b, true) : CompareLocale(a, b)) == 0;
  const int order = sense == CASE_SENSE_OFF  ? CompareUnits(a, b, true)
                    : sense == CASE_SENSE_ON ? CompareUnits(a, b, false)
                                             : CompareLocale(a, b);
  switch (op) {
    case ExprSymbol::NotEqual: return order != 0;
    case ExprSymbol::Greater: return order > 0;
    case ExprSymbol::Less: return order < 0;
    case ExprSymbol::GreaterOrEqual: return order >= 0;
    default: return order <= 0;  // LessOrEqual
  }
}

// |base| ** exponent exactly in 64 bits; false when it does not fit
// `limit` (2^63 - 1, or 2^63 for a result that will be negated).
bool ExactPower(uint64_t base, uint64_t exponent, uint64_t limit, uint64_t& result) {
  uint64_t value = 1;
  for (;;) {
    if (exponent & 1) {
      if (base && value > limit / base) return false;
      value *= base;
    }
    exponent >>= 1;
    if (!exponent) break;
    if (base > kLargestSquarable) return false;  // base squared overflows, and a bit remains
    base *= base;
  }
  result = value;
  return value <= limit;
}

// Whether a double is an odd integer.
bool IsOddInteger(double value) { return std::floor(value) == value && std::fabs(std::fmod(value, 2.0)) == 1.0; }

// Integer ** integer. Exact while the result fits 64 bits; beyond that the
// power of doubles, saturated. A negative exponent gives a float.
void IntegerPower(int64_t base, int64_t exponent, ExprToken& result) {
  if (base == 0 && exponent < 0) {
    result.SetText(L"");
    return;
  }
  const bool negative = base < 0 && (exponent & 1);
  const uint64_t magnitude = base < 0 ? 0 - static_cast<uint64_t>(base) : static_cast<uint64_t>(base);
  if (exponent < 0) {
    const double value = std::pow(static_cast<double>(magnitude), static_cast<double>(exponent));
    result.SetFloat(negative ? -value : value);
    return;
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t exact;
  if (ExactPower(magnitude, static_cast<uint64_t>(exponent), limit, exact)) {
    result.SetInteger(negative ? static_cast<int64_t>(0 - exact) : static_cast<int64_t>(exact));
    return;
  }
  const double value = std::pow(static_cast<double>(magnitude), static_cast<double>(exponent));
  result.SetInteger(DoubleToInteger(negative ? -value : value));
}

// Float ** float: empty for 0 to a negative power and for a negative base
// with a fractional exponent.
void FloatPower(double base, double exponent, ExprToken& result) {
  if ((base == 0.0 && exponent < 0) || (base < 0 && std::floor(exponent) != exponent)) {
    result.SetText(L"");
    return;
  }
  const double value = std::pow(std::fabs(base), exponent);
  result.SetFloat(base < 0 && IsOddInteger(exponent) ? -value : value);
}

}  // namespace

bool IntegerResult(ExprSymbol op, int64_t a, int64_t b, int64_t& value) {
  switch (op) {
    case ExprSymbol::Equal:
    case ExprSymbol::EqualExact: value = a == b; return true;
    case ExprSymbol::NotEqual: value = a != b; return true;
    case ExprSymbol::Greater: value = a > b; return true;
    case ExprSymbol::Less: value = a < b; return true;
    case ExprSymbol::GreaterOrEqual: value = a >= b; return true;
    case ExprSymbol::LessOrEqual: value = a <= b; return true;
    case ExprSymbol::Add: value = WrapAdd(a, b); return true;
    case ExprSymbol::Subtract: value = WrapSubtract(a, b); return true;
    case ExprSymbol::Multiply: value = WrapMultiply(a, b); return true;
    case ExprSymbol::FloorDivide:
      if (!b) return false;  // yields ""
      // The one quotient that does not fit wraps to itself; others truncate toward zero.
      value = a == kInt64Min && b == -1 ? kInt64Min : a / b;
      return true;
    case ExprSymbol::BitOr: value = a | b; return true;
    case ExprSymbol::BitXor: value = a ^ b; return true;
    case ExprSymbol::BitAnd: value = a & b; return true;
    case ExprSymbol::ShiftLeft: value = static_cast<int64_t>(static_cast<uint64_t>(a) << (b & 63)); return true;
    case ExprSymbol::ShiftRight: value = a >> (b & 63); return true;  // arithmetic
    default: return false;
  }
}

namespace {

// The numeric rules with two integers (any operator but Divide).
void IntegerBinary(ExprSymbol op, int64_t a, int64_t b, ExprToken& result) {
  int64_t value = 0;
  if (op == ExprSymbol::Power)
    IntegerPower(a, b, result);
  else if (IntegerResult(op, a, b, value))
    result.SetInteger(value);
  else
    result.SetText(L"");
}

// The integer an operand holds when that is known without reading text:
// an integer, an integer literal, or a normal variable with a cached
// integer. Whatever the rules make of other operands is left to them.
bool KnownInteger(const ExprToken& token, int64_t& value) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: value = token.ValueInt64; return true;
    case ExprSymbol::RawWord:
      if (!token.PreParsed) return false;
      value = *token.PreParsed;
      return true;
    case ExprSymbol::VariableRef: {
      Variable& var = *token.Var->ResolveAlias();
      if (var.Type() != VAR_NORMAL ||
          (var.Attrib() & (VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_OBJECT)) != VAR_ATTRIB_HAS_VALID_INT64)
        return false;
      value = var.ToInteger(false);
      return true;
    }
    default: return false;
  }
}

// The numeric rules with doubles.
void FloatBinary(ExprSymbol op, double a, double b, ExprToken& result) {
  switch (op) {
    case ExprSymbol::Equal:
    case ExprSymbol::EqualExact: result.SetInteger(a == b); return;
    case ExprSymbol::NotEqual: result.SetInteger(!(a == b)); return;
    case ExprSymbol::Greater: result.SetInteger(a > b); return;
    case ExprSymbol::Less: result.SetInteger(a < b); return;
    case ExprSymbol::GreaterOrEqual: result.SetInteger(a >= b); return;
    case ExprSymbol::LessOrEqual: result.SetInteger(a <= b); return;
    case ExprSymbol::Add: result.SetFloat(a + b); return;
    case ExprSymbol::Subtract: result.SetFloat(a - b); return;
    case ExprSymbol::Multiply: result.SetFloat(a * b); return;
    case ExprSymbol::Divide:
      if (b == 0.0)
        result.SetText(L"");
      else
        result.SetFloat(a / b);
      return;
    case ExprSymbol::FloorDivide:
      if (b == 0.0)
        result.SetText(L"");
      else
        result.SetFloat(std::floor(a / b));
      return;
    case ExprSymbol::Power: FloatPower(a, b, result); return;
    default: result.SetText(L""); return;
  }
}

// Whether an operator always works on integers (floats truncated first).
bool IsIntegerOnly(ExprSymbol op) {
  switch (op) {
    case ExprSymbol::BitOr:
    case ExprSymbol::BitXor:
    case ExprSymbol::BitAnd:
    case ExprSymbol::ShiftLeft:
    case ExprSymbol::ShiftRight: return true;
    default: return false;
  }
}

// The byte at an address, or 0 where nothing readable lies.
int64_t ReadByteAt(int64_t address) {
  const auto at = static_cast<uintptr_t>(address);
  if (at < kLowestReadableAddress) return 0;
  // A wrong address must not take the whole program down: only committed,
  // readable memory is read.
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof(info))) return 0;
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                         PAGE_EXECUTE_WRITECOPY;
  if (info.State != MEM_COMMIT || !(info.Protect & readable) || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return 0;
  return *reinterpret_cast<const unsigned char*>(at);
}

// ++ and -- on a variable.
ResultCode IncrementVariable(ExprSymbol op, ExprToken& operand, ExprToken& result) {
  Variable& var = *operand.Var;
  const bool post = op == ExprSymbol::PostIncrement || op == ExprSymbol::PostDecrement;
  const bool up = op == ExprSymbol::PreIncrement || op == ExprSymbol::PostIncrement;
  switch (var.NumericType()) {
    case PURE_INTEGER: {
      const int64_t old = var.ToInteger(false);
      const int64_t now = up ? WrapAdd(old, 1) : WrapSubtract(old, 1);
      if (var.AssignInteger(now) != ResultCode::Ok) return ResultCode::Fail;
      if (post)
        result.SetInteger(old);
      else if (var.ResolveAlias()->Type() == VAR_NORMAL)
        result.SetVariable(operand.Var);
      else
        result.SetInteger(now);
      return ResultCode::Ok;
    }
    case PURE_FLOAT: {
      const double old = var.ToFloat(false);
      const double now = up ? old + 1.0 : old - 1.0;
      if (var.AssignFloat(now) != ResultCode::Ok) return ResultCode::Fail;
      if (post)
        result.SetFloat(old);
      else if (var.ResolveAlias()->Type() == VAR_NORMAL)
        result.SetVariable(operand.Var);
      else
        result.SetFloat(now);
      return ResultCode::Ok;
    }
    case PURE_NOT_NUMERIC: break;
  }
  var.TextOf();  // the never-assigned check
  if (var.Assign(L"", 0) != ResultCode::Ok) return ResultCode::Fail;
  if (post)
    result.SetText(L"");
  else
    result.SetVariable(operand.Var);
  return ResultCode::Ok;
}

}  // namespace

// ---------------------------------------------------------------------------
// Conversions

NumericKind NumericTypeOf(ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return PURE_INTEGER;
    case ExprSymbol::Float: return PURE_FLOAT;
    case ExprSymbol::VariableRef: return token.Var->NumericType();
    case ExprSymbol::RawWord: return token.PreParsed ? PURE_INTEGER : IsNumeric(token.Text);
    default: return PURE_NOT_NUMERIC;
  }
}

int64_t IntegerOf(ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return token.ValueInt64;
    case ExprSymbol::Float: return DoubleToInteger(token.ValueDouble);
    case ExprSymbol::VariableRef: return token.Var->ToInteger(true);
    case ExprSymbol::RawWord: return token.PreParsed ? *token.PreParsed : TextToInteger(token.Text);
    case ExprSymbol::String:
    case ExprSymbol::Omitted: return TextToInteger(token.Text);
    default: return 0;
  }
}

double FloatOf(ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return static_cast<double>(token.ValueInt64);
    case ExprSymbol::Float: return token.ValueDouble;
    case ExprSymbol::VariableRef: return token.Var->ToFloat(true);
    case ExprSymbol::RawWord: return token.PreParsed ? static_cast<double>(*token.PreParsed) : TextToDouble(token.Text);
    case ExprSymbol::String:
    case ExprSymbol::Omitted: return TextToDouble(token.Text);
    default: return 0.0;
  }
}

bool TruthOf(ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return token.ValueInt64 != 0;
    case ExprSymbol::Float: return token.ValueDouble != 0.0;  // NaN is true
    case ExprSymbol::VariableRef: return token.Var->IsTrue();
    case ExprSymbol::ObjectRef: return true;
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
    case ExprSymbol::Omitted: return TextIsTrue(token.Text);
    default: return false;
  }
}

IObject* ObjectOf(const ExprToken& token) {
  if (token.Symbol == ExprSymbol::ObjectRef) return token.Object;
  if (token.Symbol == ExprSymbol::VariableRef) return token.Var->ObjectValue();
  return nullptr;
}

bool TextOf(EvalFrame& frame, ExprToken& token, wchar_t* numberBuffer, TextPiece& piece) {
  switch (token.Symbol) {
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
    case ExprSymbol::Omitted: piece = {token.Text, TextLength(token.Text)}; return true;
    case ExprSymbol::Integer:
      piece = {numberBuffer, IntegerToText(token.ValueInt64, numberBuffer,
                                           static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar))};
      return true;
    case ExprSymbol::Float:
      piece = {numberBuffer,
               FloatToText(token.ValueDouble, numberBuffer, kNumberTextChars, Values().CurrentThread->FloatFormatText)};
      return true;
    case ExprSymbol::VariableRef: break;
    default: piece = {}; return true;
  }
  Variable& var = *token.Var->ResolveAlias();
  const uint8_t type = var.Type();
  if (type == VAR_NORMAL || (type == VAR_CLIPBOARD && !Values().Clipboard.GetText)) {
    if (var.HasObject()) {
      piece = {};
      return true;
    }
    const wchar_t* text = var.TextOf();
    piece = {text, var.ByteLength() / sizeof(wchar_t)};
    return true;
  }
  // Built-ins and the clipboard produce their text on request.
  const size_t bound = var.GetText(nullptr);
  wchar_t* buffer = frame.AllocText(bound, var.Name());
  if (!buffer) return false;
  const size_t length = var.GetText(buffer);
  buffer[length] = L'\0';
  piece = {buffer, length};
  return true;
}

// ---------------------------------------------------------------------------
// Operators

ResultCode EvalBinary(ExprSymbol op, EvalFrame& frame, ExprToken& left, ExprToken& right, ExprToken& result) {
  int64_t leftInteger, rightInteger;
  if (op != ExprSymbol::Divide && KnownInteger(left, leftInteger) && KnownInteger(right, rightInteger)) {
    IntegerBinary(op, leftInteger, rightInteger, result);
    return ResultCode::Ok;
  }
  const NumericKind leftKind = NumericTypeOf(left);
  const NumericKind rightKind = leftKind == PURE_NOT_NUMERIC ? PURE_NOT_NUMERIC : NumericTypeOf(right);
  if (leftKind == PURE_NOT_NUMERIC || rightKind == PURE_NOT_NUMERIC) {
    if (!IsExprComparison(op)) {
      result.SetText(L"");  // arithmetic on text
      return ResultCode::Ok;
    }
    if (op == ExprSymbol::Equal || op == ExprSymbol::EqualExact || op == ExprSymbol::NotEqual) {
      IObject* a = ObjectOf(left);
      IObject* b = ObjectOf(right);
      if (a || b) {
        // Objects compare by identity; an object never equals text.
        result.SetInteger(op == ExprSymbol::NotEqual ? a != b : a == b);
        return ResultCode::Ok;
      }
    }
    wchar_t leftBuffer[kNumberTextChars], rightBuffer[kNumberTextChars];
    TextPiece a, b;
    if (!TextOf(frame, left, leftBuffer, a) || !TextOf(frame, right, rightBuffer, b)) return ResultCode::Fail;
    result.SetInteger(CompareTexts(op, a, b));
    return ResultCode::Ok;
  }
  if (IsIntegerOnly(op) || (leftKind == PURE_INTEGER && rightKind == PURE_INTEGER && op != ExprSymbol::Divide))
    IntegerBinary(op, IntegerOf(left), IntegerOf(right), result);
  else
    FloatBinary(op, FloatOf(left), FloatOf(right), result);
  return ResultCode::Ok;
}

ResultCode EvalConcat(EvalFrame& frame, ExprToken& left, ExprToken& right, ExprToken& result) {
  wchar_t leftBuffer[kNumberTextChars], rightBuffer[kNumberTextChars];
  TextPiece a, b;
  const bool quoted = left.Symbol == ExprSymbol::String || right.Symbol == ExprSymbol::String;
  // a . b . c: when the left side is the text the previous join made, the
  // right side is written after it where the arena lets it grow, instead of
  // copying both again.
  const bool leftJoined = (left.Symbol == ExprSymbol::String || left.Symbol == ExprSymbol::RawWord) && frame.Joined() &&
                          left.Text == frame.Joined();
  if (leftJoined) {
    a = {left.Text, frame.JoinedLength()};
    if (!TextOf(frame, right, rightBuffer, b)) return ResultCode::Fail;
    if (wchar_t* grown = frame.ExtendJoined(left.Text, b.Length)) {
      std::wmemcpy(grown + a.Length, b.Chars, b.Length);
      grown[a.Length + b.Length] = L'\0';
      frame.NoteJoined(grown, a.Length + b.Length);
      result.SetText(grown, quoted ? ExprSymbol::String : ExprSymbol::RawWord);
      return ResultCode::Ok;
    }
  } else if (!TextOf(frame, left, leftBuffer, a) || !TextOf(frame, right, rightBuffer, b)) {
    return ResultCode::Fail;
  }
  wchar_t* joined = frame.AllocText(a.Length + b.Length);
  if (!joined) return ResultCode::Fail;
  std::wmemcpy(joined, a.Chars, a.Length);
  std::wmemcpy(joined + a.Length, b.Chars, b.Length);
  joined[a.Length + b.Length] = L'\0';
  frame.NoteJoined(joined, a.Length + b.Length);
  result.SetText(joined, quoted ? ExprSymbol::String : ExprSymbol::RawWord);
  return ResultCode::Ok;
}

ResultCode EvalUnary(ExprSymbol op, EvalFrame&, ExprToken& operand, ExprToken& result) {
  switch (op) {
    case ExprSymbol::PreIncrement:
    case ExprSymbol::PreDecrement:
    case ExprSymbol::PostIncrement:
    case ExprSymbol::PostDecrement:
      if (operand.Symbol != ExprSymbol::VariableRef) {
        result.SetText(L"");
        return ResultCode::Ok;
      }
      return IncrementVariable(op, operand, result);
    case ExprSymbol::Or:
    case ExprSymbol::And: result.SetInteger(TruthOf(operand) ? 1 : 0); return ResultCode::Ok;
    case ExprSymbol::Not:
    case ExprSymbol::WordNot: result.SetInteger(TruthOf(operand) ? 0 : 1); return ResultCode::Ok;
    case ExprSymbol::Address:
      if (operand.Symbol == ExprSymbol::VariableRef) {
        if (IObject* object = operand.Var->ObjectValue()) {
          result.SetInteger(static_cast<int64_t>(reinterpret_cast<uintptr_t>(object)));
        } else {
          // Outside code may now change the text, so numbers are no longer cached.
          operand.Var->StopNumberCache();
          result.SetInteger(static_cast<int64_t>(reinterpret_cast<uintptr_t>(operand.Var->TextOf(false, true))));
        }
      } else if (operand.Symbol == ExprSymbol::ObjectRef) {
        result.SetInteger(static_cast<int64_t>(reinterpret_cast<uintptr_t>(operand.Object)));
      } else {
        result.SetText(L"");
      }
      return ResultCode::Ok;
    default: break;
  }
  const NumericKind kind = NumericTypeOf(operand);
  if (kind == PURE_NOT_NUMERIC) {
    result.SetText(L"");
    return ResultCode::Ok;
  }
  switch (op) {
    case ExprSymbol::Negate:
      if (kind == PURE_INTEGER)
        result.SetInteger(WrapSubtract(0, IntegerOf(operand)));
      else
        result.SetFloat(-FloatOf(operand));
      return ResultCode::Ok;
    case ExprSymbol::BitNot: {
      const int64_t value = IntegerOf(operand);
      if (static_cast<uint64_t>(value) <= kUint32Max)
        result.SetInteger(static_cast<int64_t>(~static_cast<uint32_t>(value)));
      else
        result.SetInteger(~value);
      return ResultCode::Ok;
    }
    case ExprSymbol::Deref: result.SetInteger(ReadByteAt(IntegerOf(operand))); return ResultCode::Ok;
    default: result.SetText(L""); return ResultCode::Ok;
  }
}

ResultCode EvalAssign(ExprSymbol op, EvalFrame& frame, ExprToken& left, ExprToken& right, ExprToken& result) {
  if (left.Symbol != ExprSymbol::VariableRef) {
    result.SetText(L"");  // nothing to assign to
    return ResultCode::Ok;
  }
  Variable& var = *left.Var;
  ExprToken value = right;
  if (op == ExprSymbol::AssignConcat) {
    wchar_t buffer[kNumberTextChars];
    TextPiece piece;
    if (!TextOf(frame, right, buffer, piece)) return ResultCode::Fail;
    // In place when the buffer has room; Append leaves the variable alone
    // otherwise.
    // The text to append may be the variable's own ("x .= x"): then the
    // general path copies it first.
    const wchar_t* own = var.ResolveAlias()->TextOf(false, true);
    bool overlaps = piece.Chars >= own && piece.Chars <= own + var.ResolveAlias()->Capacity();
    if (overlaps || var.AppendGrowing(piece.Chars, piece.Length) != ResultCode::Ok) {
      if (EvalConcat(frame, left, right, value) != ResultCode::Ok) return ResultCode::Fail;
      if (var.Assign(value.Text) != ResultCode::Ok) return ResultCode::Fail;
    } else {
      value.SetText(L"");  // only a clipboard result would need it, and Append never reaches one
    }
  } else {
    if (op != ExprSymbol::Assign) {
      static constexpr ExprSymbol kBinaryOf[] = {
          ExprSymbol::Add,   ExprSymbol::Subtract, ExprSymbol::Multiply, ExprSymbol::Divide,    ExprSymbol::FloorDivide,
          ExprSymbol::BitOr, ExprSymbol::BitXor,   ExprSymbol::BitAnd,   ExprSymbol::ShiftLeft, ExprSymbol::ShiftRight};
      const ExprSymbol binary = kBinaryOf[static_cast<int>(op) - static_cast<int>(ExprSymbol::AssignAdd)];
      if (EvalBinary(binary, frame, left, right, value) != ResultCode::Ok) return ResultCode::Fail;
    }
    if (var.AssignToken(value) != ResultCode::Ok) return ResultCode::Fail;
  }
  if (var.ResolveAlias()->Type() == VAR_CLIPBOARD) {
    result = value;  // the clipboard answers with what was stored, not with itself
    result.Circuit = nullptr;
  } else {
    result.SetVariable(left.Var);
  }
  return ResultCode::Ok;
}
