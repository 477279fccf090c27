// FileDelete (see file_delete.h): a plain name is one DeleteFileW with
// ErrorLevel 0 or 1; a pattern is the pattern operation, ErrorLevel the
// number of files that could not be deleted.
#include "system/file_delete.h"

#include <windows.h>

#include "system/file_common.h"

// FileDelete: one name or a pattern.
ResultCode CmdFileDelete(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring_view pattern = FileArg(args, 0);
  if (!pattern.empty() && !HasWildcards(pattern)) {
    const bool deleted = DeleteFileW(args[0]) != 0;
    return FinishFileCommand(!deleted, deleted ? 0 : GetLastError());
  }
  DWORD lastError = 0;
  const int64_t failures = ForEachMatch(
      pattern, MatchMode::FilesOnly, false,
      [](const std::wstring& path, const WIN32_FIND_DATAW&) { return DeleteFileW(path.c_str()) != 0; }, lastError);
  return FinishFileCount(failures, lastError);
}
