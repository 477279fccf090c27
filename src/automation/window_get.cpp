// WinGet and its sub-commands, WinGetTitle, WinGetClass, WinGetText and
// WinGetPos. None of them touches ErrorLevel except WinGetText.
#include <string>
#include <vector>

#include "automation/automation_state.h"
#include "automation/automation_support.h"
#include "automation/find_control.h"
#include "automation/messages.h"
#include "automation/window_activate.h"
#include "automation/window_commands.h"
#include "automation/window_search.h"
#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "values/numeric_text.h"
#include "values/variable.h"

namespace {

// Argument positions of WinGet.
enum : int { kArgOutput = 0, kArgCmd = 1, kArgTitle = 2, kArgText = 3, kArgExcludeTitle = 4, kArgExcludeText = 5 };
// WinGetTitle, WinGetClass and WinGetText.
enum : int { kArgGetTitle = 1, kArgGetText = 2, kArgGetExTitle = 3, kArgGetExText = 4 };
// WinGetPos.
enum : int {
  kArgOutX = 0,
  kArgOutY = 1,
  kArgOutW = 2,
  kArgOutH = 3,
  kArgPosTitle = 4,
  kArgPosText = 5,
  kArgPosExTitle = 6,
  kArgPosExText = 7
};

// ControlList's limits on distinct classes and instance numbers.
constexpr size_t kMaxControlListClasses = 500;
constexpr unsigned kMaxClassInstance = 99999;

// The WinGet sub-commands.
enum class WinGetCmd {
  Id,
  IdLast,
  Pid,
  ProcessName,
  ProcessPath,
  Count,
  List,
  MinMax,
  ControlList,
  ControlListHwnd,
  Style,
  ExStyle,
  Transparent,
  TransColor
};
struct WinGetRow {
  std::wstring_view Word;
  WinGetCmd Cmd;
};
constexpr WinGetRow kWinGetCmds[] = {
    {L"ID", WinGetCmd::Id},
    {L"", WinGetCmd::Id},
    {L"IDLast", WinGetCmd::IdLast},
    {L"PID", WinGetCmd::Pid},
    {L"ProcessName", WinGetCmd::ProcessName},
    {L"ProcessPath", WinGetCmd::ProcessPath},
    {L"Count", WinGetCmd::Count},
    {L"List", WinGetCmd::List},
    {L"MinMax", WinGetCmd::MinMax},
    {L"ControlList", WinGetCmd::ControlList},
    {L"ControlListHwnd", WinGetCmd::ControlListHwnd},
    {L"Style", WinGetCmd::Style},
    {L"ExStyle", WinGetCmd::ExStyle},
    {L"Transparent", WinGetCmd::Transparent},
    {L"TransColor", WinGetCmd::TransColor},
};

// The sub-command a word names, or null.
const WinGetRow* WinGetCmdOf(std::wstring_view word) {
  for (const WinGetRow& row : kWinGetCmds)
    if (EqualsNoCase(row.Word, word)) return &row;
  return nullptr;
}

// Every descendant of a window, in EnumChildWindows order.
BOOL CALLBACK CollectDescendant(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}
std::vector<HWND> Descendants(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectDescendant, reinterpret_cast<LPARAM>(&children));
  return children;
}

// A class seen by ControlList and how many of it came so far.
struct ClassCount {
  std::wstring Name;
  unsigned Count;
};

// ControlList: each descendant's ClassNN (or handle text), one a line.
std::wstring ControlList(HWND window, bool handles) {
  std::wstring list;
  std::vector<ClassCount> classes;
  for (HWND child : Descendants(window)) {
    std::wstring item;
    if (handles) {
      item = HandleText(child);
    } else {
      const std::wstring name = WindowClassName(child);
      if (name.empty()) continue;
      ClassCount* entry = nullptr;
      for (ClassCount& known : classes)
        if (EqualsNoCase(known.Name, name)) entry = &known;
      if (!entry) {
        if (classes.size() >= kMaxControlListClasses) continue;
        classes.push_back({name, 0});
        entry = &classes.back();
      }
      if (entry->Count >= kMaxClassInstance) continue;
      item = name + std::to_wstring(++entry->Count);
    }
    if (!list.empty()) list += L'\n';
    list += item;
  }
  return list;
}

