// DriveSpaceFree (see drive_space.h).
#include "system/drive_space.h"

#include <windows.h>

#include <string>

#include "exec/errors.h"
#include "system/file_common.h"
#include "values/variable.h"

namespace {

constexpr uint64_t kBytesPerMegabyte = 1048576;

}  // namespace

// The path needs a trailing backslash for the query; megabytes, truncated.
ResultCode CmdDriveSpaceFree(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  std::wstring path(FileArg(args, 1));
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  if (path.empty() || path.size() >= kMaxPathChars) return ReportOutcome(true);
  ULARGE_INTEGER available{}, total{}, free{};
  if (!GetDiskFreeSpaceExW(path.c_str(), &available, &total, &free)) return ReportOutcome(true);
  if (output) static_cast<void>(output->AssignInteger(static_cast<int64_t>(available.QuadPart / kBytesPerMegabyte)));
  return ReportOutcome(false);
}
