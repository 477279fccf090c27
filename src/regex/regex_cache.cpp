// The pattern cache: compiled patterns kept by their exact text, so a
// pattern used in a loop is compiled once; and RegExSearch, the cache's
// plain "where does it match" for window matching.
#include <cstdio>

#include "regex/regex_callout.h"
#include "regex/regex_messages.h"
#include "regex/regex_run.h"
#include "regex/regex_state.h"

namespace state_detail {
RegexState regex;
}  // namespace state_detail

namespace {

// PCRE2 numbers its compile errors from 100; scripts know them from 0.
constexpr int kCompileErrorBase = 100;

// Holds the cache lock for a scope.
class CacheLock {
 public:
  CacheLock() {
    RegexState& state = Regex();
    if (!state.LockReady) {
      InitializeCriticalSection(&state.Lock);
      state.LockReady = true;
    }
    EnterCriticalSection(&state.Lock);
  }
  ~CacheLock() { LeaveCriticalSection(&Regex().Lock); }
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;
};

// The occupied entry holding exactly this text, searched outward from the
// entry used last (1 after, 1 before, 2 after...), or null.
CachedPattern* FindCached(std::wstring_view pattern) {
  RegexState& state = Regex();
  if (state.Count == 0) return nullptr;
  size_t count = state.Count;
  for (size_t distance = 0; distance <= count / 2; ++distance) {
    size_t after = (state.LastUsed + distance) % count;
    size_t before = (state.LastUsed + count - distance % count) % count;
    for (size_t slot : {after, before}) {
      if (state.Entries[slot].PatternText == pattern) {
        state.LastUsed = slot;
        return &state.Entries[slot];
      }
    }
  }
  return nullptr;
}

// Formats a compile failure the way scripts see it.
std::wstring CompileErrorText(int code, size_t offset) {
  PCRE2_UCHAR text[256];
  if (pcre2_get_error_message(code, text, sizeof text / sizeof text[0]) < 0) text[0] = 0;
  wchar_t message[regex_msg::kCompileErrorChars];
  _snwprintf(message, regex_msg::kCompileErrorChars - 1, regex_msg::CompileError, code - kCompileErrorBase,
             static_cast<int>(offset), reinterpret_cast<const wchar_t*>(text));
  message[regex_msg::kCompileErrorChars - 1] = 0;
  return message;
}

// The next slot round-robin that no running match is using, or null.
CachedPattern* ClaimSlot() {
  RegexState& state = Regex();
  for (size_t tries = 0; tries < kPatternCacheSize; ++tries) {
    size_t slot = (state.LastInserted + 1) % kPatternCacheSize;
    state.LastInserted = slot;
    CachedPattern& entry = state.Entries[slot];
    if (entry.InUse) continue;
    if (slot >= state.Count) state.Count = slot + 1;
    if (entry.Compiled) pcre2_code_free(entry.Compiled);
    entry = CachedPattern{};
    state.LastUsed = slot;
    return &entry;
  }
  return nullptr;
}

// Counts one callout of a compiled pattern.
int CountCallout(pcre2_callout_enumerate_block*, void* count) {
  ++*static_cast<int*>(count);
  return 0;
}

// Whether a compiled pattern holds any callout.
bool HasCallouts(const pcre2_code* compiled) {
  int count = 0;
  pcre2_callout_enumerate(compiled, CountCallout, &count);
  return count > 0;
}

// Compiles the pattern proper with its options (named callouts rewritten,
// their shifts into `shifts`); null and `error` on failure.
pcre2_code* CompilePattern(std::wstring_view pattern, const PatternOptions& options, std::vector<CalloutShift>& shifts,
                           std::wstring* error) {
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (!context) {
    if (error) *error = regex_msg::OutOfMemory;
    return nullptr;
  }
  pcre2_set_newline(context, options.Newline);
  std::wstring_view proper = pattern.substr(options.PrefixLength);
  std::wstring rewritten;
  CalloutRewriteError rewriteError;
  if (!RewriteNamedCallouts(proper, rewritten, shifts, rewriteError)) {
    pcre2_compile_context_free(context);
    if (error) *error = CompileErrorText(rewriteError.Code, rewriteError.Offset);
    return nullptr;
  }
  if (!shifts.empty()) proper = rewritten;
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(proper.data()), proper.size(),
                                       options.CompileOptions, &code, &offset, context);
  pcre2_compile_context_free(context);
  if (!compiled) {
    if (error) *error = CompileErrorText(code, OriginalOffset(shifts, offset));
    return nullptr;
  }
  return compiled;
}

