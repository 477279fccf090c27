// Locating installed files and starting them.
#include "app/launchers.h"

#include <windows.h>
#include <shellapi.h>

#include "base/script_context.h"
#include "gui/message_box.h"

namespace {

inline constexpr wchar_t kHelpLaunchFailed[] = L"Could not launch Quorivance.chm";
inline constexpr wchar_t kWindowSpyMissing[] = L"Could not launch WindowSpy.qrv or WindowSpy.exe.";
inline constexpr wchar_t kWebSiteFailed[] = L"Could not open the web site.";
inline constexpr wchar_t kWebSiteAddress[] = L"https://quorivance.example/";

inline constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Quorivance";
inline constexpr wchar_t kInstallValue[] = L"InstallDir";
// A quoted path must fit this many characters.
constexpr size_t kQuotedPathLimit = 2048;
// Registry values this long or longer are not taken as a folder.
constexpr size_t kInstallDirLimit = MAX_PATH;

// Whether a path names an existing file or folder.
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The installation folder from one registry view, or empty.
std::wstring InstallDirFromView(REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return {};
  wchar_t buffer[kInstallDirLimit + 1] = {};
  DWORD type = 0, bytes = sizeof(buffer) - sizeof(wchar_t);
  LSTATUS status = RegQueryValueExW(key, kInstallValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  std::wstring folder(buffer, bytes / sizeof(wchar_t));
  while (!folder.empty() && folder.back() == L'\0') folder.pop_back();
  if (folder.size() >= kInstallDirLimit) return {};
  return folder;
}

// Opens a document or address through the shell; false when it could not.
bool OpenThroughShell(const std::wstring& file, const std::wstring& parameters = {}) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = Script().CurrentWorkDir.empty() ? nullptr : Script().CurrentWorkDir.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != FALSE;
}

// A path in double quotes.
std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

}  // namespace

bool StartProgram(std::wstring commandLine, const std::wstring& folder) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  const wchar_t* directory = folder.empty() ? nullptr : folder.c_str();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::wstring LocateInstalledFile(const std::wstring& name) {
  std::wstring local = Script().ExeDirectory + L"\\" + name;
  if (local.size() + 1 < kQuotedPathLimit && Exists(local)) return local;
  for (REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}}) {
    std::wstring folder = InstallDirFromView(view);
    if (folder.empty()) continue;
    std::wstring path = folder + L"\\" + name;
    if (Exists(path)) return path;
  }
  return {};
}

void OpenHelpFile() {
  std::wstring path = LocateInstalledFile(HELP_FILE_NAME);
  if (path.empty() || !OpenThroughShell(path)) ShowMessageBox(kHelpLaunchFailed, MB_OK);
}

void StartWindowInspector() {
  std::wstring script = LocateInstalledFile(WINDOW_SPY_SCRIPT_NAME);
  if (!script.empty()) {
    std::wstring folder = script.substr(0, script.find_last_of(L'\\'));
    std::wstring interpreter = folder + L"\\" + SCRIPT_INTERPRETER_NAME;
    bool started =
        Exists(interpreter) ? StartProgram(Quoted(interpreter) + L" " + Quoted(script)) : OpenThroughShell(script);
    if (started) return;
  }
  std::wstring program = LocateInstalledFile(WINDOW_SPY_EXE_NAME);
  if (!program.empty() && StartProgram(Quoted(program))) return;
  ShowMessageBox(kWindowSpyMissing, MB_OK);
}

void OpenWebSite() {
  if (!OpenThroughShell(kWebSiteAddress)) ShowMessageBox(kWebSiteFailed, MB_OK);
}
