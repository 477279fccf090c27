// FileOpen and the file object (see file_object.h).
//
// The object owns its TextFile; every member goes through it, so buffered
// input and pending output stay consistent whatever mix of text, number
// and raw calls a script makes. A closed object answers every member with
// "" (or 0 for the counts), never touching a stale handle. Inside a Try a
// failed member throws instead, so a script that asks for errors never
// mistakes a lost write for a successful one.
#include "system/file_object.h"

#include <windows.h>
#include <emmintrin.h>

#include <cstring>
#include <cwctype>
#include <memory>
#include <string>
#include <string_view>

#include "base/script_context.h"
#include "exec/exceptions.h"
#include "script/file_encoding.h"
#include "script/text_stream.h"
#include "system/file_messages.h"
#include "values/object.h"
#include "values/thread_settings.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

using namespace std::literals;

// Longest line ReadLine returns; a longer one arrives in pieces.
constexpr uint32_t kMaxLineChars = 65535;
// Addresses at or below this are numbers a script passed by mistake.
constexpr int64_t kLowestAddress = 0xFFFF;

// The origin of the exceptions FileOpen and the file object raise.
constexpr wchar_t kFileOpenWhat[] = L"FileOpen";
constexpr wchar_t kFileObjectWhat[] = L"FileObject";
// The message of a file object's failure exception.
constexpr wchar_t kMemberFailedMessage[] = L"1";

// Whether the running thread turns failures into exceptions (inside Try).
bool Throwing() { return (Values().CurrentThread->ExceptionMode & EXCEPTION_MODE_TRY) != 0; }

// A failed member: its fallback result, or an exception inside Try.
ResultCode MemberFailed(ExprToken& result, bool zero = false) {
  if (Throwing()) return RaiseException(Script().CurrentLine, kMemberFailedMessage, kFileObjectWhat);
  if (zero) result.SetInteger(0);
  return ResultCode::Ok;
}

// The file object's stream: text made of plain ASCII is encoded by the
// object itself, one byte per character with the line-feed translation the
// flags ask for, straight into the output buffer, which is what WriteLine
// in a loop spends its time on. Every code page the stream encodes maps
// ASCII to itself, so the bytes are the ones its own encoder makes; text
// with other characters goes through that encoder from the first such
// character on.
class FileStream : public TextFile {
 public:
  // As Write: the bytes produced, or 0 when writing them out fell short.
  uint32_t WriteText(const wchar_t* text, uint32_t length);

 private:
  // Most bytes one run collects before it goes to the buffer.
  static constexpr uint32_t kRunBytes = 1024;

  // Whether the buffer holds output (or nothing) and the stream may write.
  bool InOutputMode() const { return !Pos && Buffer && ((Flags & ACCESS_MASK) != READ || (Flags & IS_HANDLE)); }
  // WriteText's way into output mode: runs through RawWrite, which switches.
  uint32_t WriteThroughRuns(const wchar_t* text, uint32_t length);
  // Puts bytes into the output buffer, writing the buffer out whenever it
  // is full, so the file receives whole buffers.
  bool PutBytes(const uint8_t* bytes, uint32_t count);
};

bool FileStream::PutBytes(const uint8_t* bytes, uint32_t count) {
  while (count) {
    // In input mode (or before the first use) the buffer starts out empty.
    const uint32_t room = (Pos || !Buffer) ? BUFFER_CAPACITY : BUFFER_CAPACITY - ContentLength;
    if (!room) {
      if (!Sync()) return false;
      continue;
    }
    const uint32_t part = count < room ? count : room;
    if (RawWrite(bytes, part) != part) return false;
    bytes += part;
    count -= part;
  }
  return true;
}

uint32_t FileStream::WriteThroughRuns(const wchar_t* text, uint32_t length) {
  const bool crlf = (Flags & TS_CRLF) != 0;
  uint8_t run[kRunBytes + 1];
  uint32_t held = 0;
  uint32_t produced = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const wchar_t ch = text[i];
    if (ch >= 0x80) {
      if (!PutBytes(run, held)) return 0;
      const uint32_t rest = Write(text + i, length - i);
      return rest ? produced + held + rest : 0;
    }
    if (ch == L'\n' && crlf && PrevWrittenChar != L'\r') run[held++] = '\r';
    run[held++] = static_cast<uint8_t>(ch);
    PrevWrittenChar = ch;
    if (held >= kRunBytes) {
      if (!PutBytes(run, held)) return 0;
      produced += held;
      held = 0;
    }
  }
  if (!PutBytes(run, held)) return 0;
  return produced + held;
}

