// Trimming and slicing escape-processed argument text.
#include "values/parsed_arg.h"

#include <cstddef>

bool ParsedArg::IsBlankAt(size_t i) const { return (Text[i] == L' ' || Text[i] == L'\t') && !Literal[i]; }

void ParsedArg::RightTrim() {
  size_t end = Text.size();
  while (end > 0 && IsBlankAt(end - 1)) --end;
  Text.resize(end);
  Literal.resize(end);
}

void ParsedArg::LeftTrim() {
  size_t start = 0;
  while (start < Text.size() && IsBlankAt(start)) ++start;
  Text.erase(0, start);
  Literal.erase(Literal.begin(), Literal.begin() + static_cast<ptrdiff_t>(start));
}

ParsedArg ParsedArg::Slice(size_t from, size_t to) const {
  ParsedArg part;
  part.Text = Text.substr(from, to - from);
  part.Literal.assign(Literal.begin() + static_cast<ptrdiff_t>(from), Literal.begin() + static_cast<ptrdiff_t>(to));
  return part;
}

ParsedArg LiteralArg(std::wstring_view text) {
  ParsedArg out;
  out.Text.assign(text);
  out.Literal.assign(text.size(), false);
  return out;
}
