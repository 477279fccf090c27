// The launch routine, Run, RunWait and RunAs (see run_program.h).
//
// A target without a verb is first tried as a command line
// (CreateProcessW, or CreateProcessWithLogonW under RunAs); anything that
// fails there, and every verb, goes to ShellExecuteExW, which opens
// documents and URLs with their programs.
#include "system/run_program.h"

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "system/messages.h"
#include "system/system_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Argument positions of Run and RunWait, and of RunAs.
enum : int { kArgTarget = 0, kArgWorkingDir = 1, kArgOptions = 2, kArgOutputPid = 3 };
enum : int { kArgUser = 0, kArgPassword = 1, kArgDomain = 2 };

// The longest target the routine accepts.
constexpr size_t kMaxTargetChars = 16384;
// How much of a file or parameter text an error message shows.
constexpr size_t kShownChars = 400;
// The longest system error text shown.
constexpr DWORD kMaxErrorTextChars = 512;
// CreateProcessWithLogonW's logon flag.
constexpr DWORD kLogonWithProfile = 0x00000001;

// The verbs the shell knows without a leading "*".
constexpr std::wstring_view kSystemVerbs[] = {L"find", L"explore", L"open", L"edit", L"print", L"properties"};
// Extensions that mark the end of a program path in an unquoted command line.
constexpr std::wstring_view kDirectExtensions[] = {L".exe", L".bat", L".com", L".cmd", L".hta"};

// The show modes the options can ask for, in the order they are looked for.
struct ShowWord {
  std::wstring_view Word;
  WORD Show;
};
constexpr ShowWord kShowWords[] = {{L"MIN", SW_MINIMIZE}, {L"MAX", SW_MAXIMIZE}, {L"HIDE", SW_HIDE}};

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && (a.empty() || CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                                    static_cast<int>(b.size()), TRUE) == CSTR_EQUAL);
}

// Whether `part` occurs in `text` ignoring case.
bool ContainsIgnoringCase(std::wstring_view text, std::wstring_view part) {
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (EqualsIgnoringCase(text.substr(i, part.size()), part)) return true;
  return false;
}

bool IsSystemVerb(std::wstring_view word) {
  for (std::wstring_view verb : kSystemVerbs)
    if (EqualsIgnoringCase(word, verb)) return true;
  return false;
}

// The show mode the options ask for.
WORD ShowModeOf(std::wstring_view options) {
  for (const ShowWord& word : kShowWords)
    if (ContainsIgnoringCase(options, word.Word)) return word.Show;
  return SW_SHOWNORMAL;
}

// The target split into verb, file and parameters.
struct LaunchParts {
  std::wstring Verb;
  std::wstring File;
  std::wstring Parameters;
  bool ParametersGiven = false;  // separate parameters, used as they are
};

// Finds a verb at the start of the target ("*Verb" or a system verb).
LaunchParts SplitVerb(const LaunchRequest& request) {
  LaunchParts parts;
  if (!request.Parameters.empty()) {
    parts.ParametersGiven = true;
    if (IsSystemVerb(request.Target)) {
      parts.Verb = request.Target;
      parts.File = request.Parameters;
    } else {
      parts.File = request.Target;
      parts.Parameters = request.Parameters;
    }
    return parts;
  }
  const std::wstring_view target = request.Target;
  const size_t blank = target.find_first_of(L" \t");
  const std::wstring_view word = target.substr(0, blank);
  const std::wstring_view rest = blank == std::wstring_view::npos ? std::wstring_view() : target.substr(blank + 1);
  if (!word.empty() && word.front() == L'*') {
    parts.Verb = word.substr(1);
    parts.File = rest;
  } else if (IsSystemVerb(word)) {
    parts.Verb = word;
    parts.File = rest;
  } else {
    parts.File = target;
  }
  return parts;
}

// Whether a path names an existing file that is not a folder.
bool IsExistingFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the extension ending at `space` marks a program path.
bool EndsInProgramPath(std::wstring_view text, size_t space) {
  const size_t mark = text.find_last_of(L".\\/", space == 0 ? 0 : space - 1);
  if (mark == std::wstring_view::npos || text[mark] != L'.') return false;
  const std::wstring_view extension = text.substr(mark, space - mark);
  if (extension.size() == 4)
    for (std::wstring_view known : kDirectExtensions)
      if (EqualsIgnoringCase(extension, known)) return true;
  return IsExistingFile(std::wstring(text.substr(0, space)));
}

