// The thread settings of window matching: SetTitleMatchMode,
// DetectHiddenWindows, DetectHiddenText, SetWinDelay, SetControlDelay and
// CoordMode, and the built-in variables that report them.
#include <string>

#include "automation/automation_subsystem.h"
#include "automation/automation_support.h"
#include "automation/messages.h"
#include "automation/window_commands.h"
#include "base/error_sink.h"
#include "base/script_line.h"

namespace {

// The one argument of each setting command.
constexpr int kArgValue = 0;
// CoordMode's arguments.
enum : int { kArgTarget = 0, kArgMode = 1 };

// The coordinate modes.
enum : uint16_t { COORD_MODE_WINDOW = 0, COORD_MODE_CLIENT = 1, COORD_MODE_SCREEN = 2 };
// Two bits per CoordMode target.
constexpr uint16_t kCoordModeMask = 3;

// The CoordMode targets and the bit their field starts at.
struct CoordTarget {
  std::wstring_view Word;
  int Shift;
};
constexpr CoordTarget kCoordTargets[] = {
    {L"Pixel", 0}, {L"Mouse", 2}, {L"ToolTip", 4}, {L"Caret", 6}, {L"Menu", 8},
};

// On, Off, 1 or 0; false (leaving `value` alone) for anything else.
bool ParseOnOff(std::wstring_view text, bool& value) {
  if (EqualsNoCase(text, L"On") || text == L"1") {
    value = true;
    return true;
  }
  if (EqualsNoCase(text, L"Off") || text == L"0") {
    value = false;
    return true;
  }
  return false;
}

// The mode of a CoordMode target, as the variables name it.
const wchar_t* CoordModeName(int shift) {
  static const wchar_t* const kNames[] = {L"Window", L"Client", L"Screen", L"Screen"};
  return kNames[(CurrentSettings().CoordModes >> shift) & kCoordModeMask];
}

size_t GetTitleMatchMode(wchar_t* buffer, const wchar_t*) {
  const uint8_t mode = CurrentSettings().TitleMatchMode;
  return PutBuiltInText(buffer, mode == MATCH_REGEX ? std::wstring(L"RegEx") : std::to_wstring(mode));
}
size_t GetTitleMatchModeSpeed(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, CurrentSettings().TitleFindFast ? L"Fast" : L"Slow");
}
size_t GetDetectHiddenWindows(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, CurrentSettings().DetectHiddenWindows ? L"On" : L"Off");
}
size_t GetDetectHiddenText(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, CurrentSettings().DetectHiddenText ? L"On" : L"Off");
}
size_t GetWinDelay(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, std::to_wstring(CurrentSettings().WinDelay));
}
size_t GetControlDelay(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, std::to_wstring(CurrentSettings().ControlDelay));
}
size_t GetCoordModePixel(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, CoordModeName(0)); }
size_t GetCoordModeMouse(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, CoordModeName(2)); }
size_t GetCoordModeToolTip(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, CoordModeName(4)); }
size_t GetCoordModeCaret(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, CoordModeName(6)); }
size_t GetCoordModeMenu(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, CoordModeName(8)); }

const BuiltInVarDef kSettingVariables[] = {
    {L"A_TitleMatchMode", GetTitleMatchMode},
    {L"A_TitleMatchModeSpeed", GetTitleMatchModeSpeed},
    {L"A_DetectHiddenWindows", GetDetectHiddenWindows},
    {L"A_DetectHiddenText", GetDetectHiddenText},
    {L"A_WinDelay", GetWinDelay},
    {L"A_ControlDelay", GetControlDelay},
    {L"A_CoordModePixel", GetCoordModePixel},
    {L"A_CoordModeMouse", GetCoordModeMouse},
    {L"A_CoordModeToolTip", GetCoordModeToolTip},
    {L"A_CoordModeCaret", GetCoordModeCaret},
    {L"A_CoordModeMenu", GetCoordModeMenu},
};

}  // namespace

std::span<const BuiltInVarDef> AutomationVariables() { return kSettingVariables; }

// SetTitleMatchMode 1, 2, 3, RegEx, Fast or Slow.
ResultCode CmdSetTitleMatchMode(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view value = ArgView(args, kArgValue);
  ThreadSettings& settings = CurrentSettings();
  if (value == L"1" || value == L"2" || value == L"3")
    settings.TitleMatchMode = static_cast<uint8_t>(value[0] - L'0');
  else if (EqualsNoCase(value, L"RegEx"))
    settings.TitleMatchMode = MATCH_REGEX;
  else if (EqualsNoCase(value, L"Fast"))
    settings.TitleFindFast = true;
  else if (EqualsNoCase(value, L"Slow"))
    settings.TitleFindFast = false;
  else
    return ReportLineError(&line, automation_msg::Param1Invalid, ERROR_KIND_ERROR, value);
  return ResultCode::Ok;
}

// DetectHiddenWindows and DetectHiddenText On/Off; other values change nothing.
ResultCode CmdDetectHidden(ScriptLine& line, CommandArgs& args) {
  ThreadSettings& settings = CurrentSettings();
  bool& setting =
      line.CommandIndex == ACT_DETECTHIDDENWINDOWS ? settings.DetectHiddenWindows : settings.DetectHiddenText;
  static_cast<void>(ParseOnOff(ArgView(args, kArgValue), setting));
  return ResultCode::Ok;
}

// SetWinDelay and SetControlDelay.
ResultCode CmdSetDelay(ScriptLine& line, CommandArgs& args) {
  const auto delay = static_cast<int32_t>(WholeNumberOr0(ArgView(args, kArgValue)));
  if (line.CommandIndex == ACT_SETWINDELAY)
    CurrentSettings().WinDelay = delay;
  else
    CurrentSettings().ControlDelay = delay;
  return ResultCode::Ok;
}

// CoordMode Target [, Screen|Relative|Window|Client].
ResultCode CmdCoordMode(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view target = ArgView(args, kArgTarget);
  const std::wstring_view mode = ArgView(args, kArgMode);
  uint16_t value = COORD_MODE_SCREEN;
  if (EqualsNoCase(mode, L"Relative") || EqualsNoCase(mode, L"Window"))
    value = COORD_MODE_WINDOW;
  else if (EqualsNoCase(mode, L"Client"))
    value = COORD_MODE_CLIENT;
  else if (!mode.empty() && !EqualsNoCase(mode, L"Screen"))
    return ReportLineError(&line, automation_msg::Param2Invalid, ERROR_KIND_ERROR, mode);
  for (const CoordTarget& row : kCoordTargets) {
    if (!EqualsNoCase(row.Word, target)) continue;
    uint16_t& modes = CurrentSettings().CoordModes;
    modes = static_cast<uint16_t>((modes & ~(kCoordModeMask << row.Shift)) | (value << row.Shift));
    return ResultCode::Ok;
  }
  return ReportLineError(&line, automation_msg::Param1Invalid, ERROR_KIND_ERROR, target);
}
