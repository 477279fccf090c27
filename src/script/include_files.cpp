// Reading script files into the parser, and "#Include"/"#IncludeAgain".
#include "script/include_files.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <vector>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "script/line_parser.h"
#include "script/messages.h"
#include "script/script_reader.h"
#include "script/script_state.h"
#include "script/text_stream.h"
#include "values/variable.h"

namespace {

// Script text is UTF-8 unless a byte-order mark says otherwise.
constexpr UINT kScriptCodePage = CP_UTF8;
constexpr uint32_t kScriptFileFlags = TextStream::READ | TextStream::EOL_CRLF | TextStream::EOL_ORPHAN_CR |
                                      TextStream::SHARE_READ | TextStream::SHARE_WRITE;
// A line's file index is 16 bits wide.
constexpr size_t kMaxSourceFiles = size_t{UINT16_MAX} + 1;
// Longest path the folder queries return.
constexpr DWORD kPathBuffer = 32768;
// Where "#Include <Name>" looks, below the user's documents folder.
constexpr wchar_t kUserLibraryFolder[] = L"\\Quorivance\\Lib";
constexpr wchar_t kLibraryFolder[] = L"\\Lib";

// The format with its "%s" replaced by `text`.
std::wstring FillIn(std::wstring_view format, std::wstring_view text) {
  std::wstring out(format);
  size_t at = out.find(L"%s");
  if (at != std::wstring::npos) out.replace(at, 2, text);
  return out;
}

// Reports an include error with the directive line as its detail.
DirectiveResult Refuse(std::wstring_view message, std::wstring_view line) {
  // Reported once here; this path answers through its own return value.
  static_cast<void>(ReportLoadError(message, line));
  return DirectiveResult::Failed;
}

// A path returned by a Windows query into a buffer, or "" on failure.
template <typename Query>
std::wstring QueryPath(Query query) {
  std::wstring buffer(kPathBuffer, L'\0');
  DWORD length = query(buffer.data(), kPathBuffer);
  if (length == 0 || length >= kPathBuffer) return std::wstring();
  buffer.resize(length);
  return buffer;
}

// A shell folder by its CSIDL, or "".
std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return std::wstring();
  return buffer;
}

std::wstring CurrentSourceFile() {
  const ScriptContext& s = Script();
  size_t index = static_cast<size_t>(s.CurrentFileIndex);
  return index < s.SourceFiles.size() ? s.SourceFiles[index] : s.ScriptPath;
}

