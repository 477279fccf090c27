// Format(Pattern, Values...): builds text from a pattern with numbered
// placeholders (see format.h for the pattern language).
//
// A pattern is parsed into a plan of steps, kept for the next call: a
// script calls Format with the same pattern again and again. Fixed floats
// of modest size are written by integer arithmetic; other floats take the
// standard library's exact, locale-free conversion (the C library's printf
// takes a lock and a big-number path for every float). Integers and the
// rare float forms go through the C library with a narrow format built
// from the placeholder. Text is padded and cut here, so that wide text
// never depends on how a printf reads "%s". The result is built in the
// subsystem's scratch buffer and handed back from the function's short
// result buffer, or as a heap block when long.
#include "text/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "objects/builtin_functions.h"
#include "text/text_functions.h"
#include "text/text_search.h"
#include "text/text_state.h"
#include "text/text_values.h"
#include "values/expr_operators.h"
#include "values/variable.h"

namespace {

// The flag characters a conversion may start with.
constexpr std::wstring_view kFlagChars = L"-+0 #";
// Type letters by conversion.
constexpr std::wstring_view kIntegerTypes = L"diouxX";
constexpr std::wstring_view kFloatTypes = L"eEfgGaA";
constexpr std::wstring_view kCharacterTypes = L"cC";
constexpr std::wstring_view kTextTypes = L"sULlTt";
// Characters the size prefix adds to a conversion's length.
constexpr size_t kSizePrefixChars = 3;
// Room for the narrow format built from a placeholder.
constexpr size_t kNarrowFormatChars = kMaxConversionChars + 8;

// Reads decimal digits at `at`, saturating at `limit`; false when none.
bool ReadDigits(std::wstring_view text, size_t& at, int64_t limit, int64_t& value) {
  const size_t start = at;
  value = 0;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    value = value * 10 + (text[at] - L'0');
    if (value > limit) value = limit;
  }
  return at > start;
}

// The value of a hexadecimal digit, or -1.
int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads a placeholder index: "0x" and hexadecimal digits, or decimal digits.
bool ReadIndex(std::wstring_view text, size_t& at, int64_t& index) {
  constexpr int64_t kIndexLimit = INT32_MAX;
  if (at + 2 < text.size() && text[at] == L'0' && (text[at + 1] | 0x20) == L'x' && HexDigitValue(text[at + 2]) >= 0) {
    at += 2;
    index = 0;
    for (int digit; at < text.size() && (digit = HexDigitValue(text[at])) >= 0; ++at) {
      index = index * 16 + digit;
      if (index > kIndexLimit) index = kIndexLimit;
    }
    return true;
  }
  return ReadDigits(text, at, kIndexLimit, index);
}

// Whether a character is one of the type letters.
bool IsTypeLetter(wchar_t c) {
  for (std::wstring_view letters : {kIntegerTypes, kFloatTypes, kCharacterTypes, kTextTypes})
    if (letters.find(c) != std::wstring_view::npos) return true;
  return c == L'p';
}

// Reads ":" flags, width, precision and type; false when the conversion is too long.
bool ReadConversion(std::wstring_view pattern, size_t& at, Placeholder& placeholder) {
  const size_t start = at;
  size_t flags = 0;
  for (; at < pattern.size() && kFlagChars.find(pattern[at]) != std::wstring_view::npos; ++at)
    if (flags < kMaxConversionChars) placeholder.Flags[flags++] = static_cast<char>(pattern[at]);
  int64_t number = 0;
  if (ReadDigits(pattern, at, static_cast<int64_t>(kMaxPieceChars), number))
    placeholder.Width = static_cast<int>(number);
  if (at < pattern.size() && pattern[at] == L'.') {
    ++at;
    ReadDigits(pattern, at, static_cast<int64_t>(kMaxPieceChars), number);
    placeholder.Precision = static_cast<int>(number);  // "." alone means 0
  }
  if (at < pattern.size() && IsTypeLetter(pattern[at])) placeholder.Type = pattern[at++];
  // "%", the conversion as written, the size prefix.
  return 1 + (at - start) + kSizePrefixChars <= kMaxConversionChars;
}

}  // namespace

