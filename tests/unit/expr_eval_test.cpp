// The expression evaluator: every operator and precedence level, integers,
// floats and text mixed, literals, overflow and division by zero, the text
// comparisons, short circuits and the ternary, concatenation (implicit, next
// to unary minus and parentheses), assignments and increments, double-derefs,
// calls through the function seam, the line kinds, what fails pending the
// object model, and a proof that numbers and short texts stay off the heap.
#include <windows.h>
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "base/script_context.h"
#include "exec/errors.h"
#include "load_fixture.h"
#include "values/expr_eval.h"
#include "values/expr_token.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

// Every operator new in the test program is counted, so that a test can
// show that a stretch of code allocated nothing at all.
namespace {
uint64_t g_newCount = 0;
}  // namespace

void* operator new(size_t size) {
  ++g_newCount;
  if (void* p = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}

namespace {

// Narrow copy of a wide text for failure messages.
std::string Narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The global variable of that name.
Variable& Var(const wchar_t* name) { return *Values().Globals.FindOrAdd(name, VAR_GLOBAL); }
// Gives a global variable a text value.
void Set(const wchar_t* name, const wchar_t* text) { EXPECT_EQ(Var(name).Assign(text), ResultCode::Ok); }
// A global variable's text.
std::wstring Get(const wchar_t* name) { return Var(name).TextOf(true, true); }

// The result of one expression, or "error: " and the message.
std::wstring Eval(const wchar_t* expression) {
  ExprTestResult got = EvaluateExpressionText(expression);
  return got.Ok ? got.Text : L"error: " + got.Error;
}

struct EvalCase {
  const wchar_t* Expression;
  const wchar_t* Expected;
};

// Runs a table of expressions.
void ExpectAll(const std::vector<EvalCase>& cases) {
  for (const EvalCase& c : cases) EXPECT_EQ(Narrow(Eval(c.Expression)), Narrow(c.Expected)) << Narrow(c.Expression);
}

// ---------------------------------------------------------------------------
// Functions for the call tests, found through the lookup seam.

// A parameter as an integer (an omitted one counts as 0).
int64_t ParamInteger(const ExprToken& token) {
  switch (token.Symbol) {
    case ExprSymbol::Integer: return token.ValueInt64;
    case ExprSymbol::VariableRef: return token.Var->ToInteger(false);
    case ExprSymbol::String:
    case ExprSymbol::RawWord: return TextToInteger(token.Text);
    default: return 0;
  }
}

// Sum of the parameters.
ResultCode CallSum(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  int64_t sum = 0;
  for (int i = 0; i < count; ++i) sum += ParamInteger(*params[i]);
  result.SetInteger(sum);
  return ResultCode::Ok;
}

// Number of parameters, and whether the call ended in "*" (as 100).
ResultCode CallCount(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  (void)params;
  result.SetInteger(count + (expandLast ? 100 : 0));
  return ResultCode::Ok;
}

// Which parameters were left out: "_" for each omitted one, else its value.
ResultCode CallShape(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  static wchar_t text[64];
  std::wstring shape;
  for (int i = 0; i < count; ++i) {
    if (i) shape += L',';
    shape += params[i]->Symbol == ExprSymbol::Omitted ? L"_" : std::to_wstring(ParamInteger(*params[i]));
  }
  const size_t length = shape.size() < 63 ? shape.size() : 63;
  shape.copy(text, length);
  text[length] = L'\0';
  result.SetText(text);  // in the function's own memory: the evaluator copies it
  return ResultCode::Ok;
}

// The address of the last text block Long returned.
wchar_t* g_longBlock = nullptr;
constexpr size_t kLongLength = 10000;

// A 10000-character text in a heap block handed to the evaluator.
ResultCode CallLong(const ExprFunc&, ExprToken& result, ExprToken**, int, bool) {
  auto* block = static_cast<wchar_t*>(AllocVarHeap((kLongLength + 1) * sizeof(wchar_t)));
  for (size_t i = 0; i < kLongLength; ++i) block[i] = L'a';
  block[kLongLength] = L'\0';
  g_longBlock = block;
  result.SetText(block, ExprSymbol::RawWord);
  result.HeapText = block;
  return ResultCode::Ok;
}

// Reports an error and fails, as a built-in function that fails the line.
ResultCode CallFail(const ExprFunc&, ExprToken&, ExprToken**, int, bool) {
  EXPECT_EQ(ReportLineError(nullptr, L"Failed on purpose."), ResultCode::Fail);
  return ResultCode::Fail;
}

const ExprFunc kTestFunctions[] = {
    {L"Add3", 2, 3, false, EXPR_OP_NONE, CallSum, L"", nullptr},
    {L"Shape", 1, 3, false, EXPR_OP_NONE, CallShape, L"", nullptr},
    {L"Count", 0, 0, true, EXPR_OP_NONE, CallCount, L"", nullptr},
    {L"Long", 0, 0, false, EXPR_OP_NONE, CallLong, L"", nullptr},
    {L"Fail", 0, 0, false, EXPR_OP_NONE, CallFail, L"", nullptr},
};

// The lookup the functions code will install, over the test table.
const ExprFunc* FindTestFunction(std::wstring_view name) {
  for (const ExprFunc& f : kTestFunctions)
    if (CompareNamesNoCase(name, f.Name) == 0) return &f;
  return nullptr;
}

// Run-time errors reported while a test runs.
std::vector<std::wstring> g_errors;
void CaptureError(std::wstring_view message, std::wstring_view, int) { g_errors.emplace_back(message); }

// Saves and restores the settings the tests change; captures reports.
class ExprEvalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedThread_ = *Values().CurrentThread;
    savedNoEnv_ = Values().NoEnv;
    savedFind_ = Values().FindFunction;
    Values().FindFunction = FindTestFunction;
    g_errors.clear();
  }
  void TearDown() override {
    *Values().CurrentThread = savedThread_;
    Values().NoEnv = savedNoEnv_;
    Values().FindFunction = savedFind_;
    SetLoadErrorSink(nullptr);
  }
  // Loads lines, then keeps capturing reports for what runs them.
  LoadOutcome Load(const char* script) {
    LoadOutcome got = LoadText(script);
    SetLoadErrorSink(CaptureError);
    return got;
  }
  // Evaluates argument `arg` of a loaded line; the text, or "error: ...".
  std::wstring Run(ScriptLine& line, int arg, ExprToken* resultToken = nullptr) {
    std::wstring out;
    ResultCode result = ResultCode::Ok;
    if (!EvaluateExpression(line, arg, result, resultToken, out))
      return L"error: " + (g_errors.empty() ? std::wstring() : g_errors.back());
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(out.back(), L'\0');
    return out.substr(0, out.size() - 1);
  }

 private:
  ThreadSettings savedThread_;
  bool savedNoEnv_ = false;
  FindFunctionHook savedFind_ = nullptr;
};

