// The line parser: which action each line becomes, its arguments and their
// kinds, and the exact load errors of malformed lines.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/command_table.h"
#include "load_fixture.h"

namespace {

// One parsed line as the tests describe it: the action, then each argument
// prefixed by its kind ("out:", "in:", "expr:" or nothing).
std::string Describe(const ScriptLine& line) {
  std::string out = std::to_string(static_cast<int>(line.CommandIndex));
  for (int i = 0; i < line.ArgTotal; ++i) {
    const ArgRecord& arg = line.ArgList[i];
    out += " |";
    if (arg.Kind == ARG_TYPE_OUTPUT_VAR) out += "out:";
    if (arg.Kind == ARG_TYPE_INPUT_VAR) out += "in:";
    if (arg.ExprFlag) out += "expr:";
    out += Narrow(ArgTextOf(arg));
  }
  return out;
}

std::string Expect(ActionType action, std::initializer_list<const char*> args = {}) {
  std::string out = std::to_string(static_cast<int>(action));
  for (const char* arg : args) out += std::string(" |") + arg;
  return out;
}

struct ParseCase {
  const char* Line;
  std::vector<std::string> Lines;
};

TEST(LineParser, ClassificationTable) {
  const std::vector<ParseCase> cases = {
      {"MsgBox", {Expect(ACT_MSGBOX)}},
      {"MsgBox, a, b, c, d, e", {Expect(ACT_MSGBOX, {"a", "b", "c", "d, e"})}},
      {"MsgBox hello world", {Expect(ACT_MSGBOX, {"hello world"})}},
      {"MsgBox a`, b", {Expect(ACT_MSGBOX, {"a, b"})}},
      {"MsgBox a`tb", {Expect(ACT_MSGBOX, {"a\tb"})}},
      {"MsgBox, a,, c", {Expect(ACT_MSGBOX, {"a", "", "c"})}},
      {"x = hello, world", {Expect(ACT_ASSIGN, {"out:x", "hello, world"})}},
      {"x =", {Expect(ACT_ASSIGN, {"out:x", ""})}},
      {"x = % 1 + 2", {Expect(ACT_ASSIGNEXPR, {"out:x", "expr:1 + 2"})}},
      {"x := 1 + 2", {Expect(ACT_ASSIGNEXPR, {"out:x", "expr:1 + 2"})}},
      {"x:=5", {Expect(ACT_ASSIGNEXPR, {"out:x", "expr:5"})}},
      {"x++", {Expect(ACT_ADD, {"out:x", "1"})}},
      {"--x", {Expect(ACT_SUB, {"out:x", "1"})}},
      {"x++ + 1", {Expect(ACT_EXPRESSION, {"expr:x++ + 1"})}},
      {"x += 5", {Expect(ACT_ADD, {"out:x", "5"})}},
      {"x += 5, Days", {Expect(ACT_ADD, {"out:x", "5", "Days"})}},
      {"x += y, (z)", {Expect(ACT_EXPRESSION, {"expr:x += y, (z)"})}},
      {"x *= 2", {Expect(ACT_MULT, {"out:x", "2"})}},
      {"x /= 2, y", {Expect(ACT_EXPRESSION, {"expr:x /= 2, y"})}},
      {"x .= \"a\"", {Expect(ACT_EXPRESSION, {"expr:x .= \"a\""})}},
      {"x //= 2", {Expect(ACT_EXPRESSION, {"expr:x //= 2"})}},
      {"x.y := 1", {Expect(ACT_EXPRESSION, {"expr:x.y := 1"})}},
      {"x.y.z()", {Expect(ACT_EXPRESSION, {"expr:x.y.z()"})}},
      {"x[1] := 2", {Expect(ACT_EXPRESSION, {"expr:x[1] := 2"})}},
      {"Sleep(100)", {Expect(ACT_EXPRESSION, {"expr:Sleep(100)"})}},
      {"Sleep (100)", {Expect(ACT_SLEEP, {"expr:(100)"})}},
      {"Sleep 100", {Expect(ACT_SLEEP, {"100"})}},
      {"Sleep delay", {Expect(ACT_SLEEP, {"expr:delay"})}},
      {"Sleep %delay%", {Expect(ACT_SLEEP, {"%delay%"})}},
      {"Sleep, % delay * 2", {Expect(ACT_SLEEP, {"expr:delay * 2"})}},
      {"MsgBox % \"a, b\"", {Expect(ACT_MSGBOX, {"expr:\"a, b\""})}},
      {"x := a ? b : c", {Expect(ACT_ASSIGNEXPR, {"out:x", "expr:a ? b : c"})}},
      {"a ? b() : c()", {Expect(ACT_EXPRESSION, {"expr:a ? b() : c()"})}},
      {"if x between 1 and 5", {Expect(ACT_IFBETWEEN, {"in:x", "1", "5"})}},
      {"if x not between 1 and 5", {Expect(ACT_IFNOTBETWEEN, {"in:x", "1", "5"})}},
      {"if (x > 1) {", {Expect(ACT_IFEXPR, {"expr:(x > 1)"}), Expect(ACT_BLOCK_BEGIN)}},
      {"if(x)", {Expect(ACT_IFEXPR, {"expr:(x)"})}},
      {"if x = 5", {Expect(ACT_IFEQUAL, {"in:x", "5"})}},
      {"if x <> 5", {Expect(ACT_IFNOTEQUAL, {"in:x", "5"})}},
      {"if x != 5", {Expect(ACT_IFNOTEQUAL, {"in:x", "5"})}},
      {"if x >= 5", {Expect(ACT_IFGREATEROREQUAL, {"in:x", "5"})}},
      {"if x<5", {Expect(ACT_IFLESS, {"in:x", "5"})}},
      {"if x in a,b", {Expect(ACT_IFIN, {"in:x", "a,b"})}},
      {"if x not in a,b", {Expect(ACT_IFNOTIN, {"in:x", "a,b"})}},
      {"if x contains a", {Expect(ACT_IFCONTAINS, {"in:x", "a"})}},
      {"if x is integer", {Expect(ACT_IFIS, {"in:x", "integer"})}},
      {"if x is not integer", {Expect(ACT_IFISNOT, {"in:x", "integer"})}},
      {"if not x", {Expect(ACT_IFEXPR, {"expr:not x"})}},
      {"if x", {Expect(ACT_IFEXPR, {"expr:x"})}},
      {"if % x + 1", {Expect(ACT_IFEXPR, {"expr:x + 1"})}},
      {"Loop", {Expect(ACT_LOOP)}},
      {"Loop {", {Expect(ACT_LOOP), Expect(ACT_BLOCK_BEGIN)}},
      {"Loop, 5 {", {Expect(ACT_LOOP, {"5"}), Expect(ACT_BLOCK_BEGIN)}},
      {"Loop, Parse, text, `,", {Expect(ACT_LOOP, {"Parse", "in:text", ","})}},
      {"while (x < 5)", {Expect(ACT_WHILE, {"expr:(x < 5)"})}},
      {"While x < 5 {", {Expect(ACT_WHILE, {"expr:x < 5"}), Expect(ACT_BLOCK_BEGIN)}},
      {"else {", {Expect(ACT_ELSE), Expect(ACT_BLOCK_BEGIN)}},
      {"else MsgBox", {Expect(ACT_ELSE), Expect(ACT_MSGBOX)}},
      {"} else {", {Expect(ACT_BLOCK_END), Expect(ACT_ELSE), Expect(ACT_BLOCK_BEGIN)}},
      {"try {", {Expect(ACT_TRY), Expect(ACT_BLOCK_BEGIN)}},
      {"catch e {", {Expect(ACT_CATCH, {"out:e"}), Expect(ACT_BLOCK_BEGIN)}},
      {"{ MsgBox", {Expect(ACT_BLOCK_BEGIN), Expect(ACT_MSGBOX)}},
      {"IfEqual, x, 1, MsgBox hi", {Expect(ACT_IFEQUAL, {"in:x", "1"}), Expect(ACT_MSGBOX, {"hi"})}},
      {"IfExist, file.txt, Sleep 5", {Expect(ACT_IFEXIST, {"file.txt"}), Expect(ACT_SLEEP, {"5"})}},
      {"SetEnv, x, 5", {Expect(ACT_ASSIGN, {"out:x", "5"})}},
      {"EnvAdd, x, 5", {Expect(ACT_ADD, {"out:x", "5"})}},
      {"WinGetActiveTitle, t", {Expect(ACT_WINGETTITLE, {"out:t", "A"})}},
      {"WinGetActiveStats, t, w, h, x, y",
       {Expect(ACT_WINGETTITLE, {"out:t", "A"}), Expect(ACT_WINGETPOS, {"out:w", "out:h", "out:x", "out:y", "A"})}},
      {"StringLen, len, str", {Expect(ACT_STRINGLEN, {"out:len", "in:str"})}},
      {"StringLeft, out, in, n + 1", {Expect(ACT_STRINGLEFT, {"out:out", "in:in", "expr:n + 1"})}},
      {"StringLen, %name%, str", {Expect(ACT_STRINGLEN, {"out:%name%", "in:str"})}},
      {"lbl:", {}},
      {"MsgBox, 100`%", {Expect(ACT_MSGBOX, {"100%"})}},
      {"Send ++a", {Expect(ACT_SEND, {"++a"})}},
      {"Send {Enter}", {Expect(ACT_SEND, {"{Enter}"})}},
      {"Return", {Expect(ACT_RETURN)}},
      {"Gosub, lbl", {Expect(ACT_GOSUB, {"lbl"})}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.Line);
    LoadOutcome got = LoadText(c.Line, LoadDepth::ParseOnly);
    ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
    std::vector<std::string> lines;
    for (ScriptLine* line : got.Lines) lines.push_back(Describe(*line));
    EXPECT_EQ(lines, c.Lines);
  }
}

TEST(LineParser, DerefsAreLocated) {
  LoadOutcome got = LoadText("MsgBox %x% and %y%!", LoadDepth::ParseOnly);
  ASSERT_EQ(got.Result, ResultCode::Ok);
  const ArgRecord& arg = got.Lines[0]->ArgList[0];
  ASSERT_NE(arg.RefList, nullptr);
  EXPECT_EQ(arg.RefList[0].Offset, 0);
  EXPECT_EQ(arg.RefList[0].Length, 3);
  EXPECT_EQ(arg.RefList[1].Offset, 8);
  EXPECT_EQ(arg.RefList[1].Length, 3);
  EXPECT_EQ(arg.RefList[2].Var, nullptr);
}

TEST(LineParser, LoadErrorTable) {
  const std::vector<LoadErrorCase> cases = {
      {"MsgBox %x", L"This parameter contains a variable name missing its ending percent sign.", 1},
      {"MsgBox %x`%", L"Invalid `%.", 1},
      {"MsgBox %%", L"Empty variable reference (%%).", 1},
      {"MsgBox %a b%", L"The following variable name contains an illegal character:\n\"a b\"", 1},
      {"\nStringLen", L"\"StringLen\" requires at least 2 parameters.", 2},
      {"Sleep", L"\"Sleep\" requires at least 1 parameter.", 1},
      {"StringLen, , x", L"\"StringLen\" requires that parameter #1 be non-blank.", 1},
      {"StringLen, a b, x", L"The following variable name contains an illegal character:\n\"a b\"", 1},
      {"StringLen, A_Index, x", L"Not allowed as an output variable.", 1},
      {"foo bar", L"This line does not contain a recognized action.", 1},
      {"foo bar::baz", L"Invalid hotkey.", 1},
      {"x := \"abc", L"Missing close-quote", 1},
      {"if x between 1", L"BETWEEN requires the word AND.", 1},
      {"While {", L"Parameter #1 required", 1},
      {":", L"This line does not contain a recognized action.", 1},
      {"lbl:\nlbl:", L"Duplicate label.", 2},
      {"^a::MsgBox", L"Hotkeys are not supported by this version yet.", 1},
      {"::btw::by the way", L"Hotstrings are not supported by this version yet.", 1},
      {"class Foo", L"Missing \"{\"", 1},
      // Functions live for the whole process, so each case names its own.
      {"lpDupParam(a, A)\n{", L"Duplicate parameter.", 1},
      {"lpBadDefault(a := b) {", L"Unsupported parameter default.", 1},
      {"lpOuter() {\nlpInner() {", L"Functions cannot contain functions.", 2},
      {"lpScope() {\nx := 1\nlocal y", L"Local variables must not be declared in this function.", 3},
      {"lpLone() {\nx := 1\nstatic", L"This line does not contain a recognized action.", 3},
      {"global A_Index", L"Built-in variables must not be declared.", 1},
      {"global", L"This line does not contain a recognized action.", 1},
  };
  ExpectLoadErrors(cases, LoadDepth::ParseOnly);
}

// A definition becomes its body's braces; declarations without initialisers
// add no line, and a static initialiser is marked to run before the script.
TEST(LineParser, FunctionDefinitionsAndDeclarations) {
  LoadOutcome got = LoadText(
      "global lpShared\n"
      "lpAdd(a, b := 1)\n"
      "{\n"
      "  global lpShared\n"
      "  static calls := 0\n"
      "  return a + b\n"
      "}",
      LoadDepth::ParseOnly);
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  std::vector<std::string> lines;
  for (ScriptLine* line : got.Lines) lines.push_back(Describe(*line));
  const std::vector<std::string> expected = {Expect(ACT_BLOCK_BEGIN), Expect(ACT_STATIC, {"out:calls", "expr:0"}),
                                             Expect(ACT_RETURN, {"expr:a + b"}), Expect(ACT_BLOCK_END)};
  EXPECT_EQ(lines, expected);
  ASSERT_EQ(got.Lines.size(), 4u);
  EXPECT_EQ(got.Lines[0]->Extra, kFunctionBodyMark);
  EXPECT_EQ(got.Lines[3]->Extra, kFunctionBodyMark);
}

TEST(LineParser, FunctionCallLineIsNotADefinition) {
  LoadOutcome got = LoadText("x()\nMsgBox", LoadDepth::ParseOnly);
  ASSERT_EQ(got.Result, ResultCode::Ok);
  ASSERT_EQ(got.Lines.size(), 2u);
  EXPECT_EQ(got.Lines[0]->CommandIndex, ACT_EXPRESSION);
  EXPECT_EQ(got.Lines[0]->SourceLine, 1);
  EXPECT_EQ(got.Lines[1]->SourceLine, 2);
}

TEST(LineParser, TenThousandLinesLoadQuickly) {
  std::string script;
  for (int i = 0; i < 10000; ++i) {
    switch (i % 5) {
      case 0: script += "x" + std::to_string(i % 97) + " := " + std::to_string(i) + " + y\n"; break;
      case 1: script += "if (x > " + std::to_string(i) + ")\n"; break;
      case 2: script += "  MsgBox, 0, Title, Text %x" + std::to_string(i % 31) + "% and more`, text\n"; break;
      case 3: script += "StringLen, len, str ; a comment\n"; break;
      default: script += "Loop, 3 {\n  count++\n}\n"; break;
    }
  }
  auto start = std::chrono::steady_clock::now();
  LoadOutcome got = LoadText(script);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error) << " at " << got.ErrorLine;
  EXPECT_GT(got.Lines.size(), 10000u);
  std::printf("[ timing ] loading %zu lines took %.1f ms\n", got.Lines.size(), ms);
  EXPECT_LT(ms, 1000.0);
}

}  // namespace
