// Activation, show states, closing, moving and renaming windows, the
// system-menu and menu-bar selection, the IfWin tests and WinExist /
// WinActive (see window_commands.h).
#include "automation/window_commands.h"

#include <array>

#include "automation/automation_state.h"
#include "automation/automation_support.h"
#include "automation/window_activate.h"
#include "automation/window_groups.h"
#include "automation/window_search.h"
#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "objects/builtin_functions.h"
#include "values/numeric_text.h"

namespace {

// Argument positions of the commands on one window.
enum : int { kArgTitle = 0, kArgText = 1, kArgExcludeTitle = 2, kArgExcludeText = 3 };
// WinClose and WinKill put SecondsToWait before the exclusions.
enum : int { kArgCloseSeconds = 2, kArgCloseExcludeTitle = 3, kArgCloseExcludeText = 4 };
// WinMove.
enum : int {
  kArgMoveX = 2,
  kArgMoveY = 3,
  kArgMoveWidth = 4,
  kArgMoveHeight = 5,
  kArgMoveExTitle = 6,
  kArgMoveExText = 7
};
// WinSetTitle.
enum : int { kArgNewTitle = 2, kArgSetTitleExTitle = 3, kArgSetTitleExText = 4 };
// WinMenuSelectItem: the menu path runs from Menu to SubMenu6.
enum : int { kArgMenu = 2, kArgLastSubMenu = 8, kArgMenuExTitle = 9, kArgMenuExText = 10 };

// WinClose/WinKill's wait when SecondsToWait is 0, and when it is not given.
constexpr int kCloseWaitForZeroMs = 500;
constexpr int kCloseWaitDefaultMs = 20;
// The taskbar's commands for minimising all windows and undoing that.
constexpr WPARAM kTrayMinimizeAll = 419;
constexpr WPARAM kTrayMinimizeAllUndo = 416;
// The longest menu text compared.
constexpr int kMaxMenuTextChars = 1024;

// How each show-state command treats its window.
struct ShowStateRow {
  ActionType Action;
  int Show;          // ShowWindow command
  int ShowWhenHung;  // the command for a hung window; -1 = leave it alone
  bool SeesHidden;   // the search sees hidden windows (WinShow)
};
constexpr ShowStateRow kShowStates[] = {
    {ACT_WINMINIMIZE, SW_MINIMIZE, SW_FORCEMINIMIZE, false},
    {ACT_WINMAXIMIZE, SW_MAXIMIZE, -1, false},
    {ACT_WINRESTORE, SW_RESTORE, -1, false},
    {ACT_WINHIDE, SW_HIDE, SW_HIDE, false},
    {ACT_WINSHOW, SW_SHOW, SW_SHOW, true},
};

// The row of a show-state command.
const ShowStateRow* ShowStateOf(ActionType action) {
  for (const ShowStateRow& row : kShowStates)
    if (row.Action == action) return &row;
  return nullptr;
}

// A coordinate of WinMove: the current value when empty or "default".
int CoordinateOr(std::wstring_view text, int current) {
  if (text.empty() || EqualsNoCase(text, L"default")) return current;
  return static_cast<int>(WholeNumberOr0(text));
}

// The position of a menu item named by a path element: its 0-based index,
// or -1 when none passes.
int MenuItemIndex(HMENU menu, std::wstring_view name) {
  const int count = GetMenuItemCount(menu);
  if (!name.empty() && name.back() == L'&') {
    uint64_t position = 0;
    if (ParseWholeNumber(name.substr(0, name.size() - 1), position) && static_cast<int64_t>(position) > 0)
      return static_cast<int64_t>(position) <= count ? static_cast<int>(position) - 1 : -1;
  }
  for (int i = 0; i < count; ++i) {
    wchar_t text[kMaxMenuTextChars];
    const int length = GetMenuStringW(menu, static_cast<UINT>(i), text, kMaxMenuTextChars, MF_BYPOSITION);
    std::wstring_view itemText(text, length > 0 ? static_cast<size_t>(length) : 0);
    if (StartsWithNoCase(itemText, name)) return i;
    std::wstring plain;
    for (wchar_t c : itemText)
      if (c != L'&') plain.push_back(c);
    if (StartsWithNoCase(plain, name)) return i;
  }
  return -1;
}

// Walks the menu path; true when it ended on a command, which is then posted.
bool SelectMenuPath(HWND window, const CommandArgs& args) {
  const bool systemMenu = ArgView(args, kArgMenu) == L"0&";
  HMENU menu = systemMenu ? GetSystemMenu(window, FALSE) : GetMenu(window);
  if (!menu || GetMenuItemCount(menu) <= 0) return false;
  const UINT message = systemMenu ? WM_SYSCOMMAND : WM_COMMAND;
  UINT id = static_cast<UINT>(-1);
  bool tookAny = false;
  for (int arg = systemMenu ? kArgMenu + 1 : kArgMenu; arg <= kArgLastSubMenu; ++arg) {
    const std::wstring_view item = ArgView(args, arg);
    if (item.empty()) break;
    if (!menu) return false;
    const int index = MenuItemIndex(menu, item);
    if (index < 0) return false;
    id = GetMenuItemID(menu, index);
    tookAny = true;
    menu = id == static_cast<UINT>(-1) ? GetSubMenu(menu, index) : nullptr;
  }
  if (!tookAny || id == static_cast<UINT>(-1)) return false;
  PostMessageW(window, message, id, 0);
  return true;
}

}  // namespace

