// Directives: the value each one stores (clamping, defaults, On/Off words,
// the positional hotstring options), the window-criterion split, the
// include-path helpers, and the reader's early-directive protocol.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/script_context.h"
#include "exec/errors.h"
#include "load_fixture.h"
#include "script/directives.h"
#include "script/include_files.h"
#include "script/script_reader.h"
#include "script/script_state.h"
#include "script/text_stream.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

constexpr size_t kMegabyte = 1048576;

// Puts every setting a directive may change back to its default, and
// restores the global switches the cases change.
class Directives : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    Loader().Directives = DirectiveSettings();
    Script().Syntax = SyntaxChars();
    Script().InstanceMode = INSTANCE_NOT_GIVEN;
    Script().ErrorsToStdout = false;
    Values().NoEnv = false;
    Script().StayResident = false;
    SetMaxMem(static_cast<double>(kDefaultMaxMem / kMegabyte));
  }
};

// A script of directive lines and the value it must leave in one setting.
struct SettingCase {
  const char* Script;
  std::function<int64_t()> Setting;
  int64_t Expected;
};

TEST_F(Directives, NumericAndSwitchSettings) {
  auto& d = Loader().Directives;
  const std::vector<SettingCase> cases = {
      {"#MaxThreads 0", [&] { return d.MaxThreads; }, 1},
      {"#MaxThreads 300", [&] { return d.MaxThreads; }, 255},
      {"#MaxThreads 0x10", [&] { return d.MaxThreads; }, 16},
      {"#MaxThreads, 5", [&] { return d.MaxThreads; }, 5},
      {"#MaxThreads 5\n#MaxThreads", [&] { return d.MaxThreads; }, 5},
      {"#MaxThreads", [&] { return d.MaxThreads; }, 10},
      {"#KeyHistory 1000", [&] { return d.KeyHistory; }, 500},
      {"#KeyHistory -5", [&] { return d.KeyHistory; }, 0},
      {"#KeyHistory 0", [&] { return d.KeyHistory; }, 0},
      {"#HotkeyInterval 5", [&] { return d.HotkeyInterval; }, 10},
      {"#HotkeyInterval 3000", [&] { return d.HotkeyInterval; }, 3000},
      {"#MaxHotkeysPerInterval 0", [&] { return d.MaxHotkeysPerInterval; }, 1},
      {"#MaxHotkeysPerInterval 200", [&] { return d.MaxHotkeysPerInterval; }, 200},
      {"#MaxThreadsPerHotkey 256", [&] { return d.MaxThreadsPerHotkey; }, 255},
      {"#MaxThreadsPerHotkey 0", [&] { return d.MaxThreadsPerHotkey; }, 1},
      {"#IfTimeout 250", [&] { return d.IfTimeout; }, 250},
      {"#ClipboardTimeout -1", [&] { return d.ClipboardTimeout; }, -1},
      {"#HotkeyModifierTimeout 100", [&] { return d.HotkeyModifierTimeout; }, 100},
      {"#InputLevel 5", [&] { return d.InputLevel; }, 5},
      {"#InputLevel 5\n#InputLevel", [&] { return d.InputLevel; }, 0},
      {"#InputLevel 100", [&] { return d.InputLevel; }, 100},
      {"#UseHook", [&] { return d.UseHook; }, 1},
      {"#UseHook 1", [&] { return d.UseHook; }, 1},
      {"#UseHook\n#UseHook OFF", [&] { return d.UseHook; }, 0},
      {"#MaxThreadsBuffer On", [&] { return d.MaxThreadsBuffer; }, 1},
      {"#MaxThreadsBuffer\n#MaxThreadsBuffer off", [&] { return d.MaxThreadsBuffer; }, 0},
      {"#NoTrayIcon", [&] { return d.NoTrayIcon; }, 1},
      {"#InstallKeybdHook", [&] { return d.InstallKeybdHook; }, 1},
      {"#InstallMouseHook", [&] { return d.InstallMouseHook; }, 1},
      {"#WinActivateForce", [&] { return d.WinActivateForce; }, 1},
      {"#Persistent", [] { return Script().StayResident; }, 1},
      {"#NoEnv", [] { return Values().NoEnv; }, 1},
      {"#ErrorStdOut", [] { return Script().ErrorsToStdout; }, 1},
      {"#LTrim", [] { return Script().Syntax.ContinuationLTrim; }, 1},
      {"#LTrim\n#LTrim Off", [] { return Script().Syntax.ContinuationLTrim; }, 0},
      {"#SingleInstance Force", [] { return Script().InstanceMode; }, INSTANCE_FORCE},
      {"#SingleInstance ignore", [] { return Script().InstanceMode; }, INSTANCE_IGNORE},
      {"#SingleInstance Off", [] { return Script().InstanceMode; }, INSTANCE_OFF},
      {"#SingleInstance", [] { return Script().InstanceMode; }, INSTANCE_PROMPT},
      {"#SingleInstance Sometimes", [] { return Script().InstanceMode; }, INSTANCE_PROMPT},
      {"#MaxMem 0.5", [] { return static_cast<int64_t>(Values().MaxVarCapacity); }, 1 * kMegabyte},
      {"#MaxMem 5000", [] { return static_cast<int64_t>(Values().MaxVarCapacity); }, 4095 * kMegabyte},
      {"#MaxMem 2", [] { return static_cast<int64_t>(Values().MaxVarCapacity); }, 2 * kMegabyte},
      {"#MaxMem 2.5", [] { return static_cast<int64_t>(Values().MaxVarCapacity); }, 5 * kMegabyte / 2},
      {"#MaxMem", [] { return static_cast<int64_t>(Values().MaxVarCapacity); }, 64 * kMegabyte},
  };
  for (const SettingCase& c : cases) {
    SCOPED_TRACE(c.Script);
    Reset();
    LoadOutcome got = LoadText(c.Script, LoadDepth::ParseOnly);
    EXPECT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
    EXPECT_EQ(c.Setting(), c.Expected);
  }
}

