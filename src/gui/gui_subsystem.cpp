// Registers the GUI subsystem: the Gui command and its windows, the
// standard dialogs, LoadPicture, the GUI's built-in variables and its
// message-loop filter; and the message box behind every error report.
#include "gui/gui_subsystem.h"

#include <windows.h>
#include <commctrl.h>

#include "base/error_sink.h"
#include "gui/dialogs.h"
#include "gui/gui_state.h"
#include "gui/gui_window.h"
#include "gui/gui_window_proc.h"
#include "gui/pictures.h"

namespace {

const CommandRow kGuiCommands[] = {
    {ACT_GUI, CmdGui},
    {ACT_MSGBOX, CmdMsgBox},
    {ACT_INPUTBOX, CmdInputBox},
    {ACT_TOOLTIP, CmdToolTip},
    {ACT_TRAYTIP, CmdTrayTip},
    {ACT_FILESELECTFILE, CmdFileSelectFile},
    {ACT_FILESELECTFOLDER, CmdFileSelectFolder},
};

const MessageFilter kGuiFilters[] = {GuiMessageFilter};

// The common control classes every control type needs.
void InitControlClasses() {
  INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_LINK_CLASS |
                                                       ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS |
                                                       ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
}

void StartGui() {
  InstallMessageBox(ShowNoticeBox);
  InitControlClasses();
  HDC screen = GetDC(nullptr);
  Gui().Dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
}

void ExitGui() {
  DestroyToolTips();
  DestroyAllGuiWindows();
}

void ResetGui() {
  DestroyAllGuiWindows();
  Gui().Windows.clear();
  Gui().Placeholders.clear();
  Gui().NextSerial = 1;
}

}  // namespace

const Subsystem& GuiSubsystem() {
  static const BuiltInFamily kPictures = PictureFunctions();
  static const Subsystem kGui{.Name = L"gui",
                              .Commands = kGuiCommands,
                              .Functions = kPictures.Defs,
                              .FunctionCount = kPictures.Count,
                              .Variables = GuiVariables(),
                              .MessageFilters = kGuiFilters,
                              .Startup = StartGui,
                              .Exit = ExitGui,
                              .Reset = ResetGui};
  return kGui;
}
