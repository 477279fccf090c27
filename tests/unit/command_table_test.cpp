// The command table: anchor indices, argument counts and numeric parameters,
// the always-expanded flag, the variable-parameter kinds, the legacy names and
// name lookup, each checked against tables of the language's own rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/command_table.h"

namespace {

// ASCII rendering of a name for failure messages.
std::string Narrow(std::wstring_view text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

// The name with its ASCII letters all upper-case, or all lower-case.
std::wstring WithCase(std::wstring_view name, bool upper) {
  std::wstring out(name);
  for (wchar_t& c : out) {
    if (upper && c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    if (!upper && c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  }
  return out;
}

// The 1-based numeric parameters an entry lists.
std::vector<int> NumericList(const CommandEntry& entry) {
  std::vector<int> numbers;
  for (uint8_t number : entry.NumericParams) {
    if (number == 0) break;
    numbers.push_back(number);
  }
  return numbers;
}

// Checks an action's counts and that exactly the given parameters are numeric.
void ExpectCounts(ActionType action, int least, int most, const std::vector<int>& numeric) {
  const CommandEntry& entry = CommandInfo(action);
  EXPECT_EQ(static_cast<int>(entry.LeastArgs), least);
  EXPECT_EQ(static_cast<int>(entry.MostArgs), most);
  EXPECT_EQ(NumericList(entry), numeric);
  for (int position = 1; position <= kMaxArgs + 1; ++position) {
    bool listed = std::find(numeric.begin(), numeric.end(), position) != numeric.end();
    EXPECT_EQ(IsNumericParam(action, position), listed) << "parameter " << position;
  }
}

TEST(CommandTableAnchors, FixedIndicesHoldTheirCommands) {
  struct Case {
    const wchar_t* Name;
    ActionType Action;
    int Index;
  };
  const Case cases[] = {
      {L"IfWinExist", ACT_IFWINEXIST, 24},
      {L"Else", ACT_ELSE, 33},
      {L"MsgBox", ACT_MSGBOX, 34},
      {L"Goto", ACT_GOTO, 96},
      {L"Gosub", ACT_GOSUB, 97},
      {L"Return", ACT_RETURN, 103},
      {L"Exit", ACT_EXIT, 104},
      {L"Loop", ACT_LOOP, 105},
      {L"For", ACT_FOR, 106},
      {L"While", ACT_WHILE, 107},
      {L"Until", ACT_UNTIL, 108},
      {L"Try", ACT_TRY, 111},
      {L"Catch", ACT_CATCH, 112},
      {L"Finally", ACT_FINALLY, 113},
      {L"Throw", ACT_THROW, 114},
      {L"{", ACT_BLOCK_BEGIN, 115},
      {L"}", ACT_BLOCK_END, 116},
      {L"Gui", ACT_GUI, 219},
      {L"ExitApp", ACT_EXITAPP, 222},
      {L"#If", ACT_HASH_IF, 225},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Name));
    EXPECT_EQ(static_cast<int>(c.Action), c.Index);
    EXPECT_EQ(static_cast<int>(FindCommand(c.Name)), c.Index);
    EXPECT_EQ(CommandInfo(c.Action).Name, c.Name);
  }
}

TEST(CommandTableAnchors, InternalFormsPrecedeTheNamedCommands) {
  struct Case {
    ActionType Action;
    int Index;
    const wchar_t* Name;
    int Least, Most;
    std::vector<int> Numeric;
  };
  const Case cases[] = {
      {ACT_INVALID, 0, L"", 0, 0, {}},
      {ACT_ASSIGN, 1, L"=", 1, 2, {}},
      {ACT_ASSIGNEXPR, 2, L":=", 1, 2, {2}},
      {ACT_EXPRESSION, 3, L"", 1, 1, {1}},
      {ACT_ADD, 4, L"+=", 2, 3, {2}},
      {ACT_SUB, 5, L"-=", 1, 3, {2}},
      {ACT_MULT, 6, L"*=", 2, 2, {2}},
      {ACT_DIV, 7, L"/=", 2, 2, {2}},
      {ACT_STATIC, 8, L"Static", 1, 1, {1}},
      {ACT_IFIN, 9, L"in", 2, 2, {}},
      {ACT_IFNOTIN, 10, L"not in", 2, 2, {}},
      {ACT_IFCONTAINS, 11, L"contains", 2, 2, {}},
      {ACT_IFNOTCONTAINS, 12, L"not contains", 2, 2, {}},
      {ACT_IFIS, 13, L"is", 2, 2, {}},
      {ACT_IFISNOT, 14, L"is not", 2, 2, {}},
      {ACT_IFBETWEEN, 15, L"between", 1, 3, {}},
      {ACT_IFNOTBETWEEN, 16, L"not between", 1, 3, {}},
      {ACT_IFEXPR, 17, L"", 1, 1, {1}},
      {ACT_IFEQUAL, 18, L"=", 1, 2, {}},
      {ACT_IFNOTEQUAL, 19, L"<>", 1, 2, {}},
      {ACT_IFGREATER, 20, L">", 1, 2, {}},
      {ACT_IFGREATEROREQUAL, 21, L">=", 1, 2, {}},
      {ACT_IFLESS, 22, L"<", 1, 2, {}},
      {ACT_IFLESSOREQUAL, 23, L"<=", 1, 2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Index);
    EXPECT_EQ(static_cast<int>(c.Action), c.Index);
    EXPECT_EQ(CommandInfo(c.Action).Name, c.Name);
    ExpectCounts(c.Action, c.Least, c.Most, c.Numeric);
  }
}

TEST(CommandTableCounts, TellingRows) {
  struct Case {
    std::vector<const wchar_t*> Names;  // written in odd case: lookup ignores case
    int Least, Most;
    std::vector<int> Numeric;
  };
  const Case cases[] = {
      {{L"mSGbOX"}, 0, 4, {}},
      {{L"INPUTBOX"}, 1, 11, {5, 6, 7, 8, 10}},
      {{L"stringmid"}, 3, 5, {3, 4}},
      {{L"StringGETPOS"}, 3, 5, {5}},
      {{L"STRINGLEFT", L"stringright", L"StringTrimleft", L"stringTRIMright"}, 3, 3, {3}},
      {{L"mouseclick"}, 0, 7, {2, 3, 4, 5}},
      {{L"MOUSECLICKDRAG"}, 1, 7, {2, 3, 4, 5, 6}},
      {{L"mouseMOVE"}, 2, 4, {1, 2, 3}},
      {{L"CONTROLmove"}, 0, 9, {2, 3, 4, 5}},
      {{L"winmove"}, 0, 8, {1, 2, 3, 4, 5, 6}},
      {{L"PIXELSEARCH"}, 0, 9, {3, 4, 5, 6, 7, 8}},
      {{L"imagesearch"}, 0, 7, {3, 4, 5, 6}},
      {{L"POSTmessage"}, 1, 8, {1, 2, 3}},
      {{L"sendMESSAGE"}, 1, 9, {1, 2, 3, 9}},
      {{L"SLEEP", L"setwindelay", L"SETCONTROLDELAY", L"sendlevel", L"SetDefaultMOUSESPEED", L"WHILE", L"until",
        L"shutDOWN"},
       1,
       1,
       {1}},
      {{L"RETURN", L"exit", L"EXITAPP", L"throw", L"#iF"}, 0, 1, {1}},
      {{L"SETTIMER"}, 0, 3, {3}},
      {{L"thread"}, 1, 3, {2, 3}},
      {{L"FOR"}, 1, 3, {3}},
      {{L"random"}, 0, 3, {2, 3}},
      {{L"WINWAIT", L"winwaitclose", L"WinWaitACTIVE", L"winwaitNOTactive"}, 0, 5, {3}},
      {{L"WINCLOSE", L"winkill"}, 0, 5, {3}},
      {{L"setKEYdelay"}, 0, 3, {1, 2}},
      {{L"SETMOUSEDELAY"}, 1, 2, {1}},
      {{L"filesettime"}, 0, 5, {1, 4, 5}},
      {{L"FILECREATESHORTCUT"}, 2, 9, {8, 9}},
      {{L"LOOP"}, 0, 4, {}},
      {{L"catch"}, 0, 1, {}},
      {{L"ELSE", L"try", L"FINALLY", L"{", L"}", L"envupdate", L"LISTVARS", L"listhotkeys", L"EDIT", L"reload",
        L"WINMINIMIZEALL", L"winminimizeallundo", L"splashTEXToff"},
       0,
       0,
       {}},
  };
  for (const Case& c : cases) {
    for (const wchar_t* name : c.Names) {
      SCOPED_TRACE(Narrow(name));
      ActionType action = FindCommand(name);
      ASSERT_NE(action, ACT_INVALID);
      EXPECT_EQ(WithCase(CommandInfo(action).Name, true), WithCase(name, true));
      ExpectCounts(action, c.Least, c.Most, c.Numeric);
    }
  }
}

TEST(CommandTableCounts, ParameterListsOfTheCommands) {
  struct Case {
    const wchar_t* Name;
    int Least, Most;
    std::vector<int> Numeric;
  };
  // Counts that follow from each command's own parameter list: required
  // parameters, then the optional ones.
  const Case cases[] = {
      {L"SplashTextOn", 0, 4, {1, 2}},
      {L"Progress", 1, 6, {}},
      {L"SplashImage", 0, 7, {}},
      {L"Input", 0, 4, {}},
      {L"StringLower", 2, 3, {}},
      {L"StringLen", 2, 2, {}},
      {L"StringReplace", 3, 5, {}},
      {L"SplitPath", 1, 6, {}},
      {L"Sort", 1, 2, {}},
      {L"RunAs", 0, 3, {}},
      {L"Run", 1, 4, {}},
      {L"ControlClick", 0, 8, {5}},
      {L"ControlGetPos", 0, 9, {}},
      {L"ControlGet", 2, 8, {}},
      {L"StatusBarGetText", 1, 6, {2}},
      {L"StatusBarWait", 0, 8, {2, 3, 6}},
      {L"MouseGetPos", 0, 5, {5}},
      {L"WinSet", 1, 6, {}},
      {L"WinGetPos", 0, 8, {}},
      {L"WinMenuSelectItem", 0, 11, {}},
      {L"CoordMode", 1, 2, {}},
      {L"SysGet", 2, 4, {}},
      {L"Process", 1, 3, {}},
      {L"Menu", 2, 6, {}},
      {L"Gui", 1, 4, {}},
      {L"GuiControlGet", 1, 4, {}},
      {L"FileGetShortcut", 1, 8, {}},
      {L"FileAppend", 0, 3, {}},
      {L"FormatTime", 1, 3, {}},
      {L"DriveGet", 2, 3, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Name));
    ActionType action = FindCommand(c.Name);
    ASSERT_NE(action, ACT_INVALID);
    ExpectCounts(action, c.Least, c.Most, c.Numeric);
  }
}

TEST(CommandTableFlags, AlwaysExpandedExactlyForTheListedCommands) {
  const wchar_t* const listed[] = {
      L"InputBox",
      L"Input",
      L"Transform",
      L"SplitPath",
      L"EnvGet",
      L"Run",
      L"RunWait",
      L"GetKeyState",
      L"ControlGetPos",
      L"ControlGetFocus",
      L"ControlGetText",
      L"ControlGet",
      L"MouseGetPos",
      L"StatusBarGetText",
      L"WinGetTitle",
      L"WinGetClass",
      L"WinGet",
      L"WinGetPos",
      L"WinGetText",
      L"SysGet",
      L"PixelGetColor",
      L"PixelSearch",
      L"ImageSearch",
      L"DriveSpaceFree",
      L"DriveGet",
      L"SoundGet",
      L"SoundGetWaveVolume",
      L"FileRead",
      L"FileReadLine",
      L"FileGetAttrib",
      L"FileGetTime",
      L"FileGetSize",
      L"FileGetVersion",
      L"FileSelectFile",
      L"FileSelectFolder",
      L"FileGetShortcut",
      L"IniRead",
      L"RegRead",
      L"FormatTime",
      L"GuiControl",
  };
  std::set<int> expected = {ACT_ASSIGN};  // "=" is the legacy assignment, not the legacy if of the same name
  for (const wchar_t* name : listed) {
    ActionType action = FindCommand(name);
    ASSERT_NE(action, ACT_INVALID) << Narrow(name);
    expected.insert(action);
  }
  for (int i = 0; i < kActionCount; ++i) {
    const CommandEntry& entry = CommandInfo(static_cast<ActionType>(i));
    SCOPED_TRACE(Narrow(entry.Name) + " at " + std::to_string(i));
    EXPECT_EQ((entry.Flags & kAlwaysExpandArgs) != 0, expected.count(i) == 1);
    EXPECT_EQ(entry.Flags & ~(kAlwaysExpandArgs | kRunsOwnArgs | kLoopCommand | kBlockKeyword), 0);
  }
  // A few neighbours of listed commands that read their variables directly.
  for (const wchar_t* name : {L"MsgBox", L"ControlSetText", L"WinSetTitle", L"FileSetTime", L"GuiControlGet",
                              L"RegWrite", L"IniWrite", L"StringLeft"})
    EXPECT_EQ(CommandInfo(FindCommand(name)).Flags, 0) << Narrow(name);
  EXPECT_EQ(CommandInfo(ACT_IFEQUAL).Flags, 0);
}

// The flags the execution loop reads: which lines it leaves unexpanded,
// which are loops and which only shape blocks.
TEST(CommandTableFlags, ExecutionLoopFlagsMarkExactlyTheirCommands) {
  const std::set<int> runsOwnArgs = {ACT_ASSIGN, ACT_ELSE,        ACT_RETURN,   ACT_LOOP,  ACT_FOR,
                                     ACT_WHILE,  ACT_UNTIL,       ACT_TRY,      ACT_CATCH, ACT_FINALLY,
                                     ACT_THROW,  ACT_BLOCK_BEGIN, ACT_BLOCK_END};
  const std::set<int> loops = {ACT_LOOP, ACT_FOR, ACT_WHILE};
  const std::set<int> blockKeywords = {ACT_BLOCK_BEGIN, ACT_BLOCK_END, ACT_ELSE, ACT_TRY, ACT_CATCH, ACT_FINALLY};
  for (int i = 0; i < kActionCount; ++i) {
    const CommandEntry& entry = CommandInfo(static_cast<ActionType>(i));
    SCOPED_TRACE(Narrow(entry.Name) + " at " + std::to_string(i));
    EXPECT_EQ((entry.Flags & kRunsOwnArgs) != 0, runsOwnArgs.count(i) == 1);
    EXPECT_EQ((entry.Flags & kLoopCommand) != 0, loops.count(i) == 1);
    EXPECT_EQ((entry.Flags & kBlockKeyword) != 0, blockKeywords.count(i) == 1);
  }
}

// The variable-parameter table, row by row: the kind, the 0-based positions
// and the commands (internal forms by action).
struct VarParamRow {
  ArgKind Kind;
  int First, Last;
  std::vector<ActionType> Internal;
  std::vector<const wchar_t*> Names;
};

const std::vector<VarParamRow>& VarParamRows() {
  static const std::vector<VarParamRow> rows = {
      {ARG_TYPE_OUTPUT_VAR,
       0,
       0,
       {ACT_ASSIGN, ACT_ASSIGNEXPR, ACT_ADD, ACT_SUB, ACT_MULT, ACT_DIV},
       {L"InputBox",
        L"Input",
        L"Transform",
        L"StringLeft",
        L"StringRight",
        L"StringMid",
        L"StringTrimLeft",
        L"StringTrimRight",
        L"StringLower",
        L"StringUpper",
        L"StringLen",
        L"StringGetPos",
        L"StringReplace",
        L"EnvGet",
        L"GetKeyState",
        L"ControlGetPos",
        L"ControlGetFocus",
        L"ControlGetText",
        L"ControlGet",
        L"MouseGetPos",
        L"StatusBarGetText",
        L"Random",
        L"For",
        L"Catch",
        L"WinGetTitle",
        L"WinGetClass",
        L"WinGet",
        L"WinGetPos",
        L"WinGetText",
        L"SysGet",
        L"PixelGetColor",
        L"PixelSearch",
        L"ImageSearch",
        L"DriveSpaceFree",
        L"DriveGet",
        L"SoundGet",
        L"SoundGetWaveVolume",
        L"FileRead",
        L"FileReadLine",
        L"FileGetAttrib",
        L"FileGetTime",
        L"FileGetSize",
        L"FileGetVersion",
        L"FileSelectFile",
        L"FileSelectFolder",
        L"IniRead",
        L"RegRead",
        L"FormatTime",
        L"GuiControlGet"}},
      {ARG_TYPE_INPUT_VAR,
       0,
       0,
       {ACT_IFIN, ACT_IFNOTIN, ACT_IFCONTAINS, ACT_IFNOTCONTAINS, ACT_IFIS, ACT_IFISNOT, ACT_IFBETWEEN,
        ACT_IFNOTBETWEEN, ACT_IFEQUAL, ACT_IFNOTEQUAL, ACT_IFGREATER, ACT_IFGREATEROREQUAL, ACT_IFLESS,
        ACT_IFLESSOREQUAL},
       {L"IfInString", L"IfNotInString", L"SplitPath", L"Sort"}},
      {ARG_TYPE_INPUT_VAR,
       1,
       1,
       {},
       {L"StringLeft", L"StringRight", L"StringMid", L"StringTrimLeft", L"StringTrimRight", L"StringLower",
        L"StringUpper", L"StringLen", L"StringGetPos", L"StringReplace", L"StringSplit"}},
      {ARG_TYPE_OUTPUT_VAR,
       1,
       1,
       {},
       {L"SplitPath", L"ControlGetPos", L"MouseGetPos", L"For", L"WinGetPos", L"PixelSearch", L"ImageSearch",
        L"FileGetShortcut"}},
      {ARG_TYPE_OUTPUT_VAR,
       2,
       2,
       {},
       {L"SplitPath", L"ControlGetPos", L"MouseGetPos", L"WinGetPos", L"FileGetShortcut"}},
      {ARG_TYPE_OUTPUT_VAR,
       3,
       3,
       {},
       {L"SplitPath", L"Run", L"RunWait", L"ControlGetPos", L"MouseGetPos", L"WinGetPos", L"FileGetShortcut"}},
      {ARG_TYPE_OUTPUT_VAR, 4, 5, {}, {L"SplitPath", L"FileGetShortcut"}},
      {ARG_TYPE_OUTPUT_VAR, 6, 7, {}, {L"FileGetShortcut"}},
  };
  return rows;
}

TEST(CommandTableArgKinds, EveryRowOfTheVariableParameterTable) {
  for (const VarParamRow& row : VarParamRows()) {
    std::vector<ActionType> actions = row.Internal;
    for (const wchar_t* name : row.Names) {
      ActionType action = FindCommand(name);
      ASSERT_NE(action, ACT_INVALID) << Narrow(name);
      actions.push_back(action);
    }
    for (ActionType action : actions)
      for (int position = row.First; position <= row.Last; ++position)
        EXPECT_EQ(ArgKindOf(action, position), row.Kind)
            << Narrow(CommandInfo(action).Name) << " at " << static_cast<int>(action) << ", position " << position;
  }
}

TEST(CommandTableArgKinds, EveryOtherPositionIsNormal) {
  std::set<std::pair<int, int>> variable;
  for (const VarParamRow& row : VarParamRows()) {
    std::vector<ActionType> actions = row.Internal;
    for (const wchar_t* name : row.Names) actions.push_back(FindCommand(name));
    for (ActionType action : actions)
      for (int position = row.First; position <= row.Last; ++position) variable.insert({action, position});
  }
  for (int action = 0; action < kActionCount; ++action) {
    for (int position = -1; position <= kMaxArgs + 1; ++position) {
      if (variable.count({action, position}) != 0) continue;
      EXPECT_EQ(ArgKindOf(static_cast<ActionType>(action), position), ARG_TYPE_NORMAL)
          << Narrow(CommandInfo(static_cast<ActionType>(action)).Name) << " at " << action << ", position " << position;
    }
  }
}

TEST(CommandTableArgKinds, ParseLoopReadsItsSecondArgumentAsAVariable) {
  struct Case {
    ActionType Action;
    int Position;
    const wchar_t* FirstArg;
    ArgKind Expected;
  };
  const Case cases[] = {
      {ACT_LOOP, 1, L"Parse", ARG_TYPE_INPUT_VAR},
      {ACT_LOOP, 1, L"pARSE", ARG_TYPE_INPUT_VAR},
      {ACT_LOOP, 1, L"Read", ARG_TYPE_NORMAL},
      {ACT_LOOP, 1, L"Parser", ARG_TYPE_NORMAL},
      {ACT_LOOP, 1, L"", ARG_TYPE_NORMAL},
      {ACT_LOOP, 0, L"Parse", ARG_TYPE_NORMAL},
      {ACT_LOOP, 2, L"Parse", ARG_TYPE_NORMAL},
      {ACT_WHILE, 1, L"Parse", ARG_TYPE_NORMAL},
      {ACT_STRINGSPLIT, 1, L"Parse", ARG_TYPE_INPUT_VAR},
      {ACT_FOR, 1, L"Parse", ARG_TYPE_OUTPUT_VAR},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ArgKindInLine(c.Action, c.Position, c.FirstArg), c.Expected)
        << static_cast<int>(c.Action) << " position " << c.Position << " after " << Narrow(c.FirstArg);
}

TEST(CommandTableLegacy, LegacyNamesAndWhatTheyBecome) {
  struct Case {
    const wchar_t* Name;  // odd case
    ActionType Becomes;
    LegacyForm Form;
    int Least, Most;
  };
  const Case cases[] = {
      {L"setenv", ACT_ASSIGN, LegacyForm::Renamed, 1, 2},
      {L"ENVADD", ACT_ADD, LegacyForm::Renamed, 2, 3},
      {L"EnvSUB", ACT_SUB, LegacyForm::Renamed, 1, 3},
      {L"envMult", ACT_MULT, LegacyForm::Renamed, 2, 2},
      {L"ENVdiv", ACT_DIV, LegacyForm::Renamed, 2, 2},
      {L"ifequal", ACT_IFEQUAL, LegacyForm::Renamed, 1, 2},
      {L"IFNOTEQUAL", ACT_IFNOTEQUAL, LegacyForm::Renamed, 1, 2},
      {L"IfGreater", ACT_IFGREATER, LegacyForm::Renamed, 1, 2},
      {L"ifGREATERorEQUAL", ACT_IFGREATEROREQUAL, LegacyForm::Renamed, 1, 2},
      {L"IFLESS", ACT_IFLESS, LegacyForm::Renamed, 1, 2},
      {L"iflessorequal", ACT_IFLESSOREQUAL, LegacyForm::Renamed, 1, 2},
      {L"WINGETACTIVETITLE", ACT_WINGETTITLE, LegacyForm::ActiveTitle, 1, 1},
      {L"wingetactivestats", ACT_WINGETTITLE, LegacyForm::ActiveStats, 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.Name));
    const LegacyCommand* legacy = FindLegacyCommand(c.Name);
    ASSERT_NE(legacy, nullptr);
    EXPECT_EQ(WithCase(legacy->Entry.Name, false), WithCase(c.Name, false));
    EXPECT_EQ(static_cast<int>(legacy->Becomes), static_cast<int>(c.Becomes));
    EXPECT_EQ(legacy->Form, c.Form);
    EXPECT_EQ(static_cast<int>(legacy->Entry.LeastArgs), c.Least);
    EXPECT_EQ(static_cast<int>(legacy->Entry.MostArgs), c.Most);
    // The line is split as the action it becomes would split it.
    EXPECT_EQ(NumericList(legacy->Entry), NumericList(CommandInfo(c.Becomes)));
    // Legacy names are searched only after the command table, which never has them.
    EXPECT_EQ(static_cast<int>(FindCommand(c.Name)), static_cast<int>(ACT_INVALID));
  }
  EXPECT_EQ(kActiveWindowTitle, L"A");
  EXPECT_EQ(FindCommand(L"WinGetPos"), ACT_WINGETPOS);  // the second line of WinGetActiveStats
}

