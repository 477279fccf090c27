// Buffered text streams: the decoder, the encoder and the buffer bookkeeping
// shared by TextFile and TextMem, followed by their byte sources.
//
// The buffer holds either input (Pos set) or pending output (Pos null), never
// both: every reading operation first writes pending output out, and every
// writing operation first gives unread input back to the source, so the
// source's own position always sits at the edge of what the buffer holds.
#include "script/text_stream.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "base/text_length.h"

namespace {

constexpr uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr uint8_t kUtf16Mark[] = {0xFF, 0xFE};
// Longest byte sequence one character takes in any code page we decode.
constexpr uint32_t kMaxSequence = 4;

// Read at process start and never written again; TextStream::SystemCodePage
// is the only reader, and it also covers streams built during static
// initialisation.
const UINT g_SystemCodePageAtStart = TextStream::SystemCodePage();

}  // namespace

// The system ANSI code page; GetACP is asked only once per process.
UINT TextStream::SystemCodePage() {
  static const UINT acp = GetACP();
  return acp;
}

// Starts in the system ANSI code page with no buffer.
TextStream::TextStream() { SetCodePage(SystemCodePage()); }

// Frees the buffer; the derived destructors have already closed the source.
TextStream::~TextStream() { delete[] Buffer; }

// Records the code page and its lead-byte table (emptied when unknown).
void TextStream::SetCodePage(UINT codePage) {
  CodePage = codePage;
  if (!GetCPInfo(codePage, &CodePageInfo)) {
    CodePageInfo.MaxCharSize = 1;
    std::memset(CodePageInfo.LeadByte, 0, sizeof CodePageInfo.LeadByte);
  }
}

// Allocates the buffer the first time it is needed.
bool TextStream::EnsureBuffer() {
  if (!Buffer) Buffer = new (std::nothrow) uint8_t[BUFFER_CAPACITY];
  return Buffer != nullptr;
}

// Unread input bytes in the buffer (0 while it holds output).
uint32_t TextStream::Unread() const { return Pos ? static_cast<uint32_t>(Buffer + ContentLength - Pos) : 0; }

// Writes out pending output; the buffer is emptied even when that fails.
bool TextStream::FlushOutput() {
  if (Pos || !ContentLength) return true;
  uint32_t pending = ContentLength;
  ContentLength = 0;
  return DoWrite(Buffer, pending) == pending;
}

// Puts the buffer into input mode, writing out any pending output first.
bool TextStream::BeginRead() {
  if (Pos) return true;
  if (!EnsureBuffer()) return false;
  bool ok = FlushOutput();
  ContentLength = 0;
  Pos = Buffer;
  return ok;
}

// Puts the buffer into output mode, giving unread input back to the source.
bool TextStream::BeginWrite() {
  // A stream opened for reading only refuses output at once: buffered, the
  // text would only be lost when the buffer is written out later.
  if ((Flags & ACCESS_MASK) == READ && !(Flags & IS_HANDLE)) return false;
  if (!EnsureBuffer()) return false;
  if (Pos) {
    uint32_t unread = Unread();
    // A source that cannot seek (memory, pipes) just loses its read-ahead:
    // output cannot share the buffer with it.
    if (unread) DoSeek(-static_cast<int64_t>(unread), FILE_CURRENT);
    Pos = nullptr;
    ContentLength = 0;
  }
  return true;
}

// Moves the unread bytes to the front and reads more behind them; returns
// the bytes this read delivered (0 = source exhausted or buffer full).
uint32_t TextStream::FillBuffer() {
  uint32_t unread = Unread();
  if (unread && Pos != Buffer) std::memmove(Buffer, Pos, unread);
  Pos = Buffer;
  ContentLength = unread;
  LastReadSize = unread < BUFFER_SIZE ? DoRead(Buffer + unread, BUFFER_SIZE - unread) : 0;
  ContentLength += LastReadSize;
  return LastReadSize;
}

