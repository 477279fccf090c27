// Rendering script lines as text.
#include "exec/render_line.h"

#include <cstdio>

#include "base/script_line.h"
#include "values/variable.h"

namespace {

// The text of an argument as written: its content with control characters
// shown as the escape sequences that produced them (so a rendering stays on
// one line), or the name of the variable resolved at load time.
std::wstring ArgText(const ArgRecord& arg) {
  if (arg.ResolvedVar) return arg.ResolvedVar->Name();
  std::wstring text;
  text.reserve(arg.ContentLength);
  for (size_t i = 0; i < arg.ContentLength; ++i) {
    wchar_t c = arg.Content[i];
    switch (c) {
      case L'\n': text += L"`n"; break;
      case L'\r': text += L"`r"; break;
      case L'\t': text += L"`t"; break;
      default: text += c; break;
    }
  }
  return text;
}

std::wstring Arg(const ScriptLine& line, int i) {
  return i < line.ArgTotal ? ArgText(line.ArgList[i]) : std::wstring();
}

// The operator word of a legacy comparison or keyword if-form.
const wchar_t* IfOperatorWord(ActionType action) {
  switch (action) {
    case ACT_IFIN: return L"in";
    case ACT_IFNOTIN: return L"not in";
    case ACT_IFCONTAINS: return L"contains";
    case ACT_IFNOTCONTAINS: return L"not contains";
    case ACT_IFIS: return L"is";
    case ACT_IFISNOT: return L"is not";
    case ACT_IFEQUAL: return L"=";
    case ACT_IFNOTEQUAL: return L"<>";
    case ACT_IFGREATER: return L">";
    case ACT_IFGREATEROREQUAL: return L">=";
    case ACT_IFLESS: return L"<";
    case ACT_IFLESSOREQUAL: return L"<=";
    default: return nullptr;
  }
}

// The operator of an assignment form ("x := 1", "x += 2").
const wchar_t* AssignmentOperator(ActionType action) {
  switch (action) {
    case ACT_ASSIGN: return L"=";
    case ACT_ASSIGNEXPR: return L":=";
    case ACT_ADD: return L"+=";
    case ACT_SUB: return L"-=";
    case ACT_MULT: return L"*=";
    case ACT_DIV: return L"/=";
    default: return nullptr;
  }
}

// The body of the rendering, after the line number.
std::wstring RenderBody(const ScriptLine& line) {
  ActionType action = line.CommandIndex;
  if (action == ACT_IFBETWEEN || action == ACT_IFNOTBETWEEN) {
    return L"if " + Arg(line, 0) + (action == ACT_IFBETWEEN ? L" between " : L" not between ") + Arg(line, 1) +
           L" and " + Arg(line, 2);
  }
  if (const wchar_t* word = IfOperatorWord(action)) return L"if " + Arg(line, 0) + L" " + word + L" " + Arg(line, 1);
  if (const wchar_t* op = AssignmentOperator(action)) {
    std::wstring out = Arg(line, 0) + L" " + op + L" " + Arg(line, 1);
    for (int i = 2; i < line.ArgTotal; ++i) out += L"," + Arg(line, i);
    return out;
  }
  if (action == ACT_FOR) return L"For " + Arg(line, 0) + L"," + Arg(line, 1) + L" in " + Arg(line, 2);
  if (action == ACT_EXPRESSION) return Arg(line, 0);
  if (action == ACT_IFEXPR) return L"if " + Arg(line, 0);
  std::wstring out(CommandInfo(action).Name);
  for (int i = 0; i < line.ArgTotal; ++i) out += L"," + Arg(line, i);
  return out;
}

}  // namespace

std::wstring RenderLine(const ScriptLine& line, size_t limit) {
  wchar_t number[16];
  swprintf(number, 16, L"%03u: ", static_cast<unsigned>(line.SourceLine));
  std::wstring out = number + RenderBody(line);
  if (out.size() > limit) out.resize(limit);
  return out;
}
