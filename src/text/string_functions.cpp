// The string built-in functions: StrLen, SubStr, InStr, StrReplace,
// StrSplit, Trim/LTrim/RTrim, Asc/Ord and Chr.
//
// Positions are 1-based for scripts and 0-based inside; lengths count UTF-16
// code units and take a variable's whole stored text. Unusable arguments
// give "" or 0, never an error; only results beyond #MaxMem (or no memory
// for them) fail the line.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "objects/builtin_functions.h"
#include "text/text_functions.h"
#include "text/text_search.h"
#include "text/text_state.h"
#include "text/text_values.h"
#include "values/expr_operators.h"
#include "values/object.h"
#include "values/variable.h"

namespace {

// Trim's default characters: a space and a tab.
constexpr std::wstring_view kDefaultOmitChars = L" \t";

// UTF-16 surrogate ranges and the first code point that needs a pair.
constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kHighSurrogateLast = 0xDBFF;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kLowSurrogateLast = 0xDFFF;
constexpr uint32_t kFirstSupplementary = 0x10000;
constexpr uint32_t kLastCodePoint = 0x10FFFF;
constexpr uint32_t kSurrogateBits = 10;
constexpr uint32_t kLowSurrogateMask = 0x3FF;

// The text of argument `index`, or "" when it was left out.
std::wstring_view OptionalText(ExprToken** params, int count, int index, wchar_t* numberBuffer) {
  return ParamGiven(params, count, index) ? ParamView(*params[index], numberBuffer) : std::wstring_view();
}

// Whether an argument counts as given and true (numbers by value, text by
// the truth rule).
bool ParamTrue(ExprToken** params, int count, int index) {
  return ParamGiven(params, count, index) && TruthOf(*params[index]);
}

// The text without the given characters at its start and/or end.
std::wstring_view TrimChars(std::wstring_view text, std::wstring_view omit, bool start, bool end) {
  if (omit.empty()) return text;
  if (start) {
    const size_t first = text.find_first_not_of(omit);
    text.remove_prefix(first == std::wstring_view::npos ? text.size() : first);
  }
  if (end) {
    const size_t last = text.find_last_not_of(omit);
    text = text.substr(0, last == std::wstring_view::npos ? 0 : last + 1);
  }
  return text;
}

}  // namespace

// StrLen(String): the length in code units.
ResultCode BifStrLen(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  wchar_t buffer[kNumberTextChars];
  result.SetInteger(static_cast<int64_t>(ParamView(*params[0], buffer).size()));
  return ResultCode::Ok;
}

// SubStr(String, StartingPos [, Length]).
ResultCode BifSubStr(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t buffer[kNumberTextChars];
  const std::wstring_view text = ParamView(*params[0], buffer);
  const int64_t length = static_cast<int64_t>(text.size());
  int64_t begin = ParamInteger(*params[1]) - 1;
  if (begin > length) return ResultCode::Ok;
  if (begin < 0) {
    begin += length;
    if (begin < 0) begin = 0;
  }
  const int64_t rest = length - begin;
  int64_t take = rest;
  if (ParamGiven(params, count, 2)) {
    const int64_t wanted = ParamInteger(*params[2]);
    if (wanted < 0)
      take = rest + wanted;
    else if (wanted < rest)
      take = wanted;
  }
  if (take <= 0) return ResultCode::Ok;
  return SetResultTextChecked(result, text.substr(static_cast<size_t>(begin), static_cast<size_t>(take)),
                              ShortResultSlot::SubStr);
}

namespace {

// The 0-based position InStr finds, or kNoMatch.
size_t FindOccurrence(const TextSearch& search, size_t length, int64_t startingPos, bool startGiven,
                      int64_t occurrence) {
  if (!startGiven || startingPos > 0) {
    size_t from = startGiven ? static_cast<size_t>(startingPos - 1) : 0;
    if (from > length) return kNoMatch;
    // An empty needle matches where the search starts, every time.
    if (!search.NeedleLength()) return search.Next(from);
    size_t found = kNoMatch;
    for (int64_t n = 0; n < occurrence; ++n) {
      found = search.Next(from);
      if (found == kNoMatch) return kNoMatch;
      from = found + search.NeedleLength();
    }
    return found;
  }
  // Backward: the match must end at or before len + StartingPos.
  const int64_t endLimit = static_cast<int64_t>(length) + startingPos;
  if (endLimit < 0) return kNoMatch;
  size_t end = static_cast<size_t>(endLimit);
  size_t found = kNoMatch;
  for (int64_t n = 0; n < occurrence; ++n) {
    found = search.Previous(end);
    if (found == kNoMatch) return kNoMatch;
    // Counting from the right, the next match may overlap this one: it
    // only has to end before this one's last unit.
    if (found + search.NeedleLength() == 0) return n + 1 < occurrence ? kNoMatch : found;
    end = found + search.NeedleLength() - 1;
  }
  return found;
}

}  // namespace