// Makes at least `need` unread bytes available unless the source runs dry;
// returns how many are available. The buffer must be in input mode.
uint32_t TextStream::Available(uint32_t need) {
  uint32_t unread = Unread();
  while (unread < need) {
    if (!FillBuffer()) break;
    unread = Unread();
  }
  return unread;
}

// Whether b starts a two-byte character in the current (non-UTF-8) code page.
bool TextStream::IsLeadByte(uint8_t b) const {
  const BYTE* range = CodePageInfo.LeadByte;
  for (int i = 0; i + 1 < MAX_LEADBYTES && range[i]; i += 2)
    if (b >= range[i] && b <= range[i + 1]) return true;
  return false;
}

// Bytes in the sequence that starts with lead (>= 0x80); 0 = not a lead byte.
uint32_t TextStream::SequenceLength(uint8_t lead) const {
  if (CodePage == CP_UTF8) {
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
  }
  return IsLeadByte(lead) ? 2 : 1;
}

// Converts one byte sequence to one or two UTF-16 units; 0 on failure.
int TextStream::DecodeSequence(const uint8_t* bytes, uint32_t count, wchar_t out[2]) const {
  const char* src = reinterpret_cast<const char*>(bytes);
  int n = MultiByteToWideChar(CodePage, MB_ERR_INVALID_CHARS, src, static_cast<int>(count), out, 2);
  // Some code pages (the ISO-2022 family, UTF-7, symbol) reject the
  // strictness flag itself; decode them without it rather than lose every
  // non-ASCII character.
  if (!n && GetLastError() == ERROR_INVALID_FLAGS)
    n = MultiByteToWideChar(CodePage, 0, src, static_cast<int>(count), out, 2);
  return n;
}

// Consumes the next unit if it is "\n" (refilling when the buffer ends first).
bool TextStream::NextIsLineFeed() {
  if (CodePage == CP_UTF16LE) {
    if (Available(2) < 2 || Pos[0] != '\n' || Pos[1] != 0) return false;
    Pos += 2;
    return true;
  }
  if (!Available(1) || *Pos != '\n') return false;
  ++Pos;
  return true;
}

// Opens the source, picks the code page and handles the byte-order mark.
bool TextStream::Open(const wchar_t* name, uint32_t flags, UINT codePage) {
  ContentLength = 0;
  Pos = nullptr;
  LastReadSize = 0;
  PrevWrittenChar = 0;
  if (!DoOpen(name, flags)) return false;
  SetCodePage(codePage ? codePage : SystemCodePage());
  Flags = flags;
  // A handle belongs to someone who may already have read or written past
  // any mark, so it is taken as it is.
  if (flags & IS_HANDLE) return true;

  uint32_t mode = flags & ACCESS_MASK;
  if (mode != WRITE && BeginRead()) {
    uint32_t held = Available(3);
    if (held >= 2 && Pos[0] == kUtf16Mark[0] && Pos[1] == kUtf16Mark[1]) {
      SetCodePage(CP_UTF16LE);
      Pos += 2;
    } else if (held >= 3 && std::memcmp(Pos, kUtf8Mark, 3) == 0) {
      SetCodePage(CP_UTF8);
      Pos += 3;
    }
  }

  if (mode == READ) return true;
  if ((mode == APPEND || mode == UPDATE) && DoLength() != 0) {
    if (mode == APPEND) {
      Pos = nullptr;
      ContentLength = 0;
      DoSeek(0, FILE_END);
    }
    return true;
  }
  // A new or emptied file: start it with the mark asked for.
  if (flags & BOM_UTF8)
    RawWrite(kUtf8Mark, sizeof kUtf8Mark);
  else if (flags & BOM_UTF16)
    RawWrite(kUtf16Mark, sizeof kUtf16Mark);
  return true;
}

// Writes out pending output and closes the source; the buffer is kept for reuse.
void TextStream::Close() {
  FlushOutput();
  DoClose();
  Pos = nullptr;
  ContentLength = 0;
  LastReadSize = 0;
}

