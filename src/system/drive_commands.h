// Drive and DriveGet: the CD tray, drive locks and labels, and what a
// drive is (its list, file system, label, serial number, type, status and
// capacity). Every failure is ErrorLevel 1; nothing shows a dialog.
#pragma once
#include "exec/command_args.h"

// Drive, SubCommand [, Drive, Value]
ResultCode CmdDrive(ScriptLine& line, CommandArgs& args);
// DriveGet, OutputVar, SubCommand [, Value]
ResultCode CmdDriveGet(ScriptLine& line, CommandArgs& args);
