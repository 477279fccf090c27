// The command table: one entry per action type (the 226 kinds of script line),
// giving each its name, how many arguments it takes, which of them are
// numeric and which name variables; plus name lookup for the line parser and
// the table of legacy command names that the parser rewrites into other
// actions.
//
// Invariants (checked at compile time in command_table.cpp):
//  - The table is indexed by ActionType and has exactly kActionCount entries;
//    entries below ACT_IFWINEXIST are internal forms no line names directly.
//  - LeastArgs <= MostArgs <= kMaxArgs for every entry.
//  - NumericParams holds 1-based parameter numbers in ascending order, none
//    above MostArgs, ending at the first 0 (or after kMaxNumericParams).
//  - The names of the entries from ACT_IFWINEXIST on are unique without regard
//    to case and differ from every legacy name, so FindCommand and
//    FindLegacyCommand never both match.
//  - A variable parameter (input or output) never lies beyond MostArgs, has
//    exactly one kind and is never also a numeric parameter.
//  - A legacy entry carries the flag of the action it becomes.
// Everything here is immutable and needs no initialisation at run time.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// A script line's action: the index of its entry in the command table.
enum ActionType : uint8_t {
  ACT_INVALID,           // 0: no action
  ACT_ASSIGN,            // Var = text
  ACT_ASSIGNEXPR,        // Var := expression
  ACT_EXPRESSION,        // a line that is only an expression
  ACT_ADD,               // Var += value [, time unit]
  ACT_SUB,               // Var -= value [, time unit]
  ACT_MULT,              // Var *= value
  ACT_DIV,               // Var /= value
  ACT_STATIC,            // initialiser of a static variable
  ACT_IFIN,              // if Var in list
  ACT_IFNOTIN,           // if Var not in list
  ACT_IFCONTAINS,        // if Var contains list
  ACT_IFNOTCONTAINS,     // if Var not contains list
  ACT_IFIS,              // if Var is type
  ACT_IFISNOT,           // if Var is not type
  ACT_IFBETWEEN,         // if Var between Low and High
  ACT_IFNOTBETWEEN,      // if Var not between Low and High
  ACT_IFEXPR,            // if (expression)
  ACT_IFEQUAL,           // if Var = value
  ACT_IFNOTEQUAL,        // if Var <> value
  ACT_IFGREATER,         // if Var > value
  ACT_IFGREATEROREQUAL,  // if Var >= value
  ACT_IFLESS,            // if Var < value
  ACT_IFLESSOREQUAL,     // if Var <= value
                         // The named commands, in table order; ACT_BLOCK_BEGIN is "{", ACT_BLOCK_END
                         // "}" and ACT_HASH_IF the line holding a "#If" expression.
  /*  24 */ ACT_IFWINEXIST,
  ACT_IFWINNOTEXIST,
  ACT_IFWINACTIVE,
  ACT_IFWINNOTACTIVE,
  ACT_IFINSTRING,
  /*  29 */ ACT_IFNOTINSTRING,
  ACT_IFEXIST,
  ACT_IFNOTEXIST,
  ACT_IFMSGBOX,
  ACT_ELSE,
  /*  34 */ ACT_MSGBOX,
  ACT_INPUTBOX,
  ACT_SPLASHTEXTON,
  ACT_SPLASHTEXTOFF,
  ACT_PROGRESS,
  /*  39 */ ACT_SPLASHIMAGE,
  ACT_TOOLTIP,
  ACT_TRAYTIP,
  ACT_INPUT,
  ACT_TRANSFORM,
  /*  44 */ ACT_STRINGLEFT,
  ACT_STRINGRIGHT,
  ACT_STRINGMID,
  ACT_STRINGTRIMLEFT,
  ACT_STRINGTRIMRIGHT,
  /*  49 */ ACT_STRINGLOWER,
  ACT_STRINGUPPER,
  ACT_STRINGLEN,
  ACT_STRINGGETPOS,
  ACT_STRINGREPLACE,
  /*  54 */ ACT_STRINGSPLIT,
  ACT_SPLITPATH,
  ACT_SORT,
  ACT_ENVGET,
  ACT_ENVSET,
  /*  59 */ ACT_ENVUPDATE,
  ACT_RUNAS,
  ACT_RUN,
  ACT_RUNWAIT,
  ACT_URLDOWNLOADTOFILE,
  /*  64 */ ACT_GETKEYSTATE,
  ACT_SEND,
  ACT_SENDRAW,
  ACT_SENDINPUT,
  ACT_SENDPLAY,
  /*  69 */ ACT_SENDEVENT,
  ACT_CONTROLSEND,
  ACT_CONTROLSENDRAW,
  ACT_CONTROLCLICK,
  ACT_CONTROLMOVE,
  /*  74 */ ACT_CONTROLGETPOS,
  ACT_CONTROLFOCUS,
  ACT_CONTROLGETFOCUS,
  ACT_CONTROLSETTEXT,
  ACT_CONTROLGETTEXT,
  /*  79 */ ACT_CONTROL,
  ACT_CONTROLGET,
  ACT_SENDMODE,
  ACT_SENDLEVEL,
  ACT_COORDMODE,
  /*  84 */ ACT_SETDEFAULTMOUSESPEED,
  ACT_CLICK,
  ACT_MOUSEMOVE,
  ACT_MOUSECLICK,
  ACT_MOUSECLICKDRAG,
  /*  89 */ ACT_MOUSEGETPOS,
  ACT_STATUSBARGETTEXT,
  ACT_STATUSBARWAIT,
  ACT_CLIPWAIT,
  ACT_KEYWAIT,
  /*  94 */ ACT_SLEEP,
  ACT_RANDOM,
  ACT_GOTO,
  ACT_GOSUB,
  ACT_ONEXIT,
  /*  99 */ ACT_HOTKEY,
  ACT_SETTIMER,
  ACT_CRITICAL,
  ACT_THREAD,
  ACT_RETURN,
  /* 104 */ ACT_EXIT,
  ACT_LOOP,
  ACT_FOR,
  ACT_WHILE,
  ACT_UNTIL,
  /* 109 */ ACT_BREAK,
  ACT_CONTINUE,
  ACT_TRY,
  ACT_CATCH,
  ACT_FINALLY,
  /* 114 */ ACT_THROW,
  ACT_BLOCK_BEGIN,
  ACT_BLOCK_END,
  ACT_WINACTIVATE,
  ACT_WINACTIVATEBOTTOM,
  /* 119 */ ACT_WINWAIT,
  ACT_WINWAITCLOSE,
  ACT_WINWAITACTIVE,
  ACT_WINWAITNOTACTIVE,
  ACT_WINMINIMIZE,
  /* 124 */ ACT_WINMAXIMIZE,
  ACT_WINRESTORE,
  ACT_WINHIDE,
  ACT_WINSHOW,
  ACT_WINMINIMIZEALL,
  /* 129 */ ACT_WINMINIMIZEALLUNDO,
  ACT_WINCLOSE,
  ACT_WINKILL,
  ACT_WINMOVE,
  ACT_WINMENUSELECTITEM,
  /* 134 */ ACT_PROCESS,
  ACT_WINSET,
  ACT_WINSETTITLE,
  ACT_WINGETTITLE,
  ACT_WINGETCLASS,
  /* 139 */ ACT_WINGET,
  ACT_WINGETPOS,
  ACT_WINGETTEXT,
  ACT_SYSGET,
  ACT_POSTMESSAGE,
  /* 144 */ ACT_SENDMESSAGE,
  ACT_PIXELGETCOLOR,
  ACT_PIXELSEARCH,
  ACT_IMAGESEARCH,
  ACT_GROUPADD,
  /* 149 */ ACT_GROUPACTIVATE,
  ACT_GROUPDEACTIVATE,
  ACT_GROUPCLOSE,
  ACT_DRIVESPACEFREE,
  ACT_DRIVE,
  /* 154 */ ACT_DRIVEGET,
  ACT_SOUNDGET,
  ACT_SOUNDSET,
  ACT_SOUNDGETWAVEVOLUME,
  ACT_SOUNDSETWAVEVOLUME,
  /* 159 */ ACT_SOUNDBEEP,
  ACT_SOUNDPLAY,
  ACT_FILEAPPEND,
  ACT_FILEREAD,
  ACT_FILEREADLINE,
  /* 164 */ ACT_FILEDELETE,
  ACT_FILERECYCLE,
  ACT_FILERECYCLEEMPTY,
  ACT_FILEINSTALL,
  ACT_FILECOPY,
  /* 169 */ ACT_FILEMOVE,
  ACT_FILECOPYDIR,
  ACT_FILEMOVEDIR,
  ACT_FILECREATEDIR,
  ACT_FILEREMOVEDIR,
  /* 174 */ ACT_FILEGETATTRIB,
  ACT_FILESETATTRIB,
  ACT_FILEGETTIME,
  ACT_FILESETTIME,
  ACT_FILEGETSIZE,
  /* 179 */ ACT_FILEGETVERSION,
  ACT_SETWORKINGDIR,
  ACT_FILESELECTFILE,
  ACT_FILESELECTFOLDER,
  ACT_FILEGETSHORTCUT,
  /* 184 */ ACT_FILECREATESHORTCUT,
  ACT_INIREAD,
  ACT_INIWRITE,
  ACT_INIDELETE,
  ACT_REGREAD,
  /* 189 */ ACT_REGWRITE,
  ACT_REGDELETE,
  ACT_SETREGVIEW,
  ACT_OUTPUTDEBUG,
  ACT_SETKEYDELAY,
  /* 194 */ ACT_SETMOUSEDELAY,
  ACT_SETWINDELAY,
  ACT_SETCONTROLDELAY,
  ACT_SETBATCHLINES,
  ACT_SETTITLEMATCHMODE,
  /* 199 */ ACT_SETFORMAT,
  ACT_FORMATTIME,
  ACT_SUSPEND,
  ACT_PAUSE,
  ACT_AUTOTRIM,
  /* 204 */ ACT_STRINGCASESENSE,
  ACT_DETECTHIDDENWINDOWS,
  ACT_DETECTHIDDENTEXT,
  ACT_BLOCKINPUT,
  ACT_SETNUMLOCKSTATE,
  /* 209 */ ACT_SETSCROLLLOCKSTATE,
  ACT_SETCAPSLOCKSTATE,
  ACT_SETSTORECAPSLOCKMODE,
  ACT_KEYHISTORY,
  ACT_LISTLINES,
  /* 214 */ ACT_LISTVARS,
  ACT_LISTHOTKEYS,
  ACT_EDIT,
  ACT_RELOAD,
  ACT_MENU,
  /* 219 */ ACT_GUI,
  ACT_GUICONTROL,
  ACT_GUICONTROLGET,
  ACT_EXITAPP,
  ACT_SHUTDOWN,
  /* 224 */ ACT_FILEENCODING,
  ACT_HASH_IF,
};

