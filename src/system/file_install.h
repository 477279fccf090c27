// FileInstall: writes a file that the script compiler stored in the
// executable as an RCDATA resource named after the source, in capitals.
#pragma once
#include "exec/command_args.h"

// The longest resource name FileInstall looks up, in characters.
inline constexpr size_t kMaxInstallNameChars = 259;

// FileInstall, Source, Dest [, Overwrite]
ResultCode CmdFileInstall(ScriptLine& line, CommandArgs& args);