using ExprArithmetic = ExprEvalTest;
using ExprComparison = ExprEvalTest;
using ExprLogic = ExprEvalTest;
using ExprConcat = ExprEvalTest;
using ExprAssignment = ExprEvalTest;
using ExprVariables = ExprEvalTest;
using ExprCalls = ExprEvalTest;
using ExprLines = ExprEvalTest;
// The evaluator on its own, without the object layer's operations: member
// access and calls fail the line clearly.
class ExprPending : public ExprEvalTest {
 protected:
  void SetUp() override {
    ExprEvalTest::SetUp();
    savedObjectCall_ = Values().ObjectCall;
    savedCallObject_ = Values().CallObject;
    Values().ObjectCall = nullptr;
    Values().CallObject = nullptr;
  }
  void TearDown() override {
    Values().ObjectCall = savedObjectCall_;
    Values().CallObject = savedCallObject_;
    ExprEvalTest::TearDown();
  }

 private:
  ObjectCallHook savedObjectCall_ = nullptr;
  CallObjectHook savedCallObject_ = nullptr;
};
using ExprMemory = ExprEvalTest;

// ---------------------------------------------------------------------------

TEST_F(ExprArithmetic, IntegerFloatAndTextOperands) {
  ExpectAll({
      {L"1 + 2", L"3"},
      {L"7 - 10", L"-3"},
      {L"6 * 7", L"42"},
      {L"6 / 3", L"2.000000"},
      {L"7 / 2", L"3.500000"},
      {L"1 + 1.5", L"2.500000"},
      {L"2 * 0.5", L"1.000000"},
      {L"1.5 - 0.5", L"1.000000"},
      {L"7 // 2", L"3"},
      {L"-7 // 2", L"-3"},
      {L"-7.0 // 2", L"-4.000000"},
      {L"7.5 // 2", L"3.000000"},
      // Quoted text is never a number, whatever it looks like.
      {L"(\"12\") + 1", L""},
      {L"\"abc\" / 2", L""},
      {L"12 + 1", L"13"},
      {L"\"12\" // 1", L""},
      {L"-5", L"-5"},
      {L"- 5", L"-5"},
      {L"-(3)", L"-3"},
      {L"-1.5 + 0", L"-1.500000"},
      {L"-\"7\"", L""},
      {L"--5", L""},
  });
}

TEST_F(ExprArithmetic, LiteralsKeepTheirText) {
  ExpectAll({
      {L"0x10 + 1", L"17"},
      {L"0x10", L"0x10"},
      {L"-0x10 + 0", L"-16"},
      {L"0xff * 1", L"255"},
      {L"1.5e3 + 0", L"1500.000000"},
      {L"1.0E-2 * 100", L"1.000000"},
      {L"1.5e+3 - 1", L"1499.000000"},
      {L".5 + 0", L"0.500000"},
      {L"007", L"007"},
      {L"1.50", L"1.50"},
      {L"007 + 0", L"7"},
      {L"-1.5", L"-1.5"},
  });
}

