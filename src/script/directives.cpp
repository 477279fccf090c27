// The directive table and each directive's effect.
#include "script/directives.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "script/include_files.h"
#include "script/messages.h"
#include "script/script_reader.h"
#include "script/script_state.h"
#include "values/numeric_text.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The settings the directives write.
DirectiveSettings& D() { return Loader().Directives; }

// Limits of the numeric directives.
constexpr int kMaxThreadsLimit = 255;
constexpr int kMaxKeyHistory = 500;
constexpr int kMinHotkeyInterval = 10;
constexpr int kMaxInputLevel = 100;

// "Off" in any case turns an option off; anything else, or nothing, on.
bool OnOff(std::wstring_view param) { return !EqualsNoCase(param, L"Off"); }

// The integer a numeric parameter holds (decimal or "0x" hexadecimal).
int IntParam(std::wstring_view param) {
  std::wstring text(param);
  int64_t value = TextToInteger(text.c_str());
  return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Reports an error of the directive line being carried out.
DirectiveResult Invalid(const wchar_t* message) {
  // Reported once here; this path answers through its own return value.
  static_cast<void>(ReportLoadError(message, Loader().DirectiveLine));
  return DirectiveResult::Failed;
}

// A numeric directive: no parameter leaves the value alone.
DirectiveResult SetInt(std::wstring_view param, int& target, int low, int high) {
  if (!param.empty()) target = std::clamp(IntParam(param), low, high);
  return DirectiveResult::Handled;
}

// Directives whose subsystem (hotkeys, key names) does not exist yet stop
// the load instead of being dropped.
DirectiveResult NotSupportedYet(std::wstring_view) { return Invalid(parse_msg::DirectiveNotSupported); }

// "#If" and the "#IfWin" directives without a parameter end the current
// criterion; with none able to exist yet there is nothing to end.
DirectiveResult IfExpression(std::wstring_view param) {
  return param.empty() ? DirectiveResult::Handled : NotSupportedYet(param);
}

// "#IfWinActive" and its kin: the parameter's escaping is checked before
// the criterion (which needs the hotkey subsystem) is refused.
DirectiveResult IfWindow(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  std::wstring title, text;
  if (!SplitWindowCriterion(param, title, text)) return Invalid(directive_msg::LiteralCommasAndPercents);
  return NotSupportedYet(param);
}

// "#Hotstring EndChars chars", "#Hotstring NoMouse", or default options.
DirectiveResult Hotstring(std::wstring_view param) {
  HotstringDirectives& hotstring = D().Hotstring;
  if (param.empty()) return DirectiveResult::Handled;
  constexpr std::wstring_view kEndChars = L"EndChars";
  if (param.size() >= kEndChars.size() && EqualsNoCase(param.substr(0, kEndChars.size()), kEndChars)) {
    std::wstring_view rest = param.substr(kEndChars.size());
    size_t blank = rest.find_first_of(L" \t");
    if (blank == std::wstring_view::npos) return DirectiveResult::Handled;
    std::wstring_view chars = rest.substr(blank + 1, kMaxHotstringEndChars);
    hotstring.EndChars = reader::ConvertEscapes(chars, Script().Syntax.EscapeChar, false);
    return DirectiveResult::Handled;
  }
  if (EqualsNoCase(param, L"NoMouse")) {
    hotstring.ResetOnMouseClick = false;
    return DirectiveResult::Handled;
  }
  if (!hotstring.DefaultOptions.empty()) hotstring.DefaultOptions += L' ';
  hotstring.DefaultOptions += param;
  return DirectiveResult::Handled;
}

// "#MenuMaskKey": the key name needs the key-name tables.
DirectiveResult MenuMaskKey(std::wstring_view param) {
  if (param.empty()) return Invalid(parse_msg::Param1Required);
  return NotSupportedYet(param);
}

// A one-character syntax directive: the character must not collide with
// the others the syntax already uses.
bool CollidesWithSyntax(wchar_t c, bool checkHash, bool checkEscape, bool checkDeref, bool checkDelimiter) {
  const SyntaxChars& syntax = Script().Syntax;
  bool oneCharFlag = syntax.CommentFlag.size() == 1;
  return (checkHash && c == L'#') || (checkEscape && c == syntax.EscapeChar) || (checkDeref && c == syntax.DerefChar) ||
         (checkDelimiter && c == syntax.Delimiter) || c == L'.' || (oneCharFlag && c == syntax.CommentFlag[0]);
}

DirectiveResult CommentFlag(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  SyntaxChars& syntax = Script().Syntax;
  if (param.size() == 1) {
    wchar_t c = param[0];
    bool reserved = c == L'#' || c == syntax.DerefChar || c == syntax.EscapeChar || c == syntax.Delimiter ||
                    std::wstring_view(L"!$*+<>^~").find(c) != std::wstring_view::npos;
    if (reserved) return Invalid(parse_msg::Param1Invalid);
  }
  syntax.CommentFlag.assign(param.substr(0, kMaxCommentFlagLength));
  return DirectiveResult::Handled;
}

DirectiveResult EscapeChar(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  if (CollidesWithSyntax(param[0], true, false, true, true)) return Invalid(parse_msg::Param1Invalid);
  Script().Syntax.EscapeChar = param[0];
  return DirectiveResult::Handled;
}

DirectiveResult DerefChar(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  if (CollidesWithSyntax(param[0], false, true, false, true)) return Invalid(parse_msg::Param1Invalid);
  Script().Syntax.DerefChar = param[0];
  return DirectiveResult::Handled;
}

DirectiveResult Delimiter(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  if (CollidesWithSyntax(param[0], true, true, true, false)) return Invalid(parse_msg::Param1Invalid);
  Script().Syntax.Delimiter = param[0];
  return DirectiveResult::Handled;
}

DirectiveResult SingleInstance(std::wstring_view param) {
  if (EqualsNoCase(param, L"Force"))
    Script().InstanceMode = INSTANCE_FORCE;
  else if (EqualsNoCase(param, L"Ignore"))
    Script().InstanceMode = INSTANCE_IGNORE;
  else if (EqualsNoCase(param, L"Off"))
    Script().InstanceMode = INSTANCE_OFF;
  else
    Script().InstanceMode = INSTANCE_PROMPT;
  return DirectiveResult::Handled;
}

DirectiveResult MaxMem(std::wstring_view param) {
  if (param.empty()) return DirectiveResult::Handled;
  std::wstring text(param);
  SetMaxMem(TextToDouble(text.c_str()));
  return DirectiveResult::Handled;
}

DirectiveResult InputLevel(std::wstring_view param) {
  int level = param.empty() ? 0 : IntParam(param);
  if (level < 0 || level > kMaxInputLevel) return Invalid(parse_msg::Param1Invalid);
  D().InputLevel = level;
  return DirectiveResult::Handled;
}

// "#Warn [kind], [mode]".
DirectiveResult Warn(std::wstring_view param) {
  std::wstring_view kindText = param, modeText;
  size_t comma = param.find(Script().Syntax.Delimiter);
  if (comma != std::wstring_view::npos) {
    kindText = param.substr(0, comma);
    modeText = param.substr(comma + 1);
  }
  std::wstring kind(kindText), mode(modeText);
  reader::TrimBlanks(kind);
  reader::TrimBlanks(mode);
  static const wchar_t* const kKinds[] = {L"UseUnsetLocal", L"UseUnsetGlobal", L"LocalSameAsGlobal", L"UseEnv",
                                          L"ClassOverwrite"};
  static const wchar_t* const kModes[] = {L"Off", L"OutputDebug", L"MsgBox", L"StdOut"};
  int kindIndex = -1;
  if (!kind.empty() && !EqualsNoCase(kind, L"All")) {
    for (int i = 0; i < WARN_KIND_COUNT; ++i)
      if (EqualsNoCase(kind, kKinds[i])) kindIndex = i;
    if (kindIndex < 0) return Invalid(parse_msg::Param1Invalid);
  }
  WarnMode value = WARN_MODE_MSGBOX;
  if (!mode.empty()) {
    int modeIndex = -1;
    for (int i = 0; i < static_cast<int>(std::size(kModes)); ++i)
      if (EqualsNoCase(mode, kModes[i])) modeIndex = i;
    if (modeIndex < 0) return Invalid(parse_msg::Param2Invalid);
    value = static_cast<WarnMode>(modeIndex);
  }
  for (int i = 0; i < WARN_KIND_COUNT; ++i)
    if (kindIndex < 0 || kindIndex == i) D().Warn[i] = value;
  return DirectiveResult::Handled;
}

// When a directive acts: when the parser reaches its line, or as soon as
// the reader has the line (still handing it on, or consuming it).
enum class DirectiveTiming : uint8_t { WithParser, EarlyPassOn, EarlyConsumed };

struct DirectiveEntry {
  const wchar_t* Name;
  DirectiveResult (*Apply)(std::wstring_view param);
  DirectiveTiming Timing = DirectiveTiming::WithParser;
};

const DirectiveEntry kDirectives[] = {
    {L"#Include", [](std::wstring_view p) { return IncludeDirective(p, false, Loader().DirectiveLine); },
     DirectiveTiming::EarlyConsumed},
    {L"#IncludeAgain", [](std::wstring_view p) { return IncludeDirective(p, true, Loader().DirectiveLine); },
     DirectiveTiming::EarlyConsumed},
    {L"#NoEnv",
     [](std::wstring_view) {
       Values().NoEnv = true;
       return DirectiveResult::Handled;
     }},
    {L"#NoTrayIcon",
     [](std::wstring_view) {
       D().NoTrayIcon = true;
       return DirectiveResult::Handled;
     }},
    {L"#Persistent",
     [](std::wstring_view) {
       Script().StayResident = true;
       return DirectiveResult::Handled;
     }},
    {L"#SingleInstance", SingleInstance},
    {L"#InstallKeybdHook",
     [](std::wstring_view) {
       D().InstallKeybdHook = true;
       return DirectiveResult::Handled;
     }},
    {L"#InstallMouseHook",
     [](std::wstring_view) {
       D().InstallMouseHook = true;
       return DirectiveResult::Handled;
     }},
    {L"#UseHook",
     [](std::wstring_view p) {
       D().UseHook = OnOff(p);
       return DirectiveResult::Handled;
     }},
    {L"#If", IfExpression},
    {L"#IfTimeout", [](std::wstring_view p) { return SetInt(p, D().IfTimeout, 0, INT32_MAX); }},
    {L"#IfWinActive", IfWindow},
    {L"#IfWinNotActive", IfWindow},
    {L"#IfWinExist", IfWindow},
    {L"#IfWinNotExist", IfWindow},
    {L"#Hotstring", Hotstring},
    {L"#HotkeyModifierTimeout",
     [](std::wstring_view p) { return SetInt(p, D().HotkeyModifierTimeout, INT32_MIN, INT32_MAX); }},
    {L"#HotkeyInterval",
     [](std::wstring_view p) { return SetInt(p, D().HotkeyInterval, kMinHotkeyInterval, INT32_MAX); }},
    {L"#MaxHotkeysPerInterval", [](std::wstring_view p) { return SetInt(p, D().MaxHotkeysPerInterval, 1, INT32_MAX); }},
    {L"#MaxThreadsPerHotkey",
     [](std::wstring_view p) { return SetInt(p, D().MaxThreadsPerHotkey, 1, kMaxThreadsLimit); }},
    {L"#MaxThreadsBuffer",
     [](std::wstring_view p) {
       D().MaxThreadsBuffer = OnOff(p);
       return DirectiveResult::Handled;
     }},
    {L"#MaxThreads", [](std::wstring_view p) { return SetInt(p, D().MaxThreads, 1, kMaxThreadsLimit); }},
    {L"#ClipboardTimeout", [](std::wstring_view p) { return SetInt(p, D().ClipboardTimeout, INT32_MIN, INT32_MAX); }},
    {L"#LTrim",
     [](std::wstring_view p) {
       Script().Syntax.ContinuationLTrim = OnOff(p);
       return DirectiveResult::Handled;
     }},
    {L"#WinActivateForce",
     [](std::wstring_view) {
       D().WinActivateForce = true;
       return DirectiveResult::Handled;
     }},
    {L"#ErrorStdOut",
     [](std::wstring_view) {
       Script().ErrorsToStdout = true;
       return DirectiveResult::Handled;
     }},
    {L"#MaxMem", MaxMem},
    {L"#KeyHistory", [](std::wstring_view p) { return SetInt(p, D().KeyHistory, 0, kMaxKeyHistory); }},
    {L"#CommentFlag", CommentFlag, DirectiveTiming::EarlyPassOn},
    {L"#EscapeChar", EscapeChar},
    {L"#DerefChar", DerefChar},
    {L"#Delimiter", Delimiter},
    {L"#MenuMaskKey", MenuMaskKey},
    {L"#InputLevel", InputLevel},
    {L"#Warn", Warn},
};

// The directive a line names and its parameter; null when the name is not
// a directive.
const DirectiveEntry* FindDirective(std::wstring_view line, std::wstring_view& param) {
  const wchar_t delimiter = Script().Syntax.Delimiter;
  size_t nameEnd = 0;
  while (nameEnd < line.size() && !reader::IsBlank(line[nameEnd]) && line[nameEnd] != delimiter) ++nameEnd;
  std::wstring_view name = line.substr(0, nameEnd);
  size_t at = nameEnd;
  while (at < line.size() && reader::IsBlank(line[at])) ++at;
  if (at < line.size() && line[at] == delimiter) {
    ++at;
    while (at < line.size() && reader::IsBlank(line[at])) ++at;
  }
  param = line.substr(at);
  for (const DirectiveEntry& entry : kDirectives)
    if (EqualsNoCase(name, entry.Name)) return &entry;
  return nullptr;
}

// Carries out one directive with its line as the detail of any error.
DirectiveResult Run(const DirectiveEntry& entry, std::wstring_view line, std::wstring_view param) {
  std::wstring_view& current = Loader().DirectiveLine;
  std::wstring_view outer = current;  // an included file's directives nest
  current = line;
  DirectiveResult result = entry.Apply(param);
  current = outer;
  return result;
}

}  // namespace

