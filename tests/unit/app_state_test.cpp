// The application layer's state record: ResetInterpreterState puts it back
// to its state before start-up (the app subsystem's Reset step), with the
// hooks installed again, and a main window that still exists is destroyed
// without starting the exit sequence, so that a new one can be made.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/exit.h"
#include "app/main_window.h"
#include "app/subsystems.h"
#include "app/threads.h"
#include "app/timers.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/exec_state.h"
#include "values/values_state.h"

namespace {

// Set while a step runs that must not start the exit sequence: the exit
// ends the process with std::exit, which would otherwise look like a pass.
bool exitForbidden = false;
constexpr int kExitedDuringReset = 3;

void FailIfExiting() {
  if (exitForbidden) std::_Exit(kExitedDuringReset);
}

TEST(AppState, ResetPutsEveryConcernBack) {
  Label label;
  label.Name = L"Tick";
  App().Threads.ThreadLimit = 2;
  InitThreadRecords(*Values().CurrentThread);
  BeginThread(0, true, false);
  ASSERT_NE(Values().CurrentThread, &Values().InitialThread);
  App().Threads.ProtectMs = 1;
  App().Tray.Menu.ClickCount = 1;
  App().Viewer.CurrentView = VIEW_HOTKEYS;
  App().HotkeysSuspended = true;
  App().Loop.LinesSinceYield = 42;
  SetTimerEntry(&label, nullptr, L"100", L"", true, false);
  ASSERT_NE(App().Timers.First, nullptr);
  SetExitLabel(&label);

  ASSERT_TRUE(ResetInterpreterState());

  EXPECT_EQ(Values().CurrentThread, &Values().InitialThread);
  EXPECT_TRUE(App().Threads.Records.empty());
  EXPECT_EQ(App().Threads.ActiveThreads, 0);
  EXPECT_EQ(App().Threads.ThreadLimit, 10);
  EXPECT_EQ(App().Threads.ProtectMs, 15);
  EXPECT_EQ(App().Tray.Menu.ClickCount, 2);
  EXPECT_EQ(App().Viewer.CurrentView, VIEW_NONE);
  EXPECT_FALSE(App().HotkeysSuspended);
  EXPECT_EQ(App().Loop.LinesSinceYield, 0);
  EXPECT_EQ(App().Timers.First, nullptr);
  EXPECT_EQ(App().Exit.OnExitLabel, nullptr);
  // The start-up steps ran again: the hooks are back.
  EXPECT_NE(App().Viewer.Hooks.ListVarsLocals, nullptr);
  EXPECT_NE(App().MainWindow.Seams.OfferToMessageMonitors, nullptr);
  EXPECT_NE(Exec().Hooks.CheckMessagesBetweenLines, nullptr);
}

TEST(AppState, ResetDestroysTheMainWindowAndAllowsANewOne) {
  Script().MainTitle = L"qrv unit test main window";
  ASSERT_TRUE(CreateMainWindow());
  HWND first = MainWindow();
  ASSERT_TRUE(IsWindow(first));

  // The window goes as the program's own act: no exit may start.
  std::atexit(FailIfExiting);
  exitForbidden = true;
  const bool reset = ResetInterpreterState();
  exitForbidden = false;
  ASSERT_TRUE(reset);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(MainWindow(), nullptr);
  EXPECT_EQ(App().MainWindow.IconSmall, nullptr);
  EXPECT_FALSE(TrayIconExists());

  Script().MainTitle = L"qrv unit test main window";
  ASSERT_TRUE(CreateMainWindow());
  EXPECT_TRUE(IsWindow(MainWindow()));
  ASSERT_TRUE(ResetInterpreterState());
  EXPECT_EQ(MainWindow(), nullptr);
}

}  // namespace

// Installation names a missing execution hook instead of leaving the loop to
// call a null pointer, and succeeds again once every subsystem installs.
TEST(AppState, InstallationRefusesAMissingExecutionHook) {
  ASSERT_TRUE(ResetInterpreterState());
  EXPECT_EQ(MissingExecHook(), nullptr);
  const auto saved = Exec().Hooks.DeliverReturnValue;
  Exec().Hooks.DeliverReturnValue = nullptr;
  ASSERT_NE(MissingExecHook(), nullptr);
  EXPECT_STREQ(MissingExecHook(), L"DeliverReturnValue");
  Exec().Hooks.DeliverReturnValue = saved;
  EXPECT_TRUE(ResetInterpreterState());
  EXPECT_EQ(MissingExecHook(), nullptr);
}