// InStr(Haystack, Needle [, CaseSensitive, StartingPos, Occurrence]).
ResultCode BifInStr(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetInteger(0);
  const int64_t occurrence = ParamGiven(params, count, 4) ? ParamInteger(*params[4]) : 1;
  if (occurrence <= 0) return ResultCode::Ok;
  wchar_t haystackBuffer[kNumberTextChars];
  wchar_t needleBuffer[kNumberTextChars];
  const std::wstring_view haystack = ParamView(*params[0], haystackBuffer);
  const std::wstring_view needle = ParamView(*params[1], needleBuffer);
  CaseMode mode = ThreadCaseMode();
  if (ParamTrue(params, count, 2))
    mode = CaseMode::Sensitive;
  else if (mode != CaseMode::AsciiInsensitive)
    mode = CaseMode::Locale;
  const bool startGiven = ParamGiven(params, count, 3);
  const int64_t startingPos = startGiven ? ParamInteger(*params[3]) : 1;
  const TextSearch search(haystack, needle, mode);
  const size_t found = FindOccurrence(search, haystack.size(), startingPos, startGiven, occurrence);
  if (found != kNoMatch) result.SetInteger(static_cast<int64_t>(found) + 1);
  return ResultCode::Ok;
}

// StrReplace(Haystack, SearchText [, ReplaceText, OutputVarCount, Limit]).
ResultCode BifStrReplace(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t haystackBuffer[kNumberTextChars];
  wchar_t searchBuffer[kNumberTextChars];
  wchar_t replaceBuffer[kNumberTextChars];
  const std::wstring_view haystack = ParamView(*params[0], haystackBuffer);
  const std::wstring_view search = ParamView(*params[1], searchBuffer);
  const std::wstring_view replacement = OptionalText(params, count, 2, replaceBuffer);
  const int64_t limit = ParamGiven(params, count, 4) ? ParamInteger(*params[4]) : -1;
  size_t replaced = 0, length = 0;
  bool failed = false;
  wchar_t* block = ReplaceIntoBlock(haystack, search, replacement, ThreadCaseMode(), limit, replaced, length, failed);
  if (failed) return ResultCode::Fail;
  // The result is complete before the count is stored, since the count's
  // variable may be the haystack's.
  if (block)
    SetResultBlock(result, block);
  else if (SetResultTextChecked(result, haystack, ShortResultSlot::Replace) != ResultCode::Ok)
    return ResultCode::Fail;
  if (ParamGiven(params, count, 3) && params[3]->Symbol == ExprSymbol::VariableRef)
    return params[3]->Var->AssignInteger(static_cast<int64_t>(replaced));
  return ResultCode::Ok;
}

namespace {

using PartList = std::vector<std::wstring_view>;

// One element, trimmed of the omit characters.
std::wstring_view TrimmedPart(std::wstring_view piece, std::wstring_view omit) {
  return piece.empty() ? piece : TrimChars(piece, omit, true, true);
}

// Appends one element, trimmed of the omit characters.
void AppendPart(PartList& parts, std::wstring_view piece, std::wstring_view omit) {
  parts.push_back(TrimmedPart(piece, omit));
}

// Splits without delimiters: one element per character not omitted; once
// the part budget is spent the rest becomes the last element.
void SplitCharacters(std::wstring_view text, std::wstring_view omit, int64_t budget, PartList& parts) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (budget == 0) {
      AppendPart(parts, text.substr(i), omit);
      return;
    }
    if (omit.find(text[i]) != std::wstring_view::npos) continue;
    parts.push_back(text.substr(i, 1));
    if (budget > 0) --budget;
  }
}