// Fills the entry's group names from the compiled name table.
void ReadGroupNames(CachedPattern& entry) {
  uint32_t count = 0, entrySize = 0;
  PCRE2_SPTR table = nullptr;
  pcre2_pattern_info(entry.Compiled, PCRE2_INFO_NAMECOUNT, &count);
  if (count == 0) return;
  pcre2_pattern_info(entry.Compiled, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
  pcre2_pattern_info(entry.Compiled, PCRE2_INFO_NAMETABLE, &table);
  entry.GroupNames.assign(entry.CaptureCount + 1, std::wstring());
  for (uint32_t i = 0; i < count; ++i) {
    PCRE2_SPTR row = table + i * entrySize;
    uint32_t group = row[0];  // 16-bit tables hold the number in one unit
    if (group <= entry.CaptureCount) entry.GroupNames[group] = reinterpret_cast<const wchar_t*>(row + 1);
  }
}

}  // namespace

// Cache hit, or compile and insert.
CachedPattern* FetchCompiledPattern(std::wstring_view pattern, std::wstring* error) {
  CacheLock lock;
  CachedPattern* entry = FindCached(pattern);
  if (!entry) {
    PatternOptions options = ParsePatternOptions(pattern);
    std::vector<CalloutShift> shifts;
    pcre2_code* compiled = CompilePattern(pattern, options, shifts, error);
    if (!compiled) return nullptr;
    ++Regex().Compilations;
    entry = ClaimSlot();
    if (!entry) {
      // Every slot is in use by nested matches: hand out nothing rather
      // than free a pattern a running match still reads.
      pcre2_code_free(compiled);
      if (error) *error = regex_msg::OutOfMemory;
      return nullptr;
    }
    entry->PatternText.assign(pattern);
    entry->Compiled = compiled;
    entry->Options = options;
    entry->HasCallouts = HasCallouts(compiled);
    entry->Shifts = std::move(shifts);
    // Every pattern gets machine code when it can: besides being faster,
    // it matches a subject without first checking the whole subject for
    // invalid UTF-16, which would make a loop of matches over one long
    // text quadratic. When it cannot, the interpreter runs.
    entry->Jitted = pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) == 0;
    pcre2_pattern_info(compiled, PCRE2_INFO_CAPTURECOUNT, &entry->CaptureCount);
    ReadGroupNames(*entry);
  }
  ++entry->InUse;
  return entry;
}

// Marks one use of the entry finished.
void ReleasePattern(CachedPattern* entry) {
  CacheLock lock;
  if (entry && entry->InUse > 0) --entry->InUse;
}

// Frees all compiled patterns and empties the cache.
void ClearPatternCache() {
  RegexState& state = Regex();
  for (CachedPattern& entry : state.Entries) {
    if (entry.Compiled) pcre2_code_free(entry.Compiled);
    entry = CachedPattern{};
  }
  FreeMatchResources();
  state.CalloutStop = ResultCode::Ok;
  state.Count = 0;
  state.LastUsed = 0;
  state.LastInserted = kPatternCacheSize - 1;
}

// Matches from the start with no callouts (it may run off the script thread).
ptrdiff_t RegExSearch(std::wstring_view subject, std::wstring_view pattern, std::wstring* error) {
  CachedPattern* entry = FetchCompiledPattern(pattern, error);
  if (!entry) return -1;
  ptrdiff_t position = -1;
  pcre2_match_data* match = pcre2_match_data_create_from_pattern(entry->Compiled, nullptr);
  if (match) {
    const int rc = RunPatternPlain(*entry, subject, match);
    if (rc >= 0) position = static_cast<ptrdiff_t>(pcre2_get_ovector_pointer(match)[0]);
    pcre2_match_data_free(match);
  }
  ReleasePattern(entry);
  return position;
}
