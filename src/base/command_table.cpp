// The command table, its name index and the variable-parameter table. All of
// it is built and checked at compile time: a mistake in a row (counts out of
// order, a numeric parameter beyond MostArgs, a duplicated name, a row out of
// index order) stops the build rather than surfacing as a parse error later.
#include "base/command_table.h"

#include <algorithm>
#include <span>

namespace {

// A row of the table as written below: the action it describes and its entry.
// Rows are listed in index order; BuildCommandTable checks that they are.
struct CommandRow {
  ActionType Action;
  CommandEntry Entry;
};

constexpr CommandRow kCommandRows[] = {
    // Internal forms, chosen by the parser from the shape of a line.
    {ACT_INVALID, {L"", 0, 0, 0, {}}},
    {ACT_ASSIGN, {L"=", 1, 2, kAlwaysExpandArgs | kRunsOwnArgs, {}}},
    {ACT_ASSIGNEXPR, {L":=", 1, 2, 0, {2}}},
    {ACT_EXPRESSION, {L"", 1, 1, 0, {1}}},
    {ACT_ADD, {L"+=", 2, 3, 0, {2}}},
    {ACT_SUB, {L"-=", 1, 3, 0, {2}}},
    {ACT_MULT, {L"*=", 2, 2, 0, {2}}},
    {ACT_DIV, {L"/=", 2, 2, 0, {2}}},
    {ACT_STATIC, {L"Static", 1, 1, 0, {1}}},
    {ACT_IFIN, {L"in", 2, 2, 0, {}}},
    {ACT_IFNOTIN, {L"not in", 2, 2, 0, {}}},
    {ACT_IFCONTAINS, {L"contains", 2, 2, 0, {}}},
    {ACT_IFNOTCONTAINS, {L"not contains", 2, 2, 0, {}}},
    {ACT_IFIS, {L"is", 2, 2, 0, {}}},
    {ACT_IFISNOT, {L"is not", 2, 2, 0, {}}},
    {ACT_IFBETWEEN, {L"between", 1, 3, 0, {}}},
    {ACT_IFNOTBETWEEN, {L"not between", 1, 3, 0, {}}},
    {ACT_IFEXPR, {L"", 1, 1, 0, {1}}},
    {ACT_IFEQUAL, {L"=", 1, 2, 0, {}}},
    {ACT_IFNOTEQUAL, {L"<>", 1, 2, 0, {}}},
    {ACT_IFGREATER, {L">", 1, 2, 0, {}}},
    {ACT_IFGREATEROREQUAL, {L">=", 1, 2, 0, {}}},
    {ACT_IFLESS, {L"<", 1, 2, 0, {}}},
    {ACT_IFLESSOREQUAL, {L"<=", 1, 2, 0, {}}},
    // Named commands.
    {ACT_IFWINEXIST, {L"IfWinExist", 0, 4, 0, {}}},
    {ACT_IFWINNOTEXIST, {L"IfWinNotExist", 0, 4, 0, {}}},
    {ACT_IFWINACTIVE, {L"IfWinActive", 0, 4, 0, {}}},
    {ACT_IFWINNOTACTIVE, {L"IfWinNotActive", 0, 4, 0, {}}},
    {ACT_IFINSTRING, {L"IfInString", 2, 2, 0, {}}},
    {ACT_IFNOTINSTRING, {L"IfNotInString", 2, 2, 0, {}}},
    {ACT_IFEXIST, {L"IfExist", 1, 1, 0, {}}},
    {ACT_IFNOTEXIST, {L"IfNotExist", 1, 1, 0, {}}},
    {ACT_IFMSGBOX, {L"IfMsgBox", 1, 1, 0, {}}},
    {ACT_ELSE, {L"Else", 0, 0, kRunsOwnArgs | kBlockKeyword, {}}},
    {ACT_MSGBOX, {L"MsgBox", 0, 4, 0, {}}},
    {ACT_INPUTBOX, {L"InputBox", 1, 11, kAlwaysExpandArgs, {5, 6, 7, 8, 10}}},
    {ACT_SPLASHTEXTON, {L"SplashTextOn", 0, 4, 0, {1, 2}}},
    {ACT_SPLASHTEXTOFF, {L"SplashTextOff", 0, 0, 0, {}}},
    {ACT_PROGRESS, {L"Progress", 1, 6, 0, {}}},
    {ACT_SPLASHIMAGE, {L"SplashImage", 0, 7, 0, {}}},
    {ACT_TOOLTIP, {L"ToolTip", 0, 4, 0, {2, 3, 4}}},
    {ACT_TRAYTIP, {L"TrayTip", 0, 4, 0, {3, 4}}},
    {ACT_INPUT, {L"Input", 0, 4, kAlwaysExpandArgs, {}}},
    {ACT_TRANSFORM, {L"Transform", 3, 4, kAlwaysExpandArgs, {}}},
    {ACT_STRINGLEFT, {L"StringLeft", 3, 3, 0, {3}}},
    {ACT_STRINGRIGHT, {L"StringRight", 3, 3, 0, {3}}},
    {ACT_STRINGMID, {L"StringMid", 3, 5, 0, {3, 4}}},
    {ACT_STRINGTRIMLEFT, {L"StringTrimLeft", 3, 3, 0, {3}}},
    {ACT_STRINGTRIMRIGHT, {L"StringTrimRight", 3, 3, 0, {3}}},
    {ACT_STRINGLOWER, {L"StringLower", 2, 3, 0, {}}},
    {ACT_STRINGUPPER, {L"StringUpper", 2, 3, 0, {}}},
    {ACT_STRINGLEN, {L"StringLen", 2, 2, 0, {}}},
    {ACT_STRINGGETPOS, {L"StringGetPos", 3, 5, 0, {5}}},
    {ACT_STRINGREPLACE, {L"StringReplace", 3, 5, 0, {}}},
    {ACT_STRINGSPLIT, {L"StringSplit", 2, 4, 0, {}}},
    {ACT_SPLITPATH, {L"SplitPath", 1, 6, kAlwaysExpandArgs, {}}},
    {ACT_SORT, {L"Sort", 1, 2, 0, {}}},
    {ACT_ENVGET, {L"EnvGet", 2, 2, kAlwaysExpandArgs, {}}},
    {ACT_ENVSET, {L"EnvSet", 2, 2, 0, {}}},
    {ACT_ENVUPDATE, {L"EnvUpdate", 0, 0, 0, {}}},
    {ACT_RUNAS, {L"RunAs", 0, 3, 0, {}}},
    {ACT_RUN, {L"Run", 1, 4, kAlwaysExpandArgs, {}}},
    {ACT_RUNWAIT, {L"RunWait", 1, 4, kAlwaysExpandArgs, {}}},
    {ACT_URLDOWNLOADTOFILE, {L"URLDownloadToFile", 2, 2, 0, {}}},
    {ACT_GETKEYSTATE, {L"GetKeyState", 2, 3, kAlwaysExpandArgs, {}}},
    {ACT_SEND, {L"Send", 1, 1, 0, {}}},
    {ACT_SENDRAW, {L"SendRaw", 1, 1, 0, {}}},
    {ACT_SENDINPUT, {L"SendInput", 1, 1, 0, {}}},
    {ACT_SENDPLAY, {L"SendPlay", 1, 1, 0, {}}},
    {ACT_SENDEVENT, {L"SendEvent", 1, 1, 0, {}}},
    {ACT_CONTROLSEND, {L"ControlSend", 0, 6, 0, {}}},
    {ACT_CONTROLSENDRAW, {L"ControlSendRaw", 0, 6, 0, {}}},
    {ACT_CONTROLCLICK, {L"ControlClick", 0, 8, 0, {5}}},
    {ACT_CONTROLMOVE, {L"ControlMove", 0, 9, 0, {2, 3, 4, 5}}},
    {ACT_CONTROLGETPOS, {L"ControlGetPos", 0, 9, kAlwaysExpandArgs, {}}},
    {ACT_CONTROLFOCUS, {L"ControlFocus", 0, 5, 0, {}}},
    {ACT_CONTROLGETFOCUS, {L"ControlGetFocus", 1, 5, kAlwaysExpandArgs, {}}},
    {ACT_CONTROLSETTEXT, {L"ControlSetText", 0, 6, 0, {}}},
    {ACT_CONTROLGETTEXT, {L"ControlGetText", 1, 6, kAlwaysExpandArgs, {}}},
    {ACT_CONTROL, {L"Control", 1, 7, 0, {}}},
    {ACT_CONTROLGET, {L"ControlGet", 2, 8, kAlwaysExpandArgs, {}}},
    {ACT_SENDMODE, {L"SendMode", 1, 1, 0, {}}},
    {ACT_SENDLEVEL, {L"SendLevel", 1, 1, 0, {1}}},
    {ACT_COORDMODE, {L"CoordMode", 1, 2, 0, {}}},
    {ACT_SETDEFAULTMOUSESPEED, {L"SetDefaultMouseSpeed", 1, 1, 0, {1}}},
    {ACT_CLICK, {L"Click", 0, 1, 0, {}}},
    {ACT_MOUSEMOVE, {L"MouseMove", 2, 4, 0, {1, 2, 3}}},
    {ACT_MOUSECLICK, {L"MouseClick", 0, 7, 0, {2, 3, 4, 5}}},
    {ACT_MOUSECLICKDRAG, {L"MouseClickDrag", 1, 7, 0, {2, 3, 4, 5, 6}}},
    {ACT_MOUSEGETPOS, {L"MouseGetPos", 0, 5, kAlwaysExpandArgs, {5}}},
    {ACT_STATUSBARGETTEXT, {L"StatusBarGetText", 1, 6, kAlwaysExpandArgs, {2}}},
    {ACT_STATUSBARWAIT, {L"StatusBarWait", 0, 8, 0, {2, 3, 6}}},
    {ACT_CLIPWAIT, {L"ClipWait", 0, 2, 0, {1, 2}}},
    {ACT_KEYWAIT, {L"KeyWait", 1, 2, 0, {}}},
    {ACT_SLEEP, {L"Sleep", 1, 1, 0, {1}}},
    {ACT_RANDOM, {L"Random", 0, 3, 0, {2, 3}}},
    {ACT_GOTO, {L"Goto", 1, 1, 0, {}}},
    {ACT_GOSUB, {L"Gosub", 1, 1, 0, {}}},
    {ACT_ONEXIT, {L"OnExit", 0, 1, 0, {}}},
    {ACT_HOTKEY, {L"Hotkey", 1, 3, 0, {}}},
    {ACT_SETTIMER, {L"SetTimer", 0, 3, 0, {3}}},
    {ACT_CRITICAL, {L"Critical", 0, 1, 0, {}}},
    {ACT_THREAD, {L"Thread", 1, 3, 0, {2, 3}}},
    {ACT_RETURN, {L"Return", 0, 1, kRunsOwnArgs, {1}}},
    {ACT_EXIT, {L"Exit", 0, 1, 0, {1}}},
    {ACT_LOOP, {L"Loop", 0, 4, kRunsOwnArgs | kLoopCommand, {}}},
    {ACT_FOR, {L"For", 1, 3, kRunsOwnArgs | kLoopCommand, {3}}},
    {ACT_WHILE, {L"While", 1, 1, kRunsOwnArgs | kLoopCommand, {1}}},
    {ACT_UNTIL, {L"Until", 1, 1, kRunsOwnArgs, {1}}},
    {ACT_BREAK, {L"Break", 0, 1, 0, {}}},
    {ACT_CONTINUE, {L"Continue", 0, 1, 0, {}}},
    {ACT_TRY, {L"Try", 0, 0, kRunsOwnArgs | kBlockKeyword, {}}},
    {ACT_CATCH, {L"Catch", 0, 1, kRunsOwnArgs | kBlockKeyword, {}}},
    {ACT_FINALLY, {L"Finally", 0, 0, kRunsOwnArgs | kBlockKeyword, {}}},
    {ACT_THROW, {L"Throw", 0, 1, kRunsOwnArgs, {1}}},
    {ACT_BLOCK_BEGIN, {L"{", 0, 0, kRunsOwnArgs | kBlockKeyword, {}}},
    {ACT_BLOCK_END, {L"}", 0, 0, kRunsOwnArgs | kBlockKeyword, {}}},
    {ACT_WINACTIVATE, {L"WinActivate", 0, 4, 0, {}}},
    {ACT_WINACTIVATEBOTTOM, {L"WinActivateBottom", 0, 4, 0, {}}},
    {ACT_WINWAIT, {L"WinWait", 0, 5, 0, {3}}},
    {ACT_WINWAITCLOSE, {L"WinWaitClose", 0, 5, 0, {3}}},
    {ACT_WINWAITACTIVE, {L"WinWaitActive", 0, 5, 0, {3}}},
    {ACT_WINWAITNOTACTIVE, {L"WinWaitNotActive", 0, 5, 0, {3}}},
    {ACT_WINMINIMIZE, {L"WinMinimize", 0, 4, 0, {}}},
    {ACT_WINMAXIMIZE, {L"WinMaximize", 0, 4, 0, {}}},
    {ACT_WINRESTORE, {L"WinRestore", 0, 4, 0, {}}},
    {ACT_WINHIDE, {L"WinHide", 0, 4, 0, {}}},
    {ACT_WINSHOW, {L"WinShow", 0, 4, 0, {}}},
    {ACT_WINMINIMIZEALL, {L"WinMinimizeAll", 0, 0, 0, {}}},
    {ACT_WINMINIMIZEALLUNDO, {L"WinMinimizeAllUndo", 0, 0, 0, {}}},
    {ACT_WINCLOSE, {L"WinClose", 0, 5, 0, {3}}},
    {ACT_WINKILL, {L"WinKill", 0, 5, 0, {3}}},
    {ACT_WINMOVE, {L"WinMove", 0, 8, 0, {1, 2, 3, 4, 5, 6}}},
    {ACT_WINMENUSELECTITEM, {L"WinMenuSelectItem", 0, 11, 0, {}}},
    {ACT_PROCESS, {L"Process", 1, 3, 0, {}}},
    {ACT_WINSET, {L"WinSet", 1, 6, 0, {}}},
    {ACT_WINSETTITLE, {L"WinSetTitle", 1, 5, 0, {}}},
    {ACT_WINGETTITLE, {L"WinGetTitle", 1, 5, kAlwaysExpandArgs, {}}},
    {ACT_WINGETCLASS, {L"WinGetClass", 1, 5, kAlwaysExpandArgs, {}}},
    {ACT_WINGET, {L"WinGet", 1, 6, kAlwaysExpandArgs, {}}},
    {ACT_WINGETPOS, {L"WinGetPos", 0, 8, kAlwaysExpandArgs, {}}},
    {ACT_WINGETTEXT, {L"WinGetText", 1, 5, kAlwaysExpandArgs, {}}},
    {ACT_SYSGET, {L"SysGet", 2, 4, kAlwaysExpandArgs, {}}},
    {ACT_POSTMESSAGE, {L"PostMessage", 1, 8, 0, {1, 2, 3}}},
    {ACT_SENDMESSAGE, {L"SendMessage", 1, 9, 0, {1, 2, 3, 9}}},
    {ACT_PIXELGETCOLOR, {L"PixelGetColor", 3, 4, kAlwaysExpandArgs, {2, 3}}},
    {ACT_PIXELSEARCH, {L"PixelSearch", 0, 9, kAlwaysExpandArgs, {3, 4, 5, 6, 7, 8}}},
    {ACT_IMAGESEARCH, {L"ImageSearch", 0, 7, kAlwaysExpandArgs, {3, 4, 5, 6}}},
    {ACT_GROUPADD, {L"GroupAdd", 1, 6, 0, {}}},
    {ACT_GROUPACTIVATE, {L"GroupActivate", 1, 2, 0, {}}},
    {ACT_GROUPDEACTIVATE, {L"GroupDeactivate", 1, 2, 0, {}}},
    {ACT_GROUPCLOSE, {L"GroupClose", 1, 2, 0, {}}},
    {ACT_DRIVESPACEFREE, {L"DriveSpaceFree", 2, 2, kAlwaysExpandArgs, {}}},
    {ACT_DRIVE, {L"Drive", 1, 3, 0, {}}},
    {ACT_DRIVEGET, {L"DriveGet", 2, 3, kAlwaysExpandArgs, {}}},
    {ACT_SOUNDGET, {L"SoundGet", 1, 4, kAlwaysExpandArgs, {4}}},
    {ACT_SOUNDSET, {L"SoundSet", 1, 4, 0, {1, 4}}},
    {ACT_SOUNDGETWAVEVOLUME, {L"SoundGetWaveVolume", 1, 2, kAlwaysExpandArgs, {2}}},
    {ACT_SOUNDSETWAVEVOLUME, {L"SoundSetWaveVolume", 1, 2, 0, {1, 2}}},
    {ACT_SOUNDBEEP, {L"SoundBeep", 0, 2, 0, {1, 2}}},
    {ACT_SOUNDPLAY, {L"SoundPlay", 1, 2, 0, {}}},
    {ACT_FILEAPPEND, {L"FileAppend", 0, 3, 0, {}}},
    {ACT_FILEREAD, {L"FileRead", 2, 2, kAlwaysExpandArgs, {}}},
    {ACT_FILEREADLINE, {L"FileReadLine", 3, 3, kAlwaysExpandArgs, {3}}},
    {ACT_FILEDELETE, {L"FileDelete", 1, 1, 0, {}}},
    {ACT_FILERECYCLE, {L"FileRecycle", 1, 1, 0, {}}},
    {ACT_FILERECYCLEEMPTY, {L"FileRecycleEmpty", 0, 1, 0, {}}},
    {ACT_FILEINSTALL, {L"FileInstall", 2, 3, 0, {3}}},
    {ACT_FILECOPY, {L"FileCopy", 2, 3, 0, {3}}},
    {ACT_FILEMOVE, {L"FileMove", 2, 3, 0, {3}}},
    {ACT_FILECOPYDIR, {L"FileCopyDir", 2, 3, 0, {3}}},
    {ACT_FILEMOVEDIR, {L"FileMoveDir", 2, 3, 0, {}}},
    {ACT_FILECREATEDIR, {L"FileCreateDir", 1, 1, 0, {}}},
    {ACT_FILEREMOVEDIR, {L"FileRemoveDir", 1, 2, 0, {2}}},
    {ACT_FILEGETATTRIB, {L"FileGetAttrib", 1, 2, kAlwaysExpandArgs, {}}},
    {ACT_FILESETATTRIB, {L"FileSetAttrib", 1, 4, 0, {3, 4}}},
    {ACT_FILEGETTIME, {L"FileGetTime", 1, 3, kAlwaysExpandArgs, {}}},
    {ACT_FILESETTIME, {L"FileSetTime", 0, 5, 0, {1, 4, 5}}},
    {ACT_FILEGETSIZE, {L"FileGetSize", 1, 3, kAlwaysExpandArgs, {}}},
    {ACT_FILEGETVERSION, {L"FileGetVersion", 1, 2, kAlwaysExpandArgs, {}}},
    {ACT_SETWORKINGDIR, {L"SetWorkingDir", 1, 1, 0, {}}},
    {ACT_FILESELECTFILE, {L"FileSelectFile", 1, 5, kAlwaysExpandArgs, {}}},
    {ACT_FILESELECTFOLDER, {L"FileSelectFolder", 1, 4, kAlwaysExpandArgs, {3}}},
    {ACT_FILEGETSHORTCUT, {L"FileGetShortcut", 1, 8, kAlwaysExpandArgs, {}}},
    {ACT_FILECREATESHORTCUT, {L"FileCreateShortcut", 2, 9, 0, {8, 9}}},
    {ACT_INIREAD, {L"IniRead", 2, 5, kAlwaysExpandArgs, {}}},
    {ACT_INIWRITE, {L"IniWrite", 3, 4, 0, {}}},
    {ACT_INIDELETE, {L"IniDelete", 2, 3, 0, {}}},
    {ACT_REGREAD, {L"RegRead", 1, 4, kAlwaysExpandArgs, {}}},
    {ACT_REGWRITE, {L"RegWrite", 2, 5, 0, {}}},
    {ACT_REGDELETE, {L"RegDelete", 1, 3, 0, {}}},
    {ACT_SETREGVIEW, {L"SetRegView", 1, 1, 0, {}}},
    {ACT_OUTPUTDEBUG, {L"OutputDebug", 1, 1, 0, {}}},
    {ACT_SETKEYDELAY, {L"SetKeyDelay", 0, 3, 0, {1, 2}}},
    {ACT_SETMOUSEDELAY, {L"SetMouseDelay", 1, 2, 0, {1}}},
    {ACT_SETWINDELAY, {L"SetWinDelay", 1, 1, 0, {1}}},
    {ACT_SETCONTROLDELAY, {L"SetControlDelay", 1, 1, 0, {1}}},
    {ACT_SETBATCHLINES, {L"SetBatchLines", 1, 1, 0, {}}},
    {ACT_SETTITLEMATCHMODE, {L"SetTitleMatchMode", 1, 1, 0, {}}},
    {ACT_SETFORMAT, {L"SetFormat", 2, 2, 0, {}}},
    {ACT_FORMATTIME, {L"FormatTime", 1, 3, kAlwaysExpandArgs, {}}},
    {ACT_SUSPEND, {L"Suspend", 0, 1, 0, {}}},
    {ACT_PAUSE, {L"Pause", 0, 2, 0, {}}},
    {ACT_AUTOTRIM, {L"AutoTrim", 1, 1, 0, {}}},
    {ACT_STRINGCASESENSE, {L"StringCaseSense", 1, 1, 0, {}}},
    {ACT_DETECTHIDDENWINDOWS, {L"DetectHiddenWindows", 1, 1, 0, {}}},
    {ACT_DETECTHIDDENTEXT, {L"DetectHiddenText", 1, 1, 0, {}}},
    {ACT_BLOCKINPUT, {L"BlockInput", 1, 1, 0, {}}},
    {ACT_SETNUMLOCKSTATE, {L"SetNumlockState", 0, 1, 0, {}}},
    {ACT_SETSCROLLLOCKSTATE, {L"SetScrollLockState", 0, 1, 0, {}}},
    {ACT_SETCAPSLOCKSTATE, {L"SetCapslockState", 0, 1, 0, {}}},
    {ACT_SETSTORECAPSLOCKMODE, {L"SetStoreCapslockMode", 1, 1, 0, {}}},
    {ACT_KEYHISTORY, {L"KeyHistory", 0, 2, 0, {}}},
    {ACT_LISTLINES, {L"ListLines", 0, 1, 0, {}}},
    {ACT_LISTVARS, {L"ListVars", 0, 0, 0, {}}},
    {ACT_LISTHOTKEYS, {L"ListHotkeys", 0, 0, 0, {}}},
    {ACT_EDIT, {L"Edit", 0, 0, 0, {}}},
    {ACT_RELOAD, {L"Reload", 0, 0, 0, {}}},
    {ACT_MENU, {L"Menu", 2, 6, 0, {}}},
    {ACT_GUI, {L"Gui", 1, 4, 0, {}}},
    {ACT_GUICONTROL, {L"GuiControl", 0, 3, kAlwaysExpandArgs, {}}},
    {ACT_GUICONTROLGET, {L"GuiControlGet", 1, 4, 0, {}}},
    {ACT_EXITAPP, {L"ExitApp", 0, 1, 0, {1}}},
    {ACT_SHUTDOWN, {L"Shutdown", 1, 1, 0, {1}}},
    {ACT_FILEENCODING, {L"FileEncoding", 0, 1, 0, {}}},
    {ACT_HASH_IF, {L"#If", 0, 1, 0, {1}}},
};

// Whether an entry keeps the counting and numbering rules of the header.
constexpr bool IsWellFormed(const CommandEntry& entry) {
  if (entry.LeastArgs > entry.MostArgs || entry.MostArgs > kMaxArgs) return false;
  if ((entry.Flags & ~(kAlwaysExpandArgs | kRunsOwnArgs | kLoopCommand | kBlockKeyword)) != 0) return false;
  int previous = 0;
  for (uint8_t number : entry.NumericParams) {
    if (number == 0) break;
    if (number <= previous || number > entry.MostArgs) return false;
    previous = number;
  }
  return true;
}

// The table proper, indexed by action; fails to compile when a row is out of
// place or malformed.
constexpr std::array<CommandEntry, kActionCount> BuildCommandTable() {
  static_assert(std::size(kCommandRows) == kActionCount);
  std::array<CommandEntry, kActionCount> table{};
  for (size_t i = 0; i < static_cast<size_t>(kActionCount); ++i) {
    if (kCommandRows[i].Action != i) throw "command row out of index order";
    if (!IsWellFormed(kCommandRows[i].Entry)) throw "command row breaks the counting rules";
    table[i] = kCommandRows[i].Entry;
  }
  return table;
}

constexpr std::array<CommandEntry, kActionCount> kCommands = BuildCommandTable();

static_assert(kCommands[ACT_IFWINEXIST].Name == L"IfWinExist" && kCommands[ACT_ELSE].Name == L"Else");
static_assert(kCommands[ACT_MSGBOX].Name == L"MsgBox" && kCommands[ACT_GOTO].Name == L"Goto");
static_assert(kCommands[ACT_GOSUB].Name == L"Gosub" && kCommands[ACT_RETURN].Name == L"Return");
static_assert(kCommands[ACT_EXIT].Name == L"Exit" && kCommands[ACT_LOOP].Name == L"Loop");
static_assert(kCommands[ACT_FOR].Name == L"For" && kCommands[ACT_WHILE].Name == L"While");
static_assert(kCommands[ACT_UNTIL].Name == L"Until" && kCommands[ACT_TRY].Name == L"Try");
static_assert(kCommands[ACT_CATCH].Name == L"Catch" && kCommands[ACT_FINALLY].Name == L"Finally");
static_assert(kCommands[ACT_THROW].Name == L"Throw" && kCommands[ACT_BLOCK_BEGIN].Name == L"{");
static_assert(kCommands[ACT_BLOCK_END].Name == L"}" && kCommands[ACT_GUI].Name == L"Gui");
static_assert(kCommands[ACT_EXITAPP].Name == L"ExitApp" && kCommands[ACT_HASH_IF].Name == L"#If");

constexpr LegacyCommand kLegacyCommands[] = {
    {{L"SetEnv", 1, 2, kAlwaysExpandArgs | kRunsOwnArgs, {}}, ACT_ASSIGN, LegacyForm::Renamed},
    {{L"EnvAdd", 2, 3, 0, {2}}, ACT_ADD, LegacyForm::Renamed},
    {{L"EnvSub", 1, 3, 0, {2}}, ACT_SUB, LegacyForm::Renamed},
    {{L"EnvMult", 2, 2, 0, {2}}, ACT_MULT, LegacyForm::Renamed},
    {{L"EnvDiv", 2, 2, 0, {2}}, ACT_DIV, LegacyForm::Renamed},
    {{L"IfEqual", 1, 2, 0, {}}, ACT_IFEQUAL, LegacyForm::Renamed},
    {{L"IfNotEqual", 1, 2, 0, {}}, ACT_IFNOTEQUAL, LegacyForm::Renamed},
    {{L"IfGreater", 1, 2, 0, {}}, ACT_IFGREATER, LegacyForm::Renamed},
    {{L"IfGreaterOrEqual", 1, 2, 0, {}}, ACT_IFGREATEROREQUAL, LegacyForm::Renamed},
    {{L"IfLess", 1, 2, 0, {}}, ACT_IFLESS, LegacyForm::Renamed},
    {{L"IfLessOrEqual", 1, 2, 0, {}}, ACT_IFLESSOREQUAL, LegacyForm::Renamed},
    {{L"WinGetActiveTitle", 1, 1, kAlwaysExpandArgs, {}}, ACT_WINGETTITLE, LegacyForm::ActiveTitle},
    {{L"WinGetActiveStats", 5, 5, kAlwaysExpandArgs, {}}, ACT_WINGETTITLE, LegacyForm::ActiveStats},
};

// The rows of the variable-parameter table: every action listed gets Kind at
// each position from FirstPosition to LastPosition (0-based).
struct VarParamRow {
  ArgKind Kind;
  uint8_t FirstPosition;
  uint8_t LastPosition;
  std::span<const ActionType> Actions;
};

constexpr ActionType kOutputAt0[] = {
    ACT_ASSIGN,
    ACT_ASSIGNEXPR,
    ACT_ADD,
    ACT_SUB,
    ACT_MULT,
    ACT_DIV,
    ACT_INPUTBOX,
    ACT_INPUT,
    ACT_TRANSFORM,
    ACT_STRINGLEFT,
    ACT_STRINGRIGHT,
    ACT_STRINGMID,
    ACT_STRINGTRIMLEFT,
    ACT_STRINGTRIMRIGHT,
    ACT_STRINGLOWER,
    ACT_STRINGUPPER,
    ACT_STRINGLEN,
    ACT_STRINGGETPOS,
    ACT_STRINGREPLACE,
    ACT_ENVGET,
    ACT_GETKEYSTATE,
    ACT_CONTROLGETPOS,
    ACT_CONTROLGETFOCUS,
    ACT_CONTROLGETTEXT,
    ACT_CONTROLGET,
    ACT_MOUSEGETPOS,
    ACT_STATUSBARGETTEXT,
    ACT_RANDOM,
    ACT_FOR,
    ACT_CATCH,
    ACT_WINGETTITLE,
    ACT_WINGETCLASS,
    ACT_WINGET,
    ACT_WINGETPOS,
    ACT_WINGETTEXT,
    ACT_SYSGET,
    ACT_PIXELGETCOLOR,
    ACT_PIXELSEARCH,
    ACT_IMAGESEARCH,
    ACT_DRIVESPACEFREE,
    ACT_DRIVEGET,
    ACT_SOUNDGET,
    ACT_SOUNDGETWAVEVOLUME,
    ACT_FILEREAD,
    ACT_FILEREADLINE,
    ACT_FILEGETATTRIB,
    ACT_FILEGETTIME,
    ACT_FILEGETSIZE,
    ACT_FILEGETVERSION,
    ACT_FILESELECTFILE,
    ACT_FILESELECTFOLDER,
    ACT_INIREAD,
    ACT_REGREAD,
    ACT_FORMATTIME,
    ACT_GUICONTROLGET,
};
constexpr ActionType kInputAt0[] = {
    ACT_IFIN,      ACT_IFNOTIN,       ACT_IFCONTAINS, ACT_IFNOTCONTAINS, ACT_IFIS,      ACT_IFISNOT,
    ACT_IFBETWEEN, ACT_IFNOTBETWEEN,  ACT_IFEQUAL,    ACT_IFNOTEQUAL,    ACT_IFGREATER, ACT_IFGREATEROREQUAL,
    ACT_IFLESS,    ACT_IFLESSOREQUAL, ACT_IFINSTRING, ACT_IFNOTINSTRING, ACT_SPLITPATH, ACT_SORT,
};
constexpr ActionType kInputAt1[] = {
    ACT_STRINGLEFT,  ACT_STRINGRIGHT, ACT_STRINGMID,    ACT_STRINGTRIMLEFT, ACT_STRINGTRIMRIGHT, ACT_STRINGLOWER,
    ACT_STRINGUPPER, ACT_STRINGLEN,   ACT_STRINGGETPOS, ACT_STRINGREPLACE,  ACT_STRINGSPLIT,
};
constexpr ActionType kOutputAt1[] = {
    ACT_SPLITPATH, ACT_CONTROLGETPOS, ACT_MOUSEGETPOS, ACT_FOR,
    ACT_WINGETPOS, ACT_PIXELSEARCH,   ACT_IMAGESEARCH, ACT_FILEGETSHORTCUT,
};
constexpr ActionType kOutputAt2[] = {
    ACT_SPLITPATH, ACT_CONTROLGETPOS, ACT_MOUSEGETPOS, ACT_WINGETPOS, ACT_FILEGETSHORTCUT,
};
constexpr ActionType kOutputAt3[] = {
    ACT_SPLITPATH, ACT_RUN, ACT_RUNWAIT, ACT_CONTROLGETPOS, ACT_MOUSEGETPOS, ACT_WINGETPOS, ACT_FILEGETSHORTCUT,
};
constexpr ActionType kOutputAt4To5[] = {ACT_SPLITPATH, ACT_FILEGETSHORTCUT};
constexpr ActionType kOutputAt6To7[] = {ACT_FILEGETSHORTCUT};

constexpr VarParamRow kVarParamRows[] = {
    {ARG_TYPE_OUTPUT_VAR, 0, 0, kOutputAt0},    {ARG_TYPE_INPUT_VAR, 0, 0, kInputAt0},
    {ARG_TYPE_INPUT_VAR, 1, 1, kInputAt1},      {ARG_TYPE_OUTPUT_VAR, 1, 1, kOutputAt1},
    {ARG_TYPE_OUTPUT_VAR, 2, 2, kOutputAt2},    {ARG_TYPE_OUTPUT_VAR, 3, 3, kOutputAt3},
    {ARG_TYPE_OUTPUT_VAR, 4, 5, kOutputAt4To5}, {ARG_TYPE_OUTPUT_VAR, 6, 7, kOutputAt6To7},
};

// Positions past the last variable parameter of any command are always normal.
constexpr int kVarParamPositions = 8;

using ArgKindTable = std::array<std::array<ArgKind, kVarParamPositions>, kActionCount>;

// Whether the 1-based parameter number is in an entry's numeric list.
constexpr bool ListsNumeric(const CommandEntry& entry, int oneBasedPosition) {
  for (uint8_t number : entry.NumericParams) {
    if (number == 0) break;
    if (number == oneBasedPosition) return true;
  }
  return false;
}

// The variable-parameter rows spread into a direct (action, position) lookup;
// fails to compile when a position gets two kinds, lies beyond the command's
// MostArgs, or is also numeric.
constexpr ArgKindTable BuildArgKinds() {
  ArgKindTable kinds{};
  for (const VarParamRow& row : kVarParamRows) {
    for (ActionType action : row.Actions) {
      for (int position = row.FirstPosition; position <= row.LastPosition; ++position) {
        if (position >= kVarParamPositions || position >= kCommands[action].MostArgs)
          throw "variable parameter beyond the command's arguments";
        const auto slot = static_cast<size_t>(position);
        if (kinds[action][slot] != ARG_TYPE_NORMAL) throw "variable parameter listed twice";
        if (ListsNumeric(kCommands[action], position + 1)) throw "variable parameter also numeric";
        kinds[action][slot] = row.Kind;
      }
    }
  }
  return kinds;
}

constexpr ArgKindTable kArgKinds = BuildArgKinds();

// ASCII case folding: every command name is ASCII, so a name with any other
// letter never matches one.
constexpr wchar_t FoldCase(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

// Three-way comparison of two names without regard to ASCII case.
constexpr int CompareNames(std::wstring_view a, std::wstring_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    wchar_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

constexpr int kNamedActionCount = kActionCount - kFirstNamedAction;

// The named actions ordered by case-folded name, for binary search; fails to
// compile when two names are equal without regard to case.
constexpr std::array<ActionType, kNamedActionCount> BuildNameIndex() {
  std::array<ActionType, kNamedActionCount> index{};
  for (size_t i = 0; i < index.size(); ++i) index[i] = static_cast<ActionType>(kFirstNamedAction + i);
  std::sort(index.begin(), index.end(),
            [](ActionType a, ActionType b) { return CompareNames(kCommands[a].Name, kCommands[b].Name) < 0; });
  for (size_t i = 1; i < index.size(); ++i)
    if (CompareNames(kCommands[index[i - 1]].Name, kCommands[index[i]].Name) == 0) throw "duplicate command name";
  return index;
}

constexpr std::array<ActionType, kNamedActionCount> kNameIndex = BuildNameIndex();

// Length of the longest command name: longer words are rejected without a search.
constexpr size_t LongestName() {
  size_t longest = 0;
  for (ActionType action : kNameIndex) longest = std::max(longest, kCommands[action].Name.size());
  return longest;
}

constexpr size_t kLongestName = LongestName();

// Whether the legacy names are well formed, collide with no command name and
// carry the flag of the action they become.
constexpr bool LegacyTableIsConsistent() {
  for (const LegacyCommand& legacy : kLegacyCommands) {
    if (!IsWellFormed(legacy.Entry) || legacy.Entry.Flags != kCommands[legacy.Becomes].Flags) return false;
    for (ActionType action : kNameIndex)
      if (CompareNames(legacy.Entry.Name, kCommands[action].Name) == 0) return false;
  }
  return true;
}

static_assert(LegacyTableIsConsistent());

}  // namespace

// The flags agree with the action ranges the parser and linker test.
constexpr bool FlagsAgreeWithRanges() {
  for (int i = 0; i < kActionCount; ++i) {
    const auto action = static_cast<ActionType>(i);
    if (((kCommands[action].Flags & kLoopCommand) != 0) != IsLoop(action)) return false;
    if ((kCommands[action].Flags & kLoopCommand) && !(kCommands[action].Flags & kRunsOwnArgs)) return false;
  }
  return true;
}
static_assert(FlagsAgreeWithRanges());

const std::array<CommandEntry, kActionCount> kCommandEntries = kCommands;

ActionType FindCommand(std::wstring_view name) {
  if (name.empty() || name.size() > kLongestName) return ACT_INVALID;
  auto nameBefore = [](ActionType action, std::wstring_view key) {
    return CompareNames(kCommands[action].Name, key) < 0;
  };
  auto found = std::lower_bound(kNameIndex.begin(), kNameIndex.end(), name, nameBefore);
  if (found != kNameIndex.end() && CompareNames(kCommands[*found].Name, name) == 0) return *found;
  return ACT_INVALID;
}

const LegacyCommand* FindLegacyCommand(std::wstring_view name) {
  for (const LegacyCommand& legacy : kLegacyCommands)
    if (CompareNames(legacy.Entry.Name, name) == 0) return &legacy;
  return nullptr;
}

ArgKind ArgKindOf(ActionType action, int position) {
  if (action >= kActionCount || position < 0 || position >= kVarParamPositions) return ARG_TYPE_NORMAL;
  return kArgKinds[action][static_cast<size_t>(position)];
}

ArgKind ArgKindInLine(ActionType action, int position, std::wstring_view firstArg) {
  constexpr int kParseInputPosition = 1;
  if (action == ACT_LOOP && position == kParseInputPosition && CompareNames(firstArg, L"Parse") == 0)
    return ARG_TYPE_INPUT_VAR;
  return ArgKindOf(action, position);
}

bool IsNumericParam(ActionType action, int oneBasedPosition) {
  return action < kActionCount && oneBasedPosition > 0 && ListsNumeric(kCommands[action], oneBasedPosition);
}
