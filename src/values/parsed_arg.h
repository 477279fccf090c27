// ParsedArg: an argument's text after escape processing, with a mark for
// each character that came from an escape sequence. The line parser makes
// them; the expression scanner reads them.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Argument text after escape processing. Literal[i] is set for a character
// that came from an escape sequence: a literal delimiter does not split, a
// literal dereference character starts no reference, a literal blank is
// not trimmed.
struct ParsedArg {
  std::wstring Text;
  std::vector<bool> Literal;

  void Append(wchar_t c, bool literal) {
    Text += c;
    Literal.push_back(literal);
  }
  void RightTrim();
  void LeftTrim();
  bool IsBlankAt(size_t i) const;
  ParsedArg Slice(size_t from, size_t to) const;
};

// An argument taken as it is, with no escape processing.
ParsedArg LiteralArg(std::wstring_view text);
