// FileInstall (see file_install.h). A compiled script reads the bytes from
// its own RT_RCDATA resource; the author's interpreter, whose executable
// holds no such resources, copies the source file itself (a relative name
// taken from the script's folder, as the compiler takes it), so a script
// behaves the same before and after compiling.
//
// The source is looked up before the destination is touched: a missing
// resource or source leaves an existing destination as it was.
#include "system/file_install.h"

#include <windows.h>

#include <string>

#include "base/script_context.h"
#include "system/file_common.h"

namespace {

// The data of the executable's RT_RCDATA resource named `name` in capitals,
// or false (with the last error set) when there is none.
bool FindInstallResource(std::wstring_view name, const void*& data, DWORD& size) {
  if (name.empty() || name.size() > kMaxInstallNameChars) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  std::wstring upper(name);
  CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  HRSRC found = FindResourceW(nullptr, upper.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  size = found ? SizeofResource(nullptr, found) : 0;
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  data = loaded ? LockResource(loaded) : nullptr;
  if (!found) return false;
  if (!data && size) return false;
  return true;
}

// Whether Dest already exists (a pattern exists when anything matches).
bool DestinationExists(const wchar_t* dest) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(dest, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// Writes the bytes to Dest (created or replaced); on a failed write the
// partial file is removed. The last error says why it failed.
bool WriteInstalledFile(const wchar_t* dest, const void* data, DWORD size) {
  HANDLE file = CreateFileW(dest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = !size || (WriteFile(file, data, size, &written, nullptr) && written == size);
  const DWORD error = ok ? 0 : GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(dest);
    SetLastError(error ? error : ERROR_WRITE_FAULT);
  }
  return ok;
}

// Whether the path names a drive or starts at a root.
bool IsAbsolutePath(std::wstring_view path) {
  return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

// The author's interpreter: copies the source file, relative to the script's folder.
bool CopySourceFile(std::wstring_view source, const wchar_t* dest) {
  std::wstring path(source);
  const bool absolute = IsAbsolutePath(path);
  if (!absolute) path = Script().ScriptDirectory + L"\\" + path;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  return CopyFileW(path.c_str(), dest, FALSE) != 0;
}

}  // namespace

// FileInstall: Source, Dest [, Overwrite].
ResultCode CmdFileInstall(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring_view source = FileArg(args, 0);
  const std::wstring_view dest = FileArg(args, 1);
  const bool overwrite = FileArg(args, 2) == L"1";
  if (source.empty() || dest.empty()) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  if (!overwrite && DestinationExists(args[1])) return FinishFileCommand(true, ERROR_FILE_EXISTS);
  if (Script().Origin == ScriptOrigin::File) {
    const bool copied = CopySourceFile(source, args[1]);
    return FinishFileCommand(!copied, copied ? 0 : GetLastError());
  }
  const void* data = nullptr;
  DWORD size = 0;
  if (!FindInstallResource(source, data, size)) return FinishFileCommand(true, GetLastError());
  const bool written = WriteInstalledFile(args[1], data, size);
  return FinishFileCommand(!written, written ? 0 : GetLastError());
}
