// The raw-memory built-in functions called through their table entries:
// VarSetCapacity (sizes, fill bytes, -1, 0, the memory limit, aliases),
// NumGet and NumPut of every type on variables with offsets and on plain
// addresses, the bounds of a variable and of mapped memory, unsigned text
// numbers, the number cache of a written variable, and StrGet/StrPut in
// UTF-16 and through code pages, with lengths, terminators and the
// positional rules of their arguments.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>
#include <vector>

#include "builtin_call_fixture.h"
#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// An address as the integer argument a script would pass.
TestArg ArgAddress(const void* address) { return ArgInt(static_cast<int64_t>(reinterpret_cast<uintptr_t>(address))); }

// The address of a variable's buffer.
uintptr_t BufferOf(Variable& var) { return reinterpret_cast<uintptr_t>(var.TextOf(true, true)); }

// Two pages: the first committed with the given protection, the second
// only reserved, so that anything crossing the boundary is unmapped.
class PageWithUnmappedNeighbour {
 public:
  explicit PageWithUnmappedNeighbour(DWORD protection = PAGE_READWRITE) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, page_ * 2, MEM_RESERVE, PAGE_NOACCESS));
    VirtualAlloc(base_, page_, MEM_COMMIT, PAGE_READWRITE);
    std::memset(base_, 'Z', page_);
    DWORD old;
    VirtualProtect(base_, page_, protection, &old);
  }
  ~PageWithUnmappedNeighbour() { VirtualFree(base_, 0, MEM_RELEASE); }
  PageWithUnmappedNeighbour(const PageWithUnmappedNeighbour&) = delete;
  PageWithUnmappedNeighbour& operator=(const PageWithUnmappedNeighbour&) = delete;

  unsigned char* Base() const { return base_; }
  // The address `back` bytes before the end of the committed page.
  unsigned char* End(size_t back) const { return base_ + page_ - back; }

 private:
  unsigned char* base_;
  size_t page_;
};

struct LimitCase {
  const wchar_t* Name;
  int Min;
  int Max;
};

TEST(BuiltInMemory, TableNamesAndParameterLimits) {
  const LimitCase cases[] = {
      {L"VarSetCapacity", 1, 3}, {L"NumGet", 1, 3}, {L"NumPut", 2, 4}, {L"StrGet", 1, 3}, {L"StrPut", 1, 4},
  };
  for (const LimitCase& c : cases) {
    const BuiltInFunctionDef* def = FindBuiltInFunction(c.Name);
    ASSERT_NE(def, nullptr) << NarrowText(c.Name);
    EXPECT_EQ(def->MinParams, c.Min) << NarrowText(c.Name);
    EXPECT_EQ(def->MaxParams, c.Max) << NarrowText(c.Name);
  }
}

// ---------------------------------------------------------------------------
// VarSetCapacity

struct CapacityCase {
  int64_t Bytes;
  const char* Expected;  // the capacity it reports
};

TEST(BuiltInMemory, VarSetCapacitySizesAFreshVariable) {
  // Sizes round up to whole characters; small buffers come in fixed sizes
  // (8 bytes for up to 3 characters), larger ones exactly as asked.
  const CapacityCase cases[] = {
      {1, "i:6"},     {3, "i:6"},     {6, "i:6"},       {7, "i:8"},           {10, "i:10"},
      {100, "i:100"}, {101, "i:102"}, {1000, "i:1000"}, {100000, "i:100000"},
  };
  for (const CapacityCase& c : cases) {
    Variable var(L"buffer", VAR_GLOBAL);
    EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var)}).Shown(), "i:0");
    EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(c.Bytes)}).Shown(), c.Expected) << c.Bytes;
    EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var)}).Shown(), c.Expected) << c.Bytes;
    EXPECT_STREQ(var.TextOf(true, true), L"") << c.Bytes;
    EXPECT_GE(static_cast<int64_t>(var.Capacity() * 2), c.Bytes);
  }
}

