// RegExMatch in its three output forms (text, "P" positions, "O" match
// object), the subpattern output variables, and the pieces RegExReplace
// shares: parameters read in place, the subject guard, the
// starting-position rule and error numbers.
#include <algorithm>
#include <string>
#include <vector>

#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "regex/match_object.h"
#include "regex/regex_callout.h"
#include "regex/regex_match.h"
#include "regex/regex_messages.h"
#include "regex/regex_run.h"
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

// Where the subpattern variables of one call go: OutputVar's scope (local
// when OutputVar is local or the running function is force-local, else
// global), or a callout function's own scope.
struct SubpatternScope {
  FunctionScope* Function = nullptr;  // null: global
  bool Local = false;
};

SubpatternScope ScopeOfOutput(Variable& outputVar, FunctionScope* callScope) {
  if (callScope) return {callScope, true};
  Func* running = RunningFunction();
  const bool local = (outputVar.Scope() & VAR_LOCAL) || (running && running->Scope.Mode >= SCOPE_FORCE_LOCAL);
  if (!local) return {};
  return {Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr, true};
}

// The variable of that name in the scope, made when missing.
Variable* SubpatternVar(std::wstring_view name, const SubpatternScope& scope) {
  if (!scope.Local) return Values().Globals.FindOrAdd(name, VAR_GLOBAL);
  return FindOrAddVariable(name, Values().Globals, scope.Function, ResolvePhase::Running);
}

// Builds OutputVar's name followed by a word and a group's name or number,
// in one buffer reused for every group of a call.
class SubpatternName {
 public:
  explicit SubpatternName(Variable& outputVar) : name_(outputVar.Name()), base_(name_.size()) {}
  std::wstring_view For(std::wstring_view word, const std::wstring* groupName, uint32_t group) {
    name_.resize(base_);
    name_ += word;
    if (groupName) {
      name_ += *groupName;
    } else {
      wchar_t digits[12];
      size_t n = 0;
      do digits[n++] = static_cast<wchar_t>(L'0' + group % 10);
      while ((group /= 10) != 0);
      while (n) name_ += digits[--n];
    }
    return name_;
  }

 private:
  std::wstring name_;
  size_t base_;
};

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

// Older numbers for the errors scripts have long tested for.
int ScriptErrorCode(int pcre2Code) {
  for (const ErrorCodeRow& row : kErrorCodes)
    if (row.Pcre2 == pcre2Code) return row.Script;
  return pcre2Code;
}

// The text of a parameter without measuring a variable's contents.
std::wstring_view ParamInPlace(ExprToken& param, wchar_t* numberBuffer) {
  if (param.Symbol == ExprSymbol::VariableRef && !param.Var->HasObject()) {
    Variable& var = *param.Var->ResolveAlias();
    if (var.Type() == VAR_NORMAL) {
      const wchar_t* text = var.TextOf();
      return {text, var.Length()};
    }
  }
  size_t length = 0;
  const wchar_t* text = ParamText(param, numberBuffer, &length);
  return {text, length};
}

MatchSubject::MatchSubject(std::wstring_view text, Variable* source)
    : text_(text), source_(source ? source->ResolveAlias() : nullptr) {}

// Copies only when the target is the subject's own variable.
void MatchSubject::BeforeAssigning(Variable& target) {
  if (source_ && target.ResolveAlias() == source_) Detach();
}

void MatchSubject::Detach() {
  if (!source_) return;
  copy_.assign(text_);
  text_ = copy_;
  source_ = nullptr;
}

