// Command-line switches, script parameters, the case correction of the
// script's path and the layout of load-error reports.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/script_identity.h"
#include "exec/errors.h"
#include "values/object.h"

namespace {

struct CommandLineCase {
  const char* Name;
  ScriptOrigin Origin;
  std::vector<std::wstring> Args;
  bool Restart, Force, ErrorStdOut;
  std::wstring ScriptFile;
  std::vector<std::wstring> Parameters;
};

TEST(CommandLine, SwitchesAndParameters) {
  const CommandLineCase cases[] = {
      {"none", ScriptOrigin::Resource, {}, false, false, false, L"", {}},
      {"switch after parameter is a parameter",
       ScriptOrigin::Resource,
       {L"/f", L"x", L"/R"},
       false,
       true,
       false,
       L"",
       {L"x", L"/R"}},
      {"capitals recognised", ScriptOrigin::Resource, {L"/RESTART", L"/Force"}, true, true, false, L"", {}},
      {"colon makes a parameter", ScriptOrigin::Resource, {L"/restart:"}, false, false, false, L"", {L"/restart:"}},
      {"error stdout", ScriptOrigin::Resource, {L"/errorstdout", L"a b"}, false, false, true, L"", {L"a b"}},
      {"script file then parameters",
       ScriptOrigin::File,
       {L"/ErrorStdOut", L"s.qrv", L"a", L"/f"},
       false,
       false,
       true,
       L"s.qrv",
       {L"a", L"/f"}},
      {"script file only", ScriptOrigin::File, {L"s.qrv"}, false, false, false, L"s.qrv", {}},
  };
  for (const CommandLineCase& c : cases) {
    SCOPED_TRACE(c.Name);
    CommandLine got = ParseCommandLine(c.Args, c.Origin);
    EXPECT_EQ(got.RestartRequested, c.Restart);
    EXPECT_EQ(got.SkipInstanceCheck, c.Force);
    EXPECT_EQ(got.ErrorsToStdout, c.ErrorStdOut);
    EXPECT_EQ(got.ScriptFile, c.ScriptFile);
    EXPECT_EQ(got.Parameters, c.Parameters);
  }
}

TEST(CommandLine, ParametersBecomeVariablesAndArgs) {
  VarList globals;
  AssignScriptParameters({L"first", L"second"}, globals);
  EXPECT_STREQ(globals.Find(L"0")->TextOf(), L"2");
  EXPECT_STREQ(globals.Find(L"1")->TextOf(), L"first");
  EXPECT_STREQ(globals.Find(L"2")->TextOf(), L"second");
  Variable* args = globals.Find(L"a_args");
  ASSERT_NE(args, nullptr);
  EXPECT_TRUE(args->Scope() & VAR_SUPER_GLOBAL);
  auto* array = static_cast<Object*>(args->ObjectValue());
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->ArrayLength(), 2);
  EXPECT_EQ(array->ItemText(2), L"second");
}

TEST(CommandLine, NoParametersGiveEmptyArgs) {
  VarList globals;
  AssignScriptParameters({}, globals);
  EXPECT_STREQ(globals.Find(L"0")->TextOf(), L"0");
  EXPECT_EQ(globals.Find(L"1"), nullptr);
  auto* array = static_cast<Object*>(globals.Find(L"A_Args")->ObjectValue());
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->ArrayLength(), 0);
}

TEST(ScriptIdentity, PathCaseFollowsTheDisk) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir = std::wstring(temp) + L"QrvCaseTest";
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring file = dir + L"\\MixedName.QRV";
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  std::wstring lowered = file;
  for (size_t i = 0; i < lowered.size(); ++i) lowered[i] = static_cast<wchar_t>(towlower(lowered[i]));
  std::wstring corrected = CorrectPathCase(lowered);
  EXPECT_EQ(corrected.substr(corrected.size() - 26), L"\\QrvCaseTest\\MixedName.QRV");
  EXPECT_TRUE(iswupper(corrected[0]));
  // A missing component is left as written.
  EXPECT_EQ(CorrectPathCase(dir + L"\\nO_Such_File.txt").substr(dir.size()), L"\\nO_Such_File.txt");
  DeleteFileW(file.c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST(LoadErrorReport, StdErrAndDialogLayout) {
  EXPECT_EQ(FormatLoadErrorStdErr(L"C:\\s\\x.qrv", 12, L"Missing \")\"", L""),
            L"C:\\s\\x.qrv (12) : ==> Missing \")\"\n");
  EXPECT_EQ(FormatLoadErrorStdErr(L"C:\\x.qrv", 3, L"Bad.", L"the line"),
            L"C:\\x.qrv (3) : ==> Bad.\n     Specifically: the line\n");
  EXPECT_EQ(FormatLoadErrorDialog(7, L"", L"Missing \")\"", L"", false),
            L"Error at line 7.\n\nMissing \")\"\n\nThe program will exit.");
  EXPECT_EQ(FormatLoadErrorDialog(2, L"C:\\inc.qrv", L"Bad.", L"x := (", true),
            L"Error at line 2 in #include file \"C:\\inc.qrv\".\n\nLine Text: x := (\nError: Bad.\n\n"
            L"The script was not reloaded; the old version will remain in effect.");
  std::wstring detail(150, L'd');
  EXPECT_EQ(FormatLoadErrorDialog(1, L"", L"M", detail, false),
            L"Error at line 1.\n\nLine Text: " + std::wstring(100, L'd') + L"...\nError: M\n\nThe program will exit.");
}

}  // namespace
