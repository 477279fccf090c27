// The main window as a text viewer: the lines most recently executed, the
// variables, the hotkeys, and the key history with script information; and
// the commands that open those views.
//
// Invariant: the edit control holds the text of the current view (or the
// explanation that the viewer is not allowed); a refresh rebuilds the
// current view.
#pragma once
#include <string>

#include "exec/command_args.h"

class VarList;
struct ScriptLine;

enum MainWindowView : int {
  VIEW_NONE = 0,  // only show the window
  VIEW_LINES = 1,
  VIEW_VARIABLES = 2,
  VIEW_HOTKEYS = 3,
  VIEW_KEY_HISTORY = 4,
  VIEW_REFRESH = 5,  // rebuild the current view
};

// Shows the main window with a view. `restricted` (the menus) shows an
// explanation instead when the script does not allow the viewer.
void OpenMainWindowView(int mode, bool restricted);

// The decision OpenMainWindowView makes: the view to build (VIEW_NONE: keep
// the text as it is) or the explanation instead.
struct ViewChoice {
  int Build = VIEW_NONE;
  bool Explain = false;
};
ViewChoice ChooseView(int requested, int current, bool restricted, bool allowed);

// The text of a view (1-4), at most 65,534 characters.
std::wstring BuildViewText(int view);

// The view the viewer shows now.
int CurrentView();

// Where the views get what later subsystems own (held in
// App().Viewer.Hooks, written once by the owning subsystem's start-up
// step). Each is null until its subsystem exists; the view then shows what
// is known without it.
struct ViewHooks {
  // The running function's locals and name; false when no function runs.
  bool (*ListVarsLocals)(const VarList*& locals, std::wstring& functionName) = nullptr;
  // One line per hotkey, each ending in "\r\n".
  std::wstring (*ListHotkeys)() = nullptr;
  // The key-history text: the hook's modifier state and the recorded events.
  std::wstring (*KeyHistoryText)() = nullptr;
  // Whether the keyboard and the mouse hook are installed.
  bool (*KeyboardHookActive)() = nullptr;
  bool (*MouseHookActive)() = nullptr;
};

// The commands that open views (not restricted).
ResultCode CmdListVars(ScriptLine& line, CommandArgs& args);
ResultCode CmdListHotkeys(ScriptLine& line, CommandArgs& args);
ResultCode CmdKeyHistory(ScriptLine& line, CommandArgs& args);
