// Reload and Edit: the commands and the Reload menu item.
//
// Reload starts a new copy of the interpreter with "/restart" and the same
// script, in the folder the script started in; the running copy goes on
// until the new one, once loaded, asks it to exit (reason "Reload"). So a
// script with a load error never replaces the running one.
#pragma once
#include <string>

#include "exec/command_args.h"

struct ScriptLine;

// The command line that restarts the script: the quoted executable,
// "/restart", and for a script file its quoted path.
std::wstring RestartCommandLine();

ResultCode CmdReload(ScriptLine& line, CommandArgs& args);

// Does nothing: the script cannot be opened for editing.
ResultCode CmdEdit(ScriptLine& line, CommandArgs& args);

// The Reload menu item: as the command, but a failure shows "The script
// could not be reloaded." instead of the launch error.
void ReloadFromMenu();
