// Reports go to whatever the upper layers installed; before that, to
// standard error, so that no report is ever lost.
#include "base/error_sink.h"

#include "base/base_state.h"
#include "base/console_output.h"
#include "base/script_context.h"
#include "base/script_line.h"

namespace state_detail {
BaseState base;
}  // namespace state_detail

void ResetBaseState() {
  BaseState& state = Base();
  state.Reporter = {};
  state.MessageBox = nullptr;
  state.LoadSink = nullptr;
}

void SetLoadErrorSink(LoadErrorSink sink) { Base().LoadSink = sink; }

LoadErrorSink CurrentLoadErrorSink() { return Base().LoadSink; }

void InstallErrorReporter(const ErrorReporter& reporter) { Base().Reporter = reporter; }

void InstallMessageBox(MessageBoxHook hook) { Base().MessageBox = hook; }

int ShowErrorBox(std::wstring_view text, UINT type, std::wstring_view title) {
  if (Base().MessageBox) return Base().MessageBox(text, type, title);
  std::wstring shown(title);
  if (!shown.empty()) shown += L": ";
  shown += text;
  shown += L"\n";
  WriteToStdHandle(STD_ERROR_HANDLE, shown);
  return IDOK;
}

namespace {

// A report made before any reporter is installed: where, what and the
// offending text, in the plain message box (standard error until the GUI
// installs the dialog).
ResultCode ShowPlainReport(std::wstring where, std::wstring_view message, std::wstring_view extra) {
  where += message;
  if (!extra.empty()) where += L" (" + std::wstring(extra) + L")";
  ShowErrorBox(where, MB_OK);
  return ResultCode::Fail;
}

}  // namespace

ResultCode ReportLineError(const ScriptLine* line, std::wstring_view message, ErrorKind kind, std::wstring_view extra) {
  if (Base().Reporter.LineError) return Base().Reporter.LineError(line, message, kind, extra);
  return ShowPlainReport(SourceFileOf(line) + L" (" + std::to_wstring(line ? line->SourceLine : 0) + L"): ", message,
                         extra);
}

ResultCode ReportLoadError(std::wstring_view message, std::wstring_view extra) {
  if (message.empty()) message = msg::UnknownError;
  if (Base().LoadSink) {
    Base().LoadSink(message, extra, Script().CurrentLineNumber);
    return ResultCode::Fail;
  }
  if (Base().Reporter.LoadError) return Base().Reporter.LoadError(message, extra);
  return ShowPlainReport(L"line " + std::to_wstring(Script().CurrentLineNumber) + L": ", message, extra);
}

std::wstring SourceFileOf(const ScriptLine* line) {
  size_t index = line ? line->SourceIndex : 0;
  if (index < Script().SourceFiles.size()) return Script().SourceFiles[index];
  return Script().ScriptPath;
}
