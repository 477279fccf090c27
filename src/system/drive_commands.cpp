// Drive and DriveGet (see drive_commands.h).
//
// The CD commands speak MCI command strings; the "cd" alias they open is
// closed again before the command returns, whatever the outcome, so no
// device stays held by the script.
#include "system/drive_commands.h"

#include <windows.h>
#include <mmsystem.h>
#include <winioctl.h>

#include <cwctype>
#include <string>
#include <string_view>

#include "exec/errors.h"
#include "system/drive_space.h"
#include "system/file_common.h"
#include "values/variable.h"

namespace {

enum : int { kDriveArgCommand = 0, kDriveArgDrive = 1, kDriveArgValue = 2 };
enum : int { kGetArgOutput = 0, kGetArgCommand = 1, kGetArgValue = 2 };

// Longest drive or path a sub-command takes, terminator excluded.
constexpr size_t kMaxDriveChars = 259;
// Room for a volume's name and file-system name.
constexpr DWORD kVolumeNameChars = 255;
// Room for the reply of an MCI status query.
constexpr UINT kMciReplyChars = 128;
// The one byte IOCTL_STORAGE_MEDIA_REMOVAL takes: 1 prevents removal.
constexpr BOOLEAN kPreventRemoval = TRUE;
constexpr BOOLEAN kAllowRemoval = FALSE;
// DriveGet, SetLabel: the new label follows this prefix.
constexpr std::wstring_view kSetLabelPrefix = L"SetLabel:";

// The drive types by the names scripts use for them.
struct DriveTypeName {
  const wchar_t* Name;
  UINT Type;
};
constexpr DriveTypeName kDriveTypeNames[] = {
    {L"Unknown", DRIVE_UNKNOWN}, {L"Removable", DRIVE_REMOVABLE}, {L"Fixed", DRIVE_FIXED},
    {L"Network", DRIVE_REMOTE},  {L"CDROM", DRIVE_CDROM},         {L"RAMDisk", DRIVE_RAMDISK},
};

// Status words for the errors GetDiskFreeSpaceW gives on a drive that is
// not usable; any other error is "Unknown".
struct StatusName {
  DWORD Error;
  const wchar_t* Name;
};
constexpr StatusName kStatusNames[] = {
    {ERROR_PATH_NOT_FOUND, L"Invalid"},
    {ERROR_WRITE_PROTECT, L"ReadOnly"},
    {ERROR_NOT_READY, L"NotReady"},
};
constexpr wchar_t kStatusReady[] = L"Ready";
constexpr wchar_t kStatusUnknown[] = L"Unknown";

bool SameWord(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && _wcsnicmp(a.data(), b.data(), a.size()) == 0;
}

// Sends one MCI command string; the reply, when wanted, goes to `reply`.
bool SendMci(const std::wstring& command, std::wstring* reply = nullptr) {
  wchar_t buffer[kMciReplyChars + 1] = L"";
  const MCIERROR error = mciSendStringW(command.c_str(), reply ? buffer : nullptr, reply ? kMciReplyChars : 0, nullptr);
  if (reply) *reply = buffer;
  return error == 0;
}

// Runs `command` on the CD device of `drive` through the "cd" alias, or on
// the default CD device when no drive is given; the alias is closed after.
bool SendCdCommand(std::wstring_view drive, const std::wstring& onAlias, const std::wstring& onDefault,
                   std::wstring* reply) {
  if (drive.empty()) return SendMci(onDefault, reply);
  if (!SendMci(L"open " + std::wstring(drive) + L" type cdaudio alias cd wait shareable")) return false;
  const bool done = SendMci(onAlias, reply);
  SendMci(L"close cd wait");
  return done;
}

// A drive or path with a trailing backslash, as the volume functions want
// it; false when it is too long.
bool DriveRoot(std::wstring_view given, std::wstring& root) {
  root.assign(given);
  if (!root.empty() && root.back() != L'\\') root += L'\\';
  return root.size() <= kMaxDriveChars;
}

// The root's path for a volume call: null (the current drive) when empty.
const wchar_t* RootOrCurrent(const std::wstring& root) { return root.empty() ? nullptr : root.c_str(); }

// Drive, Eject: opens the tray, or closes it when Value is 1.
bool EjectDrive(std::wstring_view drive, std::wstring_view value) {
  const std::wstring door = value == L"1" ? L"closed" : L"open";
  return SendCdCommand(drive, L"set cd door " + door + L" wait", L"set cdaudio door " + door + L" wait", nullptr);
}

// Drive, Lock/Unlock: asks the device to refuse (or allow) removing its medium.
bool LockDrive(std::wstring_view drive, bool lock) {
  if (drive.empty()) return false;
  const wchar_t device[] = {L'\\', L'\\', L'.', L'\\', drive[0], L':', L'\0'};
  HANDLE handle =
      CreateFileW(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  PREVENT_MEDIA_REMOVAL removal{};
  removal.PreventMediaRemoval = lock ? kPreventRemoval : kAllowRemoval;
  DWORD returned = 0;
  const BOOL done =
      DeviceIoControl(handle, IOCTL_STORAGE_MEDIA_REMOVAL, &removal, sizeof(removal), nullptr, 0, &returned, nullptr);
  CloseHandle(handle);
  return done != FALSE;
}

// Drive, Label: renames the volume.
bool LabelDrive(std::wstring_view drive, std::wstring_view value) {
  std::wstring root;
  if (!DriveRoot(drive, root)) return false;
  const std::wstring label(value);
  return SetVolumeLabelW(RootOrCurrent(root), label.c_str()) != FALSE;
}

// DriveGet's answer: the text for OutputVar, or a failure.
struct DriveAnswer {
  bool Failed = false;
  std::wstring Text;
};

DriveAnswer Failure() { return {true, {}}; }

// The drive type a name stands for; false for an unknown name.
bool DriveTypeOfName(std::wstring_view name, UINT& type) {
  for (const DriveTypeName& row : kDriveTypeNames)
    if (SameWord(name, row.Name)) {
      type = row.Type;
      return true;
    }
  return false;
}

// List [type]: the letters of the drives of that type, or of every drive.
DriveAnswer ListDrives(std::wstring_view typeName) {
  UINT wanted = DRIVE_NO_ROOT_DIR;
  if (!typeName.empty() && !DriveTypeOfName(typeName, wanted)) return Failure();
  DriveAnswer answer;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const wchar_t root[] = {letter, L':', L'\\', L'\0'};
    const UINT type = GetDriveTypeW(root);
    if (type == DRIVE_NO_ROOT_DIR || (!typeName.empty() && type != wanted)) continue;
    answer.Text += letter;
  }
  answer.Failed = answer.Text.empty();
  return answer;
}

// What GetVolumeInformationW tells of a drive.
struct VolumeFacts {
  wchar_t Name[kVolumeNameChars + 1] = L"";
  wchar_t FileSystem[kVolumeNameChars + 1] = L"";
  DWORD Serial = 0;
};

bool ReadVolumeFacts(std::wstring_view drive, VolumeFacts& facts) {
  std::wstring root;
  if (!DriveRoot(drive, root)) return false;
  return GetVolumeInformationW(RootOrCurrent(root), facts.Name, kVolumeNameChars + 1, &facts.Serial, nullptr, nullptr,
                               facts.FileSystem, kVolumeNameChars + 1) != FALSE;
}

DriveAnswer FileSystemOf(std::wstring_view drive) {
  VolumeFacts facts;
  if (!ReadVolumeFacts(drive, facts)) return Failure();
  return {false, facts.FileSystem};
}

DriveAnswer LabelOf(std::wstring_view drive) {
  VolumeFacts facts;
  if (!ReadVolumeFacts(drive, facts)) return Failure();
  return {false, facts.Name};
}

DriveAnswer SerialOf(std::wstring_view drive) {
  VolumeFacts facts;
  if (!ReadVolumeFacts(drive, facts)) return Failure();
  return {false, std::to_wstring(facts.Serial)};
}

DriveAnswer TypeOf(std::wstring_view drive) {
  std::wstring root;
  if (!DriveRoot(drive, root)) return Failure();
  const UINT type = GetDriveTypeW(RootOrCurrent(root));
  for (const DriveTypeName& row : kDriveTypeNames)
    if (row.Type == type) return {false, row.Name};
  return Failure();
}

// Status: whether the drive can be used now, by what asking for its free
// space says.
DriveAnswer StatusOf(std::wstring_view drive) {
  std::wstring root;
  if (!DriveRoot(drive, root)) return Failure();
  DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
  if (GetDiskFreeSpaceW(RootOrCurrent(root), &sectors, &bytes, &freeClusters, &clusters)) return {false, kStatusReady};
  const DWORD error = GetLastError();
  for (const StatusName& row : kStatusNames)
    if (row.Error == error) return {false, row.Name};
  return {false, kStatusUnknown};
}

// StatusCD: MCI's word for the CD device's mode ("playing", "open", ...).
DriveAnswer CdStatusOf(std::wstring_view drive) {
  DriveAnswer answer;
  answer.Failed = !SendCdCommand(drive, L"status cd mode", L"status cdaudio mode", &answer.Text);
  if (answer.Failed) answer.Text.clear();
  return answer;
}

DriveAnswer CapacityOf(std::wstring_view drive) {
  uint64_t megabytes = 0;
  if (!DriveMegabytes(drive, DriveSize::Total, megabytes)) return Failure();
  return {false, std::to_wstring(megabytes)};
}

// The DriveGet sub-commands that answer with a text.
struct DriveGetRow {
  const wchar_t* Name;
  DriveAnswer (*Run)(std::wstring_view value);
};
constexpr DriveGetRow kDriveGetCommands[] = {
    {L"List", ListDrives}, {L"FileSystem", FileSystemOf}, {L"FS", FileSystemOf},
    {L"Label", LabelOf},   {L"Serial", SerialOf},         {L"Type", TypeOf},
    {L"Status", StatusOf}, {L"StatusCD", CdStatusOf},     {L"Capacity", CapacityOf},
    {L"Cap", CapacityOf},
};

// DriveGet, SetLabel:NewLabel, Drive.
ResultCode SetLabelOf(std::wstring_view command, std::wstring_view drive) {
  std::wstring_view label = command.substr(kSetLabelPrefix.size());
  while (!label.empty() && (label.front() == L' ' || label.front() == L'\t')) label.remove_prefix(1);
  return ReportOutcome(!LabelDrive(drive, label));
}

}  // namespace

