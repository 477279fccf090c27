// Tests of FileAppend and FileEncoding, called directly with hand-built
// arguments: the exact bytes each encoding, line-end rule and byte-order-mark
// rule leaves in the file, the ErrorLevel and A_LastError of failures, the
// read loop's output file, raw clipboard images and the encoding names.
// Every temporary file lives in the temp folder and is deleted by its owner.
#include "system/file_append.h"
#include "system/system_state.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exceptions.h"
#include "script/file_encoding.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

using Bytes = std::string;

// Builds a byte string from numbers, so tables can hold any byte.
Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// A path in the temp folder with no file behind it until a test makes one;
// whatever is there at the end is deleted.
class TempPath {
 public:
  TempPath() {
    wchar_t dir[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    if (GetTempFileNameW(dir, L"qfa", 0, name)) {
      path_ = name;
      DeleteFileW(name);
    }
  }
  ~TempPath() { DeleteFileW(path_.c_str()); }
  const std::wstring& Path() const { return path_; }

  // Replaces the file's contents with bytes.
  bool Put(const Bytes& bytes) const {
    HANDLE h = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
  }

  // The file's contents, or nothing when there is no file.
  std::optional<Bytes> Get() const {
    HANDLE h = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    Bytes out;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got) out.append(chunk, got);
    CloseHandle(h);
    return out;
  }

 private:
  std::wstring path_;
};

// Arguments as the execution loop hands them over; owns the texts.
class Args {
 public:
  Args(std::initializer_list<std::wstring> texts) : texts_(texts) {
    args_.Count = static_cast<int>(texts_.size());
    for (size_t i = 0; i < texts_.size(); ++i) {
      args_.Text[i] = texts_[i].c_str();
      args_.Length[i] = texts_[i].size();
      args_.Var[i] = nullptr;
    }
  }
  CommandArgs& Get() { return args_; }

 private:
  std::vector<std::wstring> texts_;
  CommandArgs args_;
};

constexpr wchar_t kUnsetErrorLevel[] = L"unset";

// The ErrorLevel variable the outcome routines write.
Variable& ErrorLevel() { return *Values().Globals.FindOrAdd(L"ErrorLevel", VAR_GLOBAL); }

// Saves and restores the thread settings the commands read and write, and
// marks ErrorLevel so that each test sees whether the command set it.
class FileAppendFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = *Values().CurrentThread;
    Values().CurrentThread->FileCodePage = 0;
    Values().CurrentThread->LastErrorCode = 0;
    Values().CurrentThread->ExceptionMode = 0;
    EXPECT_EQ(ErrorLevel().Assign(kUnsetErrorLevel), ResultCode::Ok);
  }
  void TearDown() override {
    Values().CurrentThread->FileCodePage = saved_.FileCodePage;
    Values().CurrentThread->LastErrorCode = saved_.LastErrorCode;
    Values().CurrentThread->ExceptionMode = saved_.ExceptionMode;
    System().ReadLoopOutput = nullptr;
  }
  std::wstring ErrorLevelText() { return ErrorLevel().TextOf(); }

  ScriptLine line_;

 private:
  ThreadSettings saved_;
};

using FileAppendCalls = FileAppendFixture;

// One file write: the thread's encoding, the Encoding parameter, whether the
// file name carries the binary "*", what the file held before (nothing =
// no file), the text, and the bytes the file must hold afterwards.
struct BytesCase {
  const char* Label;
  uint32_t ThreadCodePage;
  std::wstring Encoding;
  bool BinaryPrefix;
  std::optional<Bytes> Before;
  std::wstring Text;
  Bytes After;
};

