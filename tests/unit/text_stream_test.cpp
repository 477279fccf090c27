// Tests of TextStream, TextFile and TextMem: decoding, line ends, the buffer
// edges, encoding on write, positions and the raw and handle paths.
// Every temporary file is created in the temp folder and deleted by its owner.
#include "script/text_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

// Builds a byte string from numbers, so tables can hold NUL bytes.
Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// The UTF-16 LE bytes of text.
Bytes Utf16(const std::wstring& text) {
  Bytes out;
  for (wchar_t ch : text) {
    out.push_back(static_cast<char>(ch & 0xFF));
    out.push_back(static_cast<char>(ch >> 8));
  }
  return out;
}

// A file in the temp folder that is deleted when the test is done with it.
class TempFile {
 public:
  TempFile() {
    wchar_t dir[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    if (GetTempFileNameW(dir, L"qts", 0, name)) path_ = name;
  }
  ~TempFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  const wchar_t* Path() const { return path_.c_str(); }
  bool Valid() const { return !path_.empty(); }

  // Replaces the file's contents with bytes.
  bool Put(const Bytes& bytes) const {
    HANDLE h = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
  }

  // The file's contents as they are on disk now.
  Bytes Get() const {
    Bytes out;
    HANDLE h = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got) out.append(chunk, got);
    CloseHandle(h);
    return out;
  }

 private:
  std::wstring path_;
};

enum class Source { Mem, File };

const char* SourceName(Source source) { return source == Source::Mem ? "TextMem" : "TextFile"; }

// A stream opened over given bytes, either in memory or through a temp file.
class Opened {
 public:
  Opened(Source source, const Bytes& bytes, uint32_t flags, UINT codePage) : bytes_(bytes) {
    if (source == Source::Mem) {
      stream_ = std::make_unique<TextMem>();
      TextMem::Buffer buffer{bytes_.data(), static_cast<uint32_t>(bytes_.size()), false};
      ok_ = stream_->Open(reinterpret_cast<const wchar_t*>(&buffer), flags, codePage);
    } else {
      stream_ = std::make_unique<TextFile>();
      ok_ = file_.Put(bytes_) && stream_->Open(file_.Path(), flags, codePage);
    }
  }
  bool Ok() const { return ok_; }
  TextStream& Stream() { return *stream_; }

 private:
  Bytes bytes_;
  TempFile file_;
  std::unique_ptr<TextStream> stream_;
  bool ok_ = false;
};

// Everything Read returns in chunks of maxChars, until it returns 0.
std::wstring ReadAll(TextStream& stream, uint32_t maxChars = 4096) {
  std::wstring out;
  std::vector<wchar_t> buf(maxChars + 1);
  while (uint32_t n = stream.Read(buf.data(), maxChars)) out.append(buf.data(), n);
  return out;
}

// Every line ReadLine returns, "\n" included, until it returns 0.
std::vector<std::wstring> ReadLines(TextStream& stream) {
  std::vector<std::wstring> lines;
  std::vector<wchar_t> buf(TextStream::READLINE_MAX + 1);
  while (uint32_t n = stream.ReadLine(buf.data(), TextStream::READLINE_MAX)) lines.emplace_back(buf.data(), n);
  return lines;
}

// Whether the system knows a code page (Wine lacks some).
bool HaveCodePage(UINT codePage) {
  CPINFO info;
  return GetCPInfo(codePage, &info) != 0;
}

constexpr uint32_t kBoth = TextStream::TS_CRLF | TextStream::TS_LONE_CR;
const Bytes kUtf8Mark = B({0xEF, 0xBB, 0xBF});
const Bytes kUtf16Mark = B({0xFF, 0xFE});

// ------------------------------------------------------------------ decoding

TEST(TextStreamDecode, Utf8WithAndWithoutMarkReadsTheSame) {
  struct Case {
    Bytes bytes;
    std::wstring text;
  };
  const Case cases[] = {
      {"plain ascii", L"plain ascii"},
      {"caf\xC3\xA9", L"caf\u00E9"},
      {"\xE2\x82\xAC 5", L"\u20AC 5"},
      {"\xF0\x9F\x98\x80!", L"\xD83D\xDE00!"},
      {"", L""},
  };
  for (Source source : {Source::Mem, Source::File}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(SourceName(source)) + " " + c.bytes);
      Opened bare(source, c.bytes, TextStream::READ, CP_UTF8);
      // The mark wins over the code page asked for.
      Opened marked(source, kUtf8Mark + c.bytes, TextStream::READ, 1252);
      ASSERT_TRUE(bare.Ok());
      ASSERT_TRUE(marked.Ok());
      EXPECT_EQ(marked.Stream().GetCodePage(), static_cast<UINT>(CP_UTF8));
      EXPECT_EQ(ReadAll(bare.Stream()), c.text);
      EXPECT_EQ(ReadAll(marked.Stream()), c.text);
      EXPECT_TRUE(marked.Stream().AtEOF());
    }
  }
}

