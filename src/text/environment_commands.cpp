// EnvGet, EnvSet and EnvUpdate: the program's own environment and the
// broadcast that tells other programs it changed.
#include <windows.h>

#include <string>

#include "exec/errors.h"
#include "text/text_commands.h"
#include "text/text_values.h"
#include "values/variable.h"

namespace {

// Argument positions.
enum : int { kArgOutput = 0, kArgName = 1 };
enum : int { kArgSetName = 0, kArgSetValue = 1 };

// The largest environment value, in characters with its terminator.
constexpr DWORD kEnvValueChars = 32767;
// How long EnvUpdate waits for each window to take the broadcast.
constexpr UINT kBroadcastTimeoutMs = 15000;

}  // namespace

// EnvGet, OutputVar, Name: the value, or "" when the variable does not exist.
ResultCode CmdEnvGet(ScriptLine&, CommandArgs& args) {
  Variable* output = args.Var[kArgOutput];
  if (!output) return ResultCode::Ok;
  std::wstring value(kEnvValueChars, L'\0');
  const DWORD length = GetEnvironmentVariableW(args[kArgName], value.data(), kEnvValueChars);
  if (length == 0) return output->Assign();
  if (length < kEnvValueChars) return output->Assign(value.data(), static_cast<ptrdiff_t>(length));
  // Longer than the usual limit: read again with the size the system asked for.
  value.assign(length, L'\0');
  const DWORD again = GetEnvironmentVariableW(args[kArgName], value.data(), length);
  if (again == 0 || again >= length) return output->Assign();
  return output->Assign(value.data(), static_cast<ptrdiff_t>(again));
}

// EnvSet, Name, Value: sets the variable for this process.
ResultCode CmdEnvSet(ScriptLine&, CommandArgs& args) {
  // The value is always passed as text: a null pointer would delete the variable.
  const std::wstring value(ArgText(args, kArgSetValue));
  return ReportOutcome(!SetEnvironmentVariableW(args[kArgSetName], value.c_str()));
}

// EnvUpdate: tells every top-level window that the environment changed.
ResultCode CmdEnvUpdate(ScriptLine&, CommandArgs&) {
  DWORD_PTR answer = 0;
  const LRESULT sent =
      SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"), SMTO_BLOCK,
                          kBroadcastTimeoutMs, &answer);
  return ReportOutcome(sent == 0);
}
