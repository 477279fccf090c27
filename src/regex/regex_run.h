// Running a cached pattern on the script thread: the match data kept
// between calls, the match contexts (callout handler, JIT stack), the
// fall-back from machine code to the interpreter, and the retry after an
// empty match that RegExReplace needs.
//
// Invariant: a match whose cost grows with the subject rather than with the
// work done (the interpreter's whole-subject UTF check) happens only for
// patterns that could not be compiled to machine code or that call script
// functions, so a loop of matches over one subject stays linear otherwise.
#pragma once
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "regex/regex_state.h"

// Match data able to hold the pattern's groups; the spare kept for the
// script thread when it is free. Give it back with ReturnMatchData.
pcre2_match_data* TakeMatchData(const CachedPattern& entry);
void ReturnMatchData(pcre2_match_data* data);
// Frees the spare match data and the match contexts (exit and reset).
void FreeMatchResources();

// Runs the pattern from `start` with the script thread's contexts.
int RunPattern(CachedPattern& entry, std::wstring_view subject, size_t start, uint32_t options, pcre2_match_data* data);

// The first non-empty match that starts exactly at `position` (what
// PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED finds), or PCRE2_ERROR_NOMATCH.
int RunNonEmptyAt(CachedPattern& entry, std::wstring_view subject, size_t position, pcre2_match_data* data);

// A match run off the script thread or without script contexts (window
// matching): never calls script functions.
int RunPatternPlain(const CachedPattern& entry, std::wstring_view subject, pcre2_match_data* data);