// Whether all eight units hold ASCII, and no line feed when `lineFeeds`
// marks one as needing translation.
bool PlainAscii(__m128i units, __m128i lineFeeds) {
  const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
  const __m128i ascii = _mm_cmpeq_epi16(high, _mm_setzero_si128());
  const __m128i plain = _mm_andnot_si128(_mm_cmpeq_epi16(units, lineFeeds), ascii);
  return _mm_movemask_epi8(plain) == 0xFFFF;
}

uint32_t FileStream::WriteText(const wchar_t* text, uint32_t length) {
  if (CodePage == CP_UTF16LE) return Write(text, length);
  if (!InOutputMode()) return WriteThroughRuns(text, length);
  const bool crlf = (Flags & TS_CRLF) != 0;
  // Without translation no unit equals this, so line feeds pass as they are.
  const __m128i lineFeeds = _mm_set1_epi16(crlf ? L'\n' : 0x7FFF);
  wchar_t prev = PrevWrittenChar;
  uint32_t produced = 0;
  uint32_t i = 0;
  while (i < length) {
    // A character takes at most two bytes ("\r\n").
    const uint32_t room = (BUFFER_CAPACITY - ContentLength) / 2;
    if (!room) {
      if (!Sync()) return 0;
      continue;
    }
    const uint32_t end = i + (length - i < room ? length - i : room);
    uint8_t* const start = Buffer + ContentLength;
    uint8_t* out = start;
    // Eight plain units at a time become eight bytes.
    for (; end - i >= 8; i += 8, out += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      if (!PlainAscii(units, lineFeeds)) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
      prev = text[i + 7];
    }
    for (; i < end && text[i] < 0x80; ++i) {
      const wchar_t ch = text[i];
      if (ch == L'\n' && crlf && prev != L'\r') *out++ = '\r';
      *out++ = static_cast<uint8_t>(ch);
      prev = ch;
    }
    const auto put = static_cast<uint32_t>(out - start);
    ContentLength += put;
    produced += put;
    PrevWrittenChar = prev;
    if (i < end) {
      const uint32_t rest = Write(text + i, length - i);
      return rest ? produced + rest : 0;
    }
  }
  return produced;
}

// Whether a member name is `word` (ASCII), ignoring case as the object
// model does; names with other characters take the general comparison.
bool IsMember(std::wstring_view name, std::wstring_view word) {
  if (name.size() != word.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const wchar_t ch = name[i];
    const wchar_t want = word[i];
    if (ch == want) continue;
    if (ch >= 0x80) return EqualsNoCase(name, word);
    // Letters differ in one bit between cases; nothing else folds.
    const wchar_t lower = static_cast<wchar_t>(want | 0x20);
    if (lower < L'a' || lower > L'z' || static_cast<wchar_t>(ch | 0x20) != lower) return false;
  }
  return true;
}

// The members a file object knows by name; the number methods
// (ReadUInt, WriteDouble and the like) are told apart by ParseNumberType.
enum class Member : uint8_t {
  None,
  Close,
  Read,
  ReadLine,
  Write,
  WriteLine,
  RawRead,
  RawWrite,
  Tell,
  Seek,
  Pos,
  Length,
  AtEOF,
  Handle,
  Encoding,
};

struct MemberName {
  std::wstring_view Name;
  Member Id;
};

// The calls a loop makes most come first.
constexpr MemberName kMemberNames[] = {
    {L"WriteLine"sv, Member::WriteLine}, {L"ReadLine"sv, Member::ReadLine}, {L"Write"sv, Member::Write},
    {L"Read"sv, Member::Read},           {L"AtEOF"sv, Member::AtEOF},       {L"Pos"sv, Member::Pos},
    {L"Position"sv, Member::Pos},        {L"Tell"sv, Member::Tell},         {L"Seek"sv, Member::Seek},
    {L"RawRead"sv, Member::RawRead},     {L"RawWrite"sv, Member::RawWrite}, {L"Length"sv, Member::Length},
    {L"Close"sv, Member::Close},         {L"__Handle"sv, Member::Handle},   {L"Encoding"sv, Member::Encoding},
};

