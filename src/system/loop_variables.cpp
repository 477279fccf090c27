// A_LoopFile..., A_LoopReg... and A_LoopReadLine (see loop_variables.h). Outside the
// matching loop every one of them is empty.
#include "system/loop_variables.h"

#include <windows.h>

#include <string>

#include "exec/file_loops.h"
#include "exec/read_loop.h"
#include "exec/reg_loop.h"
#include "exec/registry_keys.h"
#include "system/file_common.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Upper bound a getter answers for a number before writing it.
constexpr size_t kNumberBound = 20;

// The innermost file loop's item, or null.
const LoopFileRecord* CurrentFile() { return Values().CurrentThread->LoopFile; }

// The path as the loop built it.
std::wstring_view LoopPath() {
  const LoopFileRecord* file = CurrentFile();
  return file ? std::wstring_view(file->Path) : std::wstring_view();
}

// A number in the thread's integer format; the bound without a buffer.
size_t PutInteger(wchar_t* buffer, int64_t value) {
  if (!buffer) return kNumberBound;
  return IntegerToText(value, buffer, static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar));
}

// The 64-bit size of the current file, or 0 outside a loop.
uint64_t LoopFileSize() {
  const LoopFileRecord* file = CurrentFile();
  return file ? (uint64_t{file->Found.nFileSizeHigh} << 32) | file->Found.nFileSizeLow : 0;
}

// Each stored component replaced by its name as the disk has it.
std::wstring CorrectLongPath(std::wstring path) {
  if (path.size() < 2 || path.size() > 259) return path;
  if (path[1] == L':') path[0] = static_cast<wchar_t>(towupper(path[0]));
  size_t start = 0;
  if (path.starts_with(L"\\\\")) {
    const size_t server = path.find(L'\\', 2);
    const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    if (share == std::wstring::npos) return path;
    start = share + 1;
  } else {
    const size_t first = path.find(L'\\');
    if (first == std::wstring::npos) return path;
    start = first + 1;
  }
  std::wstring corrected = path.substr(0, start);
  while (start < path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path.substr(0, end).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return path;
    FindClose(find);
    corrected += found.cFileName;
    if (end < path.size()) corrected += L'\\';
    start = end + 1;
  }
  return corrected;
}

size_t GetLoopFileName(wchar_t* buffer, const wchar_t*) {
  const std::wstring_view path = LoopPath();
  const size_t slash = path.find_last_of(L'\\');
  return PutBuiltInText(buffer, slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

size_t GetLoopFileShortName(wchar_t* buffer, const wchar_t* name) {
  const LoopFileRecord* file = CurrentFile();
  if (!file || !file->Found.cAlternateFileName[0]) return GetLoopFileName(buffer, name);
  return PutBuiltInText(buffer, file->Found.cAlternateFileName);
}

size_t GetLoopFileExt(wchar_t* buffer, const wchar_t*) {
  const std::wstring_view path = LoopPath();
  const size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring_view::npos || path.find(L'\\', dot) != std::wstring_view::npos)
    return PutBuiltInText(buffer, L"");
  return PutBuiltInText(buffer, path.substr(dot + 1));
}

size_t GetLoopFileDir(wchar_t* buffer, const wchar_t*) {
  const std::wstring_view path = LoopPath();
  const size_t slash = path.find_last_of(L'\\');
  return PutBuiltInText(buffer, slash == std::wstring_view::npos ? std::wstring_view() : path.substr(0, slash));
}

size_t GetLoopFileFullPath(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, LoopPath()); }

size_t GetLoopFileLongPath(wchar_t* buffer, const wchar_t*) {
  const LoopFileRecord* file = CurrentFile();
  std::wstring full;
  if (!file || !FullPathOf(file->Path.c_str(), full)) return PutBuiltInText(buffer, L"");
  return PutBuiltInText(buffer, CorrectLongPath(full));
}

size_t GetLoopFileShortPath(wchar_t* buffer, const wchar_t*) {
  const LoopFileRecord* file = CurrentFile();
  wchar_t shortPath[kMaxPathChars];
  const DWORD length = file ? GetShortPathNameW(file->Path.c_str(), shortPath, kMaxPathChars) : 0;
  return PutBuiltInText(buffer,
                        length && length < kMaxPathChars ? std::wstring_view(shortPath, length) : std::wstring_view());
}

// A time of the find record as a stamp.
size_t PutLoopFileTime(wchar_t* buffer, FILETIME WIN32_FIND_DATAW::*which) {
  const LoopFileRecord* file = CurrentFile();
  return PutBuiltInText(buffer, file ? FileTimeToStamp(file->Found.*which) : std::wstring());
}

size_t GetLoopFileTimeModified(wchar_t* buffer, const wchar_t*) {
  return PutLoopFileTime(buffer, &WIN32_FIND_DATAW::ftLastWriteTime);
}
size_t GetLoopFileTimeCreated(wchar_t* buffer, const wchar_t*) {
  return PutLoopFileTime(buffer, &WIN32_FIND_DATAW::ftCreationTime);
}
size_t GetLoopFileTimeAccessed(wchar_t* buffer, const wchar_t*) {
  return PutLoopFileTime(buffer, &WIN32_FIND_DATAW::ftLastAccessTime);
}

