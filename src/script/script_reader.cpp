// Logical-line assembly: comments, block comments, continuation lines and
// continuation sections.
#include "script/script_reader.h"

#include <windows.h>

#include <algorithm>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "script/text_stream.h"

namespace reader {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view LeftTrimmed(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::wstring_view RightTrimmed(std::wstring_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::wstring_view Trimmed(std::wstring_view text) { return RightTrimmed(LeftTrimmed(text)); }

wchar_t EscapedChar(wchar_t c, bool escapedSpace) {
  switch (c) {
    case L'a': return L'\a';
    case L'b': return L'\b';
    case L'f': return L'\f';
    case L'n': return L'\n';
    case L'r': return L'\r';
    case L't': return L'\t';
    case L'v': return L'\v';
    case L's': return escapedSpace ? L' ' : L's';
    default: return c;
  }
}

void LeftTrimBlanks(std::wstring& text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.erase(0, start);
}

void RightTrimBlanks(std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  text.resize(end);
}

void TrimBlanks(std::wstring& text) {
  RightTrimBlanks(text);
  LeftTrimBlanks(text);
}

namespace {

// Case-insensitive test that `text` starts with the ASCII word `prefix`.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (towlower(text[i]) != towlower(prefix[i])) return false;
  return true;
}

// A line starting with ":" whose options (up to the next ":") hold only the
// characters hotstring options use.
bool LooksLikeHotstring(std::wstring_view line) {
  size_t end = line.find(L':', 1);
  if (end == std::wstring_view::npos) return false;
  for (size_t i = 1; i < end; ++i) {
    wchar_t c = line[i];
    bool allowed = iswalnum(c) || c == L'?' || c == L'*' || c == L'-' || c == L' ' || c == L'\t';
    if (!allowed) return false;
  }
  return true;
}

// A line starting with "," that is the comma key's hotkey (",::" or ", & x::").
bool LooksLikeCommaHotkey(std::wstring_view line) {
  size_t at = 1;
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (line.substr(at, 2) == L"::") return true;
  return at > 1 && line.substr(at - 1, 3) == L" & ";
}

// A "::" on a continuation line is allowed only inside a quoted string.
bool DoubleColonIsQuoted(std::wstring_view line, size_t colons) {
  return line.substr(0, colons).find(L'"') != std::wstring_view::npos &&
         line.find(L'"', colons + 2) != std::wstring_view::npos;
}

// Leading "and"/"or" words continue a line unless an operator of an
// assignment or comparison follows ("and := 1" assigns to a variable).
bool StartsWithLogicalWord(std::wstring_view line) {
  size_t wordLength = StartsWithNoCase(line, L"and") ? 3 : StartsWithNoCase(line, L"or") ? 2 : 0;
  if (wordLength == 0 || line.size() <= wordLength || !IsBlank(line[wordLength])) return false;
  size_t at = wordLength;
  while (at < line.size() && IsBlank(line[at])) ++at;
  return at >= line.size() || std::wstring_view(L"<>=/|^,:").find(line[at]) == std::wstring_view::npos;
}

}  // namespace

bool IsContinuationLine(std::wstring_view line) {
  if (line.empty()) return false;
  bool candidate;
  if (StartsWithLogicalWord(line)) {
    candidate = true;
  } else {
    candidate = std::wstring_view(L"<>=/|^,:.+-*&!?~").find(line[0]) != std::wstring_view::npos;
    std::wstring_view start = line.substr(0, 2);
    if (start == L"++" || start == L"--" || start == L"::") candidate = false;
  }
  if (!candidate) return false;
  if (line.back() == L':' && line[0] != L',') return false;  // a label
  size_t colons = line.find(L"::");
  if (colons == std::wstring_view::npos) return true;
  if (line[0] == L':' && LooksLikeHotstring(line)) return false;
  if (line[0] == L',' && LooksLikeCommaHotkey(line)) return false;
  return DoubleColonIsQuoted(line, colons);
}

std::wstring ConvertJoinEscapes(std::wstring_view text, wchar_t escapeChar) {
  return ConvertEscapes(text, escapeChar, true);
}

std::wstring ConvertEscapes(std::wstring_view text, wchar_t escapeChar, bool escapedSpace) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != escapeChar || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    out += EscapedChar(text[++i], escapedSpace);
  }
  return out;
}

}  // namespace reader

using namespace reader;

