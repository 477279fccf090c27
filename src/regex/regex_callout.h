// Callouts: the pattern items (?C), (?Cn), (?C:Name) and (?Cn:Name) and the
// "C" option call a script function while a pattern is matched. Named
// callouts are not PCRE2 syntax: before compiling, each is rewritten into
// the string callout (?C{n:Name}), whose text the handler reads back; the
// shifts that rewriting causes are kept so the callout block reports
// positions in the script's own pattern.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "regex/regex_state.h"

// A rewrite that failed: the PCRE2 compile error code and its offset in
// the pattern proper.
struct CalloutRewriteError {
  int Code = 0;
  size_t Offset = 0;
};

// The pattern proper with its named callouts rewritten; false (and the
// error) when a name is not a script function or a number exceeds 255.
bool RewriteNamedCallouts(std::wstring_view proper, std::wstring& rewritten, std::vector<CalloutShift>& shifts,
                          CalloutRewriteError& error);

// An offset in the rewritten pattern as one in the script's pattern proper.
size_t OriginalOffset(const std::vector<CalloutShift>& shifts, size_t offset);

// The match context that makes the matcher call the callout handler with
// `data` (script thread only); null when memory runs out.
pcre2_match_context* CalloutMatchContext(void* data);

// What the handler needs of the running match.
struct CalloutContext {
  CachedPattern* Entry;
  std::wstring_view Subject;
};

// The handler PCRE2 calls at each callout (data: a CalloutContext).
int HandleCallout(pcre2_callout_block* block, void* data);
