// The dispatch table: one row per implemented command. Commands whose
// subsystem has not been built yet are absent and fail clearly.
#include "exec/command_dispatch.h"

#include <array>
#include <string>

#include "app/main_window_views.h"
#include "app/reload_edit.h"
#include "app/thread_commands.h"
#include "automation/file_append.h"
#include "exec/errors.h"
#include "exec/settings_commands.h"
#include "script/script_line.h"

namespace {

inline constexpr wchar_t kCommandNotSupported[] = L"This command is not supported by this version yet.";

struct DispatchEntry {
  ActionType Action;
  CommandFunction Run;
};

const DispatchEntry kImplemented[] = {
    {ACT_FILEAPPEND, CmdFileAppend},
    {ACT_FILEENCODING, CmdFileEncoding},
    {ACT_SLEEP, CmdSleep},
    {ACT_SETBATCHLINES, CmdSetBatchLines},
    {ACT_AUTOTRIM, CmdAutoTrim},
    {ACT_STRINGCASESENSE, CmdStringCaseSense},
    {ACT_SETFORMAT, CmdSetFormat},
    {ACT_LISTLINES, CmdListLines},
    {ACT_OUTPUTDEBUG, CmdOutputDebug},
    {ACT_SETTIMER, CmdSetTimer},
    {ACT_ONEXIT, CmdOnExit},
    {ACT_CRITICAL, CmdCritical},
    {ACT_THREAD, CmdThread},
    {ACT_PAUSE, CmdPause},
    {ACT_LISTVARS, CmdListVars},
    {ACT_LISTHOTKEYS, CmdListHotkeys},
    {ACT_KEYHISTORY, CmdKeyHistory},
    {ACT_RELOAD, CmdReload},
    {ACT_EDIT, CmdEdit},
};

// The table indexed by action type, built once from the rows above.
const std::array<CommandFunction, kActionCount>& DispatchTable() {
  static const std::array<CommandFunction, kActionCount> table = [] {
    std::array<CommandFunction, kActionCount> built{};
    for (const DispatchEntry& entry : kImplemented) built[entry.Action] = entry.Run;
    return built;
  }();
  return table;
}

}  // namespace

ResultCode DispatchCommand(ScriptLine& line, CommandArgs& args) {
  CommandFunction run = DispatchTable()[line.CommandIndex];
  if (!run)
    return ReportLineError(&line, kCommandNotSupported, ERROR_KIND_ERROR, std::wstring(CommandInfo(line.CommandIndex).Name));
  return run(line, args);
}
