// The tray icon and its looks.
#include "app/tray_icon.h"

#include <shellapi.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "base/script_context.h"
#include "base/version.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Characters of the tip, without the terminator.
constexpr size_t kTipChars = 127;

// The icon a look is drawn with.
HICON IconFor(bool paused, bool suspended) {
  const TrayIconCustomization& custom = App().Tray.Custom;
  if (TrayUsesCustomIcon(custom.Icon != nullptr, custom.Frozen, paused, suspended)) return custom.Icon;
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
  TrayState& tray = App().Tray;
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof(record);
  record.hWnd = MainWindow();
  record.uID = TRAY_ICON_ID;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = MSG_TRAY_NOTIFY;
  record.hIcon = tray.Custom.Icon ? tray.Custom.Icon : MainIconSmall();
  std::wstring tip = TrayTipText(tray.Custom.Tip, Script().ScriptFileName);
  wcsncpy(record.szTip, tip.c_str(), kTipChars);
  if (!record.hWnd || !Shell_NotifyIconW(NIM_ADD, &record)) {
    tray.Record = {};
    return;
  }
  tray.Record = record;
  tray.ShownPaused = false;
  tray.ShownSuspended = false;
}

void RefreshTrayIcon(bool force) {
  TrayState& tray = App().Tray;
  if (!tray.Record.hWnd) return;
  bool paused = Values().CurrentThread->Paused;
  bool suspended = App().HotkeysSuspended;
  if (!force && paused == tray.ShownPaused && suspended == tray.ShownSuspended) return;
  tray.Record.hIcon = IconFor(paused, suspended);
  if (Shell_NotifyIconW(NIM_MODIFY, &tray.Record)) {
    tray.ShownPaused = paused;
    tray.ShownSuspended = suspended;
  }
}

void RemoveTrayIcon() {
  TrayState& tray = App().Tray;
  if (!tray.Record.hWnd) return;
  Shell_NotifyIconW(NIM_DELETE, &tray.Record);
  tray.Record = {};
}

bool TrayIconExists() { return App().Tray.Record.hWnd != nullptr; }