inline constexpr int kActionCount = 226;
inline constexpr ActionType kFirstNamedAction = ACT_IFWINEXIST;

static_assert(ACT_IFLESSOREQUAL == 23 && ACT_IFWINEXIST == 24 && ACT_ELSE == 33 && ACT_MSGBOX == 34);
static_assert(ACT_GOTO == 96 && ACT_GOSUB == 97 && ACT_RETURN == 103 && ACT_EXIT == 104);
static_assert(ACT_LOOP == 105 && ACT_FOR == 106 && ACT_WHILE == 107 && ACT_UNTIL == 108);
static_assert(ACT_TRY == 111 && ACT_CATCH == 112 && ACT_FINALLY == 113 && ACT_THROW == 114);
static_assert(ACT_BLOCK_BEGIN == 115 && ACT_BLOCK_END == 116);
static_assert(ACT_GUI == 219 && ACT_EXITAPP == 222 && ACT_HASH_IF == 225 && ACT_HASH_IF + 1 == kActionCount);

// Most arguments any command takes, and most numeric parameters one lists.
inline constexpr int kMaxArgs = 11;
inline constexpr int kMaxNumericParams = 7;

// Flag bits of a command.
// The command reads every argument from its expanded text, never directly
// from the variable an argument names.
inline constexpr uint8_t kAlwaysExpandArgs = 0x80;
// The execution loop does not expand the line's arguments before running
// it: the line evaluates them itself, when and if it needs them (flow
// control, assignments of text, loops).
inline constexpr uint8_t kRunsOwnArgs = 0x01;
// A loop: Loop, For, While.
inline constexpr uint8_t kLoopCommand = 0x02;
// A line that shapes blocks rather than doing work: {, }, Else, Try, Catch
// and Finally.
inline constexpr uint8_t kBlockKeyword = 0x04;