const BytesCase kBytesCases[] = {
    {"new file, LF becomes CR LF", 0, L"", false, std::nullopt, L"ab\ncd\n", "ab\r\ncd\r\n"},
    {"text with CR LF is left alone", 0, L"", false, std::nullopt, L"a\r\nb\nc", "a\r\nb\nc"},
    {"lone CR is left alone", 0, L"", false, std::nullopt, L"a\rb\n", "a\rb\r\n"},
    {"binary prefix keeps LF", 0, L"", true, std::nullopt, L"a\nb\n", "a\nb\n"},
    {"appends to existing text", 0, L"", false, Bytes("old\r\n"), L"new\n", "old\r\nnew\r\n"},
    {"empty text creates an empty file", 0, L"", false, std::nullopt, L"", ""},
    {"empty text leaves a file as it was", 0, L"", false, Bytes("keep"), L"", "keep"},
    {"CP1252 parameter", 0, L"CP1252", false, std::nullopt, L"\u00e9\n", B({0xE9, 0x0D, 0x0A})},
    {"hexadecimal code page", 0, L"cp0x4E4", false, std::nullopt, L"\u00e9", B({0xE9})},
    {"UTF-8 new file gets a mark", 0, L"UTF-8", false, std::nullopt, L"\u00e9\n",
     B({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0x0D, 0x0A})},
    {"UTF-8 name in any case", 0, L"utf-8", false, std::nullopt, L"x", B({0xEF, 0xBB, 0xBF, 'x'})},
    {"UTF-8 empty text writes the mark alone", 0, L"UTF-8", false, std::nullopt, L"", B({0xEF, 0xBB, 0xBF})},
    {"UTF-8-RAW has no mark", 0, L"UTF-8-RAW", false, std::nullopt, L"\u00e9\n", B({0xC3, 0xA9, 0x0D, 0x0A})},
    {"UTF-8 surrogate pair", 0, L"UTF-8-RAW", false, std::nullopt, L"\U0001F600", B({0xF0, 0x9F, 0x98, 0x80})},
    {"UTF-16 new file gets a mark", 0, L"UTF-16", false, std::nullopt, L"\u00e9\n",
     B({0xFF, 0xFE, 0xE9, 0x00, 0x0D, 0x00, 0x0A, 0x00})},
    {"UTF-16-RAW has no mark", 0, L"UTF-16-RAW", false, std::nullopt, L"a\n", B({'a', 0x00, 0x0D, 0x00, 0x0A, 0x00})},
    {"UTF-16 binary keeps LF", 0, L"UTF-16-RAW", true, std::nullopt, L"a\n", B({'a', 0x00, 0x0A, 0x00})},
    {"existing file gets no mark", 0, L"UTF-8", false, Bytes("x"), L"\u00e9", B({'x', 0xC3, 0xA9})},
    {"existing empty file gets a mark", 0, L"UTF-8", false, Bytes(), L"y", B({0xEF, 0xBB, 0xBF, 'y'})},
    {"UTF-8 mark in the file wins over the parameter", 0, L"CP1252", false, B({0xEF, 0xBB, 0xBF, 'x'}), L"\u00e9",
     B({0xEF, 0xBB, 0xBF, 'x', 0xC3, 0xA9})},
    {"UTF-16 mark in the file wins over ANSI", 0, L"", false, B({0xFF, 0xFE, 'x', 0x00}), L"a\n",
     B({0xFF, 0xFE, 'x', 0x00, 'a', 0x00, 0x0D, 0x00, 0x0A, 0x00})},
    {"thread encoding UTF-8", kCodePageUtf8, L"", false, std::nullopt, L"\u00e9", B({0xEF, 0xBB, 0xBF, 0xC3, 0xA9})},
    {"thread encoding UTF-8-RAW", kCodePageUtf8 | kCodePageNoBom, L"", false, std::nullopt, L"\u00e9", B({0xC3, 0xA9})},
    {"thread encoding UTF-16", kCodePageUtf16, L"", false, std::nullopt, L"z", B({0xFF, 0xFE, 'z', 0x00})},
    {"parameter overrides the thread", kCodePageUtf16, L"CP1252", false, std::nullopt, L"\u00e9", B({0xE9})},
    {"CP0 is the system code page", kCodePageUtf8, L"CP0", false, std::nullopt, L"plain\n", "plain\r\n"},
};

using FileAppendBytes = FileAppendFixture;

TEST_F(FileAppendBytes, WritesExactBytes) {
  for (const BytesCase& c : kBytesCases) {
    SCOPED_TRACE(c.Label);
    Values().CurrentThread->FileCodePage = c.ThreadCodePage;
    EXPECT_EQ(ErrorLevel().Assign(kUnsetErrorLevel), ResultCode::Ok);
    TempPath file;
    ASSERT_FALSE(file.Path().empty());
    if (c.Before) {
      ASSERT_TRUE(file.Put(*c.Before));
    }
    Args args{c.Text, (c.BinaryPrefix ? L"*" : L"") + file.Path(), c.Encoding};

    EXPECT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Ok);
    EXPECT_EQ(ErrorLevelText(), L"0");
    EXPECT_EQ(file.Get().value_or("missing"), c.After);
    // The thread's own encoding is only read.
    EXPECT_EQ(Values().CurrentThread->FileCodePage, c.ThreadCodePage);
  }
}