TEST_F(ExprArithmetic, OverflowWrapsAndDivisionByZeroIsEmpty) {
  ExpectAll({
      {L"9223372036854775807 + 1", L"-9223372036854775808"},
      {L"-9223372036854775807 - 2", L"9223372036854775807"},
      {L"4611686018427387904 * 2", L"-9223372036854775808"},
      {L"(-9223372036854775807 - 1) // -1", L"-9223372036854775808"},
      {L"1 / 0", L""},
      {L"1 // 0", L""},
      {L"1.5 // 0", L""},
      {L"0 / 0", L""},
      {L"1 / 0.0", L""},
  });
}

TEST_F(ExprArithmetic, Power) {
  ExpectAll({
      {L"2 ** 10", L"1024"},
      {L"2 ** -1", L"0.500000"},
      {L"-2 ** 2", L"-4"},
      {L"(-2) ** 3", L"-8"},
      {L"(-2) ** 2", L"4"},
      {L"2 ** 3 ** 2", L"64"},
      {L"0 ** -1", L""},
      {L"(-8) ** (1/3)", L""},
      {L"2.0 ** 3", L"8.000000"},
      {L"(-2.0) ** 3", L"-8.000000"},
      {L"0 ** 0", L"1"},
      {L"2 ** 0.5 > 1.41", L"1"},
      {L"2 ** -pwEmpty", L""},  // the unary operator after ** waits for its operand
      // Exact while the result fits 64 bits (a double would be off here).
      {L"3 ** 39", L"4052555153018976267"},
      {L"(-2) ** 63", L"-9223372036854775808"},
  });
}

TEST_F(ExprArithmetic, BitwiseAndShifts) {
  ExpectAll({
      {L"5 | 2", L"7"},
      {L"6 ^ 3", L"5"},
      {L"6 & 3", L"2"},
      {L"1 << 4", L"16"},
      {L"1 << 64", L"1"},
      {L"1 << 63", L"-9223372036854775808"},
      {L"-16 >> 2", L"-4"},
      {L"~0", L"4294967295"},
      {L"~-1", L"0"},
      {L"~4294967296", L"-4294967297"},
      {L"5.9 | 0", L"5"},
      {L"~\"1\"", L""},
      {L"3 & 1.5", L"1"},
  });
}

TEST_F(ExprArithmetic, PrecedenceLevels) {
  ExpectAll({
      {L"2 + 3 * 4", L"14"},  {L"(2 + 3) * 4", L"20"},   {L"10 - 4 - 3", L"3"},      {L"2 * 3 ** 2", L"18"},
      {L"-2 ** 2", L"-4"},    {L"1 + 2 . 3", L"33"},     {L"1 | 2 ^ 3 & 4", L"3"},   {L"1 << 2 + 1", L"8"},
      {L"16 >> 1 * 2", L"4"}, {L"6 & 3 << 1", L"6"},     {L"5 > 3 = 1", L"1"},       {L"!0 + 1", L"2"},
      {L"not 0 + 1", L"0"},   {L"1 = 1 && 2 = 3", L"0"}, {L"1 || 0 && 0", L"1"},     {L"2 ** -1 * 4", L"2.000000"},
      {L"8 // 3 * 3", L"6"},  {L"1 < 2 = 2 > 1", L"1"},  {L"~1 + 1", L"4294967295"}, {L"0 ? 1 : 2 + 3", L"5"},
      {L"3 . 4 = 34", L"1"},
  });
}

TEST_F(ExprArithmetic, ThreadNumberFormats) {
  wcscpy_s(Values().CurrentThread->FloatFormatText, L"%0.2f");
  Values().CurrentThread->IntegerFormatChar = 'h';
  ExpectAll({{L"1 / 3", L"0.33"}, {L"255 + 0", L"0xff"}, {L"0 - 31", L"-0x1f"}, {L"255 . \"\"", L"255"}});
}

TEST_F(ExprComparison, NumbersAgainstText) {
  Set(L"cmpTwelve", L"12");
  Set(L"cmpWord", L"abc");
  ExpectAll({
      {L"\"12\" < 9", L"1"},
      {L"12 < 9", L"0"},
      {L"\"10\" = 10", L"1"},
      {L"\"1.0\" = 1", L"0"},
      {L"1.0 = 1", L"1"},
      {L"0x10 = 16", L"1"},
      {L"\"0x10\" = 16", L"0"},
      {L"cmpTwelve < 9", L"0"},
      {L"cmpTwelve + 1", L"13"},
      {L"cmpWord + 1", L""},
      {L"cmpWord > 9", L"1"},
      {L"2 >= 2.0", L"1"},
      {L"1 <> 1.5", L"1"},
      {L"1 != 1", L"0"},
      {L"-1 < 0", L"1"},
  });
}

