// FileRead and FileReadLine (see file_read.h).
//
// FileRead reads the bytes in one piece into the end of the output
// variable's room and decodes them there, so a large file costs one read,
// one pass of decoding and no buffer beside the variable's own.
// FileReadLine goes through a TextFile, which owns decoding and line ends.
#include "system/file_read.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "script/file_encoding.h"
#include "script/text_stream.h"
#include "system/bulk_decode.h"
#include "system/file_common.h"
#include "system/file_messages.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

enum : int { kArgOutput = 0, kArgFileName = 1, kArgLineNumber = 2 };

// Longest line FileReadLine delivers; longer lines arrive in pieces.
constexpr uint32_t kMaxLineChars = 65535;
// Largest read FileRead makes: what one ReadFile call can return.
constexpr uint64_t kMaxReadBytes = 0xFFFFFFFFu;

// What the leading "*" options of FileRead asked for.
struct ReadOptions {
  bool Binary = false;
  bool TranslateCrLf = false;
  uint64_t MaxBytes = UINT64_MAX;
  bool CodePageGiven = false;
  uint32_t CodePage = 0;
};

// Reads a decimal or 0x number at text; returns where it stops.
const wchar_t* ParseOptionNumber(const wchar_t* text, uint64_t& value) {
  wchar_t* end = nullptr;
  value = std::wcstoull(text, &end, 0);
  return end;
}

// Takes "*x" options separated by blanks; returns the file name after them.
const wchar_t* ParseReadOptions(const wchar_t* text, ReadOptions& options) {
  for (;;) {
    while (*text == L' ' || *text == L'\t') ++text;
    if (*text != L'*' || !text[1]) return text;
    const wchar_t letter = static_cast<wchar_t>(towlower(text[1]));
    text += 2;
    uint64_t number = 0;
    switch (letter) {
      case L'c': options.Binary = true; break;
      case L't': options.TranslateCrLf = true; break;
      case L'm':
        text = ParseOptionNumber(text, number);
        options.MaxBytes = number;
        break;
      case L'p':
        text = ParseOptionNumber(text, number);
        options.CodePageGiven = true;
        options.CodePage = static_cast<uint32_t>(number);
        break;
      default: break;
    }
    // Anything else that is part of the option word is skipped.
    while (*text && *text != L' ' && *text != L'\t') ++text;
  }
}

// Reads exactly `bytes` bytes; false on a failed or short read.
bool ReadAll(HANDLE file, void* buffer, DWORD bytes) {
  DWORD got = 0;
  return ReadFile(file, buffer, bytes, &got, nullptr) && got == bytes;
}

// Turns every CR LF into LF in place; returns the new length.
size_t SquashCrLf(wchar_t* text, size_t length) {
  size_t out = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == L'\r' && i + 1 < length && text[i + 1] == L'\n') continue;
    text[out++] = text[i];
  }
  text[out] = 0;
  return out;
}

// The writable buffer of a variable just given `chars` characters of room.
wchar_t* ReserveOutput(Variable& var, size_t chars) {
  if (var.Assign(nullptr, static_cast<ptrdiff_t>(chars), true, false) != ResultCode::Ok) return nullptr;
  return const_cast<wchar_t*>(var.TextOf(false));
}

// Decodes by the mark first, then the code page, the bytes lying at the end
// of out's room of count + 1 units; returns the units made, or -1 when
// decoding failed.
ptrdiff_t DecodeText(wchar_t* out, const uint8_t* bytes, size_t count, uint32_t codePage) {
  if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    codePage = CP_UTF8;
    bytes += 3;
    count -= 3;
  } else if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    codePage = kCodePageUtf16;
    bytes += 2;
    count -= 2;
  }
  if (codePage != kCodePageUtf16) return DecodeBytes(out, bytes, count, codePage);
  // The units may overlap where they are going.
  std::memmove(out, bytes, count / 2 * sizeof(wchar_t));
  return static_cast<ptrdiff_t>(count / 2);
}

