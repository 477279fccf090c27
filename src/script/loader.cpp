// Finding the script text and feeding its logical lines to the parser.
#include "script/loader.h"

#include <windows.h>

#include <memory>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "script/block_linker.h"
#include "script/declaration_hooks.h"
#include "script/directives.h"
#include "script/include_files.h"
#include "script/line_parser.h"
#include "script/script_lines.h"
#include "script/script_reader.h"
#include "script/text_stream.h"
#include "values/expr_compiler.h"
#include "values/values_state.h"

namespace {

// Code page of script text unless a byte-order mark says otherwise.
constexpr UINT kScriptCodePage = CP_UTF8;
constexpr uint32_t kScriptStreamFlags = TextStream::READ | TextStream::EOL_CRLF | TextStream::EOL_ORPHAN_CR;

// Opens the embedded script resource as a stream, or shows the extraction
// error and returns null.
std::unique_ptr<TextStream> OpenEmbeddedScript() {
  HRSRC found = FindResourceW(nullptr, kScriptResourceName, MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!found) found = FindResourceW(nullptr, kScriptResourceNameWithIcon, MAKEINTRESOURCEW(10));
  DWORD size = found ? SizeofResource(nullptr, found) : 0;
  HGLOBAL loaded = size ? LoadResource(nullptr, found) : nullptr;
  void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    ShowErrorBox(msg::CouldNotExtract, MB_OK, Script().ScriptPath);
    return nullptr;
  }
  auto stream = std::make_unique<TextMem>();
  TextMem::Buffer buffer{data, size, false};
  if (!stream->Open(reinterpret_cast<const wchar_t*>(&buffer), kScriptStreamFlags, kScriptCodePage)) {
    ShowErrorBox(msg::CouldNotExtract, MB_OK, Script().ScriptPath);
    return nullptr;
  }
  return stream;
}

// Opens the script file named on the command line, or reports why not.
std::unique_ptr<TextStream> OpenScriptFile() {
  auto stream = std::make_unique<TextFile>();
  if (!OpenScriptFileStream(Script().ScriptPath, *stream)) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLoadError(msg::ScriptFileNotFound, Script().ScriptPath));
    return nullptr;
  }
  return stream;
}

}  // namespace

ResultCode LoadScript() {
  ScriptContext& s = Script();
  if (s.SourceFiles.empty()) s.SourceFiles.push_back(s.ScriptPath);
  s.CurrentFileIndex = 0;
  const bool embedded = s.Origin == ScriptOrigin::Resource;
  // An embedded script's line 0 is the compiler's marker; a file starts at 1.
  const int firstLine = embedded ? 0 : 1;
  s.CurrentLineNumber = firstLine;
  std::unique_ptr<TextStream> stream = embedded ? OpenEmbeddedScript() : OpenScriptFile();
  if (!stream) return ResultCode::Fail;

  try {
    CreatePlaceholderLabel();
    if (ReadMainScript(*stream, firstLine) != ResultCode::Ok) return ResultCode::Fail;
    if (FlushPendingLine() != ResultCode::Ok) return ResultCode::Fail;
    return FinishLoad();
  } catch (const std::bad_alloc&) {
    return ReportLoadError(msg::OutOfMemory);
  }
}

ResultCode FinishLoad() {
  ScriptContext& s = Script();
  if (CheckClassesClosed() != ResultCode::Ok) return ResultCode::Fail;
  // The end of the auto-execute section when no hotkey ends it earlier.
  if (!AppendScriptLine(ACT_EXIT, nullptr, 0, false)) return ResultCode::Fail;
  // Seams, in order: expression compiling (with function references),
  // static initialisers and "#If" lines, class resolution and the
  // load-time warnings.
  if (CompileAllExpressions(s.FirstScriptLine) != ResultCode::Ok) return ResultCode::Fail;
  MoveStaticInitializers();
  FinishLoadedFunctionScopes();
  if (LinkClasses() != ResultCode::Ok) return ResultCode::Fail;
  if (!s.StartupWorkDir.empty()) SetCurrentDirectoryW(s.StartupWorkDir.c_str());
  // Every control statement then has a body, and every jump past a body a
  // line to land on.
  ++s.CurrentLineNumber;
  for (int i = 0; i < 2; ++i)
    if (!AppendScriptLine(ACT_EXIT, nullptr, 0, false)) return ResultCode::Fail;
  if (s.PlaceholderLabel) s.PlaceholderLabel->MarkedLine = s.LastScriptLine;
  if (LinkScriptBlocks(s.FirstScriptLine) != ResultCode::Ok) return ResultCode::Fail;
  if (ResolveJumps(s.FirstScriptLine) != ResultCode::Ok) return ResultCode::Fail;
  // Assign reports its own failure (memory limit, out of memory).
  static_cast<void>(Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL)->Assign(L"0"));
  // Seam: the random-number generator is seeded here.
  return ResultCode::Ok;
}
