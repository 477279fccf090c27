// Raw memory for the built-in functions that read and write memory by
// address (NumGet, NumPut, StrGet, StrPut): which addresses this process can
// touch, where a variable-or-address argument points, and unsigned numbers.
//
// Invariants: a read or write through a plain address happens only after
// IsAccessibleMemory (or MeasureTerminatedText) has found the whole span in
// committed memory of the right access, so a wrong address gives an empty
// result instead of an access violation; a variable is only ever touched
// within its usable capacity, never its terminator.
#pragma once
#include <cstddef>
#include <cstdint>

#include "objects/builtin_functions.h"

class Variable;

// Addresses below this are never valid targets (the null page and the
// reserved region above it).
inline constexpr uintptr_t kLowestValidAddress = 65536;

// Whether `bytes` bytes from `address` lie in committed memory that this
// process may read (and, with `write`, write). An empty span is accessible.
bool IsAccessibleMemory(uintptr_t address, size_t bytes, bool write);

// The length, in units of `unitBytes` (1 or 2), of the zero-terminated text
// at `address`, searched within readable memory; false when readable memory
// ends before a terminator.
bool MeasureTerminatedText(uintptr_t address, size_t unitBytes, size_t& units);

// Text read as an unsigned 64-bit number: optional blanks and sign, then
// "0x" and hexadecimal digits or decimal digits, saturating at the largest
// value; a "-" gives the two's complement. No digits give 0.
uint64_t TextToUnsigned64(const wchar_t* text);

// An argument as an unsigned 64-bit number: text (literal, or a variable's
// text with no number cached) by TextToUnsigned64, so that values above the
// signed range keep their bits; numbers as ParamInteger.
uint64_t ParamUnsigned64(ExprToken& param);

// Where NumGet or NumPut reads or writes: the address and, for a variable,
// the variable (null for a plain address).
struct RawTarget {
  uintptr_t Address = 0;
  Variable* Var = nullptr;
};

// Resolves a variable-or-address argument plus an offset to a span of
// `bytes` bytes: a normal variable gives its buffer (the span must lie within
// its capacity; for `write` its number cache is stopped first and a
// never-assigned variable is warned about), anything else an address (at
// least kLowestValidAddress, in accessible memory). False when the span is
// not usable.
bool ResolveRawTarget(ExprToken& param, int64_t offset, size_t bytes, bool write, RawTarget& target);

// StrGet(Address [, Length] [, Encoding]) and StrPut(String [, Address
// [, Length]] [, Encoding]), for the memory family's table.
ResultCode CallStrGet(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
ResultCode CallStrPut(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