// Two calls in a row keep appending, and the second does not add a mark.
TEST_F(FileAppendCalls, SecondCallAppendsWithoutMark) {
  TempPath file;
  Args first{L"a\n", file.Path(), L"UTF-8"};
  Args second{L"b\n", file.Path(), L"UTF-8"};
  ASSERT_EQ(CmdFileAppend(line_, first.Get()), ResultCode::Ok);
  ASSERT_EQ(CmdFileAppend(line_, second.Get()), ResultCode::Ok);
  EXPECT_EQ(file.Get().value_or("missing"), B({0xEF, 0xBB, 0xBF, 'a', 0x0D, 0x0A, 'b', 0x0D, 0x0A}));
}

// A text larger than the stream's buffer arrives whole, every LF translated.
TEST_F(FileAppendCalls, LongTextArrivesWhole) {
  TempPath file;
  std::wstring text;
  Bytes expected;
  for (int i = 0; i < 5000; ++i) {
    text += L"line\n";
    expected += "line\r\n";
  }
  Args args{text, file.Path()};
  ASSERT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Ok);
  EXPECT_EQ(file.Get().value_or("missing"), expected);
}

// Failures: the arguments, whether a file must not appear, and the error
// code A_LastError must hold.
struct FailureCase {
  const char* Label;
  std::wstring Text;
  std::wstring FileName;  // "<temp>" stands for a fresh temporary path
  std::wstring Encoding;
  DWORD LastError;
};

constexpr wchar_t kTempMarker[] = L"<temp>";

const FailureCase kFailureCases[] = {
    {"empty file name", L"x", L"", L"", ERROR_INVALID_PARAMETER},
    {"empty file name with an encoding", L"x", L"", L"UTF-8", ERROR_INVALID_PARAMETER},
    {"unknown encoding", L"x", kTempMarker, L"UTF-32", ERROR_INVALID_PARAMETER},
    {"CP without a number", L"x", kTempMarker, L"CP", ERROR_INVALID_PARAMETER},
    {"CP with a sign", L"x", kTempMarker, L"CP-1252", ERROR_INVALID_PARAMETER},
    {"code page too large", L"x", kTempMarker, L"CP0x80000000", ERROR_INVALID_PARAMETER},
    {"missing folder", L"x", L"<temp>\\no such folder\\f.txt", L"", ERROR_PATH_NOT_FOUND},
};

using FileAppendErrors = FileAppendFixture;

TEST_F(FileAppendErrors, SetErrorLevelAndLastError) {
  for (const FailureCase& c : kFailureCases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(ErrorLevel().Assign(kUnsetErrorLevel), ResultCode::Ok);
    Values().CurrentThread->LastErrorCode = 0;
    TempPath file;
    std::wstring name = c.FileName;
    if (name.starts_with(kTempMarker)) name = file.Path() + name.substr(std::wstring_view(kTempMarker).size());
    Args args{c.Text, name, c.Encoding};

    EXPECT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Ok);
    EXPECT_EQ(ErrorLevelText(), L"1");
    EXPECT_EQ(Values().CurrentThread->LastErrorCode, c.LastError);
    EXPECT_FALSE(file.Get().has_value()) << "no file may be created";
  }
}

// Inside Try a failure throws instead, and ErrorLevel keeps its value.
TEST_F(FileAppendErrors, FailureInsideTryThrows) {
  Values().CurrentThread->ExceptionMode = EXCEPTION_MODE_TRY | EXCEPTION_MODE_CATCH;
  Args args{L"x", L""};
  EXPECT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Fail);
  EXPECT_TRUE(HasThrownValue());
  EXPECT_EQ(ErrorLevelText(), kUnsetErrorLevel);
  EXPECT_EQ(Values().CurrentThread->LastErrorCode, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DiscardThrownValue();
}

// A saved clipboard image is written byte for byte and replaces the file.
TEST_F(FileAppendCalls, BinaryVariableReplacesFile) {
  const Bytes image = B({0x0D, 0x00, 0x0A, 0xFF, 0xFE, 0x00, 0x41});
  const Bytes oddImage = B({0x01, 0x0A, 0x02});
  for (const Bytes& bytes : {image, oddImage}) {
    TempPath file;
    ASSERT_TRUE(file.Put("previous contents"));
    Variable clip(L"clip", VAR_GLOBAL);
    ASSERT_EQ(clip.AssignBinaryClip(bytes.data(), bytes.size()), ResultCode::Ok);
    Args args{L"", file.Path(), L"UTF-8"};
    args.Get().Var[0] = &clip;
    EXPECT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Ok);
    EXPECT_EQ(ErrorLevelText(), L"0");
    EXPECT_EQ(file.Get().value_or("missing"), bytes);
  }
}

