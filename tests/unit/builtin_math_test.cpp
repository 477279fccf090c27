// The math built-in functions called through their table entries: the
// parameter limits of the table, rounding (half away from zero, digits on
// both sides of the point, integers kept exact), Floor and Ceil, Mod with
// its zero divisor and the one remainder that would trap, Min and Max with
// mixed kinds, Abs, and the elementary functions with their domains. Every
// case also covers the kind of the result (integer, float or text).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "builtin_call_fixture.h"
#include "objects/builtin_functions.h"
#include "values/variable.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

struct MathCase {
  const wchar_t* Name;
  std::vector<TestArg> Args;
  const char* Expected;  // as CallOutcome::Shown
};

// Calls with up to four arguments from a vector.
CallOutcome CallWith(const wchar_t* name, const std::vector<TestArg>& args) {
  switch (args.size()) {
    case 1: return CallBuiltIn(name, {args[0]});
    case 2: return CallBuiltIn(name, {args[0], args[1]});
    case 3: return CallBuiltIn(name, {args[0], args[1], args[2]});
    case 4: return CallBuiltIn(name, {args[0], args[1], args[2], args[3]});
    default: ADD_FAILURE() << "unsupported argument count"; return {};
  }
}

// Runs a table of calls.
void ExpectAll(const std::vector<MathCase>& cases) {
  for (const MathCase& c : cases) {
    std::string label = NarrowText(c.Name) + "(";
    for (size_t i = 0; i < c.Args.size(); ++i) {
      const TestArg& a = c.Args[i];
      if (i) label += ", ";
      switch (a.What) {
        case TestArg::Kind::Integer: label += std::to_string(a.Int); break;
        case TestArg::Kind::Float: label += std::to_string(a.Float); break;
        case TestArg::Kind::String: label += "\"" + NarrowText(a.Text) + "\""; break;
        case TestArg::Kind::Word: label += NarrowText(a.Text); break;
        case TestArg::Kind::Variable: label += "var"; break;
        case TestArg::Kind::Omitted: break;
      }
    }
    label += ")";
    EXPECT_EQ(CallWith(c.Name, c.Args).Shown(), c.Expected) << label;
  }
}

struct LimitCase {
  const wchar_t* Name;
  int Min;
  int Max;
};

TEST(BuiltInMath, TableNamesAndParameterLimits) {
  const LimitCase cases[] = {
      {L"Round", 1, 2},
      {L"Floor", 1, 1},
      {L"Ceil", 1, 1},
      {L"Abs", 1, 1},
      {L"Sin", 1, 1},
      {L"Cos", 1, 1},
      {L"Tan", 1, 1},
      {L"ASin", 1, 1},
      {L"ACos", 1, 1},
      {L"ATan", 1, 1},
      {L"Exp", 1, 1},
      {L"Sqrt", 1, 1},
      {L"Log", 1, 1},
      {L"Ln", 1, 1},
      {L"Mod", 2, 2},
      {L"Min", 1, kUnlimitedParams},
      {L"Max", 1, kUnlimitedParams},
  };
  for (const LimitCase& c : cases) {
    const BuiltInFunctionDef* def = FindBuiltInFunction(c.Name);
    ASSERT_NE(def, nullptr) << NarrowText(c.Name);
    EXPECT_EQ(def->MinParams, c.Min) << NarrowText(c.Name);
    EXPECT_EQ(def->MaxParams, c.Max) << NarrowText(c.Name);
    EXPECT_NE(def->Call, nullptr) << NarrowText(c.Name);
  }
  // Names match in any case; near misses are no function.
  EXPECT_EQ(FindBuiltInFunction(L"rOUND"), FindBuiltInFunction(L"Round"));
  EXPECT_EQ(FindBuiltInFunction(L"Rounds"), nullptr);
  EXPECT_EQ(FindBuiltInFunction(L"Sqr"), nullptr);
}

