// Thread settings records and SetFormat.
#include "values/thread_settings.h"
#include "values/values_state.h"

#include <cwchar>

#include "values/numeric_text.h"

namespace {

// Whether text begins with prefix, ignoring ASCII case.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    wchar_t a = text[i], b = prefix[i];
    if (a >= L'A' && a <= L'Z') a = static_cast<wchar_t>(a - L'A' + L'a');
    if (b >= L'A' && b <= L'Z') b = static_cast<wchar_t>(b - L'A' + L'a');
    if (a != b) return false;
  }
  return true;
}

// The number after the first "." of a format text (0 when none).
size_t PrecisionOf(std::wstring_view text) {
  size_t dot = text.find(L'.');
  if (dot == std::wstring_view::npos) return 0;
  size_t precision = 0;
  for (size_t i = dot + 1; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    precision = precision * 10 + static_cast<size_t>(text[i] - L'0');
    if (precision > kFloatPrecisionLimit) break;  // already too large; stop before overflow
  }
  return precision;
}
}  // namespace

ResultCode ThreadSettings::ApplySetFormat(std::wstring_view kind, std::wstring_view format) {
  if (StartsWithNoCase(kind, L"Float")) {
    if (format.size() >= kFloatFormatTextLimit) return ResultCode::Ok;
    if (PrecisionOf(format) + format.size() + 2 > kFloatPrecisionLimit) return ResultCode::Fail;
    wchar_t built[kFloatFormatChars];
    size_t n = 0;
    built[n++] = L'%';
    for (wchar_t c : format) built[n++] = c;
    built[n] = L'\0';
    // "f" is added only to a number (after blanks and a sign) or to nothing,
    // so that texts such as 0.3e keep their own conversion letter.
    const wchar_t* number = built + 1;
    while (*number == L' ' || *number == L'\t') ++number;
    if (*number == L'+' || *number == L'-') ++number;
    const bool addF = !*number || IsNumeric(number) != PURE_NOT_NUMERIC;
    if (format.find(L'.') == std::wstring_view::npos) built[n++] = L'.';
    if (addF) built[n++] = L'f';
    built[n] = L'\0';
    // Seam: the run-time parameter error is reported here once the
    // execution loop has its line reports; until then Fail alone.
    if (!IsValidFloatFormat(built)) return ResultCode::Fail;
    std::wmemcpy(FloatFormatText, built, n + 1);
    return ResultCode::Ok;
  }
  if (StartsWithNoCase(kind, L"Integer")) {
    if (format.empty()) return ResultCode::Ok;
    switch (format[0]) {
      case L'D':
      case L'd': IntegerFormatChar = 'D'; break;
      case L'H': IntegerFormatChar = 'H'; break;
      case L'h': IntegerFormatChar = 'h'; break;
      default: break;
    }
    return ResultCode::Ok;
  }
  return ResultCode::Fail;
}
