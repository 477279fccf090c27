// Registers the system subsystem's commands.
#include "system/system_subsystem.h"

#include <new>

#include "system/clipboard.h"
#include "system/file_append.h"
#include "system/process_command.h"
#include "system/run_program.h"
#include "system/system_state.h"

namespace state_detail {
SystemState system;
}  // namespace state_detail

namespace {

const CommandRow kSystemCommands[] = {
    {ACT_FILEAPPEND, CmdFileAppend},
    {ACT_FILEENCODING, CmdFileEncoding},
    {ACT_RUN, CmdRun},
    {ACT_RUNWAIT, CmdRun},
    {ACT_RUNAS, CmdRunAs},
    {ACT_PROCESS, CmdProcess},
    {ACT_SHUTDOWN, CmdShutdown},
    {ACT_CLIPWAIT, CmdClipWait},
};

const MessageFilter kSystemMessageFilters[] = {
    FilterClipboardMessage,
};

void StartSystem() { InstallClipboardVariables(); }

// The state holds callbacks, which are not copied: it is made anew.
void ResetSystem() {
  System().~SystemState();
  new (&System()) SystemState();
}

}  // namespace

const Subsystem& SystemSubsystem() {
  static const Subsystem kSystem{.Name = L"system",
                                 .Commands = kSystemCommands,
                                 .Functions = ClipboardFunctions().Defs,
                                 .FunctionCount = ClipboardFunctions().Count,
                                 .MessageFilters = kSystemMessageFilters,
                                 .Startup = StartSystem,
                                 .Exit = StopClipboardWatch,
                                 .Reset = ResetSystem};
  return kSystem;
}
