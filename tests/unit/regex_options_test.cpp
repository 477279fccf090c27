// The option prefix of patterns mapped to PCRE2 flags, and the pattern
// cache compiling a pattern once however often it is used.
#include <gtest/gtest.h>

#include "regex/regex_options.h"
#include "regex/regex_state.h"

namespace {

struct OptionCase {
  const wchar_t* Pattern;
  uint32_t Flags;  // beyond the base options
  uint32_t Newline;
  size_t PrefixLength;
};

const OptionCase kOptionCases[] = {
    {L"i)x", PCRE2_CASELESS, PCRE2_NEWLINE_CRLF, 2},
    {L"im s)x", PCRE2_CASELESS | PCRE2_MULTILINE | PCRE2_DOTALL, PCRE2_NEWLINE_CRLF, 5},
    {L"xADJU)x", PCRE2_EXTENDED | PCRE2_ANCHORED | PCRE2_DOLLAR_ENDONLY | PCRE2_DUPNAMES | PCRE2_UNGREEDY,
     PCRE2_NEWLINE_CRLF, 6},
    {L"C)x", PCRE2_AUTO_CALLOUT, PCRE2_NEWLINE_CRLF, 2},
    {L"\n)x", 0, PCRE2_NEWLINE_LF, 2},
    {L"\r)x", 0, PCRE2_NEWLINE_CR, 2},
    {L"\r\n)x", 0, PCRE2_NEWLINE_CRLF, 3},
    {L"\a\n)x", 0, PCRE2_NEWLINE_LF, 3},  // a later newline option wins
    {L"\a)x", 0, PCRE2_NEWLINE_ANY, 2},
    {L"i1)x", 0, PCRE2_NEWLINE_CRLF, 0},  // a digit: no prefix
    {L"I)x", 0, PCRE2_NEWLINE_CRLF, 0},   // options are case-sensitive
    {L"im", 0, PCRE2_NEWLINE_CRLF, 0},    // no ")"
};

TEST(RegexOptions, LettersMapToPcre2Flags) {
  for (const OptionCase& c : kOptionCases) {
    PatternOptions o = ParsePatternOptions(c.Pattern);
    EXPECT_EQ(o.CompileOptions, BaseCompileOptions() | c.Flags) << static_cast<const void*>(c.Pattern);
    EXPECT_EQ(o.Newline, c.Newline);
    EXPECT_EQ(o.PrefixLength, c.PrefixLength);
  }
}

TEST(RegexOptions, OutputFormAndJit) {
  EXPECT_EQ(ParsePatternOptions(L"O)x").ResultForm, RegExResultForm::Object);
  EXPECT_EQ(ParsePatternOptions(L"OP)x").ResultForm, RegExResultForm::Position);
  EXPECT_EQ(ParsePatternOptions(L"PO)x").ResultForm, RegExResultForm::Object);
  EXPECT_EQ(ParsePatternOptions(L"x").ResultForm, RegExResultForm::Text);
  EXPECT_TRUE(ParsePatternOptions(L"S)x").Jit);
  EXPECT_FALSE(ParsePatternOptions(L"i)x").Jit);
}

TEST(RegexCache, PatternCompiledOnce) {
  ClearPatternCache();
  uint64_t before = Regex().Compilations;
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(RegExSearch(L"abc 42", L"i)\\d+", nullptr), 4);
    EXPECT_EQ(RegExSearch(L"abc", L"B", nullptr), -1);
  }
  EXPECT_EQ(Regex().Compilations - before, 2u);
  std::wstring error;
  EXPECT_EQ(RegExSearch(L"abc", L"(", &error), -1);
  EXPECT_EQ(error, L"Compile error 14 at offset 1: missing closing parenthesis");
  ClearPatternCache();
}

TEST(RegexCache, RoundRobinReplacementKeepsWorking) {
  ClearPatternCache();
  for (int i = 0; i < 250; ++i) {
    std::wstring pattern = L"x" + std::to_wstring(i);
    EXPECT_EQ(RegExSearch(L"ax" + std::to_wstring(i), pattern, nullptr), 1);
  }
  EXPECT_EQ(Regex().Count, kPatternCacheSize);
  ClearPatternCache();
}

}  // namespace