TEST_F(ExprComparison, StringCaseSense) {
  ExpectAll({
      {L"\"ABC\" = \"abc\"", L"1"},
      {L"\"ABC\" == \"abc\"", L"0"},
      {L"\"abc\" == \"abc\"", L"1"},
      {L"\"abc\" <> \"ABC\"", L"0"},
      {L"\"abc\" != \"abd\"", L"1"},
      {L"\"B\" < \"a\"", L"0"},
      {L"\"abc\" < \"abd\"", L"1"},
      {L"\"ab\" < \"abc\"", L"1"},
      {L"\"b\" >= \"B\"", L"1"},
  });
  Values().CurrentThread->CaseSensitivity = 1;  // On
  ExpectAll({
      {L"\"B\" < \"a\"", L"1"},
      {L"\"abc\" <> \"ABC\"", L"1"},
      {L"\"ABC\" = \"abc\"", L"1"},
      {L"\"ABC\" == \"abc\"", L"0"},
  });
  Values().CurrentThread->CaseSensitivity = 2;  // Locale
  ExpectAll({{L"\"ABC\" = \"abc\"", L"1"}, {L"\"abc\" <> \"ABC\"", L"0"}, {L"\"a\" < \"B\"", L"1"}});
}

TEST_F(ExprLogic, TruthAndWordOperators) {
  ExpectAll({
      {L"true && \"\"", L"0"}, {L"1 && 2", L"1"},      {L"0 || \"\"", L"0"},   {L"\"a\" || 0", L"1"},
      {L"1 and 0", L"0"},      {L"0 OR 2", L"1"},      {L"not 1", L"0"},       {L"NOT \"\"", L"1"},
      {L"!\"0\"", L"1"},       {L"!0.0", L"1"},        {L"!\"0.0\"", L"1"},    {L"!\" \"", L"0"},
      {L"0 || 0 || 3", L"1"},  {L"1 && 1 && 0", L"0"}, {L"1 && 0 || 1", L"1"}, {L"true + 1", L"2"},
      {L"False", L"0"},        {L"A_PtrSize", L"8"},   {L"A_IsUnicode", L"1"},
  });
}

TEST_F(ExprLogic, ShortCircuitSkipsTheRightSide) {
  struct Case {
    const wchar_t* Expression;
    const wchar_t* Result;
    bool Assigned;
  };
  const Case cases[] = {
      {L"0 && (scTarget := 5)", L"0", false},        {L"1 || (scTarget := 5)", L"1", false},
      {L"1 || scTarget := 5", L"1", false},          {L"0 and scTarget := 5", L"0", false},
      {L"0 || (scTarget := 5)", L"1", true},         {L"1 && (scTarget := 5)", L"1", true},
      {L"1 || 0 || (scTarget := 5)", L"1", false},   {L"0 && 1 && (scTarget := 5)", L"0", false},
      {L"(0 || 0) && (scTarget := 5)", L"0", false},
  };
  for (const Case& c : cases) {
    Set(L"scTarget", L"untouched");
    EXPECT_EQ(Narrow(Eval(c.Expression)), Narrow(c.Result)) << Narrow(c.Expression);
    EXPECT_EQ(Get(L"scTarget"), c.Assigned ? L"5" : L"untouched") << Narrow(c.Expression);
  }
}

TEST_F(ExprLogic, TernaryEvaluatesOneBranch) {
  struct Case {
    const wchar_t* Expression;
    const wchar_t* Result;
    const wchar_t* Then;
    const wchar_t* Else;
  };
  const Case cases[] = {
      {L"1 ? (tThen := \"t\") : (tElse := \"e\")", L"t", L"t", L"-"},
      {L"0 ? (tThen := \"t\") : (tElse := \"e\")", L"e", L"-", L"e"},
      {L"0 || 1 ? tThen := 1 : tElse := 1", L"1", L"1", L"-"},
      {L"0 && 1 ? tThen := 1 : tElse := 1", L"1", L"-", L"1"},
  };
  for (const Case& c : cases) {
    Set(L"tThen", L"-");
    Set(L"tElse", L"-");
    EXPECT_EQ(Narrow(Eval(c.Expression)), Narrow(c.Result)) << Narrow(c.Expression);
    EXPECT_EQ(Get(L"tThen"), c.Then) << Narrow(c.Expression);
    EXPECT_EQ(Get(L"tElse"), c.Else) << Narrow(c.Expression);
  }
}

TEST_F(ExprLogic, TernaryNesting) {
  ExpectAll({
      {L"0 ? 1 : 0 ? 2 : 3", L"3"},
      {L"0 ? 1 : 1 ? 2 : 3", L"2"},
      {L"1 ? 0 ? 4 : 5 : 6", L"5"},
      {L"1 ? 1 ? 4 : 5 : 6", L"4"},
      {L"0 ? 1 ? 4 : 5 : 6", L"6"},
      {L"(1 ? 2 : 3) + 1", L"3"},
      {L"1 ? 2 : 3 + 10", L"2"},
      {L"0 ? 2 : 3 + 10", L"13"},
      {L"(0 ? 1 : 0) || 7", L"1"},
      {L"(1 ? 0 : 1) || 0", L"0"},
      {L"1 ? \"a\" : \"b\" \"c\"", L"a"},
  });
}

