// Process and Shutdown (see process_command.h).
#include "system/process_command.h"

#include <tlhelp32.h>

#include <string>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "system/messages.h"
#include "values/numeric_text.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Argument positions of Process and of Shutdown.
enum : int { kArgCmd = 0, kArgProcess = 1, kArgParam3 = 2 };
enum : int { kArgFlags = 0 };

// How often Wait and WaitClose look again.
constexpr int kProcessPollMs = 100;

// The sub-commands of Process.
enum class ProcessCmd { Exist, Close, Priority, Wait, WaitClose };
struct ProcessCmdRow {
  std::wstring_view Word;
  ProcessCmd Cmd;
};
constexpr ProcessCmdRow kProcessCmds[] = {
    {L"Exist", ProcessCmd::Exist}, {L"Close", ProcessCmd::Close},         {L"Priority", ProcessCmd::Priority},
    {L"Wait", ProcessCmd::Wait},   {L"WaitClose", ProcessCmd::WaitClose},
};

// The priority classes by the first letter of Param3.
struct PriorityRow {
  wchar_t Letter;
  DWORD Class;
};
constexpr PriorityRow kPriorities[] = {
    {L'A', ABOVE_NORMAL_PRIORITY_CLASS}, {L'B', BELOW_NORMAL_PRIORITY_CLASS}, {L'H', HIGH_PRIORITY_CLASS},
    {L'L', IDLE_PRIORITY_CLASS},         {L'N', NORMAL_PRIORITY_CLASS},       {L'R', REALTIME_PRIORITY_CLASS},
};

// The toolhelp functions, looked up in kernel32 at run time.
struct Toolhelp {
  HANDLE(WINAPI* Snapshot)(DWORD, DWORD) = nullptr;
  BOOL(WINAPI* First)(HANDLE, PROCESSENTRY32W*) = nullptr;
  BOOL(WINAPI* Next)(HANDLE, PROCESSENTRY32W*) = nullptr;
};

// Looks the toolhelp functions up; any missing means no process is ever found.
Toolhelp LookUpToolhelp() {
  Toolhelp functions;
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return functions;
  functions.Snapshot = reinterpret_cast<decltype(functions.Snapshot)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
  functions.First =
      reinterpret_cast<decltype(functions.First)>(reinterpret_cast<void*>(GetProcAddress(kernel, "Process32FirstW")));
  functions.Next =
      reinterpret_cast<decltype(functions.Next)>(reinterpret_cast<void*>(GetProcAddress(kernel, "Process32NextW")));
  return functions;
}

// The text as a whole number (decimal or 0x hexadecimal), or false.
bool WholeNumber(std::wstring_view text, DWORD& value) {
  if (text.empty()) return false;
  const std::wstring copy(text);
  if (IsNumeric(copy.c_str(), false, false, false) != PURE_INTEGER) return false;
  value = static_cast<DWORD>(TextToInteger(copy.c_str()));
  return true;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && (a.empty() || CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                                    static_cast<int>(b.size()), TRUE) == CSTR_EQUAL);
}

// The sub-command a word names, or null.
const ProcessCmdRow* ProcessCmdOf(std::wstring_view word) {
  for (const ProcessCmdRow& row : kProcessCmds)
    if (EqualsIgnoringCase(row.Word, word)) return &row;
  return nullptr;
}

// Opens the process and does one thing to it; true when it worked.
bool TerminateById(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (!process) return false;
  const bool done = TerminateProcess(process, 0) != FALSE;
  CloseHandle(process);
  return done;
}

bool SetPriorityById(DWORD pid, DWORD priorityClass) {
  HANDLE process = OpenProcess(PROCESS_SET_INFORMATION, FALSE, pid);
  if (!process) return false;
  const bool done = SetPriorityClass(process, priorityClass) != FALSE;
  CloseHandle(process);
  return done;
}

