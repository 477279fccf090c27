// Window groups (see window_groups.h).
#include "automation/window_groups.h"

#include "automation/automation_support.h"
#include "automation/messages.h"
#include "automation/window_activate.h"
#include "automation/window_search.h"
#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/run_lines.h"
#include "script/script_lines.h"
#include "values/numeric_text.h"

namespace {

// Argument positions of GroupAdd.
enum : int { kArgGroupName = 0, kArgTitle = 1, kArgText = 2, kArgLabel = 3, kArgExcludeTitle = 4, kArgExcludeText = 5 };
// Argument positions of GroupActivate, GroupDeactivate and GroupClose.
enum : int { kArgName = 0, kArgMode = 1 };

// The longest group name.
constexpr size_t kMaxGroupName = 253;
// The title a rule without criteria excludes: the desktop.
constexpr wchar_t kDesktopTitle[] = L"Program Manager";
// How long GroupClose waits for the active member to go.
constexpr int kGroupCloseWaitMs = 500;
// The most title characters read to recognise the desktop.
constexpr int kDesktopTitleChars = 20;

// The rule's strings as a search sees them.
WindowStrings RuleStrings(const WindowGroupRule& rule) {
  return {rule.WinTitle, rule.WinText, rule.ExcludeTitle, rule.ExcludeText};
}

// Remembers a window as visited in the current cycle.
void AddVisited(HWND window) {
  std::vector<HWND>& visited = Automation().Visited;
  if (!window || visited.size() >= kMaxVisitedWindows) return;
  for (HWND seen : visited)
    if (seen == window) return;
  visited.push_back(window);
}

// Starts (or continues) a cycle of this group in the given mode.
void PrepareCycle(WindowGroup& group, bool activateMode) {
  group.IsModeActivate = activateMode;
  AutomationState& state = Automation();
  if (state.VisitedOwner != &group) {
    state.Visited.clear();
    state.VisitedOwner = &group;
  }
}

// Whether "R" (any case) was given.
bool IsMostRecentWord(std::wstring_view word) { return EqualsNoCase(word, L"R"); }

// Runs the group's label as a subroutine.
ResultCode RunGroupLabel(Label* label) {
  if (!label || !label->MarkedLine) return ResultCode::Ok;
  ScriptLine* jump = nullptr;
  ResultCode result = RunLines(label->MarkedLine, RunMode::UntilReturn, jump);
  return result == ResultCode::Returned ? ResultCode::Ok : result;
}

// WindowGroup::Activate: activates the next member; sets `jumpLabel` when
// no member could be activated.
void ActivateGroup(WindowGroup& group, bool mostRecent, const WindowGroupRule* startRule, Label*& jumpLabel) {
  jumpLabel = nullptr;
  if (group.Rules.empty()) return;
  PrepareCycle(group, true);
  std::vector<HWND>& visited = Automation().Visited;
  HWND active = GetForegroundWindow();
  const WindowGroupRule* activeRule = MemberRule(group, active);
  size_t start = 0;
  bool groupIsActive = false;
  if (startRule) {
    if (startRule == activeRule) {
      AddVisited(active);
      return;
    }
    start = static_cast<size_t>(startRule - group.Rules.data());
  } else if (activeRule) {
    AddVisited(active);
    start = static_cast<size_t>(activeRule - group.Rules.data());
    groupIsActive = true;
  } else {
    visited.clear();
  }
  const bool hadHistory = visited.size() > 1;
  const size_t count = group.Rules.size();
  const bool findLast = !mostRecent || groupIsActive;
  bool retry = false;
  for (size_t index = start;;) {
    HWND activated = ActivateMatchingWindow(RuleStrings(group.Rules[index]), findLast, &visited);
    if (activated) {
      AddVisited(activated);
      SleepWinDelay();
      return;
    }
    if (retry) return;
    index = (index + 1) % count;
    visited.clear();
    if (index == start) {
      // Back at the start: without history nothing is left to activate;
      // with it, the cycle begins again from the active window.
      if (!hadHistory) {
        jumpLabel = group.JumpToLabel;
        return;
      }
      AddVisited(active);
      retry = true;
    }
  }
}

// What the deactivate search looks for among the top-level windows.
struct DeactivateSearch {
  const WindowGroup* Group;
  bool FindLast;
  HWND Found = nullptr;
};

// Whether the window is the desktop window, by its title.
bool IsDesktopTitled(HWND window) {
  wchar_t title[kDesktopTitleChars] = {};
  GetWindowTextW(window, title, kDesktopTitleChars);
  return EqualsNoCase(title, kDesktopTitle);
}

// One candidate for GroupDeactivate: a visible, not-topmost non-member not
// yet visited.
BOOL CALLBACK VisitForDeactivate(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<DeactivateSearch*>(param);
  if (!IsWindowVisible(window) || (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) return TRUE;
  if (IsDesktopTitled(window) || MemberRule(*search.Group, window)) return TRUE;
  for (HWND seen : Automation().Visited)
    if (seen == window) return TRUE;
  search.Found = window;
  return search.FindLast ? TRUE : FALSE;
}

// Where the owned-window search reports.
struct OwnedSearch {
  HWND Owner;
  HWND Found = nullptr;
};

// The first visible window the owner owns.
BOOL CALLBACK VisitForOwned(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<OwnedSearch*>(param);
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != search.Owner) return TRUE;
  search.Found = window;
  return FALSE;
}

// WindowGroup::Deactivate: activates the next window that is not a member.
void DeactivateGroup(WindowGroup& group, bool mostRecent) {
  if (group.Rules.empty()) return;
  PrepareCycle(group, false);
  std::vector<HWND>& visited = Automation().Visited;
  if (MemberRule(group, GetForegroundWindow())) visited.clear();
  DeactivateSearch search{&group, !mostRecent || !visited.empty()};
  EnumWindows(VisitForDeactivate, reinterpret_cast<LPARAM>(&search));
  if (search.Found) {
    OwnedSearch owned{search.Found};
    EnumWindows(VisitForOwned, reinterpret_cast<LPARAM>(&owned));
    HWND chosen = search.Found;
    if (owned.Found) {
      AddVisited(search.Found);
      chosen = owned.Found;
    }
    ForceForeground(chosen);
    AddVisited(chosen);
    SleepWinDelay();
    return;
  }
  if (visited.empty()) return;
  const bool hadHistory = visited.size() > 1;
  visited.clear();
  if (hadHistory) {
    AddVisited(GetForegroundWindow());
    DeactivateGroup(group, false);
  }
}

// WindowGroup::Close: closes the active member, then moves on in the cycle.
void CloseGroupMember(WindowGroup& group, bool mostRecent, Label*& jumpLabel) {
  jumpLabel = nullptr;
  if (group.Rules.empty()) return;
  HWND active = GetForegroundWindow();
  const WindowGroupRule* activeRule = MemberRule(group, active);
  if (group.IsModeActivate && !activeRule) {
    ActivateGroup(group, mostRecent, nullptr, jumpLabel);
    return;
  }
  if (!group.IsModeActivate && activeRule) {
    DeactivateGroup(group, mostRecent);
    return;
  }
  PostMessageW(active, WM_CLOSE, 0, 0);
  WaitForWindowToClose(active, kGroupCloseWaitMs);
  SleepWinDelay();
  if (group.IsModeActivate)
    ActivateGroup(group, mostRecent, activeRule, jumpLabel);
  else
    DeactivateGroup(group, mostRecent);
}

// What ActOnAll visits and does.
struct ActOnAllSearch {
  const WindowGroup* Group;
  ActionType Action;
  int WaitMs;
  bool DetectHidden;
  bool AnyMatched = false;
};

// Applies the action to one top-level window that is a member.
BOOL CALLBACK VisitForActOnAll(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<ActOnAllSearch*>(param);
  if (!search.DetectHidden && !IsWindowVisible(window)) return TRUE;
  if (!MemberRule(*search.Group, window)) return TRUE;
  search.AnyMatched = true;
  switch (search.Action) {
    case ACT_WINMINIMIZE: ShowWindow(window, WindowIsHung(window) ? SW_FORCEMINIMIZE : SW_MINIMIZE); break;
    case ACT_WINMAXIMIZE:
      if (!WindowIsHung(window)) ShowWindow(window, SW_MAXIMIZE);
      break;
    case ACT_WINRESTORE:
      if (!WindowIsHung(window)) ShowWindow(window, SW_RESTORE);
      break;
    case ACT_WINHIDE: ShowWindow(window, SW_HIDE); break;
    case ACT_WINSHOW: ShowWindow(window, SW_SHOW); break;
    case ACT_WINCLOSE:
    case ACT_WINKILL: CloseWindow(window, search.WaitMs, search.Action == ACT_WINKILL); break;
    default: break;
  }
  return TRUE;
}

// The group a group command names; null (nothing to do) for a blank or
// unknown name.
WindowGroup* GroupOfArg(const CommandArgs& args) { return FindGroup(ArgView(args, kArgName)); }

}  // namespace

