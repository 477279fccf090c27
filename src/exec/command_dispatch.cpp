// The dispatch table: filled at start-up from the rows each subsystem
// registers. A command no subsystem implements fails with a clear error.
#include "exec/command_dispatch.h"

#include <string>

#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "exec/settings_commands.h"

namespace {

// The execution layer's own commands: settings of the running thread.
const CommandRow kExecCommands[] = {
    {ACT_SETBATCHLINES, CmdSetBatchLines}, {ACT_AUTOTRIM, CmdAutoTrim},   {ACT_STRINGCASESENSE, CmdStringCaseSense},
    {ACT_SETFORMAT, CmdSetFormat},         {ACT_LISTLINES, CmdListLines}, {ACT_OUTPUTDEBUG, CmdOutputDebug},
};

// Installs the execution layer's reports behind the base layer's sink.
void StartExec() { InstallExecErrorReporter(); }

}  // namespace

const Subsystem& ExecSubsystem() {
  static const Subsystem kExec{
      .Name = L"exec", .Commands = kExecCommands, .Startup = StartExec, .Reset = ResetExecState};
  return kExec;
}

ActionType RegisterCommands(std::span<const CommandRow> rows) {
  for (const CommandRow& row : rows) {
    CommandFunction& slot = Exec().Commands[row.Action];
    if (slot && slot != row.Run) return row.Action;
    slot = row.Run;
  }
  return ACT_INVALID;
}

ResultCode DispatchCommand(ScriptLine& line, CommandArgs& args) {
  CommandFunction run = Exec().Commands[line.CommandIndex];
  if (!run)
    return ReportLineError(&line, kCommandNotSupported, ERROR_KIND_ERROR,
                           std::wstring(CommandInfo(line.CommandIndex).Name));
  return run(line, args);
}
