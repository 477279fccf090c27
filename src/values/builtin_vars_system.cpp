// Getters of facts about the system, the user and the screen: the
// operating system, names, administrator rights, host addresses, screen
// size and resolution, the mouse cursor and the text caret, and the
// standard folders.
//
// Invariants: the version text and the screen resolution are read once at
// start-up (ReadStartupFacts); the system cursors are loaded once; the
// caret position is reused for 5 ms per foreground window. Getters never
// fail: what cannot be read is "" or the fall-back text of its variable.
#include <winsock2.h>
// winsock2.h must come first.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "values/builtin_vars.h"
#include "values/builtin_vars_getters.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Characters of the computer and user names, and of the host name.
constexpr DWORD kNameChars = 260;
constexpr int kHostNameChars = 256;
// Characters of the comspec environment variable at most.
constexpr DWORD kEnvValueChars = 32767;
// How long a caret reading stays valid for the same foreground window.
constexpr DWORD kCaretReuseMs = 5;
// The caret's coordinate mode in the thread's CoordModes.
constexpr int kCaretCoordShift = 6;
enum CoordModeValue { COORD_WINDOW = 0, COORD_CLIENT = 1, COORD_SCREEN = 2 };
// The lock failure that still proves administrator rights.
constexpr DWORD kDatabaseAlreadyLocked = 1055;  // ERROR_SERVICE_DATABASE_LOCKED

// Version texts of the releases that have a name.
struct NamedVersion {
  DWORD Major, Minor;
  const wchar_t* Name;
};
const NamedVersion kNamedVersions[] = {
    {5, 1, L"WIN_XP"}, {5, 2, L"WIN_2003"}, {6, 0, L"WIN_VISTA"},
    {6, 1, L"WIN_7"},  {6, 2, L"WIN_8"},    {6, 3, L"WIN_8.1"},
};

// The system cursors A_Cursor knows, in the order they are compared.
struct CursorName {
  const wchar_t* Name;
  LPCWSTR Id;
};
const CursorName kCursorNames[] = {
    {L"AppStarting", IDC_APPSTARTING},
    {L"Arrow", IDC_ARROW},
    {L"Cross", IDC_CROSS},
    {L"Help", IDC_HELP},
    {L"IBeam", IDC_IBEAM},
    {L"Icon", IDC_ICON},
    {L"No", IDC_NO},
    {L"Size", IDC_SIZE},
    {L"SizeAll", IDC_SIZEALL},
    {L"SizeNESW", IDC_SIZENESW},
    {L"SizeNS", IDC_SIZENS},
    {L"SizeNWSE", IDC_SIZENWSE},
    {L"SizeWE", IDC_SIZEWE},
    {L"UpArrow", IDC_UPARROW},
    {L"Wait", IDC_WAIT},
};
static_assert(sizeof(kCursorNames) / sizeof(kCursorNames[0]) == sizeof(BuiltInVarCache::Cursors) / sizeof(HCURSOR));

// The standard folders by variable name (without "A_").
struct FolderName {
  const wchar_t* Name;
  int Csidl;
  bool TrimBackslash;
};
const FolderName kFolders[] = {
    {L"ProgramFiles", CSIDL_PROGRAM_FILES, false},
    {L"AppData", CSIDL_APPDATA, false},
    {L"AppDataCommon", CSIDL_COMMON_APPDATA, false},
    {L"Desktop", CSIDL_DESKTOPDIRECTORY, false},
    {L"DesktopCommon", CSIDL_COMMON_DESKTOPDIRECTORY, false},
    {L"StartMenu", CSIDL_STARTMENU, false},
    {L"StartMenuCommon", CSIDL_COMMON_STARTMENU, false},
    {L"Programs", CSIDL_PROGRAMS, false},
    {L"ProgramsCommon", CSIDL_COMMON_PROGRAMS, false},
    {L"Startup", CSIDL_STARTUP, false},
    {L"StartupCommon", CSIDL_COMMON_STARTUP, false},
    {L"MyDocuments", CSIDL_PERSONAL, true},
};

