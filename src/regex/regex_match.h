// What RegExMatch, RegExReplace and the callouts share: running a cached
// pattern on the script thread, the starting-position rule, matcher error
// codes, and the subpattern output variables.
#pragma once
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "regex/regex_state.h"
#include "values/expr_token.h"

class Variable;
struct FunctionScope;

// The 0-based start of a search from a 1-based StartingPosition argument:
// negative and 0 count from the end; past the end is the end.
size_t StartingOffset(ExprToken** params, int count, int index, size_t length);

// Match data able to hold the pattern's groups; from a spare kept for the
// script thread when it is free. Give it back with ReturnMatchData.
pcre2_match_data* TakeMatchData(const CachedPattern& entry);
void ReturnMatchData(pcre2_match_data* data);

// Runs the pattern with the script thread's callout handler.
int RunPattern(CachedPattern& entry, std::wstring_view subject, size_t start, uint32_t options, pcre2_match_data* data);

// The number scripts know for a matcher error code.
int ScriptErrorCode(int pcre2Code);

// Sets the subpattern variables named after `outputVar` for a match (or, with
// pairs 0, for no match) in text or position form. With `scope` they are
// that function's locals (a callout function about to run); otherwise they
// go where OutputVar's scope rule puts them.
ResultCode StoreSubpatternVars(Variable& outputVar, const CachedPattern& entry, std::wstring_view subject,
                               const PCRE2_SIZE* ovector, int pairs, bool positions, FunctionScope* scope = nullptr);

// Takes the way a callout function's thread ended when it did not end
// normally (Ok when it did, or when no callout ran); the match passes it on.
ResultCode TakeCalloutStop();

// The built-in function behind both RegExMatch and RegExReplace.
ResultCode BuiltInRegEx(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
// RegExReplace proper (regex_replace.cpp).
ResultCode RegExReplaceCall(ExprToken& result, ExprToken** params, int count);
