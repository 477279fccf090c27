// FileAppend and FileEncoding (see file_append.h).
//
// FileAppend picks one of three paths: a read loop's output file (no file
// name), raw bytes (the text is a saved clipboard image) or encoded text.
// Every path ends in FinishAppend, so A_LastError and ErrorLevel are set
// exactly once per call.
#include "system/file_append.h"

#include <windows.h>

#include <cwchar>
#include <string_view>

#include "exec/errors.h"
#include "script/file_encoding.h"
#include "system/messages.h"
#include "system/system_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// Argument positions of FileAppend.
enum : int { kArgText = 0, kArgFileName = 1, kArgEncoding = 2 };
// Argument position of FileEncoding.
enum : int { kArgEncodingName = 0 };

// Largest piece of text handed to one TextStream::Write, whose length is 32-bit.
constexpr size_t kWriteChunkChars = size_t{1} << 30;
// Largest piece of raw bytes handed to one WriteFile.
constexpr size_t kWriteChunkBytes = size_t{1} << 30;

// The file names that mean standard output and standard error.
constexpr wchar_t kStandardOutputName[] = L"*";
constexpr wchar_t kStandardErrorName[] = L"**";

// Argument i as a view, embedded zeros included.
std::wstring_view ArgView(const CommandArgs& args, int i) {
  return i < args.Count && args.Text[i] ? std::wstring_view(args.Text[i], args.Length[i]) : std::wstring_view();
}

// Records the Windows error for A_LastError, then sets ErrorLevel (or throws
// inside Try).
ResultCode FinishAppend(bool failed, DWORD lastError) {
  Values().CurrentThread->LastErrorCode = lastError;
  return ReportOutcome(failed);
}

// Whether the name is "*" (standard output) or "**" (standard error).
bool IsStandardStreamName(const wchar_t* name) {
  return std::wcscmp(name, kStandardOutputName) == 0 || std::wcscmp(name, kStandardErrorName) == 0;
}

// A leading "*" asks for binary mode and is not part of the file name;
// the standard stream names keep theirs.
const wchar_t* StripBinaryPrefix(const wchar_t* name, bool& binary) {
  binary = name[0] == L'*' && !IsStandardStreamName(name);
  return binary ? name + 1 : name;
}

// Text that already has CR LF line ends is written as it is, so that lines
// the script built for Windows do not get a second CR.
bool ContainsCrLf(std::wstring_view text) {
  for (size_t i = text.find(L'\r'); i != std::wstring_view::npos; i = text.find(L'\r', i + 1))
    if (i + 1 < text.size() && text[i + 1] == L'\n') return true;
  return false;
}

// The TextFile flags for appending text.
uint32_t AppendFlags(bool translateLineEnds, uint32_t codePage) {
  uint32_t flags = TextStream::APPEND | TextStream::SHARE_READ | ByteOrderMarkFlag(codePage);
  if (translateLineEnds) flags |= TextStream::EOL_CRLF;
  return flags;
}

// Encodes and writes text in pieces the stream accepts; false when any
// piece fell short.
bool WriteText(TextFile& file, std::wstring_view text) {
  while (!text.empty()) {
    size_t piece = text.size() < kWriteChunkChars ? text.size() : kWriteChunkChars;
    // A surrogate pair is encoded as one character, so a piece never splits one.
    if (piece < text.size() && IS_HIGH_SURROGATE(text[piece - 1])) --piece;
    if (!file.Write(text.data(), static_cast<uint32_t>(piece))) return false;
    text.remove_prefix(piece);
  }
  return true;
}

// Whether the text argument is a variable whose value is bytes, not text.
bool HoldsBinaryData(Variable* var) {
  if (!var) return false;
  const Variable* target = var->ResolveAlias();
  return target->Type() == VAR_CLIPBOARDALL || (target->Attrib() & VAR_ATTRIB_BINARY_CLIP);
}

// Writes all bytes to a handle; false when the system took fewer.
bool WriteAllBytes(HANDLE handle, const unsigned char* data, size_t bytes) {
  while (bytes) {
    const DWORD piece = static_cast<DWORD>(bytes < kWriteChunkBytes ? bytes : kWriteChunkBytes);
    DWORD written = 0;
    if (!WriteFile(handle, data, piece, &written, nullptr) || written != piece) return false;
    data += piece;
    bytes -= piece;
  }
  return true;
}