TEST(CommandTableLegacy, OtherNamesAreNotLegacy) {
  for (const wchar_t* name : {L"", L"SetEnv ", L"SetEnvX", L"Env", L"MsgBox", L"WinGetTitle", L"If", L"IfEqualTo"})
    EXPECT_EQ(FindLegacyCommand(name), nullptr) << Narrow(name);
}

TEST(CommandTableNames, EveryNamedEntryIsFoundByItsOwnNameInAnyCase) {
  for (int i = kFirstNamedAction; i < kActionCount; ++i) {
    std::wstring_view name = CommandInfo(static_cast<ActionType>(i)).Name;
    SCOPED_TRACE(Narrow(name));
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(static_cast<int>(FindCommand(name)), i);
    EXPECT_EQ(static_cast<int>(FindCommand(WithCase(name, true))), i);
    EXPECT_EQ(static_cast<int>(FindCommand(WithCase(name, false))), i);
  }
}

TEST(CommandTableNames, NamedEntriesAreUniqueWithoutRegardToCase) {
  std::set<std::wstring> seen;
  for (int i = kFirstNamedAction; i < kActionCount; ++i) {
    std::wstring folded = WithCase(CommandInfo(static_cast<ActionType>(i)).Name, false);
    EXPECT_TRUE(seen.insert(folded).second) << Narrow(folded) << " at " << i;
  }
}

