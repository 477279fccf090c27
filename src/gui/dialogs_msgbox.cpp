// MsgBox and what the dialogs share (see dialogs.h).
//
// Invariant: Gui().MsgBoxes counts the message boxes whose modal loop is
// running, raised just before MessageBoxW and lowered right after, so a
// thread that interrupts a waiting one sees the right count.
#include <windows.h>

#include <cwchar>
#include <string>

#include "base/script_line.h"
#include "exec/exec_state.h"
#include "gui/dialogs.h"
#include "gui/gui_messages.h"
#include "gui/gui_window.h"
#include "gui/message_box.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Argument positions of the full form.
enum : int { kArgOptions = 0, kArgTitle = 1, kArgText = 2, kArgTimeout = 3 };
// Message boxes that may be open at once; one more shows the notice.
constexpr int kMaxMsgBoxes = 7;
constexpr int kMsgBoxesRefused = 9;
constexpr size_t kMaxText = 8191;
constexpr size_t kMaxTitle = 1023;
constexpr double kLongestTimeoutSeconds = 2147483;
constexpr UINT kShortestTimeoutMs = 100;
// The result of a dialog ended by its time-out.
constexpr int kTimedOut = -2;

// Whether a text is a number (integer or decimal fraction).
bool IsNumberText(std::wstring_view text) {
  if (text.empty()) return false;
  std::wstring owned(text);
  wchar_t* end = nullptr;
  wcstod(owned.c_str(), &end);
  if (IsWholeNumber(text)) return true;
  return end && *end == L'\0';
}

// Shows one message box with the counter raised around it.
int RunMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT type) {
  ++Gui().MsgBoxes;
  const int result = MessageBoxW(owner, text.c_str(), title.c_str(), type | MB_SETFOREGROUND);
  --Gui().MsgBoxes;
  return result;
}

}  // namespace

HWND DialogOwner() {
  const uint32_t serial = Values().CurrentThread->GuiDialogOwner;
  if (!serial) return nullptr;
  auto window = FindGuiBySerial(serial);
  return window && IsWindow(window->Hwnd) ? window->Hwnd : nullptr;
}

void RequestDialogSetup(UINT timeoutMs) {
  HWND main = Exec().Hooks.MainWindow ? Exec().Hooks.MainWindow() : nullptr;
  if (main) PostMessageW(main, kMsgDialogShown, 0, static_cast<LPARAM>(timeoutMs));
}

UINT TimeoutMs(std::wstring_view seconds) {
  if (seconds.empty()) return 0;
  std::wstring owned(seconds);
  const double value = wcstod(owned.c_str(), nullptr);
  if (value < 0) return kShortestTimeoutMs;
  if (value == 0) return 0;
  const double limited = value > kLongestTimeoutSeconds ? kLongestTimeoutSeconds : value;
  const UINT ms = static_cast<UINT>(limited * 1000);
  return ms ? ms : 1;
}

int ShowNoticeBox(std::wstring_view text, UINT type, std::wstring_view title) {
  const std::wstring caption = title.empty() ? DefaultDialogTitle() : std::wstring(title);
  return RunMessageBox(nullptr, std::wstring(text), caption, type);
}

ResultCode CmdMsgBox(ScriptLine& line, CommandArgs& args) {
  std::wstring text, title;
  UINT type = MB_OK;
  UINT timeout = 0;
  const int given = line.ArgTotal;
  const bool fullForm = given > 1 && (*args[kArgOptions] == L'\0' || IsWholeNumber(args[kArgOptions]));
  if (given == 0) {
    text = gui_msg::PressOk;
  } else if (!fullForm) {
    // One parameter: the commas the line split at belong to the text.
    for (int i = 0; i < given; ++i) {
      if (i) text += L", ";
      text += args[i];
    }
  } else {
    type = static_cast<UINT>(NumberOf(args[kArgOptions]));
    title = args[kArgTitle];
    text = args[kArgText];
    const std::wstring_view timeoutText(args[kArgTimeout]);
    if (!timeoutText.empty() && !IsNumberText(timeoutText)) {
      // A fourth part that is no number belongs to the text.
      text += L", ";
      text += timeoutText;
    } else {
      timeout = TimeoutMs(timeoutText);
    }
  }
  if (text.size() > kMaxText) text.resize(kMaxText);
  if (title.size() > kMaxTitle) title.resize(kMaxTitle);
  if (title.empty()) title = DefaultDialogTitle();

  if (Gui().MsgBoxes >= kMsgBoxesRefused) return ResultCode::Fail;
  if (Gui().MsgBoxes == kMaxMsgBoxes) {
    RunMessageBox(nullptr, gui_msg::MaxMsgBoxes, DefaultDialogTitle(), MB_OK);
    return ResultCode::Fail;
  }
  RequestDialogSetup(timeout);
  SetLastError(0);
  int result = RunMessageBox(DialogOwner(), text, title, type);
  if (result == kTimedOut || (result == 0 && timeout)) result = kTimedOut;
  Values().CurrentThread->MsgBoxResult = result;
  if (result == 0) {
    if (GetLastError() == ERROR_INVALID_MSGBOX_STYLE) return GuiFail(line, gui_msg::Param1Invalid, args[kArgOptions]);
    return ResultCode::Fail;
  }
  return ResultCode::Ok;
}
