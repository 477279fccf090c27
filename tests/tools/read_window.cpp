// qrvwin.exe: looks at and drives a script's windows from outside, for the
// main-window tests.
//   qrvwin.exe text CLASS TITLE [CHILD_ID]   prints the window's (or child's) text as UTF-8
//   qrvwin.exe visible CLASS TITLE           exit 0 visible, 1 hidden
//   qrvwin.exe post CLASS TITLE MSG [WPARAM [LPARAM [CHILD_ID]]]   posts to the window or a child
//   qrvwin.exe send CLASS TITLE MSG [WPARAM [LPARAM]]   sends (5 s limit) and prints the result
//   qrvwin.exe exists CLASS                  exit 0 when a top-level window of the class exists
//   qrvwin.exe dialog CLASS TITLE            exit 0 when the window's process shows a dialog (#32770)
//   qrvwin.exe rect HWND                     prints the window's screen rectangle: LEFT TOP RIGHT BOTTOM
// A window that cannot be found gives exit code 2; bad arguments 3.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kNotFound = 2;
constexpr int kUsage = 3;
constexpr UINT kSendTimeoutMs = 5000;

// Writes text to standard output as UTF-8.
void PrintUtf8(const std::wstring& text) {
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

// A number argument (decimal or 0x hexadecimal), or 0 when absent.
ULONG_PTR Number(int argc, wchar_t** argv, int index) {
  return index < argc ? static_cast<ULONG_PTR>(wcstoull(argv[index], nullptr, 0)) : 0;
}

// The window's text through WM_GETTEXT, which reaches another process's controls.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

// Whether a process has a top-level dialog window.
bool ProcessHasDialog(DWORD process) {
  struct Search {
    DWORD Process;
    bool Found;
  } search = {process, false};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[32] = L"";
        GetClassNameW(window, name, 32);
        if (owner != s->Process || wcscmp(name, L"#32770") != 0) return TRUE;
        s->Found = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return kUsage;
  const std::wstring verb = argv[1];
  if (verb == L"exists") return FindWindowW(argv[2], nullptr) ? 0 : 1;
  if (verb == L"rect") {
    // Screen coordinates are the X display's, so xdotool can aim at a control.
    HWND target = reinterpret_cast<HWND>(Number(argc, argv, 2));
    RECT rect = {};
    if (!IsWindow(target) || !GetWindowRect(target, &rect)) return kNotFound;
    PrintUtf8(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " + std::to_wstring(rect.right) +
              L" " + std::to_wstring(rect.bottom) + L"\n");
    return 0;
  }
  if (argc < 4) return kUsage;
  HWND window = FindWindowW(argv[2], argv[3]);
  if (!window) return kNotFound;
  if (verb == L"text") {
    HWND target = argc > 4 ? GetDlgItem(window, static_cast<int>(Number(argc, argv, 4))) : window;
    if (!target) return kNotFound;
    PrintUtf8(TextOf(target));
    return 0;
  }
  if (verb == L"visible") return IsWindowVisible(window) ? 0 : 1;
  if (verb == L"dialog") {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return ProcessHasDialog(process) ? 0 : 1;
  }
  if (argc < 5) return kUsage;
  UINT message = static_cast<UINT>(Number(argc, argv, 4));
  WPARAM wParam = Number(argc, argv, 5);
  LPARAM lParam = static_cast<LPARAM>(Number(argc, argv, 6));
  if (verb == L"post") {
    HWND target = argc > 7 ? GetDlgItem(window, static_cast<int>(Number(argc, argv, 7))) : window;
    if (!target) return kNotFound;
    return PostMessageW(target, message, wParam, lParam) ? 0 : 1;
  }
  if (verb == L"send") {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return 1;
    PrintUtf8(std::to_wstring(result) + L"\n");
    return 0;
  }
  return kUsage;
}
