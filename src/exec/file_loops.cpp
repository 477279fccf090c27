// The file loop (see file_loops.h).
//
// Each folder level lists its own matches first, then, with recursion,
// descends into every subfolder depth first; A_Index runs across the whole
// walk. The current record lives on this level's stack frame and is
// published through the thread record only while the body runs.
#include "exec/file_loops.h"

#include <cwctype>
#include <string_view>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/command_args.h"
#include "exec/loop_iteration.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Longest pattern the loop takes; longer ones are cut.
constexpr size_t kMaxPatternChars = 259;
// A matched path must stay below this many characters.
constexpr size_t kMaxPathChars = 260;
// Recursion needs room for the subfolder names below the directory part.
constexpr size_t kMaxRecurseDirChars = 256;
constexpr size_t kMaxSubPatternChars = 258;

// Which items the loop visits.
enum LoopFileMode : int { kFilesOnly = 1, kFoldersOnly = 2, kFilesAndFolders = 3 };

struct FileLoopSetup {
  int Mode = kFilesOnly;
  bool Recurse = false;
};

// The walk's shared state.
struct FileLoopWalk {
  ScriptLine& LoopLine;
  ScriptLine* UntilLine;
  ScriptLine*& JumpToLine;
  FileLoopSetup Setup;
  ResultCode Result = ResultCode::Ok;
};

inline constexpr wchar_t kParam2Invalid[] = L"Parameter #2 invalid.";
inline constexpr wchar_t kParam3Invalid[] = L"Parameter #3 invalid.";

// Mode letters: F (or V) files, D (or K) folders, R recursion, blanks
// ignored; neither F nor D means files. False on any other character, so a
// mistyped mode is reported rather than silently read as "files".
bool SetupFromLetters(std::wstring_view letters, FileLoopSetup& setup) {
  bool files = false, folders = false;
  for (const wchar_t c : letters) {
    switch (std::towupper(c)) {
      case L'F':
      case L'V': files = true; break;
      case L'D':
      case L'K': folders = true; break;
      case L'R': setup.Recurse = true; break;
      case L' ':
      case L'\t': break;
      default: return false;
    }
  }
  setup.Mode = folders ? (files ? kFilesAndFolders : kFoldersOnly) : kFilesOnly;
  return true;
}

// The legacy arguments: include-folders 0 (or empty), 1 or 2, and recurse 0/1.
bool SetupFromLegacy(std::wstring_view includeFolders, std::wstring_view recurse, FileLoopSetup& setup) {
  if (includeFolders.empty() || includeFolders == L"0")
    setup.Mode = kFilesOnly;
  else if (includeFolders == L"1")
    setup.Mode = kFilesAndFolders;
  else if (includeFolders == L"2")
    setup.Mode = kFoldersOnly;
  else
    return false;
  setup.Recurse = recurse == L"1";
  return true;
}

// Whether a find record is "." or "..".
bool IsDotEntry(const wchar_t* name) { return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)); }

// Whether the mode takes this item.
bool ModeTakes(int mode, const WIN32_FIND_DATAW& found) {
  const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return folder ? (mode & kFoldersOnly) != 0 : (mode & kFilesOnly) != 0;
}

// One folder level; false when the loop must end (Break, a jump, an error).
bool WalkFolder(FileLoopWalk& walk, const std::wstring& dir, const std::wstring& namePattern) {
  LoopFileRecord record;
  const std::wstring pattern = dir + namePattern;
  HANDLE find = FindFirstFileW(pattern.c_str(), &record.Found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (IsDotEntry(record.Found.cFileName) || !ModeTakes(walk.Setup.Mode, record.Found)) continue;
      record.Path = dir + record.Found.cFileName;
      if (record.Path.size() >= kMaxPathChars) continue;
      Values().CurrentThread->LoopFile = &record;
      if (RunIteration(walk.LoopLine, walk.UntilLine, walk.Result, walk.JumpToLine) == Iteration::Stop) {
        FindClose(find);
        return false;
      }
    } while (FindNextFileW(find, &record.Found));
    FindClose(find);
  }
  if (!walk.Setup.Recurse || dir.size() > kMaxRecurseDirChars) return true;
  WIN32_FIND_DATAW sub;
  find = FindFirstFileW((dir + L"*.*").c_str(), &sub);
  if (find == INVALID_HANDLE_VALUE) return true;
  bool go_on = true;
  do {
    if (!(sub.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(sub.cFileName)) continue;
    const std::wstring subDir = dir + sub.cFileName + L"\\";
    if (subDir.size() + namePattern.size() > kMaxSubPatternChars) continue;
    go_on = WalkFolder(walk, subDir, namePattern);
  } while (go_on && FindNextFileW(find, &sub));
  FindClose(find);
  return go_on;
}

// Restores the enclosing loop's file when this loop ends.
class LoopFileGuard {
 public:
  LoopFileGuard() : saved_(Values().CurrentThread->LoopFile) {}
  ~LoopFileGuard() { Values().CurrentThread->LoopFile = saved_; }
  LoopFileGuard(const LoopFileGuard&) = delete;
  LoopFileGuard& operator=(const LoopFileGuard&) = delete;

 private:
  const LoopFileRecord* saved_;
};

}  // namespace

// Splits the pattern at its last "\" and walks from there.
ResultCode RunFileLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, bool legacy,
                       ScriptLine*& jumpToLine) {
  const int patternArg = legacy ? 0 : 1;
  FileLoopSetup setup;
  if (legacy ? !SetupFromLegacy(args[1], args[2], setup) : !SetupFromLetters(args[2], setup))
    return ReportLineError(&loopLine, legacy ? kParam2Invalid : kParam3Invalid, ERROR_KIND_ERROR,
                           legacy ? args[1] : args[2]);
  std::wstring_view pattern(args[patternArg], args.Count > patternArg ? args.Length[patternArg] : 0);
  if (pattern.empty()) return ResultCode::Ok;
  if (pattern.size() > kMaxPatternChars) pattern = pattern.substr(0, kMaxPatternChars);
  FileLoopWalk walk{loopLine, untilLine, jumpToLine, setup};
  const size_t slash = pattern.find_last_of(L'\\');
  const std::wstring dir(slash == std::wstring_view::npos ? std::wstring_view() : pattern.substr(0, slash + 1));
  const std::wstring name(slash == std::wstring_view::npos ? pattern : pattern.substr(slash + 1));
  LoopFileGuard guard;
  WalkFolder(walk, dir, name);
  return walk.Result;
}
