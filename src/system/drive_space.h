// DriveSpaceFree: the megabytes free to the caller on the drive of a path.
#pragma once
#include "exec/command_args.h"

// DriveSpaceFree, OutputVar, Path
ResultCode CmdDriveSpaceFree(ScriptLine& line, CommandArgs& args);