// The name without an "A_" prefix.
std::wstring_view BareName(const wchar_t* name) {
  std::wstring_view view(name);
  if (view.size() > 2 && (view[0] == L'A' || view[0] == L'a') && view[1] == L'_') view.remove_prefix(2);
  return view;
}

// Drops one trailing backslash.
std::wstring_view WithoutTrailingBackslash(std::wstring_view text) {
  if (!text.empty() && text.back() == L'\\') text.remove_suffix(1);
  return text;
}

// The version the system reports, from RtlGetVersion when there is one.
OSVERSIONINFOW SystemVersion() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto query = ntdll
                   ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                   : nullptr;
  if (!query || query(&info) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
  }
  return info;
}

// Whether the service database can be locked: only administrators may.
bool CanLockServiceDatabase() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_LOCK);
  if (!manager) return false;
  bool admin = false;
  if (SC_LOCK lock = LockServiceDatabase(manager)) {
    UnlockServiceDatabase(lock);
    admin = true;
  } else {
    admin = GetLastError() == kDatabaseAlreadyLocked;
  }
  CloseServiceHandle(manager);
  return admin;
}

// The Winsock 1.1 entry points A_IPAddress uses, loaded by name.
struct WinsockCalls {
  int(WINAPI* Startup)(WORD, WSADATA*);
  int(WINAPI* Cleanup)();
  int(WINAPI* HostName)(char*, int);
  hostent*(WINAPI* HostByName)(const char*);
  char*(WINAPI* ToText)(in_addr);
};

// A procedure of a module as the type the caller expects.
template <typename Fn>
void LoadProc(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The Nth address (1-based) of this host in dotted form: "0.0.0.0" when the
// host has fewer, "" when Winsock cannot start.
std::wstring HostAddress(int which) {
  HMODULE module = LoadLibraryW(L"WSOCK32.dll");
  if (!module) return L"";
  WinsockCalls ws = {};
  LoadProc(module, "WSAStartup", ws.Startup);
  LoadProc(module, "WSACleanup", ws.Cleanup);
  LoadProc(module, "gethostname", ws.HostName);
  LoadProc(module, "gethostbyname", ws.HostByName);
  LoadProc(module, "inet_ntoa", ws.ToText);
  std::wstring result;
  WSADATA data;
  if (ws.Startup && ws.Cleanup && ws.HostName && ws.HostByName && ws.ToText && ws.Startup(MAKEWORD(1, 1), &data) == 0) {
    result = L"0.0.0.0";
    char host[kHostNameChars] = "";
    if (ws.HostName(host, kHostNameChars) == 0) {
      const hostent* entry = ws.HostByName(host);
      int index = 0;
      for (char** address = entry ? entry->h_addr_list : nullptr; address && *address; ++address) {
        if (++index != which) continue;
        in_addr value;
        std::memcpy(&value, *address, sizeof(value));
        const char* text = ws.ToText(value);
        result.clear();
        for (size_t i = 0; text && text[i] && i < kIPAddressBound; ++i) result.push_back(static_cast<wchar_t>(text[i]));
        break;
      }
    }
    ws.Cleanup();
  }
  FreeLibrary(module);
  return result;
}

// The current cursor handle, from GetCursorInfo when the system has it.
HCURSOR CurrentCursor() {
  using GetCursorInfoFn = BOOL(WINAPI*)(CURSORINFO*);
  GetCursorInfoFn getInfo = nullptr;
  LoadProc(GetModuleHandleW(L"user32"), "GetCursorInfo", getInfo);
  if (getInfo) {
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    return getInfo(&info) ? info.hCursor : nullptr;
  }
  // Without it the cursor belongs to the thread under the mouse.
  POINT point;
  GetCursorPos(&point);
  HWND window = WindowFromPoint(point);
  const DWORD mine = GetCurrentThreadId();
  const DWORD other = window ? GetWindowThreadProcessId(window, nullptr) : mine;
  const bool attach = other != mine && !IsHungAppWindow(window) && AttachThreadInput(mine, other, TRUE);
  HCURSOR cursor = GetCursor();
  if (attach) AttachThreadInput(mine, other, FALSE);
  return cursor;
}

// Reads the caret of the foreground window in screen coordinates; false
// when there is none.
bool ReadCaret(HWND foreground, POINT& where) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) || !info.hwndCaret) return false;
  where = {info.rcCaret.left, info.rcCaret.top};
  ClientToScreen(info.hwndCaret, &where);
  return true;
}