namespace {

// Longest join string a section's "Join" option may give.
constexpr size_t kMaxJoinLength = 15;
// Characters decoded from the stream per refill.
constexpr uint32_t kReadChunk = 8192;

// The options of an open continuation section.
struct SectionOptions {
  std::wstring Join = L"\n";
  bool LTrim = false;
  bool RTrim = true;
  bool AllowComments = false;
  bool LiteralPercent = false;
  bool CommasAreDelimiters = false;
  bool LiteralEscapes = false;
};

// Parses the text after "(" into options. Returns false when a word holds
// ")", meaning the line is an ordinary line after all.
bool ParseSectionOptions(std::wstring_view text, const SyntaxChars& syntax, SectionOptions& options) {
  options.LTrim = syntax.ContinuationLTrim;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    size_t end = at;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    std::wstring_view word = text.substr(at, end - at);
    at = end;
    if (word.empty()) continue;
    if (StartsWithNoCase(word, L"Join")) {
      options.Join = ConvertJoinEscapes(word.substr(4, kMaxJoinLength), syntax.EscapeChar);
    } else if (StartsWithNoCase(word, L"LTrim")) {
      options.LTrim = !(word.size() > 5 && word[5] == L'0');
    } else if (StartsWithNoCase(word, L"RTrim")) {
      options.RTrim = !(word.size() > 5 && word[5] == L'0');
    } else {
      if (word.find(L')') != std::wstring_view::npos) return false;
      if (word.find_first_of(L"Cc") != std::wstring_view::npos) options.AllowComments = true;
      if (word.find(L'%') != std::wstring_view::npos) options.LiteralPercent = true;
      if (word.find(L',') != std::wstring_view::npos) options.CommasAreDelimiters = true;
      if (word.find(L'`') != std::wstring_view::npos) options.LiteralEscapes = true;
    }
  }
  return true;
}

// Puts `escape` before every occurrence of `c` in `text`.
void EscapeEach(std::wstring& text, wchar_t c, wchar_t escape) {
  if (text.find(c) == std::wstring::npos) return;
  std::wstring out;
  out.reserve(text.size() + 8);
  for (wchar_t ch : text) {
    if (ch == c) out += escape;
    out += ch;
  }
  text.swap(out);
}

// Applies a section's trimming and escaping to one of its lines.
void PrepareSectionLine(std::wstring& line, const SectionOptions& options, const SyntaxChars& syntax) {
  if (options.RTrim) RightTrimBlanks(line);
  if (options.LTrim) LeftTrimBlanks(line);
  if (options.LiteralEscapes) EscapeEach(line, syntax.EscapeChar, syntax.EscapeChar);
  if (options.LiteralPercent) EscapeEach(line, syntax.DerefChar, syntax.EscapeChar);
  if (!options.CommasAreDelimiters) EscapeEach(line, syntax.Delimiter, syntax.EscapeChar);
}

// The first non-blank character of a line, or 0.
wchar_t FirstNonBlank(std::wstring_view line) {
  for (wchar_t c : line)
    if (!IsBlank(c)) return c;
  return 0;
}

// True when the line opens a continuation section: "(" first, no ":" second
// and no ":" last (which would make it a label or hotkey).
bool IsSectionStart(std::wstring_view line) {
  return !line.empty() && line[0] == L'(' && !(line.size() > 1 && line[1] == L':') && line.back() != L':';
}

}  // namespace

ScriptReader::ScriptReader(TextStream& stream, SyntaxChars& syntax, int firstLineNumber)
    : stream_(stream), syntax_(syntax), lineNumber_(firstLineNumber - 1) {}

// Takes the next raw line (without its "\n") from the decoded text, reading
// more as needed; a line longer than the limit is cut and its rest becomes
// the next raw line. Returns false at the end of the text.
bool ScriptReader::FetchRawLine(std::wstring& out) {
  out.clear();
  for (;;) {
    size_t newline = pending_.find(L'\n', pendingPos_);
    size_t available = (newline == std::wstring::npos ? pending_.size() : newline) - pendingPos_;
    size_t room = kMaxPhysicalLine - out.size();
    if (available > room) {
      out.append(pending_, pendingPos_, room);
      pendingPos_ += room;
      splitPending_ = true;
      return true;
    }
    if (newline != std::wstring::npos) {
      out.append(pending_, pendingPos_, available);
      pendingPos_ = newline + 1;
      return true;
    }
    out.append(pending_, pendingPos_, available);
    pending_.clear();
    pendingPos_ = 0;
    if (!exhausted_) {
      wchar_t chunk[kReadChunk + 1];
      uint32_t got = stream_.Read(chunk, kReadChunk);
      if (got == 0) {
        exhausted_ = true;
      } else {
        pending_.assign(chunk, got);
        continue;
      }
    }
    return !out.empty();
  }
}

// Removes a comment that starts after a blank; an escaped flag is literal
// and loses its escape character.
void ScriptReader::RemoveTrailingComment(std::wstring& line) const {
  const std::wstring& flag = syntax_.CommentFlag;
  size_t from = 0;
  for (;;) {
    size_t at = line.find(flag, from);
    if (at == std::wstring::npos) return;
    if (at == 0) {
      line.clear();
      return;
    }
    wchar_t before = line[at - 1];
    if (IsBlank(before)) {
      line.resize(at);
      RightTrimBlanks(line);
      return;
    }
    if (before == syntax_.EscapeChar) {
      line.erase(at - 1, 1);
      from = at - 1 + flag.size();
    } else {
      from = at + flag.size();
    }
  }
}

