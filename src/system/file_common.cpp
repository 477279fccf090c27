// Shared pieces of the file commands (see file_common.h).
#include "system/file_common.h"

#include <cstdio>
#include <cwchar>

#include "exec/errors.h"
#include "exec/exec_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Attribute bits in the order their letters appear.
struct AttributeLetter {
  DWORD Bit;
  wchar_t Letter;
};
constexpr AttributeLetter kAttributeLetters[] = {
    {FILE_ATTRIBUTE_READONLY, L'R'}, {FILE_ATTRIBUTE_ARCHIVE, L'A'},    {FILE_ATTRIBUTE_SYSTEM, L'S'},
    {FILE_ATTRIBUTE_HIDDEN, L'H'},   {FILE_ATTRIBUTE_NORMAL, L'N'},     {FILE_ATTRIBUTE_DIRECTORY, L'D'},
    {FILE_ATTRIBUTE_OFFLINE, L'O'},  {FILE_ATTRIBUTE_COMPRESSED, L'C'}, {FILE_ATTRIBUTE_TEMPORARY, L'T'},
};

// The digits of a stamp field, or the fallback when the stamp ends earlier.
int StampField(std::wstring_view stamp, size_t offset, size_t width, int fallback, bool& valid) {
  if (offset >= stamp.size()) return fallback;
  if (offset + width > stamp.size()) {
    valid = false;
    return fallback;
  }
  int value = 0;
  for (size_t i = offset; i < offset + width; ++i) {
    if (stamp[i] < L'0' || stamp[i] > L'9') {
      valid = false;
      return fallback;
    }
    value = value * 10 + (stamp[i] - L'0');
  }
  return value;
}

// Whether a find record is "." or "..".
bool IsDotEntry(const wchar_t* name) { return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)); }

// One folder level of the pattern operation; recursion goes depth first.
int64_t MatchInFolder(const std::wstring& dir, const std::wstring& namePattern, MatchMode mode, bool recurse,
                      bool literal, const MatchAction& action, DWORD& lastError, MessageTurns& turns) {
  int64_t failures = 0;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = dir + namePattern;
  HANDLE find = pattern.size() < kMaxPathChars ? FindFirstFileW(pattern.c_str(), &found) : INVALID_HANDLE_VALUE;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      turns.Poll();
      if (IsDotEntry(found.cFileName)) continue;
      const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (!literal && ((folder && mode == MatchMode::FilesOnly) || (!folder && mode == MatchMode::FoldersOnly)))
        continue;
      const std::wstring path = dir + found.cFileName;
      if (path.size() >= kMaxPathChars) {
        ++failures;
        lastError = ERROR_BUFFER_OVERFLOW;
        continue;
      }
      if (!action(path, found)) {
        ++failures;
        lastError = GetLastError();
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  if (!recurse) return failures;
  const std::wstring all = dir + L"*.*";
  find = all.size() < kMaxPathChars ? FindFirstFileW(all.c_str(), &found) : INVALID_HANDLE_VALUE;
  if (find == INVALID_HANDLE_VALUE) return failures;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(found.cFileName)) continue;
    failures +=
        MatchInFolder(dir + found.cFileName + L"\\", namePattern, mode, recurse, literal, action, lastError, turns);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return failures;
}

}  // namespace

// Argument i as a view.
std::wstring_view FileArg(const CommandArgs& args, int i) {
  return i < args.Count && args.Text[i] ? std::wstring_view(args.Text[i], args.Length[i]) : std::wstring_view();
}

// A_LastError first: ReportOutcome may throw, and the handler reads it.
ResultCode FinishFileCommand(bool failed, DWORD lastError) {
  Values().CurrentThread->LastErrorCode = lastError;
  return ReportOutcome(failed);
}

// The count goes to ErrorLevel as it is; non-zero throws inside Try.
ResultCode FinishFileCount(int64_t failures, DWORD lastError) {
  Values().CurrentThread->LastErrorCode = lastError;
  return ReportOutcomeNumber(failures);
}