size_t GetLoopFileAttrib(wchar_t* buffer, const wchar_t*) {
  const LoopFileRecord* file = CurrentFile();
  return PutBuiltInText(buffer, file ? AttributeLetters(file->Found.dwFileAttributes) : std::wstring());
}

size_t GetLoopFileSize(wchar_t* buffer, const wchar_t*) {
  if (!CurrentFile()) return PutBuiltInText(buffer, L"");
  return PutInteger(buffer, static_cast<int64_t>(LoopFileSize()));
}
size_t GetLoopFileSizeKB(wchar_t* buffer, const wchar_t*) {
  if (!CurrentFile()) return PutBuiltInText(buffer, L"");
  return PutInteger(buffer, static_cast<int64_t>(LoopFileSize() / 1024));
}
size_t GetLoopFileSizeMB(wchar_t* buffer, const wchar_t*) {
  if (!CurrentFile()) return PutBuiltInText(buffer, L"");
  return PutInteger(buffer, static_cast<int64_t>(LoopFileSize() / 1048576));
}

size_t GetLoopReadLine(wchar_t* buffer, const wchar_t*) {
  const LoopReadRecord* read = Values().CurrentThread->LoopRead;
  return PutBuiltInText(buffer, read ? std::wstring_view(read->Line, read->LineLength) : std::wstring_view());
}

// The read loop keeps its line, terminated, until the next iteration.
const wchar_t* ViewLoopReadLine() {
  const LoopReadRecord* read = Values().CurrentThread->LoopRead;
  return read ? read->Line : L"";
}

// The innermost registry loop's item, or null.
const LoopRegItem* CurrentRegItem() { return Values().CurrentThread->LoopReg; }

size_t GetLoopRegType(wchar_t* buffer, const wchar_t*) {
  const LoopRegItem* item = CurrentRegItem();
  return PutBuiltInText(buffer, item ? RegTypeName(item->Type) : L"");
}

// A remote root has no name of its own.
size_t GetLoopRegKey(wchar_t* buffer, const wchar_t*) {
  const LoopRegItem* item = CurrentRegItem();
  return PutBuiltInText(buffer, item && !item->IsRemote ? RootKeyLongName(item->Root) : L"");
}

size_t GetLoopRegSubKey(wchar_t* buffer, const wchar_t*) {
  const LoopRegItem* item = CurrentRegItem();
  return PutBuiltInText(buffer, item ? std::wstring_view(item->Subkey) : std::wstring_view());
}

size_t GetLoopRegName(wchar_t* buffer, const wchar_t*) {
  const LoopRegItem* item = CurrentRegItem();
  return PutBuiltInText(buffer, item ? std::wstring_view(item->Name) : std::wstring_view());
}

// Only subkeys carry a last-write time.
size_t GetLoopRegTimeModified(wchar_t* buffer, const wchar_t*) {
  const LoopRegItem* item = CurrentRegItem();
  if (!item || item->Type != kRegItemKey) return PutBuiltInText(buffer, L"");
  return PutBuiltInText(buffer, FileTimeToStamp(item->LastWrite));
}

const BuiltInVarDef kLoopVariables[] = {
    {L"A_LoopFileAttrib", GetLoopFileAttrib},
    {L"A_LoopFileDir", GetLoopFileDir},
    {L"A_LoopFileExt", GetLoopFileExt},
    {L"A_LoopFileFullPath", GetLoopFileFullPath},
    {L"A_LoopFileLongPath", GetLoopFileLongPath},
    {L"A_LoopFileName", GetLoopFileName},
    {L"A_LoopFilePath", GetLoopFileFullPath},
    {L"A_LoopFileShortName", GetLoopFileShortName},
    {L"A_LoopFileShortPath", GetLoopFileShortPath},
    {L"A_LoopFileSize", GetLoopFileSize},
    {L"A_LoopFileSizeKB", GetLoopFileSizeKB},
    {L"A_LoopFileSizeMB", GetLoopFileSizeMB},
    {L"A_LoopFileTimeAccessed", GetLoopFileTimeAccessed},
    {L"A_LoopFileTimeCreated", GetLoopFileTimeCreated},
    {L"A_LoopFileTimeModified", GetLoopFileTimeModified},
    {L"A_LoopReadLine", GetLoopReadLine, ViewLoopReadLine},
    {L"A_LoopRegKey", GetLoopRegKey},
    {L"A_LoopRegName", GetLoopRegName},
    {L"A_LoopRegSubKey", GetLoopRegSubKey},
    {L"A_LoopRegTimeModified", GetLoopRegTimeModified},
    {L"A_LoopRegType", GetLoopRegType},
};

}  // namespace

std::span<const BuiltInVarDef> LoopVariables() { return kLoopVariables; }