TEST(BuiltInMemory, VarSetCapacityEmptiesAndKeepsALargerBuffer) {
  Variable var(L"buffer", VAR_GLOBAL);
  EXPECT_EQ(var.Assign(L"some text that is here"), ResultCode::Ok);
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(1000)}).Shown(), "i:1000");
  EXPECT_STREQ(var.TextOf(true, true), L"");
  // A smaller request keeps the room it has ("at least" that many bytes).
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(10)}).Shown(), "i:1000");
  // A number held in the variable is gone too.
  EXPECT_EQ(var.AssignInteger(42), ResultCode::Ok);
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(64)}).Shown(), "i:1000");
  EXPECT_STREQ(var.TextOf(true, true), L"");
  EXPECT_EQ(var.NumericType(), PURE_NOT_NUMERIC);
}

TEST(BuiltInMemory, VarSetCapacityFills) {
  Variable var(L"buffer", VAR_GLOBAL);
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(10), ArgInt(0x41)}).Shown(), "i:10");
  EXPECT_EQ(var.Length(), 5u);  // the length becomes the capacity
  EXPECT_EQ(std::wstring(var.TextOf(true, true)), std::wstring(5, wchar_t{0x4141}));
  // Only the low byte fills.
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(10), ArgInt(0x142)}).Shown(), "i:10");
  EXPECT_EQ(std::wstring(var.TextOf(true, true)), std::wstring(5, wchar_t{0x4242}));
  // A zero fill leaves the length 0 and zero bytes behind.
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(10), ArgInt(0)}).Shown(), "i:10");
  EXPECT_EQ(var.Length(), 0u);
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgInt(2), ArgText(L"Int64")}).Shown(), "i:0");
  // An omitted size fills the room the variable has.
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgOmitted(), ArgInt(0x20)}).Shown(), "i:10");
  EXPECT_EQ(std::wstring(var.TextOf(true, true)), std::wstring(5, wchar_t{0x2020}));
}

TEST(BuiltInMemory, VarSetCapacityMinusOneTakesTheLengthFromTheContents) {
  Variable var(L"buffer", VAR_GLOBAL);
  ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(20)}).Shown(), "i:20");
  // Outside code writes "CD" and a terminator.
  auto* buffer = reinterpret_cast<wchar_t*>(BufferOf(var));
  buffer[0] = L'C';
  buffer[1] = L'D';
  buffer[2] = L'\0';
  EXPECT_EQ(var.Length(), 0u);
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(-1)}).Shown(), "i:4");
  EXPECT_EQ(var.Length(), 2u);
  EXPECT_STREQ(var.TextOf(true, true), L"CD");
  // The new text is numeric or not by what it now says.
  buffer[0] = L'7';
  buffer[1] = L'\0';
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(-1)}).Shown(), "i:2");
  EXPECT_EQ(var.ToInteger(false), 7);
  // Outside code that also overwrote the terminator: the length stops at
  // the capacity and the terminator is put back.
  ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(20), ArgInt(0x41)}).Shown(), "i:20");
  buffer = reinterpret_cast<wchar_t*>(BufferOf(var));
  buffer[10] = L'X';
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(-1)}).Shown(), "i:20");
  EXPECT_EQ(var.Length(), 10u);
  EXPECT_EQ(std::wcslen(var.TextOf(true, true)), 10u);
}

TEST(BuiltInMemory, VarSetCapacityZeroFreesAndBadInputIsRefused) {
  Variable var(L"buffer", VAR_GLOBAL);
  ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(5000)}).Shown(), "i:5000");
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(0)}).Shown(), "i:0");
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var)}).Shown(), "i:0");
  EXPECT_EQ(var.MemoryKind(), VAR_MEM_NONE);
  // Sizes below -1 leave the variable alone.
  ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(100)}).Shown(), "i:100");
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(-5)}).Shown(), "i:0");
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var)}).Shown(), "i:100");
  // Anything but a variable answers 0.
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgInt(5), ArgInt(100)}).Shown(), "i:0");
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgText(L"name")}).Shown(), "i:0");
}

TEST(BuiltInMemory, VarSetCapacityWorksThroughAnAlias) {
  Variable target(L"target", VAR_GLOBAL);
  Variable alias(L"alias", VAR_LOCAL);
  alias.SetAlias(&target);
  EXPECT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(alias), ArgInt(100)}).Shown(), "i:100");
  EXPECT_EQ(target.Capacity(), 50u);
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(77), ArgVar(alias), ArgInt(8), ArgText(L"Int")}).Shown(),
            "i:" + std::to_string(BufferOf(target) + 12));
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(target), ArgInt(8), ArgText(L"Int")}).Shown(), "i:77");
}