WindowStrings StringsAt(const CommandArgs& args, int title, int text, int excludeTitle, int excludeText) {
  return {ArgView(args, title), ArgView(args, text), ArgView(args, excludeTitle), ArgView(args, excludeText)};
}

// WinActivate and WinActivateBottom.
ResultCode CmdWinActivate(ScriptLine& line, CommandArgs& args) {
  const bool bottom = line.CommandIndex == ACT_WINACTIVATEBOTTOM;
  if (ActivateMatchingWindow(StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText), bottom))
    SleepWinDelay();
  return ResultCode::Ok;
}

// WinMinimize, WinMaximize, WinRestore, WinHide and WinShow.
ResultCode CmdWinShowState(ScriptLine& line, CommandArgs& args) {
  const ShowStateRow* row = ShowStateOf(line.CommandIndex);
  if (!row) return ResultCode::Ok;
  const WindowStrings strings = StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText);
  if (strings.Text.empty() && strings.ExcludeTitle.empty() && strings.ExcludeText.empty()) {
    if (WindowGroup* group = GroupOfTitle(strings.Title)) {
      ActOnAll(*group, row->Action, 0);
      return ResultCode::Ok;
    }
  }
  ThreadSettings& settings = CurrentSettings();
  const bool detectHidden = settings.DetectHiddenWindows;
  if (row->SeesHidden) settings.DetectHiddenWindows = true;
  HWND window = ResolveTargetWindow(strings);
  settings.DetectHiddenWindows = detectHidden;
  if (!window) return ResultCode::Ok;
  const int show = WindowIsHung(window) ? row->ShowWhenHung : row->Show;
  if (show >= 0) ShowWindow(window, show);
  SleepWinDelay();
  return ResultCode::Ok;
}

// WinClose and WinKill.
ResultCode CmdWinClose(ScriptLine& line, CommandArgs& args) {
  const bool kill = line.CommandIndex == ACT_WINKILL;
  const WindowStrings strings = StringsAt(args, kArgTitle, kArgText, kArgCloseExcludeTitle, kArgCloseExcludeText);
  const std::wstring_view seconds = ArgView(args, kArgCloseSeconds);
  const bool groupTitle =
      StartsWithNoCase(strings.Title, L"qrv_group") && strings.Text.empty() && strings.ExcludeTitle.empty();
  int waitMs = groupTitle ? 0 : kCloseWaitDefaultMs;
  if (!seconds.empty()) {
    waitMs = static_cast<int>(TextToDouble(std::wstring(seconds).c_str()) * 1000.0);
    if (waitMs == 0) waitMs = kCloseWaitForZeroMs;
  }
  if (strings.Text.empty() && strings.ExcludeTitle.empty() && strings.ExcludeText.empty()) {
    if (WindowGroup* group = GroupOfTitle(strings.Title)) {
      ActOnAll(*group, line.CommandIndex, waitMs);
      return ResultCode::Ok;
    }
  }
  CloseMatchingWindow(strings, waitMs, kill);
  return ResultCode::Ok;
}

