// The integer shortcut against the general evaluator: random expressions of
// integer operands and operators, over variables that hold integers, numeric
// and other texts, floats or nothing. Wherever the shortcut gives a value the
// general evaluator must give the same one, and the shortcut must decline
// whenever an operand is not an integer now.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/load_pool.h"
#include "base/script_line.h"
#include "values/expr_compiler.h"
#include "values/expr_eval.h"
#include "values/expr_integer.h"
#include "values/expr_scan.h"
#include "values/numeric_text.h"
#include "values/parsed_arg.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

std::string Narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The compiled form of an expression, as the loader makes it.
const CompiledExpression* Compile(const std::wstring& expression) {
  ParsedArg parsed = LiteralArg(expression);
  auto* record = PoolNew<ArgRecord>();
  record->ExprFlag = true;
  auto* line = PoolNew<ScriptLine>();
  line->CommandIndex = ACT_INVALID;
  line->ArgTotal = 1;
  line->ArgList = record;
  if (ScanExpressionArg(parsed, *record) != ResultCode::Ok) return nullptr;
  record->Content = PoolCopy(parsed.Text);
  record->ContentLength = static_cast<uint16_t>(parsed.Text.size());
  if (CompileExpression(*line, *record) != ResultCode::Ok) return nullptr;
  return static_cast<const CompiledExpression*>(record->CompiledForm);
}

// Values the variables a to e take: integers, and what is not one.
enum class Holds { Integer, NumericText, Float, Empty, Text };

void Give(Variable& var, Holds holds, std::mt19937& random) {
  static const int64_t kIntegers[] = {
      0, 1, -1, 2, 7, -13, 255, 4096, 9223372036854775807LL, -9223372036854775807LL - 1};
  static const wchar_t* const kNumericTexts[] = {L"12", L"0x1F", L"007", L" 7 ", L"-3"};
  static const wchar_t* const kTexts[] = {L"abc", L"1x", L"ABC"};
  switch (holds) {
    case Holds::Integer:
      ASSERT_EQ(var.AssignInteger(kIntegers[random() % std::size(kIntegers)]), ResultCode::Ok);
      break;
    case Holds::NumericText:
      ASSERT_EQ(var.Assign(kNumericTexts[random() % std::size(kNumericTexts)]), ResultCode::Ok);
      break;
    case Holds::Float: ASSERT_EQ(var.AssignFloat(2.5), ResultCode::Ok); break;
    case Holds::Empty: ASSERT_EQ(var.Assign(), ResultCode::Ok); break;
    case Holds::Text: ASSERT_EQ(var.Assign(kTexts[random() % std::size(kTexts)]), ResultCode::Ok); break;
  }
}

// A random expression of integer operands and operators, fully bracketed.
std::wstring RandomExpression(std::mt19937& random, int depth) {
  static const wchar_t* const kLiterals[] = {
      L"0", L"1", L"2", L"3", L"10", L"0x10", L"007", L"255", L"9223372036854775807", L"65"};
  static const wchar_t* const kOperators[] = {L"+", L"-", L"*",  L"//", L"&", L"|",  L"^",  L"<<", L">>",
                                              L"<", L">", L"<=", L">=", L"=", L"==", L"!=", L"<>"};
  if (depth == 0 || random() % 4 == 0) {
    if (random() % 2) return kLiterals[random() % std::size(kLiterals)];
    return std::wstring(1, static_cast<wchar_t>(L'a' + random() % 5));
  }
  if (random() % 8 == 0) return L"-(" + RandomExpression(random, depth - 1) + L")";
  return L"(" + RandomExpression(random, depth - 1) + L" " + kOperators[random() % std::size(kOperators)] + L" " +
         RandomExpression(random, depth - 1) + L")";
}

TEST(ExprInteger, AgreesWithTheGeneralEvaluator) {
  std::mt19937 random(20261210);
  int shortcuts = 0;
  for (int round = 0; round < 3000; ++round) {
    // Mostly integers, so that the shortcut is taken often enough to prove something.
    for (wchar_t name = L'a'; name <= L'e'; ++name) {
      const wchar_t text[2] = {name, 0};
      const unsigned pick = random() % 10;
      const Holds holds = pick < 6 ? Holds::Integer : static_cast<Holds>(pick - 5);
      Give(*Values().Globals.FindOrAdd(text, VAR_GLOBAL), holds, random);
    }
    const std::wstring expression = RandomExpression(random, 3);
    const CompiledExpression* form = Compile(expression);
    ASSERT_NE(form, nullptr) << Narrow(expression);
    int64_t quick = 0;
    const bool took = form->IntegerOnly && TryIntegerValue(*form, quick);
    const ExprTestResult general = EvaluateExpressionText(expression);
    ASSERT_TRUE(general.Ok) << Narrow(expression) << ": " << Narrow(general.Error);
    if (!took) continue;
    ++shortcuts;
    wchar_t text[kIntegerTextChars];
    IntegerToText(quick, text);
    EXPECT_EQ(Narrow(text), Narrow(general.Text)) << Narrow(expression);
  }
  EXPECT_GT(shortcuts, 300) << "the shortcut was hardly ever taken";
}

TEST(ExprInteger, ShapesItTakesAndDeclines) {
  struct Shape {
    const wchar_t* Expression;
    bool IntegerOnly;
  } shapes[] = {
      {L"n < 2", true},    {L"i + 1", true},      {L"-x * 3", true},      {L"a // b", true},
      {L"x", false},       {L"5", false},         {L"a / b", false},      {L"a ** 2", false},
      {L"a && b", false},  {L"a ? 1 : 2", false}, {L"a . b", false},      {L"(a, b) + 1", false},
      {L"a + 1.5", false}, {L"a + \"1\"", false}, {L"x := 1 + 2", false}, {L"~a + 1", false},
  };
  for (const Shape& shape : shapes) {
    const CompiledExpression* form = Compile(shape.Expression);
    ASSERT_NE(form, nullptr) << Narrow(shape.Expression);
    EXPECT_EQ(form->IntegerOnly, shape.IntegerOnly) << Narrow(shape.Expression);
  }
}

}  // namespace
