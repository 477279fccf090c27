// The raw-memory built-in functions: VarSetCapacity, which sizes a
// variable's buffer for binary data, and NumGet/NumPut, which read and write
// numbers in a variable's buffer or at an address. StrGet and StrPut live in
// builtin_strings_raw.cpp.
#include <cstring>
#include <cwchar>

#include "objects/builtin_functions.h"
#include "objects/builtin_raw_memory.h"
#include "values/variable.h"

namespace {

// The low byte of the fill argument is what fills the buffer.
constexpr int64_t kFillByteMask = 0xFF;

// A variable's usable capacity in bytes (its terminator excluded).
int64_t CapacityBytes(const Variable& var) { return static_cast<int64_t>(var.Capacity() * sizeof(wchar_t)); }

// VarSetCapacity(var, -1): the length becomes the position of the first
// zero character, after outside code wrote into the buffer.
int64_t TakeLengthFromContents(Variable& var) {
  if (var.HasObject()) return 0;
  const wchar_t* text = var.TextOf(true, true);
  const size_t capacity = var.Capacity();
  const size_t length = capacity ? wcsnlen(text, capacity) : 0;
  var.SetLength(length);  // also drops any cached number
  return static_cast<int64_t>(length * sizeof(wchar_t));
}

// VarSetCapacity(var [, bytes, fill]): the capacity in bytes after sizing,
// emptying, filling or freeing the variable's buffer; 0 for anything but a
// normal variable.
ResultCode CallVarSetCapacity(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetInteger(0);
  if (params[0]->Symbol != ExprSymbol::VariableRef) return ResultCode::Ok;
  Variable& var = *params[0]->Var->ResolveAlias();
  if (var.Type() != VAR_NORMAL) return ResultCode::Ok;

  const bool sizeGiven = ParamGiven(params, count, 1);
  const bool fillGiven = ParamGiven(params, count, 2);
  if (!sizeGiven && !fillGiven) {
    result.SetInteger(CapacityBytes(var));
    return ResultCode::Ok;
  }
  // A fill without a size fills the room the variable already has.
  const int64_t bytes = sizeGiven ? ParamInteger(*params[1]) : CapacityBytes(var);
  if (bytes == -1) {
    result.SetInteger(TakeLengthFromContents(var));
    return ResultCode::Ok;
  }
  if (bytes < -1) return ResultCode::Ok;  // no such size: the variable is left alone
  if (bytes == 0) {
    var.Free(VAR_FREE_RELEASE);
    return ResultCode::Ok;
  }
  const int64_t chars = bytes / 2 + bytes % 2;  // whole characters
  if (var.Assign(nullptr, static_cast<ptrdiff_t>(chars), true) != ResultCode::Ok) return ResultCode::Fail;
  if (fillGiven) {
    const int fill = static_cast<int>(ParamInteger(*params[2]) & kFillByteMask);
    auto* buffer = const_cast<wchar_t*>(var.TextOf(false, true));
    const size_t capacity = var.Capacity();
    std::memset(buffer, fill, capacity * sizeof(wchar_t));
    var.SetLength(fill ? capacity : 0);
  }
  result.SetInteger(CapacityBytes(var));
  return ResultCode::Ok;
}

// A number type of NumGet and NumPut.
struct NumberType {
  size_t Size = 8;
  bool IsFloat = false;
  bool IsUnsigned = false;
  bool IsPointer = false;  // "Ptr": a text number is read unsigned
};

// Parses a type text: an optional "U", then the first letter decides
// (C 1, S 2, I 4 or 8 with a "6", F float, D double, anything else 8).
NumberType ParseNumberType(const wchar_t* text) {
  NumberType type;
  if (*text == L'U' || *text == L'u') {
    type.IsUnsigned = true;
    ++text;
  }
  switch (*text) {
    case L'C':
    case L'c': type.Size = 1; break;
    case L'S':
    case L's': type.Size = 2; break;
    case L'I':
    case L'i': type.Size = std::wcschr(text, L'6') ? 8 : 4; break;
    case L'F':
    case L'f':
      type.Size = 4;
      type.IsFloat = true;
      break;
    case L'D':
    case L'd':
      type.Size = 8;
      type.IsFloat = true;
      break;
    case L'P':
    case L'p': type.IsPointer = true; break;
    default: break;
  }
  return type;
}

// The offset and type arguments after the target: with both given, in that
// order; with one, an offset when it is a number, else a type.
void ParseOffsetAndType(ExprToken** params, int count, int first, int64_t& offset, NumberType& type) {
  offset = 0;
  type = NumberType{};
  ExprToken* offsetParam = nullptr;
  ExprToken* typeParam = nullptr;
  if (count > first + 1) {
    offsetParam = params[first];
    typeParam = params[first + 1];
  } else if (count == first + 1) {
    (ParamNumericType(*params[first]) != PURE_NOT_NUMERIC ? offsetParam : typeParam) = params[first];
  }
  if (offsetParam) offset = ParamInteger(*offsetParam);
  if (typeParam && typeParam->Symbol != ExprSymbol::Omitted) {
    wchar_t numberBuffer[kFloatTextChars];
    type = ParseNumberType(ParamText(*typeParam, numberBuffer));
  }
}

// Reads a number of the given type from memory already checked.
void ReadNumber(uintptr_t address, const NumberType& type, ExprToken& result) {
  const void* at = reinterpret_cast<const void*>(address);
  if (type.IsFloat) {
    if (type.Size == 4) {
      float value;
      std::memcpy(&value, at, sizeof(value));
      result.SetFloat(value);
    } else {
      double value;
      std::memcpy(&value, at, sizeof(value));
      result.SetFloat(value);
    }
    return;
  }
  uint64_t bits = 0;
  std::memcpy(&bits, at, type.Size);  // little-endian: the low bytes
  if (type.Size < 8) {
    const unsigned shift = static_cast<unsigned>(64 - type.Size * 8);
    // Sign extension by shifting the value's top bit into place.
    bits = type.IsUnsigned ? bits : static_cast<uint64_t>(static_cast<int64_t>(bits << shift) >> shift);
  }
  result.SetInteger(static_cast<int64_t>(bits));
}

// NumGet(VarOrAddress [, Offset] [, Type]): the number stored there, or ""
// when the span is not readable or leaves the variable.
ResultCode CallNumGet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  int64_t offset;
  NumberType type;
  ParseOffsetAndType(params, count, 1, offset, type);
  RawTarget target;
  if (!ResolveRawTarget(*params[0], offset, type.Size, false, target)) return ResultCode::Ok;
  ReadNumber(target.Address, type, result);
  return ResultCode::Ok;
}