// The member a name stands for; None when it is none of the table's.
Member MemberOf(std::wstring_view name) {
  for (const MemberName& member : kMemberNames)
    if (IsMember(name, member.Name)) return member.Id;
  return Member::None;
}

// Number methods: the word after Read/Write (an optional "U" first).
struct NumberType {
  uint32_t Size = 0;
  bool IsUnsigned = false;
  bool IsFloat = false;
};

// Only the first letter of the type word counts; "Int64" is told by its "6".
bool ParseNumberType(std::wstring_view word, NumberType& type) {
  if (!word.empty() && std::towupper(word[0]) == L'U') {
    type.IsUnsigned = true;
    word.remove_prefix(1);
  }
  if (word.empty()) return false;
  switch (std::towupper(word[0])) {
    case L'C': type.Size = 1; break;
    case L'S': type.Size = 2; break;
    case L'I': type.Size = word.find(L'6') != std::wstring_view::npos ? 8 : 4; break;
    case L'P': type.Size = 8; break;
    case L'D': type.Size = 8, type.IsFloat = true; break;
    case L'F': type.Size = 4, type.IsFloat = true; break;
    default: return false;
  }
  return true;
}

// The script-visible file object.
class FileObject : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  const wchar_t* Type() override { return L"FileObject"; }
  bool Open(const wchar_t* name, uint32_t flags, uint32_t codePage) { return file_.Open(name, flags, codePage); }
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;

 private:
  ResultCode Call(ExprToken& result, std::wstring_view name, Member member, ExprToken** args, int argCount);
  ResultCode Property(ExprToken& result, Member member, bool set, ExprToken** args, int argCount);
  bool IsOpen() const { return open_; }
  ResultCode Read(ExprToken& result, ExprToken** params, int count);
  ResultCode ReadLine(ExprToken& result);
  ResultCode Write(ExprToken& result, ExprToken** params, int count, bool newline);
  ResultCode ReadNumber(ExprToken& result, const NumberType& type);
  ResultCode WriteNumber(ExprToken& result, const NumberType& type, ExprToken& value);
  ResultCode RawTransfer(ExprToken& result, ExprToken** params, int count, bool writing);
  ResultCode Encoding(ExprToken& result, bool set, ExprToken* value);

  FileStream file_;
  bool open_ = true;
  std::unique_ptr<wchar_t[]> lineBuffer_;  // ReadLine's buffer, made on first use
};

// Read([Characters]): default as many characters as bytes remain.
ResultCode FileObject::Read(ExprToken& result, ExprToken** params, int count) {
  int64_t chars = 0;
  if (ParamGiven(params, count, 0)) {
    chars = ParamInteger(*params[0]);
  } else {
    const int64_t remaining = file_.Length() - file_.Tell();
    chars = remaining > 0 ? remaining : 0;
  }
  if (chars <= 0) return ResultCode::Ok;
  if (chars > INT32_MAX) return MemberFailed(result);
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[static_cast<size_t>(chars) + 1]);
  if (!buffer) return MemberFailed(result);
  const uint32_t got = file_.Read(buffer.get(), static_cast<uint32_t>(chars));
  SetResultText(result, std::wstring_view(buffer.get(), got));
  return ResultCode::Ok;
}

// ReadLine(): the line with its line feed removed.
ResultCode FileObject::ReadLine(ExprToken& result) {
  // One line buffer per object: a loop of ReadLine calls allocates once.
  if (!lineBuffer_) lineBuffer_.reset(new (std::nothrow) wchar_t[kMaxLineChars + 1]);
  if (!lineBuffer_) return MemberFailed(result);
  uint32_t got = file_.ReadLine(lineBuffer_.get(), kMaxLineChars);
  if (got > 0 && lineBuffer_[got - 1] == L'\n') --got;
  SetResultText(result, std::wstring_view(lineBuffer_.get(), got));
  return ResultCode::Ok;
}