// The caret position relative to what the Caret coordinate mode names.
bool CaretPosition(POINT& where) {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return false;
  BuiltInVarCache& cache = Values().BuiltIns;
  const DWORD now = GetTickCount();
  if (foreground != cache.CaretWindow || now - cache.CaretTick > kCaretReuseMs) {
    POINT caret = {};
    cache.CaretKnown = ReadCaret(foreground, caret);
    if (cache.CaretKnown) {
      const int mode = (Values().CurrentThread->CoordModes >> kCaretCoordShift) & 3;
      if (mode != COORD_SCREEN && !IsIconic(foreground)) {
        POINT origin = {0, 0};
        RECT rect;
        if (mode == COORD_CLIENT)
          ClientToScreen(foreground, &origin);
        else if (GetWindowRect(foreground, &rect))
          origin = {rect.left, rect.top};
        caret.x -= origin.x;
        caret.y -= origin.y;
      }
    }
    cache.Caret = caret;
    cache.CaretWindow = foreground;
    cache.CaretTick = now;
  }
  where = cache.Caret;
  return cache.CaretKnown;
}

}  // namespace

namespace builtin {

void ReadStartupFacts() {
  BuiltInVarCache& cache = Values().BuiltIns;
  const OSVERSIONINFOW version = SystemVersion();
  std::swprintf(cache.OSVersion, sizeof(cache.OSVersion) / sizeof(wchar_t), L"%u.%u.%u",
                static_cast<unsigned>(version.dwMajorVersion), static_cast<unsigned>(version.dwMinorVersion),
                static_cast<unsigned>(version.dwBuildNumber));
  for (const NamedVersion& named : kNamedVersions)
    if (named.Major == version.dwMajorVersion && named.Minor == version.dwMinorVersion)
      wcscpy_s(cache.OSVersion, named.Name);
  HDC screen = GetDC(nullptr);
  cache.ScreenDPI = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ReleaseDC(nullptr, screen);
}

size_t OSType(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"WIN32_NT"); }
size_t OSVersion(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Values().BuiltIns.OSVersion); }
size_t One(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"1"); }
size_t Zero(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"0"); }
size_t PtrSize(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"8"); }
size_t Space(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L" "); }
size_t Tab(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"\t"); }

// The system's user-interface language as four upper-case hex digits.
size_t Language(wchar_t* buffer, const wchar_t*) {
  wchar_t text[8];
  std::swprintf(text, 8, L"%04hX", static_cast<unsigned short>(GetSystemDefaultUILanguage()));
  return PutBuiltInText(buffer, text);
}

size_t ComputerName(wchar_t* buffer, const wchar_t*) {
  wchar_t name[kNameChars + 1];
  DWORD size = kNameChars;
  return PutBuiltInText(buffer, GetComputerNameW(name, &size) ? std::wstring_view(name, size) : L"");
}

size_t UserName(wchar_t* buffer, const wchar_t*) {
  wchar_t name[kNameChars + 1] = L"";
  DWORD size = kNameChars;
  return PutBuiltInText(buffer, GetUserNameW(name, &size) ? std::wstring_view(name, wcsnlen(name, kNameChars)) : L"");
}

size_t IsAdmin(wchar_t* buffer, const wchar_t*) {
  if (!buffer) return 1;
  return PutBuiltInText(buffer, CanLockServiceDatabase() ? L"1" : L"0");
}

