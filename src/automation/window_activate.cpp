// Activation and closing (see window_activate.h).
#include "automation/window_activate.h"

#include "automation/automation_state.h"
#include "automation/automation_support.h"
#include "automation/window_search.h"
#include "exec/exec_state.h"
#include "script/directives.h"
#include "script/script_state.h"

namespace {

// How long the hung test and WinKill's polite close wait for an answer.
constexpr UINT kHungTestTimeoutMs = 5000;
constexpr UINT kKillCloseTimeoutMs = 500;
// How long one foreground attempt waits for the system to switch.
constexpr int kForegroundSettleMs = 10;
// Foreground attempts after attaching input, before the Alt-key trick.
constexpr int kForegroundAttempts = 5;
// The wait below which a close-and-wait gives up.
constexpr int kWaitSlackMs = 5;

// One SetForegroundWindow attempt: the target (or a window it owns that
// came up instead) when the foreground changed to it.
HWND TryForeground(HWND target, HWND previous) {
  SetForegroundWindow(target);
  ThreadSettings& settings = CurrentSettings();
  const bool wasInterruptible = settings.Interruptible;
  settings.Interruptible = false;
  PumpMessages(kForegroundSettleMs);
  settings.Interruptible = wasInterruptible;
  HWND now = GetForegroundWindow();
  if (now == target) return target;
  if (now && now != previous && GetWindow(now, GW_OWNER) == target) return now;
  return nullptr;
}

// Two Alt presses: the system lets a program that just had keyboard input
// take the foreground.
void PressAltTwice() {
  for (int i = 0; i < 2; ++i) {
    keybd_event(VK_MENU, 0, 0, 0);
    keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
  }
}

// An input attachment made for an activation, undone afterwards.
struct Attachment {
  DWORD From = 0, To = 0;
};

}  // namespace

void LookUpOptionalUser32() {
  OptionalUser32& user32 = Automation().User32;
  if (user32.LookedUp) return;
  user32.LookedUp = true;
  HMODULE module = GetModuleHandleW(L"user32");
  if (!module) return;
  user32.IsHungAppWindow = reinterpret_cast<decltype(user32.IsHungAppWindow)>(
      reinterpret_cast<void*>(GetProcAddress(module, "IsHungAppWindow")));
  user32.GetLayeredWindowAttributes = reinterpret_cast<decltype(user32.GetLayeredWindowAttributes)>(
      reinterpret_cast<void*>(GetProcAddress(module, "GetLayeredWindowAttributes")));
}

bool WindowIsHung(HWND window) {
  LookUpOptionalUser32();
  if (Automation().User32.IsHungAppWindow) return Automation().User32.IsHungAppWindow(window) != FALSE;
  DWORD_PTR reply = 0;
  return !SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kHungTestTimeoutMs, &reply);
}

HWND ForceForeground(HWND target) {
  const DWORD mainThread = GetCurrentThreadId();
  const DWORD targetThread = GetWindowThreadProcessId(target, nullptr);
  if (targetThread != mainThread && WindowIsHung(target)) return nullptr;
  HWND previous = GetForegroundWindow();
  if (!previous) previous = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (IsIconic(target)) ShowWindow(target, SW_RESTORE);
  if (target == previous) return target;
  if (!Loader().Directives.WinActivateForce) {
    if (HWND result = TryForeground(target, previous)) return result;
  }
  Attachment attachments[2];
  int attached = 0;
  const DWORD previousThread = previous ? GetWindowThreadProcessId(previous, nullptr) : 0;
  if (previousThread) {
    if (previousThread != mainThread && !WindowIsHung(previous) && AttachThreadInput(mainThread, previousThread, TRUE))
      attachments[attached++] = {mainThread, previousThread};
    if (targetThread && targetThread != previousThread && AttachThreadInput(previousThread, targetThread, TRUE))
      attachments[attached++] = {previousThread, targetThread};
  }
  HWND result = nullptr;
  for (int i = 0; i < kForegroundAttempts && !result; ++i) result = TryForeground(target, previous);
  if (!result) {
    PressAltTwice();
    result = TryForeground(target, previous);
  }
  for (int i = 0; i < attached; ++i) AttachThreadInput(attachments[i].From, attachments[i].To, FALSE);
  if (result) BringWindowToTop(target);
  return result;
}

HWND ActivateMatchingWindow(const WindowStrings& strings, bool findLast, const std::vector<HWND>* excluded) {
  if (strings.IsActiveTitle()) {
    HWND window = DetectedForegroundWindow();
    if (window && IsIconic(window)) ShowWindow(window, SW_RESTORE);
    return window;
  }
  HWND window =
      findLast || !strings.AllEmpty() ? FindMatchingWindow(strings, findLast, false, excluded) : LastFoundWindow();
  return window ? ForceForeground(window) : nullptr;
}

void WaitForWindowToClose(HWND window, int waitMs) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    const int64_t remaining = static_cast<int64_t>(waitMs) - static_cast<int64_t>(GetTickCount() - start);
    if (remaining <= kWaitSlackMs) break;
    PumpMessages(kPumpDefaultPass);
  }
}

void CloseWindow(HWND window, int waitMs, bool kill) {
  if (!kill) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else {
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kKillCloseTimeoutMs, &reply)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (HANDLE process = pid ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid) : nullptr) {
        TerminateProcess(process, 0);
        CloseHandle(process);
      }
    }
  }
  if (waitMs > 0) WaitForWindowToClose(window, waitMs);
}

HWND CloseMatchingWindow(const WindowStrings& strings, int waitMs, bool kill) {
  HWND window = nullptr;
  if (strings.IsActiveTitle())
    window = DetectedForegroundWindow();
  else if (strings.AllEmpty())
    window = LastFoundWindow();
  else {
    window = FindActiveMatch(strings, false);
    if (!window) window = FindMatchingWindow(strings, false, false);
  }
  if (!window) return nullptr;
  CloseWindow(window, waitMs, kill);
  SleepWinDelay();
  return window;
}
