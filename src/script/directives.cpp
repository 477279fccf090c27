// The directive table and the directives the loader understands so far.
#include "script/directives.h"

#include <windows.h>

#include <string>

#include "app/script_context.h"
#include "exec/errors.h"
#include "script/script_reader.h"

namespace {

inline constexpr wchar_t kParam1Invalid[] = L"Parameter #1 invalid.";

// "#CommentFlag": a one-character flag may not be a character the syntax
// already gives a meaning to.
DirectiveResult CommentFlagDirective(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  SyntaxChars& syntax = g_script.Syntax;
  if (param.size() == 1) {
    wchar_t c = param[0];
    bool reserved = c == L'#' || c == syntax.DerefChar || c == syntax.EscapeChar || c == syntax.Delimiter ||
                    std::wstring_view(L"!$*+<>^~").find(c) != std::wstring_view::npos;
    if (reserved) {
      ReportLoadError(kParam1Invalid, param);
      return DirectiveResult::Failed;
    }
  }
  syntax.CommentFlag.assign(param.substr(0, kMaxCommentFlagLength));
  return DirectiveResult::Handled;
}

struct DirectiveEntry {
  const wchar_t* Name;
  DirectiveResult (*Apply)(std::wstring_view param);
};

const DirectiveEntry kDirectives[] = {
    {L"#CommentFlag", CommentFlagDirective},
};

}  // namespace

DirectiveResult ApplyDirective(std::wstring_view line) {
  const wchar_t delimiter = g_script.Syntax.Delimiter;
  size_t nameEnd = 0;
  while (nameEnd < line.size() && !reader::IsBlank(line[nameEnd]) && line[nameEnd] != delimiter) ++nameEnd;
  std::wstring_view name = line.substr(0, nameEnd);
  size_t at = nameEnd;
  while (at < line.size() && reader::IsBlank(line[at])) ++at;
  if (at < line.size() && line[at] == delimiter) {
    ++at;
    while (at < line.size() && reader::IsBlank(line[at])) ++at;
  }
  std::wstring_view param = line.substr(at);
  for (const DirectiveEntry& entry : kDirectives) {
    if (CompareStringOrdinal(name.data(), static_cast<int>(name.size()), entry.Name, -1, TRUE) == CSTR_EQUAL)
      return entry.Apply(param);
  }
  return DirectiveResult::NotADirective;
}
