// Searching, replacing and case mapping (see text_search.h).
//
// The ASCII-insensitive mode compares folded units one at a time and scans
// for either case of the needle's first unit; the sensitive mode and the
// folded locale texts use the library's ordinal search.
#include "text/text_search.h"

#include <windows.h>

#include <cwctype>

#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// A to Z folded to upper case; every other unit as it is.
inline wchar_t FoldAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

// Whether a unit is an ASCII letter, which the ASCII mode folds.
inline bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// Whether the needle matches the haystack at `at` under the ASCII fold.
bool MatchesFoldedAt(std::wstring_view haystack, std::wstring_view needle, size_t at) {
  for (size_t i = 0; i < needle.size(); ++i)
    if (FoldAscii(haystack[at + i]) != FoldAscii(needle[i])) return false;
  return true;
}

// A lower-cased copy by the system's locale mapping (same length).
std::wstring LocaleFolded(std::wstring_view text) {
  std::wstring folded(text);
  if (!folded.empty()) CharLowerBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
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

}  // namespace

CaseMode ThreadCaseMode() {
  switch (Values().CurrentThread->CaseSensitivity) {
    case 1: return CaseMode::Sensitive;
    case 2: return CaseMode::Locale;
    default: return CaseMode::AsciiInsensitive;
  }
}

TextSearch::TextSearch(std::wstring_view haystack, std::wstring_view needle, CaseMode mode)
    : haystack_(haystack), needle_(needle), mode_(mode) {
  if (mode_ == CaseMode::AsciiInsensitive) {
    for (wchar_t c : needle_) needleFolds_ = needleFolds_ || IsAsciiLetter(c);
    // Without letters to fold, the ASCII mode is the exact one.
    if (!needleFolds_) mode_ = CaseMode::Sensitive;
  } else if (mode_ == CaseMode::Locale) {
    foldedHaystack_ = LocaleFolded(haystack_);
    foldedNeedle_ = LocaleFolded(needle_);
    haystack_ = foldedHaystack_;
    needle_ = foldedNeedle_;
  }
}

size_t TextSearch::Next(size_t from) const {
  if (from > haystack_.size() || needle_.size() > haystack_.size() - from) return kNoMatch;
  if (mode_ != CaseMode::AsciiInsensitive) return haystack_.find(needle_, from);
  const wchar_t first = FoldAscii(needle_[0]);
  const wchar_t firstLower = IsAsciiLetter(first) ? static_cast<wchar_t>(first + (L'a' - L'A')) : first;
  const size_t last = haystack_.size() - needle_.size();
  for (size_t at = from; at <= last; ++at) {
    const wchar_t c = haystack_[at];
    if ((c == first || c == firstLower) && MatchesFoldedAt(haystack_, needle_, at)) return at;
  }
  return kNoMatch;
}

size_t TextSearch::Previous(size_t end) const {
  if (end > haystack_.size()) end = haystack_.size();
  if (needle_.size() > end) return kNoMatch;
  if (mode_ != CaseMode::AsciiInsensitive) return haystack_.substr(0, end).rfind(needle_);
  for (size_t at = end - needle_.size() + 1; at-- > 0;)
    if (MatchesFoldedAt(haystack_, needle_, at)) return at;
  return kNoMatch;
}

size_t ReplaceText(std::wstring_view haystack, std::wstring_view search, std::wstring_view replacement, CaseMode mode,
                   int64_t limit, std::wstring& out) {
  if (search.empty() || limit == 0) return 0;
  const TextSearch finder(haystack, search, mode);
  size_t at = finder.Next(0);
  if (at == kNoMatch) return 0;
  out.clear();
  size_t copied = 0;
  size_t count = 0;
  for (; at != kNoMatch; at = finder.Next(at + search.size())) {
    out.append(haystack.substr(copied, at - copied));
    out.append(replacement);
    copied = at + search.size();
    ++count;
    if (limit > 0 && count >= static_cast<uint64_t>(limit)) break;
  }
  out.append(haystack.substr(copied));
  return count;
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
