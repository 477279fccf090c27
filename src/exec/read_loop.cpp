// The read loop (see read_loop.h).
//
// Lines longer than the line limit arrive in pieces, one iteration each, so
// no text is lost and memory stays bounded whatever the file holds.
//
// Most lines are plain ASCII ended by a line feed: those are widened
// straight out of the stream's input buffer, sixteen bytes at a time. Any
// other byte (a carriage return, a byte of a longer character) or the end
// of the buffered input hands the rest of the line to the stream's own
// decoder, so a line reads the same whichever way it was taken.
#include "exec/read_loop.h"

#include <emmintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
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

// Bytes the reader asks the file for at once: a read of the file costs
// the same small or large, and the stream's own buffer is smaller.
constexpr uint32_t kReadAheadBytes = 256 * 1024;

// A text file read line by line, with the plain-ASCII lines taken without
// the decoder's per-character work, and read from the file in large
// blocks. The loop only reads forward, so no position needs correcting
// for the bytes held ahead.
class LineReader : public TextFile {
 public:
  // Reads the next line, its "\n" included, as ReadLine does; 0 at the end.
  uint32_t NextLine(wchar_t* line, uint32_t maxChars);

 protected:
  // Hands out the block's bytes, reading the next block when it is used up.
  uint32_t DoRead(void* buf, uint32_t size) override;

 private:
  // Widens the plain-ASCII bytes at Pos into line up to a line feed (taken
  // too), another kind of byte, the end of the input or `room`; returns
  // the characters stored and whether the line feed ended them.
  uint32_t TakeAscii(wchar_t* line, uint32_t room, bool& ended);

  std::unique_ptr<uint8_t[]> ahead_;  // the block read from the file, made on first read
  uint32_t aheadLength_ = 0;          // bytes in the block
  uint32_t aheadTaken_ = 0;           // bytes of it handed out
};

uint32_t LineReader::DoRead(void* buf, uint32_t size) {
  if (aheadTaken_ == aheadLength_) {
    if (!ahead_) ahead_.reset(new (std::nothrow) uint8_t[kReadAheadBytes]);
    // Without a block the file is read as the stream asks.
    if (!ahead_) return TextFile::DoRead(buf, size);
    aheadTaken_ = 0;
    aheadLength_ = TextFile::DoRead(ahead_.get(), kReadAheadBytes);
    if (!aheadLength_) return 0;
  }
  const uint32_t held = aheadLength_ - aheadTaken_;
  const uint32_t part = size < held ? size : held;
  std::memcpy(buf, ahead_.get() + aheadTaken_, part);
  aheadTaken_ += part;
  return part;
}

uint32_t LineReader::TakeAscii(wchar_t* line, uint32_t room, bool& ended) {
  const uint8_t* p = Pos;
  const uint8_t* end = Buffer + ContentLength;
  if (static_cast<uint32_t>(end - p) > room) end = p + room;
  wchar_t* out = line;
  ended = false;
  const __m128i zero = _mm_setzero_si128();
  const __m128i lineFeed = _mm_set1_epi8('\n');
  const __m128i carriageReturn = _mm_set1_epi8('\r');
  // Sixteen bytes are widened at a time; the stop mask marks the bytes
  // that end the run (a high bit, a line feed or a carriage return). All
  // sixteen units are stored, which the room allows, but only those before
  // the first stop count.
  for (; end - p >= 16; p += 16, out += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i stops =
        _mm_or_si128(bytes, _mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeed), _mm_cmpeq_epi8(bytes, carriageReturn)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
    if (mask) {
      const int first = std::countr_zero(mask);
      p += first;
      out += first;
      break;
    }
  }
  for (; p < end; ++p) {
    const uint8_t byte = *p;
    if (byte >= 0x80 || byte == '\r') break;
    *out++ = byte;
    if (byte == '\n') {
      ended = true;
      ++p;
      break;
    }
  }
  Pos = const_cast<uint8_t*>(p);
  return static_cast<uint32_t>(out - line);
}

uint32_t LineReader::NextLine(wchar_t* line, uint32_t maxChars) {
  // Before the first read, and for UTF-16, the decoder does all the work.
  if (!Pos || CodePage == CP_UTF16LE) return ReadLine(line, maxChars);
  bool ended = false;
  const uint32_t taken = TakeAscii(line, maxChars, ended);
  if (ended || taken == maxChars) {
    if (taken < maxChars) line[taken] = L'\0';
    return taken;
  }
  return taken + ReadLine(line + taken, maxChars - taken);
}

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
  LineReader input;
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
      uint32_t length = input.NextLine(line.get(), kMaxLineChars);
      if (length == 0) break;
      if (line[length - 1] == L'\n') --length;
      line[length] = 0;
      record.LineLength = length;
      if (RunIteration(loopLine, untilLine, result, jumpToLine) == Iteration::Stop) break;
    }
  }
  record.Output.File.Close();
  input.Close();
  return result;
}