TEST(CommandTableNames, WordsThatNameNoCommand) {
  const std::wstring tooLong(300, L'a');
  const wchar_t* const words[] = {
      L"",       L"Msg",    L"MsgBoxx", L" MsgBox", L"MsgBox ",      L"Msg Box",  L"Sleep(",
      L"if",     L"Static", L"=",       L":=",      L"in",           L"between",  L"<>",
      L"SetEnv", L"EnvAdd", L"IfEqual", L"{{",      L"#IfWinActive", L"ExitApp2", tooLong.c_str(),
  };
  for (const wchar_t* word : words) EXPECT_EQ(FindCommand(word), ACT_INVALID) << Narrow(word);
  // The Turkish dotless i upper-cases to I in some mappings; command names only fold ASCII.
  EXPECT_EQ(FindCommand(L"\u0131f"), ACT_INVALID);
  EXPECT_EQ(FindCommand(L"Ed\u0131t"), ACT_INVALID);
}

TEST(CommandTableNames, ActionsOutsideTheTableLookLikeTheInvalidAction) {
  for (int action : {kActionCount, 240, 255}) {
    const CommandEntry& entry = CommandInfo(static_cast<ActionType>(action));
    EXPECT_TRUE(entry.Name.empty());
    EXPECT_EQ(static_cast<int>(entry.MostArgs), 0);
    EXPECT_EQ(ArgKindOf(static_cast<ActionType>(action), 0), ARG_TYPE_NORMAL);
    EXPECT_FALSE(IsNumericParam(static_cast<ActionType>(action), 1));
  }
}

