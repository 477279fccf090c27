// Registers the system subsystem's commands.
#include "system/system_subsystem.h"

#include <iterator>

#include "exec/read_loop.h"
#include "objects/builtin_functions.h"
#include "system/file_append.h"
#include "system/file_attributes.h"
#include "system/file_copy_move.h"
#include "system/file_delete.h"
#include "system/file_object.h"
#include "system/file_read.h"
#include "system/folder_commands.h"
#include "system/ini_files.h"
#include "system/loop_variables.h"
#include "system/system_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace state_detail {
SystemState system;
}  // namespace state_detail

namespace {

const CommandRow kSystemCommands[] = {
    {ACT_FILEAPPEND, CmdFileAppend},       {ACT_FILEENCODING, CmdFileEncoding},   {ACT_FILEREAD, CmdFileRead},
    {ACT_FILEREADLINE, CmdFileReadLine},   {ACT_FILEDELETE, CmdFileDelete},       {ACT_FILECOPY, CmdFileCopy},
    {ACT_FILEMOVE, CmdFileMove},           {ACT_FILEGETATTRIB, CmdFileGetAttrib}, {ACT_FILESETATTRIB, CmdFileSetAttrib},
    {ACT_FILEGETTIME, CmdFileGetTime},     {ACT_FILESETTIME, CmdFileSetTime},     {ACT_FILEGETSIZE, CmdFileGetSize},
    {ACT_FILECREATEDIR, CmdFileCreateDir}, {ACT_FILEREMOVEDIR, CmdFileRemoveDir}, {ACT_FILECOPYDIR, CmdFileCopyDir},
    {ACT_FILEMOVEDIR, CmdFileMoveDir},     {ACT_SETWORKINGDIR, CmdSetWorkingDir}, {ACT_INIREAD, CmdIniRead},
    {ACT_INIWRITE, CmdIniWrite},           {ACT_INIDELETE, CmdIniDelete},
};

// The file functions.
const BuiltInFunctionDef kSystemFunctions[] = {
    {L"FileExist", 1, 1, FnFileExist},
    {L"FileOpen", 2, 3, FnFileOpen},
};

// FileAppend without a name reaches the innermost read loop's output file.
ReadLoopOutput* CurrentReadLoopOutput() {
  LoopReadRecord* read = Values().CurrentThread->LoopRead;
  return read ? &read->Output : nullptr;
}

void StartSystem() { System().ReadLoopOutput = CurrentReadLoopOutput; }

void ResetSystem() {
  System() = SystemState{};
  StartSystem();
}

}  // namespace

const Subsystem& SystemSubsystem() {
  static const Subsystem kSystem{.Name = L"system",
                                 .Commands = kSystemCommands,
                                 .Functions = kSystemFunctions,
                                 .FunctionCount = std::size(kSystemFunctions),
                                 .Variables = LoopVariables(),
                                 .Startup = StartSystem,
                                 .Reset = ResetSystem};
  return kSystem;
}
