// Load-time error reports. Run-time reports (the line dialog, exceptions and
// ErrorLevel outcomes) join this file with the execution loop.
#include "exec/errors.h"

#include <windows.h>

#include "base/console_output.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/exceptions.h"
#include "exec/exec_state.h"
#include "exec/render_line.h"
#include "exec/run_lines.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Longest detail text quoted in a load-error dialog.
constexpr size_t kMaxDetailShown = 100;

// Cuts `text` to at most `limit` characters, adding "..." when it was longer.
std::wstring Clip(std::wstring_view text, size_t limit) {
  if (text.size() <= limit) return std::wstring(text);
  return std::wstring(text.substr(0, limit)) + L"...";
}

// Longest message and detail texts in a line-error dialog, and the number of
// lines of context shown on each side of the error line.
constexpr size_t kMaxMessageShown = 500;
constexpr size_t kMaxLineShown = 500;
constexpr int kContextLines = 7;
constexpr size_t kMaxDialogText = 8192;

// Dialog headers by error kind.
const wchar_t* KindHeader(ErrorKind kind) {
  switch (kind) {
    case ERROR_KIND_WARNING: return L"Warning";
    case ERROR_KIND_CRITICAL: return L"Critical Error";
    default: return L"Error";
  }
}

// The last paragraph of a line-error dialog.
const wchar_t* KindLastParagraph(ErrorKind kind, bool running, bool reloading) {
  switch (kind) {
    case ERROR_KIND_WARNING:
    case ERROR_KIND_CRITICAL: return L"For more details, read the documentation for #Warn.";
    case ERROR_KIND_CONTINUABLE: return L"Continue running the script?";
    default: break;
  }
  if (running) return L"The current thread will exit.";
  return reloading ? msg::OldVersionRemains : msg::ProgramWillExit;
}

}  // namespace

std::wstring FormatLoadErrorStdErr(std::wstring_view file, int line, std::wstring_view message,
                                   std::wstring_view extra) {
  std::wstring out(file);
  out += L" (" + std::to_wstring(line) + L") : ==> ";
  out += message;
  out += L"\n";
  if (!extra.empty()) {
    out += L"     Specifically: ";
    out += extra;
    out += L"\n";
  }
  return out;
}

std::wstring FormatLoadErrorDialog(int line, std::wstring_view includeFile, std::wstring_view message,
                                   std::wstring_view extra, bool reloading) {
  std::wstring out = L"Error at line " + std::to_wstring(static_cast<unsigned>(line));
  if (!includeFile.empty()) {
    out += L" in #include file \"";
    out += includeFile;
    out += L"\"";
  }
  out += L".\n\n";
  if (!extra.empty()) out += L"Line Text: " + Clip(extra, kMaxDetailShown) + L"\nError: ";
  out += message;
  out += L"\n\n";
  out += reloading ? msg::OldVersionRemains : msg::ProgramWillExit;
  return out;
}

namespace {

// A load error at the reader's position: on standard error with
// /ErrorStdOut, otherwise in the load-error dialog.
ResultCode ShowLoadError(std::wstring_view message, std::wstring_view extra) {
  const int fileIndex = Script().CurrentFileIndex;
  const std::wstring file = fileIndex >= 0 && static_cast<size_t>(fileIndex) < Script().SourceFiles.size()
                                ? Script().SourceFiles[static_cast<size_t>(fileIndex)]
                                : Script().ScriptPath;
  if (Script().ErrorsToStdout && !Script().ReadyToRun) {
    WriteToStdHandle(STD_ERROR_HANDLE, FormatLoadErrorStdErr(file, Script().CurrentLineNumber, message, extra));
    return ResultCode::Fail;
  }
  std::wstring_view includeFile = fileIndex > 0 ? std::wstring_view(file) : std::wstring_view();
  ShowErrorBox(
      FormatLoadErrorDialog(Script().CurrentLineNumber, includeFile, message, extra, Script().RestartRequested),
      MB_OK | MB_SETFOREGROUND);
  return ResultCode::Fail;
}

}  // namespace

