// The tray icon and its looks.
#include "app/tray_icon.h"

#include <shellapi.h>

#include "app/main_window.h"
#include "app/resource_ids.h"
#include "base/script_context.h"
#include "values/thread_settings.h"
#include "base/version.h"
#include "values/values_state.h"

TrayIconCustomization g_TrayCustom;
bool g_HotkeysSuspended = false;

namespace {

// Characters of the tip, without the terminator.
constexpr size_t kTipChars = 127;

// The notification record; hWnd null means "no icon". Written by
// AddTrayIcon, RefreshTrayIcon and RemoveTrayIcon.
NOTIFYICONDATAW g_record = {};

// The look last shown; valid while the icon exists.
bool g_shownPaused = false;
bool g_shownSuspended = false;

// The icon a look is drawn with.
HICON IconFor(bool paused, bool suspended) {
  if (TrayUsesCustomIcon(g_TrayCustom.Icon != nullptr, g_TrayCustom.Frozen, paused, suspended))
    return g_TrayCustom.Icon;
  int group = TrayIconGroupFor(paused, suspended);
  if (group == IDI_MAIN) return MainIconSmall();
  HINSTANCE instance = Script().Instance ? Script().Instance : GetModuleHandleW(nullptr);
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(group), IMAGE_ICON, 0, 0, LR_SHARED));
}

}  // namespace

int TrayIconGroupFor(bool paused, bool suspended) {
  if (paused) return suspended ? IDI_PAUSED_SUSPENDED : IDI_PAUSED;
  return suspended ? IDI_SUSPENDED : IDI_MAIN;
}

bool TrayUsesCustomIcon(bool hasCustom, bool frozen, bool paused, bool suspended) {
  return hasCustom && (frozen || (!paused && !suspended));
}

std::wstring TrayTipText(const std::wstring& custom, const std::wstring& scriptFileName) {
  std::wstring tip = !custom.empty() ? custom : !scriptFileName.empty() ? scriptFileName : std::wstring(PRODUCT_NAME);
  if (tip.size() > kTipChars) tip.resize(kTipChars);
  return tip;
}

void AddTrayIcon() {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof(record);
  record.hWnd = MainWindow();
  record.uID = TRAY_ICON_ID;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = MSG_TRAY_NOTIFY;
  record.hIcon = g_TrayCustom.Icon ? g_TrayCustom.Icon : MainIconSmall();
  std::wstring tip = TrayTipText(g_TrayCustom.Tip, Script().ScriptFileName);
  wcsncpy(record.szTip, tip.c_str(), kTipChars);
  if (!record.hWnd || !Shell_NotifyIconW(NIM_ADD, &record)) {
    g_record = {};
    return;
  }
  g_record = record;
  g_shownPaused = false;
  g_shownSuspended = false;
}

void RefreshTrayIcon(bool force) {
  if (!g_record.hWnd) return;
  bool paused = Values().CurrentThread->Paused;
  bool suspended = g_HotkeysSuspended;
  if (!force && paused == g_shownPaused && suspended == g_shownSuspended) return;
  g_record.hIcon = IconFor(paused, suspended);
  if (Shell_NotifyIconW(NIM_MODIFY, &g_record)) {
    g_shownPaused = paused;
    g_shownSuspended = suspended;
  }
}

void RemoveTrayIcon() {
  if (!g_record.hWnd) return;
  Shell_NotifyIconW(NIM_DELETE, &g_record);
  g_record = {};
}

bool TrayIconExists() { return g_record.hWnd != nullptr; }
