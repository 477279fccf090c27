// RegExReplace: every match (up to a limit) replaced by the replacement
// text with its group references expanded ("$0", "$n", "${name}", and the
// case forms "$U", "$L", "$T"). An empty match is never taken twice at one
// position, and stepping past it never splits a surrogate pair (nor CR LF
// under the ANY and ANYCRLF newline conventions).
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <span>
#include <string>
#include <vector>

#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "regex/regex_match.h"
#include "regex/regex_messages.h"
#include "regex/regex_run.h"
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
void ToTitleCase(wchar_t* text, size_t length) {
  bool wordStart = true;
  for (wchar_t& c : std::span(text, length)) {
    if (IsCharAlphaW(c)) {
      c = wordStart ? static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(c))))
                    : static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(c))));
      wordStart = false;
    } else {
      wordStart = true;
    }
  }
}

// Appends a group's text in the requested case, converting it in place.
void AppendConverted(std::wstring& out, std::wstring_view text, CaseForm form) {
  const size_t at = out.size();
  out.append(text);
  if (form == CaseForm::None) return;
  wchar_t* converted = out.data() + at;
  const DWORD length = static_cast<DWORD>(text.size());
  if (form == CaseForm::Upper)
    CharUpperBuffW(converted, length);
  else if (form == CaseForm::Lower)
    CharLowerBuffW(converted, length);
  else
    ToTitleCase(converted, text.size());
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

// One piece of a replacement: text copied as it is, or a group reference.
struct ReplacementPiece {
  enum class Kind : uint8_t { Text, Group, Name } What;
  CaseForm Form = CaseForm::None;
  long Group = 0;          // Group: its number (any value; a missing group inserts nothing)
  std::wstring_view Part;  // Text: the text; Name: the group's name
};

// The replacement read once per call into pieces, so each match only
// appends them.
class ReplacementTemplate {
 public:
  explicit ReplacementTemplate(std::wstring_view replacement);
  // Appends the replacement for one match.
  void Expand(std::wstring& out, const CachedPattern& entry, std::wstring_view subject, const PCRE2_SIZE* ovector,
              int pairs) const;

 private:
  void AddText(std::wstring_view text);
  std::vector<ReplacementPiece> pieces_;
};

// Scans left to right; a "$" that starts no reference stands for itself.
ReplacementTemplate::ReplacementTemplate(std::wstring_view replacement) {
  size_t textStart = 0;  // start of the text not yet added
  auto flushText = [&](size_t end) {
    if (end > textStart) AddText(replacement.substr(textStart, end - textStart));
  };
  for (size_t i = 0; i < replacement.size(); ++i) {
    if (replacement[i] != L'$' || i + 1 >= replacement.size()) continue;
    size_t next = i + 1;
    if (replacement[next] == L'$') {
      flushText(next);  // the first "$" of the pair
      textStart = next + 1;
      i = next;
      continue;
    }
    CaseForm form = CaseForm::None;
    for (const CaseLetter& row : kCaseLetters)
      if (std::towupper(replacement[next]) == row.Letter) form = row.Form;
    if (form != CaseForm::None) ++next;
    ReplacementPiece piece{ReplacementPiece::Kind::Group, form, 0, {}};
    size_t end = next;  // last character of the reference
    if (next < replacement.size() && iswdigit(replacement[next])) {
      piece.Group = replacement[next] - L'0';
    } else if (next < replacement.size() && replacement[next] == L'{') {
      const size_t close = replacement.find(L'}', next + 1);
      if (close == std::wstring_view::npos || close == next + 1 || close - next - 1 > kMaxBraceReference) continue;
      const std::wstring_view inner = replacement.substr(next + 1, close - next - 1);
      if (!ReadBraceNumber(inner, piece.Group)) {
        piece.What = ReplacementPiece::Kind::Name;
        piece.Part = inner;
      }
      end = close;
    } else {
      continue;
    }
    flushText(i);
    pieces_.push_back(piece);
    textStart = end + 1;
    i = end;
  }
  flushText(replacement.size());
}

// Adds text, joined to a text piece just before it.
void ReplacementTemplate::AddText(std::wstring_view text) {
  if (!pieces_.empty() && pieces_.back().What == ReplacementPiece::Kind::Text &&
      pieces_.back().Part.data() + pieces_.back().Part.size() == text.data()) {
    pieces_.back().Part = {pieces_.back().Part.data(), pieces_.back().Part.size() + text.size()};
    return;
  }
  pieces_.push_back({ReplacementPiece::Kind::Text, CaseForm::None, 0, text});
}

// A group that does not exist, did not take part or is empty adds nothing.
void ReplacementTemplate::Expand(std::wstring& out, const CachedPattern& entry, std::wstring_view subject,
                                 const PCRE2_SIZE* ovector, int pairs) const {
  for (const ReplacementPiece& piece : pieces_) {
    if (piece.What == ReplacementPiece::Kind::Text) {
      out.append(piece.Part);
      continue;
    }
    const long group = piece.What == ReplacementPiece::Kind::Name ? GroupOfName(entry, piece.Part, ovector, pairs)
                                                                   : piece.Group;
    if (group < 0 || group >= pairs || ovector[2 * group] == PCRE2_UNSET) continue;
    const size_t start = ovector[2 * group], stop = ovector[2 * group + 1];
    if (stop > start) AppendConverted(out, subject.substr(start, stop - start), piece.Form);
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
  wchar_t patternBuffer[kFloatTextChars];
  std::wstring error;
  CachedPattern* entry = FetchCompiledPattern(ParamInPlace(*params[1], patternBuffer), &error);
  if (!entry) return ReportOutcomeText(error);
  wchar_t numberBuffer[kFloatTextChars];
  MatchSubject haystack(ParamInPlace(*params[0], numberBuffer),
                        params[0]->Symbol == ExprSymbol::VariableRef ? params[0]->Var : nullptr);
  wchar_t replacementBuffer[kFloatTextChars];
  std::wstring_view replacementText = count > 2 ? ParamInPlace(*params[2], replacementBuffer) : std::wstring_view();
  // A callout function may assign the variables read in place.
  std::wstring replacementCopy;
  if (entry->HasCallouts) {
    haystack.Detach();
    replacementText = replacementCopy.assign(replacementText);
  }
  const std::wstring_view subject = haystack.Text();
  const ReplacementTemplate replacement(replacementText);
  int64_t limit = ParamGiven(params, count, 4) ? ParamInteger(*params[4]) : -1;
  size_t position = StartingOffset(params, count, 5, subject.size());
  size_t copiedTo = 0;  // subject characters already in `out`
  int64_t replacements = 0;
  bool afterEmpty = false;  // the last match was empty and ended at `position`
  std::wstring out;
  ResultCode code = ResultCode::Ok;
  bool failed = false;
  pcre2_match_data* data = TakeMatchData(*entry);
  if (!data) {
    code = ReportOutcomeNumber(ScriptErrorCode(PCRE2_ERROR_NOMEMORY), regex_msg::ReplaceWhat);
    failed = true;
  }
  while (!failed && limit != 0) {
    const int rc = afterEmpty ? RunNonEmptyAt(*entry, subject, position, data)
                              : RunPattern(*entry, subject, position, 0, data);
    if ((code = TakeCalloutStop()) != ResultCode::Ok) {
      // A callout function's error or Exit ends the thread here too.
      failed = true;
      break;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (afterEmpty && position < subject.size()) {
        position += StepLength(subject, position, entry->Options.Newline);
        afterEmpty = false;
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
    const size_t matchStart = std::max<size_t>(ovector[0], copiedTo);
    const size_t matchEnd = std::max<size_t>(ovector[1], matchStart);
    if (replacements == 1) out.reserve(subject.size() + subject.size() / 8);
    out.append(subject.substr(copiedTo, matchStart - copiedTo));
    replacement.Expand(out, *entry, subject, ovector, rc);
    copiedTo = matchEnd;
    position = matchEnd;
    afterEmpty = matchStart == matchEnd;
  }
  ReturnMatchData(data);
  ReleasePattern(entry);
  if (!failed) {
    if (replacements > 0) {
      out.append(subject.substr(copiedTo));
      if (!SetResultText(result, out))
        code = ReportOutcomeNumber(ScriptErrorCode(PCRE2_ERROR_NOMEMORY), regex_msg::ReplaceWhat);
      else
        code = ReportOutcome(false);
    } else {
      SetResultText(result, subject);
      code = ReportOutcome(false);
    }
  } else {
    SetResultText(result, subject);
  }
  if (count > 3 && params[3]->Symbol == ExprSymbol::VariableRef) {
    if (params[3]->Var->AssignInteger(replacements) != ResultCode::Ok) return ResultCode::Fail;
  }
  return code;
}
