// Finding, asking and closing the older copy.
#include "app/single_instance.h"

#include <windows.h>

#include "app/main_window.h"
#include "base/script_context.h"
#include "base/version.h"
#include "gui/message_box.h"

namespace {

inline constexpr wchar_t kReplacePrompt[] =
    L"An older instance of this script is already running.  Replace it with this instance?\n"
    L"Note: To avoid this message, see #SingleInstance in the help file.";
inline constexpr wchar_t kKeepWaitingPrompt[] = L"Could not close the previous instance of this script.  Keep waiting?";
constexpr DWORD kPollMs = 20;
constexpr int kPollsPerPrompt = 100;
constexpr DWORD kSettleMs = 100;

// Asks the old copy to exit and waits until its window is gone. Returns
// false when the user gives up waiting.
bool CloseOldCopy(HWND old, UINT code) {
  PostMessageW(old, WM_COMMNOTIFY, code, 0);
  Sleep(kPollMs);
  for (int polls = 0; IsWindow(old); ++polls) {
    if (polls >= kPollsPerPrompt) {
      if (ShowMessageBox(kKeepWaitingPrompt, MB_YESNO | MB_SETFOREGROUND) == IDNO) return false;
      polls = 0;
    }
    Sleep(kPollMs);
  }
  Sleep(kSettleMs);
  return true;
}

}  // namespace

int ApplySingleInstanceRule() {
  ScriptContext& s = Script();
  HWND old = FindWindowW(MAIN_WINDOW_CLASS, s.MainTitle.c_str());
  if (s.RestartRequested) {
    if (old && !CloseOldCopy(old, MSG_CLOSE_FOR_RELOAD)) return CRITICAL_ERROR_EXIT_CODE;
    return -1;
  }
  bool checks =
      s.InstanceMode == INSTANCE_PROMPT || s.InstanceMode == INSTANCE_FORCE || s.InstanceMode == INSTANCE_IGNORE;
  if (!checks || Script().SkipInstanceCheck || !old) return -1;
  if (s.InstanceMode == INSTANCE_IGNORE) return 0;
  if (s.InstanceMode == INSTANCE_PROMPT &&
      ShowMessageBox(kReplacePrompt, MB_YESNO | MB_SETFOREGROUND, s.ScriptFileName) == IDNO)
    return 0;
  return CloseOldCopy(old, MSG_CLOSE_FOR_NEW_INSTANCE) ? -1 : CRITICAL_ERROR_EXIT_CODE;
}
