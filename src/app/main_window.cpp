// The main window: its classes, icons, edit control and procedure, and the
// commands of its menu and of the standard tray menu.
#include "app/main_window.h"

#include <shellapi.h>
#include <versionhelpers.h>

#include <string>

#include "app/app_state.h"
#include "app/exit.h"
#include "app/launchers.h"
#include "app/main_window_views.h"
#include "app/message_loop.h"
#include "app/reload_edit.h"
#include "app/thread_commands.h"
#include "app/tray_icon.h"
#include "app/tray_menu.h"
#include "base/script_context.h"
#include "base/version.h"
#include "gui/message_box.h"
#include "script/directives.h"
#include "script/script_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Messages shown when the window cannot be made.
inline constexpr wchar_t kRegisterClassFailed[] = L"RegClass";
inline constexpr wchar_t kCreateWindowFailed[] = L"CreateWindow";

// The edit control's look: WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE
// | ES_AUTOVSCROLL | ES_READONLY.
constexpr DWORD kEditStyle = 0x50A00804;
constexpr int kEditFontPoints = 10;
// The format version CreateIconFromResourceEx is given.
constexpr DWORD kIconFormatVersion = 0x30000;
// Class-name characters read when looking for a dialog.
constexpr int kClassNameChars = 32;
inline constexpr wchar_t kDialogClass[] = L"#32770";
inline constexpr wchar_t kTaskbarClass[] = L"Shell_TrayWnd";
// The timer a dialog's time-out runs on (a timer of the dialog window).
constexpr UINT_PTR kDialogTimeoutTimer = 1;
// The result a dialog ended by its time-out returns.
constexpr INT_PTR kDialogTimedOutResult = -2;

// The entries of an icon group resource, as stored in the executable.
#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE Width;
  BYTE Height;
  BYTE ColorCount;
  BYTE Reserved;
  WORD Planes;
  WORD BitCount;
  DWORD BytesInRes;
  WORD Id;
};
struct GroupIconHeader {
  WORD Reserved;
  WORD Type;
  WORD Count;
};
#pragma pack(pop)

// The module that holds the resources.
HINSTANCE Instance() { return Script().Instance ? Script().Instance : GetModuleHandleW(nullptr); }

// The image of the main icon group that suits the system's large-icon width:
// from a narrower image it moves to wider ones, and from one at least that
// wide it moves to narrower or equal ones that are still at least that wide
// (so of equal widths the last, deepest one wins). A width of 0 (256
// pixels) counts as 0.
HICON LoadLargeMainIcon() {
  HINSTANCE instance = Instance();
  HRSRC group = FindResourceW(instance, MAKEINTRESOURCEW(IDI_MAIN), RT_GROUP_ICON);
  HGLOBAL groupData = group ? LoadResource(instance, group) : nullptr;
  auto* header = groupData ? static_cast<const GroupIconHeader*>(LockResource(groupData)) : nullptr;
  HICON icon = nullptr;
  if (header && header->Count > 0) {
    auto* entries = reinterpret_cast<const GroupIconEntry*>(header + 1);
    const int wanted = GetSystemMetrics(SM_CXICON);
    int chosen = 0;
    for (int i = 1; i < header->Count; ++i) {
      int width = entries[i].Width, current = entries[chosen].Width;
      if (current < wanted ? width > current : width <= current && width >= wanted) chosen = i;
    }
    HRSRC image = FindResourceW(instance, MAKEINTRESOURCEW(entries[chosen].Id), RT_ICON);
    HGLOBAL imageData = image ? LoadResource(instance, image) : nullptr;
    auto* bits = imageData ? static_cast<BYTE*>(LockResource(imageData)) : nullptr;
    if (bits)
      icon = CreateIconFromResourceEx(bits, SizeofResource(instance, image), TRUE, kIconFormatVersion, 0, 0,
                                      LR_DEFAULTCOLOR);
  }
  if (!icon) {
    wchar_t path[MAX_PATH];
    // A negative index asks ExtractIcon for the icon with that resource ID.
    if (GetModuleFileNameW(nullptr, path, MAX_PATH)) icon = ExtractIconW(instance, path, static_cast<UINT>(-IDI_MAIN));
    if (icon == reinterpret_cast<HICON>(1)) icon = nullptr;  // "not an executable"
  }
  return icon;
}

// Loads the main icon at both sizes.
void LoadMainIcons() {
  MainWindowState& main = App().MainWindow;
  main.IconLarge = LoadLargeMainIcon();
  int small = GetSystemMetrics(SM_CXSMICON);
  main.IconSmall = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, small, small, 0));
}

