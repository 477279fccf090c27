// Registers the system subsystem's commands.
#include "system/system_subsystem.h"

#include <iterator>
#include <new>

#include "exec/read_loop.h"
#include "objects/builtin_functions.h"
#include "system/clipboard.h"
#include "system/drive_commands.h"
#include "system/drive_space.h"
#include "system/file_append.h"
#include "system/file_attributes.h"
#include "system/file_copy_move.h"
#include "system/file_delete.h"
#include "system/file_install.h"
#include "system/file_object.h"
#include "system/file_read.h"
#include "system/file_recycle.h"
#include "system/file_shortcuts.h"
#include "system/file_version.h"
#include "system/folder_commands.h"
#include "system/ini_files.h"
#include "system/loop_variables.h"
#include "system/process_command.h"
#include "system/registry_commands.h"
#include "system/run_program.h"
#include "system/system_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace state_detail {
SystemState system;
}  // namespace state_detail

namespace {

const CommandRow kSystemCommands[] = {
    {ACT_FILEAPPEND, CmdFileAppend},
    {ACT_FILEENCODING, CmdFileEncoding},
    {ACT_FILEREAD, CmdFileRead},
    {ACT_FILEREADLINE, CmdFileReadLine},
    {ACT_FILEDELETE, CmdFileDelete},
    {ACT_FILECOPY, CmdFileCopy},
    {ACT_FILEMOVE, CmdFileMove},
    {ACT_FILEGETATTRIB, CmdFileGetAttrib},
    {ACT_FILESETATTRIB, CmdFileSetAttrib},
    {ACT_FILEGETTIME, CmdFileGetTime},
    {ACT_FILESETTIME, CmdFileSetTime},
    {ACT_FILEGETSIZE, CmdFileGetSize},
    {ACT_FILEINSTALL, CmdFileInstall},
    {ACT_FILECREATEDIR, CmdFileCreateDir},
    {ACT_FILEREMOVEDIR, CmdFileRemoveDir},
    {ACT_FILECOPYDIR, CmdFileCopyDir},
    {ACT_FILEMOVEDIR, CmdFileMoveDir},
    {ACT_SETWORKINGDIR, CmdSetWorkingDir},
    {ACT_FILEGETVERSION, CmdFileGetVersion},
    {ACT_FILEGETSHORTCUT, CmdFileGetShortcut},
    {ACT_FILECREATESHORTCUT, CmdFileCreateShortcut},
    {ACT_FILERECYCLE, CmdFileRecycle},
    {ACT_FILERECYCLEEMPTY, CmdFileRecycleEmpty},
    {ACT_DRIVESPACEFREE, CmdDriveSpaceFree},
    {ACT_DRIVE, CmdDrive},
    {ACT_DRIVEGET, CmdDriveGet},
    {ACT_INIREAD, CmdIniRead},
    {ACT_INIWRITE, CmdIniWrite},
    {ACT_INIDELETE, CmdIniDelete},
    {ACT_REGREAD, CmdRegRead},
    {ACT_REGWRITE, CmdRegWrite},
    {ACT_REGDELETE, CmdRegDelete},
    {ACT_SETREGVIEW, CmdSetRegView},
    {ACT_RUN, CmdRun},
    {ACT_RUNWAIT, CmdRun},
    {ACT_RUNAS, CmdRunAs},
    {ACT_PROCESS, CmdProcess},
    {ACT_SHUTDOWN, CmdShutdown},
    {ACT_CLIPWAIT, CmdClipWait},
};

// The file functions; the clipboard's family is added at start-up.
const BuiltInFunctionDef kSystemFunctions[] = {
    {L"FileExist", 1, 1, FnFileExist},
    {L"FileOpen", 2, 3, FnFileOpen},
};

const MessageFilter kSystemMessageFilters[] = {
    FilterClipboardMessage,
};

// FileAppend without a name reaches the innermost read loop's output file.
ReadLoopOutput* CurrentReadLoopOutput() {
  LoopReadRecord* read = Values().CurrentThread->LoopRead;
  return read ? &read->Output : nullptr;
}

void StartSystem() {
  RegisterBuiltInFunctions(ClipboardFunctions());
  InstallClipboardVariables();
  RegisterBuiltInVariables(RegistryVariables());
  System().ReadLoopOutput = CurrentReadLoopOutput;
}

// The state holds callbacks, which are not copied: it is made anew.
void ResetSystem() {
  System().~SystemState();
  new (&System()) SystemState();
}

}  // namespace

const Subsystem& SystemSubsystem() {
  static const Subsystem kSystem{.Name = L"system",
                                 .Commands = kSystemCommands,
                                 .Functions = kSystemFunctions,
                                 .FunctionCount = std::size(kSystemFunctions),
                                 .Variables = LoopVariables(),
                                 .MessageFilters = kSystemMessageFilters,
                                 .Startup = StartSystem,
                                 .Exit = StopClipboardWatch,
                                 .Reset = ResetSystem};
  return kSystem;
}