std::wstring TempFolder() {
  std::wstring temp = QueryPath([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
  if (temp.size() > 3 && temp.back() == L'\\') temp.pop_back();
  return temp;
}

// The variables an include path may name, without their "A_" prefix.
struct PathVariable {
  const wchar_t* Name;
  std::wstring (*Value)();
};
const PathVariable kPathVariables[] = {
    {L"AppData", [] { return ShellFolder(CSIDL_APPDATA); }},
    {L"AppDataCommon", [] { return ShellFolder(CSIDL_COMMON_APPDATA); }},
    {L"Desktop", [] { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }},
    {L"LineFile", CurrentSourceFile},
    {L"MyDocuments", [] { return ShellFolder(CSIDL_PERSONAL); }},
    {L"ProgramFiles", [] { return ShellFolder(CSIDL_PROGRAM_FILES); }},
    {L"ScriptDir", [] { return Script().ScriptDirectory; }},
    {L"ScriptFullPath", [] { return Script().ScriptPath; }},
    {L"ScriptName", [] { return Script().ScriptFileName; }},
    {L"Temp", TempFolder},
    {L"WinDir", [] { return QueryPath([](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }); }},
    {L"WorkingDir", [] { return QueryPath([](wchar_t* b, DWORD n) { return GetCurrentDirectoryW(n, b); }); }},
};

// The value of a variable reference in an include path; false when the
// name is neither a path variable nor an environment variable.
bool PathVariableValue(std::wstring_view name, std::wstring& value) {
  if (name.size() > 2 && EqualsNoCase(name.substr(0, 2), L"A_")) {
    for (const PathVariable& variable : kPathVariables) {
      if (!EqualsNoCase(name.substr(2), variable.Name)) continue;
      value = variable.Value();
      return true;
    }
  }
  std::wstring key(name);
  DWORD needed = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
  if (needed == 0) return false;
  value.assign(needed, L'\0');
  DWORD length = GetEnvironmentVariableW(key.c_str(), value.data(), needed);
  value.resize(length < needed ? length : 0);
  return true;
}

// The index of a file already read, or -1.
int FindSourceFile(const std::wstring& path) {
  const std::vector<std::wstring>& files = Script().SourceFiles;
  for (size_t i = 0; i < files.size(); ++i)
    if (CompareStringOrdinal(files[i].c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) return static_cast<int>(i);
  return -1;
}

bool IsFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The library folders "#Include <Name>" searches, in order: beside the
// script, in the user's documents, beside the interpreter.
std::vector<std::wstring> LibraryFolders() {
  std::vector<std::wstring> folders{Script().ScriptDirectory + kLibraryFolder};
  std::wstring documents = ShellFolder(CSIDL_PERSONAL);
  if (!documents.empty()) folders.push_back(documents + kUserLibraryFolder);
  folders.push_back(Script().ExeDirectory + kLibraryFolder);
  return folders;
}

// Feeds one file's text to the parser; the caller has set its file index.
ResultCode ReadFileText(TextStream& stream, int firstLineNumber) {
  ScriptReader reader(stream, Script().Syntax, firstLineNumber);
  return reader.ReadAll(ClassifyLine, ApplyEarlyDirective);
}

// Reads an included file (unless "#Include" meets it a second time) with
// its own file index, restoring the including file's position afterwards.
DirectiveResult IncludeFile(const std::wstring& path, bool again, bool ignoreMissing, std::wstring_view line) {
  ScriptContext& s = Script();
  IncludeState& includes = Loader().Includes;
  int index = FindSourceFile(path);
  if (index >= 0 && !again) return DirectiveResult::Handled;
  if (includes.Depth >= kMaxIncludeDepth) return Refuse(directive_msg::IncludeNestedTooDeep, line);
  TextFile file;
  if (!OpenScriptFileStream(path, file)) {
    if (ignoreMissing) return DirectiveResult::Handled;
    return Refuse(FillIn(directive_msg::IncludeFileCannotBeOpened, path), line);
  }
  if (index < 0) {
    if (s.SourceFiles.size() >= kMaxSourceFiles) return Refuse(directive_msg::TooManyIncludeFiles, line);
    index = static_cast<int>(s.SourceFiles.size());
    s.SourceFiles.push_back(path);
  }
  // A line held back by the parser belongs to the including file, and one
  // held back at the end of the included file cannot continue outside it.
  if (FlushPendingLine() != ResultCode::Ok) return DirectiveResult::Failed;
  const int outerIndex = s.CurrentFileIndex, outerLine = s.CurrentLineNumber;
  s.CurrentFileIndex = index;
  ++includes.Depth;
  ResultCode result = ReadFileText(file, 1);
  if (result == ResultCode::Ok) result = FlushPendingLine();
  --includes.Depth;
  s.CurrentFileIndex = outerIndex;
  s.CurrentLineNumber = outerLine;
  return result == ResultCode::Ok ? DirectiveResult::Handled : DirectiveResult::Failed;
}

}  // namespace

bool OpenScriptFileStream(const std::wstring& path, TextFile& stream) {
  return stream.Open(path.c_str(), kScriptFileFlags, kScriptCodePage);
}

ResultCode ReadMainScript(TextStream& stream, int firstLineNumber) {
  Loader().Includes = IncludeState{Script().ScriptDirectory, 0};
  return ReadFileText(stream, firstLineNumber);
}

IncludeTarget ParseIncludeParameter(std::wstring_view param) {
  IncludeTarget target;
  if (param.size() >= 2 && param[0] == L'*' && (param[1] == L'i' || param[1] == L'I') &&
      (param.size() == 2 || reader::IsBlank(param[2]))) {
    target.IgnoreMissing = true;
    param.remove_prefix(2);
    while (!param.empty() && reader::IsBlank(param.front())) param.remove_prefix(1);
  }
  if (param.size() >= 2 && param.front() == L'<' && param.back() == L'>') {
    target.Library = true;
    target.Path.assign(param.substr(1, param.size() - 2));
    reader::TrimBlanks(target.Path);
  } else {
    target.Path.assign(param);
  }
  return target;
}

std::wstring ExpandIncludeVariables(std::wstring_view path) {
  const wchar_t deref = Script().Syntax.DerefChar;
  std::wstring out;
  size_t at = 0;
  while (at < path.size()) {
    size_t open = path.find(deref, at);
    size_t close = open == std::wstring_view::npos ? open : path.find(deref, open + 1);
    if (close == std::wstring_view::npos) break;
    out.append(path, at, open - at);
    std::wstring value;
    if (close > open + 1 && PathVariableValue(path.substr(open + 1, close - open - 1), value)) {
      out += value;
      at = close + 1;
    } else {
      // Not a reference: the first sign is text, the second may open one.
      out += deref;
      at = open + 1;
    }
  }
  out.append(path, at);
  return out;
}

std::wstring ResolveIncludePath(std::wstring_view folder, std::wstring_view path) {
  bool absolute = (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
  std::wstring joined =
      absolute || folder.empty() ? std::wstring(path) : std::wstring(folder) + L"\\" + std::wstring(path);
  std::wstring full = QueryPath([&](wchar_t* b, DWORD n) { return GetFullPathNameW(joined.c_str(), n, b, nullptr); });
  return full.empty() ? joined : full;
}

std::wstring FindIncludeLibrary(std::wstring_view name) {
  std::vector<std::wstring> folders = LibraryFolders();
  std::wstring_view candidates[2] = {name, name.substr(0, name.find(L'_'))};
  int tries = candidates[1].size() < name.size() && !candidates[1].empty() ? 2 : 1;
  for (int i = 0; i < tries; ++i) {
    for (const std::wstring& folder : folders) {
      std::wstring path = folder + L"\\" + std::wstring(candidates[i]) + kScriptExtension;
      if (IsFile(path)) return ResolveIncludePath(L"", path);
    }
  }
  return std::wstring();
}

DirectiveResult IncludeDirective(std::wstring_view param, bool again, std::wstring_view line) {
  // A compiled script's text already holds the files it included.
  if (Script().Origin == ScriptOrigin::Resource) return DirectiveResult::Handled;
  IncludeTarget target = ParseIncludeParameter(param);
  if (target.Path.empty()) return Refuse(parse_msg::Param1Required, line);
  if (target.Library) {
    std::wstring path = FindIncludeLibrary(target.Path);
    if (!path.empty()) return IncludeFile(path, again, target.IgnoreMissing, line);
    if (target.IgnoreMissing) return DirectiveResult::Handled;
    return Refuse(FillIn(directive_msg::IncludeLibraryNotFound, target.Path), line);
  }
  std::wstring path = ResolveIncludePath(Loader().Includes.Folder, ExpandIncludeVariables(target.Path));
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Loader().Includes.Folder = path;  // later relative includes start here
    return DirectiveResult::Handled;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (target.IgnoreMissing) return DirectiveResult::Handled;
    return Refuse(FillIn(directive_msg::IncludeFileCannotBeOpened, path), line);
  }
  return IncludeFile(path, again, target.IgnoreMissing, line);
}