// A script of "#Warn" lines and the mode each kind must end with.
struct WarnCase {
  const char* Script;
  WarnMode Modes[WARN_KIND_COUNT];
};

TEST_F(Directives, WarnModesByKind) {
  const WarnMode Off = WARN_MODE_OFF, Debug = WARN_MODE_OUTPUTDEBUG, Box = WARN_MODE_MSGBOX, Out = WARN_MODE_STDOUT;
  const std::vector<WarnCase> cases = {
      {"", {Off, Off, Off, Off, Off}},
      {"#Warn", {Box, Box, Box, Box, Box}},
      {"#Warn All, OutputDebug", {Debug, Debug, Debug, Debug, Debug}},
      {"#Warn, UseEnv, StdOut", {Off, Off, Off, Out, Off}},
      {"#Warn useunsetlocal", {Box, Off, Off, Off, Off}},
      {"#Warn\n#Warn LocalSameAsGlobal, Off", {Box, Box, Off, Box, Box}},
      {"#Warn UseUnsetGlobal, MsgBox\n#Warn ClassOverwrite, StdOut", {Off, Box, Off, Off, Out}},
  };
  for (const WarnCase& c : cases) {
    SCOPED_TRACE(c.Script);
    Reset();
    ASSERT_EQ(LoadText(c.Script, LoadDepth::ParseOnly).Result, ResultCode::Ok);
    for (int kind = 0; kind < WARN_KIND_COUNT; ++kind) EXPECT_EQ(Loader().Directives.Warn[kind], c.Modes[kind]) << kind;
  }
}

// A script and the syntax characters it must leave.
struct SyntaxCase {
  const char* Script;
  const wchar_t* CommentFlag;
  wchar_t Escape, Deref, Delimiter;
};

TEST_F(Directives, SyntaxCharacters) {
  const std::vector<SyntaxCase> cases = {
      {"#CommentFlag //", L"//", L'`', L'%', L','},
      {"#CommentFlag 1234567890abcdefXYZ", L"1234567890abcde", L'`', L'%', L','},
      {"#CommentFlag", L";", L'`', L'%', L','},
      {"#EscapeChar \\", L";", L'\\', L'%', L','},
      {"#DerefChar $", L";", L'`', L'$', L','},
      {"#DerefChar #", L";", L'`', L'#', L','},
      {"#Delimiter |", L";", L'`', L'%', L'|'},
      {"#Delimiter |\n#EscapeChar|,", L";", L',', L'%', L'|'},
      {"#EscapeChar", L";", L'`', L'%', L','},
  };
  for (const SyntaxCase& c : cases) {
    SCOPED_TRACE(c.Script);
    Reset();
    LoadOutcome got = LoadText(c.Script, LoadDepth::ParseOnly);
    EXPECT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
    EXPECT_EQ(Script().Syntax.CommentFlag, c.CommentFlag);
    EXPECT_EQ(Script().Syntax.EscapeChar, c.Escape);
    EXPECT_EQ(Script().Syntax.DerefChar, c.Deref);
    EXPECT_EQ(Script().Syntax.Delimiter, c.Delimiter);
  }
}

