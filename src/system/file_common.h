// Pieces every file command shares: the outcome (A_LastError, then
// ErrorLevel or an exception inside Try), attribute letters, time stamps,
// full paths, the pattern operation behind FileDelete/FileSetAttrib/
// FileSetTime, and the turn the message loop gets during long operations.
//
// Invariant: a command calls exactly one Finish* on every path, so
// A_LastError and ErrorLevel are set once per command.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "exec/command_args.h"

// Longest path the classic (non-"\\?\") file functions accept, terminator included.
inline constexpr size_t kMaxPathChars = MAX_PATH;

// Argument i as a view, embedded zeros included.
std::wstring_view FileArg(const CommandArgs& args, int i);

// Records A_LastError, then reports success or failure through ErrorLevel.
ResultCode FinishFileCommand(bool failed, DWORD lastError);
// Records A_LastError, then reports a count of failures through ErrorLevel.
ResultCode FinishFileCount(int64_t failures, DWORD lastError);

// The attribute letters (R A S H N D O C T) of the set bits.
std::wstring AttributeLetters(DWORD attributes);

// A file time as a local YYYYMMDDHH24MISS stamp; "" when it cannot be converted.
std::wstring FileTimeToStamp(const FILETIME& utc);
// A stamp (missing trailing parts take their lowest value; "" = now) as a
// UTC file time; false when it is not a valid date and time.
bool StampToFileTime(std::wstring_view stamp, FILETIME& utc);

// GetFullPathNameW within kMaxPathChars; false when the result does not fit.
bool FullPathOf(const wchar_t* name, std::wstring& full);
// Removes one trailing backslash unless the path is a drive root ("C:\").
void TrimTrailingBackslash(std::wstring& path);
// Whether the text has "?" or "*".
bool HasWildcards(std::wstring_view text);
// Whether the name is an existing folder.
bool IsExistingFolder(const wchar_t* name);

// What a pattern operation acts on.
enum class MatchMode { FilesOnly = 0, FilesAndFolders = 1, FoldersOnly = 2 };
// The mode from an OperateOnFolders argument: 1 both, 2 folders, else files.
MatchMode MatchModeOf(std::wstring_view text);

// The action of a pattern operation: true when it succeeded; on failure it
// leaves the reason in GetLastError.
using MatchAction = std::function<bool(const std::wstring& path, const WIN32_FIND_DATAW& found)>;
// Applies the action to every match (recursing into subfolders when asked);
// returns the number of failures and leaves the last failure's code in
// lastError. A pattern without wildcards acts on the named item whatever it is.
int64_t ForEachMatch(std::wstring_view pattern, MatchMode mode, bool recurse, const MatchAction& action,
                     DWORD& lastError);

// Gives the message loop a turn once the thread's message-check interval
// has passed, so hotkeys and windows stay responsive during long file work.
class MessageTurns {
 public:
  MessageTurns();
  void Poll();

 private:
  DWORD lastCheck_;
};