TEST(TextStreamDecode, Utf16LittleEndian) {
  struct Case {
    Bytes bytes;
    UINT codePage;
    std::wstring text;
  };
  const Case cases[] = {
      {kUtf16Mark + Utf16(L"Hi\u00E9"), 0, L"Hi\u00E9"},
      {kUtf16Mark + Utf16(L"\xD83D\xDE00"), CP_UTF8, L"\xD83D\xDE00"},
      {Utf16(L"no mark"), TextStream::CP_UTF16LE, L"no mark"},
      // An odd byte at the very end becomes one replacement character.
      {kUtf16Mark + Utf16(L"A") + B({0x42}), 0, L"A\uFFFD"},
      {kUtf16Mark + B({0x42}), 0, L"\uFFFD"},
  };
  for (const Case& c : cases) {
    Opened opened(Source::Mem, c.bytes, TextStream::READ, c.codePage);
    ASSERT_TRUE(opened.Ok());
    EXPECT_EQ(opened.Stream().GetCodePage(), TextStream::CP_UTF16LE);
    EXPECT_EQ(ReadAll(opened.Stream()), c.text);
  }
}

TEST(TextStreamDecode, InvalidUtf8BecomesReplacementCharacter) {
  struct Case {
    Bytes bytes;
    std::wstring text;
  };
  const Case cases[] = {
      {"a\x80"
       "b",
       L"a\uFFFDb"},  // stray continuation byte
      {"\xFF\xFE"
       "x",
       L"\uFFFD\uFFFDx"},          // never valid in UTF-8 (and no UTF-16 mark: not at the start)
      {"\xC3\x41z", L"\uFFFDAz"},  // a broken sequence keeps the byte that broke it
      {"\xE2\x82\x41", L"\uFFFDA"},
      {"\xE2\x41\x82", L"\uFFFDA\uFFFD"},
      {"\xC0\x80", L"\uFFFD"},                                      // overlong NUL
      {"\xF8\x88\x80\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // 5-byte form: each byte alone
      // Truncated by the end of the data.
      {"ab\xE2\x82", L"ab\uFFFD"},
      {"\xF0\x9F", L"\uFFFD"},
      {"x\xC3", L"x\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    Opened opened(Source::Mem, "." + c.bytes, TextStream::READ, CP_UTF8);
    ASSERT_TRUE(opened.Ok());
    EXPECT_EQ(ReadAll(opened.Stream()), L"." + c.text);
  }
}

TEST(TextStreamDecode, AnsiCodePages) {
  struct Case {
    UINT codePage;
    Bytes bytes;
    std::wstring text;
  };
  const Case cases[] = {
      {1252, "\x80\xE9", L"\u20AC\u00E9"},
      {1251, "\xC0\xFF", L"\u0410\u044F"},
      {932,
       "\x82\xA0\xB1"
       "a",
       L"\u3042\uFF71a"},          // lead byte pair, then a single-byte kana
      {932, "a\x82", L"a\uFFFD"},  // lead byte cut off by the end
  };
  for (const Case& c : cases) {
    if (!HaveCodePage(c.codePage)) GTEST_SKIP() << "code page " << c.codePage << " is not installed on this system";
    Opened opened(Source::Mem, c.bytes, TextStream::READ, c.codePage);
    ASSERT_TRUE(opened.Ok());
    EXPECT_EQ(opened.Stream().GetCodePage(), c.codePage);
    EXPECT_EQ(ReadAll(opened.Stream()), c.text);
  }
}

TEST(TextStreamDecode, SequenceSplitByBufferEnd) {
  struct Case {
    UINT codePage;
    uint32_t pad;
    Bytes sequence;
    std::wstring text;
  };
  const Case cases[] = {
      {CP_UTF8, 8191, "\xC3\xA9", L"\u00E9"},
      {CP_UTF8, 8190, "\xE2\x82\xAC", L"\u20AC"},
      {CP_UTF8, 8191, "\xE2\x82\xAC", L"\u20AC"},
      {CP_UTF8, 8189, "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
      {CP_UTF8, 8190, "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
      {CP_UTF8, 8191, "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
      {932, 8191, "\x82\xA0", L"\u3042"},
  };
  for (Source source : {Source::Mem, Source::File}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(SourceName(source)) + " pad " + std::to_string(c.pad));
      if (!HaveCodePage(c.codePage)) GTEST_SKIP() << "code page " << c.codePage << " is not installed on this system";
      Opened opened(source, Bytes(c.pad, 'a') + c.sequence + "z", TextStream::READ, c.codePage);
      ASSERT_TRUE(opened.Ok());
      // Small chunks make the split land inside one Read as well as between two.
      EXPECT_EQ(ReadAll(opened.Stream(), 1000), std::wstring(c.pad, L'a') + c.text + L"z");
    }
  }
}

// ---------------------------------------------------------------- line ends

TEST(TextStreamLines, EndingsTranslatedByFlags) {
  struct Case {
    Bytes bytes;
    uint32_t flags;
    std::vector<std::wstring> lines;
  };
  const std::vector<std::wstring> same = {L"one\n", L"two\n", L"\n", L"three"};
  const Case cases[] = {
      {"one\r\ntwo\r\n\r\nthree", kBoth, same},
      {"one\ntwo\n\nthree", kBoth, same},
      {"one\rtwo\r\rthree", kBoth, same},
      {"one\r\ntwo\n\rthree", kBoth, same},
      {"one\r\ntwo\r\n\r\nthree", TextStream::TS_CRLF, same},
      {"one\rtwo\r\rthree", TextStream::TS_LONE_CR, same},
      // A flag only touches its own kind of ending.
      {"a\rb\r\nc", TextStream::TS_CRLF, {L"a\rb\n", L"c"}},
      {"a\rb\r\nc", TextStream::TS_LONE_CR, {L"a\n", L"b\r\n", L"c"}},
      {"a\rb\r\nc", 0, {L"a\rb\r\n", L"c"}},
      {"end\r", kBoth, {L"end\n"}},
      {"end\r", 0, {L"end\r"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " text " << c.bytes);
    Opened utf8(Source::Mem, c.bytes, TextStream::READ | c.flags, CP_UTF8);
    ASSERT_TRUE(utf8.Ok());
    EXPECT_EQ(ReadLines(utf8.Stream()), c.lines);
    std::wstring wide(c.bytes.begin(), c.bytes.end());
    Opened utf16(Source::Mem, kUtf16Mark + Utf16(wide), TextStream::READ | c.flags, 0);
    ASSERT_TRUE(utf16.Ok());
    EXPECT_EQ(ReadLines(utf16.Stream()), c.lines);
  }
}

TEST(TextStreamLines, CarriageReturnAtBufferEnd) {
  // Each text puts "\r" in the last bytes of the first 8192-byte fill and
  // "\n" at the start of the next.
  struct Text {
    const char* name;
    Bytes bytes;
    UINT codePage;
    std::wstring first;
  };
  const Text texts[] = {
      {"utf-8", Bytes(8191, 'a') + "\r\nb", CP_UTF8, std::wstring(8191, L'a')},
      {"utf-8 marked", kUtf8Mark + Bytes(8188, 'a') + "\r\nb", 0, std::wstring(8188, L'a')},
      {"utf-16", kUtf16Mark + Utf16(std::wstring(4094, L'a') + L"\r\nb"), 0, std::wstring(4094, L'a')},
  };
  struct Case {
    uint32_t flags;
    std::vector<std::wstring> tails;
  };
  const Case cases[] = {
      {kBoth, {L"\n", L"b"}},
      {TextStream::TS_CRLF, {L"\n", L"b"}},
      {TextStream::TS_LONE_CR, {L"\r\n", L"b"}},
  };
  for (Source source : {Source::Mem, Source::File}) {
    for (const Text& t : texts) {
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << SourceName(source) << " " << t.name << " flags " << c.flags);
        Opened opened(source, t.bytes, TextStream::READ | c.flags, t.codePage);
        ASSERT_TRUE(opened.Ok());
        std::vector<std::wstring> expected = {t.first + c.tails[0], c.tails[1]};
        EXPECT_EQ(ReadLines(opened.Stream()), expected);
      }
    }
  }
}

// -------------------------------------------------------------------- limits

TEST(TextStreamRead, MaxLinesStopsAfterThatManyLineFeeds) {
  struct Case {
    int maxLines;
    std::vector<std::wstring> reads;
  };
  const Case cases[] = {
      {0, {L"one\ntwo\n\nthree"}},
      {1, {L"one\n", L"two\n", L"\n", L"three"}},
      {2, {L"one\ntwo\n", L"\nthree"}},
      {5, {L"one\ntwo\n\nthree"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxLines);
    Opened opened(Source::Mem, "one\r\ntwo\n\rthree", TextStream::READ | kBoth, CP_UTF8);
    ASSERT_TRUE(opened.Ok());
    std::vector<std::wstring> reads;
    wchar_t buf[64];
    while (uint32_t n = opened.Stream().Read(buf, 63, c.maxLines)) {
      EXPECT_EQ(buf[n], L'\0');
      reads.emplace_back(buf, n);
    }
    EXPECT_EQ(reads, c.reads);
  }
}

TEST(TextStreamRead, MaxCharsAndSurrogatePairs) {
  // "\xF0\x9F\x98\x80" decodes to a surrogate pair, which is stored whole or not at all.
  struct Case {
    Bytes bytes;
    uint32_t maxChars;
    std::vector<std::wstring> reads;
    bool endsAtEOF;
  };
  const Case cases[] = {
      {"ab\xF0\x9F\x98\x80"
       "c",
       3,
       {L"ab",
        L"\xD83D\xDE00"
        L"c"},
       true},
      {"ab\xF0\x9F\x98\x80"
       "c",
       4,
       {L"ab\xD83D\xDE00", L"c"},
       true},
      {"ab\xF0\x9F\x98\x80"
       "c",
       2,
       {L"ab", L"\xD83D\xDE00", L"c"},
       true},
      // A pair can never fit one unit: reading stalls before it.
      {"ab\xF0\x9F\x98\x80"
       "c",
       1,
       {L"a", L"b"},
       false},
      {"abcdef", 4, {L"abcd", L"ef"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxChars);
    Opened opened(Source::Mem, c.bytes, TextStream::READ, CP_UTF8);
    ASSERT_TRUE(opened.Ok());
    std::vector<std::wstring> reads;
    wchar_t buf[8];
    for (;;) {
      wmemset(buf, L'#', 8);
      uint32_t n = opened.Stream().Read(buf, c.maxChars);
      if (!n) break;
      // Terminated only when there is room; never written past maxChars.
      EXPECT_EQ(buf[c.maxChars], L'#');
      if (n < c.maxChars) {
        EXPECT_EQ(buf[n], L'\0');
      }
      reads.emplace_back(buf, n);
    }
    EXPECT_EQ(reads, c.reads);
    EXPECT_EQ(opened.Stream().AtEOF(), c.endsAtEOF);
  }
}

// ------------------------------------------------------------------- writing

TEST(TextStreamWrite, RoundTripThroughFile) {
  struct Case {
    const char* name;
    uint32_t flags;
    UINT codePage;
    std::vector<std::wstring> writes;
    Bytes bytes;
    std::wstring readBack;
  };
  const Case cases[] = {
      {"utf-8 mark",
       TextStream::WRITE | TextStream::BOM_UTF8,
       CP_UTF8,
       {L"h\u00E9llo"},
       kUtf8Mark + "h\xC3\xA9llo",
       L"h\u00E9llo"},
      {"utf-16 mark",
       TextStream::WRITE | TextStream::BOM_UTF16,
       TextStream::CP_UTF16LE,
       {L"a\n\xD83D\xDE00"},
       kUtf16Mark + Utf16(L"a\n\xD83D\xDE00"),
       L"a\n\xD83D\xDE00"},
      {"utf-8 mark wins over utf-16 mark",
       TextStream::WRITE | TextStream::BOM_UTF8 | TextStream::BOM_UTF16,
       CP_UTF8,
       {L"x"},
       kUtf8Mark + "x",
       L"x"},
      {"crlf across writes",
       TextStream::WRITE | TextStream::TS_CRLF,
       CP_UTF8,
       {L"a\r", L"\nb\n", L"\n"},
       "a\r\nb\r\n\r\n",
       L"a\nb\n\n"},
      {"crlf in utf-16",
       TextStream::WRITE | TextStream::TS_CRLF | TextStream::BOM_UTF16,
       TextStream::CP_UTF16LE,
       {L"a\nb"},
       kUtf16Mark + Utf16(L"a\r\nb"),
       L"a\nb"},
      {"no translation without the flag", TextStream::WRITE, CP_UTF8, {L"a\nb\r\n"}, "a\nb\r\n", L"a\nb\n"},
      {"code page 1252", TextStream::WRITE, 1252, {L"\u00E9\u20AC", L"!"}, "\xE9\x80!", L"\u00E9\u20AC!"},
      {"utf-8 supplementary", TextStream::WRITE, CP_UTF8, {L"\xD83D\xDE00"}, "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file;
    ASSERT_TRUE(file.Valid());
    uint32_t produced = 0;
    {
      TextFile out;
      ASSERT_TRUE(out.Open(file.Path(), c.flags, c.codePage));
      for (const std::wstring& w : c.writes) produced += out.Write(w.c_str(), static_cast<uint32_t>(w.size()));
    }
    Bytes onDisk = file.Get();
    EXPECT_EQ(onDisk, c.bytes);
    uint32_t mark = (c.flags & TextStream::BOM_UTF8) ? 3 : (c.flags & TextStream::BOM_UTF16) ? 2 : 0;
    EXPECT_EQ(produced + mark, onDisk.size());

    TextFile in;
    ASSERT_TRUE(in.Open(file.Path(), TextStream::READ | kBoth, c.codePage));
    EXPECT_EQ(ReadAll(in), c.readBack);
  }
}

TEST(TextStreamWrite, WriteStopsAtTerminatorWhenLengthIsZero) {
  TempFile file;
  {
    TextFile out;
    ASSERT_TRUE(out.Open(file.Path(), TextStream::WRITE, CP_UTF8));
    EXPECT_EQ(out.Write(L"abc\0def"), 3u);
  }
  EXPECT_EQ(file.Get(), "abc");
}

TEST(TextStreamWrite, AppendAndUpdateOpenings) {
  struct Case {
    const char* name;
    Bytes before;
    uint32_t flags;
    UINT codePage;
    std::wstring text;
    Bytes after;
    UINT finalCodePage;
  };
  const Case cases[] = {
      {"append moves to the end", "abc", TextStream::APPEND | TextStream::BOM_UTF8, CP_UTF8, L"def", "abcdef", CP_UTF8},
      {"append keeps utf-16 from the mark", kUtf16Mark + Utf16(L"a"), TextStream::APPEND | TextStream::BOM_UTF16, 1252,
       L"b", kUtf16Mark + Utf16(L"ab"), TextStream::CP_UTF16LE},
      {"append to empty writes the mark", "", TextStream::APPEND | TextStream::BOM_UTF8, CP_UTF8, L"x", kUtf8Mark + "x",
       CP_UTF8},
      {"update starts at the front", "abcdef", TextStream::UPDATE, CP_UTF8, L"XY", "XYcdef", CP_UTF8},
      {"update starts after the mark", kUtf8Mark + "abc", TextStream::UPDATE | TextStream::BOM_UTF8, 1252, L"\u00E9",
       kUtf8Mark + "\xC3\xA9"
                   "c",
       CP_UTF8},
      {"write truncates", "old text", TextStream::WRITE, CP_UTF8, L"new", "new", CP_UTF8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file;
    ASSERT_TRUE(file.Put(c.before));
    {
      TextFile out;
      ASSERT_TRUE(out.Open(file.Path(), c.flags, c.codePage));
      EXPECT_EQ(out.GetCodePage(), c.finalCodePage);
      EXPECT_GT(out.Write(c.text.c_str()), 0u);
    }
    EXPECT_EQ(file.Get(), c.after);
  }
}

TEST(TextStreamWrite, UpdateGivesBackReadAheadBeforeWriting) {
  TempFile file;
  ASSERT_TRUE(file.Put("0123456789"));
  {
    TextFile stream;
    ASSERT_TRUE(stream.Open(file.Path(), TextStream::UPDATE, CP_UTF8));
    wchar_t buf[4];
    ASSERT_EQ(stream.Read(buf, 2), 2u);
    EXPECT_EQ(stream.Write(L"XY"), 2u);
    EXPECT_EQ(stream.Tell(), 4);
    // Reading after writing sees the bytes after the written ones.
    ASSERT_EQ(stream.Read(buf, 3), 3u);
    EXPECT_EQ(std::wstring(buf, 3), L"456");
  }
  EXPECT_EQ(file.Get(), "01XY456789");
}

TEST(TextStreamWrite, PendingOutputFlushedAtTheMark) {
  struct Case {
    UINT codePage;
    std::wstring first;
    std::wstring second;
    uint64_t diskAfterFirst;
    uint64_t diskAfterSecond;
  };
  constexpr uint32_t mark = TextStream::WRITE_FLUSH_AT;
  const Case cases[] = {
      {CP_UTF8, std::wstring(mark - 1, L'a'), L"b", 0, mark},
      {TextStream::CP_UTF16LE, std::wstring(mark / 2 - 1, L'a'), L"b", 0, mark},
      // A 3-byte character crossing the mark still fits the buffer.
      {CP_UTF8, std::wstring(mark - 2, L'a'), L"\u20AC", 0, mark + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    TempFile file;
    TextFile out;
    ASSERT_TRUE(out.Open(file.Path(), TextStream::WRITE, c.codePage));
    LARGE_INTEGER size;
    out.Write(c.first.c_str());
    ASSERT_TRUE(GetFileSizeEx(out.GetHandle(), &size));
    EXPECT_EQ(static_cast<uint64_t>(size.QuadPart), c.diskAfterFirst);
    EXPECT_EQ(out.Length(), static_cast<int64_t>(c.first.size() * (c.codePage == CP_UTF8 ? 1 : 2)));
    out.Write(c.second.c_str());
    ASSERT_TRUE(GetFileSizeEx(out.GetHandle(), &size));
    EXPECT_EQ(static_cast<uint64_t>(size.QuadPart), c.diskAfterSecond);
    EXPECT_EQ(out.Tell(), static_cast<int64_t>(c.diskAfterSecond));
  }
}

// ------------------------------------------------------- positions and length

TEST(TextStreamSeek, TellAndSeekAccountForTheBuffer) {
  TempFile file;
  ASSERT_TRUE(file.Put(kUtf8Mark + "0123456789"));
  TextFile stream;
  ASSERT_TRUE(stream.Open(file.Path(), TextStream::READ, 0));
  EXPECT_EQ(stream.Tell(), 3);  // just past the mark, though the whole file is buffered
  EXPECT_EQ(stream.Length(), 13);
  struct Step {
    int64_t distance;
    int origin;
    uint32_t chars;
    std::wstring text;
    int64_t tellAfter;
  };
  const Step steps[] = {
      {0, FILE_CURRENT, 3, L"012", 6},
      {4, FILE_BEGIN, 2, L"12", 6},
      {-2, FILE_END, 5, L"89", 13},
      {-4, FILE_CURRENT, 1, L"6", 10},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.text);
    ASSERT_TRUE(stream.Seek(s.distance, s.origin));
    wchar_t buf[8];
    uint32_t n = stream.Read(buf, s.chars);
    EXPECT_EQ(std::wstring(buf, n), s.text);
    EXPECT_EQ(stream.Tell(), s.tellAfter);
  }
  EXPECT_FALSE(stream.AtEOF());
  ASSERT_TRUE(stream.Seek(0, FILE_END));
  EXPECT_TRUE(stream.AtEOF());
}

TEST(TextStreamSeek, SetLength) {
  struct Case {
    int64_t newLength;
    int64_t tellAfter;
    Bytes after;
  };
  const Case cases[] = {
      {5, 3, "01234"}, {3, 3, "012"}, {2, 2, "01"}, {0, 0, ""}, {12, 3, Bytes("0123456789") + Bytes(2, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.newLength);
    TempFile file;
    ASSERT_TRUE(file.Put("0123456789"));
    {
      TextFile stream;
      ASSERT_TRUE(stream.Open(file.Path(), TextStream::UPDATE, CP_UTF8));
      wchar_t buf[4];
      ASSERT_EQ(stream.Read(buf, 3), 3u);
      ASSERT_TRUE(stream.SetLength(c.newLength));
      EXPECT_EQ(stream.Length(), c.newLength);
      EXPECT_EQ(stream.Tell(), c.tellAfter);
      EXPECT_FALSE(stream.SetLength(-1));
    }
    EXPECT_EQ(file.Get(), c.after);
  }
}

TEST(TextStreamSeek, LengthCountsPendingOutput) {
  TempFile file;
  ASSERT_TRUE(file.Put("abc"));
  TextFile stream;
  ASSERT_TRUE(stream.Open(file.Path(), TextStream::APPEND | TextStream::SHARE_ALL, CP_UTF8));
  EXPECT_EQ(stream.Length(), 3);
  stream.Write(L"defg");
  EXPECT_EQ(stream.Tell(), 7);
  EXPECT_EQ(stream.Length(), 7);
  EXPECT_EQ(file.Get(), "abc");  // still only in the buffer
}

// ------------------------------------------------------------------ raw bytes

TEST(TextStreamRaw, RawReadAfterDecodedText) {
  Bytes pattern;
  for (int i = 0; i < 20000; ++i) pattern.push_back(static_cast<char>('a' + i % 26));
  struct Case {
    uint32_t chars;
    uint32_t bytes;
    uint32_t expected;
  };
  const Case cases[] = {
      {10, 100, 100},                          // all from the buffer
      {10, 8182, 8182},                        // exactly what is buffered
      {10, 9000, 9000},                        // the rest through a refilled buffer
      {10, 17000, 17000},                      // the rest straight from the file
      {0, 20000, 20000},  {10, 30000, 19990},  // short at the end of the file
  };
  for (Source source : {Source::Mem, Source::File}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << SourceName(source) << " " << c.chars << "+" << c.bytes);
      Opened opened(source, pattern, TextStream::READ, CP_UTF8);
      ASSERT_TRUE(opened.Ok());
      std::vector<wchar_t> text(c.chars + 1);
      ASSERT_EQ(opened.Stream().Read(text.data(), c.chars), c.chars);
      Bytes raw(c.bytes, '\0');
      ASSERT_EQ(opened.Stream().RawRead(raw.data(), c.bytes), c.expected);
      raw.resize(c.expected);
      EXPECT_EQ(raw, pattern.substr(c.chars, c.expected));
      EXPECT_EQ(opened.Stream().Tell(), static_cast<int64_t>(c.chars + c.expected));
    }
  }
}

TEST(TextStreamRaw, RawWriteKeepsOrderWithText) {
  struct Case {
    uint32_t rawSize;
  };
  const Case cases[] = {{3}, {8000}, {10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rawSize);
    Bytes raw(c.rawSize, 'r');
    TempFile file;
    {
      TextFile out;
      ASSERT_TRUE(out.Open(file.Path(), TextStream::WRITE | TextStream::BOM_UTF8, CP_UTF8));
      EXPECT_EQ(out.Write(L"ab"), 2u);
      EXPECT_EQ(out.RawWrite(raw.data(), c.rawSize), c.rawSize);
      EXPECT_EQ(out.Write(L"c"), 1u);
    }
    EXPECT_EQ(file.Get(), kUtf8Mark + "ab" + raw + "c");
  }
}

// -------------------------------------------------------------------- memory

TEST(TextStreamMem, ReadOnlyAndUnseekable) {
  const char text[] = "line one\nline two\n";
  const uint32_t size = sizeof text - 1;
  // Owned data is handed over and freed by the stream.
  void* data = std::malloc(size);
  ASSERT_NE(data, nullptr);
  std::memcpy(data, text, size);
  TextMem::Buffer buffer{data, size, true};
  TextMem mem;
  ASSERT_TRUE(mem.Open(reinterpret_cast<const wchar_t*>(&buffer), TextStream::READ | kBoth, CP_UTF8));
  EXPECT_EQ(mem.Length(), static_cast<int64_t>(size));

  wchar_t buf[32];
  ASSERT_EQ(mem.ReadLine(buf, 32), 9u);
  EXPECT_EQ(mem.Tell(), 9);
  EXPECT_FALSE(mem.Seek(0, FILE_BEGIN));
  EXPECT_FALSE(mem.SetLength(4));
  // A failed seek leaves the read-ahead in place.
  ASSERT_EQ(mem.ReadLine(buf, 32), 9u);
  EXPECT_EQ(std::wstring(buf), L"line two\n");
  EXPECT_TRUE(mem.AtEOF());

  // Nothing can be written: a direct raw write and a full buffer both fail.
  std::string big(TextStream::BUFFER_CAPACITY + 100, 'x');
  EXPECT_EQ(mem.RawWrite(big.data(), static_cast<uint32_t>(big.size())), 0u);
  std::wstring wide(TextStream::WRITE_FLUSH_AT, L'x');
  EXPECT_EQ(mem.Write(wide.c_str()), 0u);
  mem.Close();
}

TEST(TextStreamMem, ReopenAndEmpty) {
  const Bytes first = "first";
  const Bytes second = kUtf16Mark + Utf16(L"second");
  TextMem mem;
  TextMem::Buffer a{const_cast<char*>(first.data()), static_cast<uint32_t>(first.size()), false};
  ASSERT_TRUE(mem.Open(reinterpret_cast<const wchar_t*>(&a), TextStream::READ, CP_UTF8));
  EXPECT_EQ(ReadAll(mem), L"first");
  TextMem::Buffer b{const_cast<char*>(second.data()), static_cast<uint32_t>(second.size()), false};
  ASSERT_TRUE(mem.Open(reinterpret_cast<const wchar_t*>(&b), TextStream::READ, CP_UTF8));
  EXPECT_EQ(ReadAll(mem), L"second");
  TextMem::Buffer none{nullptr, 0, false};
  ASSERT_TRUE(mem.Open(reinterpret_cast<const wchar_t*>(&none), TextStream::READ, CP_UTF8));
  wchar_t buf[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_EQ(mem.Read(buf, 4), 0u);
  EXPECT_EQ(buf[0], L'\0');
  EXPECT_TRUE(mem.AtEOF());
  TextMem::Buffer broken{nullptr, 10, false};
  EXPECT_FALSE(mem.Open(reinterpret_cast<const wchar_t*>(&broken), TextStream::READ, CP_UTF8));
}

// ------------------------------------------------------------------- handles

TEST(TextStreamHandles, StandardHandleNames) {
  struct Case {
    const wchar_t* name;
    uint32_t mode;
    DWORD which;
  };
  const Case cases[] = {
      {L"*", TextStream::READ, STD_INPUT_HANDLE},    {L"*", TextStream::WRITE, STD_OUTPUT_HANDLE},
      {L"*", TextStream::APPEND, STD_OUTPUT_HANDLE}, {L"**", TextStream::WRITE, STD_ERROR_HANDLE},
      {L"**", TextStream::APPEND, STD_ERROR_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " which " << c.which);
    HANDLE expected = GetStdHandle(c.which);
    TextFile stream;
    bool opened = stream.Open(c.name, c.mode | TextStream::TS_CRLF | TextStream::BOM_UTF8, CP_UTF8);
    if (!expected || expected == INVALID_HANDLE_VALUE) {
      EXPECT_FALSE(opened);
      continue;
    }
    ASSERT_TRUE(opened);
    EXPECT_EQ(stream.GetHandle(), expected);
    EXPECT_EQ(stream.GetFlags() & TextStream::ACCESS_MASK, 0u);
    EXPECT_NE(stream.GetFlags() & TextStream::IS_HANDLE, 0u);
    EXPECT_NE(stream.GetFlags() & TextStream::TS_CRLF, 0u);
    stream.Close();
    // The process's handle survives the stream.
    SetLastError(NO_ERROR);
    EXPECT_TRUE(GetFileType(expected) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR);
  }
}

TEST(TextStreamHandles, CallerHandleKeptOpenAndGetsNoMark) {
  TempFile file;
  HANDLE h = CreateFileW(file.Path(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  {
    TextFile stream;
    ASSERT_TRUE(stream.Open(reinterpret_cast<const wchar_t*>(h),
                            TextStream::IS_HANDLE | TextStream::WRITE | TextStream::BOM_UTF8, CP_UTF8));
    EXPECT_EQ(stream.GetHandle(), h);
    EXPECT_EQ(stream.Write(L"hi"), 2u);
  }
  DWORD put = 0;
  EXPECT_TRUE(WriteFile(h, "!", 1, &put, nullptr));
  CloseHandle(h);
  EXPECT_EQ(file.Get(), "hi!");

  TextFile bad;
  EXPECT_FALSE(bad.Open(nullptr, TextStream::IS_HANDLE | TextStream::READ, 0));
}

TEST(TextStreamHandles, PipeWithoutPositionReadsToItsEnd) {
  struct Case {
    Bytes bytes;
    uint32_t flags;
    std::wstring text;
  };
  const Case cases[] = {
      {"ab\r\ncd", TextStream::TS_CRLF, L"ab\ncd"},
      {"\xEF\xBB\xBFx", 0, L"\u00EF\u00BB\u00BFx"},  // a handle is never searched for a mark
      {"", 0, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    DWORD put = 0;
    if (!c.bytes.empty()) {
      ASSERT_TRUE(WriteFile(writeEnd, c.bytes.data(), static_cast<DWORD>(c.bytes.size()), &put, nullptr));
    }
    CloseHandle(writeEnd);
    {
      TextFile stream;
      ASSERT_TRUE(stream.Open(reinterpret_cast<const wchar_t*>(readEnd),
                              TextStream::IS_HANDLE | TextStream::READ | c.flags, 1252));
      EXPECT_EQ(stream.AtEOF(), c.bytes.empty());
      EXPECT_EQ(ReadAll(stream), c.text);
      EXPECT_TRUE(stream.AtEOF());
    }
    CloseHandle(readEnd);
  }
}

TEST(TextStreamHandles, MissingFileFailsToOpenForReading) {
  TempFile file;
  std::wstring gone = std::wstring(file.Path()) + L".missing";
  TextFile stream;
  EXPECT_FALSE(stream.Open(gone.c_str(), TextStream::READ, 0));
  EXPECT_EQ(stream.GetHandle(), INVALID_HANDLE_VALUE);
}

// --------------------------------------------------------------- code pages

TEST(TextStreamCodePage, DefaultIsTheSystemAnsiCodePage) {
  TextMem mem;
  EXPECT_EQ(mem.GetCodePage(), GetACP());
  EXPECT_EQ(TextStream::SystemCodePage(), GetACP());
  const Bytes bytes = "\xE9";
  TextMem::Buffer buffer{const_cast<char*>(bytes.data()), 1, false};
  ASSERT_TRUE(mem.Open(reinterpret_cast<const wchar_t*>(&buffer), TextStream::READ, 0));
  EXPECT_EQ(mem.GetCodePage(), GetACP());
  struct Step {
    UINT requested;
    UINT result;
  };
  const Step steps[] = {
      {1252, 1252}, {CP_UTF8, CP_UTF8}, {0, GetACP()}, {TextStream::CP_UTF16LE, TextStream::CP_UTF16LE}};
  for (const Step& s : steps) {
    mem.ChangeCodePage(s.requested);
    EXPECT_EQ(mem.GetCodePage(), s.result);
  }
  // A change applies to the bytes read from then on.
  mem.ChangeCodePage(1252);
  wchar_t buf[4];
  ASSERT_EQ(mem.Read(buf, 4), 1u);
  EXPECT_EQ(buf[0], L'\u00E9');
}

}  // namespace