ResultCode CmdDrive(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring_view command = FileArg(args, kDriveArgCommand);
  const std::wstring_view drive = FileArg(args, kDriveArgDrive);
  const std::wstring_view value = FileArg(args, kDriveArgValue);
  if (drive.size() > kMaxDriveChars) return ReportOutcome(true);
  bool done = false;
  if (SameWord(command, L"Eject"))
    done = EjectDrive(drive, value);
  else if (SameWord(command, L"Lock") || SameWord(command, L"Unlock"))
    done = LockDrive(drive, SameWord(command, L"Lock"));
  else if (SameWord(command, L"Label"))
    done = LabelDrive(drive, value);
  return ReportOutcome(!done);
}

ResultCode CmdDriveGet(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[kGetArgOutput];
  const std::wstring_view command = FileArg(args, kGetArgCommand);
  const std::wstring_view value = FileArg(args, kGetArgValue);
  if (command.size() >= kSetLabelPrefix.size() && SameWord(command.substr(0, kSetLabelPrefix.size()), kSetLabelPrefix))
    return SetLabelOf(command, value);
  if (output) static_cast<void>(output->Assign());
  if (value.size() > kMaxDriveChars) return ReportOutcome(true);
  for (const DriveGetRow& row : kDriveGetCommands) {
    if (!SameWord(command, row.Name)) continue;
    const DriveAnswer answer = row.Run(value);
    if (!answer.Failed && output) static_cast<void>(output->Assign(answer.Text));
    return ReportOutcome(answer.Failed);
  }
  return ReportOutcome(true);
}
