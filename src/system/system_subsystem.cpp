// Registers the system subsystem's commands.
#include "system/system_subsystem.h"

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
};

void ResetSystem() { System() = SystemState{}; }

}  // namespace

const Subsystem& SystemSubsystem() {
  static const Subsystem kSystem{.Name = L"system", .Commands = kSystemCommands, .Reset = ResetSystem};
  return kSystem;
}