// The length of the first delimiter that matches at `at`, or 0.
size_t DelimiterAt(std::wstring_view text, size_t at, std::span<const std::wstring_view> delimiters) {
  const std::wstring_view rest = text.substr(at);
  for (std::wstring_view delimiter : delimiters)
    if (rest.size() >= delimiter.size() && std::equal(delimiter.begin(), delimiter.end(), rest.begin()))
      return delimiter.size();
  return 0;
}

// The two units every delimiter starts with, when there are no more than
// two different ones (the scan then jumps between them); false otherwise.
bool FirstUnitsOf(std::span<const std::wstring_view> delimiters, wchar_t& a, wchar_t& b) {
  a = b = delimiters[0][0];
  for (std::wstring_view delimiter : delimiters) {
    const wchar_t first = delimiter[0];
    if (first == a || first == b) continue;
    if (a != b) return false;
    b = first;
  }
  return true;
}

// Splits at the delimiters, trying them in the order given at each position.
void SplitAtDelimiters(std::wstring_view text, std::span<const std::wstring_view> delimiters, std::wstring_view omit,
                       int64_t budget, PartList& parts) {
  wchar_t firstA = 0, firstB = 0;
  const bool jump = FirstUnitsOf(delimiters, firstA, firstB);
  const wchar_t* const base = text.data();
  size_t start = 0;
  for (size_t at = 0; at < text.size() && budget != 0;) {
    if (jump) {
      at = static_cast<size_t>(FindEitherUnit(base + at, base + text.size(), firstA, firstB) - base);
      if (at == text.size()) break;
    }
    const size_t delimiterLength = DelimiterAt(text, at, delimiters);
    if (!delimiterLength) {
      ++at;
      continue;
    }
    AppendPart(parts, text.substr(start, at - start), omit);
    at += delimiterLength;
    start = at;
    if (budget > 0) --budget;
  }
  AppendPart(parts, text.substr(start), omit);
}

// A split at a delimiter of one unit, written straight into the array: the
// cuts are counted first, so no list of parts is kept on the way. Null when
// memory runs out.
Object* SplitAtUnit(std::wstring_view text, wchar_t delimiter, std::wstring_view omit, int64_t budget) {
  const wchar_t* const base = text.data();
  const wchar_t* const end = base + text.size();
  size_t cuts = CountUnit(base, end, delimiter);
  if (budget >= 0 && cuts > static_cast<uint64_t>(budget)) cuts = static_cast<size_t>(budget);
  Object::TextArrayBuilder builder;
  if (!builder.Start(cuts + 1, text.size() - cuts)) return nullptr;
  const wchar_t* start = base;
  for (size_t k = 0; k < cuts; ++k) {
    const wchar_t* at = FindEitherUnit(start, end, delimiter, delimiter);
    builder.Add(TrimmedPart(std::wstring_view(start, static_cast<size_t>(at - start)), omit));
    start = at + 1;
  }
  builder.Add(TrimmedPart(std::wstring_view(start, static_cast<size_t>(end - start)), omit));
  return builder.Finish();
}

// The texts of an array of delimiters, in key order; false when the object
// is not an array of non-empty texts.
bool DelimitersOfArray(IObject* object, std::vector<std::wstring_view>& delimiters) {
  auto* array = dynamic_cast<Object*>(object);
  if (!array) return false;
  array->SortKeys();
  for (size_t i = 0; i < array->FieldCount(); ++i) {
    const ObjectField& field = array->FieldAt(i);
    if (!field.IsText() || !field.TextValue[0]) return false;
    delimiters.emplace_back(field.TextValue);
  }
  return true;
}

}  // namespace