TEST_F(ExprConcat, ImplicitAndExplicit) {
  Set(L"ccA", L"a");
  Set(L"ccB", L"b");
  Set(L"ccTwo", L"2");
  ExpectAll({
      {L"\"a\" \"b\"", L"ab"},
      {L"\"a\" . \"b\"", L"ab"},
      {L"ccA ccB", L"ab"},
      {L"\"x\" ccA", L"xa"},
      {L"1 . 2", L"12"},
      {L"1.5 . \"\"", L"1.5"},
      {L"0x10 . \"\"", L"0x10"},
      {L"(0x10 + 0) . \"\"", L"16"},
      {L"2 ** 2 . 1", L"41"},
      {L"\"a\" . 1 + 1", L"a2"},
      {L"1.0 * 2 . \"\"", L"2.000000"},
      {L"ccA . ccTwo + 1", L"a3"},
  });
}

TEST_F(ExprConcat, NextToUnaryMinusAndParentheses) {
  Set(L"ccA", L"a");
  Set(L"ccFive", L"5");
  Set(L"ccThree", L"3");
  ExpectAll({
      // After a quoted literal a sign-like operator is unary, joined by concatenation.
      {L"\"x\" -1", L"x-1"},
      {L"\"x\" - 1", L"x-1"},
      {L"\"x\" + 1", L"x1"},
      {L"\"x\" -ccThree", L"x-3"},
      {L"\"a\" != \"b\"", L"1"},
      {L"\"a\" && 0", L"0"},
      // After a variable the same characters subtract and add.
      {L"ccFive -1", L"4"},
      {L"ccFive - 1", L"4"},
      {L"ccFive -ccThree", L"2"},
      {L"5 . -1", L"5-1"},
      // "(" concatenates only when set apart from an operand.
      {L"ccA (1 + 1)", L"a2"},
      {L"\"a\"(1)", L"a1"},
      {L"(1)(2)", L"12"},
      {L"(\"a\") \"b\"", L"ab"},
      {L"ccFive (ccThree)", L"53"},
  });
}

TEST_F(ExprAssignment, PlainAndChained) {
  Set(L"asA", L"1");
  EXPECT_EQ(Eval(L"asX := 5"), L"5");
  EXPECT_EQ(Get(L"asX"), L"5");
  EXPECT_EQ(Eval(L"asX := asY := 3"), L"3");
  EXPECT_EQ(Get(L"asX"), L"3");
  EXPECT_EQ(Get(L"asY"), L"3");
  // The assignment binds what is to its right: a + (b := 4).
  EXPECT_EQ(Eval(L"asA + asB := 4"), L"5");
  EXPECT_EQ(Get(L"asB"), L"4");
  // A comma evaluates both sides and gives the left one.
  EXPECT_EQ(Eval(L"asX := 1, asY := 2"), L"1");
  EXPECT_EQ(Get(L"asY"), L"2");
  // Nothing to assign to.
  EXPECT_EQ(Eval(L"5 := 3"), L"");
  // Literals: an integer written with a leading 0 keeps its text.
  EXPECT_EQ(Eval(L"asX := 0x10"), L"0x10");
  EXPECT_EQ(Eval(L"asX + 0"), L"16");
  EXPECT_EQ(Eval(L"asX := 10"), L"10");
  EXPECT_EQ(Var(L"asX").NumericType(), PURE_INTEGER);
}

TEST_F(ExprAssignment, Compound) {
  struct Case {
    const wchar_t* Start;
    const wchar_t* Expression;
    const wchar_t* After;
  };
  const Case cases[] = {
      {L"5", L"cpX += 2", L"7"},        {L"5", L"cpX -= 7", L"-2"},       {L"5", L"cpX *= 3", L"15"},
      {L"5", L"cpX /= 2", L"2.500000"}, {L"5", L"cpX //= 2", L"2"},       {L"5", L"cpX |= 8", L"13"},
      {L"5", L"cpX ^= 1", L"4"},        {L"5", L"cpX &= 6", L"4"},        {L"5", L"cpX <<= 2", L"20"},
      {L"5", L"cpX >>= 1", L"2"},       {L"ab", L"cpX .= \"c\"", L"abc"}, {L"5", L"cpX .= 1 + 1", L"52"},
      {L"5", L"cpX += \"abc\"", L""},   {L"5", L"cpX /= 0", L""},         {L"1.5", L"cpX += 1", L"2.500000"},
  };
  for (const Case& c : cases) {
    Set(L"cpX", c.Start);
    EXPECT_EQ(Narrow(Eval(c.Expression)), Narrow(c.After)) << Narrow(c.Expression);
    EXPECT_EQ(Narrow(Get(L"cpX")), Narrow(c.After)) << Narrow(c.Expression);
  }
}

