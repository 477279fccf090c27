// Variables: capacity rules, freeing, lazy number text, copying, numbers and
// truth, in-place changes, the environment fallback, #MaxMem, the sorted
// lists with their lazy array, and scope resolution.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exec/errors.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Load errors reported while a test runs.
std::vector<std::pair<std::wstring, std::wstring>> g_errors;

void CaptureError(std::wstring_view message, std::wstring_view extra, int) {
  g_errors.emplace_back(std::wstring(message), std::wstring(extra));
}

// Saves and restores every process-wide setting the tests change, and
// captures load errors.
class VariableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedThread_ = *Values().CurrentThread;
    savedMaxMem_ = Values().MaxVarCapacity;
    savedNoEnv_ = Values().NoEnv;
    savedSlowInt_ = Values().UsesSlowIntegerFormat;
    savedSlowFloat_ = Values().UsesSlowFloatFormat;
    savedLookup_ = Values().FindBuiltIn;
    g_errors.clear();
    SetLoadErrorSink(CaptureError);
  }
  void TearDown() override {
    *Values().CurrentThread = savedThread_;
    Values().MaxVarCapacity = savedMaxMem_;
    Values().NoEnv = savedNoEnv_;
    Values().UsesSlowIntegerFormat = savedSlowInt_;
    Values().UsesSlowFloatFormat = savedSlowFloat_;
    Values().FindBuiltIn = savedLookup_;
    SetLoadErrorSink(nullptr);
  }

 private:
  ThreadSettings savedThread_;
  size_t savedMaxMem_ = 0;
  bool savedNoEnv_ = false, savedSlowInt_ = false, savedSlowFloat_ = false;
  BuiltInLookup savedLookup_ = nullptr;
};

using VariableCapacity = VariableTest;
using VariableNumbers = VariableTest;
using VariableCopy = VariableTest;
using VariableEdit = VariableTest;
using VariableEnvironment = VariableTest;
using VariableListing = VariableTest;
using VariableScope = VariableTest;

// An object that counts its destruction.
class ProbeObject : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  explicit ProbeObject(int* destroyed) : destroyed_(destroyed) {}
  ~ProbeObject() override { ++*destroyed_; }
  ResultCode Invoke(ExprToken&, ExprToken&, int, ExprToken**, int) override { return ResultCode::NotHandled; }
  const wchar_t* Type() override { return L"Probe"; }

 private:
  int* destroyed_;
};

// Narrow copy of a wide text for failure messages.
std::string Narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// A text of n characters.
std::wstring TextOfLength(size_t n) { return std::wstring(n, L'x'); }

TEST_F(VariableCapacity, GrowthTable) {
  // Each row assigns a text of `Chars` characters to a fresh variable (or
  // to one prepared by `Prepare`) and checks the byte capacity chosen.
  enum Prepare { Fresh, HeapOf4Bytes, HeapOf100Bytes, Pool128 };
  const struct {
    Prepare Start;
    size_t Chars;
    bool ExactSize;
    size_t Capacity;
    uint8_t Kind;
  } cases[] = {
      {Fresh, 1, false, 8, VAR_MEM_POOL},               // 4 bytes needed
      {Fresh, 3, false, 8, VAR_MEM_POOL},               // 8
      {Fresh, 4, false, 16, VAR_MEM_POOL},              // 10
      {Fresh, 4, true, 10, VAR_MEM_POOL},               // exact small block
      {Fresh, 3, true, 8, VAR_MEM_POOL},                // below 9 bytes: always 8
      {Fresh, 7, false, 16, VAR_MEM_POOL},              // 16
      {Fresh, 8, false, 128, VAR_MEM_POOL},             // 18
      {Fresh, 63, false, 128, VAR_MEM_POOL},            // 128
      {Fresh, 64, false, 520, VAR_MEM_HEAP},            // 130
      {Fresh, 64, true, 130, VAR_MEM_HEAP},             // exact heap block
      {Fresh, 300, false, 662, VAR_MEM_HEAP},           // 602 x 1.1, truncated
      {Fresh, 163838, false, 360445, VAR_MEM_HEAP},     // 327678 x 1.1 = 360445.8
      {Fresh, 200000, false, 432770, VAR_MEM_HEAP},     // 400002 + 32768
      {Fresh, 2000000, false, 4040002, VAR_MEM_HEAP},   // 4000002 + 1%
      {Fresh, 7000000, false, 14131074, VAR_MEM_HEAP},  // 14000002 + 131072
      {HeapOf4Bytes, 10, false, 32, VAR_MEM_HEAP},      // a heap block stays on the heap path
      {HeapOf4Bytes, 100, false, 520, VAR_MEM_HEAP},
      {HeapOf100Bytes, 40, false, 100, VAR_MEM_HEAP},  // fits: kept
      {Pool128, 63, false, 128, VAR_MEM_POOL},
      {Pool128, 64, false, 520, VAR_MEM_HEAP},
  };
  for (const auto& c : cases) {
    Variable var(L"v", VAR_GLOBAL);
    if (c.Start == HeapOf4Bytes || c.Start == HeapOf100Bytes) {
      // Little enough slack that AcceptMemory keeps the block as it is.
      const size_t bytes = c.Start == HeapOf4Bytes ? 4 : 100;
      const size_t chars = bytes / 2 - 1 - (c.Start == HeapOf4Bytes ? 0 : 9);
      auto* buffer = static_cast<wchar_t*>(AllocVarHeap(bytes));
      ASSERT_NE(buffer, nullptr);
      std::wmemset(buffer, L'a', chars);
      buffer[chars] = L'\0';
      ASSERT_EQ(var.AcceptMemory(buffer, chars), ResultCode::Ok);
      ASSERT_EQ(var.ByteCapacity(), bytes);
    } else if (c.Start == Pool128) {
      ASSERT_EQ(var.Assign(TextOfLength(20)), ResultCode::Ok);
    }
    const std::wstring text = TextOfLength(c.Chars);
    ASSERT_EQ(var.Assign(text.c_str(), static_cast<ptrdiff_t>(text.size()), c.ExactSize), ResultCode::Ok);
    EXPECT_EQ(var.ByteCapacity(), c.Capacity) << c.Chars << (c.ExactSize ? " exact" : "");
    EXPECT_EQ(var.MemoryKind(), c.Kind) << c.Chars;
    EXPECT_EQ(var.Capacity(), c.Capacity / 2 - 1);
    EXPECT_EQ(var.Length(), c.Chars);
    EXPECT_EQ(std::wstring(var.TextOf()), text);
  }
}