// StrSplit(String [, Delimiters, OmitChars, MaxParts]): a new array; "" when
// Delimiters is an object that is not an array of non-empty texts, or when
// memory for the array runs out.
ResultCode BifStrSplit(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t textBuffer[kNumberTextChars];
  wchar_t delimiterBuffer[kNumberTextChars];
  wchar_t omitBuffer[kNumberTextChars];
  const std::wstring_view text = ParamView(*params[0], textBuffer);
  std::wstring_view single;
  std::vector<std::wstring_view> listed;
  std::span<const std::wstring_view> delimiters;
  if (ParamGiven(params, count, 1)) {
    if (IObject* object = ObjectOf(*params[1])) {
      if (!DelimitersOfArray(object, listed)) return ResultCode::Ok;
      delimiters = listed;
    } else {
      single = ParamView(*params[1], delimiterBuffer);
      if (!single.empty()) delimiters = std::span<const std::wstring_view>(&single, 1);
    }
  }
  const std::wstring_view omit = OptionalText(params, count, 2, omitBuffer);
  // MaxParts 0 asks for nothing; a negative one sets no limit.
  const int64_t maxParts = ParamGiven(params, count, 3) ? ParamInteger(*params[3]) : -1;
  // The number of cuts still allowed; negative: no limit.
  const int64_t budget = maxParts < 0 ? -1 : maxParts - 1;
  if (!text.empty() && maxParts != 0 && delimiters.size() == 1 && delimiters[0].size() == 1) {
    if (Object* array = SplitAtUnit(text, delimiters[0][0], omit, budget)) result.SetObject(array);
    return ResultCode::Ok;
  }
  PartList& parts = Text().Parts;
  parts.clear();
  if (!text.empty() && maxParts != 0) {
    if (delimiters.empty())
      SplitCharacters(text, omit, budget, parts);
    else
      SplitAtDelimiters(text, delimiters, omit, budget, parts);
  }
  Object* array = Object::CreateArray(parts.data(), parts.size());
  TrimKeptList(parts);
  if (array) result.SetObject(array);
  return ResultCode::Ok;
}

// Trim, LTrim and RTrim (String [, OmitChars]), told apart by the name's
// first letter.
ResultCode BifTrim(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool) {
  wchar_t textBuffer[kNumberTextChars];
  wchar_t omitBuffer[kNumberTextChars];
  const std::wstring_view text = ParamView(*params[0], textBuffer);
  const bool isNumber = params[0]->Symbol == ExprSymbol::Integer || params[0]->Symbol == ExprSymbol::Float;
  if (isNumber) return SetResultTextChecked(result, text, ShortResultSlot::Trim);
  const std::wstring_view omit = ParamGiven(params, count, 1) ? ParamView(*params[1], omitBuffer) : kDefaultOmitChars;
  const wchar_t which = static_cast<wchar_t>(func.Name[0] | 0x20);
  return SetResultTextChecked(result, TrimChars(text, omit, which != L'r', which != L'l'), ShortResultSlot::Trim);
}

// Asc and Ord (String): the first code unit; Ord joins a surrogate pair
// into its code point.
ResultCode BifOrd(const ExprFunc& func, ExprToken& result, ExprToken** params, int, bool) {
  wchar_t buffer[kNumberTextChars];
  const std::wstring_view text = ParamView(*params[0], buffer);
  if (text.empty()) {
    result.SetInteger(0);
    return ResultCode::Ok;
  }
  const uint32_t first = text[0];
  const bool isOrd = (func.Name[0] | 0x20) == L'o';
  if (isOrd && first >= kHighSurrogateFirst && first <= kHighSurrogateLast && text.size() > 1 &&
      text[1] >= kLowSurrogateFirst && text[1] <= kLowSurrogateLast) {
    const uint32_t codePoint =
        ((first - kHighSurrogateFirst) << kSurrogateBits) + (text[1] - kLowSurrogateFirst) + kFirstSupplementary;
    result.SetInteger(codePoint);
    return ResultCode::Ok;
  }
  result.SetInteger(first);
  return ResultCode::Ok;
}

// Chr(Number): one character, as a surrogate pair above 0xFFFF.
ResultCode BifChr(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  const int64_t value = ParamInteger(*params[0]);
  if (value <= 0 || value > kLastCodePoint) return ResultCode::Ok;
  const uint32_t codePoint = static_cast<uint32_t>(value);
  wchar_t text[2];
  size_t length = 1;
  if (codePoint < kFirstSupplementary) {
    text[0] = static_cast<wchar_t>(codePoint);
  } else {
    const uint32_t offset = codePoint - kFirstSupplementary;
    text[0] = static_cast<wchar_t>((offset >> kSurrogateBits) | kHighSurrogateFirst);
    text[1] = static_cast<wchar_t>((offset & kLowSurrogateMask) | kLowSurrogateFirst);
    length = 2;
  }
  return SetResultTextChecked(result, std::wstring_view(text, length), ShortResultSlot::Chr);
}
