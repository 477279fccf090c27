// RegExMatch in its three output forms (text, "P" positions, "O" match
// object), the subpattern output variables, and the pieces RegExReplace
// shares: the starting-position rule, match data and error numbers.
#include <cwchar>
#include <string>

#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "regex/match_object.h"
#include "regex/regex_callout.h"
#include "regex/regex_match.h"
#include "regex/regex_messages.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// PCRE2's matcher errors that scripts know by their older numbers.
struct ErrorCodeRow {
  int Pcre2;
  int Script;
};
constexpr ErrorCodeRow kErrorCodes[] = {
    {PCRE2_ERROR_NOMEMORY, -6},
    {PCRE2_ERROR_MATCHLIMIT, -8},
    {PCRE2_ERROR_PARTIAL, -12},
    {PCRE2_ERROR_DEPTHLIMIT, -21},
};

// The spare match data of the script thread and whether it is lent out.
struct SpareMatchData {
  pcre2_match_data* Data = nullptr;
  uint32_t Pairs = 0;
  bool Lent = false;
};
SpareMatchData& Spare() {
  static SpareMatchData spare;  // written only by the script thread
  return spare;
}

// The variable for a subpattern: in OutputVar's scope, local when it is
// local (or the running function is force-local), else global.
Variable* SubpatternVar(Variable& outputVar, std::wstring_view suffix, FunctionScope* callScope) {
  std::wstring name = outputVar.Name();
  name += suffix;
  if (callScope) return FindOrAddVariable(name, Values().Globals, callScope, ResolvePhase::Running);
  Func* running = RunningFunction();
  bool local = (outputVar.Scope() & VAR_LOCAL) || (running && running->Scope.Mode >= SCOPE_FORCE_LOCAL);
  if (!local) return Values().Globals.FindOrAdd(name, VAR_GLOBAL);
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  return FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Running);
}

// Whether an earlier group of this name already supplied its variable.
bool NameAlreadyStored(const CachedPattern& entry, uint32_t group, const std::vector<bool>& stored) {
  for (uint32_t earlier = 1; earlier < group; ++earlier)
    if (stored[earlier] && EqualsNoCase(entry.GroupNames[earlier], entry.GroupNames[group])) return true;
  return false;
}

}  // namespace

// The 1-based argument turned into a 0-based offset within the text.
size_t StartingOffset(ExprToken** params, int count, int index, size_t length) {
  if (!ParamGiven(params, count, index)) return 0;
  int64_t start = ParamInteger(*params[index]) - 1;
  if (start < 0) start = std::max<int64_t>(start + static_cast<int64_t>(length), 0);
  return std::min(static_cast<size_t>(start), length);
}

// Lends the spare when free and large enough; else makes a new one.
pcre2_match_data* TakeMatchData(const CachedPattern& entry) {
  SpareMatchData& spare = Spare();
  uint32_t pairs = entry.CaptureCount + 1;
  if (!spare.Lent) {
    if (spare.Pairs < pairs) {
      if (spare.Data) pcre2_match_data_free(spare.Data);
      spare.Data = pcre2_match_data_create(std::max<uint32_t>(pairs, 10), nullptr);
      spare.Pairs = spare.Data ? std::max<uint32_t>(pairs, 10) : 0;
    }
    if (spare.Data) {
      spare.Lent = true;
      return spare.Data;
    }
  }
  return pcre2_match_data_create(pairs, nullptr);
}

// Takes the spare back, or frees a match data made for a nested match.
void ReturnMatchData(pcre2_match_data* data) {
  SpareMatchData& spare = Spare();
  if (data && data == spare.Data)
    spare.Lent = false;
  else if (data)
    pcre2_match_data_free(data);
}

// Older numbers for the errors scripts have long tested for.
int ScriptErrorCode(int pcre2Code) {
  for (const ErrorCodeRow& row : kErrorCodes)
    if (row.Pcre2 == pcre2Code) return row.Script;
  return pcre2Code;
}

// Stores each group's text (or position and length) in its variable.
ResultCode StoreSubpatternVars(Variable& outputVar, const CachedPattern& entry, std::wstring_view subject,
                               const PCRE2_SIZE* ovector, int pairs, bool positions, FunctionScope* scope) {
  bool named = !entry.GroupNames.empty();
  std::vector<bool> stored(entry.CaptureCount + 1, false);
  for (uint32_t group = 1; group <= entry.CaptureCount; ++group) {
    bool tookPart = static_cast<int>(group) < pairs && ovector[2 * group] != PCRE2_UNSET;
    const std::wstring* name = named && !entry.GroupNames[group].empty() ? &entry.GroupNames[group] : nullptr;
    if (name && NameAlreadyStored(entry, group, stored)) continue;
    std::wstring suffix = name ? *name : std::to_wstring(group);
    size_t start = tookPart ? ovector[2 * group] : 0;
    size_t length = tookPart ? ovector[2 * group + 1] - start : 0;
    if (positions) {
      Variable* pos = SubpatternVar(outputVar, L"Pos" + suffix, scope);
      Variable* len = SubpatternVar(outputVar, L"Len" + suffix, scope);
      if (!pos || !len) return ResultCode::Fail;
      if (pos->AssignInteger(tookPart ? static_cast<int64_t>(start) + 1 : 0) != ResultCode::Ok ||
          len->AssignInteger(static_cast<int64_t>(length)) != ResultCode::Ok)
        return ResultCode::Fail;
    } else {
      Variable* var = SubpatternVar(outputVar, suffix, scope);
      if (!var) return ResultCode::Fail;
      if (var->Assign(subject.substr(start, length)) != ResultCode::Ok) return ResultCode::Fail;
    }
    if (tookPart) stored[group] = true;
  }
  return ResultCode::Ok;
}

