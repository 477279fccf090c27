// Buffered text streams: decoding bytes in a chosen code page into UTF-16
// text and encoding it back, with byte-order marks and line-end translation.
// The script reader reads the embedded script through a TextMem; the file
// commands and file objects read and write files through a TextFile.
//
// Invariants of the shared buffer (TextStream):
//  - Pos != nullptr: Buffer[0, ContentLength) is input taken from the source
//    and [Pos, Buffer + ContentLength) is the part not yet handed out. The
//    underlying position is just past the end of that input.
//  - Pos == nullptr: Buffer[0, ContentLength) is output not yet written. The
//    underlying position is where it will be written.
//  - Buffer is allocated on first use, kept across Close/Open and freed only
//    by the destructor.
//  - Write starts by flushing a buffer at or past WRITE_FLUSH_AT and flushes
//    again whenever a character takes it there, so an encoded character (at
//    most 4 bytes, or "\r\n") always fits. RawWrite may fill all of it.
#pragma once

#include <windows.h>

#include <cstdint>

// Abstract buffered text stream; the derived classes supply the byte source.
class TextStream {
 public:
  enum : uint32_t {
    READ = 0,
    WRITE = 1,
    APPEND = 2,
    UPDATE = 3,
    ACCESS_MASK = 3,
    EOL_CRLF = 0x04,       // reading: "\r\n" -> "\n"; writing: lone "\n" -> "\r\n"
    EOL_ORPHAN_CR = 0x08,  // reading: "\r" not followed by "\n" -> "\n"
    TS_CRLF = EOL_CRLF,
    TS_LONE_CR = EOL_ORPHAN_CR,
    BOM_UTF8 = 0x10,   // write EF BB BF when the file is new or emptied
    BOM_UTF16 = 0x20,  // write FF FE when the file is new or emptied
    SHARE_READ = 0x100,
    SHARE_WRITE = 0x200,
    SHARE_DELETE = 0x400,
    SHARE_ALL = 0x700,
    IS_HANDLE = 0x10000000  // Open's name is an existing handle, not a path
  };

  // Input is read this many bytes at a time.
  static constexpr uint32_t BUFFER_SIZE = 8192;
  // Output collects in the whole buffer: under Wine every write call costs
  // a round trip to the server, so a file is written in large pieces.
  static constexpr uint32_t BUFFER_CAPACITY = 65536;
  // Pending output is written out once it reaches this many bytes, leaving
  // room for the largest encoded character.
  static constexpr uint32_t WRITE_FLUSH_AT = BUFFER_CAPACITY - 4;
  // A raw read whose unbuffered remainder is larger than this bypasses the buffer.
  static constexpr uint32_t DIRECT_READ_ABOVE = BUFFER_SIZE - 1;
  // Longest line the script reader asks ReadLine for.
  static constexpr uint32_t READLINE_MAX = 16384;
  static constexpr UINT CP_UTF16LE = 1200;
  static constexpr UINT NO_CODE_PAGE = static_cast<UINT>(-1);
  static constexpr wchar_t REPLACEMENT_CHAR = 0xFFFD;

  TextStream();
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;
  virtual ~TextStream();

  // Opens the source and handles a byte-order mark; code page 0 = system ANSI.
  bool Open(const wchar_t* name, uint32_t flags, UINT codePage = 0);
  // Writes out pending output and closes the source.
  void Close();

  // Decodes up to maxChars UTF-16 units, stopping after maxLines "\n" when
  // maxLines > 0; returns the units stored and terminates buf when there is room.
  uint32_t Read(wchar_t* buf, uint32_t maxChars, int maxLines = 0);
  // Reads one line, its "\n" included.
  uint32_t ReadLine(wchar_t* buf, uint32_t maxChars);
  // Encodes text (length 0 = up to the terminator); returns the bytes
  // produced, or 0 when writing them out fell short.
  uint32_t Write(const wchar_t* text, uint32_t length = 0);

  // Bytes without decoding, buffered input first; returns the bytes read.
  uint32_t RawRead(void* buf, uint32_t bytes);
  // Bytes without encoding; returns the bytes accepted (0 on a failed write).
  uint32_t RawWrite(const void* buf, uint32_t bytes);

