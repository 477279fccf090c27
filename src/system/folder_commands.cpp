// Folder commands (see folder_commands.h).
//
// Whole-tree copies, moves and deletions go through the shell's file
// operation with every prompt and error box turned off, so a script never
// stops on a dialog it cannot answer.
#include "system/folder_commands.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "exec/errors.h"
#include "system/file_common.h"
#include "values/numeric_text.h"

namespace {

// FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI.
constexpr FILEOP_FLAGS kQuietTreeFlags = 0x614;

// Creates a folder and its missing parents; false with the reason in
// GetLastError. An existing folder counts as created.
bool CreateFolderTree(const std::wstring& name) {
  if (name.size() >= kMaxPathChars) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  const size_t slash = name.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 0) {
    if (!CreateFolderTree(name.substr(0, slash)) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (slash + 1 == name.size()) return true;  // "a\b\": the parent was the whole name
  }
  return CreateDirectoryW(name.c_str(), nullptr) != 0;
}

// A shell file operation; the names get the double terminator it needs.
bool ShellTreeOperation(UINT operation, const std::wstring& from, const std::wstring& to, FILEOP_FLAGS flags) {
  std::wstring fromList = from + L'\0';
  std::wstring toList = to + L'\0';
  SHFILEOPSTRUCTW op{};
  op.wFunc = operation;
  op.pFrom = fromList.c_str();
  op.pTo = to.empty() ? nullptr : toList.c_str();
  op.fFlags = flags;
  return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

// The full path without a trailing backslash.
bool FullFolderPath(const wchar_t* name, std::wstring& full) {
  if (!*name || !FullPathOf(name, full)) return false;
  TrimTrailingBackslash(full);
  return true;
}

// Copies a folder's contents into dest, creating dest when missing.
bool CopyFolder(const std::wstring& source, const std::wstring& dest, bool overwrite) {
  if (!IsExistingFolder(source.c_str())) return false;
  if (IsExistingFolder(dest.c_str())) {
    if (!overwrite) return false;
  } else if (!CreateFolderTree(dest)) {
    return false;
  }
  return ShellTreeOperation(FO_COPY, source + L"\\*.*", dest, kQuietTreeFlags);
}

// Whether both full paths start with the same drive letter.
bool OnSameDrive(const std::wstring& a, const std::wstring& b) {
  return a.size() > 1 && b.size() > 1 && a[1] == L':' && b[1] == L':' && towupper(a[0]) == towupper(b[0]);
}

}  // namespace

// FileCreateDir: parents first; an existing folder is success with 183.
ResultCode CmdFileCreateDir(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring name(FileArg(args, 0));
  if (name.empty()) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return FinishFileCommand(!(attributes & FILE_ATTRIBUTE_DIRECTORY), ERROR_ALREADY_EXISTS);
  const bool created = CreateFolderTree(name);
  return FinishFileCommand(!created, GetLastError());
}

// FileRemoveDir: an empty folder, or the whole tree with Recurse = 1.
ResultCode CmdFileRemoveDir(ScriptLine& /*line*/, CommandArgs& args) {
  std::wstring full;
  if (!FullFolderPath(args[0], full) || !IsExistingFolder(full.c_str())) return FinishFileCommand(true, GetLastError());
  const bool removed = TextToInteger(args[1]) == 1 ? ShellTreeOperation(FO_DELETE, full, L"", kQuietTreeFlags)
                                                   : RemoveDirectoryW(full.c_str()) != 0;
  return FinishFileCommand(!removed, removed ? 0 : GetLastError());
}

// FileCopyDir: the source's contents into the (created) destination.
ResultCode CmdFileCopyDir(ScriptLine& /*line*/, CommandArgs& args) {
  std::wstring source, dest;
  const bool copied = FullFolderPath(args[0], source) && FullFolderPath(args[1], dest) &&
                      CopyFolder(source, dest, TextToInteger(args[2]) == 1);
  return FinishFileCommand(!copied, copied ? 0 : GetLastError());
}

// FileMoveDir: a rename ("R"), a move on one drive, or copy-then-remove.
ResultCode CmdFileMoveDir(ScriptLine& /*line*/, CommandArgs& args) {
  std::wstring source, dest;
  if (!FullFolderPath(args[0], source) || !FullFolderPath(args[1], dest))
    return FinishFileCommand(true, GetLastError());
  const wchar_t flag = static_cast<wchar_t>(towupper(*args[2]));
  if (flag == L'R') {
    const bool renamed = MoveFileW(source.c_str(), dest.c_str()) != 0;
    return FinishFileCommand(!renamed, renamed ? 0 : GetLastError());
  }
  if (!IsExistingFolder(source.c_str())) return FinishFileCommand(true, ERROR_PATH_NOT_FOUND);
  const DWORD destAttributes = GetFileAttributesW(dest.c_str());
  if (destAttributes != INVALID_FILE_ATTRIBUTES &&
      (!(destAttributes & FILE_ATTRIBUTE_DIRECTORY) || (flag != L'1' && flag != L'2')))
    return FinishFileCommand(true, ERROR_ALREADY_EXISTS);
  bool moved = false;
  if (!OnSameDrive(source, dest)) {
    // The source goes only once every file has arrived.
    moved = CopyFolder(source, dest, true) && ShellTreeOperation(FO_DELETE, source, L"", kQuietTreeFlags);
  } else {
    const FILEOP_FLAGS flags = kQuietTreeFlags | (flag == L'2' ? FOF_MULTIDESTFILES : 0);
    moved = ShellTreeOperation(FO_MOVE, source, dest, flags);
  }
  return FinishFileCommand(!moved, moved ? 0 : GetLastError());
}

// SetWorkingDir: ErrorLevel tells whether the folder could be entered.
ResultCode CmdSetWorkingDir(ScriptLine& /*line*/, CommandArgs& args) {
  return ReportOutcome(!SetCurrentDirectoryW(args[0]));
}
