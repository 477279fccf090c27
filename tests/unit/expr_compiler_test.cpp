// The expression compiler and the load-time scan: the postfix order and
// circuit links of each construct (precedence, associativity, implicit
// concatenation, member access and its assignment and increment rewrites,
// calls and literals), what the scan creates and rewrites, and every load
// error with its exact message, detail and line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/script_context.h"
#include "load_fixture.h"
#include "values/expr_compiler.h"
#include "values/expr_scan.h"
#include "values/expr_token.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

std::string Narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// How each operator is written in a description, by symbol number.
const char* const kSpelling[] = {
    "",    "",     "",      "",   "",      "",      "",     "",    "bottom", "post++", "post--", "member", ")",   "]",
    "}",   "(",    "[",     "{",  ",",     ":=",    "+=",   "-=",  "*=",     "/=",     "//=",    "|=",     "^=",  "&=",
    "<<=", ">>=",  ".=",    ":",  "?",     "||",    "&&",   "not", "=",      "==",     "!=",     ">",      "<",   ">=",
    "<=",  ".",    "|",     "^",  "&",     "<<",    ">>",   "+",   "-",      "*",      "/",      "//",     "neg", "!",
    "~",   "addr", "deref", "**", "pre++", "pre--", "call", "new", "regex",  "end",
};
static_assert(sizeof(kSpelling) / sizeof(kSpelling[0]) == static_cast<size_t>(ExprSymbol::End) + 1);

// The name a description gives a call's function.
std::string FuncLabel(const ExprFunc* func) {
  if (!func) return "dynamic";
  if (func == &g_ExprMemberGet) return "get";
  if (func == &g_ExprMemberSet) return "set";
  if (func == &g_ExprMethodCall) return "method";
  if (func == &g_ExprMemberGetInPlace) return "getInPlace";
  if (func == &g_ExprNew) return "new";
  if (func == &g_ExprMemberPreIncrement) return "pre++";
  if (func == &g_ExprMemberPreDecrement) return "pre--";
  if (func == &g_ExprMemberPostIncrement) return "post++";
  if (func == &g_ExprMemberPostDecrement) return "post--";
  return Narrow(func->Name);
}

// A compiled expression as text: operands by name or value ($ marks a
// variable used as itself, % a double-deref chunk, _ an omitted parameter,
// # an integer constant), operators by spelling, calls as call:function/count,
// and ">n" after a token whose circuit link leads to token n.
std::string Describe(const CompiledExpression& form) {
  std::string out;
  for (size_t i = 0; i < form.PostfixCount; ++i) {
    const ExprToken& t = form.Postfix[i];
    if (i) out += ' ';
    switch (t.Symbol) {
      case ExprSymbol::RuntimeRef:
        if (t.Parts == g_ExprLoopIndexMarker)
          out += "A_Index";
        else if (t.Parts)
          out += "%" + Narrow(t.Text);
        else
          out += Narrow(t.Var->Name());
        break;
      case ExprSymbol::VariableRef: out += "$" + Narrow(t.Var->Name()); break;
      case ExprSymbol::RawWord: out += Narrow(t.Text); break;
      case ExprSymbol::String: out += "\"" + Narrow(t.Text) + "\""; break;
      case ExprSymbol::Integer: out += "#" + std::to_string(t.ValueInt64); break;
      case ExprSymbol::Omitted: out += "_"; break;
      case ExprSymbol::Call:
      case ExprSymbol::RegExMatch:
        out += (t.Symbol == ExprSymbol::Call ? "call:" : "regex:") + FuncLabel(t.CallInfo->Func) + "/" +
               std::to_string(t.CallInfo->ParamCount) + (t.CallInfo->ExpandLast ? "*" : "");
        break;
      default: out += kSpelling[static_cast<int>(t.Symbol)]; break;
    }
    if (t.Circuit) out += ">" + std::to_string(t.Circuit - form.Postfix);
  }
  return out;
}

