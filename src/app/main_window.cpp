// The main window and its procedure.
#include "app/main_window.h"

#include "app/exit.h"
#include "app/script_context.h"
#include "app/thread_commands.h"
#include "app/version.h"
#include "gui/message_box.h"

namespace {

// Written by CreateMainWindow and DestroyMainWindow.
HWND g_mainWindow = nullptr;
bool g_destroyedByProgram = false;

// Carries out one of the private messages; returns false when it is not one.
bool HandlePrivateMessage(UINT code, LRESULT& result) {
  switch (code) {
    case MSG_QUERY_PID: result = static_cast<LRESULT>(GetCurrentProcessId()); return true;
    case MSG_CLOSE_FOR_RELOAD: ExitApp(EXIT_RELOAD, 0); result = 0; return true;
    case MSG_CLOSE_FOR_NEW_INSTANCE: ExitApp(EXIT_SINGLEINSTANCE, 0); result = 0; return true;
    default: return false;
  }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  switch (message) {
    case WM_COMMNOTIFY:
      if (HandlePrivateMessage(static_cast<UINT>(wParam), result)) return result;
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ID_FILE_PAUSE:
        case ID_TRAY_PAUSE: TogglePauseFromMenu(); return 0;
        case ID_FILE_EXIT:
        case ID_TRAY_EXIT: ExitApp(EXIT_MENU, 0); return 0;
        default: break;
      }
      break;
    case WM_CLOSE:
      // Closing the window is a request to exit; an exit routine may refuse it.
      ExitApp(EXIT_CLOSE, 0);
      return 0;
    case WM_ENDSESSION:
      if (wParam) ExitApp(lParam < 0 ? EXIT_LOGOFF : EXIT_SHUTDOWN, 0);
      return 0;
    case WM_DESTROY:
      if (hwnd == g_mainWindow) {
        g_mainWindow = nullptr;
        if (!g_destroyedByProgram) ExitApp(EXIT_DESTROY, 0);
      }
      return 0;
    default:
      if (HandlePrivateMessage(message, result)) return result;
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

bool CreateMainWindow() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = g_script.Instance ? g_script.Instance : GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = MAIN_WINDOW_CLASS;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ShowMessageBox(L"RegisterClass", MB_OK | MB_SETFOREGROUND);
    return false;
  }
  g_mainWindow = CreateWindowExW(0, MAIN_WINDOW_CLASS, g_script.MainTitle.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, wc.hInstance, nullptr);
  if (!g_mainWindow) {
    ShowMessageBox(L"CreateWindow", MB_OK | MB_SETFOREGROUND);
    return false;
  }
  return true;
}

HWND MainWindow() { return g_mainWindow; }

void DestroyMainWindow() {
  if (!g_mainWindow) return;
  g_destroyedByProgram = true;
  DestroyWindow(g_mainWindow);
  g_mainWindow = nullptr;
}
