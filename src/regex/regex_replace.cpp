// RegExReplace: every match (up to a limit) replaced by the replacement
// text with its group references expanded ("$0", "$n", "${name}", and the
// case forms "$U", "$L", "$T"). An empty match is never taken twice at one
// position, and stepping past it never splits a surrogate pair (nor CR LF
// under the ANY and ANYCRLF newline conventions).
#include <windows.h>

#include <cwctype>
#include <string>

#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "regex/regex_match.h"
#include "regex/regex_messages.h"
#include "values/variable.h"

namespace {

// Longest text between "${" and "}" read as a reference; longer ones are
// copied literally.
constexpr size_t kMaxBraceReference = 32;

// Case conversion a reference asks for.
enum class CaseForm : uint8_t { None, Upper, Lower, Title };

struct CaseLetter {
  wchar_t Letter;
  CaseForm Form;
};
constexpr CaseLetter kCaseLetters[] = {{L'U', CaseForm::Upper}, {L'L', CaseForm::Lower}, {L'T', CaseForm::Title}};

// Title case: the first letter of each word upper, the rest lower.
void ToTitleCase(std::wstring& text) {
  bool wordStart = true;
  for (wchar_t& c : text) {
    if (IsCharAlphaW(c)) {
      c = wordStart ? static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(c))))
                    : static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(c))));
      wordStart = false;
    } else {
      wordStart = true;
    }
  }
}

// Appends a group's text in the requested case.
void AppendConverted(std::wstring& out, std::wstring_view text, CaseForm form) {
  if (form == CaseForm::None) {
    out += text;
    return;
  }
  std::wstring converted(text);
  if (form == CaseForm::Upper)
    CharUpperBuffW(converted.data(), static_cast<DWORD>(converted.size()));
  else if (form == CaseForm::Lower)
    CharLowerBuffW(converted.data(), static_cast<DWORD>(converted.size()));
  else
    ToTitleCase(converted);
  out += converted;
}

// Whether braced text is a number (blanks and tabs around digits).
bool ReadBraceNumber(std::wstring_view text, long& number) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  size_t digits = i;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
  size_t first = i;
  while (i < text.size() && iswdigit(text[i])) ++i;
  if (i == first) return false;
  size_t end = i;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  if (i != text.size()) return false;
  number = std::wcstol(std::wstring(text.substr(digits, end - digits)).c_str(), nullptr, 10);
  return true;
}

// The group a braced name selects: the first of that name that took part.
long GroupOfName(const CachedPattern& entry, std::wstring_view name, const PCRE2_SIZE* ovector, int pairs) {
  long first = -1;
  for (size_t g = 1; g < entry.GroupNames.size(); ++g) {
    if (entry.GroupNames[g] != name) continue;
    if (static_cast<int>(g) < pairs && ovector[2 * g] != PCRE2_UNSET) return static_cast<long>(g);
    if (first < 0) first = static_cast<long>(g);
  }
  return first;
}

// Appends the replacement with its references expanded for one match.
void ExpandReplacement(std::wstring& out, std::wstring_view replacement, const CachedPattern& entry,
                       std::wstring_view subject, const PCRE2_SIZE* ovector, int pairs) {
  for (size_t i = 0; i < replacement.size(); ++i) {
    wchar_t c = replacement[i];
    if (c != L'$' || i + 1 >= replacement.size()) {
      out += c;
      continue;
    }
    size_t next = i + 1;
    if (replacement[next] == L'$') {
      out += L'$';
      i = next;
      continue;
    }
    CaseForm form = CaseForm::None;
    for (const CaseLetter& row : kCaseLetters)
      if (std::towupper(replacement[next]) == row.Letter) form = row.Form;
    if (form != CaseForm::None) ++next;
    long group = -1;
    size_t end = next;  // last character of the reference
    if (next < replacement.size() && iswdigit(replacement[next])) {
      group = replacement[next] - L'0';
    } else if (next < replacement.size() && replacement[next] == L'{') {
      size_t close = replacement.find(L'}', next + 1);
      if (close == std::wstring_view::npos || close == next + 1 || close - next - 1 > kMaxBraceReference) {
        out += L'$';  // not a reference: the "$" stands for itself
        continue;
      }
      std::wstring_view inner = replacement.substr(next + 1, close - next - 1);
      if (!ReadBraceNumber(inner, group)) group = GroupOfName(entry, inner, ovector, pairs);
      if (group < 0) group = static_cast<long>(entry.CaptureCount) + 1;  // no such group: inserts nothing
      end = close;
    } else {
      out += L'$';
      continue;
    }
    i = end;
    if (group < 0 || group >= pairs || ovector[2 * group] == PCRE2_UNSET) continue;
    size_t start = ovector[2 * group], stop = ovector[2 * group + 1];
    if (stop > start) AppendConverted(out, subject.substr(start, stop - start), form);
  }
}

