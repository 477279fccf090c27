// The window commands and functions of the automation subsystem, one entry
// point each with the signature every command has. Each file implements a
// family: window_commands.cpp (activate, show states, close, move, title,
// menus, IfWin, WinExist/WinActive), window_wait.cpp, window_get.cpp,
// window_set.cpp, window_messages.cpp, window_settings.cpp.
#pragma once
#include "automation/window_criteria.h"
#include "exec/command_args.h"
#include "values/expr_token.h"

// The four criteria strings of a command, from their argument positions.
WindowStrings StringsAt(const CommandArgs& args, int title, int text, int excludeTitle, int excludeText);

ResultCode CmdWinActivate(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinShowState(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinClose(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinMove(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinSetTitle(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinMinimizeAll(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinMenuSelectItem(ScriptLine& line, CommandArgs& args);
ResultCode CmdIfWin(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinWait(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinGet(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinGetTitle(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinGetClass(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinGetText(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinGetPos(ScriptLine& line, CommandArgs& args);
ResultCode CmdWinSet(ScriptLine& line, CommandArgs& args);
ResultCode CmdPostMessage(ScriptLine& line, CommandArgs& args);
ResultCode CmdSetTitleMatchMode(ScriptLine& line, CommandArgs& args);
ResultCode CmdDetectHidden(ScriptLine& line, CommandArgs& args);
ResultCode CmdSetDelay(ScriptLine& line, CommandArgs& args);
ResultCode CmdCoordMode(ScriptLine& line, CommandArgs& args);

// WinExist and WinActive.
ResultCode FnWinExistOrActive(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
