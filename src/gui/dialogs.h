// The standard dialogs: MsgBox, InputBox, ToolTip, TrayTip, FileSelectFile
// and FileSelectFolder, and what they share (the owner window, the
// dialog-setup request to the main window, time-outs).
#pragma once
#include <windows.h>

#include <string_view>

#include "base/result_code.h"
#include "exec/command_args.h"

struct ScriptLine;

ResultCode CmdMsgBox(ScriptLine& line, CommandArgs& args);
ResultCode CmdInputBox(ScriptLine& line, CommandArgs& args);
ResultCode CmdToolTip(ScriptLine& line, CommandArgs& args);
ResultCode CmdTrayTip(ScriptLine& line, CommandArgs& args);
ResultCode CmdFileSelectFile(ScriptLine& line, CommandArgs& args);
ResultCode CmdFileSelectFolder(ScriptLine& line, CommandArgs& args);

// The window that owns the thread's dialogs ("+OwnDialogs"), or null.
HWND DialogOwner();
// Asks the main window to find, activate and time the dialog about to show.
void RequestDialogSetup(UINT timeoutMs);
// A dialog time-out text in seconds as milliseconds: empty or 0 = none,
// negative = a tenth of a second, at most 2147483 seconds.
UINT TimeoutMs(std::wstring_view seconds);
// The interpreter's own message box (error reports, notices).
int ShowNoticeBox(std::wstring_view text, UINT type, std::wstring_view title);
// Destroys the tooltips (program exit).
void DestroyToolTips();
