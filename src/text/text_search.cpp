// Searching, replacing and case mapping (see text_search.h).
//
// A search scans for one unit of the needle, eight units at a time where
// the processor allows, and compares the whole needle only where that unit
// occurs. The ASCII-insensitive mode scans for a needle unit that is not a
// letter when there is one (one form to look for), else for both cases of
// the first letter. The locale mode folds units through a table of the
// system's lower-case mapping, made once for all 65536 units, so that no
// text is ever copied to be folded.
#include "text/text_search.h"

#include <windows.h>

#include <bit>
#include <cwctype>

#include "text/text_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

#if defined(_M_X64) || defined(__SSE2__)
#include <emmintrin.h>
#define QRV_TEXT_SSE2 1
#endif

namespace {

// A to Z folded to upper case; every other unit as it is.
inline wchar_t FoldAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

// Whether a unit is an ASCII letter, which the ASCII mode folds.
inline bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// The other case of an ASCII letter.
inline wchar_t OtherAsciiCase(wchar_t c) { return static_cast<wchar_t>(c ^ 0x20); }

// Number of code units, the size of the locale folding table.
constexpr size_t kCodeUnits = 0x10000;

// The system's lower-case mapping of every code unit, made on first use.
const wchar_t* LocaleLowerTable() {
  std::vector<wchar_t>& table = Text().LocaleLower;
  if (table.empty()) {
    table.resize(kCodeUnits);
    for (size_t i = 0; i < kCodeUnits; ++i) table[i] = static_cast<wchar_t>(i);
    // The mapping works unit by unit, so mapping the table maps each unit.
    CharLowerBuffW(table.data(), static_cast<DWORD>(kCodeUnits));
  }
  return table.data();
}

// Largest piece handed to one system mapping call, whose length is 32-bit.
constexpr size_t kMappingChunk = size_t{1} << 30;

// Applies a CharUpperBuffW-style mapping in pieces.
template <typename Mapping>
void MapInPieces(wchar_t* text, size_t length, Mapping mapping) {
  while (length) {
    const size_t piece = length < kMappingChunk ? length : kMappingChunk;
    mapping(text, static_cast<DWORD>(piece));
    text += piece;
    length -= piece;
  }
}

// Pieces at least this long go to the C library's copy; shorter ones are
// copied here, since the library call's set-up (and its byte-wise tails)
// costs more than the copy itself for the short runs between matches.
constexpr size_t kLibraryCopyUnits = 128;

// Copies units between buffers that do not overlap.
inline void CopyUnits(wchar_t* out, const wchar_t* from, size_t count) {
  if (count >= kLibraryCopyUnits) {
    std::char_traits<wchar_t>::copy(out, from, count);
    return;
  }
#if defined(QRV_TEXT_SSE2)
  constexpr size_t kUnitsPerBlock = 8;
  if (count >= kUnitsPerBlock) {
    size_t i = 0;
    for (; i + kUnitsPerBlock <= count; i += kUnitsPerBlock)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    // The last block may overlap the one before it; both hold the same units.
    if (i < count)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + count - kUnitsPerBlock),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + count - kUnitsPerBlock)));
    return;
  }
#endif
  for (size_t i = 0; i < count; ++i) out[i] = from[i];
}

}  // namespace

const wchar_t* FindEitherUnit(const wchar_t* from, const wchar_t* end, wchar_t a, wchar_t b) {
#if defined(QRV_TEXT_SSE2)
  constexpr ptrdiff_t kUnitsPerBlock = 8;
  const __m128i wantA = _mm_set1_epi16(static_cast<short>(a));
  const __m128i wantB = _mm_set1_epi16(static_cast<short>(b));
  for (; end - from >= kUnitsPerBlock; from += kUnitsPerBlock) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(block, wantA), _mm_cmpeq_epi16(block, wantB));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    // Two mask bits per unit: the lowest set bit / 2 is the first hit.
    if (mask) return from + std::countr_zero(mask) / 2;
  }
#endif
  for (; from < end; ++from)
    if (*from == a || *from == b) return from;
  return end;
}

size_t CountUnit(const wchar_t* from, const wchar_t* end, wchar_t unit) {
  size_t count = 0;
#if defined(QRV_TEXT_SSE2)
  constexpr ptrdiff_t kUnitsPerBlock = 8;
  const __m128i want = _mm_set1_epi16(static_cast<short>(unit));
  for (; end - from >= kUnitsPerBlock; from += kUnitsPerBlock) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    // Two mask bits per matching unit.
    count +=
        static_cast<size_t>(std::popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, want))))) / 2;
  }
#endif
  for (; from < end; ++from)
    if (*from == unit) ++count;
  return count;
}

CaseMode ThreadCaseMode() {
  switch (Values().CurrentThread->CaseSensitivity) {
    case 1: return CaseMode::Sensitive;
    case 2: return CaseMode::Locale;
    default: return CaseMode::AsciiInsensitive;
  }
}