struct CommandEntry {
  std::wstring_view Name;
  uint8_t LeastArgs;                                     // fewer, or a blank one among these, is a load error
  uint8_t MostArgs;                                      // the last argument takes the rest of the line
  uint8_t Flags;                                         // kAlwaysExpandArgs, kRunsOwnArgs, kLoopCommand, kBlockKeyword
  std::array<uint8_t, kMaxNumericParams> NumericParams;  // 1-based, ascending, 0 ends the list
};

// What an argument names, by its position in the line.
enum ArgKind : uint8_t {
  ARG_TYPE_NORMAL = 0,      // text, with variable references expanded
  ARG_TYPE_INPUT_VAR = 1,   // the name of a variable to read
  ARG_TYPE_OUTPUT_VAR = 2,  // the name of a variable to store into
};

// How a legacy command name is rewritten into the lines of another action.
enum class LegacyForm : uint8_t {
  Renamed,      // one line of Becomes with the same arguments
  ActiveTitle,  // Becomes (WinGetTitle) with the output variable and the window title "A"
  ActiveStats,  // WinGetTitle into the first variable, then WinGetPos into the other four, both with title "A"
};

// A legacy command name: its own argument counts and numeric parameters (for
// splitting the line) and the action it becomes.
struct LegacyCommand {
  CommandEntry Entry;
  ActionType Becomes;
  LegacyForm Form;
};