// A plain variable as the text argument is ordinary text.
TEST_F(FileAppendCalls, TextVariableIsText) {
  TempPath file;
  Variable var(L"var", VAR_GLOBAL);
  ASSERT_EQ(var.Assign(L"t\n"), ResultCode::Ok);
  Args args{L"t\n", file.Path()};
  args.Get().Var[0] = &var;
  EXPECT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Ok);
  EXPECT_EQ(file.Get().value_or("missing"), "t\r\n");
}

// The read loop's output record the lookup below hands out.
ReadLoopOutput* g_testLoopOutput = nullptr;
ReadLoopOutput* TestLoopOutput() { return g_testLoopOutput; }

// Without a file name, FileAppend writes to the read loop's output file,
// opened once and kept open until the loop closes it.
TEST_F(FileAppendCalls, ReadLoopOutputStaysOpen) {
  struct LoopCase {
    bool BinaryPrefix;
    std::wstring Encoding;
    Bytes After;
  };
  const LoopCase cases[] = {
      {false, L"", "one\r\ntwo\r\n"},
      {true, L"", "one\ntwo\n"},
      {false, L"UTF-16",
       B({0xFF, 0xFE, 'o', 0, 'n', 0, 'e', 0, 0x0D, 0, 0x0A, 0, 't', 0, 'w', 0, 'o', 0, 0x0D, 0, 0x0A, 0})},
  };
  for (const LoopCase& c : cases) {
    TempPath file;
    const std::wstring name = (c.BinaryPrefix ? L"*" : L"") + file.Path();
    ReadLoopOutput output;
    output.FileName = name.c_str();
    g_testLoopOutput = &output;
    System().ReadLoopOutput = TestLoopOutput;

    Args first{L"one\n", L"", c.Encoding};
    Args second{L"two\n", L"", c.Encoding};
    EXPECT_EQ(CmdFileAppend(line_, first.Get()), ResultCode::Ok);
    EXPECT_NE(output.File.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CmdFileAppend(line_, second.Get()), ResultCode::Ok);
    EXPECT_EQ(ErrorLevelText(), L"0");
    output.File.Close();
    EXPECT_EQ(file.Get().value_or("missing"), c.After);
    g_testLoopOutput = nullptr;
  }
}