// Matches; a pattern with callouts gets the handler and its context.
int RunPattern(CachedPattern& entry, std::wstring_view subject, size_t start, uint32_t options,
               pcre2_match_data* data) {
  CalloutContext context{&entry, subject};
  pcre2_match_context* matchContext = nullptr;
  if (entry.HasCallouts && !(matchContext = CalloutMatchContext(&context))) return PCRE2_ERROR_NOMEMORY;
  return pcre2_match(entry.Compiled, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), start, options, data,
                     matchContext);
}

// The stop a callout recorded, cleared for the next match.
ResultCode TakeCalloutStop() {
  const ResultCode stop = Regex().CalloutStop;
  Regex().CalloutStop = ResultCode::Ok;
  return stop;
}

namespace {

// Fills OutputVar (and the subpattern variables) by the pattern's form.
ResultCode StoreMatchOutput(Variable& outputVar, CachedPattern& entry, std::wstring_view subject,
                            pcre2_match_data* data, int rc) {
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
  int pairs = rc > 0 ? rc : 0;
  size_t start = pairs ? ovector[0] : 0;
  size_t length = pairs ? ovector[1] - ovector[0] : 0;
  switch (entry.Options.ResultForm) {
    case RegExResultForm::Object: {
      if (!pairs) return outputVar.Assign();
      IObject* match =
          CreateMatchObject(entry, subject, ovector, pairs, reinterpret_cast<const wchar_t*>(pcre2_get_mark(data)));
      return match ? outputVar.AssignObject(match) : outputVar.Assign();
    }
    case RegExResultForm::Position:
      if (outputVar.AssignInteger(static_cast<int64_t>(length)) != ResultCode::Ok) return ResultCode::Fail;
      break;
    case RegExResultForm::Text:
      if (outputVar.Assign(subject.substr(start, length)) != ResultCode::Ok) return ResultCode::Fail;
      break;
  }
  if (entry.CaptureCount == 0) return ResultCode::Ok;
  return StoreSubpatternVars(outputVar, entry, subject, ovector, pairs,
                             entry.Options.ResultForm == RegExResultForm::Position);
}

// RegExMatch proper.
ResultCode RegExMatchCall(ExprToken& result, ExprToken** params, int count) {
  wchar_t numberBuffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* haystackText = ParamText(*params[0], numberBuffer, &length);
  wchar_t patternBuffer[kFloatTextChars];
  size_t patternLength = 0;
  const wchar_t* patternText = ParamText(*params[1], patternBuffer, &patternLength);
  std::wstring error;
  CachedPattern* entry = FetchCompiledPattern({patternText, patternLength}, &error);
  if (!entry) return ReportOutcomeText(error);
  Variable* outputVar = count > 2 && params[2]->Symbol == ExprSymbol::VariableRef ? params[2]->Var : nullptr;
  // Writing the outputs may change the haystack's own variable: match a copy.
  std::wstring haystackCopy;
  std::wstring_view haystack(haystackText, length);
  if (outputVar && params[0]->Symbol == ExprSymbol::VariableRef) {
    haystackCopy.assign(haystack);
    haystack = haystackCopy;
  }
  size_t start = StartingOffset(params, count, 3, haystack.size());
  pcre2_match_data* data = TakeMatchData(*entry);
  ResultCode code = ResultCode::Ok;
  if (!data) {
    code = ReportOutcomeNumber(ScriptErrorCode(PCRE2_ERROR_NOMEMORY), regex_msg::MatchWhat);
  } else {
    int rc = RunPattern(*entry, haystack, start, 0, data);
    code = TakeCalloutStop();
    if (code != ResultCode::Ok) {
      // A callout function's error or Exit ends the thread here too.
    } else if (rc >= 0 || rc == PCRE2_ERROR_NOMATCH) {
      code = ReportOutcome(false);
      result.SetInteger(rc >= 0 ? static_cast<int64_t>(pcre2_get_ovector_pointer(data)[0]) + 1 : 0);
    } else {
      code = ReportOutcomeNumber(ScriptErrorCode(rc), regex_msg::MatchWhat);
    }
    if (outputVar && code == ResultCode::Ok) code = StoreMatchOutput(*outputVar, *entry, haystack, data, rc);
  }
  ReturnMatchData(data);
  ReleasePattern(entry);
  return code;
}

}  // namespace

// One entry for both names: the sixth character tells them apart.
ResultCode BuiltInRegEx(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool) {
  bool replace = std::wcslen(func.Name) > 5 && (func.Name[5] == L'R' || func.Name[5] == L'r');
  return replace ? RegExReplaceCall(result, params, count) : RegExMatchCall(result, params, count);
}
