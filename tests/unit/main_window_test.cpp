// The main window's decisions that need no window: which view a request
// builds, which tray icon shows a state, the tray tip, and the command line
// that restarts the script.
#include <gtest/gtest.h>

#include <string>

#include "app/main_window_views.h"
#include "app/reload_edit.h"
#include "app/resource_ids.h"
#include "app/tray_icon.h"
#include "base/script_context.h"

namespace {

struct ViewCase {
  const char* Name;
  int Requested, Current;
  bool Restricted, Allowed;
  int Build;
  bool Explain;
};

TEST(MainWindowView, ChoosesWhatToBuild) {
  const ViewCase cases[] = {
      {"first show opens the lines view", VIEW_NONE, VIEW_NONE, false, true, VIEW_LINES, false},
      {"a refresh with no view opens the lines view", VIEW_REFRESH, VIEW_NONE, false, true, VIEW_LINES, false},
      {"showing again keeps the text", VIEW_NONE, VIEW_VARIABLES, true, true, VIEW_NONE, false},
      {"a refresh rebuilds the current view", VIEW_REFRESH, VIEW_HOTKEYS, true, true, VIEW_HOTKEYS, false},
      {"a view request builds that view", VIEW_KEY_HISTORY, VIEW_LINES, true, true, VIEW_KEY_HISTORY, false},
      {"a menu without permission explains", VIEW_VARIABLES, VIEW_NONE, true, false, VIEW_NONE, true},
      {"Open without permission explains", VIEW_NONE, VIEW_NONE, true, false, VIEW_NONE, true},
      {"a refresh of a view without permission explains when there is none", VIEW_REFRESH, VIEW_NONE, true, false,
       VIEW_NONE, true},
      {"a refresh of an existing view needs no permission", VIEW_REFRESH, VIEW_VARIABLES, true, false, VIEW_VARIABLES,
       false},
      {"the commands need no permission", VIEW_VARIABLES, VIEW_NONE, false, false, VIEW_VARIABLES, false},
  };
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ViewChoice choice = ChooseView(c.Requested, c.Current, c.Restricted, c.Allowed);
    EXPECT_EQ(choice.Build, c.Build);
    EXPECT_EQ(choice.Explain, c.Explain);
  }
}

TEST(TrayIcon, GroupForEachState) {
  EXPECT_EQ(TrayIconGroupFor(false, false), IDI_MAIN);
  EXPECT_EQ(TrayIconGroupFor(false, true), IDI_SUSPENDED);
  EXPECT_EQ(TrayIconGroupFor(true, false), IDI_PAUSED);
  EXPECT_EQ(TrayIconGroupFor(true, true), IDI_PAUSED_SUSPENDED);
}

TEST(TrayIcon, CustomIconOnlyWhenFrozenOrRunning) {
  struct Case {
    bool HasCustom, Frozen, Paused, Suspended, Uses;
  };
  const Case cases[] = {
      {false, false, false, false, false}, {false, true, true, false, false}, {true, false, false, false, true},
      {true, false, true, false, false},   {true, false, false, true, false}, {true, true, true, true, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TrayUsesCustomIcon(c.HasCustom, c.Frozen, c.Paused, c.Suspended), c.Uses)
        << c.HasCustom << c.Frozen << c.Paused << c.Suspended;
}

TEST(TrayIcon, TipText) {
  EXPECT_EQ(TrayTipText(L"custom", L"x.qrv"), L"custom");
  EXPECT_EQ(TrayTipText(L"", L"x.qrv"), L"x.qrv");
  EXPECT_EQ(TrayTipText(L"", L""), L"Quorivance");
  EXPECT_EQ(TrayTipText(std::wstring(200, L'a'), L"x.qrv"), std::wstring(127, L'a'));
}

TEST(Reload, RestartCommandLine) {
  const ScriptOrigin savedOrigin = Script().Origin;
  const std::wstring savedExe = Script().ExePathQuoted, savedScript = Script().ScriptPath;
  Script().ExePathQuoted = L"\"C:\\My Tools\\qrv.exe\"";
  Script().ScriptPath = L"C:\\Scripts\\a b.qrv";
  Script().Origin = ScriptOrigin::File;
  EXPECT_EQ(RestartCommandLine(), L"\"C:\\My Tools\\qrv.exe\" /restart \"C:\\Scripts\\a b.qrv\"");
  Script().Origin = ScriptOrigin::Resource;
  EXPECT_EQ(RestartCommandLine(), L"\"C:\\My Tools\\qrv.exe\" /restart");
  Script().Origin = savedOrigin;
  Script().ExePathQuoted = savedExe;
  Script().ScriptPath = savedScript;
}

}  // namespace