// Load errors reported during one test, in place of the dialog.
std::vector<std::wstring> g_reported;
void CaptureReport(std::wstring_view message, std::wstring_view, int) { g_reported.emplace_back(message); }

TEST(BuiltInMemory, VarSetCapacityBeyondTheMemoryLimitFailsTheLine) {
  g_reported.clear();
  SetLoadErrorSink(CaptureReport);
  Variable var(L"buffer", VAR_GLOBAL);
  const CallOutcome got =
      CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(static_cast<int64_t>(Values().MaxVarCapacity) + 2)});
  SetLoadErrorSink(nullptr);
  EXPECT_EQ(got.Code, ResultCode::Fail);
  ASSERT_EQ(g_reported.size(), 1u);
  EXPECT_EQ(g_reported[0], L"Memory limit reached (see #MaxMem in the help file).");
}

// ---------------------------------------------------------------------------
// NumGet and NumPut

struct NumberCase {
  const wchar_t* Type;
  TestArg Value;
  size_t Size;
  const char* Read;  // what NumGet reads back with the same type
};

TEST(BuiltInMemory, NumPutAndNumGetEveryTypeOnAVariableWithOffsets) {
  const NumberCase cases[] = {
      {L"Char", ArgInt(-1), 1, "i:-1"},
      {L"UChar", ArgInt(-1), 1, "i:255"},
      {L"Char", ArgInt(0x17F), 1, "i:127"},
      {L"Short", ArgInt(-2), 2, "i:-2"},
      {L"UShort", ArgInt(65535), 2, "i:65535"},
      {L"ushort", ArgInt(-1), 2, "i:65535"},
      {L"Short", ArgInt(40000), 2, "i:-25536"},
      {L"Int", ArgInt(0x80000000), 4, "i:-2147483648"},
      {L"UInt", ArgInt(-1), 4, "i:4294967295"},
      {L"int", ArgFloat(-7.9), 4, "i:-7"},
      {L"Int64", ArgInt(std::numeric_limits<int64_t>::min()), 8, "i:-9223372036854775808"},
      {L"UInt64", ArgInt(-1), 8, "i:-1"},
      {L"Ptr", ArgInt(123456789012), 8, "i:123456789012"},
      {L"UPtr", ArgInt(5), 8, "i:5"},
      {L"Float", ArgFloat(1.5), 4, "f:1.5"},
      {L"Float", ArgFloat(0.1), 4, "f:0.1000000015"},
      {L"Double", ArgFloat(0.1), 8, "f:0.1"},
      {L"double", ArgInt(3), 8, "f:3"},
      {L"Float", ArgText(L"2.25"), 4, "f:2.25"},
      {L"Int", ArgText(L"0x7fffffff"), 4, "i:2147483647"},
  };
  for (const NumberCase& c : cases) {
    for (int64_t offset : {int64_t{0}, int64_t{3}, 16 - static_cast<int64_t>(c.Size)}) {
      Variable var(L"buffer", VAR_GLOBAL);
      ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(16), ArgInt(0xEE)}).Shown(), "i:16");
      const uintptr_t buffer = BufferOf(var);
      const std::string label = NarrowText(c.Type) + " at " + std::to_string(offset);
      EXPECT_EQ(CallBuiltIn(L"NumPut", {c.Value, ArgVar(var), ArgInt(offset), ArgText(c.Type)}).Shown(),
                "i:" + std::to_string(buffer + static_cast<uint64_t>(offset) + c.Size))
          << label;
      EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgInt(offset), ArgText(c.Type)}).Shown(), c.Read) << label;
      // Bytes outside the number are untouched.
      const auto* bytes = reinterpret_cast<const unsigned char*>(buffer);
      for (int64_t i = 0; i < 16; ++i) {
        if (i < offset || i >= offset + static_cast<int64_t>(c.Size)) {
          EXPECT_EQ(bytes[i], 0xEE) << label << " " << i;
        }
      }
    }
  }
}

