// INI files (see ini_files.h).
//
// The profile functions write a file in UTF-16 only when it already starts
// with the UTF-16 mark, so IniWrite creates a missing file itself: the mark
// and the section header, nothing else.
#include "system/ini_files.h"

#include <windows.h>

#include <memory>
#include <string>

#include "exec/errors.h"
#include "system/file_common.h"
#include "values/variable.h"

namespace {

enum : int { kReadOutput = 0, kReadFile = 1, kReadSection = 2, kReadKey = 3, kReadDefault = 4 };
enum : int { kWriteValue = 0, kWriteFile = 1, kWriteSection = 2, kWriteKey = 3 };
enum : int { kDeleteFile = 0, kDeleteSection = 1, kDeleteKey = 2 };

// Room for one value, a section or the section names.
constexpr DWORD kIniBufferChars = 65535;
// The UTF-16 byte-order mark as a character.
constexpr wchar_t kUtf16Mark = 0xFEFF;

// The full path of an INI file name; the name itself when it cannot be made.
std::wstring IniPath(const wchar_t* name) {
  std::wstring full;
  return FullPathOf(name, full) ? full : std::wstring(name);
}

// Turns a zero-separated list into lines: no trailing line feed.
std::wstring ListToLines(const wchar_t* list, DWORD length) {
  std::wstring lines(list, length);
  while (!lines.empty() && lines.back() == 0) lines.pop_back();
  for (wchar_t& c : lines)
    if (c == 0) c = L'\n';
  return lines;
}

// Turns lines into the double-zero-terminated list the section functions take.
std::wstring LinesToList(std::wstring_view lines) {
  std::wstring list;
  list.reserve(lines.size() + 2);
  for (const wchar_t c : lines) {
    if (c == L'\r') continue;
    list += c == L'\n' ? L'\0' : c;
  }
  if (!list.empty() && list.back() != 0) list += L'\0';
  list += L'\0';
  return list;
}

// A new file gets the UTF-16 mark and the section header; false when it
// could not be created.
bool CreateUtf16Ini(const std::wstring& path, std::wstring_view section) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
  std::wstring head;
  head += kUtf16Mark;
  head += L'[';
  head += section;
  head += L']';
  const auto bytes = static_cast<DWORD>(head.size() * sizeof(wchar_t));
  DWORD written = 0;
  const bool ok = WriteFile(file, head.data(), bytes, &written, nullptr) && written == bytes;
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

// Writes the profile cache out to the file.
void FlushProfileCache(const std::wstring& path) {
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

}  // namespace

// IniRead: a value (or the default), a whole section, or the section names.
ResultCode CmdIniRead(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[kReadOutput];
  const std::wstring path = IniPath(args[kReadFile]);
  const wchar_t* section = args[kReadSection];
  const wchar_t* key = args[kReadKey];
  const wchar_t* fallback = *args[kReadDefault] ? args[kReadDefault] : L"ERROR";
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[kIniBufferChars]);
  std::wstring value;
  if (*key) {
    const DWORD length = GetPrivateProfileStringW(section, key, fallback, buffer.get(), kIniBufferChars, path.c_str());
    value.assign(buffer.get(), length);
  } else {
    const DWORD length = *section ? GetPrivateProfileSectionW(section, buffer.get(), kIniBufferChars, path.c_str())
                                  : GetPrivateProfileSectionNamesW(buffer.get(), kIniBufferChars, path.c_str());
    value = ListToLines(buffer.get(), length);
  }
  if (output) static_cast<void>(output->Assign(value));
  return ResultCode::Ok;
}

// IniWrite: one key, or a whole section from lines.
ResultCode CmdIniWrite(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring path = IniPath(args[kWriteFile]);
  const wchar_t* section = args[kWriteSection];
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateUtf16Ini(path, section))
    return ReportOutcome(true);
  bool ok = false;
  if (*args[kWriteKey]) {
    ok = WritePrivateProfileStringW(section, args[kWriteKey], args[kWriteValue], path.c_str()) != 0;
  } else {
    const std::wstring list = LinesToList(FileArg(args, kWriteValue));
    ok = WritePrivateProfileSectionW(section, list.c_str(), path.c_str()) != 0;
  }
  FlushProfileCache(path);
  return ReportOutcome(!ok);
}

// IniDelete: one key, or the whole section without a key.
ResultCode CmdIniDelete(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring path = IniPath(args[kDeleteFile]);
  const wchar_t* key = args[kDeleteKey];
  const bool ok = WritePrivateProfileStringW(args[kDeleteSection], *key ? key : nullptr, nullptr, path.c_str()) != 0;
  FlushProfileCache(path);
  return ReportOutcome(!ok);
}