// Splits a single command text into file and parameters for the shell.
void SplitForShell(LaunchParts& parts, std::wstring_view workingDir) {
  if (parts.ParametersGiven) return;
  const std::wstring text = parts.File;
  if (!text.empty() && text.front() == L'"') {
    const size_t close = text.find(L'"', 1);
    if (close != std::wstring::npos) {
      parts.File = text.substr(1, close - 1);
      size_t after = close + 1;
      if (after < text.size() && text[after] == L' ') ++after;
      parts.Parameters = text.substr(after);
      return;
    }
  }
  // Existence tests are relative to the working directory of the launch.
  wchar_t saved[MAX_PATH] = {};
  const bool changed = !workingDir.empty() && GetCurrentDirectoryW(MAX_PATH, saved) &&
                       SetCurrentDirectoryW(std::wstring(workingDir).c_str());
  for (size_t space = text.find(L' '); space != std::wstring::npos; space = text.find(L' ', space + 1)) {
    if (!EndsInProgramPath(text, space)) continue;
    parts.File = text.substr(0, space);
    parts.Parameters = text.substr(space + 1);
    break;
  }
  if (changed) SetCurrentDirectoryW(saved);
}

// Hands a started process to the caller (or closes it) and stores its PID.
void DeliverProcess(const LaunchRequest& request, HANDLE process, DWORD pid) {
  if (request.OutputPid) static_cast<void>(request.OutputPid->AssignInteger(pid));
  if (request.ProcessHandle)
    *request.ProcessHandle = process;
  else if (process)
    CloseHandle(process);
}

// CreateProcessWithLogonW, loaded at run time.
using CreateProcessWithLogonFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                               LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// Why a launch failed: a message of its own, or the system's error code.
struct LaunchFailure {
  const wchar_t* Message = nullptr;  // a fixed message; null = the launch error with the code
  DWORD Code = 0;
};

// The direct attempt: the command line as one process. True when it started.
bool StartDirectly(const LaunchRequest& request, const LaunchParts& parts, WORD show, bool runAs,
                   LaunchFailure& failure) {
  std::wstring commandLine = std::wstring(request.Target);
  if (parts.ParametersGiven) commandLine = parts.File + L" " + parts.Parameters;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  PROCESS_INFORMATION info{};
  const std::wstring workingDir(request.WorkingDir);
  const wchar_t* directory = workingDir.empty() ? nullptr : workingDir.c_str();
  BOOL started = FALSE;
  if (!runAs) {
    started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &info);
  } else {
    HMODULE advapi = LoadLibraryW(L"advapi32");
    if (!advapi) {
      failure.Message = system_msg::RunAsNoAdvapi;
      return false;
    }
    auto logon = reinterpret_cast<CreateProcessWithLogonFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "CreateProcessWithLogonW")));
    if (!logon) {
      failure.Message = system_msg::RunAsNoLogonFunction;
      return false;
    }
    const RunAsCredentials& who = System().RunAs;
    started = logon(who.User.c_str(), who.Domain.c_str(), who.Password.c_str(), kLogonWithProfile, nullptr,
                    commandLine.data(), 0, nullptr, directory, &startup, &info);
  }
  if (!started) {
    failure.Code = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  DeliverProcess(request, info.hProcess, info.dwProcessId);
  return true;
}

// The shell attempt: documents, URLs, verbs and programs on the path.
bool StartThroughShell(const LaunchRequest& request, LaunchParts& parts, WORD show, LaunchFailure& failure) {
  SplitForShell(parts, request.WorkingDir);
  const std::wstring workingDir(request.WorkingDir);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  if (EqualsIgnoringCase(parts.Verb, L"properties")) info.fMask |= SEE_MASK_INVOKEIDLIST;
  info.lpVerb = parts.Verb.empty() ? nullptr : parts.Verb.c_str();
  info.lpFile = parts.File.c_str();
  info.lpParameters = parts.Parameters.empty() ? nullptr : parts.Parameters.c_str();
  info.lpDirectory = workingDir.empty() ? nullptr : workingDir.c_str();
  info.nShow = show;
  if (!ShellExecuteExW(&info)) {
    failure.Code = GetLastError();
    return false;
  }
  DeliverProcess(request, info.hProcess, info.hProcess ? GetProcessId(info.hProcess) : 0);
  return true;
}

// Up to 400 characters of a text, with "..." when it was longer.
std::wstring Shortened(std::wstring_view text) {
  if (text.size() <= kShownChars) return std::wstring(text);
  return std::wstring(text.substr(0, kShownChars)) + L"...";
}

// The system's text for an error code.
std::wstring SystemErrorText(DWORD code) {
  wchar_t buffer[kMaxErrorTextChars] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                 kMaxErrorTextChars, nullptr);
  return buffer;
}