PhysicalLine ScriptReader::ReadPhysicalLine(std::wstring& out, SectionMode mode) {
  bool continuesSplit = splitPending_;
  splitPending_ = false;
  if (!FetchRawLine(out)) return PhysicalLine::End;
  // The rest of a cut line keeps the number of the line it came from.
  if (!continuesSplit) ++lineNumber_;
  bool closesSection = FirstNonBlank(out) == L')';
  switch (mode) {
    case SectionMode::InSection:
      if (!closesSection) return PhysicalLine::Text;
      TrimBlanks(out);
      break;
    case SectionMode::InSectionWithComments: {
      std::wstring_view rest(out);
      rest.remove_prefix(std::min(rest.find_first_not_of(L" \t"), rest.size()));
      if (rest.substr(0, syntax_.CommentFlag.size()) == syntax_.CommentFlag) return PhysicalLine::Skip;
      if (closesSection) LeftTrimBlanks(out);
      break;
    }
    case SectionMode::None: TrimBlanks(out); break;
  }
  RemoveTrailingComment(out);
  return PhysicalLine::Text;
}

ResultCode ScriptReader::ReadAll(const LogicalLineConsumer& consumer, const ReaderDirectiveHandler& directives) {
  std::wstring current, next;
  int currentLine = 0;
  bool haveCurrent = false;
  bool inCommentBlock = false;
  bool inSection = false;
  bool firstSectionLine = false;
  int sectionStartLine = 0;
  SectionOptions section;

  // Makes `text` the current logical line, letting the directive handler
  // act on it at once so that the lines read after it see its effect.
  auto beginLogicalLine = [&](std::wstring&& text) -> ResultCode {
    current = std::move(text);
    currentLine = lineNumber_;
    haveCurrent = true;
    if (current[0] != L'#' || !directives) return ResultCode::Ok;
    Script().CurrentLineNumber = currentLine;  // handing on the previous line moved it back
    switch (directives(current)) {
      case EarlyDirective::Failed: return ResultCode::Fail;
      case EarlyDirective::Consumed: haveCurrent = false; break;
      case EarlyDirective::PassOn: break;
    }
    return ResultCode::Ok;
  };
  // Hands the current logical line to the consumer.
  auto finishLogicalLine = [&]() -> ResultCode {
    if (!haveCurrent) return ResultCode::Ok;
    haveCurrent = false;
    Script().CurrentLineNumber = currentLine;
    ResultCode result = consumer(current, currentLine);
    return result;
  };
  auto tooLong = [&]() {
    Script().CurrentLineNumber = lineNumber_;
    return ReportLoadError(msg::ContinuationTooLong);
  };

  for (;;) {
    SectionMode mode = !inSection              ? SectionMode::None
                       : section.AllowComments ? SectionMode::InSectionWithComments
                                               : SectionMode::InSection;
    PhysicalLine kind = ReadPhysicalLine(next, mode);
    if (kind == PhysicalLine::End) break;
    if (kind == PhysicalLine::Skip) continue;
    Script().CurrentLineNumber = lineNumber_;

    if (inSection) {
      if (FirstNonBlank(next) == L')') {
        inSection = false;
        current.append(next, 1, std::wstring::npos);
      } else {
        PrepareSectionLine(next, section, syntax_);
        if (!firstSectionLine) current += section.Join;
        current += next;
        firstSectionLine = false;
      }
      if (current.size() > kMaxLogicalLine) return tooLong();
      continue;
    }
    if (next.empty()) continue;

    if (next.compare(0, 2, L"*/") == 0 && (inCommentBlock || next.compare(2, 2, L"::") != 0)) {
      inCommentBlock = false;
      next.erase(0, 2);
      LeftTrimBlanks(next);
      if (next.empty()) continue;
    } else if (inCommentBlock) {
      continue;
    } else if (next.compare(0, 2, L"/*") == 0) {
      inCommentBlock = true;
      continue;
    }

    if (IsSectionStart(next)) {
      SectionOptions options;
      if (ParseSectionOptions(std::wstring_view(next).substr(1), syntax_, options)) {
        section = options;
        inSection = true;
        firstSectionLine = true;
        sectionStartLine = lineNumber_;
        if (!haveCurrent) {
          current.clear();
          currentLine = lineNumber_;
          haveCurrent = true;
        }
        continue;
      }
    }

    if (haveCurrent && IsContinuationLine(next)) {
      if (next[0] != L',') current += L' ';
      current += next;
      if (current.size() > kMaxContinuedLine) return tooLong();
      continue;
    }

    if (finishLogicalLine() != ResultCode::Ok) return ResultCode::Fail;
    if (beginLogicalLine(std::move(next)) != ResultCode::Ok) return ResultCode::Fail;
  }

  if (inSection) {
    Script().CurrentLineNumber = sectionStartLine;
    return ReportLoadError(msg::MissingCloseParen);
  }
  return finishLogicalLine();
}
