// What RegExMatch, RegExReplace and the callouts share: parameters read
// in place, the subject kept safe from output assignments, the
// starting-position rule, matcher error codes, and the subpattern output
// variables.
#pragma once
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "regex/regex_state.h"
#include "values/expr_token.h"

class Variable;
struct FunctionScope;

// The 0-based start of a search from a 1-based StartingPosition argument:
// negative and 0 count from the end; past the end is the end.
size_t StartingOffset(ExprToken** params, int count, int index, size_t length);

// A parameter as text; a variable's contents are used in place, with the
// length it keeps (no scan for the end).
std::wstring_view ParamInPlace(ExprToken& param, wchar_t* numberBuffer);

// The subject of a match. When it is read in place from a variable, that
// variable is copied away before anything assigns to it, so the subject
// stays valid and unchanged while the outputs are written.
class MatchSubject {
 public:
  explicit MatchSubject(std::wstring_view text, Variable* source = nullptr);
  MatchSubject(const MatchSubject&) = delete;
  MatchSubject& operator=(const MatchSubject&) = delete;

  std::wstring_view Text() const { return text_; }
  // Call before assigning `target`.
  void BeforeAssigning(Variable& target);
  // Copies the subject now (a script function could change its variable).
  void Detach();

 private:
  std::wstring_view text_;
  Variable* source_;  // the variable text_ points into, or null
  std::wstring copy_;
};

// The number scripts know for a matcher error code.
int ScriptErrorCode(int pcre2Code);

// Sets the subpattern variables named after `outputVar` for a match (or, with
// pairs 0, for no match) in text or position form. With `scope` they are
// that function's locals (a callout function about to run); otherwise they
// go where OutputVar's scope rule puts them.
ResultCode StoreSubpatternVars(Variable& outputVar, const CachedPattern& entry, MatchSubject& subject,
                               const PCRE2_SIZE* ovector, int pairs, bool positions, FunctionScope* scope = nullptr);

// Takes the way a callout function's thread ended when it did not end
// normally (Ok when it did, or when no callout ran); the match passes it on.
ResultCode TakeCalloutStop();

// The built-in function behind both RegExMatch and RegExReplace.
ResultCode BuiltInRegEx(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
// RegExReplace proper (regex_replace.cpp).
ResultCode RegExReplaceCall(ExprToken& result, ExprToken** params, int count);