TEST_F(ExprAssignment, IncrementsAndDecrements) {
  struct Case {
    const wchar_t* Start;
    const wchar_t* Expression;
    const wchar_t* Result;
    const wchar_t* After;
  };
  const Case cases[] = {
      {L"5", L"inX++", L"5", L"6"},
      {L"5", L"++inX", L"6", L"6"},
      {L"5", L"inX--", L"5", L"4"},
      {L"5", L"--inX", L"4", L"4"},
      {L"1.5", L"inX++", L"1.500000", L"2.500000"},
      {L"1.5", L"--inX", L"0.500000", L"0.500000"},
      {L"abc", L"inX++", L"", L""},
      {L"abc", L"++inX", L"", L""},
      {L"", L"inX++", L"", L""},
      {L"9223372036854775807", L"++inX", L"-9223372036854775808", L"-9223372036854775808"},
      {L"5", L"inX++ + inX", L"11", L"6"},
      {L"5", L"5++", L"", L"5"},
  };
  for (const Case& c : cases) {
    Set(L"inX", c.Start);
    EXPECT_EQ(Narrow(Eval(c.Expression)), Narrow(c.Result)) << Narrow(c.Expression);
    EXPECT_EQ(Narrow(Get(L"inX")), Narrow(c.After)) << Narrow(c.Expression);
  }
}

TEST_F(ExprVariables, DoubleDerefs) {
  Set(L"ddName", L"ddTarget");
  Set(L"ddTarget", L"hit");
  Set(L"ddIndex", L"3");
  Set(L"ddArr3", L"three");
  Set(L"ddEmpty", L"");
  ExpectAll({
      {L"%ddName%", L"hit"},
      {L"ddArr%ddIndex%", L"three"},
      {L"%ddName% . \"!\"", L"hit!"},
      {L"%ddEmpty%", L""},
      {L"ddArr%ddIndex% := \"new\"", L"new"},
  });
  EXPECT_EQ(Get(L"ddArr3"), L"new");
  Set(L"ddName", L"a b");
  EXPECT_EQ(Narrow(Eval(L"%ddName%")),
            Narrow(L"error: The following variable name contains an illegal character:\n\"a b\""));
}

TEST_F(ExprVariables, LoopIndexEnvironmentAndNumberCache) {
  Values().CurrentThread->LoopIndex = 7;
  EXPECT_EQ(Eval(L"A_Index * 2"), L"14");
  // An empty variable falls back to the environment unless #NoEnv is in effect.
  SetEnvironmentVariableW(L"QRVEXPRENV", L"42");
  Values().NoEnv = false;
  EXPECT_EQ(Eval(L"QRVEXPRENV + 1"), L"43");
  Values().NoEnv = true;
  EXPECT_EQ(Eval(L"QRVEXPRENV + 1"), L"");
  SetEnvironmentVariableW(L"QRVEXPRENV", nullptr);
  // Arithmetic results stay binary in the variable.
  EXPECT_EQ(Eval(L"ncX := 6 * 7"), L"42");
  EXPECT_EQ(Var(L"ncX").Attrib() & VAR_ATTRIB_HAS_VALID_INT64, VAR_ATTRIB_HAS_VALID_INT64);
  EXPECT_EQ(Eval(L"ncX := 1 / 4"), L"0.250000");
  EXPECT_EQ(Var(L"ncX").Attrib() & VAR_ATTRIB_HAS_VALID_DOUBLE, VAR_ATTRIB_HAS_VALID_DOUBLE);
}

TEST_F(ExprCalls, ParametersAndResults) {
  Set(L"clFn", L"Add3");
  Set(L"clNone", L"NoSuchFunction");
  ExpectAll({
      {L"Add3(1, 2)", L"3"},
      {L"Add3(1, 2, 3)", L"6"},
      {L"Add3(1, 2) * 2", L"6"},
      {L"Add3(Add3(1, 2), 3)", L"6"},
      {L"Shape(1,,3)", L"1,_,3"},
      {L"Shape(1, 2)", L"1,2"},
      {L"Count()", L"0"},
      {L"Count(1, 2, 3, 4, 5)", L"5"},
      {L"Count(clFn*)", L"101"},
      {L"\"n\" Add3(1, 2)", L"n3"},
      {L"%clFn%(1, 2)", L"3"},
      {L"%clNone%(1)", L""},
      {L"1 + %clNone%(1)", L""},
      {L"Add3(1, 2) . Shape(4)", L"34"},
  });
}

TEST_F(ExprCalls, FailureStopsTheEvaluation) {
  Set(L"clAfter", L"untouched");
  EXPECT_EQ(Narrow(Eval(L"Fail() + (clAfter := 1)")), "error: Failed on purpose.");
  EXPECT_EQ(Get(L"clAfter"), L"untouched");
}