TEST_F(Directives, HotstringSettings) {
  const HotstringDirectives defaults;
  EXPECT_EQ(defaults.EndChars, L"-()[]{}:;'\"/\\,.?!\n \t");
  EXPECT_TRUE(defaults.ResetOnMouseClick);

  struct Case {
    const char* Script;
    std::wstring EndChars;
    bool ResetOnMouseClick;
    std::wstring Options;
  };
  const std::wstring hundred(100, L'x');
  const std::vector<Case> cases = {
      {"#Hotstring EndChars -()`n`t`s", L"-()\n\ts", true, L""},
      {"#Hotstring endchars \t.,", L"\t.,", true, L""},
      {"#Hotstring EndChars", kDefaultHotstringEndChars, true, L""},
      {"#Hotstring NoMouse", kDefaultHotstringEndChars, false, L""},
      {"#Hotstring *0 B0\n#Hotstring C", kDefaultHotstringEndChars, true, L"*0 B0 C"},
      {"#Hotstring", kDefaultHotstringEndChars, true, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Script);
    Reset();
    ASSERT_EQ(LoadText(c.Script, LoadDepth::ParseOnly).Result, ResultCode::Ok);
    EXPECT_EQ(Loader().Directives.Hotstring.EndChars, c.EndChars);
    EXPECT_EQ(Loader().Directives.Hotstring.ResetOnMouseClick, c.ResetOnMouseClick);
    EXPECT_EQ(Loader().Directives.Hotstring.DefaultOptions, c.Options);
  }
  Reset();
  std::string longScript = "#Hotstring EndChars " + std::string(150, 'x');
  ASSERT_EQ(LoadText(longScript, LoadDepth::ParseOnly).Result, ResultCode::Ok);
  EXPECT_EQ(Loader().Directives.Hotstring.EndChars, hundred);
}

TEST_F(Directives, LoadErrorsQuoteTheDirectiveLine) {
  struct Case {
    const char* Script;
    const wchar_t* Message;
    const wchar_t* Extra;
    int Line;
  };
  const std::vector<Case> cases = {
      {"#CommentFlag !", L"Parameter #1 invalid.", L"#CommentFlag !", 1},
      {"x := 1\n#EscapeChar %", L"Parameter #1 invalid.", L"#EscapeChar %", 2},
      {"#Warn, Bogus", L"Parameter #1 invalid.", L"#Warn, Bogus", 1},
      {"#Warn All, Bogus", L"Parameter #2 invalid.", L"#Warn All, Bogus", 1},
      {"#InputLevel 101", L"Parameter #1 invalid.", L"#InputLevel 101", 1},
      {"#MenuMaskKey", L"Parameter #1 required", L"#MenuMaskKey", 1},
      {"#IfWinActive a, b, c", directive_msg::LiteralCommasAndPercents, L"#IfWinActive a, b, c", 1},
      {"#If x", L"This directive is not supported by this version yet.", L"#If x", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Script);
    Reset();
    LoadOutcome got = LoadText(c.Script, LoadDepth::ParseOnly);
    EXPECT_EQ(got.Result, ResultCode::Fail);
    EXPECT_EQ(got.Error, c.Message);
    EXPECT_EQ(got.ErrorExtra, c.Extra);
    EXPECT_EQ(got.ErrorLine, c.Line);
  }
}

TEST_F(Directives, WindowCriterionSplit) {
  struct Case {
    const wchar_t* Param;
    bool Valid;
    const wchar_t* Title;
    const wchar_t* Text;
  };
  const std::vector<Case> cases = {
      {L"Title", true, L"Title", L""},
      {L"Title, Text", true, L"Title", L"Text"},
      {L"Title  ,  Text", true, L"Title", L"Text"},
      {L"Title,", true, L"Title", L""},
      {L"a`, b, c`, d", true, L"a, b", L"c, d"},
      {L"50`% done", true, L"50% done", L""},
      {L"a`sb, c`td", true, L"a b", L"c\td"},
      {L"a, b, c", false, L"", L""},
      {L"50% done", false, L"", L""},
      {L"a, 50%", false, L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Param));
    std::wstring title, text;
    ASSERT_EQ(SplitWindowCriterion(c.Param, title, text), c.Valid);
    if (!c.Valid) continue;
    EXPECT_EQ(title, c.Title);
    EXPECT_EQ(text, c.Text);
  }
}

