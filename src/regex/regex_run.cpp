// Running cached patterns: match data reuse, the contexts of script-thread
// matches, and the retries that keep machine-code matching behaving like
// the interpreter.
#include "regex/regex_run.h"

#include <algorithm>

#include "regex/regex_callout.h"

namespace {

// Pairs the spare match data holds at least, so that most patterns fit.
constexpr uint32_t kSparePairs = 10;
// The JIT stack of script-thread matches: what it starts with and what it
// may grow to. A pattern that needs more runs in the interpreter instead.
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 4 * 1024 * 1024;

// The context of callout-free script-thread matches; null when memory ran
// out, and PCRE2 then uses its defaults.
pcre2_match_context* PlainMatchContext() {
  RegexState& state = Regex();
  if (state.PlainContext) return state.PlainContext;
  state.PlainContext = pcre2_match_context_create(nullptr);
  if (!state.PlainContext) return nullptr;
  state.JitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
  // Without a stack of its own the matcher uses a small default one.
  if (state.JitStack) pcre2_jit_stack_assign(state.PlainContext, nullptr, state.JitStack);
  return state.PlainContext;
}

// Calls the matcher; machine code that runs out of stack gives way to the
// interpreter, which has no such limit, unless a retry would call the
// pattern's callouts a second time.
int Match(const CachedPattern& entry, std::wstring_view subject, size_t start, uint32_t options,
          pcre2_match_data* data, pcre2_match_context* context) {
  const PCRE2_SPTR text = reinterpret_cast<PCRE2_SPTR>(subject.data());
  int rc = pcre2_match(entry.Compiled, text, subject.size(), start, options, data, context);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT && !entry.HasCallouts)
    rc = pcre2_match(entry.Compiled, text, subject.size(), start, options | PCRE2_NO_JIT, data, context);
  return rc;
}

}  // namespace

// Lends the spare when free and large enough; else makes a new one.
pcre2_match_data* TakeMatchData(const CachedPattern& entry) {
  RegexState& state = Regex();
  const uint32_t pairs = entry.CaptureCount + 1;
  if (!state.SpareLent) {
    if (state.SparePairs < pairs) {
      if (state.SpareData) pcre2_match_data_free(state.SpareData);
      const uint32_t size = std::max(pairs, kSparePairs);
      state.SpareData = pcre2_match_data_create(size, nullptr);
      state.SparePairs = state.SpareData ? size : 0;
    }
    if (state.SpareData) {
      state.SpareLent = true;
      return state.SpareData;
    }
  }
  return pcre2_match_data_create(pairs, nullptr);
}

// Takes the spare back, or frees a match data made for a nested match.
void ReturnMatchData(pcre2_match_data* data) {
  RegexState& state = Regex();
  if (data && data == state.SpareData)
    state.SpareLent = false;
  else if (data)
    pcre2_match_data_free(data);
}

void FreeMatchResources() {
  RegexState& state = Regex();
  if (state.SpareData) pcre2_match_data_free(state.SpareData);
  state.SpareData = nullptr;
  state.SparePairs = 0;
  state.SpareLent = false;
  if (state.CalloutContext) pcre2_match_context_free(state.CalloutContext);
  state.CalloutContext = nullptr;
  if (state.PlainContext) pcre2_match_context_free(state.PlainContext);
  state.PlainContext = nullptr;
  if (state.JitStack) pcre2_jit_stack_free(state.JitStack);
  state.JitStack = nullptr;
}

// A pattern with callouts gets the handler; its machine code (asked for
// with "S") then uses the default stack on the machine stack, which nested
// matches started by a callout function cannot overwrite.
int RunPattern(CachedPattern& entry, std::wstring_view subject, size_t start, uint32_t options,
               pcre2_match_data* data) {
  if (!entry.HasCallouts) return Match(entry, subject, start, options, data, PlainMatchContext());
  CalloutContext context{&entry, subject};
  pcre2_match_context* matchContext = CalloutMatchContext(&context);
  if (!matchContext) return PCRE2_ERROR_NOMEMORY;
  if (!entry.Options.Jit) options |= PCRE2_NO_JIT;
  return Match(entry, subject, start, options, data, matchContext);
}

// Machine code cannot anchor a match at run time, and the interpreter
// checks the whole subject on every call. So an unanchored search for a
// non-empty match from `position` stands in for the anchored one: the
// first match it finds starts at `position` exactly when the anchored
// attempt succeeds there, and is then the same match. A pattern with
// callouts takes the anchored way, as its functions must run only for the
// attempt at `position`.
int RunNonEmptyAt(CachedPattern& entry, std::wstring_view subject, size_t position, pcre2_match_data* data) {
  constexpr uint32_t kAnchored = PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
  if (!entry.Jitted || entry.HasCallouts) return RunPattern(entry, subject, position, kAnchored, data);
  const int rc = RunPattern(entry, subject, position, PCRE2_NOTEMPTY_ATSTART, data);
  if (rc >= 0) return pcre2_get_startchar(data) == position ? rc : PCRE2_ERROR_NOMATCH;
  if (rc == PCRE2_ERROR_NOMATCH) return rc;
  // An error further on (a limit) may not concern the attempt here.
  return RunPattern(entry, subject, position, kAnchored, data);
}

int RunPatternPlain(const CachedPattern& entry, std::wstring_view subject, pcre2_match_data* data) {
  return Match(entry, subject, 0, 0, data, nullptr);
}
