// Logical-line assembly: every rule of the reader, as a table of texts and
// the logical lines (with their numbers) they must give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/script_context.h"
#include "exec/errors.h"
#include "script/script_reader.h"
#include "script/text_stream.h"

namespace {

struct Line {
  int Number;
  std::wstring Text;
  bool operator==(const Line& o) const { return Number == o.Number && Text == o.Text; }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
  std::string narrow;
  for (wchar_t c : line.Text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return out << line.Number << ":\"" << narrow << "\"";
}

struct ReadResult {
  ResultCode Result = ResultCode::Ok;
  std::vector<Line> Lines;
  std::wstring Error;
  int ErrorLine = -1;
};

ReadResult* g_current = nullptr;

void CaptureLoadError(std::wstring_view message, std::wstring_view, int line) {
  g_current->Error.assign(message);
  g_current->ErrorLine = line;
}

// Reads UTF-8 bytes as a script would be read and collects its lines.
ReadResult ReadScriptText(const std::string& bytes, int firstLine = 1) {
  ReadResult out;
  g_current = &out;
  Script().Syntax = SyntaxChars();
  SetLoadErrorSink(CaptureLoadError);
  TextMem stream;
  TextMem::Buffer buffer{const_cast<char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), false};
  EXPECT_TRUE(stream.Open(reinterpret_cast<const wchar_t*>(&buffer),
                          TextStream::READ | TextStream::EOL_CRLF | TextStream::EOL_ORPHAN_CR, CP_UTF8));
  ScriptReader reader(stream, Script().Syntax, firstLine);
  out.Result = reader.ReadAll(
      [&](std::wstring_view text, int number) {
        out.Lines.push_back({number, std::wstring(text)});
        return ResultCode::Ok;
      },
      [](std::wstring_view line) {
        // The reader's directives: only the comment flag matters here.
        if (line.substr(0, 12) != L"#CommentFlag") return EarlyDirective::PassOn;
        std::wstring_view param = line.substr(std::min<size_t>(line.size(), 13));
        if (param == L"!") {
          EXPECT_EQ(ReportLoadError(L"Parameter #1 invalid."), ResultCode::Fail);
          return EarlyDirective::Failed;
        }
        if (!param.empty()) Script().Syntax.CommentFlag.assign(param);
        return EarlyDirective::PassOn;
      });
  SetLoadErrorSink(nullptr);
  g_current = nullptr;
  return out;
}

struct ReaderCase {
  const char* Name;
  std::string Input;
  std::vector<Line> Expected;
};

const std::vector<ReaderCase>& ReaderCases() {
  static const std::vector<ReaderCase> cases = {
      {"crlf endings", "a\r\nb\r\n", {{1, L"a"}, {2, L"b"}}},
      {"lf endings", "a\nb\n", {{1, L"a"}, {2, L"b"}}},
      {"cr endings", "a\rb\r", {{1, L"a"}, {2, L"b"}}},
      {"utf8 bom skipped",
       "\xEF\xBB\xBF"
       "a\nb",
       {{1, L"a"}, {2, L"b"}}},
      {"non-ascii text", "x := \xC3\xA9t\xC3\xA9", {{1, L"x := \u00E9t\u00E9"}}},
      {"blank and comment lines", "; c\n\n  \t\na", {{4, L"a"}}},
      {"trailing blanks trimmed", "  a  \t", {{1, L"a"}}},
      {"comment after blank", "x := 1 ; c", {{1, L"x := 1"}}},
      {"comment after tab", "x := 1\t;c", {{1, L"x := 1"}}},
      {"semicolon after text is literal", "x:=a;b", {{1, L"x:=a;b"}}},
      {"escaped semicolon", "x := a `;b ; c", {{1, L"x := a ;b"}}},
      {"block comment", "/*\nfoo\n*/\nbar", {{4, L"bar"}}},
      {"block comment first line", "/* x\n*/ bar", {{2, L"bar"}}},
      {"block end keeps rest", "/*\nfoo\n*/  bar", {{3, L"bar"}}},
      {"block left open", "a\n/*\nb", {{1, L"a"}}},
      {"stray block end", "*/ x", {{1, L"x"}}},
      {"block end hotkey kept", "*/::x", {{1, L"*/::x"}}},
      {"plus continues", "x := 1\n+ 2", {{1, L"x := 1 + 2"}}},
      {"blank line inside continuation", "x := 1\n\n+ 2", {{1, L"x := 1 + 2"}}},
      {"double plus does not continue", "x := 1\n++y", {{1, L"x := 1"}, {2, L"++y"}}},
      {"double minus does not continue", "x := 1\n--y", {{1, L"x := 1"}, {2, L"--y"}}},
      {"comma joins directly", "MsgBox a\n, b", {{1, L"MsgBox a, b"}}},
      {"dot continues", "x := a\n. b", {{1, L"x := a . b"}}},
      {"and continues", "if a\nand b", {{1, L"if a and b"}}},
      {"OR continues", "if a\nOR b", {{1, L"if a OR b"}}},
      {"and assignment does not continue", "x\nand := 5", {{1, L"x"}, {2, L"and := 5"}}},
      {"andy does not continue", "x\nandy", {{1, L"x"}, {2, L"andy"}}},
      {"label does not continue", "x\n+lab:", {{1, L"x"}, {2, L"+lab:"}}},
      {"comma label continues", "x\n, y:", {{1, L"x, y:"}}},
      {"hotstring does not continue", "x\n:*:btw::by the way", {{1, L"x"}, {2, L":*:btw::by the way"}}},
      {"hotkey does not continue", "x\n!a::Send b", {{1, L"x"}, {2, L"!a::Send b"}}},
      {"comma hotkey", "x\n,::Send b", {{1, L"x"}, {2, L",::Send b"}}},
      {"comma combination hotkey", "x\n, & a::Send b", {{1, L"x"}, {2, L", & a::Send b"}}},
      {"quoted double colon continues", "x := \"a\"\n. \"::\"", {{1, L"x := \"a\" . \"::\""}}},
      {"section default", "x =\n(\na\nb\n)", {{1, L"x =a\nb"}}},
      {"section join comma", "x =\n(Join,\na\nb\n)", {{1, L"x =a,b"}}},
      {"section join escaped s", "x =\n(Join`s\na\nb\n)", {{1, L"x =a b"}}},
      {"section join empty", "x =\n(Join\na\nb\n)", {{1, L"x =ab"}}},
      {"section keeps leading blanks", "x =\n(\n  a\n)", {{1, L"x =  a"}}},
      {"section ltrim", "x =\n(LTrim\n  a\n\tb\n)", {{1, L"x =a\nb"}}},
      {"section ltrim0", "x =\n(LTrim0\n  a\n)", {{1, L"x =  a"}}},
      {"section rtrim default", "x =\n(\na  \n)", {{1, L"x =a"}}},
      {"section rtrim0", "x =\n(RTrim0\na  \n)", {{1, L"x =a  "}}},
      {"section comments", "x =\n(Comments\na ; c\n  ; whole\nb\n)", {{1, L"x =a\nb"}}},
      {"section keeps comments", "x =\n(\na ; c\n)", {{1, L"x =a ; c"}}},
      {"section percent literal", "x =\n(%\n100%\n)", {{1, L"x =100`%"}}},
      {"section commas escaped", "x =\n(\na,b\n)", {{1, L"x =a`,b"}}},
      {"section commas delimit", "x =\n(,\na,b\n)", {{1, L"x =a,b"}}},
      {"section escapes literal", "x =\n(`\na`tb\n)", {{1, L"x =a``tb"}}},
      {"section empty line adds join", "x =\n(\na\n\nb\n)", {{1, L"x =a\n\nb"}}},
      {"section close appends rest", "MsgBox\n(\na\n)  , more  ", {{1, L"MsgBoxa  , more"}}},
      {"section literal block comment", "x =\n(\n/* y\n)", {{1, L"x =/* y"}}},
      {"parenthesised word is not a section", "(x)\ny", {{1, L"(x)"}, {2, L"y"}}},
      {"colon second is not a section", "(:\ny", {{1, L"(:"}, {2, L"y"}}},
      {"section then next line", "x =\n(\na\n)\ny", {{1, L"x =a"}, {5, L"y"}}},
      {"comment flag directive", "#CommentFlag //\nx // c\ny ; d", {{1, L"#CommentFlag //"}, {2, L"x"}, {3, L"y ; d"}}},
  };
  return cases;
}

TEST(ScriptReader, LogicalLineTable) {
  for (const ReaderCase& c : ReaderCases()) {
    SCOPED_TRACE(c.Name);
    ReadResult got = ReadScriptText(c.Input);
    EXPECT_EQ(got.Result, ResultCode::Ok);
    EXPECT_EQ(got.Lines, c.Expected);
  }
}

TEST(ScriptReader, EmbeddedScriptCountsFromMarkerLine) {
  ReadResult got = ReadScriptText("; <COMPILER: v1.1.29.01>\nx\ny", 0);
  EXPECT_EQ(got.Lines, (std::vector<Line>{{1, L"x"}, {2, L"y"}}));
}

TEST(ScriptReader, LongPhysicalLineIsSplit) {
  std::string input(20000, 'a');
  input += "\nb";
  ReadResult got = ReadScriptText(input);
  ASSERT_EQ(got.Lines.size(), 3u);
  EXPECT_EQ(got.Lines[0].Text.size(), 16384u);
  EXPECT_EQ(got.Lines[1].Text.size(), 3616u);
  EXPECT_EQ(got.Lines[2], (Line{2, L"b"}));
}

TEST(ScriptReader, LineOfExactlyTheLimitIsNotSplit) {
  std::string input(16384, 'a');
  input += "\nb";
  ReadResult got = ReadScriptText(input);
  ASSERT_EQ(got.Lines.size(), 2u);
  EXPECT_EQ(got.Lines[0].Text.size(), 16384u);
  EXPECT_EQ(got.Lines[1], (Line{2, L"b"}));
}

struct ErrorCase {
  const char* Name;
  std::string Input;
  std::wstring Message;
  int Line;
};

TEST(ScriptReader, LoadErrorTable) {
  const std::string longPart(9000, 'a');
  const std::vector<ErrorCase> cases = {
      {"unclosed section", "x =\n(\na\nb", L"Missing \")\"", 2},
      {"unclosed empty section", "x\n(", L"Missing \")\"", 2},
      {"continued line too long", "x := 1\n. " + longPart + "\n. " + longPart, L"Continuation section too long.", 3},
      {"section too long", "x =\n(\n" + longPart + "\n" + longPart + "\n)", L"Continuation section too long.", 4},
      {"bad comment flag", "#CommentFlag !\nx", L"Parameter #1 invalid.", 1},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ReadResult got = ReadScriptText(c.Input);
    EXPECT_EQ(got.Result, ResultCode::Fail);
    EXPECT_EQ(got.Error, c.Message);
    EXPECT_EQ(got.ErrorLine, c.Line);
  }
}

TEST(ScriptReader, ContinuedLineMayReachTheLimit) {
  std::string input = "x\n." + std::string(16381, 'a');  // "x" + " " + 16382 = 16384
  EXPECT_EQ(ReadScriptText(input).Result, ResultCode::Fail);
  input = "x\n." + std::string(16380, 'a');  // 16383 characters in all
  ReadResult got = ReadScriptText(input);
  EXPECT_EQ(got.Result, ResultCode::Ok);
  ASSERT_EQ(got.Lines.size(), 1u);
  EXPECT_EQ(got.Lines[0].Text.size(), 16383u);
}

TEST(ScriptReader, ContinuationLineRules) {
  struct Case {
    const wchar_t* Line;
    bool Continues;
  } cases[] = {
      {L"+ x", true},      {L"++x", false},     {L"--x", false},  {L"::x", false},      {L", x", true},
      {L". x", true},      {L"? a : b", true},  {L"~x", true},    {L"and x", true},     {L"or x", true},
      {L"and= 1", false},  {L"or := 1", false}, {L"x", false},    {L"+x:", false},      {L", x:", true},
      {L":*:a::b", false}, {L"!a::b", false},   {L",::b", false}, {L"!\"a::b\"", true}, {L"and", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.Continues));
    EXPECT_EQ(reader::IsContinuationLine(c.Line), c.Continues);
  }
}

}  // namespace
