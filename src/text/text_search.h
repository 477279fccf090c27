// Searching and case mapping shared by the string functions and the legacy
// text commands: the three case modes, forward and backward searches that
// agree on what a match is, replacement with a limit, and the upper, lower
// and title case mappings.
//
// Invariants: positions are 0-based UTF-16 code units; a match never
// extends past the text it was found in; the case modes never change the
// length of a text, so positions found in folded copies are positions in
// the original.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How two code units compare in a search.
enum class CaseMode : uint8_t {
  AsciiInsensitive = 0,  // A to Z match a to z; everything else exactly
  Sensitive = 1,         // exact code units
  Locale = 2,            // the system's locale case mapping
};

// The case mode the running thread's StringCaseSense selects.
CaseMode ThreadCaseMode();

// Not found.
inline constexpr size_t kNoMatch = std::wstring_view::npos;

// Finds a needle in a haystack under one case mode. The locale mode folds
// both texts once, so repeated searches of one pair stay cheap.
class TextSearch {
 public:
  TextSearch(std::wstring_view haystack, std::wstring_view needle, CaseMode mode);
  // The first match starting at or after `from`, or kNoMatch.
  size_t Next(size_t from) const;
  // The last match that ends at or before `end`, or kNoMatch.
  size_t Previous(size_t end) const;
  size_t NeedleLength() const { return needle_.size(); }

 private:
  std::wstring_view haystack_;
  std::wstring_view needle_;
  CaseMode mode_;
  // Whether the needle has letters that the ASCII mode folds.
  bool needleFolds_ = false;
  std::wstring foldedHaystack_;
  std::wstring foldedNeedle_;
};

// Replaces up to `limit` (negative: all) occurrences from left to right
// into `out`; returns the number replaced. An empty search text replaces
// nothing. `out` is left untouched when the count is 0.
size_t ReplaceText(std::wstring_view haystack, std::wstring_view search, std::wstring_view replacement, CaseMode mode,
                   int64_t limit, std::wstring& out);

// In-place case mappings through the system's character mapping.
void ToUpperCase(wchar_t* text, size_t length);
void ToLowerCase(wchar_t* text, size_t length);
// Title case: a letter at the start or after white space is upper-cased,
// every other letter lower-cased; other characters leave the state alone.
void ToTitleCase(wchar_t* text, size_t length);