  // Moves the logical position; origin is FILE_BEGIN, FILE_CURRENT or FILE_END.
  bool Seek(int64_t distance, int origin);
  // The logical position: the underlying one corrected for buffered bytes; -1 if unknown.
  int64_t Tell();
  // The length, counting output still in the buffer; -1 if unknown.
  int64_t Length();
  // Truncates or extends the source; the position stays unless it was past the new end.
  bool SetLength(int64_t newLength);
  // Writes out pending output and gives back read-ahead, so the underlying
  // position matches the logical one (before the handle is used directly).
  bool Sync();

  // Switches decoding and encoding to another code page (0 = system ANSI).
  void ChangeCodePage(UINT codePage);
  UINT GetCodePage() const { return CodePage; }
  uint32_t GetFlags() const { return Flags; }
  // True when no input is buffered and the position has reached the length;
  // on a source without a position (pipe, console) it reads ahead to find out.
  bool AtEOF();

  // The system ANSI code page, read once.
  static UINT SystemCodePage();

 protected:
  // Opens the source; may adjust flags (the standard handles do).
  virtual bool DoOpen(const wchar_t* name, uint32_t& flags) = 0;
  virtual void DoClose() = 0;
  virtual uint32_t DoRead(void* buf, uint32_t size) = 0;
  virtual uint32_t DoWrite(const void* buf, uint32_t size) = 0;
  virtual bool DoSeek(int64_t distance, int origin) = 0;
  virtual int64_t DoTell() = 0;
  virtual int64_t DoLength() = 0;
  // Makes the current underlying position the end; sources that cannot be
  // resized keep the default.
  virtual bool DoSetEndOfSource() { return false; }

  uint32_t Flags = 0;
  uint32_t ContentLength = 0;  // bytes held in Buffer (input or pending output)
  uint32_t LastReadSize = 0;   // bytes delivered by the last fill; 0 = source exhausted
  UINT CodePage = NO_CODE_PAGE;
  CPINFO CodePageInfo{};
  wchar_t PrevWrittenChar = 0;  // lets "\n" translation see a "\r" from an earlier Write
  uint8_t* Pos = nullptr;       // next unread byte, or null while Buffer holds output
  uint8_t* Buffer = nullptr;

 private:
  void SetCodePage(UINT codePage);
  bool EnsureBuffer();
  bool BeginRead();
  bool BeginWrite();
  bool FlushOutput();
  uint32_t Unread() const;
  uint32_t FillBuffer();
  uint32_t Available(uint32_t need);
  bool IsLeadByte(uint8_t b) const;
  uint32_t SequenceLength(uint8_t lead) const;
  int DecodeSequence(const uint8_t* bytes, uint32_t count, wchar_t out[2]) const;
  bool NextIsLineFeed();
  void PutByte(uint8_t b) { Buffer[ContentLength++] = b; }
  uint32_t CopyAsciiRun(const wchar_t* text, uint32_t length, bool translateLineEnds);
  void PutChar(const wchar_t* units, int count);
};

// A stream over a file, a standard handle ("*", "**") or a caller's handle.
class TextFile : public TextStream {
 public:
  TextFile() = default;
  ~TextFile() override;
  HANDLE GetHandle() const { return File; }

 protected:
  bool DoOpen(const wchar_t* name, uint32_t& flags) override;
  void DoClose() override;
  uint32_t DoRead(void* buf, uint32_t size) override;
  uint32_t DoWrite(const void* buf, uint32_t size) override;
  bool DoSeek(int64_t distance, int origin) override;
  int64_t DoTell() override;
  int64_t DoLength() override;
  bool DoSetEndOfSource() override;

 private:
  HANDLE File = INVALID_HANDLE_VALUE;
};

// A read-only stream over bytes in memory (the embedded script text).
class TextMem : public TextStream {
 public:
  // What Open's name points to for a TextMem. Owned data must come from
  // std::malloc; it is freed with std::free on Close or the next Open.
  struct Buffer {
    void* data;
    uint32_t length;
    bool owned;
  };

  TextMem() = default;
  ~TextMem() override;

 protected:
  // name is reinterpret_cast<const wchar_t*>(&buffer) for a TextMem::Buffer.
  bool DoOpen(const wchar_t* name, uint32_t& flags) override;
  void DoClose() override;
  uint32_t DoRead(void* buf, uint32_t size) override;
  uint32_t DoWrite(const void* buf, uint32_t size) override;
  bool DoSeek(int64_t distance, int origin) override;
  int64_t DoTell() override;
  int64_t DoLength() override;

 private:
  void ReleaseSource();

  Buffer Source{nullptr, 0, false};
  const uint8_t* ReadPtr = nullptr;  // next byte DoRead hands out
};