TEST(BuiltInMath, Round) {
  ExpectAll({
      {L"Round", {ArgFloat(2.5)}, "i:3"},
      {L"Round", {ArgFloat(-2.5)}, "i:-3"},
      {L"Round", {ArgFloat(0.4)}, "i:0"},
      {L"Round", {ArgFloat(-0.5)}, "i:-1"},
      {L"Round", {ArgFloat(2.5), ArgInt(0)}, "i:3"},
      // The double nearest 1.005 lies below it.
      {L"Round", {ArgFloat(1.005), ArgInt(2)}, "s:1.00"},
      {L"Round", {ArgFloat(3.14159), ArgInt(3)}, "s:3.142"},
      {L"Round", {ArgFloat(-3.14159), ArgInt(3)}, "s:-3.142"},
      {L"Round", {ArgInt(5), ArgInt(2)}, "s:5.00"},
      {L"Round", {ArgFloat(0.125), ArgInt(2)}, "s:0.13"},
      {L"Round", {ArgInt(1234), ArgInt(-2)}, "i:1200"},
      {L"Round", {ArgInt(1250), ArgInt(-2)}, "i:1300"},
      {L"Round", {ArgInt(-1250), ArgInt(-2)}, "i:-1300"},
      {L"Round", {ArgInt(-1249), ArgInt(-2)}, "i:-1200"},
      {L"Round", {ArgFloat(1234.5678), ArgInt(-2)}, "i:1200"},
      {L"Round", {ArgFloat(-1250.0), ArgInt(-2)}, "i:-1300"},
      // Integers keep digits a double would lose.
      {L"Round", {ArgInt(9007199254740993)}, "i:9007199254740993"},
      {L"Round", {ArgInt(9007199254740993), ArgInt(-1)}, "i:9007199254740990"},
      {L"Round", {ArgInt(kMax), ArgInt(-1)}, "i:9223372036854775807"},
      {L"Round", {ArgInt(kMin), ArgInt(-1)}, "i:-9223372036854775808"},
      {L"Round", {ArgInt(kMax), ArgInt(-19)}, "i:9223372036854775807"},
      {L"Round", {ArgInt(4999999999999999999), ArgInt(-19)}, "i:0"},
      {L"Round", {ArgInt(12345), ArgInt(-400)}, "i:0"},
      {L"Round", {ArgInt(12345), ArgInt(kMin)}, "i:0"},
      {L"Round", {ArgFloat(1.5), ArgInt(-400)}, "i:0"},
      // Beyond the integer range the result saturates.
      {L"Round", {ArgFloat(1e300)}, "i:9223372036854775807"},
      {L"Round", {ArgFloat(-1e300)}, "i:-9223372036854775808"},
      // Numbers as text, hexadecimal included; text that is no number.
      {L"Round", {ArgText(L"0x10")}, "i:16"},
      {L"Round", {ArgWord(L"2.5")}, "i:3"},
      {L"Round", {ArgWord(L" -7.5 ")}, "i:-8"},
      {L"Round", {ArgText(L"abc")}, ""},
      {L"Round", {ArgText(L"")}, ""},
      {L"Round", {ArgText(L"1e5")}, ""},
      {L"Round", {ArgFloat(1.5), ArgText(L"x")}, "i:2"},
      {L"Round", {ArgFloat(2.345), ArgText(L"1")}, "s:2.3"},
  });
}

TEST(BuiltInMath, RoundWithVeryManyDecimalsIsCutToTheNumberBuffer) {
  // 10^400 overflows: the value is formatted as it is, cut to the buffer.
  const CallOutcome got = CallBuiltIn(L"Round", {ArgFloat(1.5), ArgInt(400)});
  ASSERT_EQ(got.Symbol, ExprSymbol::String);
  EXPECT_EQ(got.Text.size(), kFloatTextChars - 1);
  EXPECT_EQ(got.Text.substr(0, 8), L"1.500000");
  EXPECT_EQ(got.Text.find_first_not_of(L"0", 3), std::wstring::npos);
}

TEST(BuiltInMath, FloorAndCeil) {
  ExpectAll({
      {L"Floor", {ArgFloat(1.5)}, "i:1"},
      {L"Floor", {ArgFloat(-1.5)}, "i:-2"},
      {L"Floor", {ArgFloat(-0.5)}, "i:-1"},
      {L"Floor", {ArgFloat(-2.0)}, "i:-2"},
      {L"Floor", {ArgInt(-2)}, "i:-2"},
      {L"Floor", {ArgWord(L"-3.7")}, "i:-4"},
      {L"Floor", {ArgText(L"0x10")}, "i:16"},
      {L"Floor", {ArgInt(9007199254740993)}, "i:9007199254740993"},
      {L"Floor", {ArgFloat(1e300)}, "i:9223372036854775807"},
      {L"Floor", {ArgText(L"x")}, ""},
      {L"Ceil", {ArgFloat(1.2)}, "i:2"},
      {L"Ceil", {ArgFloat(-1.5)}, "i:-1"},
      {L"Ceil", {ArgFloat(-0.5)}, "i:0"},
      {L"Ceil", {ArgFloat(3.0)}, "i:3"},
      {L"Ceil", {ArgWord(L"-3.7")}, "i:-3"},
      {L"Ceil", {ArgFloat(-1e300)}, "i:-9223372036854775808"},
      {L"Ceil", {ArgInt(kMin)}, "i:-9223372036854775808"},
      {L"Ceil", {ArgText(L"")}, ""},
  });
}