// NumPut(Number, VarOrAddress [, Offset] [, Type]): writes the number and
// answers the address just after it, or "" when the span is not writable or
// leaves the variable.
ResultCode CallNumPut(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  int64_t offset;
  NumberType type;
  ParseOffsetAndType(params, count, 2, offset, type);
  RawTarget target;
  if (!ResolveRawTarget(*params[1], offset, type.Size, true, target)) return ResultCode::Ok;
  void* at = reinterpret_cast<void*>(target.Address);
  ExprToken& number = *params[0];
  if (type.IsFloat && type.Size == 4) {
    const auto value = static_cast<float>(ParamFloat(number));
    std::memcpy(at, &value, sizeof(value));
  } else if (type.IsFloat) {
    const double value = ParamFloat(number);
    std::memcpy(at, &value, sizeof(value));
  } else {
    const bool unsignedText = type.Size == 8 && (type.IsUnsigned || type.IsPointer);
    const uint64_t bits = unsignedText ? ParamUnsigned64(number) : static_cast<uint64_t>(ParamInteger(number));
    std::memcpy(at, &bits, type.Size);  // little-endian: the low bytes
  }
  result.SetInteger(static_cast<int64_t>(target.Address + type.Size));
  return ResultCode::Ok;
}

const BuiltInFunctionDef kMemoryFunctions[] = {
    {L"VarSetCapacity", 1, 3, CallVarSetCapacity},
    {L"NumGet", 1, 3, CallNumGet},
    {L"NumPut", 2, 4, CallNumPut},
    {L"StrGet", 1, 3, CallStrGet},
    {L"StrPut", 1, 4, CallStrPut},
};

}  // namespace

BuiltInFamily MemoryFunctions() { return {kMemoryFunctions, sizeof(kMemoryFunctions) / sizeof(kMemoryFunctions[0])}; }
