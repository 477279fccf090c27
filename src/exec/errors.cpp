// Load-time error reports. Run-time reports (the line dialog, exceptions and
// ErrorLevel outcomes) join this file with the execution loop.
#include "exec/errors.h"

#include <windows.h>

#include "app/console_output.h"
#include "app/script_context.h"
#include "gui/message_box.h"

namespace {

// Longest detail text quoted in a load-error dialog.
constexpr size_t kMaxDetailShown = 100;

// Cuts `text` to at most `limit` characters, adding "..." when it was longer.
std::wstring Clip(std::wstring_view text, size_t limit) {
  if (text.size() <= limit) return std::wstring(text);
  return std::wstring(text.substr(0, limit)) + L"...";
}

// Set by tools and tests that take load errors themselves; null otherwise.
LoadErrorSink g_loadErrorSink = nullptr;

}  // namespace

void SetLoadErrorSink(LoadErrorSink sink) { g_loadErrorSink = sink; }

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

ResultCode ReportLoadError(std::wstring_view message, std::wstring_view extra) {
  // Seam: once lines have records, an error on the line being parsed is
  // reported with its line context instead.
  if (message.empty()) message = msg::UnknownError;
  if (g_loadErrorSink) {
    g_loadErrorSink(message, extra, g_script.CurrentLineNumber);
    return ResultCode::Fail;
  }
  const int fileIndex = g_script.CurrentFileIndex;
  const std::wstring file = fileIndex >= 0 && static_cast<size_t>(fileIndex) < g_script.SourceFiles.size()
                                ? g_script.SourceFiles[static_cast<size_t>(fileIndex)]
                                : g_script.ScriptPath;
  if (g_script.ErrorsToStdout && !g_script.ReadyToRun) {
    WriteToStdHandle(STD_ERROR_HANDLE, FormatLoadErrorStdErr(file, g_script.CurrentLineNumber, message, extra));
    return ResultCode::Fail;
  }
  std::wstring_view includeFile = fileIndex > 0 ? std::wstring_view(file) : std::wstring_view();
  ShowMessageBox(FormatLoadErrorDialog(g_script.CurrentLineNumber, includeFile, message, extra,
                                       g_script.RestartRequested),
                 MB_OK | MB_SETFOREGROUND);
  return ResultCode::Fail;
}
