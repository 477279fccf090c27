// StrGet and StrPut: text copied from and to memory by address, in UTF-16
// or converted through any code page.
//
// Arguments after the string (StrPut) are read by position and kind: a
// number is the address; after it a number is the length; what follows is
// the encoding (a code-page number or an encoding name). Lengths count
// characters for UTF-16 and bytes for other code pages, terminators
// included in every result.
#include <windows.h>

#include <climits>
#include <cstring>
#include <string_view>

#include "objects/builtin_functions.h"
#include "objects/builtin_raw_memory.h"
#include "script/file_encoding.h"
#include "values/variable.h"

namespace {

// "Write or read up to the terminator".
constexpr int64_t kLengthUnspecified = -1;

// What the arguments after the string ask for.
struct StrRequest {
  bool HasAddress = false;
  uintptr_t Address = 0;
  int64_t Length = kLengthUnspecified;
  uint32_t CodePage = kCodePageUtf16;
};

// Reads the address, length and encoding arguments from `first` on; false
// when they make the call unusable (the result is then "").
bool ParseStrRequest(ExprToken** params, int count, int first, bool put, StrRequest& request) {
  int next = first;
  if (next < count && ParamNumericType(*params[next]) != PURE_NOT_NUMERIC) {
    request.HasAddress = true;
    request.Address = static_cast<uintptr_t>(ParamInteger(*params[next++]));
    if (next < count && params[next]->Symbol == ExprSymbol::Omitted) {
      ++next;  // an omitted length keeps the default
    } else if (next < count && ParamNumericType(*params[next]) != PURE_NOT_NUMERIC) {
      request.Length = ParamInteger(*params[next++]);
      if (request.Length < kLengthUnspecified || request.Length == 0) return false;
    }
  } else if (!put || count - first > 1) {
    // StrGet needs an address; StrPut without one takes only an encoding.
    return false;
  }
  if (ParamGiven(params, count, next)) {
    ExprToken& encoding = *params[next];
    uint32_t codePage = 0;
    if (ParamNumericType(encoding) != PURE_NOT_NUMERIC) {
      codePage = static_cast<uint32_t>(ParamInteger(encoding));
    } else {
      wchar_t numberBuffer[kFloatTextChars];
      if (!ParseEncodingName(ParamText(encoding, numberBuffer), codePage)) return false;
    }
    request.CodePage = codePage & kCodePageMask;
  }
  return !request.HasAddress || request.Address >= kLowestValidAddress;
}

// WideCharToMultiByte without best-fit substitutes where the code page
// allows that flag (UTF-8 and some others refuse every flag).
int ToCodePage(uint32_t codePage, const wchar_t* text, int length, char* out, int outBytes) {
  const DWORD flags = codePage == kCodePageUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int written = WideCharToMultiByte(codePage, flags, text, length, out, outBytes, nullptr, nullptr);
  if (!written && flags && GetLastError() == ERROR_INVALID_FLAGS)
    written = WideCharToMultiByte(codePage, 0, text, length, out, outBytes, nullptr, nullptr);
  return written;
}

// Whether two byte spans share any byte.
bool Overlaps(uintptr_t a, size_t aBytes, uintptr_t b, size_t bBytes) { return a < b + bBytes && b < a + aBytes; }

// StrPut in UTF-16 to an address: the characters written, terminator
// included; 0 when the length is too short for the string; -1 when the
// memory cannot take them.
int64_t PutUtf16(const wchar_t* text, size_t length, const StrRequest& request) {
  size_t chars;  // what is written
  if (request.Length == kLengthUnspecified || static_cast<uint64_t>(request.Length) > length)
    chars = length + 1;
  else if (static_cast<uint64_t>(request.Length) == length)
    chars = length;  // exactly the string, without a terminator
  else
    return 0;
  if (!IsAccessibleMemory(request.Address, chars * sizeof(wchar_t), true)) return -1;
  auto* out = reinterpret_cast<wchar_t*>(request.Address);
  std::memmove(out, text, length * sizeof(wchar_t));
  if (chars > length) out[length] = L'\0';
  return static_cast<int64_t>(chars);
}

// StrPut through a code page to an address: the bytes written, terminator
// included when there was room; 0 when the conversion does not fit; -1
// when it cannot be done or the memory cannot take it.
int64_t PutConverted(const wchar_t* text, size_t length, const StrRequest& request) {
  int64_t room = request.Length;
  if (room == kLengthUnspecified) {
    const int needed = ToCodePage(request.CodePage, text, static_cast<int>(length), nullptr, 0);
    if (!needed) return -1;
    room = static_cast<int64_t>(needed) + 1;
  }
  const size_t roomBytes = static_cast<size_t>(room);
  if (Overlaps(request.Address, roomBytes, reinterpret_cast<uintptr_t>(text), length * sizeof(wchar_t)) ||
      !IsAccessibleMemory(request.Address, roomBytes, true))
    return -1;
  auto* out = reinterpret_cast<char*>(request.Address);
  const int outBytes = room > INT_MAX ? INT_MAX : static_cast<int>(room);
  int written = ToCodePage(request.CodePage, text, static_cast<int>(length), out, outBytes);
  if (written && written < outBytes) out[written++] = '\0';
  return written;
}

// StrPut without an address: the room the string needs, terminator
// included (characters for UTF-16, else bytes); -1 when it cannot convert.
int64_t MeasurePut(const wchar_t* text, size_t length, uint32_t codePage) {
  if (codePage == kCodePageUtf16 || !length) return static_cast<int64_t>(length) + 1;
  const int needed = ToCodePage(codePage, text, static_cast<int>(length), nullptr, 0);
  return needed ? static_cast<int64_t>(needed) + 1 : -1;
}

// Converts `bytes` bytes in a code page into the result as a new text.
void GetConverted(const char* bytes, size_t count, uint32_t codePage, ExprToken& result) {
  if (!count || count > INT_MAX) return;
  const int chars = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), nullptr, 0);
  if (chars <= 0) return;
  auto* block = static_cast<wchar_t*>(AllocVarHeap((static_cast<size_t>(chars) + 1) * sizeof(wchar_t)));
  if (!block) return;
  const int converted = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), block, chars);
  block[converted > 0 ? converted : 0] = L'\0';
  result.SetText(block);
  result.HeapText = block;
}

}  // namespace