// How far to step past an empty match that could not be extended.
size_t StepLength(std::wstring_view subject, size_t position, uint32_t newline) {
  if (position + 1 < subject.size()) {
    wchar_t c = subject[position], d = subject[position + 1];
    if (c >= 0xD800 && c <= 0xDBFF && d >= 0xDC00 && d <= 0xDFFF) return 2;
    if (c == L'\r' && d == L'\n' && (newline == PCRE2_NEWLINE_ANY || newline == PCRE2_NEWLINE_ANYCRLF)) return 2;
  }
  return 1;
}

}  // namespace

// Replaces matches from the starting position on; counts them.
ResultCode RegExReplaceCall(ExprToken& result, ExprToken** params, int count) {
  wchar_t numberBuffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* haystackText = ParamText(*params[0], numberBuffer, &length);
  std::wstring_view haystack(haystackText, length);
  wchar_t patternBuffer[kFloatTextChars];
  size_t patternLength = 0;
  const wchar_t* patternText = ParamText(*params[1], patternBuffer, &patternLength);
  std::wstring error;
  CachedPattern* entry = FetchCompiledPattern({patternText, patternLength}, &error);
  if (!entry) return ReportOutcomeText(error);
  wchar_t replacementBuffer[kFloatTextChars];
  size_t replacementLength = 0;
  const wchar_t* replacementText = count > 2 ? ParamText(*params[2], replacementBuffer, &replacementLength) : L"";
  std::wstring_view replacement(replacementText, replacementLength);
  int64_t limit = ParamGiven(params, count, 4) ? ParamInteger(*params[4]) : -1;
  size_t position = StartingOffset(params, count, 5, haystack.size());
  size_t copiedTo = 0;  // haystack characters already in `out`
  int64_t replacements = 0;
  uint32_t options = 0;
  std::wstring out;
  ResultCode code = ResultCode::Ok;
  bool failed = false;
  pcre2_match_data* data = TakeMatchData(*entry);
  if (!data) {
    code = ReportOutcomeNumber(ScriptErrorCode(PCRE2_ERROR_NOMEMORY), regex_msg::ReplaceWhat);
    failed = true;
  }
  while (!failed && limit != 0) {
    int rc = RunPattern(*entry, haystack, position, options, data);
    if ((code = TakeCalloutStop()) != ResultCode::Ok) {
      // A callout function's error or Exit ends the thread here too.
      failed = true;
      break;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (options && position < haystack.size()) {
        position += StepLength(haystack, position, entry->Options.Newline);
        options = 0;
        continue;
      }
      break;
    }
    if (rc < 0) {
      code = ReportOutcomeNumber(ScriptErrorCode(rc), regex_msg::ReplaceWhat);
      failed = true;
      break;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    ++replacements;
    --limit;
    size_t matchStart = ovector[0], matchEnd = std::max(ovector[1], matchStart);
    if (out.empty() && replacements == 1) out.reserve(haystack.size() + replacement.size());
    out.append(haystack.substr(copiedTo, matchStart - copiedTo));
    ExpandReplacement(out, replacement, *entry, haystack, ovector, rc);
    copiedTo = matchEnd;
    position = matchEnd;
    options = matchStart == matchEnd ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
  }
  ReturnMatchData(data);
  ReleasePattern(entry);
  if (!failed) {
    if (replacements > 0) {
      out.append(haystack.substr(copiedTo));
      if (!SetResultText(result, out))
        code = ReportOutcomeNumber(ScriptErrorCode(PCRE2_ERROR_NOMEMORY), regex_msg::ReplaceWhat);
      else
        code = ReportOutcome(false);
    } else {
      SetResultText(result, haystack);
      code = ReportOutcome(false);
    }
  } else {
    SetResultText(result, haystack);
  }
  if (count > 3 && params[3]->Symbol == ExprSymbol::VariableRef) {
    if (params[3]->Var->AssignInteger(replacements) != ResultCode::Ok) return ResultCode::Fail;
  }
  return code;
}
