// Restarting the script.
#include "app/reload_edit.h"

#include <windows.h>

#include "app/launchers.h"
#include "base/script_context.h"
#include "exec/errors.h"
#include "gui/message_box.h"

namespace {

inline constexpr wchar_t kRestartSwitch[] = L"/restart";
inline constexpr wchar_t kReloadFailed[] = L"The script could not be reloaded.";
inline constexpr wchar_t kLaunchFailed[] = L"Failed attempt to launch program or document:";
// Characters of the action and parameters a launch error quotes.
constexpr size_t kQuotedTextLimit = 400;
constexpr DWORD kSystemTextChars = 511;

// A text cut to the quoting limit, with "..." when it was longer.
std::wstring Clipped(const std::wstring& text) {
  if (text.size() <= kQuotedTextLimit) return text;
  return text.substr(0, kQuotedTextLimit) + L"...";
}

// The system's text for an error code.
std::wstring SystemErrorText(DWORD code) {
  wchar_t buffer[kSystemTextChars + 1] = L"";
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, kSystemTextChars,
                 nullptr);
  return buffer;
}

// The parameters after the executable in the restart command line.
std::wstring RestartParameters() {
  std::wstring parameters = kRestartSwitch;
  if (Script().Origin == ScriptOrigin::File) parameters += L" \"" + Script().ScriptPath + L"\"";
  return parameters;
}

// Starts the new copy in the folder the script started in. On failure the
// system's error code is left for the caller.
bool StartNewCopy() { return StartProgram(RestartCommandLine(), Script().StartupWorkDir); }

}  // namespace

std::wstring RestartCommandLine() { return Script().ExePathQuoted + L" " + RestartParameters(); }

ResultCode CmdReload(ScriptLine& line, CommandArgs&) {
  if (StartNewCopy()) return ResultCode::Ok;
  DWORD error = GetLastError();
  std::wstring message = std::wstring(kLaunchFailed) + L"\nAction: <" + Clipped(Script().ExePathQuoted) +
                         L">\nParams: <" + Clipped(RestartParameters()) + L">";
  return ReportLineError(&line, message, ERROR_KIND_ERROR, SystemErrorText(error));
}

ResultCode CmdEdit(ScriptLine&, CommandArgs&) { return ResultCode::Ok; }

void ReloadFromMenu() {
  if (!StartNewCopy()) ShowMessageBox(kReloadFailed, MB_OK);
}
