// TextState: what the text subsystem keeps between calls: the one
// pseudo-random generator of the process and the scratch buffers that spare
// the string functions an allocation per call.
//
// Invariants: the generator is seeded once the subsystem has started (and
// again by the reseeding form of Random); nothing here outlives a call except
// the generator and the capacity of the buffers.
#pragma once
#include <cstdint>
#include <random>
#include <string>

struct TextState {
  // Random's generator: MT19937, one state for the whole process. Seeded at
  // start-up from the system time and by "Random,, seed"; a draw before any
  // seeding seeds it from the tick count first.
  std::mt19937 Generator;
  bool GeneratorSeeded = false;
  // Scratch for results built piece by piece (Format, StrReplace); reused
  // so that its capacity survives between calls.
  std::wstring Scratch;
};

namespace state_detail {
// The one instance; reach it through Text().
extern TextState text;
}  // namespace state_detail

inline TextState& Text() { return state_detail::text; }

// Scratch capacity kept between calls; a larger buffer is released after use.
inline constexpr size_t kScratchKeptChars = size_t{1} << 16;
