// Numeric text: classifier, text-to-number and number-to-text conversions,
// the truth rule and the name rules. Everything here runs on the hot path of
// expression evaluation, so nothing allocates except the name-error report.
#include "values/numeric_text.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>
#include <string>

#include "base/error_sink.h"

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
// Magnitude of the smallest integer, which has no positive counterpart.
constexpr uint64_t kInt64MinMagnitude = uint64_t{1} << 63;

// Blanks are spaces and tabs only; other white space is text.
inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Decimal digit 0-9.
inline bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Value of a hexadecimal digit, or -1.
inline int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The digits after "0x" when p starts a hexadecimal number, else null.
inline const wchar_t* SkipHexPrefix(const wchar_t* p) {
  if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') && HexDigitValue(p[2]) >= 0) return p + 2;
  return nullptr;
}

// Skips blanks, then one sign; reports whether it was "-".
inline const wchar_t* SkipBlanksAndSign(const wchar_t* p, bool& negative) {
  while (IsBlank(*p)) ++p;
  negative = *p == L'-';
  if (*p == L'+' || *p == L'-') ++p;
  return p;
}

// Characters allowed in a name besides letters, digits and code units >= 128.
inline bool IsValidNameChar(wchar_t c) {
  if (c >= 128) return true;
  // Below 128 the system's letter/digit classification is plain ASCII.
  if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || IsDecimalDigit(c)) return true;
  return c == L'_' || c == L'$' || c == L'#' || c == L'@';
}

}  // namespace

NumericKind IsNumeric(const wchar_t* text, bool allowNegative, bool allowAllBlank, bool allowFloat, bool allowImpure) {
  const wchar_t* p = text;
  while (IsBlank(*p)) ++p;
  if (!*p) return allowAllBlank ? PURE_INTEGER : PURE_NOT_NUMERIC;
  if (*p == L'+') {
    ++p;
  } else if (*p == L'-') {
    if (!allowNegative) return PURE_NOT_NUMERIC;
    ++p;
  }
  bool hex = false;
  if (const wchar_t* digits = SkipHexPrefix(p)) {
    hex = true;
    p = digits;
  }
  bool sawDigit = false, sawPoint = false, sawExponent = false;
  for (; *p; ++p) {
    const wchar_t c = *p;
    if (IsBlank(c)) {
      if (!allowImpure) {
        while (IsBlank(*p)) ++p;
        if (*p) return PURE_NOT_NUMERIC;
      }
      break;
    }
    if (hex ? HexDigitValue(c) >= 0 : IsDecimalDigit(c)) {
      sawDigit = true;
      continue;
    }
    if (c == L'.' && !hex && !sawPoint && allowFloat) {
      sawPoint = true;
      continue;
    }
    // An exponent needs a point and a digit before it, and a digit after
    // its optional sign; "1e5" is deliberately not a number.
    if ((c == L'e' || c == L'E') && !hex && sawPoint && sawDigit && !sawExponent) {
      const wchar_t* q = p + 1;
      if (*q == L'+' || *q == L'-') ++q;
      if (IsDecimalDigit(*q)) {
        sawExponent = true;
        p = q;
        continue;
      }
    }
    if (allowImpure) break;
    return PURE_NOT_NUMERIC;
  }
  if (!sawDigit) return PURE_NOT_NUMERIC;
  return sawPoint ? PURE_FLOAT : PURE_INTEGER;
}