// The layered attributes of a window when the system can tell them.
bool LayeredAttributes(HWND window, COLORREF& color, BYTE& alpha, DWORD& flags) {
  LookUpOptionalUser32();
  auto get = Automation().User32.GetLayeredWindowAttributes;
  return get && get(window, &color, &alpha, &flags);
}

// A style in the form 0x%08X.
std::wstring StyleText(LONG style) {
  wchar_t buffer[16];
  swprintf(buffer, 16, L"0x%08X", static_cast<unsigned>(style));
  return buffer;
}

// The array element OutputVar<n> of WinGet List, found or created by the
// scope rules of the running function.
Variable* ArrayElement(ScriptLine& line, const std::wstring& name) {
  if (name.size() > kMaxVarNameLength || !IsValidVariableName(name)) {
    static_cast<void>(ReportLineError(&line, automation_msg::IllegalVariableName, ERROR_KIND_ERROR, name));
    return nullptr;
  }
  FunctionScope* scope = Values().CurrentFunctionScope ? Values().CurrentFunctionScope() : nullptr;
  return FindOrAddVariable(name, Values().Globals, scope, ResolvePhase::Running);
}

// WinGet Count and List: every match, and for List each handle into the
// array OutputVar1, OutputVar2, ...
ResultCode CountOrList(ScriptLine& line, CommandArgs& args, bool list) {
  const WindowStrings strings = StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText);
  const std::vector<HWND> matches = FindAllMatchingWindows(strings);
  if (list) {
    Variable* output = args.Var[kArgOutput];
    const std::wstring base = output ? std::wstring(output->Name()) : std::wstring();
    for (size_t i = 0; i < matches.size(); ++i) {
      Variable* element = ArrayElement(line, base + std::to_wstring(i + 1));
      if (!element) return ResultCode::Fail;
      if (element->Assign(HandleText(matches[i])) != ResultCode::Ok) return ResultCode::Fail;
    }
  }
  return AssignOutput(args, kArgOutput, std::to_wstring(matches.size()));
}

// The text a sub-command gives for a found window.
std::wstring WinGetValue(WinGetCmd cmd, HWND window) {
  switch (cmd) {
    case WinGetCmd::Id:
    case WinGetCmd::IdLast: return HandleText(window);
    case WinGetCmd::Pid: {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      return std::to_wstring(pid);
    }
    case WinGetCmd::ProcessName:
    case WinGetCmd::ProcessPath: {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      return ProcessImage(pid, cmd == WinGetCmd::ProcessPath);
    }
    case WinGetCmd::MinMax: return IsZoomed(window) ? L"1" : IsIconic(window) ? L"-1" : L"0";
    case WinGetCmd::ControlList:
    case WinGetCmd::ControlListHwnd: return ControlList(window, cmd == WinGetCmd::ControlListHwnd);
    case WinGetCmd::Style: return StyleText(GetWindowLongW(window, GWL_STYLE));
    case WinGetCmd::ExStyle: return StyleText(GetWindowLongW(window, GWL_EXSTYLE));
    case WinGetCmd::Transparent: {
      COLORREF color = 0;
      BYTE alpha = 0;
      DWORD flags = 0;
      if (!LayeredAttributes(window, color, alpha, flags) || !(flags & LWA_ALPHA)) return {};
      return std::to_wstring(alpha);
    }
    case WinGetCmd::TransColor: {
      COLORREF color = 0;
      BYTE alpha = 0;
      DWORD flags = 0;
      if (!LayeredAttributes(window, color, alpha, flags) || !(flags & LWA_COLORKEY)) return {};
      wchar_t buffer[16];
      swprintf(buffer, 16, L"0x%02X%02X%02X", GetRValue(color), GetGValue(color), GetBValue(color));
      return buffer;
    }
    default: return {};
  }
}

}  // namespace

