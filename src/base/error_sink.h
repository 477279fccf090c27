// The error sink: how every layer reports a problem found while loading or
// running a script, without knowing how it is shown. The execution layer
// installs the reporter (exceptions, the line dialog, standard error); the
// GUI installs the dialog; tools and tests may take load errors themselves.
// Every report happens once; callers then return ResultCode::Fail.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result_code.h"

// Fixed message texts of the loader and start-up.
namespace msg {
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t CouldNotExtract[] = L"Could not extract script from EXE.";
inline constexpr wchar_t ContinuationTooLong[] = L"Continuation section too long.";
inline constexpr wchar_t MissingCloseParen[] = L"Missing \")\"";
inline constexpr wchar_t ProgramWillExit[] = L"The program will exit.";
inline constexpr wchar_t OldVersionRemains[] = L"The script was not reloaded; the old version will remain in effect.";
inline constexpr wchar_t UnknownError[] = L"Unk";
inline constexpr wchar_t ScriptFileNotFound[] = L"Script file not found.";
inline constexpr wchar_t NoScriptFile[] = L"No script file was given.";
}  // namespace msg

struct ScriptLine;

// Kinds of line errors; each has its own dialog header and last paragraph.
enum ErrorKind : int {
  ERROR_KIND_ERROR = 0,  // the thread (or the load) stops
  ERROR_KIND_WARNING = 1,
  ERROR_KIND_CRITICAL = 2,
  ERROR_KIND_CONTINUABLE = 8,  // the user may choose to go on
};

// Reports an error of a script line, at load time or while it runs.
ResultCode ReportLineError(const ScriptLine* line, std::wstring_view message, ErrorKind kind = ERROR_KIND_ERROR,
                           std::wstring_view extra = {});

// The full path of the file a line comes from (the script for null).
std::wstring SourceFileOf(const ScriptLine* line);

// Reports a load-time error not tied to a finished script line, at the
// reader's current file and line. `extra` is the offending text or empty.
ResultCode ReportLoadError(std::wstring_view message, std::wstring_view extra = {});

// Receives load errors in place of the dialog or standard error; for tools
// and tests that load scripts without a user to see the report. Null
// restores the normal report.
using LoadErrorSink = void (*)(std::wstring_view message, std::wstring_view extra, int lineNumber);
void SetLoadErrorSink(LoadErrorSink sink);

// Receives load errors in place of the normal report while set.
LoadErrorSink CurrentLoadErrorSink();

// The reporter the execution layer installs at start-up. Until then a
// report goes to standard error, so nothing is ever lost.
struct ErrorReporter {
  ResultCode (*LineError)(const ScriptLine* line, std::wstring_view message, ErrorKind kind,
                          std::wstring_view extra) = nullptr;
  ResultCode (*LoadError)(std::wstring_view message, std::wstring_view extra) = nullptr;
};
void InstallErrorReporter(const ErrorReporter& reporter);

// Shows a message box; the GUI installs the real dialog. Until then the text
// goes to standard error and the answer is IDOK.
using MessageBoxHook = int (*)(std::wstring_view text, UINT type, std::wstring_view title);
void InstallMessageBox(MessageBoxHook hook);
int ShowErrorBox(std::wstring_view text, UINT type, std::wstring_view title = {});
