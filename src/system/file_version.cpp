// FileGetVersion (see file_version.h): the fixed file information of the
// version resource, as "major.minor.build.revision".
#include "system/file_version.h"

#include <windows.h>

#include <cstdio>
#include <iterator>
#include <memory>

#include "system/file_common.h"
#include "values/variable.h"

// Reads the root block of the version resource.
ResultCode CmdFileGetVersion(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  const wchar_t* name = args[1];
  if (!*name) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name, &ignored);
  if (!size) return FinishFileCommand(true, GetLastError());
  std::unique_ptr<BYTE[]> data(new BYTE[size]);
  if (!GetFileVersionInfoW(name, 0, size, data.get())) return FinishFileCommand(true, GetLastError());
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueW(data.get(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
      infoSize < sizeof(VS_FIXEDFILEINFO))
    return FinishFileCommand(true, GetLastError());
  wchar_t text[48];
  std::swprintf(text, std::size(text), L"%u.%u.%u.%u", unsigned{HIWORD(info->dwFileVersionMS)},
                unsigned{LOWORD(info->dwFileVersionMS)}, unsigned{HIWORD(info->dwFileVersionLS)},
                unsigned{LOWORD(info->dwFileVersionLS)});
  if (output) static_cast<void>(output->Assign(text));
  return FinishFileCommand(false, 0);
}
