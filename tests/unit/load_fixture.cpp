// In-memory script loading for tests.
#include "load_fixture.h"

#include <gtest/gtest.h>

#include "base/script_context.h"
#include "exec/errors.h"
#include "script/line_parser.h"
#include "script/loader.h"
#include "script/script_lines.h"
#include "script/script_reader.h"
#include "script/text_stream.h"
#include "values/builtin_vars.h"
#include "values/variable.h"

namespace {

LoadOutcome* g_outcome = nullptr;

void CaptureError(std::wstring_view message, std::wstring_view extra, int line) {
  if (!g_outcome || g_outcome->ErrorLine >= 0) return;
  g_outcome->Error.assign(message);
  g_outcome->ErrorExtra.assign(extra);
  g_outcome->ErrorLine = line;
}

// Forgets the previous load's lines and labels (their memory stays in the
// pool, as it would for the life of a process).
void ResetScript() {
  ScriptContext& s = Script();
  s.FirstScriptLine = s.LastScriptLine = nullptr;
  s.FirstLabel = s.LastLabel = nullptr;
  s.PlaceholderLabel = nullptr;
  s.LabelsAwaitingLine = 0;
  s.Syntax = SyntaxChars();
  s.ReadyToRun = false;
  ResetLineParser();
}

}  // namespace

LoadOutcome LoadText(const std::string& utf8, LoadDepth depth) {
  LoadOutcome out;
  ResetScript();
  InstallBuiltInVariables();
  g_outcome = &out;
  SetLoadErrorSink(CaptureError);
  TextMem stream;
  TextMem::Buffer buffer{const_cast<char*>(utf8.data()), static_cast<uint32_t>(utf8.size()), false};
  stream.Open(reinterpret_cast<const wchar_t*>(&buffer),
              TextStream::READ | TextStream::EOL_CRLF | TextStream::EOL_ORPHAN_CR, CP_UTF8);
  CreatePlaceholderLabel();
  ScriptReader reader(stream, Script().Syntax, 1);
  out.Result = reader.ReadAll(ClassifyLine, nullptr);
  if (out.Result == ResultCode::Ok) out.Result = FlushPendingLine();
  if (out.Result == ResultCode::Ok && depth == LoadDepth::Full) out.Result = FinishLoad();
  for (ScriptLine* line = Script().FirstScriptLine; line; line = line->FollowingLine) out.Lines.push_back(line);
  SetLoadErrorSink(nullptr);
  g_outcome = nullptr;
  return out;
}

std::wstring ArgTextOf(const ArgRecord& arg) {
  if (arg.ResolvedVar) return arg.ResolvedVar->Name();
  return std::wstring(arg.Content, arg.ContentLength);
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

void ExpectLoadErrors(const std::vector<LoadErrorCase>& cases, LoadDepth depth) {
  for (const LoadErrorCase& c : cases) {
    SCOPED_TRACE(c.Script);
    LoadOutcome got = LoadText(c.Script, depth);
    EXPECT_EQ(got.Result, ResultCode::Fail);
    EXPECT_EQ(got.Error, c.Message);
    EXPECT_EQ(got.ErrorLine, c.Line);
  }
}