// Write(String) / WriteLine([String]): the bytes written.
ResultCode FileObject::Write(ExprToken& result, ExprToken** params, int count, bool newline) {
  wchar_t numberBuffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* text = ParamGiven(params, count, 0) ? ParamText(*params[0], numberBuffer, &length) : L"";
  uint32_t bytes = 0;
  bool ok = true;
  if (length > 0) {
    const uint32_t wrote = file_.WriteText(text, static_cast<uint32_t>(length));
    ok = wrote > 0;
    bytes += wrote;
  }
  if (ok && newline) {
    const uint32_t wrote = file_.WriteText(L"\n", 1);
    ok = wrote > 0;
    bytes += wrote;
  }
  if (!ok) return MemberFailed(result);
  result.SetInteger(bytes);
  return ResultCode::Ok;
}

// ReadType(): the number, or "" on a short read.
ResultCode FileObject::ReadNumber(ExprToken& result, const NumberType& type) {
  uint8_t bytes[8] = {};
  if (file_.RawRead(bytes, type.Size) != type.Size) return MemberFailed(result);
  if (type.IsFloat) {
    if (type.Size == 4) {
      float value;
      std::memcpy(&value, bytes, 4);
      result.SetFloat(value);
    } else {
      double value;
      std::memcpy(&value, bytes, 8);
      result.SetFloat(value);
    }
    return ResultCode::Ok;
  }
  uint64_t raw = 0;
  std::memcpy(&raw, bytes, type.Size);
  if (!type.IsUnsigned && type.Size < 8) {
    const uint64_t signBit = uint64_t{1} << (type.Size * 8 - 1);
    if (raw & signBit) raw |= ~((signBit << 1) - 1);
  }
  result.SetInteger(static_cast<int64_t>(raw));
  return ResultCode::Ok;
}

// WriteType(Number): the bytes written.
ResultCode FileObject::WriteNumber(ExprToken& result, const NumberType& type, ExprToken& value) {
  uint8_t bytes[8] = {};
  if (type.IsFloat && type.Size == 4) {
    const auto number = static_cast<float>(ParamFloat(value));
    std::memcpy(bytes, &number, 4);
  } else if (type.IsFloat) {
    const double number = ParamFloat(value);
    std::memcpy(bytes, &number, 8);
  } else {
    const int64_t number =
        ParamNumericType(value) == PURE_FLOAT ? static_cast<int64_t>(ParamFloat(value)) : ParamInteger(value);
    std::memcpy(bytes, &number, type.Size);
  }
  const uint32_t wrote = file_.RawWrite(bytes, type.Size);
  if (wrote != type.Size) return MemberFailed(result);
  result.SetInteger(wrote);
  return ResultCode::Ok;
}

// RawRead/RawWrite(VarOrAddress, Bytes): the bytes moved, 0 on failure.
ResultCode FileObject::RawTransfer(ExprToken& result, ExprToken** params, int count, bool writing) {
  result.SetInteger(0);
  if (count < 2) return MemberFailed(result, true);
  const int64_t bytes = ParamInteger(*params[1]);
  if (bytes <= 0 || bytes > UINT32_MAX) return MemberFailed(result, true);
  void* target = nullptr;
  if (params[0]->Symbol == ExprSymbol::VariableRef) {
    Variable* var = params[0]->Var->ResolveAlias();
    const auto needChars = static_cast<size_t>((bytes + 1) / 2);
    if (!writing) {
      if (var->ByteCapacity() < static_cast<size_t>(bytes) &&
          var->Assign(nullptr, static_cast<ptrdiff_t>(needChars), true, false) != ResultCode::Ok)
        return MemberFailed(result, true);
    } else if (var->ByteLength() < static_cast<size_t>(bytes) && var->ByteCapacity() < static_cast<size_t>(bytes)) {
      return MemberFailed(result, true);
    }
    var->StopNumberCache();
    target = const_cast<wchar_t*>(var->TextOf(false));
  } else {
    const int64_t address = ParamInteger(*params[0]);
    if (address <= kLowestAddress) return MemberFailed(result, true);
    target = reinterpret_cast<void*>(static_cast<uintptr_t>(address));
  }
  const auto size = static_cast<uint32_t>(bytes);
  const uint32_t moved = writing ? file_.RawWrite(target, size) : file_.RawRead(target, size);
  // Reading nothing at the end of the file is no failure; writing nothing is.
  if (writing && moved == 0) return MemberFailed(result, true);
  result.SetInteger(moved);
  return ResultCode::Ok;
}