std::wstring FormatLineErrorDialog(const ScriptLine* line, std::wstring_view message, ErrorKind kind,
                                   std::wstring_view extra, bool running, bool reloading) {
  std::wstring out = KindHeader(kind);
  if (line && line->SourceIndex > 0) {
    out += L" in #include file \"" + SourceFileOf(line) + L"\":\n     ";
  } else {
    out += L":  ";
  }
  out += message.substr(0, kMaxMessageShown);
  out += L"\n\n";
  if (!extra.empty()) out += L"Specifically: " + Clip(extra, kMaxDetailShown) + L"\n\n";
  if (line) {
    out += L"\tLine#\n";
    // Seam: when the main window is not allowed, only the error line shows.
    const ScriptLine* first = line;
    for (int i = 0; i < kContextLines && first->PreviousLine; ++i) first = first->PreviousLine;
    const ScriptLine* last = line;
    for (int i = 0; i < kContextLines && last->FollowingLine; ++i) last = last->FollowingLine;
    for (const ScriptLine* at = first;; at = at->FollowingLine) {
      out += at == line ? L"--->\t" : L"\t";
      out += RenderLine(*at, kMaxLineShown);
      out += L"\n";
      if (at == last) break;
    }
  }
  out += L"\n";
  out += KindLastParagraph(kind, running, reloading);
  if (out.size() > kMaxDialogText) out.resize(kMaxDialogText);
  return out;
}

namespace {

// A line error: an exception inside a Try or with OnError callbacks,
// otherwise the line-error dialog (or standard error with /ErrorStdOut).
ResultCode ShowLineError(const ScriptLine* line, std::wstring_view message, ErrorKind kind, std::wstring_view extra) {
  // Inside a Try, or with OnError callbacks to see it, an error becomes an
  // exception.
  if ((kind == ERROR_KIND_ERROR || kind == ERROR_KIND_CONTINUABLE) && Script().ReadyToRun &&
      (Values().CurrentThread->ExceptionMode != 0 ||
       (Exec().Hooks.HasErrorFunctions && Exec().Hooks.HasErrorFunctions())))
    return RaiseException(line, message, {}, extra);
  const int lineNumber = line ? line->SourceLine : Script().CurrentLineNumber;
  if (CurrentLoadErrorSink() && !Script().ReadyToRun) {
    CurrentLoadErrorSink()(message, extra, lineNumber);
    return ResultCode::Fail;
  }
  if (Script().ErrorsToStdout && !Script().ReadyToRun && kind != ERROR_KIND_WARNING) {
    WriteToStdHandle(STD_ERROR_HANDLE, FormatLoadErrorStdErr(SourceFileOf(line), lineNumber, message, extra));
    return ResultCode::Fail;
  }
  UINT buttons = kind == ERROR_KIND_CONTINUABLE ? MB_YESNO : MB_OK;
  ShowErrorBox(FormatLineErrorDialog(line, message, kind, extra, Script().ReadyToRun, Script().RestartRequested),
               buttons | MB_TOPMOST);
  // Seam: answering No to a continuable error ends the program.
  return ResultCode::Fail;
}

// The ErrorLevel variable, created when loading finishes.
Variable* ErrorLevelVar() { return Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

// True when a failure must be thrown rather than stored in ErrorLevel.
bool ThrowsOutcome() { return (Values().CurrentThread->ExceptionMode & EXCEPTION_MODE_TRY) != 0; }

}  // namespace

void InstallExecErrorReporter() { InstallErrorReporter({ShowLineError, ShowLoadError}); }

ResultCode ReportOutcome(bool failed) {
  if (failed && ThrowsOutcome()) return RaiseException(Script().CurrentLine, L"1");
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(ErrorLevelVar()->Assign(failed ? L"1" : L"0"));
  return ResultCode::Ok;
}

ResultCode ReportOutcomeText(std::wstring_view text) {
  if (text != L"0" && ThrowsOutcome()) return RaiseException(Script().CurrentLine, text);
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(ErrorLevelVar()->Assign(text));
  return ResultCode::Ok;
}

ResultCode ReportOutcomeNumber(int64_t value, std::wstring_view what) {
  if (value != 0 && ThrowsOutcome()) return RaiseException(Script().CurrentLine, std::to_wstring(value), what);
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(ErrorLevelVar()->AssignInteger(value));
  return ResultCode::Ok;
}