DirectiveResult ApplyDirective(std::wstring_view line) {
  std::wstring_view param;
  const DirectiveEntry* entry = FindDirective(line, param);
  return entry ? Run(*entry, line, param) : DirectiveResult::NotADirective;
}

EarlyDirective ApplyEarlyDirective(std::wstring_view line) {
  std::wstring_view param;
  const DirectiveEntry* entry = FindDirective(line, param);
  if (!entry || entry->Timing == DirectiveTiming::WithParser) return EarlyDirective::PassOn;
  if (Run(*entry, line, param) == DirectiveResult::Failed) return EarlyDirective::Failed;
  return entry->Timing == DirectiveTiming::EarlyConsumed ? EarlyDirective::Consumed : EarlyDirective::PassOn;
}

bool SplitWindowCriterion(std::wstring_view param, std::wstring& title, std::wstring& text) {
  const SyntaxChars& syntax = Script().Syntax;
  size_t split = std::wstring_view::npos;
  for (size_t i = 0; i < param.size(); ++i) {
    wchar_t c = param[i];
    if (c == syntax.EscapeChar) {
      ++i;  // whatever follows is literal
    } else if (c == syntax.DerefChar) {
      return false;
    } else if (c == syntax.Delimiter) {
      if (split != std::wstring_view::npos) return false;
      split = i;
    }
  }
  std::wstring rawTitle(param.substr(0, split));
  std::wstring rawText(split == std::wstring_view::npos ? std::wstring_view() : param.substr(split + 1));
  reader::RightTrimBlanks(rawTitle);
  reader::LeftTrimBlanks(rawText);
  title = reader::ConvertEscapes(rawTitle, syntax.EscapeChar, true);
  text = reader::ConvertEscapes(rawText, syntax.EscapeChar, true);
  return true;
}