TEST_F(Directives, IncludeParameterForms) {
  struct Case {
    const wchar_t* Param;
    bool IgnoreMissing, Library;
    const wchar_t* Path;
  };
  const std::vector<Case> cases = {
      {L"file.qrv", false, false, L"file.qrv"},
      {L"*i file.qrv", true, false, L"file.qrv"},
      {L"*I \t file.qrv", true, false, L"file.qrv"},
      {L"*ifile.qrv", false, false, L"*ifile.qrv"},
      {L"<Lib>", false, true, L"Lib"},
      {L"*i <Lib_Part>", true, true, L"Lib_Part"},
      {L"<Lib", false, false, L"<Lib"},
      {L"*i", true, false, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Param));
    IncludeTarget target = ParseIncludeParameter(c.Param);
    EXPECT_EQ(target.IgnoreMissing, c.IgnoreMissing);
    EXPECT_EQ(target.Library, c.Library);
    EXPECT_EQ(target.Path, c.Path);
  }
}

TEST_F(Directives, IncludePathVariables) {
  ScriptContext& s = Script();
  const std::wstring savedDir = s.ScriptDirectory, savedName = s.ScriptFileName, savedPath = s.ScriptPath;
  const std::vector<std::wstring> savedFiles = s.SourceFiles;
  s.ScriptDirectory = L"C:\\scripts";
  s.ScriptFileName = L"main.qrv";
  s.ScriptPath = L"C:\\scripts\\main.qrv";
  ASSERT_TRUE(SetEnvironmentVariableW(L"QRV_INCLUDE_TEST", L"D:\\env"));
  struct Case {
    const wchar_t* Path;
    const wchar_t* Expanded;
  };
  const std::vector<Case> cases = {
      {L"%A_ScriptDir%\\lib.qrv", L"C:\\scripts\\lib.qrv"},
      {L"%a_scriptdir%\\%A_ScriptName%", L"C:\\scripts\\main.qrv"},
      {L"%A_ScriptFullPath%\\..\\x.qrv", L"C:\\scripts\\main.qrv\\..\\x.qrv"},
      {L"%QRV_INCLUDE_TEST%\\y.qrv", L"D:\\env\\y.qrv"},
      {L"%QRV_NO_SUCH_VARIABLE%\\y.qrv", L"%QRV_NO_SUCH_VARIABLE%\\y.qrv"},
      {L"50% of %A_ScriptDir%", L"50% of C:\\scripts"},
      {L"100%.qrv", L"100%.qrv"},
      {L"%%x.qrv", L"%%x.qrv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Path));
    EXPECT_EQ(ExpandIncludeVariables(c.Path), c.Expanded);
  }
  // A_LineFile is the file being read, A_WorkingDir the current folder.
  s.SourceFiles = {L"C:\\scripts\\main.qrv", L"C:\\scripts\\inc\\part.qrv"};
  s.CurrentFileIndex = 1;
  EXPECT_EQ(ExpandIncludeVariables(L"%A_LineFile%"), L"C:\\scripts\\inc\\part.qrv");
  s.CurrentFileIndex = 0;
  wchar_t workDir[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, workDir);
  EXPECT_EQ(ExpandIncludeVariables(L"%A_WorkingDir%"), workDir);
  // The dereference character in force marks the references.
  s.Syntax.DerefChar = L'$';
  EXPECT_EQ(ExpandIncludeVariables(L"$A_ScriptDir$\\%A_ScriptDir%"), L"C:\\scripts\\%A_ScriptDir%");
  SetEnvironmentVariableW(L"QRV_INCLUDE_TEST", nullptr);
  s.SourceFiles = savedFiles;
  s.ScriptDirectory = savedDir;
  s.ScriptFileName = savedName;
  s.ScriptPath = savedPath;
}

TEST_F(Directives, IncludePathsResolveAgainstTheFolder) {
  struct Case {
    const wchar_t* Folder;
    const wchar_t* Path;
    const wchar_t* Full;
  };
  const std::vector<Case> cases = {
      {L"C:\\scripts", L"part.qrv", L"C:\\scripts\\part.qrv"},
      {L"C:\\scripts", L"inc/part.qrv", L"C:\\scripts\\inc\\part.qrv"},
      {L"C:\\scripts", L"..\\other\\part.qrv", L"C:\\other\\part.qrv"},
      {L"C:\\scripts", L"D:\\lib\\part.qrv", L"D:\\lib\\part.qrv"},
      {L"C:\\scripts", L"C:\\a\\b.qrv\\..\\c.qrv", L"C:\\a\\c.qrv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Path));
    EXPECT_EQ(ResolveIncludePath(c.Folder, c.Path), c.Full);
  }
}

TEST_F(Directives, EarlyDirectivesActBeforeTheParser) {
  const ScriptOrigin savedOrigin = Script().Origin;
  Script().Origin = ScriptOrigin::Resource;
  EXPECT_EQ(ApplyEarlyDirective(L"#CommentFlag //"), EarlyDirective::PassOn);
  EXPECT_EQ(Script().Syntax.CommentFlag, L"//");
  EXPECT_EQ(ApplyEarlyDirective(L"#NoTrayIcon"), EarlyDirective::PassOn);
  EXPECT_FALSE(Loader().Directives.NoTrayIcon);  // left for the parser
  EXPECT_EQ(ApplyEarlyDirective(L"#Include anything.qrv"), EarlyDirective::Consumed);
  EXPECT_EQ(ApplyEarlyDirective(L"#IncludeAgain anything.qrv"), EarlyDirective::Consumed);
  EXPECT_EQ(ApplyEarlyDirective(L"#Includes"), EarlyDirective::PassOn);
  EXPECT_EQ(ApplyEarlyDirective(L"#Bogus"), EarlyDirective::PassOn);
  Script().Origin = savedOrigin;
}

// The lines a consumer got and the line numbers the directive handler saw.
struct EarlyRead {
  std::vector<std::pair<int, std::wstring>> Lines;
  std::vector<std::pair<int, std::wstring>> Directives;
};

TEST(ScriptReaderEarlyDirectives, ConsumedLinesNeverReachTheConsumer) {
  const std::string text = "x := 1\n#Include a\n. more\n#Keep b\ny\n  ; gap\n#Include c";
  EarlyRead got;
  TextMem stream;
  TextMem::Buffer buffer{const_cast<char*>(text.data()), static_cast<uint32_t>(text.size()), false};
  ASSERT_TRUE(stream.Open(reinterpret_cast<const wchar_t*>(&buffer),
                          TextStream::READ | TextStream::EOL_CRLF | TextStream::EOL_ORPHAN_CR, CP_UTF8));
  Script().Syntax = SyntaxChars();
  ScriptReader reader(stream, Script().Syntax, 1);
  ResultCode result = reader.ReadAll(
      [&](std::wstring_view line, int number) {
        got.Lines.emplace_back(number, std::wstring(line));
        return ResultCode::Ok;
      },
      [&](std::wstring_view line) {
        got.Directives.emplace_back(Script().CurrentLineNumber, std::wstring(line));
        return line.substr(0, 8) == L"#Include" ? EarlyDirective::Consumed : EarlyDirective::PassOn;
      });
  ASSERT_EQ(result, ResultCode::Ok);
  // A consumed line leaves nothing for a continuation line to join.
  const std::vector<std::pair<int, std::wstring>> lines = {{1, L"x := 1"}, {3, L". more"}, {4, L"#Keep b"}, {5, L"y"}};
  const std::vector<std::pair<int, std::wstring>> directives = {
      {2, L"#Include a"}, {4, L"#Keep b"}, {7, L"#Include c"}};
  EXPECT_EQ(got.Lines, lines);
  EXPECT_EQ(got.Directives, directives);
}

TEST(ScriptReaderEarlyDirectives, FailureStopsTheReading) {
  const std::string text = "a\n#Stop\nb";
  std::vector<std::wstring> lines;
  TextMem stream;
  TextMem::Buffer buffer{const_cast<char*>(text.data()), static_cast<uint32_t>(text.size()), false};
  ASSERT_TRUE(stream.Open(reinterpret_cast<const wchar_t*>(&buffer), TextStream::READ | TextStream::EOL_CRLF, CP_UTF8));
  Script().Syntax = SyntaxChars();
  ScriptReader reader(stream, Script().Syntax, 1);
  ResultCode result = reader.ReadAll(
      [&](std::wstring_view line, int) {
        lines.emplace_back(line);
        return ResultCode::Ok;
      },
      [](std::wstring_view) { return EarlyDirective::Failed; });
  EXPECT_EQ(result, ResultCode::Fail);
  EXPECT_EQ(lines, std::vector<std::wstring>{L"a"});
}

}  // namespace
