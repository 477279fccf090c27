// Command-line switches and script parameters.
#include "app/command_line.h"

#include <windows.h>

#include "values/object.h"

namespace {

enum class Switch { None, Restart, Force, ErrorStdOut };

struct SwitchEntry {
  const wchar_t* Name;
  Switch Kind;
};

const SwitchEntry kSwitches[] = {
    {L"/R", Switch::Restart},   {L"/restart", Switch::Restart},         {L"/F", Switch::Force},
    {L"/force", Switch::Force}, {L"/ErrorStdOut", Switch::ErrorStdOut},
};

// Which switch a whole argument is, compared without regard to case.
Switch ClassifySwitch(const std::wstring& arg) {
  for (const SwitchEntry& entry : kSwitches)
    if (CompareStringOrdinal(arg.c_str(), -1, entry.Name, -1, TRUE) == CSTR_EQUAL) return entry.Kind;
  return Switch::None;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& args, ScriptOrigin origin) {
  CommandLine result;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    Switch kind = ClassifySwitch(args[i]);
    if (kind == Switch::None) break;
    if (kind == Switch::Restart) result.RestartRequested = true;
    if (kind == Switch::Force) result.SkipInstanceCheck = true;
    if (kind == Switch::ErrorStdOut) result.ErrorsToStdout = true;
  }
  if (origin == ScriptOrigin::File && i < args.size()) {
    result.HasScriptFile = true;
    result.ScriptFile = args[i++];
  }
  result.Parameters.assign(args.begin() + static_cast<ptrdiff_t>(i), args.end());
  return result;
}

void AssignScriptParameters(const std::vector<std::wstring>& parameters, VarList& globals) {
  for (size_t n = 0; n < parameters.size(); ++n)
    // Assign reports its own failure (memory limit, out of memory).
    static_cast<void>(globals.FindOrAdd(std::to_wstring(n + 1), VAR_GLOBAL)->Assign(parameters[n]));
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(globals.FindOrAdd(L"0", VAR_GLOBAL)->AssignInteger(static_cast<int64_t>(parameters.size())));
  Variable* args = globals.FindOrAdd(L"A_Args", VAR_GLOBAL);
  args->AddScope(VAR_DECLARED | VAR_SUPER_GLOBAL);
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(args->AssignObject(Object::CreateArray(parameters)));
}