// The priority class Param3's first letter names, or 0.
DWORD PriorityClassOf(std::wstring_view text) {
  if (text.empty()) return 0;
  const auto letter = static_cast<wchar_t>(towupper(text.front()));
  for (const PriorityRow& row : kPriorities)
    if (row.Letter == letter) return row.Class;
  return 0;
}

// Wait and WaitClose: look every 100 ms, running the message loop, until
// the process exists (or is gone) or the seconds have passed. The PID last
// found.
DWORD WaitForProcess(std::wstring_view name, std::wstring_view seconds, bool untilClosed) {
  const bool timed = !seconds.empty();
  const double limitMs = timed ? TextToDouble(std::wstring(seconds).c_str()) * 1000.0 : 0.0;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD pid = FindProcess(name);
    if (untilClosed ? pid == 0 : pid != 0) return pid;
    if (timed && static_cast<double>(GetTickCount() - start) >= limitMs) return pid;
    if (Exec().Hooks.PumpMessages)
      Exec().Hooks.PumpMessages(kProcessPollMs);
    else
      Sleep(kProcessPollMs);
  }
}

// Enables the shutdown privilege in this program's token.
bool EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool done = LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  done = done && GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return done;
}

}  // namespace

DWORD FindProcess(std::wstring_view pidOrName) {
  if (pidOrName.empty()) return GetCurrentProcessId();
  static const Toolhelp toolhelp = LookUpToolhelp();
  if (!toolhelp.Snapshot || !toolhelp.First || !toolhelp.Next) return 0;
  DWORD wantedPid = 0;
  const bool byPid = WholeNumber(pidOrName, wantedPid);
  HANDLE snapshot = toolhelp.Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  // The first entry is the system's idle process, which no script means.
  if (toolhelp.First(snapshot, &entry)) {
    DWORD byName = 0;
    while (toolhelp.Next(snapshot, &entry)) {
      if (byPid && entry.th32ProcessID == wantedPid) {
        found = wantedPid;
        break;
      }
      if (!byName && EqualsIgnoringCase(entry.szExeFile, pidOrName)) byName = entry.th32ProcessID;
    }
    if (!found) found = byName;
  }
  CloseHandle(snapshot);
  return found;
}

// Process: ErrorLevel is the PID found or acted on, or 0.
ResultCode CmdProcess(ScriptLine& line, CommandArgs& args) {
  const ProcessCmdRow* row = ProcessCmdOf(args[kArgCmd]);
  if (!row) return ReportLineError(&line, system_msg::Param1Invalid, ERROR_KIND_ERROR, args[kArgCmd]);
  const std::wstring_view name(args[kArgProcess]);
  const std::wstring_view param3(args[kArgParam3]);
  DWORD result = 0;
  switch (row->Cmd) {
    case ProcessCmd::Exist: result = FindProcess(name); break;
    case ProcessCmd::Close: {
      const DWORD pid = FindProcess(name);
      result = pid && TerminateById(pid) ? pid : 0;
      break;
    }
    case ProcessCmd::Priority: {
      const DWORD priorityClass = PriorityClassOf(param3);
      const DWORD pid = priorityClass ? FindProcess(name) : 0;
      result = pid && SetPriorityById(pid, priorityClass) ? pid : 0;
      break;
    }
    case ProcessCmd::Wait: result = WaitForProcess(name, param3, false); break;
    case ProcessCmd::WaitClose: result = WaitForProcess(name, param3, true); break;
  }
  if (Variable* errorLevel = Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL))
    static_cast<void>(errorLevel->AssignInteger(result));
  return ResultCode::Ok;
}

// Shutdown: logs off, shuts down or restarts as the flags say.
ResultCode CmdShutdown(ScriptLine& /*line*/, CommandArgs& args) {
  const auto flags = static_cast<UINT>(TextToInteger(args[kArgFlags]));
  if (!EnableShutdownPrivilege() || !ExitWindowsEx(flags, 0)) return ReportOutcome(true);
  return ResultCode::Ok;
}