// Functions the scripts below may call.
ResultCode CallNothing(const ExprFunc&, ExprToken&, ExprToken**, int, bool) { return ResultCode::Ok; }
const ExprFunc kTestFunctions[] = {
    {L"Add3", 2, 3, false, EXPR_OP_NONE, CallNothing, L"", nullptr},
    {L"Shape", 1, 3, false, EXPR_OP_NONE, CallNothing, L"", nullptr},
    {L"Count", 0, 0, true, EXPR_OP_NONE, CallNothing, L"", nullptr},
};
const ExprFunc* FindTestFunction(std::wstring_view name) {
  for (const ExprFunc& f : kTestFunctions)
    if (CompareNamesNoCase(name, f.Name) == 0) return &f;
  return nullptr;
}

class ExprCompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedFind_ = Values().FindFunction;
    savedNoEnv_ = Values().NoEnv;
    Values().FindFunction = FindTestFunction;
    Values().NoEnv = false;
  }
  void TearDown() override {
    Values().FindFunction = savedFind_;
    Values().NoEnv = savedNoEnv_;
  }
  // The description of the expression of "x := <expression>".
  std::string Compile(const std::string& expression) {
    LoadOutcome got = LoadText("cmpOut := " + expression);
    if (got.Result != ResultCode::Ok) return "error: " + Narrow(got.Error);
    return Describe(*static_cast<const CompiledExpression*>(got.Lines[0]->ArgList[1].CompiledForm));
  }

 private:
  FindFunctionHook savedFind_ = nullptr;
  bool savedNoEnv_ = false;
};

using ExprCompilerPostfix = ExprCompilerTest;
using ExprCompilerErrors = ExprCompilerTest;
using ExprScan = ExprCompilerTest;

struct PostfixCase {
  const char* Expression;
  const char* Postfix;
};

TEST_F(ExprCompilerPostfix, PrecedenceAndAssociativity) {
  const std::vector<PostfixCase> cases = {
      {"a + b * c", "a b c * +"},
      {"(a + b) * c", "a b + c *"},
      {"a - b - c", "a b - c -"},
      {"a ** b ** c", "a b ** c **"},  // left to right: 2**3**2 is 64
      {"-2**2", "2 2 ** neg"},
      {"-2 * 2", "-2 2 *"},
      {"2**-1", "2 -1 **"},
      {"2**-a", "2 a neg **"},
      {"a := b := 1", "$a $b 1 := :="},
      {"a + b := c", "a $b c := +"},
      {"!a = b", "a ! b ="},
      {"not a = b", "a b = not"},
      {"a . b + c", "a b c + ."},
      {"a << b + c", "a b c + <<"},
      {"a | b ^ c & d", "a b c d & ^ |"},
      {"a < b = c > d", "a b < c d > ="},
      {"(x := 1, y := 2)", "$x 1 := $y 2 := ,"},
      {"Count(1, \"x\"*)", "1 \"x\" call:Count/2*"},  // a spread, not a sign
      {"++a", "$a pre++"},
      {"a++", "$a post++"},
      {"true + A_Index", "#1 A_Index +"},
      {"false . A_PtrSize", "#0 #8 ."},
  };
  for (const PostfixCase& c : cases) EXPECT_EQ(Compile(c.Expression), c.Postfix) << c.Expression;
}

TEST_F(ExprCompilerPostfix, CircuitLinks) {
  const std::vector<PostfixCase> cases = {
      {"a || b", "a>2 b ||"},
      {"a and b", "a>2 b &&"},
      {"a || b || c", "a>2 b ||>4 c ||"},
      {"a && b || c", "a>2 b &&>4 c ||"},
      {"a ? b : c", "a>2 b ?>4 c :"},
      {"a ? b : c ? d : e", "a>2 b ?>8 c>5 d ?>7 e : :"},
      {"a ? b ? c : d : e", "a>6 b>3 c ?>5 d : ?>8 e :"},
      {"a || b ? c : d", "a>2 b ||>4 c ?>6 d :"},
      {"x := a ? b : c", "$x a>3 b ?>5 c : :="},
  };
  for (const PostfixCase& c : cases) EXPECT_EQ(Compile(c.Expression), c.Postfix) << c.Expression;
}