TEST(BuiltInMemory, NumGetAndNumPutDefaultsAndTheSecondArgument) {
  Variable var(L"buffer", VAR_GLOBAL);
  ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(16), ArgInt(0)}).Shown(), "i:16");
  // Without a type the number is an 8-byte integer at offset 0.
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(-5), ArgVar(var)}).Shown(), "i:" + std::to_string(BufferOf(var) + 8));
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var)}).Shown(), "i:-5");
  // One argument after the target: an offset when numeric, else a type.
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(9), ArgVar(var), ArgWord(L"8")}).Shown(),
            "i:" + std::to_string(BufferOf(var) + 16));
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgInt(8)}).Shown(), "i:9");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgText(L"UChar")}).Shown(), "i:251");
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(0x1234), ArgVar(var), ArgText(L"UShort")}).Shown(),
            "i:" + std::to_string(BufferOf(var) + 2));
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgText(L"UShort")}).Shown(), "i:4660");
  // An omitted offset is 0 and an omitted type the 8-byte integer.
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgOmitted(), ArgText(L"UShort")}).Shown(), "i:4660");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgInt(8), ArgOmitted()}).Shown(), "i:9");
}

TEST(BuiltInMemory, NumGetAndNumPutStayInsideTheVariable) {
  Variable var(L"buffer", VAR_GLOBAL);
  ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(8), ArgInt(0x11)}).Shown(), "i:8");
  const std::wstring before = var.TextOf(true, true);
  const struct {
    int64_t Offset;
    const wchar_t* Type;
    bool Fits;
  } cases[] = {
      {4, L"Int", true},    {5, L"Int", false},    {0, L"Int64", true},  {1, L"Int64", false},
      {7, L"Char", true},   {8, L"Char", false},   {-1, L"Char", false}, {6, L"Short", true},
      {7, L"Short", false}, {4, L"Double", false}, {4, L"Float", true},  {1LL << 62, L"Char", false},
  };
  for (const auto& c : cases) {
    const std::string label = NarrowText(c.Type) + " at " + std::to_string(c.Offset);
    const CallOutcome got = CallBuiltIn(L"NumGet", {ArgVar(var), ArgInt(c.Offset), ArgText(c.Type)});
    EXPECT_EQ(got.Symbol != ExprSymbol::String, c.Fits) << label;
    const CallOutcome put = CallBuiltIn(L"NumPut", {ArgInt(0), ArgVar(var), ArgInt(c.Offset), ArgText(c.Type)});
    EXPECT_EQ(put.Shown().empty(), !c.Fits) << label;
    // Restore the fill after a write that fitted.
    if (c.Fits) CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(8), ArgInt(0x11)});
    EXPECT_EQ(std::wstring(var.TextOf(true, true)), before) << label;
  }
  // A variable without a buffer (never sized) has no room at all.
  Variable empty(L"empty", VAR_GLOBAL);
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(empty)}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(1), ArgVar(empty), ArgText(L"Char")}).Shown(), "");
  EXPECT_STREQ(empty.TextOf(true, true), L"");
}

TEST(BuiltInMemory, NumPutDropsTheVariablesCachedNumber) {
  // A cached integer next to current text: the write changes the text, so
  // the old number must not be read back.
  Variable var(L"number", VAR_GLOBAL);
  EXPECT_EQ(var.Assign(L"12345678"), ResultCode::Ok);
  ASSERT_EQ(var.ToInteger(true), 12345678);
  EXPECT_FALSE(CallBuiltIn(L"NumPut", {ArgInt(L'A'), ArgVar(var), ArgInt(0), ArgText(L"UShort")}).Shown().empty());
  EXPECT_STREQ(var.TextOf(true, true), L"A2345678");
  EXPECT_EQ(var.NumericType(), PURE_NOT_NUMERIC);
  EXPECT_EQ(var.ToInteger(false), 0);

  // A number whose text is out of date: the text is made first, then
  // written into.
  Variable stale(L"stale", VAR_GLOBAL);
  EXPECT_EQ(stale.Assign(L"xxxxxxxx"), ResultCode::Ok);
  EXPECT_EQ(stale.AssignInteger(99), ResultCode::Ok);
  EXPECT_FALSE(CallBuiltIn(L"NumPut", {ArgInt(L'B'), ArgVar(stale), ArgInt(2), ArgText(L"UShort")}).Shown().empty());
  EXPECT_STREQ(stale.TextOf(true, true), L"9B");
}

