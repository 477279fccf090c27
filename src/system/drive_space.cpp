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

// The query needs a folder with a trailing backslash; megabytes, truncated.
bool DriveMegabytes(std::wstring_view given, DriveSize which, uint64_t& megabytes) {
  std::wstring path(given);
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  if (path.empty() || path.size() >= kMaxPathChars) return false;
  ULARGE_INTEGER available{}, total{}, free{};
  if (!GetDiskFreeSpaceExW(path.c_str(), &available, &total, &free)) return false;
  megabytes = (which == DriveSize::Total ? total.QuadPart : available.QuadPart) / kBytesPerMegabyte;
  return true;
}

ResultCode CmdDriveSpaceFree(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (output) static_cast<void>(output->Assign());
  uint64_t megabytes = 0;
  if (!DriveMegabytes(FileArg(args, 1), DriveSize::FreeToCaller, megabytes)) return ReportOutcome(true);
  if (output) static_cast<void>(output->AssignInteger(static_cast<int64_t>(megabytes)));
  return ReportOutcome(false);
}
