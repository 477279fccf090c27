// WindowCriteria (see window_criteria.h): the qrv_ words, the title match
// modes and the test of one candidate, the process lookup behind qrv_exe.
#include "automation/window_criteria.h"

#include <psapi.h>

#include <array>

#include "automation/automation_state.h"
#include "automation/automation_support.h"
#include "automation/window_groups.h"
#include "objects/objects_state.h"

namespace {

// The prefix of every criterion word.
constexpr std::wstring_view kWordPrefix = L"qrv_";
// The longest window text read from one window or control.
constexpr int kMaxWindowTextChars = 32767;
// How long a Slow-mode text read may wait for another program.
constexpr UINT kTextTimeoutMs = 5000;
// The longest group name a qrv_group word takes.
constexpr size_t kMaxGroupNameChars = 253;
// Room for a process's executable path.
constexpr DWORD kMaxImageChars = 260;

// The criterion words after "qrv_", in the order they are tried.
enum class Keyword { Id, Pid, Group, Exe, Class, None };
struct KeywordRow {
  std::wstring_view Word;
  Keyword Kind;
};
constexpr KeywordRow kKeywords[] = {
    {L"id", Keyword::Id},   {L"pid", Keyword::Pid},     {L"group", Keyword::Group},
    {L"exe", Keyword::Exe}, {L"class", Keyword::Class},
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Skips spaces and tabs from `at`.
size_t SkipBlanks(std::wstring_view text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// The word at the start of `rest` (the text after "qrv_").
const KeywordRow* KeywordAt(std::wstring_view rest) {
  for (const KeywordRow& row : kKeywords)
    if (StartsWithNoCase(rest, row.Word)) return &row;
  return nullptr;
}

// A qrv_exe or qrv_class value: up to 1023 characters, cut before the next
// criterion word that starts the value or follows a blank (that one blank
// goes with it).
std::wstring CriterionValue(std::wstring_view text) {
  text = text.substr(0, kMaxCriterionChars);
  for (size_t at = FindNoCase(text, kWordPrefix); at != std::wstring_view::npos;
       at = FindNoCase(text, kWordPrefix, at + 1)) {
    if (at == 0) return {};
    if (IsBlank(text[at - 1])) return std::wstring(text.substr(0, at - 1));
  }
  return std::wstring(text);
}

// Asks the regular-expression engine; without one the match fails and the
// command that searched reports it.
bool RegExMatches(std::wstring_view subject, std::wstring_view pattern) {
  if (!Objects().RegEx.Matches) {
    Automation().RegExUnavailable = true;
    return false;
  }
  std::wstring error;
  return Objects().RegEx.Matches(subject, pattern, &error);
}

// A child window's text by the thread's Fast/Slow setting.
std::wstring ChildText(HWND child, bool fast) {
  std::wstring text(static_cast<size_t>(kMaxWindowTextChars) + 1, L'\0');
  if (fast) {
    const int got = GetWindowTextW(child, text.data(), kMaxWindowTextChars + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
  }
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutW(child, WM_GETTEXT, kMaxWindowTextChars + 1, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kTextTimeoutMs, &reply))
    return {};
  text.resize(reply < static_cast<DWORD_PTR>(kMaxWindowTextChars) ? static_cast<size_t>(reply)
                                                                  : static_cast<size_t>(kMaxWindowTextChars));
  return text;
}

// What the child-window visit of a WinText test needs.
struct TextSearch {
  const ThreadSettings* Settings;
  std::wstring_view WinText, ExcludeText;
  bool Qualified = false;
  bool Excluded = false;
};

// One child window of a WinText test: exclusion ends the visit at once.
BOOL CALLBACK VisitChildForText(HWND child, LPARAM param) {
  auto& search = *reinterpret_cast<TextSearch*>(param);
  if (!search.Settings->DetectHiddenText && !IsWindowVisible(child)) return TRUE;
  const std::wstring text = ChildText(child, search.Settings->TitleFindFast);
  const uint8_t mode = search.Settings->TitleMatchMode;
  if (!search.ExcludeText.empty() && ContainsText(mode, text, search.ExcludeText)) {
    search.Excluded = true;
    return FALSE;
  }
  if (!search.Qualified && (search.WinText.empty() || ContainsText(mode, text, search.WinText)))
    search.Qualified = true;
  return TRUE;
}

}  // namespace

bool MatchTitleText(uint8_t mode, std::wstring_view subject, std::wstring_view pattern) {
  switch (mode) {
    case MATCH_STARTS_WITH: return subject.substr(0, pattern.size()) == pattern;
    case MATCH_CONTAINS: return subject.find(pattern) != std::wstring_view::npos;
    case MATCH_REGEX: return RegExMatches(subject, pattern);
    default: return subject == pattern;
  }
}

bool ContainsText(uint8_t mode, std::wstring_view subject, std::wstring_view part) {
  return mode == MATCH_REGEX ? RegExMatches(subject, part) : subject.find(part) != std::wstring_view::npos;
}

std::wstring ProcessImage(DWORD pid, bool fullPath) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  wchar_t buffer[kMaxImageChars];
  DWORD length = fullPath ? GetModuleFileNameExW(process, nullptr, buffer, kMaxImageChars)
                          : GetModuleBaseNameW(process, nullptr, buffer, kMaxImageChars);
  if (!length) {
    // A process opened with limited rights still tells its image path.
    DWORD size = kMaxImageChars;
    if (QueryFullProcessImageNameW(process, 0, buffer, &size)) {
      length = size;
      if (!fullPath) {
        std::wstring_view path(buffer, length);
        const size_t slash = path.find_last_of(L'\\');
        CloseHandle(process);
        return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
      }
    }
  }
  CloseHandle(process);
  return std::wstring(buffer, length);
}

// Reads one criterion word at `at` (the position of "qrv_"); false when its
// value makes every match impossible. `accepted` tells whether it was a word.
bool WindowCriteria::ParseKeyword(std::wstring_view title, size_t& at, bool& accepted) {
  const std::wstring_view rest = title.substr(at + kWordPrefix.size());
  const KeywordRow* row = KeywordAt(rest);
  accepted = row != nullptr;
  if (!row) return true;
  const std::wstring_view value = rest.substr(row->Word.size());
  switch (row->Kind) {
    case Keyword::Id: {
      bits_ |= CRITERION_ID;
      uint64_t number = 0;
      static_cast<void>(ParseWholeNumber(value, number));
      id_ = reinterpret_cast<HWND>(static_cast<uintptr_t>(number));
      if (number != kBroadcastHandle && !IsWindow(id_)) return false;
      break;
    }
    case Keyword::Pid: {
      bits_ |= CRITERION_PID;
      uint64_t number = 0;
      static_cast<void>(ParseWholeNumber(value, number));
      pid_ = static_cast<DWORD>(number);
      break;
    }
    case Keyword::Group: {
      bits_ |= CRITERION_GROUP;
      const size_t start = SkipBlanks(value, 0);
      size_t end = start;
      while (end < value.size() && !IsBlank(value[end])) ++end;
      group_ = FindGroup(value.substr(start, end - start < kMaxGroupNameChars ? end - start : kMaxGroupNameChars));
      if (!group_) return false;
      break;
    }
    case Keyword::Exe:
      bits_ |= CRITERION_EXE;
      exe_ = CriterionValue(value.substr(SkipBlanks(value, 0)));
      exeIsName_ = exe_.find(L'\\') == std::wstring::npos && settings_.TitleMatchMode != MATCH_REGEX;
      break;
    case Keyword::Class:
      bits_ |= CRITERION_CLASS;
      class_ = CriterionValue(value.substr(SkipBlanks(value, 0)));
      break;
    case Keyword::None: break;
  }
  return true;
}

bool WindowCriteria::Set(const WindowStrings& strings) {
  bits_ = 0;
  winText_ = strings.Text;
  excludeTitle_ = strings.ExcludeTitle;
  excludeText_ = strings.ExcludeText;
  const std::wstring_view title = strings.Title;
  bool anyAccepted = false;
  for (size_t at = FindNoCase(title, kWordPrefix); at != std::wstring_view::npos;
       at = FindNoCase(title, kWordPrefix, at + 1)) {
    // A later word must stand apart from the text before it; the first may
    // be glued to its title.
    if (anyAccepted && !(at > 0 && IsBlank(title[at - 1]))) continue;
    bool accepted = false;
    if (!ParseKeyword(title, at, accepted)) return false;
    if (!accepted) continue;
    if (!anyAccepted && at > 0) {
      // The title is what precedes the first word, less its separating blank.
      const std::wstring_view before = title.substr(0, at);
      if (before.find_first_not_of(L" \t") != std::wstring_view::npos) {
        bits_ |= CRITERION_TITLE;
        title_ = std::wstring(before.substr(0, at - 1).substr(0, kMaxCriterionChars));
      }
    }
    anyAccepted = true;
  }
  if (!anyAccepted) {
    bits_ = CRITERION_TITLE;
    title_ = std::wstring(title.substr(0, kMaxCriterionChars));
  }
  return true;
}

void WindowCriteria::ReadCandidate(HWND window) {
  candidate_ = window;
  if ((bits_ & CRITERION_TITLE) || !excludeTitle_.empty()) {
    candidateTitle_.assign(static_cast<size_t>(kMaxWindowTextChars) + 1, L'\0');
    const int got = GetWindowTextW(window, candidateTitle_.data(), kMaxWindowTextChars + 1);
    candidateTitle_.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  if (bits_ & (CRITERION_PID | CRITERION_EXE)) {
    candidatePid_ = 0;
    GetWindowThreadProcessId(window, &candidatePid_);
  }
  if (bits_ & CRITERION_EXE) candidateExe_ = ProcessImage(candidatePid_, !exeIsName_);
  if (bits_ & CRITERION_CLASS) candidateClass_ = WindowClassName(window);
}

// The WinText/ExcludeText test over the candidate's child windows.
bool WindowCriteria::CandidatePassesText() const {
  if (winText_.empty() && excludeText_.empty()) return true;
  TextSearch search{&settings_, winText_, excludeText_};
  EnumChildWindows(candidate_, VisitChildForText, reinterpret_cast<LPARAM>(&search));
  return !search.Excluded && search.Qualified;
}

HWND WindowCriteria::IsMatch(bool testOnly) {
  if (!bits_ || !candidate_) return nullptr;
  const uint8_t mode = settings_.TitleMatchMode;
  if ((bits_ & CRITERION_TITLE) && !title_.empty() && !MatchTitleText(mode, candidateTitle_, title_)) return nullptr;
  if (bits_ & CRITERION_CLASS) {
    if (mode == MATCH_REGEX ? !RegExMatches(candidateClass_, class_) : candidateClass_ != class_) return nullptr;
  }
  if ((bits_ & CRITERION_PID) && candidatePid_ != pid_) return nullptr;
  if (bits_ & CRITERION_EXE) {
    if (mode == MATCH_REGEX ? !RegExMatches(candidateExe_, exe_) : !EqualsNoCase(candidateExe_, exe_)) return nullptr;
  }
  if ((bits_ & CRITERION_GROUP) && !MemberRule(*group_, candidate_)) return nullptr;
  if ((bits_ & CRITERION_ID) && candidate_ != id_) return nullptr;
  if (!excludeTitle_.empty() && MatchTitleText(mode, candidateTitle_, excludeTitle_)) return nullptr;
  if (!testOnly && Excluded) {
    for (HWND visited : *Excluded)
      if (visited == candidate_) return nullptr;
  }
  if (!CandidatePassesText()) return nullptr;
  if (!testOnly) {
    ++MatchCount;
    Found = candidate_;
    if (Matches) Matches->push_back(candidate_);
  }
  return candidate_;
}
