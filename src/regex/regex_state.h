// The regular-expression subsystem's state: the cache of compiled patterns
// shared by RegExMatch, RegExReplace, "~=" and window-title matching.
//
// Invariants:
// - Entries [0, Count) are occupied; a pattern is found by its exact text
//   (options included), searched outward from the entry used last.
// - Replacement is round-robin: a new pattern goes to the slot after the
//   one inserted last, freeing what that slot held.
// - Lock guards every lookup and insertion: window matching may run on
//   another thread. A compiled pattern handed out stays valid until the
//   cache is reset: the script thread only replaces slots between matches
//   it runs itself, and a slot in use by a match is never reused (InUse).
#pragma once
#include <windows.h>

#include <pcre2.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/result_code.h"
#include "regex/regex_options.h"

// Where a named callout was rewritten: positions of the compiled text at or
// after RewrittenEnd lie Inserted characters (in all) further on than in
// the script's pattern.
struct CalloutShift {
  size_t RewrittenEnd;
  size_t Inserted;
};

// One compiled pattern.
struct CachedPattern {
  std::wstring PatternText;  // the whole text, option prefix included
  pcre2_code* Compiled = nullptr;
  PatternOptions Options;
  uint32_t CaptureCount = 0;
  // Each group's name ("" when unnamed), index = group number; empty
  // when the pattern names no group.
  std::vector<std::wstring> GroupNames;
  int InUse = 0;  // matches running with it now (callouts may nest)
  bool HasCallouts = false;
  // Compiled to machine code as well: such a pattern also matches subjects
  // with invalid UTF-16 without first checking them whole, which the
  // interpreter does on every call.
  bool Jitted = false;
  // The named callouts' rewrites, in pattern order.
  std::vector<CalloutShift> Shifts;
};

// Entries of the pattern cache.
inline constexpr size_t kPatternCacheSize = 100;

struct RegexState {
  std::array<CachedPattern, kPatternCacheSize> Entries;
  size_t Count = 0;                             // occupied entries
  size_t LastUsed = 0;                          // meaningful when Count > 0
  size_t LastInserted = kPatternCacheSize - 1;  // so the first insertion goes to slot 0
  // Patterns compiled since start-up (hits do not count): lets tests see
  // that a pattern used in a loop is compiled once.
  uint64_t Compilations = 0;
  // Sort's Random option: written only by Sort on the script thread.
  std::mt19937 SortRandom{std::random_device{}()};
  // The match context that carries the callout handler: made on first use,
  // script thread only (the matcher copies what it needs when it starts,
  // so nested matches may share it).
  pcre2_match_context* CalloutContext = nullptr;
  // The match context of script-thread matches without callouts, with a
  // JIT stack larger than the default one. Such a match runs no script
  // code, so two of them never overlap and one stack serves them all.
  pcre2_match_context* PlainContext = nullptr;
  pcre2_jit_stack* JitStack = nullptr;
  // Match data kept for the script thread's next match, and whether a
  // match has it now (a nested match then makes its own).
  pcre2_match_data* SpareData = nullptr;
  uint32_t SparePairs = 0;
  bool SpareLent = false;
  // How the last callout function's thread ended when it did not end
  // normally (an error or Exit); the match that ran it passes it on.
  ResultCode CalloutStop = ResultCode::Ok;
  CRITICAL_SECTION Lock;
  bool LockReady = false;
};

namespace state_detail {
// The one instance; reach it through Regex().
extern RegexState regex;
}  // namespace state_detail

inline RegexState& Regex() { return state_detail::regex; }

// Looks a pattern up in the cache, compiling it on a miss. On a compile
// error returns null and, when `error` is given, the formatted message.
// The entry is marked in use (release it with ReleasePattern).
CachedPattern* FetchCompiledPattern(std::wstring_view pattern, std::wstring* error);
// Ends a use begun by FetchCompiledPattern.
void ReleasePattern(CachedPattern* entry);
// Frees every compiled pattern (exit and reset).
void ClearPatternCache();
// The position of the first match of a pattern in a text, or -1 (also when
// the pattern does not compile: `error` then receives the message).
ptrdiff_t RegExSearch(std::wstring_view subject, std::wstring_view pattern, std::wstring* error);