// WinMove; with fewer than three parameters they are X and Y of the last
// found window.
ResultCode CmdWinMove(ScriptLine& line, CommandArgs& args) {
  HWND window = nullptr;
  std::wstring_view x, y, width, height;
  if (line.ArgTotal < 3) {
    window = LastFoundWindow();
    x = ArgView(args, kArgTitle);
    y = ArgView(args, kArgText);
  } else {
    window = ResolveTargetWindow(StringsAt(args, kArgTitle, kArgText, kArgMoveExTitle, kArgMoveExText));
    x = ArgView(args, kArgMoveX);
    y = ArgView(args, kArgMoveY);
    width = ArgView(args, kArgMoveWidth);
    height = ArgView(args, kArgMoveHeight);
  }
  RECT rect;
  if (!window || !GetWindowRect(window, &rect)) return ResultCode::Ok;
  MoveWindow(window, CoordinateOr(x, rect.left), CoordinateOr(y, rect.top), CoordinateOr(width, rect.right - rect.left),
             CoordinateOr(height, rect.bottom - rect.top), TRUE);
  SleepWinDelay();
  return ResultCode::Ok;
}

// WinSetTitle; with one parameter it renames the last found window.
ResultCode CmdWinSetTitle(ScriptLine& line, CommandArgs& args) {
  HWND window = nullptr;
  std::wstring newTitle;
  if (line.ArgTotal < 2) {
    window = LastFoundWindow();
    newTitle = ArgView(args, kArgTitle);
  } else {
    window = ResolveTargetWindow(StringsAt(args, kArgTitle, kArgText, kArgSetTitleExTitle, kArgSetTitleExText));
    newTitle = ArgView(args, kArgNewTitle);
  }
  if (window) SetWindowTextW(window, newTitle.c_str());
  return ResultCode::Ok;
}

// WinMinimizeAll and WinMinimizeAllUndo, through the taskbar.
ResultCode CmdWinMinimizeAll(ScriptLine& line, CommandArgs& /*args*/) {
  if (HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr))
    PostMessageW(tray, WM_COMMAND, line.CommandIndex == ACT_WINMINIMIZEALL ? kTrayMinimizeAll : kTrayMinimizeAllUndo,
                 0);
  SleepWinDelay();
  return ResultCode::Ok;
}

// WinMenuSelectItem: reports failure when the path does not end on a command.
ResultCode CmdWinMenuSelectItem(ScriptLine& /*line*/, CommandArgs& args) {
  HWND window = ResolveTargetWindow(StringsAt(args, kArgTitle, kArgText, kArgMenuExTitle, kArgMenuExText));
  return ReportOutcome(!window || !SelectMenuPath(window, args));
}

// IfWinExist, IfWinNotExist, IfWinActive, IfWinNotActive: the test of the
// if-form; every form updates the last found window.
ResultCode CmdIfWin(ScriptLine& line, CommandArgs& args) {
  const WindowStrings strings = StringsAt(args, kArgTitle, kArgText, kArgExcludeTitle, kArgExcludeText);
  const ActionType action = line.CommandIndex;
  const bool exist = action == ACT_IFWINEXIST || action == ACT_IFWINNOTEXIST;
  const bool found =
      exist ? FindMatchingWindow(strings, false, true) != nullptr : FindActiveMatch(strings, true) != nullptr;
  const bool negative = action == ACT_IFWINNOTEXIST || action == ACT_IFWINNOTACTIVE;
  return found != negative ? ResultCode::TestPassed : ResultCode::TestFailed;
}

// WinExist and WinActive: the handle text of the window, "0x0" for none.
ResultCode FnWinExistOrActive(const ExprFunc& func, ExprToken& result, ExprToken** params, int count,
                              bool /*expandLast*/) {
  std::array<std::wstring, 4> texts;
  for (int i = 0; i < count && i < 4; ++i) {
    if (!ParamGiven(params, count, i)) continue;
    wchar_t number[kFloatTextChars];
    texts[static_cast<size_t>(i)] = ParamText(*params[i], number);
  }
  const WindowStrings strings{texts[0], texts[1], texts[2], texts[3]};
  const bool active = func.Name[3] == L'A' || func.Name[3] == L'a';
  HWND window = active ? FindActiveMatch(strings, true) : FindMatchingWindow(strings, false, true);
  const std::wstring text = HandleText(window);
  AutomationState& state = Automation();
  wcsncpy(state.HandleText, text.c_str(), std::size(state.HandleText) - 1);
  result.SetText(state.HandleText);
  return ResultCode::Ok;
}