ConversionClass ClassOfType(wchar_t type) {
  if (!type) return ConversionClass::Text;
  if (kIntegerTypes.find(type) != std::wstring_view::npos) return ConversionClass::Integer;
  if (kFloatTypes.find(type) != std::wstring_view::npos) return ConversionClass::Float;
  if (kCharacterTypes.find(type) != std::wstring_view::npos) return ConversionClass::Character;
  if (type == L'p') return ConversionClass::Pointer;
  return ConversionClass::Text;
}

Placeholder ParsePlaceholder(std::wstring_view pattern, size_t at, int64_t previousIndex) {
  Placeholder placeholder;
  // "{{}" and "{}}" stand for one brace.
  if (at + 2 < pattern.size() && (pattern[at + 1] == L'{' || pattern[at + 1] == L'}') && pattern[at + 2] == L'}') {
    placeholder.Kind = PlaceholderKind::Brace;
    placeholder.Brace = pattern[at + 1];
    placeholder.End = at + 3;
    return placeholder;
  }
  size_t next = at + 1;
  if (!ReadIndex(pattern, next, placeholder.Index)) placeholder.Index = previousIndex + 1;
  if (next < pattern.size() && pattern[next] == L':') {
    ++next;
    if (!ReadConversion(pattern, next, placeholder)) return Placeholder{};
  }
  if (next >= pattern.size() || pattern[next] != L'}') return Placeholder{};
  placeholder.Kind = PlaceholderKind::Value;
  placeholder.End = next + 1;
  return placeholder;
}