TEST_F(VariableCapacity, MaxMemCapsGrowthAndRefusesLargerTexts) {
  SetMaxMem(1);
  ASSERT_EQ(Values().MaxVarCapacity, 1048576u);
  Variable var(L"v", VAR_GLOBAL);
  // 520000 characters need 1040002 bytes; the slack would pass the limit.
  ASSERT_EQ(var.Assign(nullptr, 520000), ResultCode::Ok);
  EXPECT_EQ(var.ByteCapacity(), 1048576u);
  Variable unlimited(L"u", VAR_GLOBAL);
  ASSERT_EQ(unlimited.Assign(nullptr, 520000, false, false), ResultCode::Ok);
  EXPECT_EQ(unlimited.ByteCapacity(), 1040002u + 32768u);

  Variable small(L"s", VAR_GLOBAL);
  ASSERT_EQ(small.Assign(L"keep me"), ResultCode::Ok);
  EXPECT_EQ(small.Assign(nullptr, 600000), ResultCode::Fail);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0].first, L"Memory limit reached (see #MaxMem in the help file).");
  EXPECT_STREQ(small.TextOf(), L"keep me");
  // Without the limit the same text is stored.
  EXPECT_EQ(small.Assign(nullptr, 600000, false, false), ResultCode::Ok);
  EXPECT_EQ(g_errors.size(), 1u);
}

TEST_F(VariableCapacity, MaxMemDirectiveValuesAreClamped) {
  const struct {
    double Megabytes;
    size_t Bytes;
  } cases[] = {
      {0.5, 1048576}, {1, 1048576}, {1.5, 1572864}, {64, 67108864}, {5000, size_t{4095} * 1048576}, {-3, 1048576},
  };
  for (const auto& c : cases) {
    SetMaxMem(c.Megabytes);
    EXPECT_EQ(Values().MaxVarCapacity, c.Bytes) << c.Megabytes;
  }
}

TEST_F(VariableCapacity, OutOfMemoryLeavesTheVariableEmpty) {
  Variable var(L"v", VAR_GLOBAL);
  ASSERT_EQ(var.Assign(TextOfLength(1000)), ResultCode::Ok);
  // 2^47 bytes: more than the address space of a process.
  EXPECT_EQ(var.Assign(nullptr, ptrdiff_t{1} << 46, false, false), ResultCode::Fail);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0].first, L"Out of memory.");
  EXPECT_EQ(var.Length(), 0u);
  EXPECT_EQ(var.ByteCapacity(), 0u);  // the old heap block was freed first
  EXPECT_STREQ(var.TextOf(), L"");
}

TEST_F(VariableCapacity, EmptyAssignmentFreesOnlyLargeBuffers) {
  const struct {
    size_t ReservedChars;
    bool GivenText;  // Assign(L"") rather than Assign() (a bare length of 0)
    bool Released;
  } cases[] = {
      {4999, true, true},    // 10000 bytes needed, more than 4096: released
      {4999, false, false},  // a bare length of 0 keeps it
      {1000, true, false},   // 2202 bytes: kept
      {49, true, false},     // 100 bytes on the pool: kept
  };
  for (const auto& c : cases) {
    Variable var(L"v", VAR_GLOBAL);
    ASSERT_EQ(var.Assign(nullptr, static_cast<ptrdiff_t>(c.ReservedChars)), ResultCode::Ok);
    const size_t before = var.ByteCapacity();
    ASSERT_EQ(c.GivenText ? var.Assign(L"") : var.Assign(), ResultCode::Ok);
    EXPECT_EQ(var.ByteCapacity(), c.Released ? 0u : before) << c.ReservedChars;
    EXPECT_EQ(var.MemoryKind() == VAR_MEM_NONE, c.Released);
    EXPECT_STREQ(var.TextOf(), L"");
    EXPECT_FALSE(var.Attrib() & VAR_ATTRIB_UNINITIALIZED);
  }
}

TEST_F(VariableCapacity, FreeModes) {
  const struct {
    int Mode;
    size_t ReservedChars;
    uint8_t Scope;
    bool Released;
    bool Touched;
  } cases[] = {
      {VAR_FREE_RELEASE, 300, VAR_LOCAL, true, true},
      {VAR_FREE_EXCLUDE_STATIC, 300, VAR_LOCAL, true, true},
      {VAR_FREE_EXCLUDE_STATIC, 300, VAR_LOCAL | VAR_LOCAL_STATIC, false, false},
      {VAR_FREE_KEEP, 300, VAR_LOCAL, false, true},
      {VAR_FREE_KEEP_BUFFER, 300, VAR_LOCAL, false, true},
      {VAR_FREE_IF_LARGE, 300, VAR_LOCAL, false, true},
      {VAR_FREE_IF_LARGE, 3000, VAR_LOCAL, true, true},
      {VAR_FREE_RELEASE, 20, VAR_LOCAL, false, true},  // pool blocks are never freed
  };
  for (const auto& c : cases) {
    Variable var(L"v", c.Scope);
    ASSERT_EQ(var.Assign(nullptr, static_cast<ptrdiff_t>(c.ReservedChars)), ResultCode::Ok);
    ASSERT_EQ(var.Assign(L"value"), ResultCode::Ok);
    const size_t before = var.ByteCapacity();
    var.Free(c.Mode, true);
    EXPECT_EQ(var.ByteCapacity(), c.Released ? 0u : before) << c.Mode << " " << c.ReservedChars;
    EXPECT_STREQ(var.TextOf(true, true), c.Touched ? L"" : L"value");
    EXPECT_EQ((var.Attrib() & VAR_ATTRIB_UNINITIALIZED) != 0, c.Touched);  // function exit marks it
  }
}

TEST_F(VariableCapacity, FunctionExitLeavesAnAliasTargetAlone) {
  Variable target(L"t", VAR_GLOBAL);
  Variable alias(L"a", VAR_LOCAL);
  ASSERT_EQ(target.Assign(L"caller's"), ResultCode::Ok);
  alias.SetAlias(&target);
  alias.Free(VAR_FREE_EXCLUDE_STATIC, true);
  EXPECT_STREQ(target.TextOf(), L"caller's");
  alias.Free(VAR_FREE_RELEASE);  // without the function-exit option it reaches the target
  EXPECT_STREQ(target.TextOf(), L"");
}

