// Callouts into script functions: rewriting named callouts before a pattern
// is compiled, and the handler the matcher calls at every callout.
//
// The handler runs the function named in the callout item, else the one
// whose name the global variable pcre_callout holds (never a built-in
// function). While it runs, A_EventInfo is the address of the callout
// block. PCRE2 replaced the older pcre_callout_block by pcre2_callout_block
// (16-bit build); scripts get a copy of PCRE2's block whose pattern_position
// counts from the start of the script's pattern text (option prefix and
// named callouts included) and whose callout_number is the number written in
// a named callout.
#include "regex/regex_callout.h"

#include <cwctype>

#include "objects/builtin_functions.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "objects/object_invoke.h"
#include "regex/match_object.h"
#include "regex/regex_match.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// PCRE2's compile errors for a bad callout: a number above 255, and an
// item without its closing parenthesis (used for a name that is no script
// function).
constexpr int kErrorCalloutNumber = 138;
constexpr int kErrorCalloutClose = 139;
// Largest callout number.
constexpr unsigned kMaxCalloutNumber = 255;
// The callout function's parameters, in order: the match so far, the
// callout number, the 1-based start of the attempt, haystack, NeedleRegEx.
constexpr size_t kCalloutParams = 5;
// The global variable naming the function of unnamed callouts.
constexpr wchar_t kCalloutVariable[] = L"pcre_callout";

// Skips a character class starting at `i` ("[" there); the position after it.
size_t SkipClass(std::wstring_view text, size_t i) {
  size_t j = i + 1;
  if (j < text.size() && text[j] == L'^') ++j;
  if (j < text.size() && text[j] == L']') ++j;  // a leading "]" is literal
  while (j < text.size() && text[j] != L']') {
    if (text[j] == L'\\') {
      j += 2;
    } else if (text[j] == L'[' && j + 1 < text.size() && text[j + 1] == L':') {
      const size_t close = text.find(L":]", j + 2);
      j = close == std::wstring_view::npos ? j + 1 : close + 2;
    } else {
      ++j;
    }
  }
  return j < text.size() ? j + 1 : j;
}

// Skips an escape starting at `i` ("\" there), \Q...\E as a whole.
size_t SkipEscape(std::wstring_view text, size_t i) {
  if (i + 1 < text.size() && text[i + 1] == L'Q') {
    const size_t end = text.find(L"\\E", i + 2);
    return end == std::wstring_view::npos ? text.size() : end + 2;
  }
  return i + 2;
}

// A named callout item at `i` ("(?C" there): false when it is another kind
// of callout (left to PCRE2). On success `end` is past its ")".
bool ParseNamedCallout(std::wstring_view text, size_t i, unsigned& number, std::wstring_view& name, size_t& end,
                       CalloutRewriteError& error, bool& failed) {
  size_t k = i + 3;
  const size_t digits = k;
  number = 0;
  while (k < text.size() && text[k] >= L'0' && text[k] <= L'9') {
    if (number <= kMaxCalloutNumber) number = number * 10 + static_cast<unsigned>(text[k] - L'0');
    ++k;
  }
  if (k >= text.size() || text[k] == L')') return false;
  const bool colon = text[k] == L':';
  // Only a colon, or a name directly after the C, makes a named callout;
  // anything else is PCRE2's own callout syntax.
  if (!colon && (k != digits || !(std::iswalpha(text[k]) || text[k] == L'_'))) return false;
  failed = true;
  if (number > kMaxCalloutNumber) {
    error = {kErrorCalloutNumber, k};
    return true;
  }
  const size_t nameStart = colon ? k + 1 : k;
  const size_t close = text.find(L')', nameStart);
  if (close == std::wstring_view::npos) {
    error = {kErrorCalloutClose, text.size()};
    return true;
  }
  name = text.substr(nameStart, close - nameStart);
  Func* func = name.empty() ? nullptr : LookupFunction(name);
  if (!func || func->IsBuiltIn) {
    error = {kErrorCalloutClose, nameStart};
    return true;
  }
  failed = false;
  end = close + 1;
  return true;
}