TEST(BuiltInMemory, NumPutOfUnsignedTextKeepsAllSixtyFourBits) {
  Variable source(L"source", VAR_GLOBAL);
  EXPECT_EQ(source.Assign(L"0xFFFFFFFFFFFFFFFE"), ResultCode::Ok);
  const struct {
    TestArg Value;
    const wchar_t* Type;
    const char* Read;
  } cases[] = {
      {ArgText(L"0xFFFFFFFFFFFFFFFF"), L"Ptr", "i:-1"},
      {ArgWord(L"18446744073709551615"), L"UInt64", "i:-1"},
      {ArgWord(L"18446744073709551614"), L"UPtr", "i:-2"},
      {ArgText(L"99999999999999999999999"), L"UInt64", "i:-1"},  // saturates
      {ArgVar(source), L"Ptr", "i:-2"},
      {ArgText(L"-1"), L"Ptr", "i:-1"},
      {ArgText(L"0x8000000000000000"), L"Ptr", "i:-9223372036854775808"},
      // Signed types read text by the signed rules: decimal saturates,
      // sixteen hexadecimal digits are a bit pattern.
      {ArgWord(L"18446744073709551615"), L"Int64", "i:9223372036854775807"},
      {ArgText(L"0xFFFFFFFFFFFFFFFF"), L"Int64", "i:-1"},
  };
  for (const auto& c : cases) {
    Variable var(L"buffer", VAR_GLOBAL);
    ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(8)}).Shown(), "i:8");
    EXPECT_FALSE(CallBuiltIn(L"NumPut", {c.Value, ArgVar(var), ArgInt(0), ArgText(c.Type)}).Shown().empty());
    EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgVar(var), ArgInt(0), ArgText(L"Int64")}).Shown(), c.Read)
        << NarrowText(c.Type);
  }
}

TEST(BuiltInMemory, NumGetAndNumPutAtPlainAddresses) {
  int32_t data[4] = {10, -20, 30, 40};
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgAddress(data), ArgInt(4), ArgText(L"Int")}).Shown(), "i:-20");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgAddress(&data[2]), ArgText(L"Int")}).Shown(), "i:30");
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(99), ArgAddress(data), ArgInt(12), ArgText(L"Int")}).Shown(),
            "i:" + std::to_string(reinterpret_cast<uintptr_t>(data) + 16));
  EXPECT_EQ(data[3], 99);
  // An address given as numeric text.
  const std::wstring text = std::to_wstring(reinterpret_cast<uintptr_t>(data));
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgWord(text.c_str()), ArgInt(0), ArgText(L"Int")}).Shown(), "i:10");
  // Addresses below 64 KiB are refused, offset included.
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgInt(0)}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgInt(100), ArgInt(65000), ArgText(L"Char")}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(1), ArgInt(65535)}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgText(L"abc")}).Shown(), "");
}

TEST(BuiltInMemory, NumGetAndNumPutRefuseUnmappedAndReadOnlyMemory) {
  PageWithUnmappedNeighbour page;
  // The last four bytes of the committed page are fine; one byte further
  // crosses into memory that is only reserved.
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(7), ArgAddress(page.End(4)), ArgText(L"Int")}).Shown(),
            "i:" + std::to_string(reinterpret_cast<uintptr_t>(page.End(0))));
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgAddress(page.End(4)), ArgText(L"Int")}).Shown(), "i:7");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgAddress(page.End(3)), ArgText(L"Int")}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(7), ArgAddress(page.End(3)), ArgText(L"Int")}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgAddress(page.End(0))}).Shown(), "");
  EXPECT_EQ(page.End(3)[0], 0);  // the refused write left the page alone

  PageWithUnmappedNeighbour readOnly(PAGE_READONLY);
  EXPECT_EQ(CallBuiltIn(L"NumGet", {ArgAddress(readOnly.Base()), ArgText(L"UChar")}).Shown(), "i:90");
  EXPECT_EQ(CallBuiltIn(L"NumPut", {ArgInt(1), ArgAddress(readOnly.Base()), ArgText(L"UChar")}).Shown(), "");
}

// ---------------------------------------------------------------------------
// StrPut and StrGet