// The decoder: bytes in CodePage to UTF-16 units with line-end translation.
uint32_t TextStream::Read(wchar_t* buf, uint32_t maxChars, int maxLines) {
  uint32_t stored = 0;
  int lines = 0;
  if (maxChars && BeginRead()) {
    while (stored < maxChars) {
      if (CodePage != CP_UTF16LE) {
        // A run of plain ASCII bytes other than CR and LF decodes to the
        // same units in every code page the decoder below handles: copy it
        // in one tight loop, the common case of every line.
        uint8_t* end = Buffer + ContentLength;
        const uint32_t room = maxChars - stored;
        uint8_t* stop = static_cast<uint32_t>(end - Pos) > room ? Pos + room : end;
        uint8_t* p = Pos;
        while (p < stop && *p < 0x80 && *p != '\r' && *p != '\n') buf[stored++] = *p++;
        Pos = p;
        if (stored >= maxChars) break;
      }
      wchar_t units[2];
      int count = 1;
      uint32_t consumed;
      if (CodePage == CP_UTF16LE) {
        uint32_t held = Available(2);
        if (!held) break;
        // An odd byte can only be left over at the very end of the data.
        units[0] = held < 2 ? REPLACEMENT_CHAR : static_cast<wchar_t>(Pos[0] | (Pos[1] << 8));
        consumed = held < 2 ? 1 : 2;
      } else {
        if (!Available(1)) break;
        uint8_t lead = *Pos;
        uint32_t length = lead < 0x80 ? 1 : SequenceLength(lead);
        if (lead < 0x80) {
          units[0] = lead;
          consumed = 1;
        } else if (!length) {
          units[0] = REPLACEMENT_CHAR;
          consumed = 1;
        } else {
          uint32_t held = Available(length);
          // A UTF-8 sequence broken by a byte that cannot continue it ends
          // before that byte, so the byte (often plain ASCII) is kept.
          uint32_t valid = 1;
          if (CodePage == CP_UTF8)
            while (valid < held && (Pos[valid] & 0xC0) == 0x80) ++valid;
          if (CodePage == CP_UTF8 && valid < held && valid < length) {
            units[0] = REPLACEMENT_CHAR;
            consumed = valid;
          } else if (held < length) {
            units[0] = REPLACEMENT_CHAR;  // truncated by the end of the data
            consumed = held;
          } else {
            count = DecodeSequence(Pos, length, units);
            if (!count) {
              units[0] = REPLACEMENT_CHAR;
              count = 1;
            }
            consumed = length;
          }
        }
      }
      // Reading stops before a surrogate pair that does not fit; its bytes
      // stay in the buffer for the next call.
      if (stored + static_cast<uint32_t>(count) > maxChars) break;
      Pos += consumed;

      if (units[0] == '\r' && (Flags & (TS_CRLF | TS_LONE_CR))) {
        if (NextIsLineFeed()) {
          if (Flags & TS_CRLF) {
            units[0] = '\n';
          } else {
            // Only lone CRs are translated: leave the "\n" for the next unit.
            Pos -= CodePage == CP_UTF16LE ? 2 : 1;
          }
        } else if (Flags & TS_LONE_CR) {
          units[0] = '\n';
        }
      }

      buf[stored++] = units[0];
      if (count == 2) buf[stored++] = units[1];
      if (units[0] == '\n' && maxLines > 0 && ++lines >= maxLines) break;
    }
  }
  if (stored < maxChars) buf[stored] = L'\0';
  return stored;
}

// One line for the line-by-line readers.
uint32_t TextStream::ReadLine(wchar_t* buf, uint32_t maxChars) { return Read(buf, maxChars, 1); }

