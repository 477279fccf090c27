// The window searches (see window_search.h).
#include "automation/window_search.h"

#include "automation/automation_support.h"

namespace {

// The running search and where EnumWindows reports to.
struct TopLevelSearch {
  WindowCriteria* Criteria;
  bool DetectHidden;
};

// One top-level window of a search; stops at the first match unless the
// search wants the last one or every one.
BOOL CALLBACK VisitTopLevel(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<TopLevelSearch*>(param);
  if (!search.DetectHidden && !IsWindowVisible(window)) return TRUE;
  search.Criteria->ReadCandidate(window);
  if (!search.Criteria->IsMatch(false)) return TRUE;
  return search.Criteria->FindLast || search.Criteria->Matches ? TRUE : FALSE;
}

// Runs a prepared search over the top-level windows.
void EnumerateTopLevel(WindowCriteria& criteria) {
  TopLevelSearch search{&criteria, CurrentSettings().DetectHiddenWindows};
  EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
}

// The class of the script's own Gui windows, which stay findable as the
// last found window even while hidden.
constexpr wchar_t kScriptGuiClass[] = L"QuorivanceGUI";

// Whether a window is one of this script's own Gui windows.
bool IsOwnGuiWindow(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid == GetCurrentProcessId() && WindowClassName(window) == kScriptGuiClass;
}

// Where CollectTopLevel puts the windows it visits.
struct TopLevelList {
  std::vector<HWND>* Out;
  bool DetectHidden;
};

// Collects every top-level window the thread may see.
BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  auto& list = *reinterpret_cast<TopLevelList*>(param);
  if (list.DetectHidden || IsWindowVisible(window)) list.Out->push_back(window);
  return TRUE;
}

}  // namespace

bool WindowIsDetected(HWND window) { return CurrentSettings().DetectHiddenWindows || IsWindowVisible(window); }

HWND DetectedForegroundWindow() {
  HWND window = GetForegroundWindow();
  return window && WindowIsDetected(window) ? window : nullptr;
}

HWND LastFoundWindow() {
  HWND window = static_cast<HWND>(CurrentSettings().LastFoundWindow);
  if (!window || !IsWindow(window)) return nullptr;
  if (WindowIsDetected(window) || (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) || IsOwnGuiWindow(window))
    return window;
  return nullptr;
}

void SetLastFoundWindow(HWND window) { CurrentSettings().LastFoundWindow = window; }

HWND FindMatchingWindow(const WindowStrings& strings, bool findLast, bool updateLastFound,
                        const std::vector<HWND>* excluded) {
  HWND found = nullptr;
  if (strings.IsActiveTitle()) {
    found = DetectedForegroundWindow();
  } else if (strings.AllEmpty()) {
    return LastFoundWindow();
  } else {
    WindowCriteria criteria(CurrentSettings());
    if (!criteria.Set(strings)) return nullptr;
    criteria.FindLast = findLast;
    criteria.Excluded = excluded;
    if (criteria.Bits() & CRITERION_ID) {
      HWND id = criteria.Id();
      const bool broadcast = reinterpret_cast<uintptr_t>(id) == kBroadcastHandle;
      if (!broadcast && !WindowIsDetected(id) && !(GetWindowLongW(id, GWL_STYLE) & WS_CHILD)) return nullptr;
      criteria.ReadCandidate(id);
      found = criteria.IsMatch(false);
    } else {
      EnumerateTopLevel(criteria);
      found = criteria.Found;
    }
  }
  if (found && updateLastFound) SetLastFoundWindow(found);
  return found;
}

HWND FindActiveMatch(const WindowStrings& strings, bool updateLastFound) {
  HWND found = nullptr;
  HWND foreground = GetForegroundWindow();
  if (strings.IsActiveTitle()) {
    found = DetectedForegroundWindow();
  } else if (!foreground) {
    return nullptr;
  } else if (strings.AllEmpty()) {
    found = foreground == LastFoundWindow() ? foreground : nullptr;
  } else if (WindowIsDetected(foreground)) {
    WindowCriteria criteria(CurrentSettings());
    if (criteria.Set(strings)) {
      criteria.ReadCandidate(foreground);
      found = criteria.IsMatch(false);
    }
  }
  if (found && updateLastFound) SetLastFoundWindow(found);
  return found;
}

HWND ResolveTargetWindow(const WindowStrings& strings) {
  if (strings.IsActiveTitle()) return DetectedForegroundWindow();
  if (strings.AllEmpty()) return LastFoundWindow();
  return FindMatchingWindow(strings, false, false);
}

std::vector<HWND> FindAllMatchingWindows(const WindowStrings& strings) {
  std::vector<HWND> matches;
  if (strings.IsActiveTitle()) {
    if (HWND window = DetectedForegroundWindow()) matches.push_back(window);
    return matches;
  }
  WindowCriteria criteria(CurrentSettings());
  if (strings.AllEmpty()) {
    // Four empty strings count every window the thread may see.
    TopLevelList list{&matches, CurrentSettings().DetectHiddenWindows};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&list));
    return matches;
  }
  if (!criteria.Set(strings)) return matches;
  criteria.Matches = &matches;
  if (criteria.Bits() & CRITERION_ID) {
    HWND id = criteria.Id();
    if (!WindowIsDetected(id)) return matches;
    criteria.ReadCandidate(id);
    static_cast<void>(criteria.IsMatch(false));
    return matches;
  }
  EnumerateTopLevel(criteria);
  return matches;
}
