// The list of subsystems, one line each; adding a folder adds its line.
#include "app/subsystems.h"

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/app_subsystem.h"
#include "automation/automation_subsystem.h"
#include "base/base_state.h"
#include "base/console_output.h"
#include "base/script_context.h"
#include "com/com_subsystem.h"
#include "exec/command_dispatch.h"
#include "exec/exec_state.h"
#include "gui/gui_subsystem.h"
#include "objects/builtin_functions.h"
#include "objects/objects_subsystem.h"
#include "regex/regex_subsystem.h"
#include "script/script_state.h"
#include "system/system_subsystem.h"
#include "text/text_subsystem.h"
#include "values/builtin_vars.h"
#include "values/values_state.h"

std::span<const Subsystem* const> AllSubsystems() {
  static const Subsystem* const kSubsystems[] = {
      &ExecSubsystem(), &ObjectsSubsystem(), &SystemSubsystem(), &GuiSubsystem(),     &TextSubsystem(),
      &RegexSubsystem(), &AutomationSubsystem(), &ComSubsystem(), &AppSubsystem(),
  };
  return kSubsystems;
}

bool InstallSubsystems() {
  InstallBuiltInVariables();
  std::vector<MessageFilter>& filters = App().MessageFilters;
  filters.clear();
  for (const Subsystem* subsystem : AllSubsystems()) {
    ActionType clash = RegisterCommands(subsystem->Commands);
    if (clash != ACT_INVALID) {
      WriteToStdHandle(STD_ERROR_HANDLE, std::wstring(L"Command registered twice (by ") + subsystem->Name + L"): " +
                                             std::wstring(CommandInfo(clash).Name) + L"\n");
      return false;
    }
    if (subsystem->FunctionCount) RegisterBuiltInFunctions({subsystem->Functions, subsystem->FunctionCount});
    if (!subsystem->Variables.empty()) RegisterBuiltInVariables(subsystem->Variables);
    for (MessageFilter filter : subsystem->MessageFilters) filters.push_back(filter);
  }
  for (const Subsystem* subsystem : AllSubsystems())
    if (subsystem->Startup) subsystem->Startup();
  if (const wchar_t* missing = MissingExecHook()) {
    WriteToStdHandle(STD_ERROR_HANDLE, std::wstring(L"No subsystem installed the execution hook ") + missing + L"\n");
    return false;
  }
  return true;
}

void RunSubsystemExitSteps() {
  std::span<const Subsystem* const> all = AllSubsystems();
  for (size_t i = all.size(); i-- > 0;)
    if (all[i]->Exit) all[i]->Exit();
}

bool OfferToMessageFilters(MSG& msg) {
  for (MessageFilter filter : App().MessageFilters)
    if (filter(msg)) return true;
  return false;
}

bool ResetInterpreterState() {
  std::span<const Subsystem* const> all = AllSubsystems();
  for (size_t i = all.size(); i-- > 0;)
    if (all[i]->Reset) all[i]->Reset();
  ResetScriptState();
  ResetValuesState();
  ResetScriptContext();
  ResetBaseState();
  return InstallSubsystems();
}