// The window title that names the active window, given to the rewritten lines of
// WinGetActiveTitle and WinGetActiveStats.
inline constexpr std::wstring_view kActiveWindowTitle = L"A";

// The table, indexed by action; reach it through CommandInfo.
extern const std::array<CommandEntry, kActionCount> kCommandEntries;

// The table entry of an action; an action outside the table gets the entry of ACT_INVALID.
inline const CommandEntry& CommandInfo(ActionType action) {
  return action < kActionCount ? kCommandEntries[action] : kCommandEntries[ACT_INVALID];
}

// The named command (ACT_IFWINEXIST onwards) called name, without regard to case; ACT_INVALID when none.
ActionType FindCommand(std::wstring_view name);

// The legacy command called name, without regard to case; nullptr when none.
const LegacyCommand* FindLegacyCommand(std::wstring_view name);

// The kind of the argument at 0-based position of an action's line.
ArgKind ArgKindOf(ActionType action, int position);

// ArgKindOf, and also the one kind that depends on the line: a parse loop
// (first argument "Parse") reads its second argument as an input variable.
ArgKind ArgKindInLine(ActionType action, int position, std::wstring_view firstArg);

// Whether the 1-based parameter of an action is numeric (split and compiled as an expression).
bool IsNumericParam(ActionType action, int oneBasedPosition);

// Whether the action is a legacy if-form: the keyword and comparison forms on
// a variable, and the IfWin, IfInString, IfExist and IfMsgBox commands.
constexpr bool IsLegacyIf(ActionType action) {
  return action >= ACT_IFIN && action <= ACT_IFMSGBOX && action != ACT_IFEXPR;
}

// Whether the action is any form of if, legacy or expression.
constexpr bool IsIf(ActionType action) { return action >= ACT_IFIN && action <= ACT_IFMSGBOX; }

// Whether the action is a loop: Loop, For or While.
constexpr bool IsLoop(ActionType action) { return action == ACT_LOOP || action == ACT_FOR || action == ACT_WHILE; }

// Whether the action opens a statement that owns the line or block after it
// (an if, a loop or a Try).
constexpr bool IsControlStatement(ActionType action) { return IsIf(action) || IsLoop(action) || action == ACT_TRY; }