// Stores each group's text (or position and length) in its variable.
ResultCode StoreSubpatternVars(Variable& outputVar, const CachedPattern& entry, MatchSubject& subject,
                               const PCRE2_SIZE* ovector, int pairs, bool positions, FunctionScope* callScope) {
  const bool named = !entry.GroupNames.empty();
  // Only duplicate names need to know which groups supplied their variable.
  std::vector<bool> stored;
  if (named) stored.assign(entry.CaptureCount + 1, false);
  const SubpatternScope scope = ScopeOfOutput(outputVar, callScope);
  SubpatternName names(outputVar);
  for (uint32_t group = 1; group <= entry.CaptureCount; ++group) {
    const bool tookPart = static_cast<int>(group) < pairs && ovector[2 * group] != PCRE2_UNSET;
    const std::wstring* name = named && !entry.GroupNames[group].empty() ? &entry.GroupNames[group] : nullptr;
    if (name && NameAlreadyStored(entry, group, stored)) continue;
    const size_t start = tookPart ? ovector[2 * group] : 0;
    const size_t length = tookPart ? std::max(ovector[2 * group + 1], start) - start : 0;
    if (positions) {
      Variable* pos = SubpatternVar(names.For(L"Pos", name, group), scope);
      if (!pos || pos->AssignInteger(tookPart ? static_cast<int64_t>(start) + 1 : 0) != ResultCode::Ok)
        return ResultCode::Fail;
      Variable* len = SubpatternVar(names.For(L"Len", name, group), scope);
      if (!len || len->AssignInteger(static_cast<int64_t>(length)) != ResultCode::Ok) return ResultCode::Fail;
    } else {
      Variable* var = SubpatternVar(names.For({}, name, group), scope);
      if (!var) return ResultCode::Fail;
      subject.BeforeAssigning(*var);
      if (var->Assign(subject.Text().substr(start, length)) != ResultCode::Ok) return ResultCode::Fail;
    }
    if (named && tookPart) stored[group] = true;
  }
  return ResultCode::Ok;
}

// The stop a callout recorded, cleared for the next match.
ResultCode TakeCalloutStop() {
  const ResultCode stop = Regex().CalloutStop;
  Regex().CalloutStop = ResultCode::Ok;
  return stop;
}

namespace {

// Fills OutputVar (and the subpattern variables) by the pattern's form.
ResultCode StoreMatchOutput(Variable& outputVar, CachedPattern& entry, MatchSubject& subject, pcre2_match_data* data,
                            int rc) {
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
  const int pairs = rc > 0 ? rc : 0;
  const size_t start = pairs ? ovector[0] : 0;
  const size_t length = pairs ? std::max(ovector[1], start) - start : 0;
  switch (entry.Options.ResultForm) {
    case RegExResultForm::Object: {
      if (!pairs) return outputVar.Assign();
      IObject* match = CreateMatchObject(entry, subject.Text(), ovector, pairs,
                                         reinterpret_cast<const wchar_t*>(pcre2_get_mark(data)));
      return match ? outputVar.AssignObject(match) : outputVar.Assign();
    }
    case RegExResultForm::Position:
      if (outputVar.AssignInteger(static_cast<int64_t>(length)) != ResultCode::Ok) return ResultCode::Fail;
      break;
    case RegExResultForm::Text:
      subject.BeforeAssigning(outputVar);
      if (outputVar.Assign(subject.Text().substr(start, length)) != ResultCode::Ok) return ResultCode::Fail;
      break;
  }
  if (entry.CaptureCount == 0) return ResultCode::Ok;
  return StoreSubpatternVars(outputVar, entry, subject, ovector, pairs,
                             entry.Options.ResultForm == RegExResultForm::Position);
}

// RegExMatch proper.
ResultCode RegExMatchCall(ExprToken& result, ExprToken** params, int count) {
  wchar_t patternBuffer[kFloatTextChars];
  std::wstring error;
  CachedPattern* entry = FetchCompiledPattern(ParamInPlace(*params[1], patternBuffer), &error);
  if (!entry) return ReportOutcomeText(error);
  wchar_t numberBuffer[kFloatTextChars];
  MatchSubject haystack(ParamInPlace(*params[0], numberBuffer),
                        params[0]->Symbol == ExprSymbol::VariableRef ? params[0]->Var : nullptr);
  // A callout function may assign the haystack's variable while the
  // matcher reads it.
  if (entry->HasCallouts) haystack.Detach();
  Variable* outputVar = count > 2 && params[2]->Symbol == ExprSymbol::VariableRef ? params[2]->Var : nullptr;
  const size_t start = StartingOffset(params, count, 3, haystack.Text().size());
  pcre2_match_data* data = TakeMatchData(*entry);
  ResultCode code = ResultCode::Ok;
  if (!data) {
    code = ReportOutcomeNumber(ScriptErrorCode(PCRE2_ERROR_NOMEMORY), regex_msg::MatchWhat);
  } else {
    const int rc = RunPattern(*entry, haystack.Text(), start, 0, data);
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
  const wchar_t* name = func.Name;
  size_t i = 0;
  while (i < 5 && name[i]) ++i;
  const bool replace = i == 5 && (name[5] == L'R' || name[5] == L'r');
  return replace ? RegExReplaceCall(result, params, count) : RegExMatchCall(result, params, count);
}