namespace {

// The narrow printf format of a numeric placeholder, with `size` between
// the precision and the type.
void BuildNarrowFormat(const Placeholder& placeholder, const char* size, char type, char* out) {
  if (placeholder.Width >= 0 && placeholder.Precision >= 0)
    std::snprintf(out, kNarrowFormatChars, "%%%s%d.%d%s%c", placeholder.Flags, placeholder.Width, placeholder.Precision,
                  size, type);
  else if (placeholder.Width >= 0)
    std::snprintf(out, kNarrowFormatChars, "%%%s%d%s%c", placeholder.Flags, placeholder.Width, size, type);
  else if (placeholder.Precision >= 0)
    std::snprintf(out, kNarrowFormatChars, "%%%s.%d%s%c", placeholder.Flags, placeholder.Precision, size, type);
  else
    std::snprintf(out, kNarrowFormatChars, "%%%s%s%c", placeholder.Flags, size, type);
}

// The format is built from a parsed placeholder (one conversion of the
// value's type), so it cannot be a literal here.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
// Appends narrow (ASCII) conversion output, at most kMaxPieceChars of it.
template <typename Value>
void AppendConverted(std::wstring& out, const char* format, Value value) {
  char small[kFloatTextMaxChars];
  const int needed = std::snprintf(small, sizeof(small), format, value);
  if (needed <= 0) return;
  const size_t length = static_cast<size_t>(needed) < kMaxPieceChars ? static_cast<size_t>(needed) : kMaxPieceChars;
  if (length < sizeof(small)) {
    for (size_t i = 0; i < length; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(small[i]));
    return;
  }
  std::string large(static_cast<size_t>(needed) + 1, '\0');
  std::snprintf(large.data(), large.size(), format, value);
  for (size_t i = 0; i < length; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(large[i]));
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// Whether a flag was written.
bool HasFlag(const Placeholder& placeholder, char flag) { return std::strchr(placeholder.Flags, flag) != nullptr; }

// Appends text padded to the width (left-justified with "-", zero-filled
// with "0" as the platform's printf does) and cut to the precision.
void AppendPadded(std::wstring& out, std::wstring_view text, const Placeholder& placeholder) {
  if (placeholder.Precision >= 0 && text.size() > static_cast<size_t>(placeholder.Precision))
    text = text.substr(0, static_cast<size_t>(placeholder.Precision));
  if (text.size() > kMaxPieceChars) text = text.substr(0, kMaxPieceChars);
  const size_t width = placeholder.Width > 0 ? static_cast<size_t>(placeholder.Width) : 0;
  const size_t padding = width > text.size() ? width - text.size() : 0;
  const bool left = HasFlag(placeholder, '-');
  const wchar_t fill = !left && HasFlag(placeholder, '0') ? L'0' : L' ';
  if (!left) out.append(padding, fill);
  out.append(text);
  if (left) out.append(padding, L' ');
}

// Room for the digits of a float conversion done here; a conversion that
// needs more (a huge precision) goes to the C library.
constexpr size_t kFloatDigitsChars = 384;

// The library conversion for a float type letter: fixed, scientific or general.
std::chars_format FloatFormatOf(wchar_t type) {
  switch (type) {
    case L'f': return std::chars_format::fixed;
    case L'e':
    case L'E': return std::chars_format::scientific;
    default: return std::chars_format::general;
  }
}

// The sign a float conversion shows: "-" for a negative value (negative
// zero included), else "+" or " " as the flags ask; 0 for none.
char SignOf(const Placeholder& placeholder, bool negative) {
  if (negative) return '-';
  if (HasFlag(placeholder, '+')) return '+';
  if (HasFlag(placeholder, ' ')) return ' ';
  return 0;
}

// Powers of ten a quick fixed conversion scales by, one per precision.
constexpr double kQuickScales[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr int kQuickMaxPrecision = 9;
// Scaled values below this have units small enough (at most 2^-21) that the
// one rounding of the product cannot move the fraction across the guard.
constexpr double kQuickScaledLimit = 4294967296.0;  // 2^32
// Fractions this close to a half are left to the exact conversion.
constexpr double kQuickTieGuard = 1e-5;

// Writes a non-negative finite value in fixed notation with `precision`
// decimals by integer arithmetic, as the exact conversion would round it;
// 0 (nothing written) when the value is too large, the precision too high
// or the scaled value too near a tie to be sure.
size_t QuickFixedDigits(double magnitude, int precision, char* out) {
  if (precision > kQuickMaxPrecision) return 0;
  const double scaled = magnitude * kQuickScales[precision];
  if (!(scaled < kQuickScaledLimit)) return 0;
  // Truncation is the floor of a value this small and not negative, and
  // unlike a floor call it is always a single instruction.
  const auto whole = static_cast<uint64_t>(scaled);
  const double fraction = scaled - static_cast<double>(whole);
  if (std::fabs(fraction - 0.5) < kQuickTieGuard) return 0;
  uint64_t number = whole + (fraction > 0.5 ? 1 : 0);
  // Least significant digit first; at least one digit before the point.
  char reversed[24];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number);
  const size_t decimals = static_cast<size_t>(precision);
  while (count < decimals + 1) reversed[count++] = '0';
  size_t length = 0;
  for (size_t i = count; i-- > 0;) {
    out[length++] = reversed[i];
    if (i == decimals && decimals) out[length++] = '.';
  }
  return length;
}

// Appends a finite value by the conversion f, e, E, g or G, as printf
// writes it. The digits come from the library's exact, locale-free
// conversion; sign, "#", width and padding are applied here. False (nothing
// appended) for what is left to the C library: infinities and NaN, "#"
// with g or G, and digits beyond kFloatDigitsChars.
bool AppendFloat(std::wstring& out, const Placeholder& placeholder, double value) {
  const wchar_t type = placeholder.Type;
  const bool alternate = HasFlag(placeholder, '#');
  if (!std::isfinite(value) || type == L'a' || type == L'A' || (alternate && (type == L'g' || type == L'G')))
    return false;
  const int precision = placeholder.Precision >= 0 ? placeholder.Precision : 6;
  char digits[kFloatDigitsChars];
  size_t length = type == L'f' ? QuickFixedDigits(std::fabs(value), precision, digits) : 0;
  if (!length) {
    const std::to_chars_result converted =
        std::to_chars(digits, digits + sizeof(digits), std::fabs(value), FloatFormatOf(type), precision);
    if (converted.ec != std::errc()) return false;
    length = static_cast<size_t>(converted.ptr - digits);
  }
  // "#" keeps the decimal point when no digits follow it: "3." and "3.e+00".
  const bool addPoint = alternate && precision == 0;
  const char sign = SignOf(placeholder, std::signbit(value));
  const size_t shown = length + (addPoint ? 1 : 0) + (sign ? 1 : 0);
  const size_t width = placeholder.Width > 0 ? static_cast<size_t>(placeholder.Width) : 0;
  const size_t padding = width > shown ? width - shown : 0;
  const bool left = HasFlag(placeholder, '-');
  const bool zeroFill = !left && HasFlag(placeholder, '0');
  const bool upper = type == L'E' || type == L'G';
  if (!left && !zeroFill) out.append(padding, L' ');
  if (sign) out += static_cast<wchar_t>(sign);
  if (zeroFill) out.append(padding, L'0');
  // The point goes after the integer digits, which end at the exponent.
  const size_t pointAt = addPoint ? static_cast<size_t>(std::find(digits, digits + length, 'e') - digits) : length;
  // Widened in one buffer and appended at once.
  wchar_t wide[kFloatDigitsChars + 1];
  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    if (i == pointAt) wide[written++] = L'.';
    const char c = upper && digits[i] == 'e' ? 'E' : digits[i];
    wide[written++] = static_cast<wchar_t>(c);
  }
  if (addPoint && pointAt == length) wide[written++] = L'.';
  out.append(wide, written);
  if (left) out.append(padding, L' ');
  return true;
}

// A value as an integer: numbers by value, hexadecimal or decimal text,
// objects 0.
int64_t IntegerValue(ExprToken& value) { return ObjectOf(value) ? 0 : ParamInteger(value); }

// A value as a double: numbers by value, hexadecimal text as an integer,
// other text by the float parser, objects 0.
double FloatValue(ExprToken& value) { return ObjectOf(value) ? 0.0 : ParamFloat(value); }

// A value as text: integers in decimal, floats in the thread's format.
std::wstring_view TextValue(ExprToken& value, wchar_t* numberBuffer) {
  if (value.Symbol == ExprSymbol::Integer) {
    const size_t length = IntegerToText(value.ValueInt64, numberBuffer);
    return std::wstring_view(numberBuffer, length);
  }
  return ParamView(value, numberBuffer);
}

// Changes the case of the piece just appended, as U, L and T ask.
void ApplyCaseType(std::wstring& out, size_t pieceStart, wchar_t type) {
  wchar_t* piece = out.data() + pieceStart;
  const size_t length = out.size() - pieceStart;
  switch (type) {
    case L'U': ToUpperCase(piece, length); break;
    case L'L':
    case L'l': ToLowerCase(piece, length); break;
    case L'T':
    case L't': ToTitleCase(piece, length); break;
    default: break;
  }
}

// Appends one filled placeholder.
void AppendPlaceholder(std::wstring& out, const Placeholder& placeholder, ExprToken& value) {
  char format[kNarrowFormatChars];
  switch (ClassOfType(placeholder.Type)) {
    case ConversionClass::Integer:
      BuildNarrowFormat(placeholder, "ll", static_cast<char>(placeholder.Type), format);
      AppendConverted(out, format, static_cast<long long>(IntegerValue(value)));
      return;
    case ConversionClass::Float: {
      const double number = FloatValue(value);
      if (AppendFloat(out, placeholder, number)) return;
      BuildNarrowFormat(placeholder, "", static_cast<char>(placeholder.Type), format);
      AppendConverted(out, format, number);
      return;
    }
    case ConversionClass::Pointer:
      BuildNarrowFormat(placeholder, "", 'p', format);
      AppendConverted(out, format, reinterpret_cast<void*>(static_cast<uintptr_t>(IntegerValue(value))));
      return;
    case ConversionClass::Character: {
      // One UTF-16 unit, as the wide printf writes "%c" of an integer.
      const wchar_t unit = static_cast<wchar_t>(IntegerValue(value));
      Placeholder text = placeholder;
      text.Precision = -1;
      AppendPadded(out, std::wstring_view(&unit, 1), text);
      return;
    }
    case ConversionClass::Text: {
      wchar_t numberBuffer[kNumberTextChars];
      const size_t pieceStart = out.size();
      AppendPadded(out, TextValue(value, numberBuffer), placeholder);
      ApplyCaseType(out, pieceStart, placeholder.Type);
      return;
    }
  }
}

}  // namespace