// Appends one encoded character (or surrogate pair) to the output buffer.
void TextStream::PutChar(const wchar_t* units, int count) {
  if (CodePage == CP_UTF16LE) {
    for (int i = 0; i < count; ++i) {
      PutByte(static_cast<uint8_t>(units[i] & 0xFF));
      PutByte(static_cast<uint8_t>(units[i] >> 8));
    }
    return;
  }
  if (units[0] < 0x80) {
    PutByte(static_cast<uint8_t>(units[0]));
    return;
  }
  char* out = reinterpret_cast<char*>(Buffer + ContentLength);
  int n = WideCharToMultiByte(CodePage, 0, units, count, out, static_cast<int>(kMaxSequence), nullptr, nullptr);
  if (n > 0) ContentLength += static_cast<uint32_t>(n);
}

// Copies the longest run of ASCII characters that needs no translation and
// fits before the flush mark; returns how many it took.
uint32_t TextStream::CopyAsciiRun(const wchar_t* text, uint32_t length, bool translateLineEnds) {
  if (ContentLength >= WRITE_FLUSH_AT) return 0;
  const uint32_t room = WRITE_FLUSH_AT - ContentLength;
  const uint32_t limit = length < room ? length : room;
  uint8_t* out = Buffer + ContentLength;
  uint32_t taken = 0;
  for (; taken < limit; ++taken) {
    const wchar_t ch = text[taken];
    if (ch >= 0x80 || (ch == L'\n' && translateLineEnds)) break;
    out[taken] = static_cast<uint8_t>(ch);
  }
  ContentLength += taken;
  return taken;
}

// The encoder: UTF-16 text to bytes in CodePage with "\n" translation.
uint32_t TextStream::Write(const wchar_t* text, uint32_t length) {
  if (!length) length = static_cast<uint32_t>(TextLength(text));
  if (!BeginWrite()) return 0;
  uint32_t produced = 0;
  // RawWrite may have left the buffer fuller than the encoder ever leaves it.
  if (ContentLength >= WRITE_FLUSH_AT && !FlushOutput()) return 0;
  const bool translateLineEnds = (Flags & TS_CRLF) != 0;
  for (uint32_t i = 0; i < length; ++i) {
    // Runs of ASCII are one byte each in every code page but UTF-16: they
    // go into the buffer in one pass instead of a character at a time.
    if (CodePage != CP_UTF16LE) {
      const uint32_t run = CopyAsciiRun(text + i, length - i, translateLineEnds);
      if (run) {
        produced += run;
        i += run - 1;
        PrevWrittenChar = text[i];
        if (ContentLength >= WRITE_FLUSH_AT && !FlushOutput()) return 0;
        continue;
      }
    }
    uint32_t before = ContentLength;
    wchar_t ch = text[i];
    if (ch == '\n' && (Flags & TS_CRLF) && PrevWrittenChar != '\r') {
      wchar_t cr = '\r';
      PutChar(&cr, 1);
    }
    int count = 1;
    if (CodePage != CP_UTF16LE && IS_HIGH_SURROGATE(ch) && i + 1 < length && IS_LOW_SURROGATE(text[i + 1])) count = 2;
    PutChar(text + i, count);
    i += static_cast<uint32_t>(count - 1);
    PrevWrittenChar = text[i];
    produced += ContentLength - before;
    if (ContentLength >= WRITE_FLUSH_AT && !FlushOutput()) return 0;
  }
  return produced;
}

// Raw bytes: buffered input first, then through the buffer or, for large
// remainders, straight from the source.
uint32_t TextStream::RawRead(void* buf, uint32_t bytes) {
  if (!bytes || !BeginRead()) return 0;
  uint8_t* out = static_cast<uint8_t*>(buf);
  uint32_t taken = Unread() < bytes ? Unread() : bytes;
  std::memcpy(out, Pos, taken);
  Pos += taken;
  uint32_t remainder = bytes - taken;
  if (remainder > DIRECT_READ_ABOVE) return taken + DoRead(out + taken, remainder);
  if (remainder) {
    uint32_t held = Available(remainder);
    uint32_t more = held < remainder ? held : remainder;
    std::memcpy(out + taken, Pos, more);
    Pos += more;
    taken += more;
  }
  return taken;
}