TEST(CommandTableHelpers, ClassificationOfActions) {
  struct Case {
    ActionType Action;
    bool LegacyIf, ControlStatement, Loop;
  };
  std::vector<Case> cases;
  for (int i = ACT_IFIN; i <= ACT_IFMSGBOX; ++i)
    cases.push_back({static_cast<ActionType>(i), i != ACT_IFEXPR, true, false});
  const Case others[] = {
      {ACT_INVALID, false, false, false}, {ACT_ASSIGN, false, false, false},   {ACT_STATIC, false, false, false},
      {ACT_ELSE, false, false, false},    {ACT_MSGBOX, false, false, false},   {ACT_LOOP, false, true, true},
      {ACT_FOR, false, true, true},       {ACT_WHILE, false, true, true},      {ACT_UNTIL, false, false, false},
      {ACT_BREAK, false, false, false},   {ACT_CONTINUE, false, false, false}, {ACT_TRY, false, true, false},
      {ACT_CATCH, false, false, false},   {ACT_FINALLY, false, false, false},  {ACT_BLOCK_BEGIN, false, false, false},
      {ACT_HASH_IF, false, false, false},
  };
  cases.insert(cases.end(), std::begin(others), std::end(others));
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Action));
    EXPECT_EQ(IsLegacyIf(c.Action), c.LegacyIf);
    EXPECT_EQ(IsControlStatement(c.Action), c.ControlStatement);
    EXPECT_EQ(IsLoop(c.Action), c.Loop);
  }
}

}  // namespace