namespace {

// A step that copies pattern[offset, offset + length).
FormatStep TextStep(size_t offset, size_t length) {
  FormatStep step;
  step.Offset = offset;
  step.Length = length;
  return step;
}

// A step that writes one character.
FormatStep CharStep(wchar_t c) {
  FormatStep step;
  step.Kind = FormatStepKind::Char;
  step.Char = c;
  return step;
}

}  // namespace

void PlanFormat(std::wstring_view pattern, int count, std::vector<FormatStep>& steps) {
  steps.clear();
  int64_t previousIndex = 0;
  for (size_t at = 0; at < pattern.size();) {
    const size_t brace = pattern.find(L'{', at);
    const size_t textEnd = brace == std::wstring_view::npos ? pattern.size() : brace;
    if (textEnd > at) steps.push_back(TextStep(at, textEnd - at));
    if (brace == std::wstring_view::npos) break;
    const Placeholder placeholder = ParsePlaceholder(pattern, brace, previousIndex);
    if (placeholder.Kind == PlaceholderKind::Brace) {
      steps.push_back(CharStep(placeholder.Brace));
      at = placeholder.End;
      continue;
    }
    // Parameters count the values from 1; index 0 is the pattern itself.
    if (placeholder.Kind == PlaceholderKind::Literal || placeholder.Index >= count) {
      steps.push_back(CharStep(L'{'));
      at = brace + 1;
      continue;
    }
    FormatStep step;
    step.Kind = FormatStepKind::Value;
    step.Value = placeholder;
    steps.push_back(step);
    previousIndex = placeholder.Index;
    at = placeholder.End;
  }
}

