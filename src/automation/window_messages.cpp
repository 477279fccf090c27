// PostMessage and SendMessage: a raw message to a window or one of its
// controls. A parameter written as a quoted string passes the address of
// its text; one written as &Var passes the variable's memory, whose length
// is refreshed after the call so that text the window wrote is seen.
#include <string>

#include "automation/automation_support.h"
#include "automation/find_control.h"
#include "automation/window_commands.h"
#include "automation/window_search.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "values/variable.h"

namespace {

// Argument positions of PostMessage and SendMessage.
enum : int {
  kArgMsg = 0,
  kArgWParam = 1,
  kArgLParam = 2,
  kArgControl = 3,
  kArgTitle = 4,
  kArgText = 5,
  kArgExcludeTitle = 6,
  kArgExcludeText = 7,
  kArgTimeout = 8,
};

// SendMessage's wait for the reply when no Timeout is given.
constexpr UINT kDefaultSendTimeoutMs = 5000;
// The outcome text of a message that could not be delivered.
constexpr wchar_t kFailText[] = L"FAIL";

// The raw text of an argument as the script wrote it.
std::wstring_view WrittenArg(const ScriptLine& line, int i) {
  if (i >= line.ArgTotal || !line.ArgList) return {};
  const ArgRecord& arg = line.ArgList[i];
  return std::wstring_view(arg.Content, arg.ContentLength);
}

// The variable a parameter written as "&Name" points at, or null.
Variable* AddressedVariable(const ScriptLine& line, int i) {
  std::wstring_view written = WrittenArg(line, i);
  while (!written.empty() && (written.front() == L' ' || written.front() == L'\t')) written.remove_prefix(1);
  if (written.size() < 2 || written.front() != L'&') return nullptr;
  written.remove_prefix(1);
  while (!written.empty() && (written.back() == L' ' || written.back() == L'\t')) written.remove_suffix(1);
  if (!IsValidVariableName(written)) return nullptr;
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  Variable* var = FindVariable(written, Values().Globals, scope, ResolvePhase::Running);
  return var ? var->ResolveAlias() : nullptr;
}

// A message parameter: the address of a quoted string's text, or the number.
uintptr_t MessageParam(const ScriptLine& line, const CommandArgs& args, int i) {
  const std::wstring_view written = WrittenArg(line, i);
  if (!written.empty() && written.front() == L'"') return reinterpret_cast<uintptr_t>(args[i]);
  return static_cast<uintptr_t>(WholeNumberOr0(ArgView(args, i)));
}

// After the window wrote into a variable's memory: its length ends at the
// first terminator, within its room.
void RefreshWrittenVariable(Variable* var) {
  if (!var) return;
  const size_t capacity = var->Capacity();
  if (!capacity) return;
  auto* buffer = const_cast<wchar_t*>(var->TextOf(false));
  buffer[capacity] = L'\0';
  var->SetLength(wcslen(buffer));
}

}  // namespace

// PostMessage ("1" when it cannot be posted) and SendMessage (the reply, or
// "FAIL").
ResultCode CmdPostMessage(ScriptLine& line, CommandArgs& args) {
  const bool send = line.CommandIndex == ACT_SENDMESSAGE;
  HWND window = ResolveTargetWindow(StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText));
  const std::wstring_view control = ArgView(args, kArgControl);
  HWND target = window && !control.empty() ? FindControl(window, control) : window;
  if (!target) return send ? ReportOutcomeText(kFailText) : ReportOutcome(true);
  const UINT message = static_cast<UINT>(WholeNumberOr0(ArgView(args, kArgMsg)));
  const auto wParam = static_cast<WPARAM>(MessageParam(line, args, kArgWParam));
  const auto lParam = static_cast<LPARAM>(MessageParam(line, args, kArgLParam));
  Variable* wVar = AddressedVariable(line, kArgWParam);
  Variable* lVar = AddressedVariable(line, kArgLParam);
  if (!send) {
    if (!PostMessageW(target, message, wParam, lParam)) return ReportOutcome(true);
    RefreshWrittenVariable(wVar);
    RefreshWrittenVariable(lVar);
    return ReportOutcome(false);
  }
  const std::wstring_view timeoutText = ArgView(args, kArgTimeout);
  const UINT timeout = timeoutText.empty() ? kDefaultSendTimeoutMs : static_cast<UINT>(WholeNumberOr0(timeoutText));
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_ABORTIFHUNG, timeout, &reply))
    return ReportOutcomeText(kFailText);
  RefreshWrittenVariable(wVar);
  RefreshWrittenVariable(lVar);
  SetErrorLevelNumber(static_cast<int64_t>(reply));
  return ResultCode::Ok;
}
