// FileGetAttrib, FileSetAttrib, FileGetTime, FileSetTime, FileGetSize and
// FileExist (see file_attributes.h).
#include "system/file_attributes.h"

#include <windows.h>

#include <string>

#include "exec/file_loops.h"
#include "system/file_common.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The attributes FileSetAttrib may change, by letter.
struct SettableAttribute {
  wchar_t Letter;
  DWORD Bit;
};
constexpr SettableAttribute kSettableAttributes[] = {
    {L'R', FILE_ATTRIBUTE_READONLY},  {L'A', FILE_ATTRIBUTE_ARCHIVE}, {L'S', FILE_ATTRIBUTE_SYSTEM},
    {L'H', FILE_ATTRIBUTE_HIDDEN},    {L'N', FILE_ATTRIBUTE_NORMAL},  {L'O', FILE_ATTRIBUTE_OFFLINE},
    {L'T', FILE_ATTRIBUTE_TEMPORARY},
};

// Which of a file's three times a command means.
enum class WhichTime { Modified, Created, Accessed };

// WhichTime by its first letter: A accessed, C created, else modified.
WhichTime WhichTimeOf(const wchar_t* text) {
  switch (towupper(*text)) {
    case L'A': return WhichTime::Accessed;
    case L'C': return WhichTime::Created;
    default: return WhichTime::Modified;
  }
}

// The given file name, or the file loop's current file when it is empty.
const wchar_t* FileOrLoopFile(const wchar_t* name) {
  const LoopFileRecord* current = Values().CurrentThread->LoopFile;
  return !*name && current ? current->Path.c_str() : name;
}

// The size from an open handle, else from the folder's record (which works
// while another program holds the file open without sharing).
bool SizeOfFile(const wchar_t* name, uint64_t& size) {
  HANDLE file = CreateFileW(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER value{};
    const bool ok = GetFileSizeEx(file, &value) != 0;
    CloseHandle(file);
    if (ok) {
      size = static_cast<uint64_t>(value.QuadPart);
      return true;
    }
  }
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(name, &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  return true;
}

// Applies "+", "-" and "^" letters to the current attributes.
DWORD ApplyAttributeLetters(std::wstring_view letters, DWORD current) {
  DWORD keep = ~DWORD{0};
  DWORD bits = 0;
  wchar_t sign = 0;
  for (const wchar_t c : letters) {
    if (c == L'+' || c == L'-' || c == L'^') {
      sign = c;
      continue;
    }
    if (!sign) continue;
    for (const SettableAttribute& row : kSettableAttributes) {
      if (static_cast<wchar_t>(towupper(c)) != row.Letter) continue;
      if (sign == L'^') {
        bits ^= row.Bit;
      } else {
        keep &= ~row.Bit;
        bits = sign == L'+' ? (bits | row.Bit) : (bits & ~row.Bit);
      }
    }
  }
  return (current & keep) ^ bits;
}

// Sets one of an item's times; folders need backup semantics to open.
bool SetOneTime(const std::wstring& path, const FILETIME& time, WhichTime which) {
  HANDLE item = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (item == INVALID_HANDLE_VALUE) return false;
  const BOOL ok =
      SetFileTime(item, which == WhichTime::Created ? &time : nullptr, which == WhichTime::Accessed ? &time : nullptr,
                  which == WhichTime::Modified ? &time : nullptr);
  const DWORD error = GetLastError();
  CloseHandle(item);
  SetLastError(error);
  return ok != 0;
}

// The time a find record holds for the choice.
const FILETIME& ChosenTime(const WIN32_FILE_ATTRIBUTE_DATA& data, WhichTime which) {
  switch (which) {
    case WhichTime::Accessed: return data.ftLastAccessTime;
    case WhichTime::Created: return data.ftCreationTime;
    default: return data.ftLastWriteTime;
  }
}

// Strips the "\\?\" prefix before looking for wildcards.
std::wstring_view WithoutLongPrefix(std::wstring_view pattern) {
  return pattern.starts_with(L"\\\\?\\") ? pattern.substr(4) : pattern;
}

}  // namespace