// Raw bytes: into the buffer when they fit, otherwise written straight out.
uint32_t TextStream::RawWrite(const void* buf, uint32_t bytes) {
  if (!bytes || !BeginWrite()) return 0;
  if (ContentLength + bytes <= BUFFER_CAPACITY) {
    std::memcpy(Buffer + ContentLength, buf, bytes);
    ContentLength += bytes;
    return bytes;
  }
  if (!FlushOutput()) return 0;
  return DoWrite(buf, bytes);
}

// Gives back read-ahead and writes out pending output. When the source
// cannot take read-ahead back, the buffer is left as it was.
bool TextStream::Sync() {
  if (Pos) {
    uint32_t unread = Unread();
    if (unread && !DoSeek(-static_cast<int64_t>(unread), FILE_CURRENT)) return false;
    Pos = nullptr;
    ContentLength = 0;
    return true;
  }
  return FlushOutput();
}

// Moves the position after bringing the source's position in line.
bool TextStream::Seek(int64_t distance, int origin) { return Sync() && DoSeek(distance, origin); }

// The logical position: read-ahead not yet handed out is subtracted,
// pending output added.
int64_t TextStream::Tell() {
  int64_t pos = DoTell();
  if (pos < 0) return -1;
  return Pos ? pos - Unread() : pos + ContentLength;
}

// The source's length, or the end of pending output when that is further.
int64_t TextStream::Length() {
  int64_t length = DoLength();
  if (!Pos && ContentLength) {
    int64_t end = Tell();
    if (end > length) length = end;
  }
  return length;
}

// Resizes the source and keeps the position, or moves it to a nearer new end.
bool TextStream::SetLength(int64_t newLength) {
  if (newLength < 0 || !Sync()) return false;
  int64_t old = DoTell();
  if (old < 0 || !DoSeek(newLength, FILE_BEGIN)) return false;
  bool ok = DoSetEndOfSource();
  if (!ok || old < newLength) DoSeek(old, FILE_BEGIN);
  return ok;
}

// Changes the code page for everything decoded or encoded from now on.
void TextStream::ChangeCodePage(UINT codePage) { SetCodePage(codePage ? codePage : SystemCodePage()); }

// End of data: nothing left in the buffer and the position at the length.
bool TextStream::AtEOF() {
  if (Unread()) return false;
  int64_t pos = Tell();
  int64_t length = pos < 0 ? -1 : Length();
  if (pos >= 0 && length >= 0) return pos >= length;
  // Pipes and consoles have neither position nor length: the only way to
  // know is to try reading ahead (which waits for the writer).
  return !BeginRead() || !Available(1);
}

// ---------------------------------------------------------------- TextFile

// Closes the handle, writing out pending output first.
TextFile::~TextFile() { Close(); }