// Reads a rewritten callout's text "n:Name" back.
bool ReadNamedCallout(const pcre2_callout_block& block, uint32_t& number, std::wstring& name) {
  if (!block.callout_string || block.callout_string_length == 0) return false;
  std::wstring_view text(reinterpret_cast<const wchar_t*>(block.callout_string), block.callout_string_length);
  const size_t colon = text.find(L':');
  if (colon == std::wstring_view::npos || colon == 0) return false;
  uint32_t value = 0;
  for (size_t i = 0; i < colon; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + static_cast<uint32_t>(text[i] - L'0');
  }
  number = value;
  name.assign(text.substr(colon + 1));
  return true;
}

// The function a callout calls, or null.
Func* CalloutFunction(const pcre2_callout_block& block, uint32_t& number) {
  std::wstring name;
  number = block.callout_number;
  if (!ReadNamedCallout(block, number, name)) {
    Variable* var = Values().Globals.Find(kCalloutVariable);
    if (!var) return nullptr;
    name = var->TextOf();
  }
  if (name.empty()) return nullptr;
  Func* func = LookupFunction(name);
  return func && !func->IsBuiltIn ? func : nullptr;
}

// What the prologue needs to set the subpattern variables.
struct CalloutCall {
  CalloutContext* Context;
  const pcre2_callout_block* Block;
};

// Sets the variables named after the first parameter for the groups so far.
ResultCode SetCalloutSubpatterns(Func& func, void* data) {
  const CalloutCall& call = *static_cast<CalloutCall*>(data);
  const CachedPattern& entry = *call.Context->Entry;
  if (func.Params.empty() || !func.Params[0].Var) return ResultCode::Ok;
  // The subject is never read in place from a variable while callouts run.
  MatchSubject subject(call.Context->Subject);
  return StoreSubpatternVars(*func.Params[0].Var, entry, subject, call.Block->offset_vector,
                             static_cast<int>(call.Block->capture_top),
                             entry.Options.ResultForm == RegExResultForm::Position, &func.Scope);
}

// The first parameter: the match so far in the pattern's output form.
void MatchSoFar(CalloutContext& context, const pcre2_callout_block& block, ExprToken& token) {
  const size_t start = block.start_match;
  const size_t length = block.current_position > start ? block.current_position - start : 0;
  switch (context.Entry->Options.ResultForm) {
    case RegExResultForm::Text:
      token.SetText(L"");
      SetResultText(token, context.Subject.substr(start, length));
      return;
    case RegExResultForm::Position: token.SetInteger(static_cast<int64_t>(length)); return;
    case RegExResultForm::Object: {
      // Group 0 is the span so far; the other groups as the matcher has them.
      const uint32_t pairs = block.capture_top > 0 ? block.capture_top : 1;
      std::vector<PCRE2_SIZE> ovector(block.offset_vector, block.offset_vector + 2 * pairs);
      ovector[0] = start;
      ovector[1] = start + length;
      IObject* match = CreateMatchObject(*context.Entry, context.Subject, ovector.data(), static_cast<int>(pairs),
                                         reinterpret_cast<const wchar_t*>(block.mark));
      if (match)
        token.SetObject(match);
      else
        token.SetText(L"");
      return;
    }
  }
}

}  // namespace

