// The read loop (see read_loop.h).
//
// Lines longer than the line limit arrive in pieces, one iteration each, so
// no text is lost and memory stays bounded whatever the file holds.
#include "exec/read_loop.h"

#include <memory>
#include <string>

#include "exec/command_args.h"
#include "exec/loop_iteration.h"
#include "script/file_encoding.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Longest piece of a line one iteration receives.
constexpr uint32_t kMaxLineChars = 65535;
// Longest output file name the loop keeps.
constexpr size_t kMaxOutputNameChars = 259;

// Restores the enclosing read loop when this one ends.
class LoopReadGuard {
 public:
  explicit LoopReadGuard(LoopReadRecord* current) : saved_(Values().CurrentThread->LoopRead) {
    Values().CurrentThread->LoopRead = current;
  }
  ~LoopReadGuard() { Values().CurrentThread->LoopRead = saved_; }
  LoopReadGuard(const LoopReadGuard&) = delete;
  LoopReadGuard& operator=(const LoopReadGuard&) = delete;

 private:
  LoopReadRecord* saved_;
};

}  // namespace

// Opens the input, then one iteration per line until the text runs out.
ResultCode RunReadLoop(ScriptLine& loopLine, ScriptLine* untilLine, CommandArgs& args, ScriptLine*& jumpToLine) {
  const wchar_t* inputName = args[1];
  if (!*inputName) return ResultCode::Ok;
  TextFile input;
  const UINT codePage = Values().CurrentThread->FileCodePage & kCodePageMask;
  if (!input.Open(inputName,
                  TextStream::READ | TextStream::TS_CRLF | TextStream::TS_LONE_CR | TextStream::SHARE_READ |
                      TextStream::SHARE_WRITE,
                  codePage))
    return ResultCode::Ok;
  std::wstring outputName(args[2]);
  if (outputName.size() > kMaxOutputNameChars) outputName.resize(kMaxOutputNameChars);
  LoopReadRecord record;
  record.Output.FileName = outputName.c_str();
  std::unique_ptr<wchar_t[]> line(new wchar_t[kMaxLineChars + 1]);
  record.Line = line.get();
  ResultCode result = ResultCode::Ok;
  {
    LoopReadGuard guard(&record);
    for (;;) {
      uint32_t length = input.ReadLine(line.get(), kMaxLineChars);
      if (length == 0) break;
      if (line[length - 1] == L'\n') --length;
      line[length] = 0;
      if (RunIteration(loopLine, untilLine, result, jumpToLine) == Iteration::Stop) break;
    }
  }
  record.Output.File.Close();
  input.Close();
  return result;
}