// A read loop without an output file, or no read loop at all, makes an
// omitted file name an error.
TEST_F(FileAppendCalls, ReadLoopWithoutOutputFile) {
  ReadLoopOutput output;
  g_testLoopOutput = &output;
  for (ReadLoopOutputLookup lookup : {TestLoopOutput, static_cast<ReadLoopOutputLookup>(nullptr)}) {
    System().ReadLoopOutput = lookup;
    EXPECT_EQ(ErrorLevel().Assign(kUnsetErrorLevel), ResultCode::Ok);
    Args args{L"x", L""};
    EXPECT_EQ(CmdFileAppend(line_, args.Get()), ResultCode::Ok);
    EXPECT_EQ(ErrorLevelText(), L"1");
    EXPECT_EQ(Values().CurrentThread->LastErrorCode, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  g_testLoopOutput = nullptr;
}

// Encoding names: the text, whether it is valid, and its code-page value.
struct NameCase {
  std::wstring Name;
  bool Valid;
  uint32_t Value;
};

const NameCase kNameCases[] = {
    {L"", true, 0},
    {L"UTF-8", true, 65001},
    {L"utf-8", true, 65001},
    {L"UTF-8-RAW", true, 65001 | 0x80000000u},
    {L"Utf-8-Raw", true, 65001 | 0x80000000u},
    {L"UTF-16", true, 1200},
    {L"UTF-16-RAW", true, 1200 | 0x80000000u},
    {L"CP1252", true, 1252},
    {L"cp936", true, 936},
    {L"CP0", true, 0},
    {L"CP01252", true, 1252},
    {L"CP0x4E4", true, 1252},
    {L"CP0XfDe9", true, 65001},
    {L"CP2147483647", true, 0x7FFFFFFFu},
    {L"CP2147483648", false, 0},
    {L"CP99999999999999999999", false, 0},
    {L"CP", false, 0},
    {L"CP0x", false, 0},
    {L"CP+1252", false, 0},
    {L"CP 1252", false, 0},
    {L"CP1252 ", false, 0},
    {L"CP12a", false, 0},
    {L"CP1.5", false, 0},
    {L"UTF8", false, 0},
    {L"UTF-32", false, 0},
    {L"UTF-8-BOM", false, 0},
    {L"ANSI", false, 0},
    {L"1252", false, 0},
    {std::wstring(L"UTF-8\0x", 7), false, 0},
};

// Printable form of a name for traces.
std::string Printable(const std::wstring& name) {
  std::string out;
  for (wchar_t ch : name) out += ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?';
  return out;
}

TEST(FileAppendEncodingNames, ParseAndNameBack) {
  for (const NameCase& c : kNameCases) {
    SCOPED_TRACE(Printable(c.Name));
    constexpr uint32_t kUntouched = 0xDEADBEEF;
    uint32_t value = kUntouched;
    ASSERT_EQ(ParseEncodingName(c.Name, value), c.Valid);
    if (!c.Valid) {
      EXPECT_EQ(value, kUntouched);
      continue;
    }
    EXPECT_EQ(value, c.Value);
    // The name A_FileEncoding shows parses back to the same value.
    uint32_t again = kUntouched;
    ASSERT_TRUE(ParseEncodingName(EncodingNameOf(value), again));
    EXPECT_EQ(again, value);
  }
}

// The A_FileEncoding text of each kind of code-page value.
TEST(FileAppendEncodingNames, NameEveryKind) {
  struct Case {
    uint32_t Value;
    std::wstring Name;
  };
  const Case cases[] = {
      {0, L""},
      {65001, L"UTF-8"},
      {65001 | 0x80000000u, L"UTF-8-RAW"},
      {1200, L"UTF-16"},
      {1200 | 0x80000000u, L"UTF-16-RAW"},
      {1252, L"CP1252"},
      {1252 | 0x80000000u, L"CP1252"},
      {0x80000000u, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodingNameOf(c.Value), c.Name) << c.Value;
}

// Captures the line error FileEncoding reports.
struct CapturedError {
  std::wstring Message;
  std::wstring Extra;
  int Count = 0;
};
CapturedError g_capturedError;

// Load-error sink that records instead of showing a dialog.
void CaptureError(std::wstring_view message, std::wstring_view extra, int) {
  g_capturedError.Message = message;
  g_capturedError.Extra = extra;
  ++g_capturedError.Count;
}

class FileAppendFileEncoding : public FileAppendFixture {
 protected:
  void SetUp() override {
    FileAppendFixture::SetUp();
    g_capturedError = {};
    SetLoadErrorSink(CaptureError);
  }
  void TearDown() override {
    SetLoadErrorSink(nullptr);
    FileAppendFixture::TearDown();
  }
};

TEST_F(FileAppendFileEncoding, SetsThreadEncodingOrFailsTheLine) {
  for (const NameCase& c : kNameCases) {
    SCOPED_TRACE(Printable(c.Name));
    constexpr uint32_t kBefore = 1252;
    Values().CurrentThread->FileCodePage = kBefore;
    g_capturedError = {};
    Args args{c.Name};
    const ResultCode result = CmdFileEncoding(line_, args.Get());
    if (c.Valid) {
      EXPECT_EQ(result, ResultCode::Ok);
      EXPECT_EQ(Values().CurrentThread->FileCodePage, c.Value);
      EXPECT_EQ(g_capturedError.Count, 0);
    } else {
      EXPECT_EQ(result, ResultCode::Fail);
      EXPECT_EQ(Values().CurrentThread->FileCodePage, kBefore);
      EXPECT_EQ(g_capturedError.Count, 1);
      EXPECT_EQ(g_capturedError.Message, L"Parameter #1 invalid.");
      EXPECT_EQ(g_capturedError.Extra, c.Name);
    }
    // FileEncoding does not touch ErrorLevel.
    EXPECT_EQ(ErrorLevelText(), kUnsetErrorLevel);
  }
}

// FileEncoding without a parameter selects the system code page.
TEST_F(FileAppendFileEncoding, WithoutParameterSelectsSystemCodePage) {
  Values().CurrentThread->FileCodePage = kCodePageUtf8;
  CommandArgs none;
  EXPECT_EQ(CmdFileEncoding(line_, none), ResultCode::Ok);
  EXPECT_EQ(Values().CurrentThread->FileCodePage, 0u);
}

}  // namespace
