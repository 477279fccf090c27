// Error reporting: every problem found while loading or running a script is
// reported once, here, as a message box or (for load errors with
// /ErrorStdOut) on standard error. Callers then return ResultCode::Fail.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "exec/result_code.h"

// Fixed message texts of the loader and start-up.
namespace msg {
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t CouldNotExtract[] = L"Could not extract script from EXE.";
inline constexpr wchar_t ContinuationTooLong[] = L"Continuation section too long.";
inline constexpr wchar_t MissingCloseParen[] = L"Missing \")\"";
inline constexpr wchar_t ProgramWillExit[] = L"The program will exit.";
inline constexpr wchar_t OldVersionRemains[] =
    L"The script was not reloaded; the old version will remain in effect.";
inline constexpr wchar_t UnknownError[] = L"Unk";
inline constexpr wchar_t ScriptFileNotFound[] = L"Script file not found.";
inline constexpr wchar_t NoScriptFile[] = L"No script file was given.";
}  // namespace msg

struct ScriptLine;

// Kinds of line errors; each has its own dialog header and last paragraph.
enum ErrorKind : int {
  ERROR_KIND_ERROR = 0,        // the thread (or the load) stops
  ERROR_KIND_WARNING = 1,
  ERROR_KIND_CRITICAL = 2,
  ERROR_KIND_CONTINUABLE = 8,  // the user may choose to go on
};

// Reports an error of a script line, at load time or while it runs.
ResultCode ReportLineError(const ScriptLine* line, std::wstring_view message, ErrorKind kind = ERROR_KIND_ERROR,
                           std::wstring_view extra = {});

// The full path of the file a line comes from (the script for null).
std::wstring SourceFileOf(const ScriptLine* line);

// The dialog text of a line error, exposed for tests.
std::wstring FormatLineErrorDialog(const ScriptLine* line, std::wstring_view message, ErrorKind kind,
                                   std::wstring_view extra, bool running, bool reloading);

// A command's outcome through ErrorLevel: "0" on success, "1" on failure;
// inside a Try a failure throws an exception whose Message is "1" instead
// (ErrorLevel then keeps its value). Returns Ok, or Fail when it threw.
ResultCode ReportOutcome(bool failed);
// A command-specific outcome text: anything but "0" throws inside a Try.
ResultCode ReportOutcomeText(std::wstring_view text);
// A numeric outcome: non-zero throws inside a Try (What = `what` when given).
ResultCode ReportOutcomeNumber(int64_t value, std::wstring_view what = {});

// Reports a load-time error not tied to a finished script line, at the
// reader's current file and line. `extra` is the offending text or empty.
ResultCode ReportLoadError(std::wstring_view message, std::wstring_view extra = {});

// Receives load errors in place of the dialog or standard error; for tools
// and tests that load scripts without a user to see the report. Null
// restores the normal report.
using LoadErrorSink = void (*)(std::wstring_view message, std::wstring_view extra, int lineNumber);
void SetLoadErrorSink(LoadErrorSink sink);

// The load-error texts, exposed so that tests can check the layout.
std::wstring FormatLoadErrorStdErr(std::wstring_view file, int line, std::wstring_view message,
                                   std::wstring_view extra);
std::wstring FormatLoadErrorDialog(int line, std::wstring_view includeFile, std::wstring_view message,
                                   std::wstring_view extra, bool reloading);
