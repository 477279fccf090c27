// The registry commands: RegRead, RegWrite, RegDelete and SetRegView, and
// the A_RegView variable. Each leaves the platform's result code in
// A_LastError and reports success through ErrorLevel (or an exception
// inside Try); none shows a dialog except SetRegView for an unknown view.
#pragma once
#include <span>

#include "exec/command_args.h"
#include "values/builtin_vars.h"

// RegRead, OutputVar [, KeyName, ValueName]; or RootKey, SubKey, ValueName.
ResultCode CmdRegRead(ScriptLine& line, CommandArgs& args);
// RegWrite, ValueType, KeyName [, ValueName, Value]; or RootKey, SubKey, ...
ResultCode CmdRegWrite(ScriptLine& line, CommandArgs& args);
// RegDelete, KeyName [, ValueName]; or RootKey, SubKey [, ValueName]
ResultCode CmdRegDelete(ScriptLine& line, CommandArgs& args);
// SetRegView, 32|64|Default
ResultCode CmdSetRegView(ScriptLine& line, CommandArgs& args);

// A_RegView.
std::span<const BuiltInVarDef> RegistryVariables();