TEST_F(VariableCapacity, RecursionSavesAndRestoresWholeStates) {
  Variable target(L"t", VAR_GLOBAL);
  Variable local(L"l", VAR_LOCAL);
  ASSERT_EQ(local.Assign(L"outer call's text"), ResultCode::Ok);
  VarState outer;
  local.MoveStateTo(outer);
  EXPECT_STREQ(local.TextOf(false, true), L"");
  EXPECT_TRUE(local.Attrib() & VAR_ATTRIB_UNINITIALIZED);
  local.SetAlias(&target);  // the inner call binds it ByRef
  ASSERT_EQ(local.Assign(L"through the alias"), ResultCode::Ok);
  local.RestoreState(outer);
  EXPECT_EQ(local.Type(), VAR_NORMAL);
  EXPECT_STREQ(local.TextOf(), L"outer call's text");
  EXPECT_STREQ(target.TextOf(), L"through the alias");
}

TEST_F(VariableCapacity, RepeatedRecursionReusesSmallBlocks) {
  Variable local(L"l", VAR_LOCAL);
  auto recurse = [&](int depth, auto&& self) -> void {
    ASSERT_EQ(local.Assign(L"level text"), ResultCode::Ok);
    if (depth == 0) return;
    VarState saved;
    local.MoveStateTo(saved);
    self(depth - 1, self);
    local.Free(VAR_FREE_IF_LARGE, true);
    local.RestoreState(saved);
    EXPECT_STREQ(local.TextOf(), L"level text");
  };
  recurse(50, recurse);  // warm-up: the blocks of fifty levels exist
  const VarMemoryCounters before = GetVarMemoryCounters();
  for (int i = 0; i < 2000; ++i) recurse(50, recurse);
  // A block lost per restored level would take a new pool chunk many times over.
  EXPECT_EQ(GetVarMemoryCounters().PoolChunks, before.PoolChunks);
}

TEST_F(VariableCapacity, ReusedSmallHeapBlocksAlwaysHoldTheRequest) {
  // Blocks freed through every route (kept with a hint, moved by a growing
  // variable, adopted and shrunk) must come back only for requests they fit.
  std::vector<void*> blocks;
  for (size_t bytes = 2; bytes <= 160; bytes += 6) blocks.push_back(AllocVarHeap(bytes));
  for (void* block : blocks) FreeVarHeap(block);
  Variable grown(L"g", VAR_GLOBAL);
  auto* adopted = static_cast<wchar_t*>(AllocVarHeap(40));
  ASSERT_NE(adopted, nullptr);
  std::wmemcpy(adopted, L"abc", 4);
  ASSERT_EQ(grown.AcceptMemory(adopted, 3), ResultCode::Ok);
  EXPECT_EQ(grown.ByteCapacity(), 40u);  // as requested, not the kept block's size
  for (int i = 0; i < 40; ++i) ASSERT_EQ(grown.AppendGrowing(L"0123456789", 10), ResultCode::Ok);
  EXPECT_EQ(grown.Length(), 403u);
  grown.Free(VAR_FREE_RELEASE, true);
  for (size_t bytes = 2; bytes <= 160; bytes += 2) {
    void* block = AllocVarHeap(bytes);
    ASSERT_NE(block, nullptr);
    const SIZE_T held = HeapSize(GetProcessHeap(), 0, block);
    EXPECT_GE(held, bytes) << bytes;
    EXPECT_EQ(HeapBlockBytes(block), bytes) << bytes;
    std::memset(block, 0x5A, bytes);  // the whole request is writable
    FreeVarHeap(block);
  }
}

TEST_F(VariableCapacity, NumbersAndShortTextsStayOffTheHeap) {
  Variable a(L"a", VAR_GLOBAL), b(L"b", VAR_GLOBAL);
  // One warm-up pass takes each variable to its largest small block.
  auto pass = [&](int64_t i) {
    EXPECT_EQ(a.AssignInteger(i * 7919), ResultCode::Ok);
    EXPECT_EQ(b.AssignVariable(a), ResultCode::Ok);
    EXPECT_EQ(b.ToInteger(true), i * 7919);
    if (!a.IsTrue() && i) ADD_FAILURE();
    EXPECT_EQ(std::wcslen(a.TextOf()), a.Length());
    EXPECT_EQ(a.AssignFloat(static_cast<double>(i) / 4), ResultCode::Ok);
    EXPECT_EQ(a.NumericType(), PURE_FLOAT);
    a.TextOf();
    EXPECT_EQ(a.Assign(L"short text"), ResultCode::Ok);
    EXPECT_EQ(b.Assign(L"-123456789012345"), ResultCode::Ok);
    EXPECT_EQ(b.ToInteger(true), -123456789012345);
    EXPECT_EQ(a.Append(L"!", 1), ResultCode::Ok);
    EXPECT_EQ(a.Assign(L""), ResultCode::Ok);
  };
  pass(-1000000000000);  // the longest texts of the loop, and longer
  pass(1);
  const VarMemoryCounters before = GetVarMemoryCounters();
  for (int64_t i = 0; i < 20000; ++i) pass(i);
  const VarMemoryCounters& after = GetVarMemoryCounters();
  EXPECT_EQ(after.HeapAllocations, before.HeapAllocations);
  // Abandoning a block per pass would use up a pool chunk in a few hundred passes.
  EXPECT_EQ(after.PoolChunks, before.PoolChunks);
  EXPECT_EQ(a.MemoryKind(), VAR_MEM_POOL);
  EXPECT_EQ(b.MemoryKind(), VAR_MEM_POOL);
}

TEST_F(VariableNumbers, IntegerTextFollowsTheFormatAtReadTime) {
  Variable x(L"x", VAR_GLOBAL);
  ASSERT_EQ(x.AssignInteger(5), ResultCode::Ok);
  EXPECT_TRUE(x.Attrib() & VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"H"), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"0x5");
  // Once formatted the integer stays cached and the text is current.
  EXPECT_EQ(x.Attrib() & (VAR_ATTRIB_HAS_VALID_INT64 | VAR_ATTRIB_CONTENTS_OUT_OF_DATE), VAR_ATTRIB_HAS_VALID_INT64);
  ASSERT_EQ(x.AssignInteger(-31), ResultCode::Ok);
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"h"), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"-0x1f");
  ASSERT_EQ(x.AssignInteger(5), ResultCode::Ok);
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"D"), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"5");
}

