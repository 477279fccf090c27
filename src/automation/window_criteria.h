// WindowCriteria: the four criteria strings of a window command turned into
// one search, and the test of one candidate window against it.
//
// WinTitle may hold the words qrv_class, qrv_id, qrv_pid, qrv_exe and
// qrv_group after an optional title; each value runs to the next word.
// Invariants: Set must succeed before IsMatch is used; only the attributes
// a set criterion needs are read from a candidate; text comparisons are
// case-sensitive except the executable name.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "values/thread_settings.h"

struct WindowGroup;

// Criteria bits: what a search must match.
enum CriterionBit : uint32_t {
  CRITERION_TITLE = 0x01,
  CRITERION_ID = 0x02,
  CRITERION_PID = 0x04,
  CRITERION_CLASS = 0x08,
  CRITERION_GROUP = 0x10,
  CRITERION_EXE = 0x20,
};

// Title match modes of SetTitleMatchMode.
enum TitleMatchMode : uint8_t {
  MATCH_STARTS_WITH = 1,
  MATCH_CONTAINS = 2,
  MATCH_EXACT = 3,
  MATCH_REGEX = 4,
};

// The longest title, class or executable text a criterion keeps.
inline constexpr size_t kMaxCriterionChars = 1023;
// The handle that stands for every top-level window (broadcast).
inline constexpr uintptr_t kBroadcastHandle = 0xFFFF;

// The four strings by which commands name their window.
struct WindowStrings {
  std::wstring_view Title, Text, ExcludeTitle, ExcludeText;
  // Whether all four are empty (the last found window).
  bool AllEmpty() const { return Title.empty() && Text.empty() && ExcludeTitle.empty() && ExcludeText.empty(); }
  // Whether the title alone is "A" (the foreground window).
  bool IsActiveTitle() const {
    return Title.size() == 1 && (Title[0] == L'A' || Title[0] == L'a') && Text.empty() && ExcludeTitle.empty() &&
           ExcludeText.empty();
  }
};

// Whether `subject` matches `pattern` by a title match mode (case-sensitive).
// A RegEx match without an installed engine is no match and is recorded for
// the command to report.
bool MatchTitleText(uint8_t mode, std::wstring_view subject, std::wstring_view pattern);
// The WinText test: contains, or a regular expression in mode 4.
bool ContainsText(uint8_t mode, std::wstring_view subject, std::wstring_view part);

// The executable of a process: its base name, or its full path; "" when
// the process cannot be read.
std::wstring ProcessImage(DWORD pid, bool fullPath);

class WindowCriteria {
 public:
  explicit WindowCriteria(const ThreadSettings& settings) : settings_(settings) {}

  // Parses the strings; false when no window can match (a qrv_id that is
  // not a window, a qrv_group naming no group).
  bool Set(const WindowStrings& strings);
  // Makes `window` the candidate and reads what the criteria need of it.
  void ReadCandidate(HWND window);
  // The candidate when it passes every criterion, else null. Unless
  // testOnly, it must also not be excluded, and a match is counted and
  // recorded in Found (and Matches when collecting).
  HWND IsMatch(bool testOnly);

  uint32_t Bits() const { return bits_; }
  HWND Id() const { return id_; }

  // Search options the caller sets before enumerating.
  bool FindLast = false;
  const std::vector<HWND>* Excluded = nullptr;
  std::vector<HWND>* Matches = nullptr;  // every match in Z-order, when collecting

  // Results.
  HWND Found = nullptr;
  int MatchCount = 0;

 private:
  bool CandidatePassesText() const;
  bool ParseKeyword(std::wstring_view title, size_t& at, bool& accepted);

  const ThreadSettings& settings_;
  uint32_t bits_ = 0;
  std::wstring title_, class_, exe_;
  bool exeIsName_ = true;
  HWND id_ = nullptr;
  DWORD pid_ = 0;
  const WindowGroup* group_ = nullptr;
  std::wstring_view winText_, excludeTitle_, excludeText_;

  HWND candidate_ = nullptr;
  std::wstring candidateTitle_, candidateClass_, candidateExe_;
  DWORD candidatePid_ = 0;
};