TEST_F(ExprCompilerPostfix, ImplicitConcatenation) {
  const std::vector<PostfixCase> cases = {
      {"a b", "a b ."},
      {"\"a\" \"b\"", "\"a\" \"b\" ."},
      {"\"x\" -1", "\"x\" -1 ."},
      {"\"x\" - a", "\"x\" a neg ."},
      {"\"x\" + 1", "\"x\" 1 ."},
      {"\"x\" != a", "\"x\" a !="},
      {"a -1", "a 1 -"},
      {"a (b)", "a b ."},
      {"(a)(b)", "a b ."},
      {"\"a\"(b)", "\"a\" b ."},
      {"a.b c", "a b call:get/2 c ."},
      {"1 2", "1 2 ."},
  };
  for (const PostfixCase& c : cases) EXPECT_EQ(Compile(c.Expression), c.Postfix) << c.Expression;
}

TEST_F(ExprCompilerPostfix, MembersCallsAndLiterals) {
  const std::vector<PostfixCase> cases = {
      {"x.y", "x y call:get/2"},
      {"x.y.z", "x y call:get/2 z call:get/2"},
      {"x.y := 1", "x y 1 call:set/3"},
      {"x.y.z := 1", "x y call:get/2 z 1 call:set/3"},
      {"x[1] := 2", "x 1 2 call:set/3"},
      {"x.y += 2", "x y call:getInPlace/2 2 + call:set/3"},
      {"x[a, b] .= 1", "x a b #3 call:getInPlace/1 1 . call:set/4"},
      {"x.y[z]", "x y z call:get/3"},
      {"x.y[]", "x y call:get/2 call:get/1"},
      {"x[y](1)", "x y 1 call:method/3"},
      {"x[](1)", "x _ 1 call:method/3"},
      {"x.y(1, 2)", "x y 1 2 call:method/4"},
      {"x.y()", "x y call:method/2"},
      {"new NewCls", "NewCls call:new/1"},
      {"new NewCls(1, 2)", "NewCls 1 2 call:new/3"},
      {"new a.b(1)", "a b call:get/2 1 call:new/2"},
      {"++x.y", "$x y call:pre++/2"},
      {"--x[1]", "$x 1 call:pre--/2"},
      {"x.y++", "x y call:post++/2"},
      {"++x.y.z", "$x y call:get/2 z call:pre++/2"},
      {"{a: 1, b: 2}", "a 1 b 2 call:Object/4"},
      {"{}", "call:Object/0"},
      {"[1, 2]", "1 2 call:Array/2"},
      {"[]", "call:Array/0"},
      {"Add3(a, b)", "a b call:Add3/2"},
      {"Shape(1,,3)", "1 _ 3 call:Shape/3"},
      {"Count(a*)", "a call:Count/1*"},
      {"Count()", "call:Count/0"},
      {"Add3(1, (2, 3))", "1 2 3 , call:Add3/2"},
      {"a ~= b", "a b regex:RegExMatch/2"},
      {"%n%(1)", "%%n% 1 call:dynamic/1"},
      {"Arr%i% + 1", "%Arr%i% 1 +"},
      {"new %c%(1)", "%%c% 1 call:new/2"},
  };
  for (const PostfixCase& c : cases) EXPECT_EQ(Compile(c.Expression), c.Postfix) << c.Expression;
}

