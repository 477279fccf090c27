// Load-time scanning of expression arguments: the pass that runs while a line
// is parsed, before the whole script is known. It rewrites the word operators
// "and" and "or", finds every variable reference, function call and
// double-deref chunk (creating the variables), and rejects malformed text
// early. The compiler later turns the scanned text into postfix tokens.
//
// Also the lexical rules both passes share, so that the scanner and the
// compiler always agree on where words, numbers and member names end.
//
// Invariants: a scanned argument's text keeps its length (rewrites are
// padded), so every position recorded here stays valid; references are
// recorded in text order and never overlap; the records come from the
// never-freed load pool.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result_code.h"
#include "values/expr_token.h"

struct ArgRecord;
struct ParsedArg;
struct DerefEntry;
class Variable;

// Most tokens one expression may have; one more is "Expression too long".
inline constexpr size_t kMaxExprTokens = 512;
// Most references (variables, calls, and the names inside double-deref
// chunks together) one expression argument may hold.
inline constexpr size_t kMaxExprRefs = 512;

enum class ExprRefKind : uint8_t {
  Variable,     // a name used as a variable
  Call,         // a name directly followed by "(": a function call
  DoubleDeref,  // a chunk such as Array%i%, whose name is built at run time
};

// One reference found in an expression's text.
struct ExprRef {
  uint16_t Position = 0;  // first character in the argument's text
  uint16_t Length = 0;    // characters the reference spans
  ExprRefKind Kind = ExprRefKind::Variable;
  Variable* Var = nullptr;  // Variable
  // DoubleDeref: the "%name%" pieces with offsets from the chunk's start,
  // ending with an entry whose Var is null.
  DerefEntry* Parts = nullptr;
};

// An expression argument's CompiledForm: what the scan found, and the postfix
// tokens once compiled (Postfix is null until then; it ends with an End token).
struct CompiledExpression {
  const ExprRef* Refs = nullptr;
  uint16_t RefCount = 0;
  ExprToken* Postfix = nullptr;
  uint16_t PostfixCount = 0;  // tokens before the End token
  // Only integer operands and integer operators: worked out without an
  // evaluation frame while every operand holds an integer.
  bool IntegerOnly = false;
};

// An expression's characters with their literal marks (1 = from an escape
// sequence; null when nothing was escaped).
struct ExprText {
  const wchar_t* Chars = L"";
  size_t Length = 0;
  const uint8_t* Mask = nullptr;

  wchar_t At(size_t i) const { return i < Length ? Chars[i] : L'\0'; }
  bool IsLiteral(size_t i) const { return Mask && i < Length && Mask[i]; }
};

// Spaces and tabs separate tokens.
inline bool IsExprBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
// The characters that end a word: " \t<>=/|^,:*&~!()[]{}+-?."
bool IsExprOperatorChar(wchar_t c);
// Characters of a member name: letters, digits, "_" and code units >= 128.
bool IsMemberNameChar(wchar_t c);
// Where the word starting at `start` ends: at the next operator character,
// unescaped quote or dereference character; a word that starts like a number
// keeps one "." and an exponent's sign ("1.5e+3").
size_t ExprWordEnd(const ExprText& text, size_t start);
// The position of the next character after `from` that is not a blank.
size_t SkipExprBlanks(const ExprText& text, size_t from);
// Whether the word is `keyword` (any case) and is not an object-literal key
// (followed, after blanks, by ":" that is not ":=").
bool IsExprKeyword(const ExprText& text, size_t start, size_t end, std::wstring_view keyword);

// Scans an expression argument while its line is parsed: rewrites "and"/"or"
// in place (same length), finds its references and stores them in a new
// CompiledExpression in record.CompiledForm. Reports a load error and
// returns Fail on malformed text.
ResultCode ScanExpressionArg(ParsedArg& arg, ArgRecord& record);
