// What the Help and Window Spy menu items start: the help file, the
// window-inspection tool and the project's web page. Each reports its own
// failure in a message box and changes nothing else.
#pragma once
#include <string>

// File names the launchers look for.
inline constexpr wchar_t HELP_FILE_NAME[] = L"Quorivance.chm";
inline constexpr wchar_t WINDOW_SPY_SCRIPT_NAME[] = L"WindowSpy.qrv";
inline constexpr wchar_t WINDOW_SPY_EXE_NAME[] = L"WindowSpy.exe";
// The interpreter that runs the tool script (it takes a script file).
inline constexpr wchar_t SCRIPT_INTERPRETER_NAME[] = L"qrv.exe";

// Opens the help file.
void OpenHelpFile();

// Starts the window-inspection tool: its script (run by the interpreter of
// the same folder, or opened directly without one), else its executable.
void StartWindowInspector();

// Opens the project's web page in the default browser.
void OpenWebSite();

// Starts a program from a command line in a folder (empty: the current
// one). False when it could not; GetLastError then says why.
bool StartProgram(std::wstring commandLine, const std::wstring& folder = {});

// Where a file of the installation is: the executable's folder, else the
// folder the registry names as the installation folder. Empty when it is in
// neither.
std::wstring LocateInstalledFile(const std::wstring& name);