int64_t TextToInteger(const wchar_t* text) {
  bool negative;
  const wchar_t* p = SkipBlanksAndSign(text, negative);
  uint64_t magnitude = 0;
  if (const wchar_t* digits = SkipHexPrefix(p)) {
    // Hexadecimal text is a bit pattern: up to 16 digits give any 64-bit
    // value (0xFFFFFFFFFFFFFFFF is -1); more saturate.
    for (int d; (d = HexDigitValue(*digits)) >= 0; ++digits) {
      if (magnitude >> 60) return negative ? kInt64Min : kInt64Max;
      magnitude = magnitude * 16 + static_cast<unsigned>(d);
    }
    return static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
  }
  const uint64_t limit = negative ? kInt64MinMagnitude : static_cast<uint64_t>(kInt64Max);
  for (; IsDecimalDigit(*p); ++p) {
    const unsigned d = static_cast<unsigned>(*p - L'0');
    if (magnitude > (limit - d) / 10) return negative ? kInt64Min : kInt64Max;
    magnitude = magnitude * 10 + d;
  }
  return static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
}

namespace {

// Plain decimals of up to 15 digits and no exponent ("8.0", "2.5"): the
// digits make an exact integer and the power of ten is exact, so a single
// division gives the correctly rounded value the C library would, without
// the library's locale lock on every call. False for any other form.
bool ReadPlainDecimal(const wchar_t* p, double& value) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  constexpr int kMostDigits = 15;  // below 2^53, so the integer is exact
  uint64_t mantissa = 0;
  int digits = 0, fractionDigits = 0;
  bool point = false;
  for (;; ++p) {
    if (IsDecimalDigit(*p)) {
      if (++digits > kMostDigits) return false;
      mantissa = mantissa * 10 + static_cast<uint64_t>(*p - L'0');
      if (point) ++fractionDigits;
    } else if (*p == L'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (*p == L'e' || *p == L'E') return false;
  value = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
  return true;
}

}  // namespace

double TextToDouble(const wchar_t* text) {
  bool negative;
  const wchar_t* p = SkipBlanksAndSign(text, negative);
  if (SkipHexPrefix(p)) return static_cast<double>(TextToInteger(text));
  // "0x" not followed by a hexadecimal digit reads as the decimal 0; the C
  // library would otherwise take forms such as 0x.8 as hexadecimal floats.
  if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) return negative ? -0.0 : 0.0;
  if (IsDecimalDigit(*p) || (*p == L'.' && IsDecimalDigit(p[1]))) {
    // The start is a decimal number, so the library's longest-prefix parse
    // cannot wander into "inf", "nan" or hexadecimal forms.
    double value = 0.0;
    if (!ReadPlainDecimal(p, value)) value = std::wcstod(p, nullptr);
    return negative ? -value : value;
  }
  return 0.0;
}

int64_t DoubleToInteger(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exactly representable; anything at or beyond it saturates.
  if (value >= 9223372036854775808.0) return kInt64Max;
  if (value <= -9223372036854775808.0) return kInt64Min;
  return static_cast<int64_t>(value);
}

bool TextIsTrue(const wchar_t* text) {
  if (!*text) return false;
  // Fast path: no number text starts above "0" unless it is non-zero, and
  // non-numbers are true anyway.
  if (*text > L'0') return true;
  if (text[0] == L'0' && !text[1]) return false;
  switch (IsNumeric(text)) {
    case PURE_INTEGER: return TextToInteger(text) != 0;
    case PURE_FLOAT: return TextToDouble(text) != 0.0;
    case PURE_NOT_NUMERIC: break;
  }
  return true;
}

namespace {

// The decimal digit pairs 00 to 99, two characters each.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// How many decimal digits a magnitude has.
size_t DecimalDigits(uint64_t magnitude) {
  size_t digits = 1;
  for (uint64_t bound = 10; digits < 20 && magnitude >= bound; bound *= 10) ++digits;
  return digits;
}

// Writes a magnitude's decimal digits ending just before `end`, two at a
// time: numbers become text on every read of a number as text, and a
// division per digit costs more than the rest of such a read.
void WriteDecimal(uint64_t magnitude, wchar_t* end) {
  while (magnitude >= 100) {
    const size_t pair = static_cast<size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    *--end = static_cast<wchar_t>(kDigitPairs[pair + 1]);
    *--end = static_cast<wchar_t>(kDigitPairs[pair]);
  }
  if (magnitude >= 10) {
    const size_t pair = static_cast<size_t>(magnitude) * 2;
    *--end = static_cast<wchar_t>(kDigitPairs[pair + 1]);
    *--end = static_cast<wchar_t>(kDigitPairs[pair]);
  } else {
    *--end = static_cast<wchar_t>(L'0' + magnitude);
  }
}

}  // namespace