// WinGet: a sub-command's value of the window into OutputVar.
ResultCode CmdWinGet(ScriptLine& line, CommandArgs& args) {
  const WinGetRow* row = WinGetCmdOf(ArgView(args, kArgCmd));
  if (!row) return ReportLineError(&line, automation_msg::Param2Invalid, ERROR_KIND_ERROR, ArgView(args, kArgCmd));
  if (row->Cmd == WinGetCmd::Count || row->Cmd == WinGetCmd::List)
    return CountOrList(line, args, row->Cmd == WinGetCmd::List);
  const WindowStrings strings = StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText);
  HWND window = row->Cmd == WinGetCmd::IdLast && !strings.IsActiveTitle() && !strings.AllEmpty()
                    ? FindMatchingWindow(strings, true, false)
                    : ResolveTargetWindow(strings);
  return AssignOutput(args, kArgOutput, window ? WinGetValue(row->Cmd, window) : std::wstring());
}

// WinGetTitle: the window's title, "" when there is no window.
ResultCode CmdWinGetTitle(ScriptLine& /*line*/, CommandArgs& args) {
  HWND window = ResolveTargetWindow(StringsAt(args, kArgGetTitle, kArgGetText, kArgGetExTitle, kArgGetExText));
  return AssignOutput(args, kArgOutput, window ? WindowTitle(window) : std::wstring());
}

// WinGetClass: the window's class name, "" when there is no window.
ResultCode CmdWinGetClass(ScriptLine& /*line*/, CommandArgs& args) {
  HWND window = ResolveTargetWindow(StringsAt(args, kArgGetTitle, kArgGetText, kArgGetExTitle, kArgGetExText));
  return AssignOutput(args, kArgOutput, window ? WindowClassName(window) : std::wstring());
}

// WinGetText: the text of every qualifying descendant, each followed by CR LF.
ResultCode CmdWinGetText(ScriptLine& /*line*/, CommandArgs& args) {
  HWND window = ResolveTargetWindow(StringsAt(args, kArgGetTitle, kArgGetText, kArgGetExTitle, kArgGetExText));
  if (!window) {
    if (AssignOutput(args, kArgOutput, L"") != ResultCode::Ok) return ResultCode::Fail;
    return ReportOutcome(true);
  }
  const bool detectHiddenText = CurrentSettings().DetectHiddenText;
  std::wstring text;
  for (HWND child : Descendants(window)) {
    if (!detectHiddenText && !IsWindowVisible(child)) continue;
    const std::wstring piece = ReadWindowText(child);
    if (piece.empty()) continue;
    text += piece;
    text += L"\r\n";
  }
  if (AssignOutput(args, kArgOutput, text) != ResultCode::Ok) return ResultCode::Fail;
  return ReportOutcome(false);
}

// WinGetPos: the window rectangle into the given variables, "" each when
// there is no window.
ResultCode CmdWinGetPos(ScriptLine& /*line*/, CommandArgs& args) {
  HWND window = ResolveTargetWindow(StringsAt(args, kArgPosTitle, kArgPosText, kArgPosExTitle, kArgPosExText));
  RECT rect{};
  const bool found = window && GetWindowRect(window, &rect);
  const long values[] = {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  const int outputs[] = {kArgOutX, kArgOutY, kArgOutW, kArgOutH};
  for (int i = 0; i < 4; ++i) {
    if (AssignOutput(args, outputs[i], found ? std::to_wstring(values[i]) : std::wstring()) != ResultCode::Ok)
      return ResultCode::Fail;
  }
  return ResultCode::Ok;
}
