// Error reports of the execution layer: the line-error dialog, load errors
// on standard error with /ErrorStdOut, and command outcomes through
// ErrorLevel or exceptions. Installed as the base layer's reporter.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "base/error_sink.h"

// A command's outcome through ErrorLevel: "0" on success, "1" on failure;
// inside a Try a failure throws an exception whose Message is "1" instead
// (ErrorLevel then keeps its value). Returns Ok, or Fail when it threw.
ResultCode ReportOutcome(bool failed);
// A command-specific outcome text: anything but "0" throws inside a Try.
ResultCode ReportOutcomeText(std::wstring_view text);
// A numeric outcome: non-zero throws inside a Try (What = `what` when given).
ResultCode ReportOutcomeNumber(int64_t value, std::wstring_view what = {});

// The dialog text of a line error, exposed for tests.
std::wstring FormatLineErrorDialog(const ScriptLine* line, std::wstring_view message, ErrorKind kind,
                                   std::wstring_view extra, bool running, bool reloading);

// The load-error texts, exposed so that tests can check the layout.
std::wstring FormatLoadErrorStdErr(std::wstring_view file, int line, std::wstring_view message,
                                   std::wstring_view extra);
std::wstring FormatLoadErrorDialog(int line, std::wstring_view includeFile, std::wstring_view message,
                                   std::wstring_view extra, bool reloading);

// Makes these the reports behind ReportLineError and ReportLoadError.
void InstallExecErrorReporter();
