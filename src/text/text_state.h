// TextState: what the text subsystem keeps between calls: the one
// pseudo-random generator of the process, the locale folding table, and the
// scratch buffers that spare the string functions an allocation per call.
//
// Invariants: the generator is seeded once the subsystem has started (and
// again by the reseeding form of Random); nothing here outlives a call except
// the generator, the folding table and the capacity of the buffers. A short
// result buffer holds its function's last result only until that function
// is next called, which is as long as a built-in's result must live.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "text/format.h"

// Longest result handed back from a short result buffer; longer results
// are heap blocks the caller takes over.
inline constexpr size_t kShortResultChars = 255;

// The functions that have a short result buffer of their own.
enum class ShortResultSlot : uint8_t { SubStr, Trim, Chr, Replace, Format, Count };

struct TextState {
  // Random's generator: MT19937, one state for the whole process. Seeded at
  // start-up from the system time and by "Random,, seed"; a draw before any
  // seeding seeds it from the tick count first.
  std::mt19937 Generator;
  bool GeneratorSeeded = false;
  // Scratch for results built piece by piece (Format); reused so that its
  // capacity survives between calls.
  std::wstring Scratch;
  // Format's plan of the pattern it was last called with.
  FormatPlanCache FormatPlan;
  // Match positions StrReplace and StringReplace collect before they write
  // their result.
  std::vector<size_t> Matches;
  // Element bounds StrSplit collects before it makes its array.
  std::vector<std::wstring_view> Parts;
  // The system's lower-case mapping of every code unit, made on the first
  // locale-mode search (empty until then).
  std::vector<wchar_t> LocaleLower;
  // One short result buffer per function (see kShortResultChars).
  wchar_t ShortResults[static_cast<size_t>(ShortResultSlot::Count)][kShortResultChars + 1] = {};
};

namespace state_detail {
// The one instance; reach it through Text().
extern TextState text;
}  // namespace state_detail

inline TextState& Text() { return state_detail::text; }

// Scratch capacity kept between calls; a larger buffer is released after use.
inline constexpr size_t kScratchKeptChars = size_t{1} << 16;
// Entries of the match and part lists kept between calls.
inline constexpr size_t kListKeptEntries = size_t{1} << 17;

// Empties a list, releasing its memory when it grew past what is kept.
template <typename List>
void TrimKeptList(List& list) {
  if (list.capacity() > kListKeptEntries)
    List().swap(list);
  else
    list.clear();
}