struct MeasureCase {
  std::vector<TestArg> Args;
  const char* Expected;
};

TEST(BuiltInMemory, StrPutWithoutAnAddressMeasures) {
  const MeasureCase cases[] = {
      {{ArgText(L"hello")}, "i:6"},
      {{ArgText(L"")}, "i:1"},
      {{ArgText(L"hello"), ArgText(L"UTF-16")}, "i:6"},
      {{ArgText(L"hello"), ArgText(L"utf-8")}, "i:6"},
      {{ArgText(L"h\u00E9llo"), ArgText(L"UTF-8")}, "i:7"},
      {{ArgText(L"h\u00E9llo"), ArgText(L"UTF-8-RAW")}, "i:7"},
      {{ArgText(L"\u4E2D\u6587"), ArgText(L"CP936")}, "i:5"},
      {{ArgText(L"\u4E2D\u6587"), ArgText(L"UTF-8")}, "i:7"},
      {{ArgText(L""), ArgText(L"UTF-8")}, "i:1"},
      {{ArgInt(12345)}, "i:6"},
      {{ArgFloat(1.5)}, "i:9"},  // 1.500000
      {{ArgText(L"hello"), ArgText(L"bogus")}, ""},
      {{ArgText(L"hello"), ArgText(L"CP")}, ""},
      // Without an address only an encoding may follow the string.
      {{ArgText(L"hello"), ArgText(L"UTF-8"), ArgInt(5)}, ""},
  };
  for (const MeasureCase& c : cases) {
    CallOutcome got;
    if (c.Args.size() == 1) got = CallBuiltIn(L"StrPut", {c.Args[0]});
    if (c.Args.size() == 2) got = CallBuiltIn(L"StrPut", {c.Args[0], c.Args[1]});
    if (c.Args.size() == 3) got = CallBuiltIn(L"StrPut", {c.Args[0], c.Args[1], c.Args[2]});
    EXPECT_EQ(got.Shown(), c.Expected) << NarrowText(c.Args[0].Text) << " " << c.Args.size();
  }
}

struct PutCase {
  const wchar_t* Text;
  TestArg Length;  // Omitted when the call has no length
  const char* Expected;
  const wchar_t* Buffer;  // the buffer afterwards (it starts as 8 "Z")
};

TEST(BuiltInMemory, StrPutUtf16LengthsAndTerminators) {
  const PutCase cases[] = {
      {L"hello", ArgOmitted(), "i:6", L"hello\0ZZ"}, {L"hello", ArgInt(-1), "i:6", L"hello\0ZZ"},
      {L"hello", ArgInt(5), "i:5", L"helloZZZ"},  // exactly the string: no terminator
      {L"hello", ArgInt(3), "i:0", L"ZZZZZZZZ"},  // too short: nothing written
      {L"hello", ArgInt(7), "i:6", L"hello\0ZZ"},    {L"", ArgInt(4), "i:1", L"\0ZZZZZZZ"},
      {L"", ArgOmitted(), "i:1", L"\0ZZZZZZZ"},      {L"hello", ArgInt(0), "", L"ZZZZZZZZ"},
      {L"hello", ArgInt(-2), "", L"ZZZZZZZZ"},
  };
  for (const PutCase& c : cases) {
    wchar_t buffer[8];
    std::wmemset(buffer, L'Z', 8);
    const CallOutcome got = c.Length.What == TestArg::Kind::Omitted
                                ? CallBuiltIn(L"StrPut", {ArgText(c.Text), ArgAddress(buffer)})
                                : CallBuiltIn(L"StrPut", {ArgText(c.Text), ArgAddress(buffer), c.Length});
    EXPECT_EQ(got.Shown(), c.Expected) << NarrowText(c.Text) << " " << c.Length.Int;
    EXPECT_EQ(std::wstring(buffer, 8), std::wstring(c.Buffer, 8)) << NarrowText(c.Text) << " " << c.Length.Int;
  }
}