LRESULT CALLBACK MainWindowHandler(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the main window's class and the second class.
bool RegisterWindowClasses() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = MainWindowHandler;
  wc.hInstance = Instance();
  wc.hIcon = App().MainWindow.IconLarge;
  wc.hIconSm = App().MainWindow.IconSmall;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
  wc.lpszClassName = MAIN_WINDOW_CLASS;
  if (!RegisterClassExW(&wc)) return false;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = SECOND_WINDOW_CLASS;
  return RegisterClassExW(&wc) != 0;
}

// Unregisters one of the window classes; false when windows of it still
// exist (it then stays registered, with the icons it names).
bool UnregisterUnusedClass(const wchar_t* name) {
  return UnregisterClassW(name, Instance()) != 0 || GetLastError() != ERROR_CLASS_HAS_WINDOWS;
}

// A window made while nothing (or only the taskbar) is in front starts as a
// tool window, so it does not flash a taskbar button when it is hidden.
bool NeedsToolWindowStyle() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return true;
  wchar_t name[kClassNameChars + 1] = L"";
  GetClassNameW(foreground, name, kClassNameChars + 1);
  return wcscmp(name, kTaskbarClass) == 0;
}

// The viewer's fixed-pitch font.
HFONT CreateEditFont() {
  HDC screen = GetDC(nullptr);
  int height = -MulDiv(kEditFontPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  const wchar_t* face = IsWindowsVistaOrGreater() ? L"Consolas" : L"Lucida Console";
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, face);
}

// Creates the edit control that shows the views.
void CreateEditControl() {
  MainWindowState& main = App().MainWindow;
  main.EditControl = CreateWindowExW(0, L"Edit", L"", kEditStyle, 0, 0, 0, 0, main.Handle,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(MAIN_EDIT_ID)), Instance(), nullptr);
  main.EditFont = CreateEditFont();
  SendMessageW(main.EditControl, WM_SETFONT, reinterpret_cast<WPARAM>(main.EditFont), 0);
  SendMessageW(main.EditControl, EM_SETLIMITTEXT, 0, 0);
}

// Whether the script may show the viewer from the menus: a script run from
// its file may; a compiled one only after its tray menu allows it.
bool ViewerAllowedAtStart() { return Script().Origin == ScriptOrigin::File; }

// Ends a dialog whose time-out has passed.
void CALLBACK DialogTimeoutProc(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  EndDialog(dialog, kDialogTimedOutResult);
  const MainWindowSeams& seams = App().MainWindow.Seams;
  if (seams.DialogTimedOut) seams.DialogTimedOut(dialog);
}

