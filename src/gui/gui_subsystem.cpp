// Registers the GUI subsystem: the message box behind every error report.
#include "gui/gui_subsystem.h"

#include "base/error_sink.h"
#include "gui/message_box.h"

namespace {

int ShowDialog(std::wstring_view text, UINT type, std::wstring_view title) { return ShowMessageBox(text, type, title); }

void StartGui() { InstallMessageBox(ShowDialog); }

}  // namespace

const Subsystem& GuiSubsystem() {
  static const Subsystem kGui{.Name = L"gui", .Startup = StartGui};
  return kGui;
}