TEST(BuiltInMath, Mod) {
  ExpectAll({
      {L"Mod", {ArgInt(-7), ArgInt(2)}, "i:-1"},
      {L"Mod", {ArgInt(7), ArgInt(-2)}, "i:1"},
      {L"Mod", {ArgInt(7), ArgInt(2)}, "i:1"},
      {L"Mod", {ArgInt(7), ArgInt(0)}, ""},
      {L"Mod", {ArgInt(7), ArgFloat(0.0)}, ""},
      {L"Mod", {ArgFloat(5.0), ArgFloat(0.0)}, ""},
      {L"Mod", {ArgFloat(7.5), ArgInt(2)}, "f:1.5"},
      {L"Mod", {ArgFloat(-7.5), ArgInt(2)}, "f:-1.5"},
      {L"Mod", {ArgInt(7), ArgFloat(2.5)}, "f:2"},
      // The remainder of the smallest integer by -1 is 0, without a trap.
      {L"Mod", {ArgInt(kMin), ArgInt(-1)}, "i:0"},
      {L"Mod", {ArgInt(kMin), ArgInt(3)}, "i:-2"},
      {L"Mod", {ArgText(L"0x11"), ArgInt(5)}, "i:2"},
      {L"Mod", {ArgWord(L"17"), ArgWord(L"5")}, "i:2"},
      {L"Mod", {ArgText(L"a"), ArgInt(2)}, ""},
      {L"Mod", {ArgInt(7), ArgText(L"")}, ""},
  });
}

TEST(BuiltInMath, MinAndMax) {
  ExpectAll({
      {L"Min", {ArgInt(3), ArgFloat(1.5), ArgText(L"x")}, ""},
      {L"Max", {ArgText(L"x"), ArgInt(3)}, ""},
      {L"Min", {ArgInt(3), ArgFloat(1.5)}, "f:1.5"},
      {L"Max", {ArgInt(3), ArgFloat(1.5)}, "i:3"},
      {L"Min", {ArgInt(-1)}, "i:-1"},
      {L"Max", {ArgInt(-5), ArgInt(-3), ArgInt(-9)}, "i:-3"},
      {L"Min", {ArgInt(-5), ArgInt(-3), ArgInt(-9)}, "i:-9"},
      // Equal values: the first one wins, with its own kind.
      {L"Min", {ArgInt(2), ArgFloat(2.0)}, "i:2"},
      {L"Min", {ArgFloat(2.0), ArgInt(2)}, "f:2"},
      {L"Max", {ArgFloat(2.0), ArgInt(2)}, "f:2"},
      {L"Max", {ArgText(L"0x10"), ArgInt(15)}, "i:16"},
      {L"Max", {ArgWord(L"2.5"), ArgInt(2)}, "f:2.5"},
      {L"Min", {ArgInt(1), ArgOmitted(), ArgInt(3)}, ""},
      // Integers and floats compare exactly, beyond 2^53 too.
      {L"Min", {ArgInt(9007199254740993), ArgFloat(9007199254740992.0)}, "f:9.007199255e+15"},
      {L"Max", {ArgInt(9007199254740993), ArgFloat(9007199254740992.0)}, "i:9007199254740993"},
      {L"Max", {ArgInt(kMax), ArgInt(kMin)}, "i:9223372036854775807"},
  });
}

TEST(BuiltInMath, MinAndMaxTakeManyArguments) {
  // Twenty arguments, the smallest in the middle, the largest last.
  std::vector<ExprToken> tokens(20);
  std::vector<ExprToken*> params;
  for (size_t i = 0; i < 20; ++i) {
    tokens[i].SetInteger(i == 10 ? -100 : static_cast<int64_t>(i));
    params.push_back(&tokens[i]);
  }
  for (const auto& [name, expected] : {std::pair{L"Min", int64_t{-100}}, std::pair{L"Max", int64_t{19}}}) {
    const BuiltInFunctionDef* def = FindBuiltInFunction(name);
    ASSERT_NE(def, nullptr);
    ExprFunc func;
    func.Name = def->Name;
    ExprToken result;
    result.SetText(L"");
    ASSERT_EQ(def->Call(func, result, params.data(), 20, false), ResultCode::Ok);
    ASSERT_EQ(result.Symbol, ExprSymbol::Integer);
    EXPECT_EQ(result.ValueInt64, expected) << NarrowText(name);
  }
}

TEST(BuiltInMath, Abs) {
  ExpectAll({
      {L"Abs", {ArgInt(-5)}, "i:5"},
      {L"Abs", {ArgInt(5)}, "i:5"},
      {L"Abs", {ArgFloat(-2.5)}, "f:2.5"},
      {L"Abs", {ArgText(L"-0x10")}, "i:16"},
      {L"Abs", {ArgWord(L"-1.25")}, "f:1.25"},
      {L"Abs", {ArgText(L"x")}, ""},
      // No positive counterpart: two's-complement arithmetic keeps it.
      {L"Abs", {ArgInt(kMin)}, "i:-9223372036854775808"},
  });
}