// Finds this process's topmost dialog window.
BOOL CALLBACK TakeOwnDialog(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  wchar_t name[kClassNameChars] = L"";
  GetClassNameW(window, name, kClassNameChars);
  if (wcscmp(name, kDialogClass) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// A standard dialog is up: bring it forward and start its time-out.
void PrepareShownDialog(LPARAM timeoutMs) {
  const MainWindowSeams& seams = App().MainWindow.Seams;
  if (seams.CloseClipboardIfOpen) seams.CloseClipboardIfOpen();
  HWND dialog = nullptr;
  EnumWindows(TakeOwnDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  if (seams.DialogShown) seams.DialogShown(dialog);
  BringWindowForward(dialog);
  if (timeoutMs > 0) SetTimer(dialog, kDialogTimeoutTimer, static_cast<UINT>(timeoutMs), DialogTimeoutProc);
}

// A click on the tray icon.
void HandleTrayNotification(LPARAM mouseMessage) {
  switch (LOWORD(mouseMessage)) {
    case WM_LBUTTONDOWN:
      if (App().Tray.Menu.ClickCount == 1) RunTrayDefaultAction();
      break;
    case WM_LBUTTONDBLCLK:
      if (App().Tray.Menu.ClickCount != 1) RunTrayDefaultAction();
      break;
    case WM_RBUTTONUP: ShowTrayMenu(); break;
    default: break;
  }
}

// Carries out one of the private messages; returns false when it is not one
// this window answers.
bool HandlePrivateMessage(UINT code, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const MainWindowSeams& seams = App().MainWindow.Seams;
  result = 0;
  switch (code) {
    case MSG_DIALOG_SHOWN: PrepareShownDialog(lParam); return true;
    case MSG_TRAY_NOTIFY: HandleTrayNotification(lParam); return true;
    case MSG_QUERY_PID: result = static_cast<LRESULT>(GetCurrentProcessId()); return true;
    // A cancelled exit keeps the script running; there is no caller to pass it to.
    case MSG_CLOSE_FOR_RELOAD: static_cast<void>(ExitApp(EXIT_RELOAD, 0)); return true;
    // A cancelled exit keeps the script running; there is no caller to pass it to.
    case MSG_CLOSE_FOR_NEW_INSTANCE: static_cast<void>(ExitApp(EXIT_SINGLEINSTANCE, 0)); return true;
    case MSG_READ_WINDOW_TEXT:
      if (seams.ReadWindowText && IsWindow(reinterpret_cast<HWND>(lParam))) seams.ReadWindowText(wParam, lParam);
      return true;
    case MSG_EVAL_HOT_IF:
      // Without "#If" expressions no record can be one.
      if (seams.EvaluateHotIf) result = seams.EvaluateHotIf(wParam, lParam);
      return true;
    // Seam: hotkeys, hotstrings, script menu items and clipboard changes
    // (1024, 1025, 1026, 1045) reaching the window start their threads once
    // the loop knows how.
    default: return false;
  }
}

// The main window's size changed.
void HandleMainWindowSize(HWND hwnd, WPARAM kind, LPARAM size) {
  if (kind == SIZE_MINIMIZED) {
    ShowWindow(hwnd, SW_HIDE);
    return;
  }
  MoveWindow(App().MainWindow.EditControl, 0, 0, LOWORD(size), HIWORD(size), TRUE);
}

// Checks or unchecks the main menu's Pause item to match the running thread.
void MarkMenuLoopEntered() {
  MainWindowState& main = App().MainWindow;
  if (HMENU menu = GetMenu(main.Handle))
    CheckMenuItem(menu, ID_FILE_PAUSE,
                  MenuFlags(MF_BYCOMMAND | (Values().CurrentThread->Paused ? MF_CHECKED : MF_UNCHECKED)));
  if (main.MenuShowing == MENU_NOT_SHOWING) main.MenuShowing = MENU_SHOWN_BY_LOOP;
}

// The procedure of the main window and of the second class's windows.
LRESULT CALLBACK MainWindowHandler(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindowState& main = App().MainWindow;
  LRESULT result = 0;
  // Seam: the loop skips the message it is dispatching itself, once
  // monitors and the dispatch mark exist.
  if (main.Seams.OfferToMessageMonitors && main.Seams.OfferToMessageMonitors(hwnd, message, wParam, lParam, result))
    return result;
  const bool isMain = hwnd == main.Handle && hwnd;
  switch (message) {
    case WM_COMMNOTIFY:
      // The code travels in wParam; lParam keeps its meaning (a dialog's
      // time-out), so nothing posted this way loses its argument.
      if (HandlePrivateMessage(static_cast<UINT>(wParam), 0, lParam, result)) return result;
      break;
    case WM_DESTROY:
      if (hwnd == main.Handle) {
        main.Handle = nullptr;
        main.EditControl = nullptr;
        // A cancelled exit keeps the script running; there is no caller to pass it to.
        if (!main.DestroyedByProgram) static_cast<void>(ExitApp(EXIT_DESTROY, 0));
        return 0;
      }
      break;
    case WM_SIZE:
      if (isMain) {
        HandleMainWindowSize(hwnd, wParam, lParam);
        return 0;
      }
      // Seam: progress and picture windows of the second class size their
      // controls here once they exist.
      break;
    case WM_SETFOCUS:
      if (isMain) {
        SetFocus(main.EditControl);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (isMain) {
        // Closing the window is a request to exit; an exit routine may refuse it.
        // A cancelled exit keeps the script running; there is no caller to pass it to.
        static_cast<void>(ExitApp(EXIT_CLOSE, 0));
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      // The close box and minimise button only hide the viewer.
      if (isMain && ((wParam & 0xFFF0) == SC_MINIMIZE || (wParam & 0xFFF0) == SC_CLOSE)) {
        ShowWindow(hwnd, SW_HIDE);
        return 0;
      }
      break;
    case WM_ENDSESSION:
      // A cancelled exit keeps the script running; there is no caller to pass it to.
      if (wParam) static_cast<void>(ExitApp(lParam < 0 ? EXIT_LOGOFF : EXIT_SHUTDOWN, 0));
      return 0;
    case WM_COMMAND:
      if (HandleMenuCommand(hwnd, LOWORD(wParam), reinterpret_cast<HWND>(lParam))) return 0;
      break;
    case WM_TIMER:
      // The main timer reaching the window means a modal loop is
      // dispatching: let timers and queued threads run from here.
      if (lParam == 0) {
        if (main.MenuShowing == MENU_NOT_SHOWING) MessagePump(-1, PumpMode::ReturnAfter);
        return 0;
      }
      break;
    case WM_ENTERMENULOOP: MarkMenuLoopEntered(); break;
    case WM_EXITMENULOOP: main.MenuShowing = MENU_NOT_SHOWING; break;
    case WM_DRAWCLIPBOARD:
    case WM_CLIPBOARDUPDATE:
    case WM_CHANGECBCHAIN:
      if (isMain && main.Seams.ClipboardNotice) return main.Seams.ClipboardNotice(hwnd, message, wParam, lParam);
      break;
    default:
      if (message == main.TaskbarCreatedMessage && main.TaskbarCreatedMessage) {
        // The taskbar was re-created and lost every icon.
        if (!Loader().Directives.NoTrayIcon) {
          AddTrayIcon();
          RefreshTrayIcon(true);
        }
        return 0;
      }
      if (HandlePrivateMessage(message, wParam, lParam, result)) return result;
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Pauses or resumes the running thread from a menu.
void TogglePauseCommand() { TogglePauseFromMenu(); }

// Suspends or resumes hotkeys from a menu.
void ToggleSuspendCommand() {
  AppState& app = App();
  app.HotkeysSuspended = !app.HotkeysSuspended;
  if (app.MainWindow.Seams.SuspendHotkeys) app.MainWindow.Seams.SuspendHotkeys(app.HotkeysSuspended);
  RefreshTrayIcon(false);
  if (HMENU menu = app.MainWindow.Handle ? GetMenu(app.MainWindow.Handle) : nullptr)
    CheckMenuItem(menu, ID_FILE_SUSPEND, MenuFlags(MF_BYCOMMAND | (app.HotkeysSuspended ? MF_CHECKED : MF_UNCHECKED)));
}

struct MenuAction {
  UINT TrayId;  // 0: the main menu only
  UINT MainId;  // 0: the tray menu only
  void (*Run)();
};

const MenuAction kMenuActions[] = {
    {ID_TRAY_OPEN, 0, [] { OpenMainWindowView(VIEW_NONE, true); }},
    {ID_TRAY_HELP, ID_HELP_USERMANUAL, OpenHelpFile},
    {ID_TRAY_WINDOWSPY, ID_FILE_WINDOWSPY, StartWindowInspector},
    {ID_TRAY_RELOADSCRIPT, ID_FILE_RELOADSCRIPT, ReloadFromMenu},
    // A compiled script cannot be edited; the script of a file is handled the same way.
    {ID_TRAY_EDITSCRIPT, ID_FILE_EDITSCRIPT, [] {}},
    {ID_TRAY_SUSPEND, ID_FILE_SUSPEND, ToggleSuspendCommand},
    {ID_TRAY_PAUSE, ID_FILE_PAUSE, TogglePauseCommand},
    // A cancelled exit keeps the script running; there is no caller to pass it to.
    {ID_TRAY_EXIT, ID_FILE_EXIT, [] { static_cast<void>(ExitApp(EXIT_MENU, 0)); }},
    {0, ID_VIEW_LINES, [] { OpenMainWindowView(VIEW_LINES, true); }},
    {0, ID_VIEW_VARIABLES, [] { OpenMainWindowView(VIEW_VARIABLES, true); }},
    {0, ID_VIEW_HOTKEYS, [] { OpenMainWindowView(VIEW_HOTKEYS, true); }},
    {0, ID_VIEW_KEYHISTORY, [] { OpenMainWindowView(VIEW_KEY_HISTORY, true); }},
    {0, ID_VIEW_REFRESH, [] { OpenMainWindowView(VIEW_REFRESH, true); }},
    {0, ID_HELP_WEBSITE, OpenWebSite},
};

}  // namespace

bool CreateMainWindow() {
  ScriptContext& s = Script();
  if (s.MainTitle.empty()) return false;
  LoadMainIcons();
  if (!RegisterWindowClasses()) {
    ShowMessageBox(kRegisterClassFailed, MB_OK | MB_SETFOREGROUND);
    return false;
  }
  const bool toolWindow = NeedsToolWindowStyle();
  MainWindowState& main = App().MainWindow;
  main.Handle = CreateWindowExW(toolWindow ? WS_EX_TOOLWINDOW : 0, MAIN_WINDOW_CLASS, s.MainTitle.c_str(),
                                WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, Instance(), nullptr);
  if (!main.Handle) {
    ShowMessageBox(kCreateWindowFailed, MB_OK | MB_SETFOREGROUND);
    return false;
  }
  main.DestroyedByProgram = false;
  if (HMENU menu = GetMenu(main.Handle))
    EnableMenuItem(menu, ID_FILE_EDITSCRIPT, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
  SetMainWindowAllowed(ViewerAllowedAtStart());
  CreateEditControl();
  // The first show command of a process may come from its start-up
  // information instead of the call, so the window is hidden twice.
  ShowWindow(main.Handle, SW_HIDE);
  ShowWindow(main.Handle, SW_HIDE);
  if (toolWindow) {
    ShowWindow(main.Handle, SW_MINIMIZE);
    SetWindowLongPtrW(main.Handle, GWL_EXSTYLE, 0);
  }
  main.Accelerators = LoadAcceleratorsW(Instance(), MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
  main.TaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  if (!Loader().Directives.NoTrayIcon) AddTrayIcon();
  // Seam: clipboard-change handling turns its listener on here.
  return true;
}

HWND MainWindow() { return App().MainWindow.Handle; }

HWND MainEditControl() { return App().MainWindow.EditControl; }

void DestroyMainWindow() {
  MainWindowState& main = App().MainWindow;
  if (!main.Handle) return;
  main.DestroyedByProgram = true;
  DestroyWindow(main.Handle);
  main.Handle = nullptr;
  main.EditControl = nullptr;
}

void ReleaseMainWindow() {
  RemoveTrayIcon();
  DestroyMainWindow();
  MainWindowState& main = App().MainWindow;
  // The font and icons are freed only once nothing uses them: the edit
  // control went with the window, and the classes (which name the icons)
  // are unregistered first. Unregistering fails harmlessly when a class was
  // never registered; a class that still has windows keeps its icons.
  if (main.EditFont) DeleteObject(main.EditFont);
  main.EditFont = nullptr;
  main.Accelerators = nullptr;  // a resource table: nothing to free
  const bool mainClassGone = UnregisterUnusedClass(MAIN_WINDOW_CLASS);
  const bool secondClassGone = UnregisterUnusedClass(SECOND_WINDOW_CLASS);
  if (mainClassGone && secondClassGone) {
    if (main.IconLarge) DestroyIcon(main.IconLarge);
    if (main.IconSmall) DestroyIcon(main.IconSmall);
  }
  main.IconLarge = nullptr;
  main.IconSmall = nullptr;
}

bool HandleMenuCommand(HWND window, UINT id, HWND control) {
  for (const MenuAction& action : kMenuActions) {
    if (id != action.TrayId && id != action.MainId) continue;
    action.Run();
    return true;
  }
  const MainWindowSeams& seams = App().MainWindow.Seams;
  if (seams.IsScriptMenuItem && seams.IsScriptMenuItem(id)) {
    PostMessageW(window, MSG_MENU_CHOSEN, reinterpret_cast<WPARAM>(control), id);
    return true;
  }
  return false;
}

bool PreTranslateMainWindowMessage(MSG& msg) {
  const MainWindowState& main = App().MainWindow;
  if (!main.Handle) return false;
  if (msg.hwnd == main.EditControl && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    ShowWindow(main.Handle, SW_HIDE);
    return true;
  }
  // Only keystrokes meant for the viewer: a script window's Ctrl+V must
  // stay a paste.
  if (main.Accelerators && (msg.hwnd == main.Handle || msg.hwnd == main.EditControl))
    return TranslateAcceleratorW(main.Handle, main.Accelerators, &msg) != 0;
  return false;
}

int MenuShowing() { return App().MainWindow.MenuShowing; }

void SetMenuShowing(int mark) { App().MainWindow.MenuShowing = mark; }

HICON MainIconLarge() { return App().MainWindow.IconLarge; }

HICON MainIconSmall() { return App().MainWindow.IconSmall; }

bool BringWindowForward(HWND window) {
  if (SetForegroundWindow(window)) return true;
  HWND foreground = GetForegroundWindow();
  DWORD ours = GetCurrentThreadId();
  DWORD theirs = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  bool attached = theirs && theirs != ours && !IsHungAppWindow(foreground) && AttachThreadInput(ours, theirs, TRUE);
  bool done = SetForegroundWindow(window) != 0;
  if (attached) AttachThreadInput(ours, theirs, FALSE);
  return done;
}