// A_IPAddress1 to A_IPAddress4: the digit ends the name.
size_t IPAddress(wchar_t* buffer, const wchar_t* name) {
  if (!buffer) return kIPAddressBound;
  const std::wstring_view view(name);
  const int which = view.empty() ? 0 : view.back() - L'0';
  return PutBuiltInText(buffer, HostAddress(which));
}

// A_ScreenWidth and A_ScreenHeight, told apart by the letter after "Screen".
size_t ScreenSize(wchar_t* buffer, const wchar_t* name) {
  const std::wstring_view bare = BareName(name);
  const bool width = bare.size() > 6 && (bare[6] == L'W' || bare[6] == L'w');
  return PutInteger(buffer, GetSystemMetrics(width ? SM_CXSCREEN : SM_CYSCREEN));
}

size_t ScreenDPI(wchar_t* buffer, const wchar_t*) {
  if (!buffer) return kScreenDPIBound;
  return PutDecimal(buffer, Values().BuiltIns.ScreenDPI);
}

// The name of the mouse cursor now showing.
size_t Cursor(wchar_t* buffer, const wchar_t*) {
  if (!buffer) return kCursorBound;
  BuiltInVarCache& cache = Values().BuiltIns;
  if (!cache.CursorsLoaded) {
    for (size_t i = 0; i < sizeof(kCursorNames) / sizeof(kCursorNames[0]); ++i)
      cache.Cursors[i] = LoadCursorW(nullptr, kCursorNames[i].Id);
    cache.CursorsLoaded = true;
  }
  HCURSOR cursor = CurrentCursor();
  if (cursor)
    for (size_t i = 0; i < sizeof(kCursorNames) / sizeof(kCursorNames[0]); ++i)
      if (cache.Cursors[i] == cursor) return PutBuiltInText(buffer, kCursorNames[i].Name);
  return PutBuiltInText(buffer, L"Unknown");
}

// A_CaretX and A_CaretY, told apart by their last letter; "" without a caret.
size_t Caret(wchar_t* buffer, const wchar_t* name) {
  if (!buffer) return kNumberBound;
  POINT where;
  if (!CaretPosition(where)) return PutBuiltInText(buffer, L"");
  const std::wstring_view view(name);
  const bool isX = !view.empty() && (view.back() == L'X' || view.back() == L'x');
  return PutDecimal(buffer, isX ? where.x : where.y);
}

// The current directory; measured when sizing, since only this thread
// changes it.
size_t WorkingDir(wchar_t* buffer, const wchar_t*) {
  wchar_t dir[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, dir);
  return PutBuiltInText(buffer, std::wstring_view(dir, length < MAX_PATH ? length : 0));
}

size_t WinDir(wchar_t* buffer, const wchar_t*) {
  wchar_t dir[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(dir, MAX_PATH);
  return PutBuiltInText(buffer, std::wstring_view(dir, length < MAX_PATH ? length : 0));
}

size_t Temp(wchar_t* buffer, const wchar_t*) {
  wchar_t dir[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, dir);
  return PutBuiltInText(buffer, WithoutTrailingBackslash(std::wstring_view(dir, length <= MAX_PATH ? length : 0)));
}

// The command interpreter named by the environment.
size_t ComSpec(wchar_t* buffer, const wchar_t*) {
  const DWORD needed = GetEnvironmentVariableW(L"comspec", nullptr, 0);
  if (!needed || needed > kEnvValueChars) return PutBuiltInText(buffer, L"");
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"comspec", value.data(), needed);
  value.resize(length < needed ? length : 0);
  return PutBuiltInText(buffer, value);
}

// The standard folders; "" when the system does not know one.
size_t Folder(wchar_t* buffer, const wchar_t* name) {
  const std::wstring_view bare = BareName(name);
  for (const FolderName& folder : kFolders) {
    if (!EqualsNoCase(folder.Name, bare)) continue;
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, folder.Csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
      return PutBuiltInText(buffer, L"");
    const std::wstring_view text(path);
    return PutBuiltInText(buffer, folder.TrimBackslash ? WithoutTrailingBackslash(text) : text);
  }
  return PutBuiltInText(buffer, L"");
}

}  // namespace builtin
