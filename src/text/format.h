// Format's pattern language: "{" [index] [":" conversion] "}" placeholders, the
// brace escapes "{{}" and "{}}", and the printf-style conversion of each
// placeholder. The parser is exposed for the tests of its contract; the
// built-in function itself is BifFormat (text_functions.h).
//
// Invariants: a placeholder that does not parse is not an error: the caller
// copies its "{" as text and goes on after it. Width and precision are kept
// no larger than a piece may be long, so no conversion ever has to produce
// more than kMaxPieceChars characters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Longest text one placeholder produces; longer pieces are cut.
inline constexpr size_t kMaxPieceChars = 0xFFFD;
// Longest conversion: "%", flags, width, precision, the 64-bit size
// prefix ("I64") and the type character together.
inline constexpr size_t kMaxConversionChars = 51;

// What ParsePlaceholder found at a "{".
enum class PlaceholderKind {
  Literal,  // not a placeholder: the "{" is plain text
  Brace,    // "{{}" or "{}}": one brace character
  Value,    // a placeholder to fill
};

// A parsed placeholder.
struct Placeholder {
  PlaceholderKind Kind = PlaceholderKind::Literal;
  size_t End = 0;     // just past the placeholder (Brace and Value)
  wchar_t Brace = 0;  // the brace to emit (Brace)
  int64_t Index = 0;  // parameter number, 0 = the pattern (Value)
  // Any of "-+0 #", in the order written, terminated; a conversion that
  // fits its length limit cannot hold more.
  char Flags[kMaxConversionChars + 1] = {};
  int Width = -1;      // -1: none
  int Precision = -1;  // -1: none
  wchar_t Type = 0;    // conversion letter; 0 for plain text
};

// Parses the placeholder starting at pattern[at] (a "{"). `previousIndex` is
// the index the previous placeholder used (0 before the first).
Placeholder ParsePlaceholder(std::wstring_view pattern, size_t at, int64_t previousIndex);

// Which way a type letter converts its value.
enum class ConversionClass { Text, Integer, Float, Character, Pointer };
ConversionClass ClassOfType(wchar_t type);

// One step of a pattern's plan: copy a piece of the pattern, write one
// character, or fill a placeholder from its parameter.
enum class FormatStepKind : uint8_t { Text, Char, Value };
struct FormatStep {
  FormatStepKind Kind = FormatStepKind::Text;
  size_t Offset = 0;  // Text: where the piece starts in the pattern
  size_t Length = 0;  // Text: its length
  wchar_t Char = 0;   // Char
  Placeholder Value;  // Value: the placeholder, its Index naming the parameter
};

// The steps that fill a pattern given `count` parameters (the pattern
// included). They depend on nothing else, so a pattern used again with as
// many parameters reuses them.
void PlanFormat(std::wstring_view pattern, int count, std::vector<FormatStep>& steps);

// The last plan made, and what it was made for.
struct FormatPlanCache {
  std::wstring Pattern;
  int Count = -1;  // -1: no plan yet
  std::vector<FormatStep> Steps;
};
