// Searching and case mapping shared by the string functions and the legacy
// text commands: the three case modes, forward and backward searches that
// agree on what a match is, replacement with a limit, and the upper, lower
// and title case mappings.
//
// Invariants: positions are 0-based UTF-16 code units; a match never
// extends past the text it was found in; the case modes map one code unit
// to one code unit, so a search never copies or folds the texts it looks
// at: it compares units through the mode's folding as it goes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The first position at or after `from` (and before `end`) holding `a` or
// `b`, or `end`. Pass the same unit twice to look for one.
const wchar_t* FindEitherUnit(const wchar_t* from, const wchar_t* end, wchar_t a, wchar_t b);
// How many times `unit` occurs in [from, end).
size_t CountUnit(const wchar_t* from, const wchar_t* end, wchar_t unit);

// Finds a needle in a haystack under one case mode. Candidates are found by
// scanning for one unit of the needle (a unit without case when there is
// one), then compared in full.
class TextSearch {
 public:
  TextSearch(std::wstring_view haystack, std::wstring_view needle, CaseMode mode);
  // The first match starting at or after `from`, or kNoMatch.
  size_t Next(size_t from) const;
  // The last match that ends at or before `end`, or kNoMatch.
  size_t Previous(size_t end) const;
  size_t NeedleLength() const { return needle_.size(); }

 private:
  // Whether the needle matches the haystack at `at` (room is checked by the caller).
  bool MatchesAt(size_t at) const;
  // Whether a haystack unit can be the needle's anchor unit.
  bool IsAnchor(wchar_t c) const;

  std::wstring_view haystack_;
  std::wstring_view needle_;
  CaseMode mode_;
  // The locale mode's lower-case table (65536 units), else null.
  const wchar_t* fold_ = nullptr;
  // The needle unit scanned for, its offset in the needle and its forms
  // (equal when it has one form; in the locale mode, the folded form).
  size_t anchorOffset_ = 0;
  wchar_t anchorA_ = 0;
  wchar_t anchorB_ = 0;
};

// The starts of up to `limit` (negative: all) matches from left to right
// that do not overlap, in `found` (cleared first). An empty search text
// matches nothing.
void FindMatches(std::wstring_view haystack, std::wstring_view search, CaseMode mode, int64_t limit,
                 std::vector<size_t>& found);

// The length of the haystack once each match (of `searchLength` units)
// becomes the replacement.
size_t ReplacedLength(size_t haystackLength, size_t matches, size_t searchLength, size_t replacementLength);

// Writes the haystack with every match replaced into `out`, which has room
// for ReplacedLength characters and a terminator.
void WriteReplaced(std::wstring_view haystack, const std::vector<size_t>& found, size_t searchLength,
                   std::wstring_view replacement, wchar_t* out);

// In-place case mappings through the system's character mapping.
void ToUpperCase(wchar_t* text, size_t length);
void ToLowerCase(wchar_t* text, size_t length);
// Title case: a letter at the start or after white space is upper-cased,
// every other letter lower-cased; other characters leave the state alone.
void ToTitleCase(wchar_t* text, size_t length);
