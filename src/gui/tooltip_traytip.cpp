// ToolTip and TrayTip (see dialogs.h).
//
// Invariant: Gui().ToolTips holds the live tooltip windows by number; an
// empty text destroys one, program exit destroys the rest.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "exec/exec_state.h"
#include "gui/dialogs.h"
#include "gui/gui_messages.h"
#include "gui/gui_window.h"

namespace {

enum : int { kArgText = 0, kArgX = 1, kArgY = 2, kArgWhich = 3 };
enum : int { kArgTitle = 0, kArgBalloonText = 1, kArgSeconds = 2, kArgFlags = 3 };
// The tray icon's identifier (the main window's notification icon).
constexpr UINT kTrayIconId = 1028;
constexpr int kCursorOffset = 16;
constexpr size_t kMaxBalloonTitle = 63;
constexpr size_t kMaxBalloonText = 255;

// The bounds tooltips are kept inside: the virtual screen.
RECT ScreenBounds() {
  RECT bounds = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  if (!width) {
    GetWindowRect(GetDesktopWindow(), &bounds);
    return bounds;
  }
  bounds.right = bounds.left + width;
  bounds.bottom = bounds.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return bounds;
}

// Creates a tracking tooltip window.
HWND CreateToolTipWindow(TTTOOLINFOW& tool) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
  if (!tip) return nullptr;
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN));
  return tip;
}

}  // namespace

void DestroyToolTips() {
  for (HWND& tip : Gui().ToolTips) {
    if (tip && IsWindow(tip)) DestroyWindow(tip);
    tip = nullptr;
  }
}

ResultCode CmdToolTip(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view whichText(args[kArgWhich]);
  const long long which = whichText.empty() ? 1 : NumberOf(whichText);
  if (which < 1 || which > static_cast<long long>(kToolTipSlots)) return GuiFail(line, gui_msg::MaxToolTip, whichText);
  HWND& tip = Gui().ToolTips[static_cast<size_t>(which - 1)];
  std::wstring text(args[kArgText]);
  if (text.empty()) {
    if (tip && IsWindow(tip)) DestroyWindow(tip);
    tip = nullptr;
    return ResultCode::Ok;
  }
  const RECT bounds = ScreenBounds();
  POINT cursor = {};
  GetCursorPos(&cursor);
  const bool followsMouse = !*args[kArgX] || !*args[kArgY];
  // Given coordinates are relative to the active window (the default
  // coordinate mode).
  RECT active = {};
  if (HWND foreground = GetForegroundWindow()) GetWindowRect(foreground, &active);
  int x = *args[kArgX] ? static_cast<int>(NumberOf(args[kArgX])) + active.left : cursor.x + kCursorOffset;
  int y = *args[kArgY] ? static_cast<int>(NumberOf(args[kArgY])) + active.top : cursor.y + kCursorOffset;
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.lpszText = text.data();
  if (!tip || !IsWindow(tip)) tip = CreateToolTipWindow(tool);
  if (!tip) return ResultCode::Ok;
  SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
  SendMessageW(tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  RECT size = {};
  GetWindowRect(tip, &size);
  const int w = size.right - size.left, h = size.bottom - size.top;
  if (x + w > bounds.right) x = bounds.right - w - 1;
  if (y + h > bounds.bottom) y = bounds.bottom - h - 1;
  if (followsMouse && cursor.x >= x && cursor.x < x + w && cursor.y >= y && cursor.y < y + h) {
    x = cursor.x - w - 3;
    y = cursor.y - h - 3;
  }
  SendMessageW(tip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
  SendMessageW(tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  return ResultCode::Ok;
}

ResultCode CmdTrayTip(ScriptLine&, CommandArgs& args) {
  HWND main = Exec().Hooks.MainWindow ? Exec().Hooks.MainWindow() : nullptr;
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = main;
  data.uID = kTrayIconId;
  data.uFlags = NIF_INFO;
  wcsncpy_s(data.szInfoTitle, std::wstring(args[kArgTitle]).substr(0, kMaxBalloonTitle).c_str(), _TRUNCATE);
  wcsncpy_s(data.szInfo, std::wstring(args[kArgBalloonText]).substr(0, kMaxBalloonText).c_str(), _TRUNCATE);
  data.uTimeout = static_cast<UINT>(NumberOf(args[kArgSeconds]) * 1000);
  data.dwInfoFlags = static_cast<DWORD>(NumberOf(args[kArgFlags]));
  Shell_NotifyIconW(NIM_MODIFY, &data);
  return ResultCode::Ok;
}