// StrPut(String [, Address [, Length]] [, Encoding]): the room needed (no
// address) or the amount written; "" when the arguments are unusable.
ResultCode CallStrPut(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  StrRequest request;
  if (!ParseStrRequest(params, count, 1, true, request)) return ResultCode::Ok;
  wchar_t numberBuffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* text = ParamText(*params[0], numberBuffer, &length);
  if (length > INT_MAX) return ResultCode::Ok;
  int64_t answer;
  if (!request.HasAddress) {
    answer = MeasurePut(text, length, request.CodePage);
  } else if (request.Address >= reinterpret_cast<uintptr_t>(text) &&
             request.Address < reinterpret_cast<uintptr_t>(text + length)) {
    answer = -1;  // the destination lies inside the string itself
  } else if (request.CodePage == kCodePageUtf16) {
    answer = PutUtf16(text, length, request);
  } else if (!length) {
    // Only a terminator; no conversion is needed for it.
    answer = IsAccessibleMemory(request.Address, 1, true) ? 1 : -1;
    if (answer > 0) *reinterpret_cast<char*>(request.Address) = '\0';
  } else {
    answer = PutConverted(text, length, request);
  }
  if (answer >= 0) result.SetInteger(answer);
  return ResultCode::Ok;
}

// StrGet(Address [, Length] [, Encoding]): the text at the address, up to
// its terminator or of the given length; "" when unusable or unreadable.
ResultCode CallStrGet(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  StrRequest request;
  if (!ParseStrRequest(params, count, 0, false, request)) return ResultCode::Ok;
  const size_t unit = request.CodePage == kCodePageUtf16 ? sizeof(wchar_t) : 1;
  size_t units;
  if (request.Length == kLengthUnspecified) {
    if (!MeasureTerminatedText(request.Address, unit, units)) return ResultCode::Ok;
  } else {
    units = static_cast<size_t>(request.Length);
    if (units > SIZE_MAX / unit || !IsAccessibleMemory(request.Address, units * unit, false)) return ResultCode::Ok;
  }
  if (unit == sizeof(wchar_t))
    SetResultText(result, std::wstring_view(reinterpret_cast<const wchar_t*>(request.Address), units));
  else
    GetConverted(reinterpret_cast<const char*>(request.Address), units, request.CodePage, result);
  return ResultCode::Ok;
}