TEST_F(ExprCompilerPostfix, IntegerLiteralsAreParsedOnce) {
  LoadOutcome got = LoadText("cmpOut := 0x10 + 1.5 + 007 + -5 + \"12\"");
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  const auto& form = *static_cast<const CompiledExpression*>(got.Lines[0]->ArgList[1].CompiledForm);
  ASSERT_EQ(Describe(form), "0x10 1.5 + 007 + -5 + \"12\" +");
  struct Literal {
    size_t Index;
    bool Parsed;
    int64_t Value;
  };
  const Literal literals[] = {{0, true, 16}, {1, false, 0}, {3, true, 7}, {5, true, -5}, {7, false, 0}};
  for (const Literal& l : literals) {
    const ExprToken& t = form.Postfix[l.Index];
    ASSERT_EQ(t.PreParsed != nullptr, l.Parsed) << l.Index;
    if (l.Parsed) {
      EXPECT_EQ(*t.PreParsed, l.Value) << l.Index;
    }
  }
  EXPECT_EQ(form.Postfix[form.PostfixCount].Symbol, ExprSymbol::End);
}

TEST_F(ExprCompilerPostfix, NoEnvMakesVariablesDirect) {
  Values().NoEnv = true;
  EXPECT_EQ(Compile("a + b"), "$a $b +");
  EXPECT_EQ(Compile("A_Index + a"), "A_Index $a +");
}

TEST_F(ExprScan, WordOperatorsReferencesAndVariables) {
  LoadOutcome got = LoadText(
      "scOut := scA and scB or not scC\n"
      "scOut := {and: 1, scKeyName: scD}\n"
      "scOut := scObj.scMemberName . new scClass(1) . ScFunc(1, 2) . scArr%scIdx%\n",
      LoadDepth::ParseOnly);
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  EXPECT_EQ(ArgTextOf(got.Lines[0]->ArgList[1]), L"scA &&  scB || not scC");
  EXPECT_EQ(ArgTextOf(got.Lines[1]->ArgList[1]), L"{and: 1, scKeyName: scD}");
  const wchar_t* created[] = {L"scA", L"scB", L"scC", L"scD", L"scObj", L"scClass", L"scIdx"};
  for (const wchar_t* name : created) EXPECT_NE(Values().Globals.Find(name), nullptr) << Narrow(name);
  const wchar_t* notVariables[] = {L"scKeyName", L"scMemberName", L"ScFunc", L"scArr"};
  for (const wchar_t* name : notVariables) EXPECT_EQ(Values().Globals.Find(name), nullptr) << Narrow(name);
  // Word operators and keys are no references.
  EXPECT_EQ(static_cast<const CompiledExpression*>(got.Lines[0]->ArgList[1].CompiledForm)->RefCount, 3);
  EXPECT_EQ(static_cast<const CompiledExpression*>(got.Lines[1]->ArgList[1].CompiledForm)->RefCount, 1);
  const auto& form = *static_cast<const CompiledExpression*>(got.Lines[2]->ArgList[1].CompiledForm);
  ASSERT_EQ(form.RefCount, 4);
  EXPECT_EQ(form.Refs[0].Kind, ExprRefKind::Variable);
  EXPECT_EQ(form.Refs[1].Kind, ExprRefKind::Variable);  // the class after new
  EXPECT_EQ(form.Refs[2].Kind, ExprRefKind::Call);
  EXPECT_EQ(form.Refs[3].Kind, ExprRefKind::DoubleDeref);
  EXPECT_EQ(form.Refs[3].Length, 12);  // scArr%scIdx%: the word joins the chunk
  EXPECT_EQ(form.Refs[3].Parts[0].Offset, 5);
  EXPECT_EQ(form.Refs[3].Parts[1].Var, nullptr);
}

struct ErrorCase {
  std::string Expression;
  const wchar_t* Message;
  const wchar_t* Detail;  // null: not checked
};