TEST_F(VariableNumbers, SlowIntegerFormatFixesTextAtAssignment) {
  Values().UsesSlowIntegerFormat = true;
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"H"), ResultCode::Ok);
  Variable x(L"x", VAR_GLOBAL);
  ASSERT_EQ(x.AssignInteger(5), ResultCode::Ok);
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"D"), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"0x5");
  EXPECT_EQ(x.ToInteger(false), 5);
}

TEST_F(VariableNumbers, FloatTextFollowsTheFormat) {
  Variable x(L"x", VAR_GLOBAL);
  ASSERT_EQ(x.AssignFloat(1.5), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"1.500000");
  EXPECT_EQ(x.NumericType(), PURE_FLOAT);  // the double stays cached
  ASSERT_EQ(x.AssignFloat(1.5), ResultCode::Ok);
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Float", L"0.2"), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"1.50");
  // 1e300 needs more than 255 characters and is still written whole.
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Float", L"0.6"), ResultCode::Ok);
  ASSERT_EQ(x.AssignFloat(1e300), ResultCode::Ok);
  EXPECT_EQ(x.Length(), 301u + 7u);
}

TEST_F(VariableNumbers, SlowFloatFormatMakesTheRoundedTextTheValue) {
  Values().UsesSlowFloatFormat = true;
  ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Float", L"0.2"), ResultCode::Ok);
  Variable x(L"x", VAR_GLOBAL);
  ASSERT_EQ(x.AssignFloat(1.256), ResultCode::Ok);
  EXPECT_FALSE(x.Attrib() & (VAR_ATTRIB_HAS_VALID_DOUBLE | VAR_ATTRIB_CONTENTS_OUT_OF_DATE));
  EXPECT_STREQ(x.TextOf(), L"1.26");
  EXPECT_EQ(x.ToFloat(false), 1.26);
}

TEST_F(VariableNumbers, NumericTypeAndConversionsOfStates) {
  int destroyed = 0;
  const struct {
    const wchar_t* Label;
    int Setup;  // 0 text, 1 integer, 2 float, 3 object
    const wchar_t* Text;
    double Number;
    NumericKind Kind;
    int64_t Integer;
    double Float;
    bool Truth;
    int64_t IntegerAfterCache;  // a cached double converts by truncation
  } cases[] = {
      {L"integer text", 0, L"42", 0, PURE_INTEGER, 42, 42.0, true, 42},
      {L"hex text", 0, L" 0x10 ", 0, PURE_INTEGER, 16, 16.0, true, 16},
      {L"float text", 0, L"1.5e3", 0, PURE_FLOAT, 1, 1500.0, true, 1500},
      {L"1e5", 0, L"1e5", 0, PURE_NOT_NUMERIC, 1, 100000.0, true, 1},
      {L"impure", 0, L"12abc", 0, PURE_NOT_NUMERIC, 12, 12.0, true, 12},
      {L"zero text", 0, L"0.0", 0, PURE_FLOAT, 0, 0.0, false, 0},
      {L"empty", 0, L"", 0, PURE_NOT_NUMERIC, 0, 0.0, false, 0},
      {L"integer", 1, nullptr, -7, PURE_INTEGER, -7, -7.0, true, -7},
      {L"integer zero", 1, nullptr, 0, PURE_INTEGER, 0, 0.0, false, 0},
      {L"float", 2, nullptr, -2.75, PURE_FLOAT, -2, -2.75, true, -2},
      {L"float zero", 2, nullptr, 0.0, PURE_FLOAT, 0, 0.0, false, 0},
      {L"NaN", 2, nullptr, std::nan(""), PURE_FLOAT, 0, 0.0, true, 0},
      {L"object", 3, nullptr, 0, PURE_NOT_NUMERIC, 0, 0.0, true, 0},
  };
  for (const auto& c : cases) {
    Variable var(L"v", VAR_GLOBAL);
    switch (c.Setup) {
      case 0: ASSERT_EQ(var.Assign(c.Text), ResultCode::Ok); break;
      case 1: ASSERT_EQ(var.AssignInteger(static_cast<int64_t>(c.Number)), ResultCode::Ok); break;
      case 2: ASSERT_EQ(var.AssignFloat(c.Number), ResultCode::Ok); break;
      default: ASSERT_EQ(var.AssignObject(new ProbeObject(&destroyed)), ResultCode::Ok); break;
    }
    EXPECT_EQ(var.NumericType(), c.Kind) << c.Label;
    EXPECT_EQ(var.ToInteger(true), c.Integer) << c.Label;
    if (std::isnan(c.Number) && c.Setup == 2)
      EXPECT_TRUE(std::isnan(var.ToFloat(true)));
    else
      EXPECT_EQ(var.ToFloat(true), c.Float) << c.Label;
    // Caching a parsed number must not change the kind.
    EXPECT_EQ(var.NumericType(), c.Kind) << c.Label;
    EXPECT_EQ(var.ToInteger(false), c.IntegerAfterCache) << c.Label;
    EXPECT_EQ(var.IsTrue(), c.Truth) << c.Label;
  }
  EXPECT_EQ(destroyed, 1);
}

TEST_F(VariableNumbers, NotNumericIsRememberedUnlessCachingStopped) {
  Variable var(L"v", VAR_GLOBAL);
  ASSERT_EQ(var.Assign(L"abc"), ResultCode::Ok);
  EXPECT_EQ(var.NumericType(), PURE_NOT_NUMERIC);
  EXPECT_TRUE(var.Attrib() & VAR_ATTRIB_NOT_NUMERIC);
  ASSERT_EQ(var.Assign(L"abc"), ResultCode::Ok);
  var.StopNumberCache();
  EXPECT_EQ(var.NumericType(), PURE_NOT_NUMERIC);
  EXPECT_FALSE(var.Attrib() & VAR_ATTRIB_NOT_NUMERIC);
}