// A saved clipboard image goes out byte for byte and replaces the file,
// because an image appended to another is no longer an image.
ResultCode AppendRawBytes(const wchar_t* fileName, Variable& source) {
  // ClipboardAll is read through a copy, which takes the image from the
  // clipboard; a variable that already holds one is written directly.
  Variable copy(L"", VAR_LOCAL);
  Variable* holder = source.ResolveAlias();
  if (holder->Type() == VAR_CLIPBOARDALL) {
    if (copy.AssignVariable(*holder) != ResultCode::Ok) return FinishAppend(true, GetLastError());
    holder = &copy;
  }
  const auto* data = reinterpret_cast<const unsigned char*>(holder->TextOf(false, true));
  const size_t bytes = holder->ByteLength();

  const bool isStandard = IsStandardStreamName(fileName);
  HANDLE handle = isStandard
                      ? GetStdHandle(fileName[1] ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE)
                      : CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!handle || handle == INVALID_HANDLE_VALUE) return FinishAppend(true, GetLastError());
  const bool ok = WriteAllBytes(handle, data, bytes);
  const DWORD lastError = GetLastError();
  if (!isStandard) CloseHandle(handle);
  return FinishAppend(!ok, lastError);
}

// Appends text to a file opened for this call alone; the file is created
// (with its byte-order mark) when missing and closed before returning.
ResultCode AppendTextToFile(const wchar_t* fileName, bool binary, std::wstring_view text, uint32_t codePage) {
  TextFile file;
  const bool translate = !binary && !ContainsCrLf(text);
  if (!file.Open(fileName, AppendFlags(translate, codePage), codePage & kCodePageMask))
    return FinishAppend(true, GetLastError());
  // Sync writes out the buffer, so a short write is seen here rather than
  // lost in Close.
  const bool ok = WriteText(file, text) && file.Sync();
  const DWORD lastError = GetLastError();
  file.Close();
  return FinishAppend(!ok, lastError);
}

// Appends text to the read loop's output file, opening it on first use; the
// loop closes it, so the file stays open across the loop's iterations.
ResultCode AppendToReadLoopOutput(ReadLoopOutput& output, std::wstring_view text, uint32_t codePage) {
  if (output.File.GetHandle() == INVALID_HANDLE_VALUE) {
    bool binary = false;
    const wchar_t* fileName = StripBinaryPrefix(output.FileName, binary);
    const bool translate = !binary && !ContainsCrLf(text);
    if (!output.File.Open(fileName, AppendFlags(translate, codePage), codePage & kCodePageMask))
      return FinishAppend(true, GetLastError());
  }
  const bool ok = WriteText(output.File, text);
  return FinishAppend(!ok, GetLastError());
}

}  // namespace

// FileAppend: picks the read loop's file, raw bytes or encoded text.
ResultCode CmdFileAppend(ScriptLine& /*line*/, CommandArgs& args) {
  const std::wstring_view text = ArgView(args, kArgText);
  const wchar_t* fileName = args[kArgFileName];

  uint32_t codePage = Values().CurrentThread->FileCodePage;
  const std::wstring_view encoding = ArgView(args, kArgEncoding);
  const bool encodingValid = encoding.empty() || ParseEncodingName(encoding, codePage);

  if (!*fileName) {
    ReadLoopOutput* output = System().ReadLoopOutput ? System().ReadLoopOutput() : nullptr;
    if (!output || !*output->FileName) return FinishAppend(true, ERROR_INVALID_PARAMETER);
    if (!encodingValid) return FinishAppend(true, ERROR_INVALID_PARAMETER);
    return AppendToReadLoopOutput(*output, text, codePage);
  }

  bool binary = false;
  fileName = StripBinaryPrefix(fileName, binary);
  // Only the first Count entries of the argument arrays are set.
  Variable* textVar = kArgText < args.Count ? args.Var[kArgText] : nullptr;
  if (HoldsBinaryData(textVar)) return AppendRawBytes(fileName, *textVar);
  if (!encodingValid) return FinishAppend(true, ERROR_INVALID_PARAMETER);
  return AppendTextToFile(fileName, binary, text, codePage);
}

// FileEncoding: a name that is not an encoding fails the line.
ResultCode CmdFileEncoding(ScriptLine& line, CommandArgs& args) {
  const std::wstring_view name = ArgView(args, kArgEncodingName);
  uint32_t codePage = 0;
  if (!ParseEncodingName(name, codePage)) {
    // Reported once here; this path answers through its own return value.
    static_cast<void>(ReportLineError(&line, system_msg::Param1Invalid, ERROR_KIND_ERROR, name));
    return ResultCode::Fail;
  }
  Values().CurrentThread->FileCodePage = codePage;
  return ResultCode::Ok;
}
