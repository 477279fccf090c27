// IniRead, IniWrite and IniDelete through the platform's profile functions.
// New files are created in UTF-16 so that any text survives a round trip.
#pragma once
#include "exec/command_args.h"

// IniRead, OutputVar, Filename [, Section, Key, Default]
ResultCode CmdIniRead(ScriptLine& line, CommandArgs& args);
// IniWrite, Value, Filename, Section [, Key]
ResultCode CmdIniWrite(ScriptLine& line, CommandArgs& args);
// IniDelete, Filename, Section [, Key]
ResultCode CmdIniDelete(ScriptLine& line, CommandArgs& args);