bool RewriteNamedCallouts(std::wstring_view proper, std::wstring& rewritten, std::vector<CalloutShift>& shifts,
                          CalloutRewriteError& error) {
  rewritten.clear();
  shifts.clear();
  size_t copied = 0;
  size_t i = 0;
  while (i < proper.size()) {
    const wchar_t c = proper[i];
    if (c == L'\\') {
      i = SkipEscape(proper, i);
      continue;
    }
    if (c == L'[') {
      i = SkipClass(proper, i);
      continue;
    }
    if (proper.compare(i, 3, L"(?C") != 0) {
      ++i;
      continue;
    }
    unsigned number = 0;
    std::wstring_view name;
    size_t end = 0;
    bool failed = false;
    if (!ParseNamedCallout(proper, i, number, name, end, error, failed)) {
      i += 3;
      continue;
    }
    if (failed) return false;
    rewritten.append(proper.substr(copied, i - copied));
    rewritten += L"(?C{" + std::to_wstring(number) + L":";
    rewritten.append(name);
    rewritten += L"})";
    copied = end;
    // The rewritten text is longer than the script's up to this point.
    shifts.push_back({rewritten.size(), rewritten.size() - end});
    i = end;
  }
  if (shifts.empty()) return true;
  rewritten.append(proper.substr(copied));
  return true;
}

size_t OriginalOffset(const std::vector<CalloutShift>& shifts, size_t offset) {
  size_t inserted = 0;
  for (const CalloutShift& shift : shifts) {
    if (shift.RewrittenEnd > offset) break;
    inserted = shift.Inserted;
  }
  return offset >= inserted ? offset - inserted : 0;
}

pcre2_match_context* CalloutMatchContext(void* data) {
  RegexState& state = Regex();
  if (!state.CalloutContext) state.CalloutContext = pcre2_match_context_create(nullptr);
  if (!state.CalloutContext) return nullptr;
  pcre2_set_callout(state.CalloutContext, HandleCallout, data);
  return state.CalloutContext;
}

int HandleCallout(pcre2_callout_block* block, void* data) {
  if (!data || !block) return 0;
  CalloutContext& context = *static_cast<CalloutContext*>(data);
  uint32_t number = 0;
  Func* func = CalloutFunction(*block, number);
  if (!func) return 0;
  const CachedPattern& entry = *context.Entry;

  // The script reads this copy through A_EventInfo.
  pcre2_callout_block shown = *block;
  shown.callout_number = number;
  shown.pattern_position = entry.Options.PrefixLength + OriginalOffset(entry.Shifts, block->pattern_position);

  const size_t wanted = func->IsVariadic ? kCalloutParams : std::min(kCalloutParams, func->Params.size());
  ExprToken tokens[kCalloutParams];
  ExprToken* params[kCalloutParams];
  for (size_t i = 0; i < kCalloutParams; ++i) {
    tokens[i].SetText(L"");
    tokens[i].HeapText = nullptr;
    params[i] = &tokens[i];
  }
  if (wanted > 0) MatchSoFar(context, *block, tokens[0]);
  tokens[1].SetInteger(number);
  tokens[2].SetInteger(static_cast<int64_t>(block->start_match) + 1);
  tokens[3].SetText(L"");
  SetResultText(tokens[3], context.Subject);
  tokens[4].SetText(L"");
  SetResultText(tokens[4], entry.PatternText);

  ThreadSettings& thread = *Values().CurrentThread;
  const int64_t savedInfo = thread.EventInfo;
  thread.EventInfo = reinterpret_cast<int64_t>(&shown);
  CalloutCall call{&context, block};
  const bool subpatterns = wanted > 0 && entry.CaptureCount > 0 && entry.Options.ResultForm != RegExResultForm::Object;
  ExprToken result;
  result.SetText(L"");
  result.HeapText = nullptr;
  const ResultCode ran = CallScriptFunctionWith(*func, result, params, static_cast<int>(wanted),
                                                subpatterns ? SetCalloutSubpatterns : nullptr, &call);
  thread.EventInfo = savedInfo;
  int answer = -1;
  if (ran == ResultCode::Ok || ran == ResultCode::Returned) {
    answer = static_cast<int>(ParamInteger(result));
  } else {
    Regex().CalloutStop = ran;
  }
  ReleaseResult(result);
  for (ExprToken& token : tokens) ReleaseResult(token);
  return answer;
}
