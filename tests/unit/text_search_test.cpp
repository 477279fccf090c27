// A forward search must find exactly what comparing the needle at every
// position finds, in the exact and the ASCII-insensitive modes, whatever
// the lengths and wherever the candidates fall relative to the eight-unit
// blocks it scans.
#include "text/text_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Folds A to Z onto a to z and nothing else.
wchar_t FoldAsciiLetter(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// The first match at or after `from` by comparing at every position.
size_t NaiveNext(const std::wstring& haystack, const std::wstring& needle, size_t from, CaseMode mode) {
  if (from > haystack.size() || needle.size() > haystack.size() - from) return kNoMatch;
  for (size_t start = from; start + needle.size() <= haystack.size(); ++start) {
    bool same = true;
    for (size_t i = 0; i < needle.size() && same; ++i) {
      const wchar_t a = haystack[start + i], b = needle[i];
      same = mode == CaseMode::Sensitive ? a == b : FoldAsciiLetter(a) == FoldAsciiLetter(b);
    }
    if (same) return start;
  }
  return kNoMatch;
}

// Units that stress the folding: letters in both cases, the units whose
// 0x20 bit makes them look like letters ('@' and '`', 0x0E and 0x2E), a
// non-ASCII letter and a unit with a high byte.
constexpr wchar_t kAlphabet[] = {L'a', L'A', L'n', L'N', L'@', L'`', 0x0E, 0x2E, 0xE9, 0x016E};

std::wstring RandomText(std::mt19937& random, size_t length) {
  std::uniform_int_distribution<size_t> pick(0, std::size(kAlphabet) - 1);
  std::wstring text;
  for (size_t i = 0; i < length; ++i) text.push_back(kAlphabet[pick(random)]);
  return text;
}

}  // namespace

TEST(TextSearch, NextAgreesWithComparingAtEveryPosition) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> haystackLength(0, 40), needleLength(1, 5);
  for (CaseMode mode : {CaseMode::Sensitive, CaseMode::AsciiInsensitive}) {
    for (int round = 0; round < 3000; ++round) {
      const std::wstring haystack = RandomText(random, haystackLength(random));
      // Half the needles are cut from the haystack, so that matches occur.
      std::wstring needle = RandomText(random, needleLength(random));
      if (round % 2 && haystack.size() >= needle.size()) {
        const size_t at = random() % (haystack.size() - needle.size() + 1);
        needle = haystack.substr(at, needle.size());
        if (mode == CaseMode::AsciiInsensitive)
          for (wchar_t& c : needle)
            if (c == L'a' || c == L'n') c = static_cast<wchar_t>(c - 32);
      }
      const TextSearch search(haystack, needle, mode);
      for (size_t from = 0; from <= haystack.size() + 1; ++from)
        ASSERT_EQ(search.Next(from), NaiveNext(haystack, needle, from, mode))
            << "mode " << static_cast<int>(mode) << " round " << round << " from " << from;
    }
  }
}

TEST(TextSearch, FindsMatchesAcrossBlockEnds) {
  // A match at each offset of a long haystack, in both cases.
  for (size_t at = 0; at + 6 <= 70; ++at) {
    std::wstring haystack(70, L'e');
    haystack.replace(at, 6, L"NeEdLe");
    EXPECT_EQ(TextSearch(haystack, L"needle", CaseMode::AsciiInsensitive).Next(0), at);
    EXPECT_EQ(TextSearch(haystack, L"needle", CaseMode::Sensitive).Next(0), kNoMatch);
    EXPECT_EQ(TextSearch(haystack, L"NeEdLe", CaseMode::Sensitive).Next(0), at);
  }
}