TEST_F(ExprLines, KindsOfLine) {
  LoadOutcome got = Load(
      "lkX := 1 + 2\n"
      "if (lkX > 2)\n"
      "  lkX .= \"a\"\n"
      "while lkX = 0\n"
      "  Sleep 1\n"
      "MsgBox % 1 + 1\n"
      "Return 1.5 * 2\n");
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  // x := expression: assigned straight to x (as a number), no text.
  EXPECT_EQ(Run(*got.Lines[0], 1), L"");
  EXPECT_EQ(Var(L"lkX").Attrib() & VAR_ATTRIB_HAS_VALID_INT64, VAR_ATTRIB_HAS_VALID_INT64);
  EXPECT_EQ(Get(L"lkX"), L"3");
  // Conditions give "1" or "".
  EXPECT_EQ(Run(*got.Lines[1], 0), L"1");
  EXPECT_EQ(Run(*got.Lines[3], 0), L"");
  // An expression alone: its value is dropped.
  EXPECT_EQ(Run(*got.Lines[2], 0), L"");
  EXPECT_EQ(Get(L"lkX"), L"3a");
  // Other arguments give text, or a number into the result token.
  EXPECT_EQ(Run(*got.Lines[5], 0), L"2");
  ExprToken token{};
  token.SetText(L"");
  EXPECT_EQ(Run(*got.Lines[6], 0, &token), L"");
  EXPECT_EQ(token.Symbol, ExprSymbol::Float);
  EXPECT_EQ(token.ValueDouble, 3.0);
  // A dynamic output variable named by the caller.
  std::wstring out;
  ResultCode result;
  ASSERT_TRUE(EvaluateExpression(*got.Lines[0], 1, result, nullptr, out, &Var(L"lkOther")));
  EXPECT_EQ(Get(L"lkOther"), L"3");
}

TEST_F(ExprLines, AppendsInPlaceAndTakesOverReturnedBuffers) {
  LoadOutcome got = Load("apX := apX . \"def\"\napX .= \"ghi\"\napY := apX . \"!\"\napY := Long()\n");
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  Variable& x = Var(L"apX");
  EXPECT_EQ(x.Assign(nullptr, 100), ResultCode::Ok);  // room to grow
  EXPECT_EQ(x.Assign(L"abc"), ResultCode::Ok);
  const wchar_t* buffer = x.TextOf();
  EXPECT_EQ(Run(*got.Lines[0], 1), L"");
  EXPECT_EQ(Get(L"apX"), L"abcdef");
  EXPECT_EQ(x.TextOf(), buffer);  // x := x . y appended without moving x
  EXPECT_EQ(Run(*got.Lines[1], 0), L"");
  EXPECT_EQ(Get(L"apX"), L"abcdefghi");
  EXPECT_EQ(x.TextOf(), buffer);
  EXPECT_EQ(Run(*got.Lines[2], 1), L"");
  EXPECT_EQ(Get(L"apY"), L"abcdefghi!");
  EXPECT_EQ(Run(*got.Lines[3], 1), L"");
  EXPECT_EQ(Var(L"apY").Length(), kLongLength);
  EXPECT_EQ(Var(L"apY").TextOf(), g_longBlock);  // the returned block itself, not a copy
}

TEST_F(ExprPending, ObjectsAndRegExFailTheLine) {
  Set(L"pdObj", L"");
  ExpectAll({
      {L"[1, 2]", L"error: Objects are not supported by this version yet.\nSpecifically: Array"},
      {L"{a: 1}", L"error: Objects are not supported by this version yet.\nSpecifically: Object"},
      {L"pdObj.name", L"error: Objects are not supported by this version yet."},
      {L"pdObj[1] := 2", L"error: Objects are not supported by this version yet."},
      {L"pdObj.m(1)", L"error: Objects are not supported by this version yet."},
      {L"new pdObj()", L"error: Objects are not supported by this version yet."},
      {L"\"abc\" ~= \"b\"",
       L"error: Regular expressions are not supported by this version yet.\nSpecifically: RegExMatch"},
  });
}