// Encoding: the name; set takes a code page number or a name.
ResultCode FileObject::Encoding(ExprToken& result, bool set, ExprToken* value) {
  if (set && value) {
    wchar_t numberBuffer[kFloatTextChars];
    uint32_t codePage = 0;
    const wchar_t* text = ParamText(*value, numberBuffer);
    if (ParamNumericType(*value) == PURE_INTEGER)
      codePage = static_cast<uint32_t>(ParamInteger(*value));
    else if (!ParseEncodingName(text, codePage))
      return MemberFailed(result);
    file_.ChangeCodePage(codePage & kCodePageMask);
  }
  SetResultText(result, EncodingNameOf(file_.GetCodePage()));
  return ResultCode::Ok;
}

// The member table is the switch below: names are few and short.
ResultCode FileObject::Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) {
  if (count < 1 || (flags & IF_META)) return ResultCode::NotHandled;
  wchar_t nameBuffer[kFloatTextChars];
  // A view: member calls are frequent and their names need no copy.
  size_t nameLength = 0;
  const wchar_t* nameText = ParamText(*params[0], nameBuffer, &nameLength);
  const std::wstring_view name(nameText, nameLength);
  const int kind = InvokeKindOf(flags);
  if (kind == IT_CALL) return Call(result, name, MemberOf(name), params + 1, count - 1);
  return Property(result, MemberOf(name), kind == IT_SET, params + 1, count - 1);
}

// A method call: Close, then the named methods, then the number methods.
ResultCode FileObject::Call(ExprToken& result, std::wstring_view name, Member member, ExprToken** args, int argCount) {
  if (member == Member::Close) {
    if (open_) file_.Close();
    open_ = false;
    return ResultCode::Ok;
  }
  if (!open_) return MemberFailed(result);
  switch (member) {
    case Member::Read: return Read(result, args, argCount);
    case Member::ReadLine: return ReadLine(result);
    case Member::Write: return Write(result, args, argCount, false);
    case Member::WriteLine: return Write(result, args, argCount, true);
    case Member::RawRead: return RawTransfer(result, args, argCount, false);
    case Member::RawWrite: return RawTransfer(result, args, argCount, true);
    case Member::Tell: result.SetInteger(file_.Tell()); return ResultCode::Ok;
    case Member::Seek: {
      if (argCount < 1) return MemberFailed(result, true);
      const int64_t distance = ParamInteger(*args[0]);
      const int origin = ParamGiven(args, argCount, 1) ? static_cast<int>(ParamInteger(*args[1]))
                                                       : (distance < 0 ? FILE_END : FILE_BEGIN);
      if (origin < 0 || origin > 2 || !file_.Seek(distance, origin)) return MemberFailed(result, true);
      result.SetInteger(1);
      return ResultCode::Ok;
    }
    default: break;
  }
  NumberType type;
  const bool reading = name.size() > 4 && EqualsNoCase(name.substr(0, 4), L"Read");
  const bool writing = name.size() > 5 && EqualsNoCase(name.substr(0, 5), L"Write");
  if (reading && ParseNumberType(name.substr(4), type)) return ReadNumber(result, type);
  if (writing && ParseNumberType(name.substr(5), type)) {
    if (argCount < 1) return MemberFailed(result);
    return WriteNumber(result, type, *args[0]);
  }
  return ResultCode::NotHandled;
}

// A property get or set; a property takes no parameters beyond its value.
ResultCode FileObject::Property(ExprToken& result, Member member, bool set, ExprToken** args, int argCount) {
  if (argCount != (set ? 1 : 0)) return ResultCode::NotHandled;
  if (!open_) return MemberFailed(result);
  ExprToken* value = set ? args[0] : nullptr;
  switch (member) {
    case Member::Pos:
      if (set && !file_.Seek(ParamInteger(*value), FILE_BEGIN)) return MemberFailed(result);
      result.SetInteger(file_.Tell());
      return ResultCode::Ok;
    case Member::Length:
      if (set && !file_.SetLength(ParamInteger(*value))) return MemberFailed(result);
      result.SetInteger(file_.Length());
      return ResultCode::Ok;
    case Member::AtEOF:
      if (set) break;
      result.SetInteger(file_.AtEOF() ? 1 : 0);
      return ResultCode::Ok;
    case Member::Handle:
      if (set) break;
      file_.Sync();
      result.SetInteger(static_cast<int64_t>(reinterpret_cast<intptr_t>(file_.GetHandle())));
      return ResultCode::Ok;
    case Member::Encoding: return Encoding(result, set, value);
    default: break;
  }
  return ResultCode::NotHandled;
}