// Reports a failed launch (when errors are shown) and records the error.
ResultCode LaunchFailed(const ScriptLine* line, const LaunchRequest& request, const LaunchParts& parts, bool runAs,
                        const LaunchFailure& failure) {
  if (request.UpdateLastError) Values().CurrentThread->LastErrorCode = failure.Code;
  if (!request.ShowErrors) return ResultCode::Fail;
  if (failure.Message) return ReportLineError(line, failure.Message);
  std::wstring message = runAs ? system_msg::LaunchErrorRunAs : system_msg::LaunchError;
  message += L"\nAction: <" + Shortened(parts.File) + L">";
  if (!parts.Verb.empty()) message += L"\nVerb: <" + parts.Verb + L">";
  message += L"\nParams: <" + Shortened(parts.Parameters) + L">";
  return ReportLineError(line, message, ERROR_KIND_ERROR, SystemErrorText(failure.Code));
}

// Whether RunAs credentials are set.
bool RunAsInForce() {
  const RunAsCredentials& who = System().RunAs;
  return !who.User.empty() || !who.Password.empty() || !who.Domain.empty();
}

// Waits for a process to end, running the message loop; its exit code.
DWORD WaitForExit(HANDLE process) {
  DWORD code = 0;
  while (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) {
    if (Exec().Hooks.PumpMessages)
      Exec().Hooks.PumpMessages(kPumpDefaultPass);
    else
      WaitForSingleObject(process, INFINITE);
  }
  CloseHandle(process);
  return code;
}

}  // namespace

ResultCode LaunchProgram(const ScriptLine* line, const LaunchRequest& request) {
  if (request.OutputPid) static_cast<void>(request.OutputPid->Assign(L""));
  if (request.Target.empty()) return ResultCode::Ok;
  LaunchParts parts = SplitVerb(request);
  const bool runAs = request.UseRunAs && RunAsInForce();
  if (runAs && !parts.Verb.empty())
    return LaunchFailed(line, request, parts, runAs, {system_msg::RunAsNoVerbs, ERROR_INVALID_PARAMETER});
  if (parts.File.size() > kMaxTargetChars)
    return LaunchFailed(line, request, parts, runAs, {system_msg::StringTooLong, ERROR_INVALID_PARAMETER});
  const WORD show = ShowModeOf(request.Options);
  LaunchFailure failure;
  bool started = false;
  if (parts.Verb.empty()) {
    started = StartDirectly(request, parts, show, runAs, failure);
    if (!started && (runAs || failure.Message)) return LaunchFailed(line, request, parts, runAs, failure);
  }
  if (!started) started = StartThroughShell(request, parts, show, failure);
  if (!started) return LaunchFailed(line, request, parts, runAs, failure);
  if (request.UpdateLastError) Values().CurrentThread->LastErrorCode = 0;
  return ResultCode::Ok;
}

// Run and RunWait: with UseErrorLevel a failure is ErrorLevel "ERROR"
// instead of an error; RunWait's ErrorLevel is the program's exit code.
ResultCode CmdRun(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view options(args[kArgOptions]);
  const bool useErrorLevel = ContainsIgnoringCase(options, L"UseErrorLevel");
  const bool wait = line.CommandIndex == ACT_RUNWAIT;
  HANDLE process = nullptr;
  LaunchRequest request;
  request.Target = args[kArgTarget];
  request.WorkingDir = args[kArgWorkingDir];
  request.Options = options;
  request.ShowErrors = !useErrorLevel;
  request.UpdateLastError = useErrorLevel;
  request.ProcessHandle = wait ? &process : nullptr;
  request.OutputPid = kArgOutputPid < args.Count ? args.Var[kArgOutputPid] : nullptr;
  Variable* errorLevel = Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL);
  if (LaunchProgram(&line, request) != ResultCode::Ok) {
    if (!useErrorLevel) return ResultCode::Fail;
    static_cast<void>(errorLevel->Assign(L"ERROR"));
    return ResultCode::Ok;
  }
  if (!wait) {
    if (useErrorLevel) static_cast<void>(errorLevel->Assign(L"0"));
    return ResultCode::Ok;
  }
  const DWORD exitCode = process ? WaitForExit(process) : 0;
  static_cast<void>(errorLevel->AssignInteger(exitCode));
  return ResultCode::Ok;
}

// RunAs: replaces the credentials; without parameters it turns RunAs off.
ResultCode CmdRunAs(ScriptLine& /*line*/, CommandArgs& args) {
  RunAsCredentials& who = System().RunAs;
  who.User = args[kArgUser];
  who.Password = args[kArgPassword];
  who.Domain = args[kArgDomain];
  return ResultCode::Ok;
}
