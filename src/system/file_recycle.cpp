// The recycle bin (see file_recycle.h). Both commands are silent: no
// confirmation, progress or error window appears.
#include "system/file_recycle.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "system/file_common.h"

namespace {

// Silent, no confirmation, to the bin, and a warning when a file is too big for the bin.
constexpr FILEOP_FLAGS kRecycleFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;

// Whether anything matches the pattern; when nothing does, the search's
// error is left in GetLastError.
bool AnythingMatches(const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

}  // namespace

// The full path (wildcards allowed) goes to the shell's delete with undo.
// Nothing to recycle is a plain failure: the shell would otherwise answer
// a missing file with an error window, which a silent command must not show.
ResultCode CmdFileRecycle(ScriptLine& /*line*/, CommandArgs& args) {
  std::wstring full;
  if (!*args[0]) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  if (!FullPathOf(args[0], full)) return FinishFileCommand(true, GetLastError());
  TrimTrailingBackslash(full);
  if (!AnythingMatches(full)) return FinishFileCommand(true, GetLastError());
  full += L'\0';  // the list ends with two zeros; c_str() gives the second
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = full.c_str();
  operation.fFlags = kRecycleFlags;
  const int code = SHFileOperationW(&operation);
  const bool failed = code != 0 || operation.fAnyOperationsAborted;
  return FinishFileCommand(failed, failed ? static_cast<DWORD>(code) : 0);
}

// A drive letter names that drive's bin; without one every bin is emptied.
ResultCode CmdFileRecycleEmpty(ScriptLine& /*line*/, CommandArgs& args) {
  std::wstring root;
  if (*args[0]) {
    root.assign(1, args[0][0]);
    root += L":\\";
  }
  const HRESULT result = SHEmptyRecycleBinW(nullptr, root.empty() ? nullptr : root.c_str(),
                                            SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
  return FinishFileCommand(FAILED(result), FAILED(result) ? static_cast<DWORD>(result) : 0);
}
