// The viewer's texts and OpenMainWindowView.
#include "app/main_window_views.h"

#include <windows.h>

#include "app/main_window.h"
#include "base/script_context.h"
#include "app/threads.h"
#include "app/timers.h"
#include "app/tray_menu.h"
#include "exec/list_lines.h"
#include "script/directives.h"
#include "values/variable.h"
#include "values/values_state.h"

bool (*ListVarsLocalsHook)(const VarList*& locals, std::wstring& functionName) = nullptr;
std::wstring (*ListHotkeysHook)() = nullptr;
std::wstring (*KeyHistoryTextHook)() = nullptr;
bool (*KeyboardHookActiveHook)() = nullptr;
bool (*MouseHookActiveHook)() = nullptr;

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

// The view shown now; written by OpenMainWindowView.
int g_currentView = VIEW_NONE;

struct ModifierKey {
  int VirtualKey;
  const wchar_t* Name;
};
const ModifierKey kModifierKeys[] = {
    {VK_LWIN, L"LWin "},     {VK_RWIN, L"RWin "},       {VK_LSHIFT, L"LShift "}, {VK_RSHIFT, L"RShift "},
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
  if (!ListVarsLocalsHook || !ListVarsLocalsHook(locals, functionName)) locals = nullptr;
  return BuildVarListText(locals, functionName, Values().Globals);
}

// The hotkeys view.
std::wstring HotkeysText() {
  std::wstring text = kHotkeysHeader;
  if (ListHotkeysHook) text += ListHotkeysHook();
  return text;
}

// The key-history view: script information, then the history itself.
std::wstring KeyHistoryText() {
  TimerSummary timers = SummarizeTimers();
  int active = g_threads.ActiveThreads;
  int interrupted = active > 1 ? active - 1 : 0;
  std::wstring text;
  text += L"Window: " + ForegroundTitle() + L"\r\n";
  text += std::wstring(L"Keybd hook: ") + YesNo(KeyboardHookActiveHook) + L"\r\n";
  text += std::wstring(L"Mouse hook: ") + YesNo(MouseHookActiveHook) + L"\r\n";
  text += L"Enabled Timers: " + std::to_wstring(timers.Enabled) + L" of " + std::to_wstring(timers.Total) + L" (" +
          timers.EnabledNames + L")\r\n";
  text += L"Interrupted threads: " + std::to_wstring(interrupted) + (interrupted ? kInterruptedNote : L"") + L"\r\n";
  text += L"Paused threads: " + std::to_wstring(g_threads.PausedThreads) + L" of " + std::to_wstring(active) + L" (" +
          std::to_wstring(active) + L" layers)\r\n";
  text += L"Modifiers (GetKeyState() now) = " + ModifiersDownNow() + L"\r\n";
  if (g_directives.KeyHistory == 0)
    text += kKeyHistoryDisabled;
  else if (KeyHistoryTextHook)
    text += KeyHistoryTextHook();
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

int CurrentView() { return g_currentView; }

void OpenMainWindowView(int mode, bool restricted) {
  if (!MainWindow()) return;
  ViewChoice choice = ChooseView(mode, g_currentView, restricted, g_TrayMenu.MainWindowAllowed);
  if (choice.Explain) {
    SetViewerText(kNotAllowedText);
    return;
  }
  if (choice.Build != VIEW_NONE) {
    SetViewerText(BuildViewText(choice.Build));
    g_currentView = choice.Build;
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