// FileGetAttrib: the letters of the one item.
ResultCode CmdFileGetAttrib(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  const wchar_t* name = FileOrLoopFile(args[1]);
  if (!*name) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  const DWORD attributes = GetFileAttributesW(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FinishFileCommand(true, GetLastError());
  if (output) static_cast<void>(output->Assign(AttributeLetters(attributes)));
  return FinishFileCommand(false, 0);
}

// FileSetAttrib: the letters applied to every match.
ResultCode CmdFileSetAttrib(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring letters(FileArg(args, 0));
  const std::wstring pattern(FileOrLoopFile(args[1]));
  DWORD lastError = 0;
  const int64_t failures = ForEachMatch(
      pattern, MatchModeOf(FileArg(args, 2)), FileArg(args, 3) == L"1",
      [&letters](const std::wstring& path, const WIN32_FIND_DATAW& found) {
        return SetFileAttributesW(path.c_str(), ApplyAttributeLetters(letters, found.dwFileAttributes)) != 0;
      },
      lastError);
  return FinishFileCount(failures, lastError);
}

// FileGetTime: the chosen time as a local stamp.
ResultCode CmdFileGetTime(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  const wchar_t* name = FileOrLoopFile(args[1]);
  if (!*name) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(name, GetFileExInfoStandard, &data)) return FinishFileCommand(true, GetLastError());
  const std::wstring stamp = FileTimeToStamp(ChosenTime(data, WhichTimeOf(args[2])));
  if (stamp.empty()) return FinishFileCommand(true, GetLastError());
  if (output) static_cast<void>(output->Assign(stamp));
  return FinishFileCommand(false, 0);
}

// FileSetTime: the stamp (empty = now) on every match.
ResultCode CmdFileSetTime(ScriptLine& /*line*/, CommandArgs& args) {
  FILETIME time;
  if (!StampToFileTime(FileArg(args, 0), time)) return FinishFileCount(1, ERROR_INVALID_PARAMETER);
  const WhichTime which = WhichTimeOf(args[2]);
  const std::wstring pattern(FileOrLoopFile(args[1]));
  DWORD lastError = 0;
  const int64_t failures = ForEachMatch(
      pattern, MatchModeOf(FileArg(args, 3)), FileArg(args, 4) == L"1",
      [&time, which](const std::wstring& path, const WIN32_FIND_DATAW&) { return SetOneTime(path, time, which); },
      lastError);
  return FinishFileCount(failures, lastError);
}

// FileGetSize: bytes, or K/M by the first letter of Units.
ResultCode CmdFileGetSize(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  const wchar_t* name = FileOrLoopFile(args[1]);
  if (!*name) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  uint64_t size = 0;
  if (!SizeOfFile(name, size)) return FinishFileCommand(true, GetLastError());
  switch (towupper(*args[2])) {
    case L'K': size /= 1024; break;
    case L'M': size /= 1048576; break;
    default: break;
  }
  if (output) static_cast<void>(output->AssignInteger(static_cast<int64_t>(size)));
  return FinishFileCommand(false, 0);
}

// FileExist: a pattern looks at its first match, a plain name at itself.
ResultCode FnFileExist(const ExprFunc& /*func*/, ExprToken& result, ExprToken** params, int count,
                       bool /*expandLast*/) {
  wchar_t numberBuffer[kFloatTextChars];
  const wchar_t* pattern = count > 0 ? ParamText(*params[0], numberBuffer) : L"";
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (HasWildcards(WithoutLongPrefix(pattern))) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find != INVALID_HANDLE_VALUE) {
      FindClose(find);
      attributes = found.dwFileAttributes;
    }
  } else if (*pattern) {
    attributes = GetFileAttributesW(pattern);
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) return ResultCode::Ok;  // result is already ""
  std::wstring letters = AttributeLetters(attributes);
  if (letters.empty()) letters = L"X";
  if (!SetResultText(result, letters)) result.SetText(L"");
  return ResultCode::Ok;
}