// Reads the file's `count` bytes into the end of the output's room and
// decodes them where they lie: a large file needs no second buffer of its
// size. False (output emptied, error in `error`) when reading or decoding
// failed.
bool ReadText(HANDLE file, Variable& var, DWORD count, uint32_t codePage, bool squash, DWORD& error) {
  wchar_t* out = ReserveOutput(var, count);
  if (!out) {
    error = GetLastError();
    return false;
  }
  // The room holds count + 1 units; the bytes take its last count bytes.
  uint8_t* bytes = reinterpret_cast<uint8_t*>(out) + count + sizeof(wchar_t);
  ptrdiff_t length = -1;
  if (!ReadAll(file, bytes, count))
    error = GetLastError();
  else if ((length = DecodeText(out, bytes, count, codePage)) < 0)
    error = GetLastError();
  if (length < 0) {
    static_cast<void>(var.Assign());
    return false;
  }
  out[length] = 0;
  if (squash) length = static_cast<ptrdiff_t>(SquashCrLf(out, static_cast<size_t>(length)));
  var.SetLength(static_cast<size_t>(length));
  return true;
}

// Frees what malloc gave.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

// FileRead: options, open, size, read, decode.
ResultCode CmdFileRead(ScriptLine& line, CommandArgs& args) {
  Variable* output = args.Var[kArgOutput];
  if (!output) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  static_cast<void>(output->Assign());
  ReadOptions options;
  const wchar_t* fileName = ParseReadOptions(args[kArgFileName], options);
  if (!*fileName) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);

  HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FinishFileCommand(true, GetLastError());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return FinishFileCommand(true, error);
  }
  uint64_t count = static_cast<uint64_t>(size.QuadPart);
  if (count > options.MaxBytes) count = options.MaxBytes;
  if (count > kMaxReadBytes) {
    CloseHandle(file);
    return ReportLineError(&line, file_msg::OutOfMemory);
  }
  if (count == 0) {
    CloseHandle(file);
    return FinishFileCommand(false, 0);
  }
  const auto bytes = static_cast<DWORD>(count);
  if (!options.Binary) {
    const uint32_t codePage =
        (options.CodePageGiven ? options.CodePage : Values().CurrentThread->FileCodePage) & kCodePageMask;
    DWORD error = 0;
    const bool stored = ReadText(file, *output, bytes, codePage ? codePage : TextStream::SystemCodePage(),
                                 options.TranslateCrLf, error);
    CloseHandle(file);
    return FinishFileCommand(!stored, error);
  }
  std::unique_ptr<uint8_t, FreeDeleter> data(static_cast<uint8_t*>(std::malloc(bytes)));
  if (!data) {
    CloseHandle(file);
    return ReportLineError(&line, file_msg::OutOfMemory);
  }
  const bool read = ReadAll(file, data.get(), bytes);
  const DWORD readError = read ? 0 : GetLastError();
  CloseHandle(file);
  if (!read) return FinishFileCommand(true, readError);
  // Raw bytes are kept as binary data, which FileAppend writes back
  // unchanged; read into Clipboard they are a saved clipboard put back.
  const ResultCode stored = output->AssignBinaryClip(data.get(), bytes);
  return stored == ResultCode::Ok ? FinishFileCommand(false, 0) : ResultCode::Fail;
}

// FileReadLine: lines are read and dropped until the wanted one.
ResultCode CmdFileReadLine(ScriptLine& /*line*/, CommandArgs& args) {
  Variable* output = args.Var[kArgOutput];
  if (!output) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  const int64_t wanted = TextToInteger(args[kArgLineNumber]);
  if (wanted < 1) return FinishFileCommand(true, ERROR_INVALID_PARAMETER);
  const uint32_t codePage = Values().CurrentThread->FileCodePage & kCodePageMask;
  TextFile file;
  if (!file.Open(args[kArgFileName],
                 TextStream::READ | TextStream::EOL_CRLF | TextStream::SHARE_READ | TextStream::SHARE_WRITE, codePage))
    return FinishFileCommand(true, GetLastError());
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[kMaxLineChars + 1]);
  MessageTurns turns;
  uint32_t length = 0;
  for (int64_t number = 1; number <= wanted; ++number) {
    turns.Poll();
    length = file.ReadLine(buffer.get(), kMaxLineChars);
    if (length == 0) {
      const DWORD error = GetLastError();
      file.Close();
      return FinishFileCommand(true, error);
    }
  }
  file.Close();
  if (buffer[length - 1] == L'\n') --length;
  static_cast<void>(output->Assign(buffer.get(), static_cast<ptrdiff_t>(length)));
  return FinishFileCommand(false, 0);
}