TEST(BuiltInMemory, StrPutThroughCodePages) {
  const struct {
    const wchar_t* Text;
    TestArg Length;
    TestArg Encoding;
    const char* Expected;
    const char* Bytes;  // the 8 bytes afterwards (they start as "ZZZZZZZZ")
  } cases[] = {
      {L"h\u00E9llo", ArgOmitted(), ArgText(L"UTF-8"), "i:7", "h\xC3\xA9llo\0Z"},
      {L"h\u00E9llo", ArgInt(-1), ArgText(L"UTF-8"), "i:7", "h\xC3\xA9llo\0Z"},
      {L"hi", ArgInt(8), ArgText(L"UTF-8"), "i:3", "hi\0ZZZZZ"},
      {L"hi", ArgInt(2), ArgText(L"UTF-8"), "i:2", "hiZZZZZZ"},       // no room for the terminator
      {L"h\u00E9llo", ArgInt(3), ArgText(L"UTF-8"), "i:0", nullptr},  // does not fit
      {L"hi", ArgInt(8), ArgInt(65001), "i:3", "hi\0ZZZZZ"},
      {L"hi", ArgInt(8), ArgText(L"65001"), "i:3", "hi\0ZZZZZ"},
      {L"\u4E2D\u6587", ArgOmitted(), ArgText(L"CP936"), "i:5", "\xD6\xD0\xCE\xC4\0ZZZ"},
      {L"\u4E2D\u6587", ArgOmitted(), ArgText(L"cp0x3a8"), "i:5", "\xD6\xD0\xCE\xC4\0ZZZ"},
      {L"", ArgOmitted(), ArgText(L"UTF-8"), "i:1", "\0ZZZZZZZ"},
      {L"abc", ArgOmitted(), ArgText(L"UTF-16"), "i:4", "a\0b\0c\0\0\0"},
      {L"abc", ArgOmitted(), ArgText(L"nonsense"), "", "ZZZZZZZZ"},
  };
  for (const auto& c : cases) {
    char buffer[8];
    std::memset(buffer, 'Z', 8);
    const CallOutcome got = c.Length.What == TestArg::Kind::Omitted
                                ? CallBuiltIn(L"StrPut", {ArgText(c.Text), ArgAddress(buffer), c.Encoding})
                                : CallBuiltIn(L"StrPut", {ArgText(c.Text), ArgAddress(buffer), c.Length, c.Encoding});
    const std::string label = NarrowText(c.Text) + " " + std::to_string(c.Length.Int);
    EXPECT_EQ(got.Shown(), c.Expected) << label;
    if (c.Bytes) {
      EXPECT_EQ(std::string(buffer, 8), std::string(c.Bytes, 8)) << label;
    }
  }
  // An omitted length between the address and the encoding is the default.
  char buffer[8] = {};
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"ab"), ArgAddress(buffer), ArgOmitted(), ArgText(L"UTF-8")}).Shown(),
            "i:3");
  EXPECT_STREQ(buffer, "ab");
}

TEST(BuiltInMemory, StrPutRefusesBadAddresses) {
  // Low addresses, and an address inside the string being put.
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"hello"), ArgInt(100)}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"hello"), ArgInt(0), ArgText(L"UTF-8")}).Shown(), "");
  Variable var(L"text", VAR_GLOBAL);
  EXPECT_EQ(var.Assign(L"hello world"), ResultCode::Ok);
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgVar(var), ArgInt(static_cast<int64_t>(BufferOf(var) + 4))}).Shown(), "");
  EXPECT_STREQ(var.TextOf(true, true), L"hello world");
  // Memory that ends before the terminator would be written.
  PageWithUnmappedNeighbour page;
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"abc"), ArgAddress(page.End(6))}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"abc"), ArgAddress(page.End(8))}).Shown(), "i:4");
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"abc"), ArgAddress(page.End(3)), ArgText(L"UTF-8")}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"abc"), ArgAddress(page.End(4)), ArgText(L"UTF-8")}).Shown(), "i:4");
  PageWithUnmappedNeighbour readOnly(PAGE_READONLY);
  EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(L"abc"), ArgAddress(readOnly.Base())}).Shown(), "");
}

