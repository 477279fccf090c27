// The viewer's texts and OpenMainWindowView.
#include "app/main_window_views.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/threads.h"
#include "app/timers.h"
#include "app/tray_menu.h"
#include "base/script_context.h"
#include "exec/list_lines.h"
#include "script/directives.h"
#include "script/script_state.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Longest text a view puts into the edit control.
constexpr size_t kViewTextLimit = 65534;
// Characters of the foreground window's title in the key-history view.
constexpr int kWindowTitleChars = 100;
// Lines the lines view scrolls by to reach its end.
constexpr int kScrollToEndLines = 999999;

inline constexpr wchar_t kNotAllowedText[] =
    L"Script info will not be shown because the \"Menu, Tray, MainWindow\"\r\n"
    L"command option was not enabled in the original script.";
inline constexpr wchar_t kHotkeysHeader[] =
    L"Type\tOff?\tLevel\tRunning\tName\r\n"
    L"-------------------------------------------------------------------\r\n";
inline constexpr wchar_t kKeyHistoryDisabled[] = L"\r\nKey History has been disabled via #KeyHistory 0.";
inline constexpr wchar_t kRefreshHint[] = L"\r\nPress [F5] to refresh.";
inline constexpr wchar_t kInterruptedNote[] = L" (they resume when the current thread finishes)";

struct ModifierKey {
  int VirtualKey;
  const wchar_t* Name;
};
const ModifierKey kModifierKeys[] = {
    {VK_LWIN, L"LWin "},      {VK_RWIN, L"RWin "},      {VK_LSHIFT, L"LShift "}, {VK_RSHIFT, L"RShift "},
    {VK_LCONTROL, L"LCtrl "}, {VK_RCONTROL, L"RCtrl "}, {VK_LMENU, L"LAlt "},    {VK_RMENU, L"RAlt "},
};

// The names of the modifier keys that are down now.
std::wstring ModifiersDownNow() {
  std::wstring names;
  for (const ModifierKey& key : kModifierKeys)
    if (GetKeyState(key.VirtualKey) & 0x8000) names += key.Name;
  return names;
}

// The foreground window's title.
std::wstring ForegroundTitle() {
  wchar_t title[kWindowTitleChars + 1] = L"";
  if (HWND foreground = GetForegroundWindow()) GetWindowTextW(foreground, title, kWindowTitleChars + 1);
  return title;
}

// "yes" when a hook reports true, else "no" (also without the hook).
const wchar_t* YesNo(bool (*hook)()) { return hook && hook() ? L"yes" : L"no"; }

// The variables view.
std::wstring VariablesText() {
  const VarList* locals = nullptr;
  std::wstring functionName;
  const ViewHooks& hooks = App().Viewer.Hooks;
  if (!hooks.ListVarsLocals || !hooks.ListVarsLocals(locals, functionName)) locals = nullptr;
  return BuildVarListText(locals, functionName, Values().Globals);
}

// The hotkeys view.
std::wstring HotkeysText() {
  std::wstring text = kHotkeysHeader;
  const ViewHooks& hooks = App().Viewer.Hooks;
  if (hooks.ListHotkeys) text += hooks.ListHotkeys();
  return text;
}

// The key-history view: script information, then the history itself.
std::wstring KeyHistoryText() {
  const ViewHooks& hooks = App().Viewer.Hooks;
  const ThreadState& threads = App().Threads;
  TimerSummary timers = SummarizeTimers();
  int active = threads.ActiveThreads;
  int interrupted = active > 1 ? active - 1 : 0;
  std::wstring text;
  text += L"Window: " + ForegroundTitle() + L"\r\n";
  text += std::wstring(L"Keybd hook: ") + YesNo(hooks.KeyboardHookActive) + L"\r\n";
  text += std::wstring(L"Mouse hook: ") + YesNo(hooks.MouseHookActive) + L"\r\n";
  text += L"Enabled Timers: " + std::to_wstring(timers.Enabled) + L" of " + std::to_wstring(timers.Total) + L" (" +
          timers.EnabledNames + L")\r\n";
  text += L"Interrupted threads: " + std::to_wstring(interrupted) + (interrupted ? kInterruptedNote : L"") + L"\r\n";
  text += L"Paused threads: " + std::to_wstring(threads.PausedThreads) + L" of " + std::to_wstring(active) + L" (" +
          std::to_wstring(active) + L" layers)\r\n";
  text += L"Modifiers (GetKeyState() now) = " + ModifiersDownNow() + L"\r\n";
  if (Loader().Directives.KeyHistory == 0)
    text += kKeyHistoryDisabled;
  else if (hooks.KeyHistoryText)
    text += hooks.KeyHistoryText();
  text += kRefreshHint;
  return text;
}

// Puts text into the viewer.
void SetViewerText(const std::wstring& text) {
  if (HWND edit = MainEditControl()) SetWindowTextW(edit, text.c_str());
}

// Shows the main window in front of the others.
void ShowViewer() {
  HWND main = MainWindow();
  ShowWindow(main, IsIconic(main) ? SW_RESTORE : SW_SHOW);
  if (GetForegroundWindow() != main) BringWindowForward(main);
}

}  // namespace

ViewChoice ChooseView(int requested, int current, bool restricted, bool allowed) {
  ViewChoice choice;
  bool refreshingAView = requested == VIEW_REFRESH && current != VIEW_NONE;
  if (restricted && !allowed && !refreshingAView) {
    choice.Explain = true;
    return choice;
  }
  if (current == VIEW_NONE && (requested == VIEW_NONE || requested == VIEW_REFRESH)) requested = VIEW_LINES;
  choice.Build = requested == VIEW_REFRESH ? current : requested;
  return choice;
}

std::wstring BuildViewText(int view) {
  std::wstring text;
  switch (view) {
    case VIEW_LINES: text = BuildListLinesText(); break;
    case VIEW_VARIABLES: text = VariablesText(); break;
    case VIEW_HOTKEYS: text = HotkeysText(); break;
    case VIEW_KEY_HISTORY: text = KeyHistoryText(); break;
    default: break;
  }
  if (text.size() > kViewTextLimit) text.resize(kViewTextLimit);
  return text;
}

int CurrentView() { return App().Viewer.CurrentView; }

void OpenMainWindowView(int mode, bool restricted) {
  if (!MainWindow()) return;
  ViewerState& viewer = App().Viewer;
  ViewChoice choice = ChooseView(mode, viewer.CurrentView, restricted, App().Tray.Menu.MainWindowAllowed);
  if (choice.Explain) {
    SetViewerText(kNotAllowedText);
    return;
  }
  if (choice.Build != VIEW_NONE) {
    SetViewerText(BuildViewText(choice.Build));
    viewer.CurrentView = choice.Build;
  }
  ShowViewer();
  if (choice.Build == VIEW_LINES) SendMessageW(MainEditControl(), EM_LINESCROLL, 0, kScrollToEndLines);
}

ResultCode CmdListVars(ScriptLine&, CommandArgs&) {
  OpenMainWindowView(VIEW_VARIABLES, false);
  return ResultCode::Ok;
}

ResultCode CmdListHotkeys(ScriptLine&, CommandArgs&) {
  OpenMainWindowView(VIEW_HOTKEYS, false);
  return ResultCode::Ok;
}

ResultCode CmdKeyHistory(ScriptLine&, CommandArgs&) {
  OpenMainWindowView(VIEW_KEY_HISTORY, false);
  return ResultCode::Ok;
}
