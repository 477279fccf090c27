// Encoding names and code-page values (see file_encoding.h).
#include "script/file_encoding.h"

#include <array>

#include "script/text_stream.h"

namespace {

// A name with a fixed value; "CP" followed by a number is handled apart.
struct NamedEncoding {
  std::wstring_view Name;
  uint32_t Value;
};

constexpr std::array<NamedEncoding, 4> kNamedEncodings{{
    {L"UTF-8", kCodePageUtf8},
    {L"UTF-8-RAW", kCodePageUtf8 | kCodePageNoBom},
    {L"UTF-16", kCodePageUtf16},
    {L"UTF-16-RAW", kCodePageUtf16 | kCodePageNoBom},
}};

constexpr std::wstring_view kCodePagePrefix = L"CP";

// ASCII upper case; names are ASCII, so the locale plays no part.
wchar_t UpperAscii(wchar_t ch) { return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch; }

// Whether two texts are equal ignoring ASCII case.
bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// The value of a hexadecimal digit, or -1.
int HexDigitValue(wchar_t ch) {
  if (ch >= L'0' && ch <= L'9') return ch - L'0';
  ch = UpperAscii(ch);
  if (ch >= L'A' && ch <= L'F') return ch - L'A' + 10;
  return -1;
}

// Parses an unsigned whole number, decimal or "0x" hexadecimal, that fits in
// the code-page bits; a sign, blanks or any other character make it invalid.
bool ParseCodePageNumber(std::wstring_view text, uint32_t& value) {
  uint32_t base = 10;
  if (text.size() > 2 && text[0] == L'0' && UpperAscii(text[1]) == L'X') {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t result = 0;
  for (wchar_t ch : text) {
    const int digit = HexDigitValue(ch);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) return false;
    result = result * base + static_cast<uint32_t>(digit);
    // Bit 31 is the no-mark flag, so a code page never reaches it.
    if (result > kCodePageMask) return false;
  }
  value = static_cast<uint32_t>(result);
  return true;
}

}  // namespace

// Empty, one of the fixed names, or "CP" and a number.
bool ParseEncodingName(std::wstring_view name, uint32_t& codePage) {
  if (name.empty()) {
    codePage = 0;
    return true;
  }
  for (const NamedEncoding& entry : kNamedEncodings) {
    if (EqualNoCase(name, entry.Name)) {
      codePage = entry.Value;
      return true;
    }
  }
  if (name.size() > kCodePagePrefix.size() && EqualNoCase(name.substr(0, kCodePagePrefix.size()), kCodePagePrefix))
    return ParseCodePageNumber(name.substr(kCodePagePrefix.size()), codePage);
  return false;
}

// The fixed name of the value, else "CP" and its code page.
std::wstring EncodingNameOf(uint32_t codePage) {
  for (const NamedEncoding& entry : kNamedEncodings)
    if (entry.Value == codePage) return std::wstring(entry.Name);
  // The no-mark flag has no name of its own except on the two Unicode pages.
  const uint32_t page = codePage & kCodePageMask;
  if (page == 0) return std::wstring();
  return std::wstring(kCodePagePrefix) + std::to_wstring(page);
}

// UTF-8 and UTF-16 get their mark unless the value asks for none.
uint32_t ByteOrderMarkFlag(uint32_t codePage) {
  if (codePage & kCodePageNoBom) return 0;
  switch (codePage & kCodePageMask) {
    case kCodePageUtf8: return TextStream::BOM_UTF8;
    case kCodePageUtf16: return TextStream::BOM_UTF16;
    default: return 0;
  }
}
