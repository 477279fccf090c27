// The option prefix of a pattern ("im)abc"): which characters it may hold,
// what each one means for PCRE2, and where the pattern proper starts.
//
// Invariant: a prefix exists only when the text starts with a run of option
// characters, blanks and tabs immediately followed by ")"; otherwise the
// whole text is the pattern and every field keeps its default.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// How a match is handed back to the script.
enum class RegExResultForm : uint8_t { Text, Position, Object };

struct PatternOptions {
  uint32_t CompileOptions = 0;  // PCRE2_* compile option bits
  uint32_t Newline = 0;         // PCRE2_NEWLINE_*
  bool Jit = false;             // "S": compile to machine code
  RegExResultForm ResultForm = RegExResultForm::Text;
  size_t PrefixLength = 0;  // characters before the pattern proper, ")" included
};

// The compile options every pattern gets: UTF-16 with invalid code units
// matched safely (a lone surrogate never matches instead of misleading
// the matcher).
uint32_t BaseCompileOptions();

// Reads the option prefix of a pattern text.
PatternOptions ParsePatternOptions(std::wstring_view pattern);