TEST_F(VariableNumbers, StopNumberCacheMakesNumbersText) {
  Variable var(L"v", VAR_GLOBAL);
  ASSERT_EQ(var.AssignInteger(42), ResultCode::Ok);
  var.StopNumberCache();
  EXPECT_EQ(var.Attrib() & (VAR_ATTRIB_CACHE | VAR_ATTRIB_NO_CACHE), VAR_ATTRIB_NO_CACHE);
  EXPECT_STREQ(var.TextOf(false), L"42");
  // Later numbers are written out at once and not cached.
  ASSERT_EQ(var.AssignInteger(7), ResultCode::Ok);
  EXPECT_STREQ(var.TextOf(false), L"7");
  EXPECT_FALSE(var.Attrib() & VAR_ATTRIB_CACHE);
  ASSERT_EQ(var.AssignFloat(0.5), ResultCode::Ok);
  EXPECT_STREQ(var.TextOf(false), L"0.500000");
  EXPECT_EQ(var.ToInteger(true), 0);
  EXPECT_FALSE(var.Attrib() & VAR_ATTRIB_CACHE);
}

TEST_F(VariableCopy, CopiesKeepTextOnlyWhenItCannotBeRegenerated) {
  const struct {
    const wchar_t* SourceText;  // null: the source holds 3+4 as an integer
    const wchar_t* Expected;    // the copy's text under the 'H' integer format
    bool TextCopied;
  } cases[] = {
      {L"007", L"007", true}, {L" 5", L" 5", true},   {L"5\t", L"5\t", true},
      {L"+5", L"+5", true},   {L"12", L"0xC", false}, {nullptr, L"0x7", false},
  };
  for (const auto& c : cases) {
    Variable x(L"x", VAR_GLOBAL), y(L"y", VAR_GLOBAL);
    if (c.SourceText) {
      ASSERT_EQ(x.Assign(c.SourceText), ResultCode::Ok);
      ASSERT_EQ(x.ToInteger(true), TextToInteger(c.SourceText));  // caches the integer, text current
      ASSERT_TRUE(x.Attrib() & VAR_ATTRIB_HAS_VALID_INT64);
    } else {
      ASSERT_EQ(x.AssignInteger(3 + 4), ResultCode::Ok);
    }
    ASSERT_EQ(y.AssignVariable(x), ResultCode::Ok);
    EXPECT_TRUE(y.Attrib() & VAR_ATTRIB_HAS_VALID_INT64);
    EXPECT_EQ((y.Attrib() & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) == 0, c.TextCopied);
    ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"H"), ResultCode::Ok);
    EXPECT_STREQ(y.TextOf(), c.Expected);
    ASSERT_EQ(Values().CurrentThread->ApplySetFormat(L"Integer", L"D"), ResultCode::Ok);
  }
}

TEST_F(VariableCopy, FloatsTextsObjectsAndAliases) {
  Variable x(L"x", VAR_GLOBAL), y(L"y", VAR_GLOBAL);
  // A double with current text: the text and the double travel together.
  ASSERT_EQ(x.Assign(L"1.50"), ResultCode::Ok);
  ASSERT_EQ(x.ToFloat(true), 1.5);
  ASSERT_EQ(y.AssignVariable(x), ResultCode::Ok);
  EXPECT_STREQ(y.TextOf(), L"1.50");
  EXPECT_TRUE(y.Attrib() & VAR_ATTRIB_HAS_VALID_DOUBLE);
  // A double with stale text: only the double.
  ASSERT_EQ(x.AssignFloat(2.5), ResultCode::Ok);
  ASSERT_EQ(y.AssignVariable(x), ResultCode::Ok);
  EXPECT_TRUE(y.Attrib() & VAR_ATTRIB_CONTENTS_OUT_OF_DATE);
  EXPECT_STREQ(y.TextOf(), L"2.500000");
  // Plain text, including the not-numeric mark.
  ASSERT_EQ(x.Assign(L"some text"), ResultCode::Ok);
  ASSERT_EQ(x.NumericType(), PURE_NOT_NUMERIC);
  ASSERT_EQ(y.AssignVariable(x), ResultCode::Ok);
  EXPECT_STREQ(y.TextOf(), L"some text");
  EXPECT_TRUE(y.Attrib() & VAR_ATTRIB_NOT_NUMERIC);
  // An object gains a reference; both release theirs.
  int destroyed = 0;
  auto* object = new ProbeObject(&destroyed);
  ASSERT_EQ(x.AssignObject(object), ResultCode::Ok);
  ASSERT_EQ(y.AssignVariable(x), ResultCode::Ok);
  EXPECT_EQ(y.ObjectValue(), object);
  EXPECT_EQ(x.Assign(L""), ResultCode::Ok);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(y.Assign(L""), ResultCode::Ok);
  EXPECT_EQ(destroyed, 1);
  // Onto itself: unchanged.
  ASSERT_EQ(x.Assign(L"same"), ResultCode::Ok);
  ASSERT_EQ(x.AssignVariable(x), ResultCode::Ok);
  EXPECT_STREQ(x.TextOf(), L"same");
  // Through an alias on either side.
  Variable alias(L"a", VAR_LOCAL), aliasOfAlias(L"b", VAR_LOCAL);
  alias.SetAlias(&y);
  aliasOfAlias.SetAlias(&alias);
  EXPECT_EQ(aliasOfAlias.ResolveAlias(), &y);
  ASSERT_EQ(aliasOfAlias.AssignVariable(x), ResultCode::Ok);
  EXPECT_STREQ(y.TextOf(), L"same");
  ASSERT_EQ(x.AssignVariable(alias), ResultCode::Ok);
  ASSERT_EQ(y.AssignVariable(aliasOfAlias), ResultCode::Ok);  // itself
  EXPECT_STREQ(y.TextOf(), L"same");
  y.SetAlias(&aliasOfAlias);  // would forward to itself: ignored
  EXPECT_EQ(y.Type(), VAR_NORMAL);
  EXPECT_STREQ(y.TextOf(), L"same");
}

TEST_F(VariableCopy, ClipboardImagesCopyBytes) {
  Variable x(L"x", VAR_GLOBAL), y(L"y", VAR_GLOBAL);
  const unsigned char image[] = {1, 0, 0, 0, 0xFF, 7, 0};
  ASSERT_EQ(x.AssignBinaryClip(image, sizeof(image)), ResultCode::Ok);
  ASSERT_EQ(y.AssignVariable(x), ResultCode::Ok);
  EXPECT_TRUE(y.Attrib() & VAR_ATTRIB_BINARY_CLIP);
  ASSERT_EQ(y.ByteLength(), sizeof(image));
  EXPECT_EQ(std::memcmp(y.TextOf(), image, sizeof(image)), 0);
}