TEST(BuiltInMath, ElementaryFunctionsAndTheirDomains) {
  ExpectAll({
      {L"Sin", {ArgInt(0)}, "f:0"},
      {L"Sin", {ArgFloat(0.5)}, "f:0.4794255386"},
      {L"Cos", {ArgInt(0)}, "f:1"},
      {L"Cos", {ArgFloat(1.0)}, "f:0.5403023059"},
      {L"Tan", {ArgFloat(1.0)}, "f:1.557407725"},
      {L"ATan", {ArgInt(1)}, "f:0.7853981634"},
      {L"ASin", {ArgInt(1)}, "f:1.570796327"},
      {L"ASin", {ArgInt(-1)}, "f:-1.570796327"},
      {L"ASin", {ArgInt(2)}, ""},
      {L"ASin", {ArgFloat(-1.0001)}, ""},
      {L"ACos", {ArgInt(1)}, "f:0"},
      {L"ACos", {ArgFloat(-1.5)}, ""},
      {L"Exp", {ArgInt(0)}, "f:1"},
      {L"Exp", {ArgInt(1)}, "f:2.718281828"},
      {L"Sqrt", {ArgInt(16)}, "f:4"},
      {L"Sqrt", {ArgInt(0)}, "f:0"},
      {L"Sqrt", {ArgInt(-1)}, ""},
      {L"Sqrt", {ArgFloat(-0.0001)}, ""},
      {L"Log", {ArgInt(1000)}, "f:3"},
      {L"Log", {ArgFloat(0.01)}, "f:-2"},
      {L"Log", {ArgInt(-1)}, ""},
      {L"Ln", {ArgInt(1)}, "f:0"},
      {L"Ln", {ArgText(L"0x10")}, "f:2.772588722"},
      {L"Ln", {ArgFloat(-0.5)}, ""},
      {L"Sin", {ArgText(L"abc")}, ""},
      {L"Exp", {ArgText(L"")}, ""},
  });
}

TEST(BuiltInMath, ExtremeInputsGiveValuesNotTraps) {
  // Log and Ln of 0 are minus infinity; Exp overflows to infinity.
  for (const wchar_t* name : {L"Log", L"Ln"}) {
    const CallOutcome got = CallBuiltIn(name, {ArgInt(0)});
    ASSERT_EQ(got.Symbol, ExprSymbol::Float) << NarrowText(name);
    EXPECT_TRUE(std::isinf(got.Float) && got.Float < 0) << NarrowText(name);
  }
  const CallOutcome big = CallBuiltIn(L"Exp", {ArgInt(1000)});
  ASSERT_EQ(big.Symbol, ExprSymbol::Float);
  EXPECT_TRUE(std::isinf(big.Float));
  // A NaN input passes through the float functions and rounds to 0.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const CallOutcome sinNan = CallBuiltIn(L"Sin", {ArgFloat(nan)});
  ASSERT_EQ(sinNan.Symbol, ExprSymbol::Float);
  EXPECT_TRUE(std::isnan(sinNan.Float));
  EXPECT_EQ(CallBuiltIn(L"Round", {ArgFloat(nan)}).Shown(), "i:0");
  EXPECT_EQ(CallBuiltIn(L"Floor", {ArgFloat(nan)}).Shown(), "i:0");
  const CallOutcome modInf = CallBuiltIn(L"Mod", {ArgFloat(std::numeric_limits<double>::infinity()), ArgInt(2)});
  ASSERT_EQ(modInf.Symbol, ExprSymbol::Float);
  EXPECT_TRUE(std::isnan(modInf.Float));
}

TEST(BuiltInMath, VariablesAreTakenByTheirValue) {
  Variable number(L"number", VAR_GLOBAL);
  EXPECT_EQ(number.Assign(L"0x1F"), ResultCode::Ok);
  Variable cached(L"cached", VAR_GLOBAL);
  EXPECT_EQ(cached.AssignFloat(-2.5), ResultCode::Ok);
  Variable word(L"word", VAR_GLOBAL);
  EXPECT_EQ(word.Assign(L"abc"), ResultCode::Ok);
  Variable digits(L"digits", VAR_GLOBAL);
  EXPECT_EQ(digits.Assign(L"2"), ResultCode::Ok);
  ExpectAll({
      {L"Abs", {ArgVar(number)}, "i:31"},
      {L"Round", {ArgVar(cached)}, "i:-3"},
      {L"Max", {ArgVar(number), ArgVar(cached)}, "i:31"},
      {L"Sqrt", {ArgVar(word)}, ""},
      {L"Round", {ArgFloat(1.255), ArgVar(digits)}, "s:1.25"},
  });
  // Reading a variable does not change its text.
  EXPECT_STREQ(number.TextOf(true, true), L"0x1F");
}

}  // namespace