// Random expressions made of syntax fragments: each either loads and runs,
// or stops with one of the known messages; none may crash or hang.
TEST_F(ExprMemory, RandomExpressionsFailOnlyWithKnownMessages) {
  const char* const fragments[] = {
      "1",  "2.5", "0x1F",  "-3",     "\"s\"",  "\"\"", "fzA",   "fzB",  "fzArr%fzI%", "%fzN%", "+",   "-",
      "*",  "/",   "//",    "**",     "&&",     "||",   " and ", " or ", "not ",       "!",     "~",   "&",
      "|",  "^",   "<<",    ">>",     "=",      "==",   "!=",    "<",    ">=",         ".",     " . ", "(",
      ")",  "[",   "]",     "{",      "}",      ",",    "?",     ":",    ":=",         "+=",    ".=",  "++",
      "--", ".y",  "Add3(", "Count(", "Shape(", " ",    "new ",  "%",    "'",          "*)",    "k: ",
  };
  const std::wstring known[] = {
      L"Missing close-quote",
      L"Ambiguous or invalid use of \".\"",
      L"The leftmost character above is illegal in an expression.",
      L"Too many var/func refs.",
      L"This parameter contains a variable name missing its ending percent sign.",
      L"Empty variable reference (%%).",
      L"This character is not allowed here.",
      L"Call to nonexistent function.",
      L"Expression too long",
      L"Unexpected \"{\"",
      L"Unexpected \")\"",
      L"Unexpected \"]\"",
      L"Unexpected \"}\"",
      L"Too many parameters passed to function.",
      L"Too few parameters passed to function.",
      L"Missing \"key:\" in object literal.",
      L"Blank parameter",
      L"Unsupported method call syntax.",
      L"A \":\" is missing its \"?\"",
      L"Missing \")\" before \":\"",
      L"Missing \"]\" before \":\"",
      L"Missing \"}\" before \":\"",
      L"Missing \")\"",
      L"Missing \"]\"",
      L"Missing \"}\"",
      L"Objects are not supported by this version yet.",
      L"Regular expressions are not supported by this version yet.",
  };
  const std::wstring illegalName = L"The following variable name contains an illegal character:";
  Set(L"fzI", L"1");
  Set(L"fzN", L"fzA");
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  int ran = 0, failed = 0;
  for (int n = 0; n < 3000; ++n) {
    std::wstring expression;
    const uint32_t parts = 1 + next(9);
    for (uint32_t k = 0; k < parts; ++k) {
      const char* f = fragments[next(sizeof(fragments) / sizeof(fragments[0]))];
      while (*f) expression += static_cast<wchar_t>(*f++);
    }
    ExprTestResult got = EvaluateExpressionText(expression);
    if (got.Ok) {
      ++ran;
      continue;
    }
    ++failed;
    const std::wstring message = got.Error.substr(0, got.Error.find(L'\n'));
    bool isKnown = message == illegalName;
    for (const std::wstring& k : known) isKnown = isKnown || message == k;
    EXPECT_TRUE(isKnown) << Narrow(expression) << " -> " << Narrow(got.Error);
  }
  // Both outcomes occur, so the fragments do exercise the evaluator.
  EXPECT_GT(ran, 300);
  EXPECT_GT(failed, 300);
}

// Lines of numbers and short texts, evaluated again and again: after the
// first round (which may size the variables and the arena once) nothing may
// touch the heap.
TEST_F(ExprMemory, NumbersAndShortTextsAllocateNothing) {
  LoadOutcome got = Load(
      "hpX := 7\n"
      "hpX := (hpX + 1) * 2 // 3 + A_Index\n"
      "hpF := hpX * 1.5 / 3 + 0.25\n"
      "hpT := \"n=\" . hpX . \", f=\" . hpF\n"
      "hpC := (hpX > 3 && hpT != \"\") ? \"big\" : \"small\"\n"
      "if (hpT = \"N=1\" || !(hpX >= 0) || hpC == \"big\")\n"
      "  hpX := hpX + 1\n"
      "MsgBox % hpT \" \" hpC \" \" (hpX << 2) \" \" ~hpX \" \" -hpF\n");
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  std::wstring out;
  out.reserve(4096);
  ResultCode result;
  auto round = [&](int n) {
    Values().CurrentThread->LoopIndex = n;
    for (size_t i = 0; i < 8; ++i) {
      ScriptLine& line = *got.Lines[i];
      out.clear();
      EvaluateExpression(line, line.CommandIndex == ACT_ASSIGNEXPR ? 1 : 0, result, nullptr, out);
    }
  };
  for (int n = 0; n < 3; ++n) round(n);
  const VarMemoryCounters vars = GetVarMemoryCounters();
  const ExprMemoryCounters exprs = GetExprMemoryCounters();
  const uint64_t news = g_newCount;
  for (int n = 0; n < 1000; ++n) round(n % 3);
  EXPECT_EQ(g_newCount, news);
  EXPECT_EQ(GetVarMemoryCounters().HeapAllocations, vars.HeapAllocations);
  EXPECT_EQ(GetVarMemoryCounters().PoolChunks, vars.PoolChunks);
  EXPECT_EQ(GetExprMemoryCounters().ArenaChunks, exprs.ArenaChunks);
  EXPECT_EQ(GetExprMemoryCounters().HeapBlocks, exprs.HeapBlocks);
  EXPECT_TRUE(g_errors.empty());
  EXPECT_NE(Get(L"hpT"), L"");

  // The counters do see heap use: a long text takes a heap block.
  LoadOutcome longText = Load("hpL := hpT . hpLong . hpT\n");
  ASSERT_EQ(longText.Result, ResultCode::Ok);
  EXPECT_EQ(Var(L"hpLong").Assign(std::wstring(kMaxArenaPieceChars, L'x')), ResultCode::Ok);
  const uint64_t blocks = GetExprMemoryCounters().HeapBlocks;
  out.clear();
  ASSERT_TRUE(EvaluateExpression(*longText.Lines[0], 1, result, nullptr, out));
  EXPECT_GT(GetExprMemoryCounters().HeapBlocks, blocks);
  const uint64_t before = g_newCount;
  std::wstring grown(64, L'x');
  EXPECT_GT(g_newCount, before);
}

}  // namespace