TEST_F(VariableCopy, ObjectsOnlyGoIntoNormalVariables) {
  int destroyed = 0;
  Variable clip(L"Clipboard", VAR_GLOBAL);
  clip.SetClipboardType(VAR_CLIPBOARD);
  EXPECT_EQ(clip.AssignObject(new ProbeObject(&destroyed)), ResultCode::Fail);
  EXPECT_EQ(destroyed, 1);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0].first, L"Invalid value.");
  EXPECT_EQ(g_errors[0].second, L"An object.");
}

TEST_F(VariableEdit, AppendWithinCapacity) {
  Variable var(L"v", VAR_GLOBAL);
  ASSERT_EQ(var.Assign(L"12"), ResultCode::Ok);  // 6 bytes: an 8-byte block, room for 3 characters
  ASSERT_EQ(var.ToInteger(true), 12);
  EXPECT_EQ(var.Append(L"3", 1), ResultCode::Ok);
  EXPECT_STREQ(var.TextOf(), L"123");
  EXPECT_FALSE(var.Attrib() & VAR_ATTRIB_CACHE);  // the cached 12 is gone
  EXPECT_EQ(var.ToInteger(false), 123);
  EXPECT_EQ(var.Append(L"4", 1), ResultCode::Fail);  // no room: the caller assigns instead
  EXPECT_STREQ(var.TextOf(), L"123");
  ASSERT_EQ(var.AssignInteger(45), ResultCode::Ok);  // stale text is brought up to date first
  EXPECT_EQ(var.Append(L"6", 1), ResultCode::Ok);
  EXPECT_STREQ(var.TextOf(), L"456");
  EXPECT_TRUE(g_errors.empty());
}

TEST_F(VariableEdit, AcceptMemoryShrinksLargeSlack) {
  const struct {
    size_t AllocatedBytes;
    size_t Chars;
    size_t Capacity;
  } cases[] = {
      {1000, 5, 12},  // 990 bytes beyond the text: shrunk to the text and terminator
      {75, 5, 12},    // 65 beyond: shrunk
      {74, 5, 74},    // 64 beyond: kept
  };
  for (const auto& c : cases) {
    Variable var(L"v", VAR_GLOBAL);
    ASSERT_EQ(var.AssignInteger(9), ResultCode::Ok);
    auto* buffer = static_cast<wchar_t*>(AllocVarHeap(c.AllocatedBytes));
    ASSERT_NE(buffer, nullptr);
    std::wmemcpy(buffer, L"hello", 6);
    ASSERT_EQ(var.AcceptMemory(buffer, c.Chars), ResultCode::Ok);
    EXPECT_EQ(var.ByteCapacity(), c.Capacity) << c.AllocatedBytes;
    EXPECT_STREQ(var.TextOf(), L"hello");
    EXPECT_EQ(var.NumericType(), PURE_NOT_NUMERIC);
  }
}

TEST_F(VariableEdit, SetLengthAfterFillingTheBuffer) {
  Variable var(L"v", VAR_GLOBAL);
  ASSERT_EQ(var.Assign(nullptr, 10), ResultCode::Ok);
  EXPECT_EQ(var.Length(), 0u);
  EXPECT_GE(var.Capacity(), 10u);
  wchar_t* buffer = const_cast<wchar_t*>(var.TextOf());
  std::wmemcpy(buffer, L"0123456789", 10);
  var.SetLength(4);
  EXPECT_STREQ(var.TextOf(), L"0123");
  var.SetLength(1000);  // cut to the capacity
  EXPECT_EQ(var.Length(), var.Capacity());
}

// A built-in getter: the value "123" for every name.
size_t GetOneTwoThree(wchar_t* buffer, const wchar_t*) {
  if (buffer) std::wmemcpy(buffer, L"123", 4);
  return 3;
}

bool LookupTestBuiltIns(std::wstring_view name, uint8_t& type, BuiltInGetter& getter, BuiltInView&) {
  if (CompareNamesNoCase(name, L"A_Test") == 0) {
    type = VAR_BUILTIN;
    getter = GetOneTwoThree;
    return true;
  }
  if (CompareNamesNoCase(name, L"Clipboard") == 0) {
    type = VAR_CLIPBOARD;
    return true;
  }
  return false;
}

TEST_F(VariableEdit, BuiltInsReadThroughTheirGetter) {
  Values().FindBuiltIn = LookupTestBuiltIns;
  VarList globals;
  Variable* builtIn = globals.FindOrAdd(L"a_test", VAR_GLOBAL);
  ASSERT_NE(builtIn, nullptr);
  EXPECT_EQ(builtIn->Type(), VAR_BUILTIN);
  EXPECT_EQ(globals.FindOrAdd(L"CLIPBOARD", VAR_GLOBAL)->Type(), VAR_CLIPBOARD);
  EXPECT_EQ(builtIn->GetText(nullptr), 3u);
  wchar_t buffer[8];
  EXPECT_EQ(builtIn->GetText(buffer), 3u);
  EXPECT_STREQ(buffer, L"123");
  EXPECT_STREQ(builtIn->TextOf(), L"");  // read through GetText only
  EXPECT_EQ(builtIn->NumericType(), PURE_INTEGER);
  EXPECT_EQ(builtIn->ToInteger(true), 123);
  EXPECT_TRUE(builtIn->IsTrue());
  EXPECT_EQ(builtIn->Assign(L"x"), ResultCode::Ok);  // read-only: nothing assigned
  EXPECT_EQ(builtIn->GetText(buffer), 3u);
  Variable copy(L"c", VAR_GLOBAL);
  ASSERT_EQ(copy.AssignVariable(*builtIn), ResultCode::Ok);
  EXPECT_STREQ(copy.TextOf(), L"123");
}