// The access letter and the flag characters; false on anything unknown.
bool ParseOpenFlags(std::wstring_view text, uint32_t& flags) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  if (i >= text.size()) return false;
  switch (std::towlower(text[i++])) {
    case L'r':
      flags = TextStream::READ;
      if (i < text.size() && std::towlower(text[i]) == L'w') {
        flags = TextStream::UPDATE;
        ++i;
      }
      break;
    case L'w': flags = TextStream::WRITE; break;
    case L'a': flags = TextStream::APPEND; break;
    case L'h': flags = TextStream::IS_HANDLE; break;
    default: return false;
  }
  flags |= TextStream::SHARE_ALL;
  for (; i < text.size(); ++i) {
    switch (text[i]) {
      case L'\n': flags |= TextStream::EOL_CRLF; break;
      case L'\r': flags |= TextStream::EOL_ORPHAN_CR; break;
      case L' ':
      case L'\t': break;
      case L'-': {
        bool any = false;
        while (i + 1 < text.size()) {
          const wchar_t share = static_cast<wchar_t>(std::towlower(text[i + 1]));
          const uint32_t bit = share == L'r'   ? uint32_t{TextStream::SHARE_READ}
                               : share == L'w' ? TextStream::SHARE_WRITE
                               : share == L'd' ? TextStream::SHARE_DELETE
                                               : 0u;
          if (!bit) break;
          flags &= ~bit;
          any = true;
          ++i;
        }
        if (!any) flags &= ~TextStream::SHARE_ALL;
        break;
      }
      default: return false;
    }
  }
  return true;
}

// FileOpen's failure: A_LastError, then "" or, inside Try, the exception.
ResultCode OpenFailed(DWORD code, const wchar_t* message) {
  Values().CurrentThread->LastErrorCode = code;
  if (Throwing()) return RaiseException(Script().CurrentLine, message, kFileOpenWhat);
  return ResultCode::Ok;
}

}  // namespace

// FileOpen: parse flags and encoding, open, wrap.
ResultCode FnFileOpen(const ExprFunc& /*func*/, ExprToken& result, ExprToken** params, int count, bool /*expandLast*/) {
  wchar_t nameBuffer[kFloatTextChars], flagBuffer[kFloatTextChars], encodingBuffer[kFloatTextChars];
  const wchar_t* name = ParamText(*params[0], nameBuffer);
  uint32_t flags = 0;
  if (ParamNumericType(*params[1]) == PURE_INTEGER)
    flags = static_cast<uint32_t>(ParamInteger(*params[1]));
  else if (!ParseOpenFlags(ParamText(*params[1], flagBuffer), flags)) {
    return OpenFailed(ERROR_INVALID_PARAMETER, file_msg::Param2Invalid);
  }
  uint32_t codePage = Values().CurrentThread->FileCodePage;
  if (ParamGiven(params, count, 2)) {
    if (ParamNumericType(*params[2]) == PURE_INTEGER)
      codePage = static_cast<uint32_t>(ParamInteger(*params[2]));
    else if (!ParseEncodingName(ParamText(*params[2], encodingBuffer), codePage)) {
      return OpenFailed(ERROR_INVALID_PARAMETER, file_msg::Param3Invalid);
    }
  }
  flags |= ByteOrderMarkFlag(codePage);
  // A handle travels in the name pointer, as TextFile expects it.
  if (flags & TextStream::IS_HANDLE)
    name = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(ParamInteger(*params[0])));
  auto* object = new FileObject();
  if (!object->Open(name, flags, codePage & kCodePageMask)) {
    const DWORD code = GetLastError();
    object->Release();
    return OpenFailed(code, file_msg::FailedToOpen);
  }
  Values().CurrentThread->LastErrorCode = 0;
  result.SetObject(object);
  return ResultCode::Ok;
}
