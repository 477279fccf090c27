// Raw memory checks, variable-or-address targets and unsigned numbers (see
// builtin_raw_memory.h).
#include "objects/builtin_raw_memory.h"

#include <windows.h>

#include <cstring>
#include <limits>

#include "values/variable.h"

namespace {

constexpr DWORD kReadableProtection = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                      PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritableProtection = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// The end of the run of pages from `address` that share one access state,
// when that state allows the access; `address` itself when it does not.
uintptr_t AccessibleRegionEnd(uintptr_t address, bool write) {
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof(info))) return address;
  if (info.State != MEM_COMMIT || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return address;
  if (!(info.Protect & (write ? kWritableProtection : kReadableProtection))) return address;
  const uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  return end > address ? end : address;
}

// The value of a digit in base 16 (or 10), or -1.
int DigitValue(wchar_t ch, int base) {
  int value = -1;
  if (ch >= L'0' && ch <= L'9')
    value = ch - L'0';
  else if (ch >= L'a' && ch <= L'f')
    value = ch - L'a' + 10;
  else if (ch >= L'A' && ch <= L'F')
    value = ch - L'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

bool IsAccessibleMemory(uintptr_t address, size_t bytes, bool write) {
  if (!bytes) return true;
  if (address > std::numeric_limits<uintptr_t>::max() - bytes) return false;
  const uintptr_t last = address + bytes;
  for (uintptr_t at = address; at < last;) {
    const uintptr_t end = AccessibleRegionEnd(at, write);
    if (end == at) return false;
    at = end;
  }
  return true;
}

bool MeasureTerminatedText(uintptr_t address, size_t unitBytes, size_t& units) {
  uintptr_t readableEnd = address;
  for (uintptr_t at = address;; at += unitBytes) {
    // A unit may straddle two regions: extend until it is wholly readable.
    while (readableEnd - at < unitBytes) {
      const uintptr_t next = AccessibleRegionEnd(readableEnd, false);
      if (next == readableEnd) return false;
      readableEnd = next;
    }
    const auto* unit = reinterpret_cast<const unsigned char*>(at);
    bool zero = true;
    for (size_t i = 0; i < unitBytes; ++i) zero = zero && unit[i] == 0;
    if (zero) {
      units = (at - address) / unitBytes;
      return true;
    }
  }
}

uint64_t TextToUnsigned64(const wchar_t* text) {
  while (*text == L' ' || *text == L'\t') ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
  int base = 10;
  if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') && DigitValue(text[2], 16) >= 0) {
    base = 16;
    text += 2;
  }
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t value = 0;
  for (int digit; (digit = DigitValue(*text, base)) >= 0; ++text) {
    if (value > (kMax - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
      value = kMax;
      break;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  return negative ? 0 - value : value;
}

uint64_t ParamUnsigned64(ExprToken& param) {
  switch (param.Symbol) {
    case ExprSymbol::String:
    case ExprSymbol::RawWord:
    case ExprSymbol::Omitted: return TextToUnsigned64(param.Text ? param.Text : L"");
    case ExprSymbol::VariableRef: {
      Variable& var = *param.Var->ResolveAlias();
      constexpr uint8_t kCachedNumber = VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_HAS_VALID_DOUBLE;
      if (var.Type() == VAR_NORMAL && !var.HasObject() && !(var.Attrib() & kCachedNumber))
        return TextToUnsigned64(var.TextOf(true, true));
      return static_cast<uint64_t>(ParamInteger(param));
    }
    default: return static_cast<uint64_t>(ParamInteger(param));
  }
}

bool ResolveRawTarget(ExprToken& param, int64_t offset, size_t bytes, bool write, RawTarget& target) {
  Variable* var = param.Symbol == ExprSymbol::VariableRef ? param.Var->ResolveAlias() : nullptr;
  if (var && var->Type() == VAR_NORMAL) {
    // Writing binary data: the text must be current before it is
    // overwritten, and no number may be cached from it afterwards.
    if (write) var->StopNumberCache();
    const wchar_t* buffer = var->TextOf(!write, !write);
    const size_t limit = var->HasObject() ? 0 : var->Capacity() * sizeof(wchar_t);
    if (offset < 0 || static_cast<uint64_t>(offset) > limit || bytes > limit - static_cast<size_t>(offset))
      return false;
    target.Address = reinterpret_cast<uintptr_t>(buffer) + static_cast<uintptr_t>(offset);
    target.Var = var;
    return true;
  }
  target.Address = static_cast<uintptr_t>(ParamInteger(param)) + static_cast<uintptr_t>(offset);
  target.Var = nullptr;
  return target.Address >= kLowestValidAddress && IsAccessibleMemory(target.Address, bytes, write);
}
