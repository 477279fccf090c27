// Registers the text subsystem's commands and built-in functions.
#include "text/text_subsystem.h"

#include "objects/builtin_functions.h"
#include "text/text_commands.h"
#include "text/text_functions.h"
#include "text/text_state.h"

namespace state_detail {
TextState text;
}  // namespace state_detail

namespace {

const CommandRow kTextCommands[] = {
    {ACT_STRINGLEFT, CmdStringLeftRight},
    {ACT_STRINGRIGHT, CmdStringLeftRight},
    {ACT_STRINGTRIMLEFT, CmdStringTrim},
    {ACT_STRINGTRIMRIGHT, CmdStringTrim},
    {ACT_STRINGMID, CmdStringMid},
    {ACT_STRINGLOWER, CmdStringCase},
    {ACT_STRINGUPPER, CmdStringCase},
    {ACT_STRINGLEN, CmdStringLen},
    {ACT_STRINGGETPOS, CmdStringGetPos},
    {ACT_STRINGREPLACE, CmdStringReplace},
    {ACT_STRINGSPLIT, CmdStringSplit},
    {ACT_SPLITPATH, CmdSplitPath},
    {ACT_ENVGET, CmdEnvGet},
    {ACT_ENVSET, CmdEnvSet},
    {ACT_ENVUPDATE, CmdEnvUpdate},
    {ACT_RANDOM, CmdRandom},
    {ACT_TRANSFORM, CmdTransform},
};

const BuiltInFunctionDef kTextFunctions[] = {
    {L"StrLen", 1, 1, BifStrLen},     {L"SubStr", 2, 3, BifSubStr},
    {L"InStr", 2, 5, BifInStr},       {L"StrReplace", 2, 5, BifStrReplace},
    {L"StrSplit", 1, 4, BifStrSplit}, {L"Trim", 1, 2, BifTrim},
    {L"LTrim", 1, 2, BifTrim},        {L"RTrim", 1, 2, BifTrim},
    {L"Asc", 1, 1, BifOrd},           {L"Ord", 1, 1, BifOrd},
    {L"Chr", 1, 1, BifChr},           {L"Format", 1, kUnlimitedParams, BifFormat},
};

// Start-up: the generator gets its first seed.
void StartText() { SeedRandomFromClock(); }

void ResetText() { Text() = TextState{}; }

}  // namespace

const Subsystem& TextSubsystem() {
  static const Subsystem kText{.Name = L"text",
                               .Commands = kTextCommands,
                               .Functions = kTextFunctions,
                               .FunctionCount = std::size(kTextFunctions),
                               .Startup = StartText,
                               .Reset = ResetText};
  return kText;
}