TEST_F(ExprCompilerErrors, ExactMessages) {
  const std::vector<ErrorCase> cases = {
      {"\"abc", L"Missing close-quote", nullptr},
      {"a. b", L"Ambiguous or invalid use of \".\"", nullptr},
      {".abc", L"Ambiguous or invalid use of \".\"", nullptr},
      {"a.", L"Ambiguous or invalid use of \".\"", nullptr},
      {"a 'b", L"The leftmost character above is illegal in an expression.", L"'b"},
      {"a \\ b", L"The leftmost character above is illegal in an expression.", L"\\ b"},
      {"x.y$", L"This character is not allowed here.", L"$"},
      // A dot that starts a number cannot begin a double reference.
      {".5%y%", L"This character is not allowed here.", nullptr},
      {"%%", L"Empty variable reference (%%).", nullptr},
      {"a%b", L"This parameter contains a variable name missing its ending percent sign.", nullptr},
      {"f(1)", L"Call to nonexistent function.", L"f"},
      {"1 + Nope(Add3(1, 2))", L"Call to nonexistent function.", L"Nope"},
      {"(1 + 2", L"Missing \")\"", L""},
      {"1 + 2)", L"Unexpected \")\"", L""},
      {"[1, 2", L"Missing \"]\"", L""},
      {"1]", L"Unexpected \"]\"", L""},
      {"{a: 1", L"Missing \"}\"", L""},
      {"(1}", L"Unexpected \"}\"", L""},
      {"a {b: 1}", L"Unexpected \"{\"", L""},
      {"{a: 1, b}", L"Missing \"key:\" in object literal.", L""},
      {"{a}", L"Missing \"key:\" in object literal.", L""},
      {"a : b", L"A \":\" is missing its \"?\"", L""},
      {"(a : b)", L"Missing \")\" before \":\"", L""},
      {"[a : b]", L"Missing \"]\" before \":\"", L""},
      {"[1](2)", L"Unsupported method call syntax.", L""},
      {"y[1, 2](3)", L"Unsupported method call syntax.", L""},
      {"Add3(1)", L"Too few parameters passed to function.", L"Add3(1)"},
      {"Add3(1, 2, 3, 4)", L"Too many parameters passed to function.", L"Add3(1, 2, 3, 4)"},
      {"Add3(1,,3)", L"Blank parameter", L"Add3(1,,3)"},
      {"Shape(1,)", L"Blank parameter", L"Shape(1,)"},
      {"Shape(,2)", L"Blank parameter", L"Shape(,2)"},
  };
  for (const ErrorCase& c : cases) {
    LoadOutcome got = LoadText("Sleep 1\ncmpOut := " + c.Expression);
    EXPECT_EQ(got.Result, ResultCode::Fail) << c.Expression;
    EXPECT_EQ(Narrow(got.Error), Narrow(c.Message)) << c.Expression;
    if (c.Detail) {
      EXPECT_EQ(Narrow(got.ErrorExtra), Narrow(c.Detail)) << c.Expression;
    }
    EXPECT_EQ(got.ErrorLine, 2) << c.Expression;
  }
}

TEST_F(ExprCompilerErrors, TokenAndReferenceLimits) {
  std::string ones;
  for (int i = 0; i < 255; ++i) ones += "1+";
  ones += "1";  // 511 tokens
  EXPECT_EQ(LoadText("cmpOut := !" + ones).Result, ResultCode::Ok);
  LoadOutcome tooLong = LoadText("cmpOut := !!" + ones);
  EXPECT_EQ(tooLong.Result, ResultCode::Fail);
  EXPECT_EQ(tooLong.Error, L"Expression too long");

  // 512 references pass the scan (and then make too many tokens); 513 do not.
  std::string refs;
  for (int i = 0; i < 512; ++i) refs += "lim" + std::to_string(i % 10) + ",";
  LoadOutcome atLimit = LoadText("cmpOut := (" + refs + "0)");
  EXPECT_EQ(atLimit.Error, L"Expression too long");
  LoadOutcome tooMany = LoadText("cmpOut := (" + refs + "lim0)");
  EXPECT_EQ(tooMany.Result, ResultCode::Fail);
  EXPECT_EQ(tooMany.Error, L"Too many var/func refs.");
}

}  // namespace