namespace {

// Longest pattern whose plan is kept for the next call.
constexpr size_t kPlannedPatternChars = 256;

// The plan for a pattern: the cached one when the pattern and the count
// are those it was made for.
const std::vector<FormatStep>& PlanFor(std::wstring_view pattern, int count) {
  FormatPlanCache& cache = Text().FormatPlan;
  if (cache.Count != count || cache.Pattern != pattern) {
    PlanFormat(pattern, count, cache.Steps);
    // A long pattern is planned but not kept: the copy would cost more
    // than planning it again, and it would hold its memory.
    const bool keep = pattern.size() <= kPlannedPatternChars;
    cache.Pattern.assign(keep ? pattern : std::wstring_view());
    cache.Count = keep ? count : -1;
  }
  return cache.Steps;
}

}  // namespace

// Format(Pattern, Values...).
ResultCode BifFormat(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t patternBuffer[kNumberTextChars];
  const std::wstring_view pattern = ParamView(*params[0], patternBuffer);
  const std::vector<FormatStep>& steps = PlanFor(pattern, count);
  std::wstring& out = Text().Scratch;
  out.clear();
  for (const FormatStep& step : steps) {
    switch (step.Kind) {
      case FormatStepKind::Text: out.append(pattern.substr(step.Offset, step.Length)); break;
      case FormatStepKind::Char: out += step.Char; break;
      case FormatStepKind::Value: AppendPlaceholder(out, step.Value, *params[step.Value.Index]); break;
    }
  }
  const ResultCode stored = SetResultTextChecked(result, out, ShortResultSlot::Format);
  if (out.capacity() > kScratchKeptChars) std::wstring().swap(out);
  return stored;
}