// Letters in table order.
std::wstring AttributeLetters(DWORD attributes) {
  std::wstring letters;
  for (const AttributeLetter& row : kAttributeLetters)
    if (attributes & row.Bit) letters += row.Letter;
  return letters;
}

// UTC to local, then the fixed-width fields.
std::wstring FileTimeToStamp(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return L"";
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d%02d%02d%02d%02d%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  return text;
}

// Fields YYYY MM DD HH24 MI SS; the local time is converted to UTC.
bool StampToFileTime(std::wstring_view stamp, FILETIME& utc) {
  if (stamp.empty()) {
    GetSystemTimeAsFileTime(&utc);
    return true;
  }
  bool valid = stamp.size() >= 4;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(StampField(stamp, 0, 4, 0, valid));
  st.wMonth = static_cast<WORD>(StampField(stamp, 4, 2, 1, valid));
  st.wDay = static_cast<WORD>(StampField(stamp, 6, 2, 1, valid));
  st.wHour = static_cast<WORD>(StampField(stamp, 8, 2, 0, valid));
  st.wMinute = static_cast<WORD>(StampField(stamp, 10, 2, 0, valid));
  st.wSecond = static_cast<WORD>(StampField(stamp, 12, 2, 0, valid));
  FILETIME local;
  return valid && SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc);
}

// The full path must fit the classic limit, as every caller passes it on.
bool FullPathOf(const wchar_t* name, std::wstring& full) {
  wchar_t buffer[kMaxPathChars];
  const DWORD length = GetFullPathNameW(name, kMaxPathChars, buffer, nullptr);
  if (length == 0 || length >= kMaxPathChars) {
    if (length >= kMaxPathChars) SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  full.assign(buffer, length);
  return true;
}

// "C:\" keeps its backslash: without it the name means the drive's current folder.
void TrimTrailingBackslash(std::wstring& path) {
  if (path.size() > 1 && path.back() == L'\\' && !(path.size() == 3 && path[1] == L':')) path.pop_back();
}

bool HasWildcards(std::wstring_view text) { return text.find_first_of(L"?*") != std::wstring_view::npos; }

bool IsExistingFolder(const wchar_t* name) {
  const DWORD attributes = GetFileAttributesW(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

MatchMode MatchModeOf(std::wstring_view text) {
  if (text == L"1") return MatchMode::FilesAndFolders;
  if (text == L"2") return MatchMode::FoldersOnly;
  return MatchMode::FilesOnly;
}

// Splits the pattern at its last "\" and walks the folders.
int64_t ForEachMatch(std::wstring_view pattern, MatchMode mode, bool recurse, const MatchAction& action,
                     DWORD& lastError) {
  lastError = 0;
  if (pattern.empty()) {
    lastError = ERROR_INVALID_PARAMETER;
    return 1;
  }
  if (pattern.size() >= kMaxPathChars) {
    lastError = ERROR_BUFFER_OVERFLOW;
    return 1;
  }
  const size_t slash = pattern.find_last_of(L'\\');
  const std::wstring dir(slash == std::wstring_view::npos ? std::wstring_view() : pattern.substr(0, slash + 1));
  const std::wstring name(slash == std::wstring_view::npos ? pattern : pattern.substr(slash + 1));
  MessageTurns turns;
  return MatchInFolder(dir, name, mode, recurse, !HasWildcards(name), action, lastError, turns);
}

MessageTurns::MessageTurns() : lastCheck_(GetTickCount()) {}

// Only when input is waiting, so a quiet script pays a tick count per item.
void MessageTurns::Poll() {
  const DWORD now = GetTickCount();
  const auto interval = static_cast<DWORD>(Values().CurrentThread->MessageCheckInterval);
  if (now - lastCheck_ <= interval) return;
  lastCheck_ = now;
  MSG msg;
  if (Exec().Hooks.CheckMessagesBetweenLines && PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
    Exec().Hooks.CheckMessagesBetweenLines();
}
