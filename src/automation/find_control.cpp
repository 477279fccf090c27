// FindControl and ReadWindowText (see find_control.h).
#include "automation/find_control.h"

#include <cwchar>

#include "automation/automation_support.h"
#include "automation/window_criteria.h"

namespace {

// How long a text message to another program may wait.
constexpr UINT kTextTimeoutMs = 5000;
// The longest control name and control text compared.
constexpr size_t kMaxControlNameChars = 1023;
constexpr int kMaxControlTextChars = 32767;

// The ClassNN pass: counts descendants whose class begins the name.
struct ClassNNSearch {
  std::wstring_view Name;
  unsigned Counter = 0;
  HWND Found = nullptr;
};

BOOL CALLBACK VisitForClassNN(HWND child, LPARAM param) {
  auto& search = *reinterpret_cast<ClassNNSearch*>(param);
  const std::wstring className = WindowClassName(child);
  if (className.empty() || !StartsWithNoCase(search.Name, className)) return TRUE;
  ++search.Counter;
  wchar_t number[16];
  swprintf(number, 16, L"%u", search.Counter);
  if (!EqualsNoCase(search.Name.substr(className.size()), number)) return TRUE;
  search.Found = child;
  return FALSE;
}

// The text pass: the first descendant whose text matches by the thread's
// title match mode.
struct TextSearch {
  std::wstring_view Text;
  uint8_t Mode;
  HWND Found = nullptr;
};

BOOL CALLBACK VisitForText(HWND child, LPARAM param) {
  auto& search = *reinterpret_cast<TextSearch*>(param);
  std::wstring text(static_cast<size_t>(kMaxControlTextChars) + 1, L'\0');
  const int got = GetWindowTextW(child, text.data(), kMaxControlTextChars + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (!MatchTitleText(search.Mode, text, search.Text)) return TRUE;
  search.Found = child;
  return FALSE;
}

}  // namespace

HWND FindControl(HWND window, std::wstring_view control) {
  if (!window) return nullptr;
  if (control.empty()) {
    if (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) return window;
    HWND deepest = window;
    for (HWND child = GetTopWindow(window); child; child = GetTopWindow(child)) deepest = child;
    return deepest;
  }
  control = control.substr(0, kMaxControlNameChars);
  if (iswdigit(control.back())) {
    ClassNNSearch search{control};
    EnumChildWindows(window, VisitForClassNN, reinterpret_cast<LPARAM>(&search));
    if (search.Found) return search.Found;
  }
  TextSearch search{control, CurrentSettings().TitleMatchMode};
  EnumChildWindows(window, VisitForText, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

size_t ReadWindowTextLength(HWND window) {
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &reply)) return 0;
  return static_cast<size_t>(reply);
}

std::wstring ReadWindowText(HWND window) {
  const size_t length = ReadWindowTextLength(window);
  if (!length) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           kTextTimeoutMs, &reply))
    return {};
  size_t got = reply < length ? static_cast<size_t>(reply) : length;
  // A window that answers a longer length than it fills ends at its terminator.
  const size_t terminator = std::wstring_view(text.data(), got).find(L'\0');
  if (terminator != std::wstring_view::npos) got = terminator;
  text.resize(got);
  return text;
}

HWND TopLevelAncestor(HWND window) {
  while (window && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) {
    HWND parent = GetParent(window);
    if (!parent) break;
    window = parent;
  }
  return window;
}
