// FileCopy and FileMove (see file_copy_move.h).
//
// Both walk the source matches in one folder (no recursion) and build each
// destination name from the destination pattern, where a "*" in the name
// or extension part takes the source's own name or extension.
#include "system/file_copy_move.h"

#include <windows.h>

#include <string>

#include "system/file_common.h"
#include "values/numeric_text.h"

namespace {

enum : int { kArgSource = 0, kArgDest = 1, kArgOverwrite = 2 };

// What happens to each matching file.
using TransferFunction = bool (*)(const wchar_t* source, const wchar_t* dest, bool overwrite);

// Copying refuses an existing destination unless overwriting.
bool CopyOne(const wchar_t* source, const wchar_t* dest, bool overwrite) {
  return CopyFileW(source, dest, !overwrite) != 0;
}

// Replacing in one step: deleting the destination first would lose it
// whenever the move that follows fails (a locked or read-only source).
bool MoveOne(const wchar_t* source, const wchar_t* dest, bool overwrite) {
  const DWORD flags = MOVEFILE_COPY_ALLOWED | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExW(source, dest, flags) != 0;
}

// Splits a file name into the part before its last "." and the part after.
void SplitNameExt(std::wstring_view name, std::wstring_view& base, std::wstring_view& ext, bool& hasDot) {
  const size_t dot = name.find_last_of(L'.');
  hasDot = dot != std::wstring_view::npos;
  base = hasDot ? name.substr(0, dot) : name;
  ext = hasDot ? name.substr(dot + 1) : std::wstring_view();
}

// The destination for one source name: a "*" part takes the source's part.
std::wstring DestinationName(const std::wstring& destDir, std::wstring_view destPattern, std::wstring_view sourceName) {
  if (!HasWildcards(destPattern)) return destDir + std::wstring(destPattern);
  std::wstring_view patternBase, patternExt, sourceBase, sourceExt;
  bool patternDot = false, sourceDot = false;
  SplitNameExt(destPattern, patternBase, patternExt, patternDot);
  SplitNameExt(sourceName, sourceBase, sourceExt, sourceDot);
  std::wstring name(patternBase.find(L'*') != std::wstring_view::npos ? sourceBase : patternBase);
  if (patternDot) {
    const std::wstring_view ext = patternExt.find(L'*') != std::wstring_view::npos ? sourceExt : patternExt;
    if (!ext.empty() || !(patternExt.find(L'*') != std::wstring_view::npos && !sourceDot)) {
      name += L'.';
      name += ext;
    }
  }
  return destDir + name;
}

// Makes a full path; an existing folder means all of its files ("\*.*").
bool ResolvePattern(const wchar_t* text, std::wstring& full) {
  if (!FullPathOf(text, full)) return false;
  TrimTrailingBackslash(full);
  if (IsExistingFolder(full.c_str())) full += L"\\*.*";
  return true;
}

// The shared walk: every file match transferred; ErrorLevel the failures.
ResultCode TransferFiles(CommandArgs& args, TransferFunction transfer) {
  const bool overwrite = TextToInteger(args[kArgOverwrite]) == 1;
  std::wstring source, dest;
  if (!*args[kArgSource] || !*args[kArgDest]) return FinishFileCount(1, ERROR_INVALID_PARAMETER);
  if (!ResolvePattern(args[kArgSource], source) || !ResolvePattern(args[kArgDest], dest))
    return FinishFileCount(1, GetLastError());
  const size_t sourceSlash = source.find_last_of(L'\\');
  const size_t destSlash = dest.find_last_of(L'\\');
  const std::wstring sourceDir = source.substr(0, sourceSlash + 1);
  const std::wstring destDir = dest.substr(0, destSlash + 1);
  const std::wstring destPattern = dest.substr(destSlash + 1);

  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(source.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return FinishFileCount(0, GetLastError());
  int64_t failures = 0;
  DWORD lastError = 0;
  MessageTurns turns;
  do {
    turns.Poll();
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring from = sourceDir + found.cFileName;
    const std::wstring to = DestinationName(destDir, destPattern, found.cFileName);
    if (to.size() >= kMaxPathChars || from.size() >= kMaxPathChars) {
      ++failures;
      lastError = ERROR_BUFFER_OVERFLOW;
      continue;
    }
    if (!transfer(from.c_str(), to.c_str(), overwrite)) {
      ++failures;
      lastError = GetLastError();
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return FinishFileCount(failures, lastError);
}

}  // namespace

ResultCode CmdFileCopy(ScriptLine& /*line*/, CommandArgs& args) { return TransferFiles(args, CopyOne); }

ResultCode CmdFileMove(ScriptLine& /*line*/, CommandArgs& args) { return TransferFiles(args, MoveOne); }