TextSearch::TextSearch(std::wstring_view haystack, std::wstring_view needle, CaseMode mode)
    : haystack_(haystack), needle_(needle), mode_(mode) {
  if (needle_.empty()) return;
  if (mode_ == CaseMode::Locale) {
    fold_ = LocaleLowerTable();
    anchorA_ = anchorB_ = fold_[needle_[0]];
    return;
  }
  if (mode_ == CaseMode::AsciiInsensitive) {
    size_t letters = 0;
    for (wchar_t c : needle_) letters += IsAsciiLetter(c);
    // Without letters to fold, the ASCII mode is the exact one.
    if (!letters) mode_ = CaseMode::Sensitive;
    if (letters && letters < needle_.size()) {
      for (anchorOffset_ = 0; IsAsciiLetter(needle_[anchorOffset_]);) ++anchorOffset_;
    }
  }
  anchorA_ = anchorB_ = needle_[anchorOffset_];
  if (mode_ == CaseMode::AsciiInsensitive && IsAsciiLetter(anchorA_)) anchorB_ = OtherAsciiCase(anchorA_);
}

bool TextSearch::IsAnchor(wchar_t c) const {
  if (fold_) return fold_[c] == anchorA_;
  return c == anchorA_ || c == anchorB_;
}

bool TextSearch::MatchesAt(size_t at) const {
  const wchar_t* text = haystack_.data() + at;
  const size_t n = needle_.size();
  switch (mode_) {
    case CaseMode::Sensitive:
      for (size_t i = 0; i < n; ++i)
        if (text[i] != needle_[i]) return false;
      return true;
    case CaseMode::AsciiInsensitive:
      for (size_t i = 0; i < n; ++i)
        if (text[i] != needle_[i] && FoldAscii(text[i]) != FoldAscii(needle_[i])) return false;
      return true;
    case CaseMode::Locale:
      for (size_t i = 0; i < n; ++i)
        if (fold_[text[i]] != fold_[needle_[i]]) return false;
      return true;
  }
  return false;
}

size_t TextSearch::Next(size_t from) const {
  const size_t n = needle_.size();
  if (from > haystack_.size() || n > haystack_.size() - from) return kNoMatch;
  if (!n) return from;
  const wchar_t* const base = haystack_.data();
  // Anchor units of possible matches lie in [first, last].
  const wchar_t* at = base + from + anchorOffset_;
  const wchar_t* const end = base + (haystack_.size() - n) + anchorOffset_ + 1;
  while (at < end) {
    if (fold_) {
      while (at < end && fold_[*at] != anchorA_) ++at;
    } else {
      at = FindEitherUnit(at, end, anchorA_, anchorB_);
    }
    if (at == end) break;
    const size_t start = static_cast<size_t>(at - base) - anchorOffset_;
    if (MatchesAt(start)) return start;
    ++at;
  }
  return kNoMatch;
}

size_t TextSearch::Previous(size_t end) const {
  const size_t n = needle_.size();
  if (end > haystack_.size()) end = haystack_.size();
  if (n > end) return kNoMatch;
  if (!n) return end;
  const wchar_t* const base = haystack_.data();
  for (size_t start = end - n + 1; start-- > 0;)
    if (IsAnchor(base[start + anchorOffset_]) && MatchesAt(start)) return start;
  return kNoMatch;
}

void FindMatches(std::wstring_view haystack, std::wstring_view search, CaseMode mode, int64_t limit,
                 std::vector<size_t>& found) {
  found.clear();
  if (search.empty() || limit == 0) return;
  const TextSearch finder(haystack, search, mode);
  for (size_t at = finder.Next(0); at != kNoMatch; at = finder.Next(at + search.size())) {
    found.push_back(at);
    if (limit > 0 && found.size() >= static_cast<uint64_t>(limit)) break;
  }
}

size_t ReplacedLength(size_t haystackLength, size_t matches, size_t searchLength, size_t replacementLength) {
  // Matches do not overlap, so they never remove more than the haystack holds.
  return haystackLength - matches * searchLength + matches * replacementLength;
}

void WriteReplaced(std::wstring_view haystack, const std::vector<size_t>& found, size_t searchLength,
                   std::wstring_view replacement, wchar_t* out) {
  size_t copied = 0;
  for (size_t at : found) {
    CopyUnits(out, haystack.data() + copied, at - copied);
    out += at - copied;
    CopyUnits(out, replacement.data(), replacement.size());
    out += replacement.size();
    copied = at + searchLength;
  }
  CopyUnits(out, haystack.data() + copied, haystack.size() - copied);
  out[haystack.size() - copied] = L'\0';
}

void ToUpperCase(wchar_t* text, size_t length) { MapInPieces(text, length, CharUpperBuffW); }

void ToLowerCase(wchar_t* text, size_t length) { MapInPieces(text, length, CharLowerBuffW); }

void ToTitleCase(wchar_t* text, size_t length) {
  bool atWordStart = true;
  for (size_t i = 0; i < length; ++i) {
    wchar_t& c = text[i];
    if (IsCharAlphaW(c)) {
      if (atWordStart)
        CharUpperBuffW(&c, 1);
      else
        CharLowerBuffW(&c, 1);
      atWordStart = false;
    } else if (std::iswspace(c)) {
      atWordStart = true;
    }
  }
}
