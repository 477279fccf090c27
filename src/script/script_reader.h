// The script reader: turns a text stream into logical lines. It removes
// comments (line and block), joins continuation lines and continuation
// sections, and hands each finished line with the number of its first
// physical line to a consumer.
//
// Invariants: a physical line never exceeds kMaxPhysicalLine characters (a
// longer one is split); a logical line never exceeds kMaxLogicalLine; the
// comment flag in force is read from SyntaxChars at each physical line, so a
// "#CommentFlag" directive applies from the line after it. A continuation
// section or block comment never outlasts its reader, so neither spans
// files.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "base/script_context.h"

class TextStream;

inline constexpr size_t kMaxPhysicalLine = 16384;
inline constexpr size_t kMaxContinuedLine = 16383;  // via continuation lines
inline constexpr size_t kMaxLogicalLine = 16384;    // via a continuation section

// Receives each logical line; returning Fail stops the reading.
using LogicalLineConsumer = std::function<ResultCode(std::wstring_view text, int lineNumber)>;

// What the reader does with a directive line after its handler saw it.
enum class EarlyDirective {
  PassOn,    // not acted on early, or acted on and still handed to the consumer
  Consumed,  // fully carried out: the consumer never sees the line
  Failed,    // reported; the reading stops
};

// Called with the first physical line of every logical line that starts
// with "#", before the reader reads ahead, so that a directive can change
// how the following lines are read ("#CommentFlag") or read other text
// first ("#Include").
using ReaderDirectiveHandler = std::function<EarlyDirective(std::wstring_view line)>;

// What ReadPhysicalLine returns besides text.
enum class PhysicalLine { Text, End, Skip };

// Continuation-section reading modes of ReadPhysicalLine.
enum class SectionMode { None, InSection, InSectionWithComments };

class ScriptReader {
 public:
  // `firstLineNumber` is the number of the stream's first physical line:
  // 0 for an embedded script (whose line 0 is the compiler's marker), 1 for
  // a script file.
  ScriptReader(TextStream& stream, SyntaxChars& syntax, int firstLineNumber);

  // Reads to the end of the text. Load errors are reported (through
  // ReportLoadError) before Fail is returned.
  ResultCode ReadAll(const LogicalLineConsumer& consumer, const ReaderDirectiveHandler& directives);

  // Reads the next physical line into `out`, applying the comment rules of
  // the given mode.
  PhysicalLine ReadPhysicalLine(std::wstring& out, SectionMode mode);

  // The number of the physical line most recently read.
  int LineNumber() const { return lineNumber_; }

 private:
  bool FetchRawLine(std::wstring& out);
  void RemoveTrailingComment(std::wstring& line) const;

  TextStream& stream_;
  SyntaxChars& syntax_;
  int lineNumber_;
  bool splitPending_ = false;  // the previous raw line was cut at the limit
  std::wstring pending_;       // decoded text not yet split into lines
  size_t pendingPos_ = 0;
  bool exhausted_ = false;
};

// Helpers of the reader, exposed for tests.
namespace reader {
bool IsBlank(wchar_t c);
// The text without blanks at the left, the right, or both.
std::wstring_view LeftTrimmed(std::wstring_view text);
std::wstring_view RightTrimmed(std::wstring_view text);
std::wstring_view Trimmed(std::wstring_view text);
// The character the escape character followed by `c` stands for; with
// escapedSpace false, "s" stays "s".
wchar_t EscapedChar(wchar_t c, bool escapedSpace);
void TrimBlanks(std::wstring& text);
void LeftTrimBlanks(std::wstring& text);
void RightTrimBlanks(std::wstring& text);
// True when the (trimmed, non-empty) line continues the previous logical line.
bool IsContinuationLine(std::wstring_view line);
// Converts the escape sequences of a Join option ("`n", "`t", "`s", ...).
std::wstring ConvertJoinEscapes(std::wstring_view text, wchar_t escapeChar);
// Converts escape sequences; the escape character before any other
// character leaves that character. `escapedSpace` makes "`s" a space
// (otherwise it is the letter s).
std::wstring ConvertEscapes(std::wstring_view text, wchar_t escapeChar, bool escapedSpace);
}  // namespace reader