// Opens a path, wraps a caller's handle, or takes a standard handle for "*"/"**".
bool TextFile::DoOpen(const wchar_t* name, uint32_t& flags) {
  DoClose();
  uint32_t mode = flags & ACCESS_MASK;
  if (flags & IS_HANDLE) {
    HANDLE handle = reinterpret_cast<HANDLE>(const_cast<wchar_t*>(name));
    SetLastError(NO_ERROR);
    if (GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return false;
    File = handle;
    return true;
  }
  if (name[0] == '*' && (name[1] == '\0' || (name[1] == '*' && name[2] == '\0' && mode != READ))) {
    DWORD which = mode == READ ? STD_INPUT_HANDLE : name[1] ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE handle = GetStdHandle(which);
    if (!handle || handle == INVALID_HANDLE_VALUE) return false;
    File = handle;
    // The process owns the standard handles: never close them, never look
    // for a mark in them.
    flags = (flags & ~static_cast<uint32_t>(ACCESS_MASK)) | IS_HANDLE;
    return true;
  }
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_ALWAYS;
  if (mode == READ) {
    access = GENERIC_READ;
    disposition = OPEN_EXISTING;
  } else if (mode == WRITE) {
    access = GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  }
  DWORD share = (flags >> 8) & 7;
  DWORD attributes = (flags & (TS_CRLF | TS_LONE_CR)) ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_ATTRIBUTE_NORMAL;
  File = CreateFileW(name, access, share, nullptr, disposition, attributes, nullptr);
  return File != INVALID_HANDLE_VALUE;
}

// Closes the handle unless the caller (or the process) owns it.
void TextFile::DoClose() {
  if (File != INVALID_HANDLE_VALUE && !(Flags & IS_HANDLE)) CloseHandle(File);
  File = INVALID_HANDLE_VALUE;
}

// ReadFile; 0 at end of file or on failure.
uint32_t TextFile::DoRead(void* buf, uint32_t size) {
  DWORD got = 0;
  if (File == INVALID_HANDLE_VALUE || !ReadFile(File, buf, size, &got, nullptr)) return 0;
  return got;
}

// WriteFile; the bytes actually written.
uint32_t TextFile::DoWrite(const void* buf, uint32_t size) {
  DWORD put = 0;
  if (File == INVALID_HANDLE_VALUE || !WriteFile(File, buf, size, &put, nullptr)) return 0;
  return put;
}

// SetFilePointerEx with the given origin.
bool TextFile::DoSeek(int64_t distance, int origin) {
  LARGE_INTEGER to;
  to.QuadPart = distance;
  return File != INVALID_HANDLE_VALUE && SetFilePointerEx(File, to, nullptr, static_cast<DWORD>(origin));
}

// The handle's position, -1 when it has none (pipes, consoles).
int64_t TextFile::DoTell() {
  LARGE_INTEGER zero, pos;
  zero.QuadPart = 0;
  if (File == INVALID_HANDLE_VALUE || !SetFilePointerEx(File, zero, &pos, FILE_CURRENT)) return -1;
  return pos.QuadPart;
}

// GetFileSizeEx, -1 on failure.
int64_t TextFile::DoLength() {
  LARGE_INTEGER size;
  if (File == INVALID_HANDLE_VALUE || !GetFileSizeEx(File, &size)) return -1;
  return size.QuadPart;
}

// SetEndOfFile at the current position.
bool TextFile::DoSetEndOfSource() { return File != INVALID_HANDLE_VALUE && SetEndOfFile(File); }

// ----------------------------------------------------------------- TextMem

// Releases owned data.
TextMem::~TextMem() { Close(); }

// Frees the data when it was handed over, and forgets it.
void TextMem::ReleaseSource() {
  if (Source.owned) std::free(Source.data);
  Source = Buffer{nullptr, 0, false};
  ReadPtr = nullptr;
}

// Takes the descriptor name points to; a previous owned block is freed.
bool TextMem::DoOpen(const wchar_t* name, uint32_t&) {
  ReleaseSource();
  const Buffer* source = reinterpret_cast<const Buffer*>(name);
  if (!source || (!source->data && source->length)) return false;
  Source = *source;
  ReadPtr = static_cast<const uint8_t*>(Source.data);
  return true;
}

// Frees owned data.
void TextMem::DoClose() { ReleaseSource(); }

// Copies what remains, up to size bytes.
uint32_t TextMem::DoRead(void* buf, uint32_t size) {
  if (!ReadPtr) return 0;
  uint32_t left = Source.length - static_cast<uint32_t>(ReadPtr - static_cast<const uint8_t*>(Source.data));
  uint32_t n = left < size ? left : size;
  std::memcpy(buf, ReadPtr, n);
  ReadPtr += n;
  return n;
}

// Memory is read-only: nothing is ever written.
uint32_t TextMem::DoWrite(const void*, uint32_t) { return 0; }

// Memory streams are read front to back only.
bool TextMem::DoSeek(int64_t, int) { return false; }

// Offset of the read pointer.
int64_t TextMem::DoTell() { return ReadPtr ? ReadPtr - static_cast<const uint8_t*>(Source.data) : 0; }

// The size of the data.
int64_t TextMem::DoLength() { return Source.length; }