TEST_F(VariableEnvironment, EmptyVariablesFallBackToTheEnvironment) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"QrvEnvProbe", L"from env"));
  const struct {
    bool NoEnv;
    const wchar_t* Own;  // the variable's own text
    bool Paired;         // the length query precedes the text query
    const wchar_t* Expected;
  } cases[] = {
      {false, L"", true, L"from env"},
      {true, L"", true, L""},
      {false, L"own", true, L"own"},
      {false, L"", false, L""},  // no length query: the buffer's size is unknown
  };
  for (const auto& c : cases) {
    Values().NoEnv = c.NoEnv;
    Variable var(L"QRVENVPROBE", VAR_GLOBAL);
    ASSERT_EQ(var.Assign(c.Own), ResultCode::Ok);
    wchar_t buffer[64] = L"garbage";
    size_t length = 0;
    if (c.Paired) {
      length = var.GetText(nullptr);
      EXPECT_EQ(length, std::wcslen(c.Expected));
    }
    EXPECT_EQ(var.GetText(buffer), std::wcslen(c.Expected));
    EXPECT_STREQ(buffer, c.Expected);
    EXPECT_STREQ(var.TextOf(), c.Own);  // the variable itself is unchanged
  }
  Variable missing(L"QrvEnvSurelyMissing", VAR_GLOBAL);
  Values().NoEnv = false;
  EXPECT_EQ(missing.GetText(nullptr), 0u);
  wchar_t buffer[4] = L"abc";
  EXPECT_EQ(missing.GetText(buffer), 0u);
  EXPECT_STREQ(buffer, L"");
  SetEnvironmentVariableW(L"QrvEnvProbe", nullptr);
}

// A name for the n-th variable of the list tests; a deterministic spread.
std::wstring ListName(size_t n) { return L"Var" + std::to_wstring((n * 7919) % 1000003) + L"_" + std::to_wstring(n); }

// Upper-cases ASCII letters, to look names up in another case.
std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return text;
}

TEST_F(VariableListing, GrowthStagesAndLazyArray) {
  VarList globals;
  const struct {
    size_t Count;
    size_t Capacity;
    size_t Lazy;
  } stages[] = {
      {1, 1000, 0},         {1000, 1000, 0},       {1001, 9999, 0},     {9999, 9999, 0},
      {10000, 100000, 1},   {11998, 100000, 1999}, {11999, 100000, 0},  // 2000 in the lazy array: merged
      {12000, 100000, 1},   {99999, 100000, 0},    {100000, 100000, 1}, {101998, 100000, 1999},
      {101999, 1000000, 0},  // the merge needs more than 100000 slots
  };
  size_t added = 0;
  for (const auto& stage : stages) {
    for (; added < stage.Count; ++added) ASSERT_NE(globals.FindOrAdd(ListName(added), VAR_GLOBAL), nullptr);
    EXPECT_EQ(globals.Count(), stage.Count);
    EXPECT_EQ(globals.Capacity(), stage.Capacity) << stage.Count;
    EXPECT_EQ(globals.LazyCount(), stage.Lazy) << stage.Count;
  }
  // Every name is found in any case, finding creates nothing new, and the
  // listing is in order.
  for (size_t n = 0; n < added; ++n) {
    Variable* var = globals.Find(Upper(ListName(n)));
    ASSERT_NE(var, nullptr) << n;
    EXPECT_EQ(std::wstring(var->Name()), ListName(n));
  }
  EXPECT_EQ(globals.FindOrAdd(Upper(ListName(5)), VAR_GLOBAL), globals.Find(ListName(5)));
  EXPECT_EQ(globals.Count(), added);
  EXPECT_EQ(globals.Find(L"NotThere"), nullptr);
  std::wstring previous;
  size_t visited = 0;
  globals.ForEach([&](Variable& var) {
    if (visited++) {
      EXPECT_LT(CompareNamesNoCase(previous, var.Name()), 0);
    }
    previous = var.Name();
  });
  EXPECT_EQ(visited, added);
}

TEST_F(VariableListing, LocalListsStartSmallerAndNamesAreChecked) {
  VarList locals(true);
  ASSERT_NE(locals.FindOrAdd(L"a", VAR_LOCAL), nullptr);
  EXPECT_EQ(locals.Capacity(), VarList::kFirstLocalCapacity);
  for (int n = 0; n < 100; ++n) locals.FindOrAdd(L"x" + std::to_wstring(n), VAR_LOCAL);
  EXPECT_EQ(locals.Capacity(), 1000u);
  EXPECT_EQ(locals.FindOrAdd(L"bad name", VAR_LOCAL), nullptr);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0].first, L"The following variable name contains an illegal character:\n\"bad name\"");
  EXPECT_EQ(locals.Find(L"bad name"), nullptr);
  // Names compare case-insensitively beyond ASCII too.
  Variable* accented = locals.FindOrAdd(L"\u00e9t\u00e9", VAR_LOCAL);
  EXPECT_EQ(locals.Find(L"\u00c9T\u00c9"), accented);
  EXPECT_TRUE(locals.Remove(accented));
  EXPECT_EQ(locals.Find(L"\u00e9t\u00e9"), nullptr);
}

TEST_F(VariableListing, ListVarsText) {
  Values().FindBuiltIn = LookupTestBuiltIns;
  VarList globals;
  EXPECT_EQ(globals.FindOrAdd(L"Text", VAR_GLOBAL)->Assign(L"abc"), ResultCode::Ok);
  globals.FindOrAdd(L"Empty", VAR_GLOBAL);
  EXPECT_EQ(globals.FindOrAdd(L"Long", VAR_GLOBAL)->Assign(std::wstring(61, L'z')), ResultCode::Ok);
  EXPECT_EQ(globals.FindOrAdd(L"Number", VAR_GLOBAL)->AssignInteger(5), ResultCode::Ok);
  globals.FindOrAdd(L"A_Test", VAR_GLOBAL);  // built-ins are not listed
  int destroyed = 0;
  auto* object = new ProbeObject(&destroyed);
  EXPECT_EQ(globals.FindOrAdd(L"Obj", VAR_GLOBAL)->AssignObject(object), ResultCode::Ok);
  VarList locals(true);
  EXPECT_EQ(locals.FindOrAdd(L"loc", VAR_LOCAL)->Assign(L"x"), ResultCode::Ok);
  locals.FindOrAdd(L"ByRef", VAR_LOCAL)->SetAlias(globals.Find(L"Text"));  // aliases are not listed

  wchar_t address[32];
  std::swprintf(address, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(object)));
  const std::wstring separator = L"\r\n--------------------------------------------------\r\n";
  const std::wstring globalLines =
      L"Empty[0 of 0]:  \r\n"
      L"Long[61 of 63]: " +
      std::wstring(60, L'z') +
      L"...\r\n"
      L"Number[1 of 3]: 5\r\n"
      L"Obj: Probe object {address: 0x" +
      address +
      L"}\r\n"
      L"Text[3 of 3]: abc\r\n";
  EXPECT_EQ(BuildVarListText(nullptr, L"", globals), L"Global Variables (alphabetical)" + separator + globalLines);
  EXPECT_EQ(BuildVarListText(&locals, L"F", globals), L"Local Variables for F()" + separator +
                                                          L"loc[1 of 3]: x\r\n\r\n\r\nGlobal Variables (alphabetical)" +
                                                          separator + globalLines);
  globals.ReleaseObjects();
  EXPECT_EQ(destroyed, 1);

  // The text stops at 65533 characters.
  VarList many;
  for (int n = 0; n < 1200; ++n)
    EXPECT_EQ(many.FindOrAdd(L"v" + std::to_wstring(n), VAR_GLOBAL)->Assign(std::wstring(60, L'v')), ResultCode::Ok);
  EXPECT_EQ(BuildVarListText(nullptr, L"", many).size(), kListVarsChars - 1);
}

