// Window groups: GroupAdd, GroupActivate, GroupDeactivate, GroupClose, the
// qrv_group criterion and the commands that act on every member at once.
//
// Invariants: a group's rules are never removed; the visited list belongs
// to one group at a time and is emptied when another group starts a cycle.
#pragma once
#include <windows.h>

#include <string_view>

#include "automation/automation_state.h"
#include "base/command_table.h"
#include "exec/command_args.h"

// The group of that name (any case), or null.
WindowGroup* FindGroup(std::wstring_view name);
// The first rule of the group the window matches, or null.
const WindowGroupRule* MemberRule(const WindowGroup& group, HWND window);
// Applies a window command to every member of the group.
void ActOnAll(const WindowGroup& group, ActionType action, int waitMs);
// The group named by a WinTitle of the form "qrv_group Name", when the
// command may act on all of its members; else null.
WindowGroup* GroupOfTitle(std::wstring_view title);

ResultCode CmdGroupAdd(ScriptLine& line, CommandArgs& args);
ResultCode CmdGroupActivate(ScriptLine& line, CommandArgs& args);
ResultCode CmdGroupDeactivate(ScriptLine& line, CommandArgs& args);
ResultCode CmdGroupClose(ScriptLine& line, CommandArgs& args);
