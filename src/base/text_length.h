// The length of a terminated UTF-16 text, found 8 units at a time. The C
// library's wcslen under Wine goes one unit at a time, and the interpreter
// measures every text a built-in function receives or returns.
#pragma once
#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cwchar>

inline size_t TextLength(const wchar_t* text) {
  const auto address = reinterpret_cast<uintptr_t>(text);
  // Units on odd addresses do not line up with the lanes below.
  if (address & 1) return std::wcslen(text);
  // Aligned 16-byte loads never cross a page boundary, so reading the whole
  // block that holds the terminator cannot fault even when the text ends
  // just before unmapped memory.
  const __m128i zero = _mm_setzero_si128();
  const auto* block = reinterpret_cast<const __m128i*>(address & ~uintptr_t{15});
  // Two mask bits per unit; the bytes before the text are ignored.
  unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
  mask &= 0xFFFFu << (address & 15);
  while (!mask) {
    ++block;
    mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
  }
  const uintptr_t end = reinterpret_cast<uintptr_t>(block) + static_cast<uintptr_t>(std::countr_zero(mask));
  return static_cast<size_t>(end - address) / sizeof(wchar_t);
}
