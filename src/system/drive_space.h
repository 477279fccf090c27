// DriveSpaceFree, and the megabyte sizes of a drive that DriveGet's
// Capacity shares with it.
#pragma once
#include <cstdint>
#include <string_view>

#include "exec/command_args.h"

// Which size of a drive to measure.
enum class DriveSize { FreeToCaller, Total };

// The size, in whole megabytes, of the drive that holds `path` (a trailing
// backslash is added when missing); false when the path is empty or too
// long or the system cannot tell.
bool DriveMegabytes(std::wstring_view path, DriveSize which, uint64_t& megabytes);

// DriveSpaceFree, OutputVar, Path
ResultCode CmdDriveSpaceFree(ScriptLine& line, CommandArgs& args);