TEST(BuiltInMemory, StrGetUtf16AndCodePages) {
  const wchar_t wide[] = L"hello\0tail";
  const char utf8[] = "h\xC3\xA9llo";
  const char gbk[] = "\xD6\xD0\xCE\xC4";
  const struct {
    std::vector<TestArg> Args;
    const wchar_t* Expected;
  } cases[] = {
      {{ArgAddress(wide)}, L"hello"},
      {{ArgAddress(wide), ArgInt(3)}, L"hel"},
      {{ArgAddress(wide), ArgInt(-1)}, L"hello"},
      {{ArgAddress(wide), ArgText(L"UTF-16")}, L"hello"},
      {{ArgAddress(wide + 6)}, L"tail"},
      {{ArgAddress(utf8), ArgText(L"UTF-8")}, L"h\u00E9llo"},
      {{ArgAddress(utf8), ArgInt(3), ArgText(L"UTF-8")}, L"h\u00E9"},
      {{ArgAddress(utf8), ArgInt(3), ArgInt(65001)}, L"h\u00E9"},
      {{ArgAddress(gbk), ArgText(L"CP936")}, L"\u4E2D\u6587"},
      {{ArgAddress(gbk), ArgInt(2), ArgText(L"cp936")}, L"\u4E2D"},
      {{ArgAddress(wide), ArgInt(0)}, L""},
      {{ArgAddress(wide), ArgInt(-3)}, L""},
      {{ArgAddress(wide), ArgText(L"bogus")}, L""},
      {{ArgText(L"abc")}, L""},
      {{ArgInt(100)}, L""},
  };
  for (const auto& c : cases) {
    CallOutcome got;
    if (c.Args.size() == 1) got = CallBuiltIn(L"StrGet", {c.Args[0]});
    if (c.Args.size() == 2) got = CallBuiltIn(L"StrGet", {c.Args[0], c.Args[1]});
    if (c.Args.size() == 3) got = CallBuiltIn(L"StrGet", {c.Args[0], c.Args[1], c.Args[2]});
    EXPECT_EQ(got.Code, ResultCode::Ok);
    EXPECT_EQ(got.Symbol, ExprSymbol::String) << NarrowText(c.Expected);
    EXPECT_EQ(got.Text, c.Expected) << NarrowText(c.Expected) << " " << c.Args.size();
  }
}

TEST(BuiltInMemory, StrGetReadsOnlyMappedMemory) {
  PageWithUnmappedNeighbour page;
  // Text that ends exactly at the end of the page (terminator included).
  std::memcpy(page.End(6), L"ab", 6);
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(6))}).Shown(), "s:ab");
  // No terminator before the unmapped page: nothing is read.
  std::memcpy(page.End(4), L"cd", 4);
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(4))}).Shown(), "");
  // A given length that runs past the page is refused; within it, read.
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(4)), ArgInt(3)}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(4)), ArgInt(2)}).Shown(), "s:cd");
  // The same for bytes in a code page.
  std::memcpy(page.End(2), "xy", 2);
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(2)), ArgText(L"UTF-8")}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(1)), ArgInt(2), ArgText(L"UTF-8")}).Shown(), "");
  EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgAddress(page.End(1)), ArgInt(1), ArgText(L"UTF-8")}).Shown(), "s:y");
}

TEST(BuiltInMemory, StrPutThenStrGetRoundTripsThroughAVariable) {
  const wchar_t* encodings[] = {L"UTF-16", L"UTF-8", L"CP936", L"CP1252"};
  const wchar_t* text = L"Caf\u00E9 \u00E0 la carte";
  for (const wchar_t* encoding : encodings) {
    const CallOutcome size = CallBuiltIn(L"StrPut", {ArgText(text), ArgText(encoding)});
    ASSERT_EQ(size.Symbol, ExprSymbol::Integer) << NarrowText(encoding);
    const bool wide = std::wstring(encoding) == L"UTF-16";
    Variable var(L"buffer", VAR_GLOBAL);
    ASSERT_EQ(CallBuiltIn(L"VarSetCapacity", {ArgVar(var), ArgInt(size.Int * (wide ? 2 : 1))}).Code, ResultCode::Ok);
    const auto address = static_cast<int64_t>(BufferOf(var));
    EXPECT_EQ(CallBuiltIn(L"StrPut", {ArgText(text), ArgInt(address), ArgText(encoding)}).Shown(),
              "i:" + std::to_string(size.Int))
        << NarrowText(encoding);
    EXPECT_EQ(CallBuiltIn(L"StrGet", {ArgInt(address), ArgText(encoding)}).Text, text) << NarrowText(encoding);
  }
}

}  // namespace