WindowGroup* FindGroup(std::wstring_view name) {
  if (name.empty()) return nullptr;
  for (const auto& group : Automation().Groups)
    if (EqualsNoCase(group->Name, name)) return group.get();
  return nullptr;
}

const WindowGroupRule* MemberRule(const WindowGroup& group, HWND window) {
  if (!window) return nullptr;
  for (const WindowGroupRule& rule : group.Rules) {
    WindowCriteria criteria(CurrentSettings());
    if (!criteria.Set(RuleStrings(rule))) continue;
    criteria.ReadCandidate(window);
    if (criteria.IsMatch(true)) return &rule;
  }
  return nullptr;
}

void ActOnAll(const WindowGroup& group, ActionType action, int waitMs) {
  ActOnAllSearch search{&group, action, waitMs, CurrentSettings().DetectHiddenWindows || action == ACT_WINSHOW};
  EnumWindows(VisitForActOnAll, reinterpret_cast<LPARAM>(&search));
  if (search.AnyMatched) SleepWinDelay();
}

WindowGroup* GroupOfTitle(std::wstring_view title) {
  constexpr std::wstring_view kGroupWord = L"qrv_group";
  if (!StartsWithNoCase(title, kGroupWord)) return nullptr;
  std::wstring_view name = title.substr(kGroupWord.size());
  while (!name.empty() && (name.front() == L' ' || name.front() == L'\t')) name.remove_prefix(1);
  return FindGroup(name);
}

