// Transform's Deref and HTML sub-commands (see transform_text.h).
//
// Both build their result in one pass into a growing string: it is never
// smaller than what is written, and it is stored once at the end.
#include "text/transform_text.h"

#include <string>

#include "base/script_context.h"
#include "text/text_values.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The control character an escape letter stands for, or 0.
wchar_t EscapedControl(wchar_t letter) {
  switch (letter) {
    case L'a': return L'\a';
    case L'b': return L'\b';
    case L'f': return L'\f';
    case L'n': return L'\n';
    case L'r': return L'\r';
    case L't': return L'\t';
    case L'v': return L'\v';
    default: return 0;
  }
}

// Appends a variable's text as reading it would give it (built-in
// variables and the environment fallback included).
void AppendVariableText(std::wstring& out, Variable& var) {
  const size_t needed = var.GetText(nullptr);
  const size_t at = out.size();
  out.resize(at + needed + 1);
  const size_t written = var.GetText(out.data() + at);
  out.resize(at + written);
}

// The HTML 4 names of the characters 160 to 255, in order.
const wchar_t* const kLatin1EntityNames[] = {
    L"nbsp",   L"iexcl",  L"cent",   L"pound",  L"curren", L"yen",    L"brvbar", L"sect",   L"uml",    L"copy",
    L"ordf",   L"laquo",  L"not",    L"shy",    L"reg",    L"macr",   L"deg",    L"plusmn", L"sup2",   L"sup3",
    L"acute",  L"micro",  L"para",   L"middot", L"cedil",  L"sup1",   L"ordm",   L"raquo",  L"frac14", L"frac12",
    L"frac34", L"iquest", L"Agrave", L"Aacute", L"Acirc",  L"Atilde", L"Auml",   L"Aring",  L"AElig",  L"Ccedil",
    L"Egrave", L"Eacute", L"Ecirc",  L"Euml",   L"Igrave", L"Iacute", L"Icirc",  L"Iuml",   L"ETH",    L"Ntilde",
    L"Ograve", L"Oacute", L"Ocirc",  L"Otilde", L"Ouml",   L"times",  L"Oslash", L"Ugrave", L"Uacute", L"Ucirc",
    L"Uuml",   L"Yacute", L"THORN",  L"szlig",  L"agrave", L"aacute", L"acirc",  L"atilde", L"auml",   L"aring",
    L"aelig",  L"ccedil", L"egrave", L"eacute", L"ecirc",  L"euml",   L"igrave", L"iacute", L"icirc",  L"iuml",
    L"eth",    L"ntilde", L"ograve", L"oacute", L"ocirc",  L"otilde", L"ouml",   L"divide", L"oslash", L"ugrave",
    L"uacute", L"ucirc",  L"uuml",   L"yacute", L"thorn",  L"yuml",
};
constexpr wchar_t kFirstLatin1Entity = 160;
static_assert(std::size(kLatin1EntityNames) == 256 - kFirstLatin1Entity);

// The HTML 4 names of further characters above the Latin-1 range.
struct NamedEntity {
  wchar_t Character;
  const wchar_t* Name;
};
const NamedEntity kOtherEntityNames[] = {
    {0x0152, L"OElig"},  {0x0153, L"oelig"},  {0x0160, L"Scaron"}, {0x0161, L"scaron"}, {0x0178, L"Yuml"},
    {0x0192, L"fnof"},   {0x02C6, L"circ"},   {0x02DC, L"tilde"},  {0x2013, L"ndash"},  {0x2014, L"mdash"},
    {0x2018, L"lsquo"},  {0x2019, L"rsquo"},  {0x201A, L"sbquo"},  {0x201C, L"ldquo"},  {0x201D, L"rdquo"},
    {0x201E, L"bdquo"},  {0x2020, L"dagger"}, {0x2021, L"Dagger"}, {0x2022, L"bull"},   {0x2026, L"hellip"},
    {0x2030, L"permil"}, {0x2039, L"lsaquo"}, {0x203A, L"rsaquo"}, {0x20AC, L"euro"},   {0x2122, L"trade"},
};

// The entity name of a character of 128 or above, or null.
const wchar_t* EntityNameOf(wchar_t c) {
  if (c >= kFirstLatin1Entity && c <= 0xFF) return kLatin1EntityNames[c - kFirstLatin1Entity];
  for (const NamedEntity& entity : kOtherEntityNames)
    if (entity.Character == c) return entity.Name;
  return nullptr;
}

// Appends "&name;".
void AppendEntity(std::wstring& out, const wchar_t* name) {
  out += L'&';
  out += name;
  out += L';';
}

// First character of the range that HTML flags govern.
constexpr wchar_t kFirstNonAscii = 128;

}  // namespace

ResultCode DerefText(ScriptLine&, Variable& output, std::wstring_view text) {
  const wchar_t escape = Script().Syntax.EscapeChar;
  const wchar_t deref = Script().Syntax.DerefChar;
  Variable* self = output.ResolveAlias();
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == escape && i + 1 < text.size()) {
      const wchar_t next = text[++i];
      const wchar_t control = EscapedControl(next);
      out += control ? control : next;
      continue;
    }
    if (c != deref) {
      out += c;
      continue;
    }
    const size_t close = text.find(deref, i + 1);
    if (close == std::wstring_view::npos) continue;  // an unclosed deref character is dropped
    const std::wstring_view name = text.substr(i + 1, close - i - 1);
    i = close;
    if (name.empty() || name.size() > kMaxVarNameLength) continue;
    FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
    Variable* var = FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Running);
    if (!var) return ResultCode::Fail;
    if (var->ResolveAlias() == self) continue;
    AppendVariableText(out, *var);
  }
  return StoreText(&output, out);
}

std::wstring HtmlText(std::wstring_view text, int64_t flags) {
  std::wstring out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    switch (c) {
      case L'\n': out += L"<br>\n"; continue;
      case L'"': out += L"&quot;"; continue;
      case L'&': out += L"&amp;"; continue;
      case L'<': out += L"&lt;"; continue;
      case L'>': out += L"&gt;"; continue;
      default: break;
    }
    if (c < kFirstNonAscii) {
      out += c;
      continue;
    }
    const wchar_t* name = (flags & kHtmlNamedEntities) ? EntityNameOf(c) : nullptr;
    if (name)
      AppendEntity(out, name);
    else if (flags & kHtmlNumericEntities)
      out += L"&#" + std::to_wstring(static_cast<unsigned>(c)) + L";";
    else
      out += c;
  }
  return out;
}
