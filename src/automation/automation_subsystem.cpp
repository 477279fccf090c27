// Registers the automation subsystem: its command rows, WinExist and
// WinActive, and the variables of its settings.
//
// Every row goes through WithRegExCheck: a search in RegEx mode while no
// regular-expression engine is installed matched nothing, and the line
// fails with a clear message instead of acting as if no window existed.
#include "automation/automation_subsystem.h"

#include "automation/automation_state.h"
#include "automation/window_commands.h"
#include "automation/window_groups.h"
#include "base/error_sink.h"
#include "base/script_context.h"
#include "objects/builtin_functions.h"
#include "values/expr_token.h"

namespace state_detail {
AutomationState automation;
}  // namespace state_detail

namespace {

// Reports a RegEx search that had no engine to ask.
ResultCode ReportMissingRegEx(const ScriptLine* line) {
  Automation().RegExUnavailable = false;
  return ReportLineError(line, expr_msg::RegExUnsupported);
}

// Runs a command and fails its line when it needed regular expressions
// that this build cannot provide.
template <CommandFunction Run>
ResultCode WithRegExCheck(ScriptLine& line, CommandArgs& args) {
  Automation().RegExUnavailable = false;
  const ResultCode result = Run(line, args);
  if (Automation().RegExUnavailable && result != ResultCode::Fail) return ReportMissingRegEx(&line);
  return result;
}

// The same for WinExist and WinActive.
ResultCode WinExistChecked(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  Automation().RegExUnavailable = false;
  const ResultCode code = FnWinExistOrActive(func, result, params, count, expandLast);
  if (Automation().RegExUnavailable && code != ResultCode::Fail) return ReportMissingRegEx(Script().CurrentLine);
  return code;
}

const CommandRow kAutomationCommands[] = {
    {ACT_IFWINEXIST, WithRegExCheck<CmdIfWin>},
    {ACT_IFWINNOTEXIST, WithRegExCheck<CmdIfWin>},
    {ACT_IFWINACTIVE, WithRegExCheck<CmdIfWin>},
    {ACT_IFWINNOTACTIVE, WithRegExCheck<CmdIfWin>},
    {ACT_WINACTIVATE, WithRegExCheck<CmdWinActivate>},
    {ACT_WINACTIVATEBOTTOM, WithRegExCheck<CmdWinActivate>},
    {ACT_WINWAIT, WithRegExCheck<CmdWinWait>},
    {ACT_WINWAITCLOSE, WithRegExCheck<CmdWinWait>},
    {ACT_WINWAITACTIVE, WithRegExCheck<CmdWinWait>},
    {ACT_WINWAITNOTACTIVE, WithRegExCheck<CmdWinWait>},
    {ACT_WINMINIMIZE, WithRegExCheck<CmdWinShowState>},
    {ACT_WINMAXIMIZE, WithRegExCheck<CmdWinShowState>},
    {ACT_WINRESTORE, WithRegExCheck<CmdWinShowState>},
    {ACT_WINHIDE, WithRegExCheck<CmdWinShowState>},
    {ACT_WINSHOW, WithRegExCheck<CmdWinShowState>},
    {ACT_WINMINIMIZEALL, CmdWinMinimizeAll},
    {ACT_WINMINIMIZEALLUNDO, CmdWinMinimizeAll},
    {ACT_WINCLOSE, WithRegExCheck<CmdWinClose>},
    {ACT_WINKILL, WithRegExCheck<CmdWinClose>},
    {ACT_WINMOVE, WithRegExCheck<CmdWinMove>},
    {ACT_WINMENUSELECTITEM, WithRegExCheck<CmdWinMenuSelectItem>},
    {ACT_WINSET, WithRegExCheck<CmdWinSet>},
    {ACT_WINSETTITLE, WithRegExCheck<CmdWinSetTitle>},
    {ACT_WINGETTITLE, WithRegExCheck<CmdWinGetTitle>},
    {ACT_WINGETCLASS, WithRegExCheck<CmdWinGetClass>},
    {ACT_WINGET, WithRegExCheck<CmdWinGet>},
    {ACT_WINGETPOS, WithRegExCheck<CmdWinGetPos>},
    {ACT_WINGETTEXT, WithRegExCheck<CmdWinGetText>},
    {ACT_POSTMESSAGE, WithRegExCheck<CmdPostMessage>},
    {ACT_SENDMESSAGE, WithRegExCheck<CmdPostMessage>},
    {ACT_GROUPADD, CmdGroupAdd},
    {ACT_GROUPACTIVATE, WithRegExCheck<CmdGroupActivate>},
    {ACT_GROUPDEACTIVATE, WithRegExCheck<CmdGroupDeactivate>},
    {ACT_GROUPCLOSE, WithRegExCheck<CmdGroupClose>},
    {ACT_SETTITLEMATCHMODE, CmdSetTitleMatchMode},
    {ACT_DETECTHIDDENWINDOWS, CmdDetectHidden},
    {ACT_DETECTHIDDENTEXT, CmdDetectHidden},
    {ACT_SETWINDELAY, CmdSetDelay},
    {ACT_SETCONTROLDELAY, CmdSetDelay},
    {ACT_COORDMODE, CmdCoordMode},
};

const BuiltInFunctionDef kAutomationFunctions[] = {
    {L"WinExist", 0, 4, WinExistChecked},
    {L"WinActive", 0, 4, WinExistChecked},
};

void ResetAutomation() {
  AutomationState& state = Automation();
  state.Groups.clear();
  state.Visited.clear();
  state.VisitedOwner = nullptr;
  state.RegExUnavailable = false;
}

}  // namespace

const Subsystem& AutomationSubsystem() {
  static const Subsystem kAutomation{.Name = L"automation",
                                     .Commands = kAutomationCommands,
                                     .Functions = kAutomationFunctions,
                                     .FunctionCount = std::size(kAutomationFunctions),
                                     .Variables = AutomationVariables(),
                                     .Reset = ResetAutomation};
  return kAutomation;
}
