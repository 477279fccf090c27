// Option letters before ")" mapped to PCRE2 compile options. Two letters of
// the older interface have no direct PCRE2 flag: "X" (unknown escapes are
// errors) is always PCRE2's behaviour, and "S" (study) becomes JIT
// compilation, PCRE2's way of preparing a pattern for repeated matching.
#include "regex/regex_options.h"

#include <pcre2.h>

namespace {

// What one option character does.
enum class OptionEffect : uint8_t { Compile, Newline, Jit, Form, Ignore };

struct OptionRow {
  wchar_t Char;
  OptionEffect Effect;
  uint32_t Value;  // compile bit, newline code or result form
};

constexpr OptionRow kOptionRows[] = {
    {L'i', OptionEffect::Compile, PCRE2_CASELESS},
    {L'm', OptionEffect::Compile, PCRE2_MULTILINE},
    {L's', OptionEffect::Compile, PCRE2_DOTALL},
    {L'x', OptionEffect::Compile, PCRE2_EXTENDED},
    {L'A', OptionEffect::Compile, PCRE2_ANCHORED},
    {L'C', OptionEffect::Compile, PCRE2_AUTO_CALLOUT},
    {L'D', OptionEffect::Compile, PCRE2_DOLLAR_ENDONLY},
    {L'J', OptionEffect::Compile, PCRE2_DUPNAMES},
    {L'U', OptionEffect::Compile, PCRE2_UNGREEDY},
    {L'X', OptionEffect::Ignore, 0},
    {L'S', OptionEffect::Jit, 0},
    {L'O', OptionEffect::Form, static_cast<uint32_t>(RegExResultForm::Object)},
    {L'P', OptionEffect::Form, static_cast<uint32_t>(RegExResultForm::Position)},
    {L'\r', OptionEffect::Newline, PCRE2_NEWLINE_CR},  // CR LF is handled where CR is read
    {L'\n', OptionEffect::Newline, PCRE2_NEWLINE_LF},
    {L'\a', OptionEffect::Newline, PCRE2_NEWLINE_ANY},
    {L' ', OptionEffect::Ignore, 0},
    {L'\t', OptionEffect::Ignore, 0},
};

// The row of an option character (case-sensitive), or null.
const OptionRow* FindOption(wchar_t c) {
  for (const OptionRow& row : kOptionRows)
    if (row.Char == c) return &row;
  return nullptr;
}

}  // namespace

// UTF-16 always; PCRE2_MATCH_INVALID_UTF makes the unchecked subject safe.
uint32_t BaseCompileOptions() { return PCRE2_UTF | PCRE2_MATCH_INVALID_UTF; }

// Walks the run of option characters; applies them only when ")" ends it.
PatternOptions ParsePatternOptions(std::wstring_view pattern) {
  PatternOptions options;
  options.CompileOptions = BaseCompileOptions();
  options.Newline = PCRE2_NEWLINE_CRLF;
  size_t end = 0;
  while (end < pattern.size() && pattern[end] != L')' && FindOption(pattern[end])) ++end;
  if (end >= pattern.size() || pattern[end] != L')') return options;
  for (size_t i = 0; i < end; ++i) {
    const OptionRow* found = FindOption(pattern[i]);
    if (!found) continue;  // the scan above admitted only option characters
    const OptionRow& row = *found;
    switch (row.Effect) {
      case OptionEffect::Compile: options.CompileOptions |= row.Value; break;
      case OptionEffect::Newline:
        // A CR directly followed by LF is one option: the CRLF convention.
        if (pattern[i] == L'\r' && i + 1 < end && pattern[i + 1] == L'\n') {
          options.Newline = PCRE2_NEWLINE_CRLF;
          ++i;
        } else {
          options.Newline = row.Value;
        }
        break;
      case OptionEffect::Jit: options.Jit = true; break;
      case OptionEffect::Form: options.ResultForm = static_cast<RegExResultForm>(row.Value); break;
      case OptionEffect::Ignore: break;
    }
  }
  options.PrefixLength = end + 1;
  return options;
}
