// Registers RegExMatch, RegExReplace (and so "~="), Sort and FormatTime,
// and installs the regular-expression hook window matching uses.
#include "regex/regex_subsystem.h"

#include "objects/builtin_functions.h"
#include "objects/objects_state.h"
#include "regex/regex_commands.h"
#include "regex/regex_match.h"
#include "regex/regex_state.h"

namespace {

const BuiltInFunctionDef kRegexFunctions[] = {
    {L"RegExMatch", 2, 4, BuiltInRegEx},
    {L"RegExReplace", 2, 6, BuiltInRegEx},
};

const CommandRow kRegexCommands[] = {
    {ACT_SORT, CmdSort},
    {ACT_FORMATTIME, CmdFormatTime},
};

// The hook behind RegEx title matching.
bool MatchesHook(std::wstring_view subject, std::wstring_view pattern, std::wstring* error) {
  return RegExSearch(subject, pattern, error) >= 0;
}

void StartRegex() { Objects().RegEx.Matches = MatchesHook; }

void ExitRegex() { ClearPatternCache(); }

void ResetRegex() {
  ClearPatternCache();
  Regex().Compilations = 0;
  Objects().RegEx.Matches = nullptr;
}

}  // namespace

const Subsystem& RegexSubsystem() {
  static const Subsystem kRegex{.Name = L"regex",
                                .Commands = kRegexCommands,
                                .Functions = kRegexFunctions,
                                .FunctionCount = std::size(kRegexFunctions),
                                .Startup = StartRegex,
                                .Exit = ExitRegex,
                                .Reset = ResetRegex};
  return kRegex;
}