// GroupAdd: creates the group when new and adds a rule unless it is there.
ResultCode CmdGroupAdd(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view name = ArgView(args, kArgGroupName);
  if (name.empty()) return ReportLineError(&line, automation_msg::BlankGroupName);
  WindowGroup* group = FindGroup(name);
  if (!group) {
    if (name.size() > kMaxGroupName)
      return ReportLineError(&line, automation_msg::GroupNameTooLong, ERROR_KIND_ERROR, name);
    if (!IsValidVariableName(name))
      return ReportLineError(&line, automation_msg::IllegalGroupName, ERROR_KIND_ERROR, name);
    auto created = std::make_unique<WindowGroup>();
    created->Name = std::wstring(name);
    group = created.get();
    Automation().Groups.push_back(std::move(created));
  }
  const std::wstring_view labelName = ArgView(args, kArgLabel);
  if (!labelName.empty()) {
    Label* label = FindLabel(labelName);
    if (!label) return ReportLineError(&line, automation_msg::NoSuchLabel, ERROR_KIND_ERROR, labelName);
    group->JumpToLabel = label;
  }
  WindowGroupRule rule{std::wstring(ArgView(args, kArgTitle)), std::wstring(ArgView(args, kArgText)),
                       std::wstring(ArgView(args, kArgExcludeTitle)), std::wstring(ArgView(args, kArgExcludeText))};
  if (rule.WinTitle.empty() && rule.WinText.empty() && rule.ExcludeTitle.empty() && rule.ExcludeText.empty())
    rule.ExcludeTitle = kDesktopTitle;
  for (const WindowGroupRule& existing : group->Rules)
    if (existing.WinTitle == rule.WinTitle && existing.WinText == rule.WinText &&
        existing.ExcludeTitle == rule.ExcludeTitle && existing.ExcludeText == rule.ExcludeText)
      return ResultCode::Ok;
  group->Rules.push_back(std::move(rule));
  return ResultCode::Ok;
}

// GroupActivate: the next member, or the group's label when none is left.
ResultCode CmdGroupActivate(ScriptLine& /*line*/, CommandArgs& args) {
  WindowGroup* group = GroupOfArg(args);
  if (!group) return ResultCode::Ok;
  Label* jumpLabel = nullptr;
  ActivateGroup(*group, IsMostRecentWord(ArgView(args, kArgMode)), nullptr, jumpLabel);
  return RunGroupLabel(jumpLabel);
}

// GroupDeactivate: the next window that is not a member.
ResultCode CmdGroupDeactivate(ScriptLine& /*line*/, CommandArgs& args) {
  if (WindowGroup* group = GroupOfArg(args)) DeactivateGroup(*group, IsMostRecentWord(ArgView(args, kArgMode)));
  return ResultCode::Ok;
}

// GroupClose: "A" closes every member; otherwise the active one.
ResultCode CmdGroupClose(ScriptLine& /*line*/, CommandArgs& args) {
  WindowGroup* group = GroupOfArg(args);
  if (!group) return ResultCode::Ok;
  const std::wstring_view mode = ArgView(args, kArgMode);
  if (EqualsNoCase(mode, L"A")) {
    ActOnAll(*group, ACT_WINCLOSE, 0);
    return ResultCode::Ok;
  }
  Label* jumpLabel = nullptr;
  CloseGroupMember(*group, IsMostRecentWord(mode), jumpLabel);
  return RunGroupLabel(jumpLabel);
}
