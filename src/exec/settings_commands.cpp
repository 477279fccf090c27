// Thread-setting commands.
#include "exec/settings_commands.h"

#include <windows.h>

#include <string>

#include "base/script_line.h"
#include "exec/command_dispatch.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "exec/list_lines.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// "On" / "Off" / anything else as 1 / 0 / -1.
int OnOffValue(const wchar_t* text) {
  if (EqualsNoCase(text, L"On") || EqualsNoCase(text, L"1")) return 1;
  if (EqualsNoCase(text, L"Off") || EqualsNoCase(text, L"0")) return 0;
  return -1;
}

ResultCode InvalidParam(ScriptLine& line, int number, const wchar_t* value) {
  return ReportLineError(&line, L"Parameter #" + std::to_wstring(number) + L" invalid.", ERROR_KIND_ERROR, value);
}

}  // namespace

ResultCode CmdSetBatchLines(ScriptLine& line, CommandArgs& args) {
  std::wstring text(args[0]);
  ThreadSettings& thread = *Values().CurrentThread;
  std::wstring lowered = text;
  for (wchar_t& c : lowered) c = static_cast<wchar_t>(towlower(c));
  size_t ms = lowered.find(L"ms");
  if (ms != std::wstring::npos) {
    thread.BatchTimeLimit = static_cast<int32_t>(TextToInteger(text.substr(0, ms).c_str()));
    thread.BatchLineLimit = -1;
    return ResultCode::Ok;
  }
  if (IsNumeric(text.c_str()) == PURE_NOT_NUMERIC) return InvalidParam(line, 1, args[0]);
  int64_t lines = TextToInteger(text.c_str());
  // -1 runs at full speed: neither a line nor a time budget; 0 means 10.
  thread.BatchLineLimit = lines < 0 ? -1 : lines == 0 ? 10 : lines;
  thread.BatchTimeLimit = -1;
  return ResultCode::Ok;
}

ResultCode CmdAutoTrim(ScriptLine& line, CommandArgs& args) {
  int value = OnOffValue(args[0]);
  if (value < 0) return InvalidParam(line, 1, args[0]);
  Values().CurrentThread->TrimArgs = value == 1;
  return ResultCode::Ok;
}

ResultCode CmdStringCaseSense(ScriptLine& line, CommandArgs& args) {
  if (EqualsNoCase(args[0], L"Locale")) {
    Values().CurrentThread->CaseSensitivity = 2;
    return ResultCode::Ok;
  }
  int value = OnOffValue(args[0]);
  if (value < 0) return InvalidParam(line, 1, args[0]);
  Values().CurrentThread->CaseSensitivity = static_cast<uint8_t>(value);
  return ResultCode::Ok;
}

ResultCode CmdSetFormat(ScriptLine& line, CommandArgs& args) {
  if (Values().CurrentThread->ApplySetFormat(args[0], args[1]) != ResultCode::Ok) return InvalidParam(line, 2, args[1]);
  return ResultCode::Ok;
}

ResultCode CmdListLines(ScriptLine& line, CommandArgs& args) {
  // Only the words On and Off switch the log; anything else shows it.
  bool on = EqualsNoCase(args[0], L"On");
  if (!on && !EqualsNoCase(args[0], L"Off")) {
    // Without a main window to show it in (a tool that runs scripts without
    // the application), showing the log is not available.
    if (!Exec().Hooks.ShowLinesView)
      return ReportLineError(&line, kCommandNotSupported, ERROR_KIND_ERROR, L"ListLines");
    Exec().Hooks.ShowLinesView();
    return ResultCode::Ok;
  }
  if (Values().CurrentThread->LogLines) UnlogLastLine();
  Values().CurrentThread->LogLines = on;
  return ResultCode::Ok;
}

ResultCode CmdOutputDebug(ScriptLine& line, CommandArgs& args) {
  (void)line;
  OutputDebugStringW(args[0]);
  return ResultCode::Ok;
}