TEST_F(VariableScope, ResolutionByModeAndPhase) {
  Values().FindBuiltIn = LookupTestBuiltIns;
  VarList globals;
  Variable* plain = globals.FindOrAdd(L"G", VAR_GLOBAL);
  Variable* super = globals.FindOrAdd(L"S", VAR_GLOBAL);
  super->AddScope(VAR_SUPER_GLOBAL | VAR_DECLARED);
  Variable* declared = globals.FindOrAdd(L"D", VAR_GLOBAL);
  Variable* errorLevel = globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL);

  enum Expect { Global, NewLocal, NewStatic, Existing };
  const struct {
    FunctionScopeMode Mode;
    ResolvePhase Phase;
    const wchar_t* Name;
    Expect Result;
    Variable* Want;  // for Global and Existing
  } cases[] = {
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Loading, L"S", Global, super},
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Loading, L"G", NewLocal, nullptr},
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Loading, L"d", Global, declared},
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Loading, L"errorlevel", Global, errorLevel},
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Loading, L"L", Existing, nullptr},
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Running, L"G", Global, plain},
      {SCOPE_ASSUME_LOCAL, ResolvePhase::Running, L"Fresh", NewLocal, nullptr},
      {SCOPE_ASSUME_STATIC, ResolvePhase::Loading, L"Fresh", NewStatic, nullptr},
      {SCOPE_ASSUME_GLOBAL, ResolvePhase::Loading, L"G", Global, plain},
      {SCOPE_ASSUME_GLOBAL, ResolvePhase::Loading, L"L", Existing, nullptr},
      {SCOPE_FORCE_LOCAL, ResolvePhase::Loading, L"S", NewLocal, nullptr},
      {SCOPE_FORCE_LOCAL, ResolvePhase::Running, L"G", NewLocal, nullptr},
      {SCOPE_FORCE_LOCAL, ResolvePhase::Loading, L"D", Global, declared},
      {SCOPE_FORCE_LOCAL_STATIC, ResolvePhase::Loading, L"Fresh", NewStatic, nullptr},
      {SCOPE_FORCE_LOCAL, ResolvePhase::Loading, L"A_Test", Global, nullptr},
  };
  for (const auto& c : cases) {
    FunctionScope function;
    function.Mode = c.Mode;
    Variable* local = function.Locals.FindOrAdd(L"L", VAR_LOCAL | VAR_DECLARED);
    ASSERT_EQ(function.DeclaredGlobals.Insert(declared), ResultCode::Ok);
    const size_t globalsBefore = globals.Count();
    Variable* got = FindOrAddVariable(c.Name, globals, &function, c.Phase);
    ASSERT_NE(got, nullptr) << static_cast<int>(c.Mode) << " " << Narrow(c.Name);
    switch (c.Result) {
      case Global:
        if (c.Want) {
          EXPECT_EQ(got, c.Want);
        }
        EXPECT_EQ(globals.Find(c.Name), got);
        EXPECT_EQ(function.Locals.Find(c.Name), nullptr);
        break;
      case Existing: EXPECT_EQ(got, local); break;
      case NewLocal:
      case NewStatic:
        EXPECT_EQ(function.Locals.Find(c.Name), got);
        EXPECT_TRUE(got->Scope() & VAR_LOCAL);
        EXPECT_EQ((got->Scope() & VAR_LOCAL_STATIC) != 0, c.Result == NewStatic);
        EXPECT_EQ(globals.Count(), globalsBefore);
        break;
    }
  }
  // Outside any function every name is global.
  Variable* outside = FindOrAddVariable(L"Outside", globals, nullptr, ResolvePhase::Loading);
  EXPECT_EQ(globals.Find(L"outside"), outside);
}

TEST_F(VariableScope, LocalsNamedLikeSuperGlobalsBecomeAliasesAfterLoading) {
  VarList globals;
  FunctionScope function;
  // The function used the names before the declarations further down.
  Variable* early = FindOrAddVariable(L"Shared", globals, &function, ResolvePhase::Loading);
  Variable* own = FindOrAddVariable(L"Own", globals, &function, ResolvePhase::Loading);
  Variable* param = function.Locals.FindOrAdd(L"P", VAR_LOCAL | VAR_FUNC_PARAM);
  Variable* shared = globals.FindOrAdd(L"Shared", VAR_GLOBAL);
  shared->AddScope(VAR_SUPER_GLOBAL | VAR_DECLARED);
  globals.FindOrAdd(L"P", VAR_GLOBAL)->AddScope(VAR_SUPER_GLOBAL);
  globals.FindOrAdd(L"Own", VAR_GLOBAL);  // ordinary: stays local (a #Warn case)
  ASSERT_NE(early, shared);
  FinishFunctionScope(function, globals);
  EXPECT_EQ(early->Type(), VAR_ALIAS);
  EXPECT_EQ(early->ResolveAlias(), shared);
  EXPECT_EQ(function.Locals.Find(L"Shared"), nullptr);
  EXPECT_EQ(function.Locals.Find(L"Own"), own);
  EXPECT_EQ(function.Locals.Find(L"P"), param);  // parameters are never replaced
  ASSERT_EQ(early->Assign(L"through the alias"), ResultCode::Ok);
  EXPECT_STREQ(shared->TextOf(), L"through the alias");
}

}  // namespace
