// The standard tray menu.
#include "app/tray_menu.h"

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/main_window_views.h"
#include "app/message_loop.h"
#include "app/resource_ids.h"
#include "app/tray_icon.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

constexpr int kForegroundRetryMs = 10;

struct StandardItem {
  UINT Id;
  const wchar_t* Text;
};

// In menu order; "&Open" only while the main window is allowed.
const StandardItem kStandardItems[] = {
    {ID_TRAY_OPEN, L"&Open"},
    {ID_TRAY_SUSPEND, L"&Suspend Hotkeys"},
    {ID_TRAY_PAUSE, L"&Pause Script"},
    {ID_TRAY_EXIT, L"E&xit"},
};

// The view items of the main window's menu, enabled only when allowed.
const UINT kViewItems[] = {ID_VIEW_LINES, ID_VIEW_VARIABLES, ID_VIEW_HOTKEYS, ID_VIEW_KEYHISTORY};

// Makes the main window the foreground window when another thread's
// window is, so the menu closes when the user clicks elsewhere.
void TakeForegroundForMenu() {
  HWND main = MainWindow();
  HWND foreground = GetForegroundWindow();
  if (foreground && GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId()) return;
  if (SetForegroundWindow(main)) return;
  MessagePump(kForegroundRetryMs, PumpMode::ReturnAfter);
  SetForegroundWindow(main);
}

}  // namespace

void SetMainWindowAllowed(bool allowed) {
  App().Tray.Menu.MainWindowAllowed = allowed;
  HMENU menu = MainWindow() ? GetMenu(MainWindow()) : nullptr;
  if (!menu) return;
  for (UINT id : kViewItems)
    EnableMenuItem(menu, id, MenuFlags(MF_BYCOMMAND | (allowed ? MF_ENABLED : MF_DISABLED | MF_GRAYED)));
}

HMENU BuildTrayMenu() {
  const TrayMenuState& settings = App().Tray.Menu;
  HMENU menu = CreatePopupMenu();
  if (!menu || !settings.StandardItems) return menu;
  for (const StandardItem& item : kStandardItems) {
    if (item.Id == ID_TRAY_OPEN && !settings.MainWindowAllowed) continue;
    UINT flags = MF_STRING;
    if (item.Id == ID_TRAY_SUSPEND && App().HotkeysSuspended) flags |= MF_CHECKED;
    if (item.Id == ID_TRAY_PAUSE && Values().CurrentThread->Paused) flags |= MF_CHECKED;
    AppendMenuW(menu, flags, item.Id, item.Text);
  }
  if (settings.MainWindowAllowed && !settings.DefaultItemId) SetMenuDefaultItem(menu, ID_TRAY_OPEN, FALSE);
  return menu;
}

void ShowTrayMenu() {
  HWND main = MainWindow();
  // Seam: script items join the menu here once script menus exist.
  if (!main || !App().Tray.Menu.StandardItems) return;
  HMENU menu = BuildTrayMenu();
  if (!menu) return;
  POINT at = {};
  GetCursorPos(&at);
  TakeForegroundForMenu();
  SetMenuShowing(MENU_SHOWN_BY_COMMAND);
  TrackPopupMenuEx(menu, 0, at.x, at.y, main, nullptr);
  SetMenuShowing(MENU_NOT_SHOWING);
  DestroyMenu(menu);
  // The shell needs a message after the menu closes, or the next click on
  // the icon shows a menu that cannot be dismissed.
  PostMessageW(main, WM_NULL, 0, 0);
  // Handle the chosen command now rather than after whatever is queued.
  MessagePump(-1, PumpMode::ReturnAfter);
}

void RunTrayDefaultAction() {
  HWND main = MainWindow();
  if (!main) return;
  const TrayMenuState& settings = App().Tray.Menu;
  if (settings.DefaultItemId) {
    PostMessageW(main, MSG_MENU_CHOSEN, 0, settings.DefaultItemId);
    return;
  }
  if (settings.StandardItems && settings.MainWindowAllowed) OpenMainWindowView(VIEW_NONE, true);
}