size_t IntegerToText(int64_t value, wchar_t* buffer, wchar_t format) {
  const bool hex = format == L'h' || format == L'H';
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  size_t length = 0;
  if (value < 0) buffer[length++] = L'-';
  if (!hex) {
    length += DecimalDigits(magnitude);
    WriteDecimal(magnitude, buffer + length);
    buffer[length] = L'\0';
    return length;
  }
  const wchar_t* digitSet = format == L'H' ? L"0123456789ABCDEF" : L"0123456789abcdef";
  wchar_t reversed[kIntegerTextChars];
  size_t count = 0;
  do {
    reversed[count++] = digitSet[magnitude & 0xF];
    magnitude >>= 4;
  } while (magnitude);
  buffer[length++] = L'0';
  buffer[length++] = L'x';  // lower case even for 'H'
  while (count) buffer[length++] = reversed[--count];
  buffer[length] = L'\0';
  return length;
}

bool IsValidFloatFormat(const wchar_t* format) {
  const wchar_t* p = format;
  if (*p++ != L'%') return false;
  while (*p && std::wcschr(L"-+ #0", *p)) ++p;
  while (IsDecimalDigit(*p)) ++p;
  if (*p == L'.') {
    ++p;
    while (IsDecimalDigit(*p)) ++p;
  }
  if (*p == L'l') ++p;
  if (!*p || !std::wcschr(L"aAeEfFgG", *p)) return false;
  return p[1] == L'\0';
}

size_t FloatToText(double value, wchar_t* buffer, size_t bufferChars, const wchar_t* format) {
  buffer[0] = L'\0';
  // Anything but a plain double conversion (%s, %n, a bare %) would read or
  // write through the double as if it were a pointer.
  if (!IsValidFloatFormat(format)) return 0;
  char narrowFormat[64];
  size_t i = 0;
  for (; format[i] && i + 1 < sizeof(narrowFormat); ++i) narrowFormat[i] = static_cast<char>(format[i]);
  if (format[i]) return 0;
  narrowFormat[i] = '\0';
  char out[kFloatTextMaxChars];
  // The format is the script's own SetFormat text, checked above to be one
  // float conversion, so it cannot be a literal here.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  const int written = std::snprintf(out, sizeof(out), narrowFormat, value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (written < 0) return 0;  // e.g. a width beyond what the library can count
  size_t length = static_cast<size_t>(written);
  if (length > sizeof(out) - 1) length = sizeof(out) - 1;
  if (length > bufferChars - 1) length = bufferChars - 1;
  for (size_t k = 0; k < length; ++k) buffer[k] = static_cast<unsigned char>(out[k]);
  buffer[length] = L'\0';
  return length;
}

bool IsValidVariableName(std::wstring_view name) {
  if (name.empty() || name.size() > kMaxVarNameLength) return false;
  for (wchar_t c : name)
    if (!IsValidNameChar(c)) return false;
  return true;
}

ResultCode ValidateVariableName(std::wstring_view name, bool isFunction) {
  if (name.size() > kMaxVarNameLength) return ReportLoadError(isFunction ? msg::FuncNameTooLong : msg::VarNameTooLong);
  if (IsValidVariableName(name)) return ResultCode::Ok;
  std::wstring message = isFunction ? msg::FuncNameIllegalChar : msg::VarNameIllegalChar;
  // The name is shown left-aligned in at least one and at most 300 places.
  std::wstring_view shown = name.substr(0, msg::kIllegalNameShown);
  message.append(shown.empty() ? std::wstring_view(L" ") : shown);
  message += L'"';
  return ReportLoadError(message);
}
