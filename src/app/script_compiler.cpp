// The script compiler (see script_compiler.h): argument reading, the load
// check, the "#Include" merge, the FileInstall sources, and writing the
// resources into a copy of the runtime.
#include "app/script_compiler.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "app/resource_ids.h"
#include "app/script_identity.h"
#include "app/subsystems.h"
#include "base/command_table.h"
#include "base/script_context.h"
#include "base/script_line.h"
#include "script/include_files.h"
#include "script/loader.h"
#include "script/text_stream.h"

namespace {

// The runtime the compiler copies: it sits beside the compiler.
constexpr wchar_t kRuntimeName[] = L"Quorivance.exe";
// The language every resource of the runtime is stored under (US English).
constexpr WORD kResourceLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kModulePathBuffer = 2048;
// Longest resource name the runtime's FileInstall looks up.
constexpr size_t kMaxInstallNameChars = 259;

// Exit codes of the compiler.
constexpr int kCompiled = 0;
constexpr int kCompileFailed = 1;
constexpr int kUsageError = 2;

// Messages of the compiler, one place for all.
namespace compiler_msg {
constexpr wchar_t Usage[] = L"usage: qrvc SCRIPT.qrv [OUT.exe] [/icon FILE.ico]";
constexpr wchar_t NoScript[] = L"qrvc: the script file does not exist: ";
constexpr wchar_t LoadFailed[] = L"qrvc: not compiled: the script has a load error (above).";
constexpr wchar_t IncludeMissing[] = L"qrvc: #Include file cannot be opened: ";
constexpr wchar_t IncludeTooDeep[] = L"qrvc: #Include files are nested too deeply at ";
constexpr wchar_t InstallNotLiteral[] =
    L"qrvc: FileInstall's source must be a file name written out, not a variable or expression: ";
constexpr wchar_t InstallMissing[] = L"qrvc: FileInstall source cannot be read: ";
constexpr wchar_t InstallNameTooLong[] = L"qrvc: FileInstall source name is too long: ";
constexpr wchar_t NoRuntime[] = L"qrvc: the runtime was not found beside the compiler: ";
constexpr wchar_t BadIcon[] = L"qrvc: not a usable .ico file: ";
constexpr wchar_t CannotWrite[] = L"qrvc: cannot write the output file: ";
constexpr wchar_t ResourcesFailed[] = L"qrvc: the resources could not be written into: ";
constexpr wchar_t SameAsRuntime[] = L"qrvc: the output would replace the runtime itself: ";
constexpr wchar_t Done[] = L"qrvc: compiled ";
}  // namespace compiler_msg

// Writes a line to standard error as UTF-8.
void PrintLine(FILE* stream, std::wstring_view text) {
  std::wstring line(text);
  line += L'\n';
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

// Reports a failure and gives the failure exit code.
int Fail(std::wstring_view message, std::wstring_view detail = {}) {
  PrintLine(stderr, std::wstring(message) + std::wstring(detail));
  return kCompileFailed;
}

// The full path of a file name taken from the current directory.
std::wstring FullPath(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (!needed) return path;
  std::wstring full(needed, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), needed, full.data(), nullptr));
  return full;
}

// The folder part of a path, without the trailing backslash.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// This program's own path.
std::wstring ModulePath() {
  std::wstring path(kModulePathBuffer, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), kModulePathBuffer));
  return path;
}

// Whether a file (not a folder) exists.
bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Reads a whole file's bytes; nullopt when it cannot be read.
std::optional<std::string> ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  std::optional<std::string> bytes;
  if (GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF) {
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (data.empty() ||
        (ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr) && read == data.size()))
      bytes = std::move(data);
  }
  CloseHandle(file);
  return bytes;
}

// A script file's text as the loader decodes it (byte-order marks honoured,
// line ends turned into LF); nullopt when it cannot be opened.
std::optional<std::wstring> ReadScriptText(const std::wstring& path) {
  TextFile file;
  if (!OpenScriptFileStream(path, file)) return std::nullopt;
  std::wstring text;
  wchar_t buffer[4096];
  while (uint32_t got = file.Read(buffer, static_cast<uint32_t>(std::size(buffer)))) text.append(buffer, got);
  return text;
}

// The text of a wide string as UTF-8.
std::string Utf8Of(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The text without leading and trailing blanks.
std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Whether `text` starts with `word` (any case) followed by its end, a blank or a comma.
bool StartsWithDirective(std::wstring_view text, std::wstring_view word) {
  if (text.size() < word.size()) return false;
  if (CompareStringOrdinal(text.data(), static_cast<int>(word.size()), word.data(), static_cast<int>(word.size()),
                           TRUE) != CSTR_EQUAL)
    return false;
  return text.size() == word.size() || IsBlank(text[word.size()]) || text[word.size()] == L',';
}

// An "#Include" line's parameter without a trailing comment; the directive
// name is already removed.
std::wstring IncludeParameterOf(std::wstring_view rest) {
  rest = Trimmed(rest);
  if (!rest.empty() && rest.front() == L',') rest = Trimmed(rest.substr(1));
  for (size_t i = 1; i < rest.size(); ++i)
    if (rest[i] == L';' && IsBlank(rest[i - 1])) {
      rest = Trimmed(rest.substr(0, i));
      break;
    }
  return std::wstring(rest);
}

// Merges a script file and the files it includes into one text, the way
// the loader reads them: each file once for "#Include", again for
// "#IncludeAgain", relative paths from the include folder (the script's
// folder until an "#Include" of a folder changes it), "*i" tolerating a
// missing file, "<Name>" searching the library folders. Lines inside
// /* ... */ comments are copied as they are.
class IncludeMerger {
 public:
  explicit IncludeMerger(std::wstring folder) : folder_(std::move(folder)) {}

  // Appends the file's merged lines to `out`; false (reported) on failure.
  bool Merge(const std::wstring& path, std::vector<std::wstring>& out) {
    if (depth_ >= kMaxIncludeDepth) {
      Fail(compiler_msg::IncludeTooDeep, path);
      return false;
    }
    std::optional<std::wstring> text = ReadScriptText(path);
    if (!text) {
      Fail(compiler_msg::IncludeMissing, path);
      return false;
    }
    seen_.push_back(path);
    ++depth_;
    bool inComment = false;
    size_t at = 0;
    bool ok = true;
    while (ok && at <= text->size()) {
      size_t end = text->find(L'\n', at);
      if (end == std::wstring::npos) end = text->size();
      std::wstring line = text->substr(at, end - at);
      at = end + 1;
      ok = MergeLine(line, inComment, out);
    }
    --depth_;
    return ok;
  }

 private:
  // One line: copied, or replaced by the file it includes.
  bool MergeLine(const std::wstring& line, bool& inComment, std::vector<std::wstring>& out) {
    std::wstring_view trimmed = Trimmed(line);
    if (inComment) {
      if (trimmed.substr(0, 2) == L"*/") inComment = false;
      out.push_back(line);
      return true;
    }
    if (trimmed.substr(0, 2) == L"/*") {
      inComment = true;
      out.push_back(line);
      return true;
    }
    bool again = StartsWithDirective(trimmed, L"#IncludeAgain");
    if (!again && !StartsWithDirective(trimmed, L"#Include")) {
      out.push_back(line);
      return true;
    }
    std::wstring param = IncludeParameterOf(trimmed.substr(again ? 13 : 8));
    return IncludeTargetOf(param, again, out);
  }

  // Resolves one "#Include" parameter and merges the file it names.
  bool IncludeTargetOf(const std::wstring& param, bool again, std::vector<std::wstring>& out) {
    IncludeTarget target = ParseIncludeParameter(param);
    std::wstring path;
    if (target.Library) {
      path = FindIncludeLibrary(target.Path);
    } else {
      path = ResolveIncludePath(folder_, ExpandIncludeVariables(target.Path));
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        folder_ = path;
        return true;
      }
      if (attributes == INVALID_FILE_ATTRIBUTES) path.clear();
    }
    if (path.empty()) {
      if (target.IgnoreMissing) return true;
      Fail(compiler_msg::IncludeMissing, target.Path);
      return false;
    }
    if (!again && AlreadyMerged(path)) return true;
    return Merge(path, out);
  }

  // Whether the file was merged before (paths compared without regard to case).
  bool AlreadyMerged(const std::wstring& path) const {
    for (const std::wstring& seen : seen_)
      if (CompareStringOrdinal(seen.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    return false;
  }

  std::wstring folder_;
  std::vector<std::wstring> seen_;
  int depth_ = 0;
};

// The compiled script's text: the compiler comment, then the merged lines,
// LF line ends, no line feed after the last line.
std::optional<std::string> MergedScriptText(const std::wstring& script) {
  std::vector<std::wstring> lines;
  IncludeMerger merger(FolderOf(script));
  if (!merger.Merge(script, lines)) return std::nullopt;
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  std::string text = kCompilerComment;
  for (const std::wstring& line : lines) {
    text += '\n';
    text += Utf8Of(line);
  }
  return text;
}

// Loads the script as the author's interpreter would; a load error is
// reported on standard error in the interpreter's own words.
bool ScriptLoads(const std::wstring& script) {
  ScriptContext& s = Script();
  s.Origin = ScriptOrigin::File;
  if (!InstallSubsystems()) return false;
  s.ErrorsToStdout = true;
  wchar_t folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  s.CurrentWorkDir = s.StartupWorkDir = length && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
  if (!InitScriptIdentity(ModulePath(), script)) return false;
  return LoadScript() == ResultCode::Ok;
}

// A FileInstall source stored in the executable.
struct InstallFile {
  std::wstring Name;  // the resource name: the source as written, in capitals
  std::string Bytes;
};

// The files the loaded script's FileInstall lines name, read from disk
// (relative names from the script's folder); false (reported) when one is
// not a written-out name or cannot be read.
bool CollectInstallFiles(const std::wstring& scriptFolder, std::vector<InstallFile>& files) {
  std::map<std::wstring, bool> seen;
  for (ScriptLine* line = Script().FirstScriptLine; line; line = line->FollowingLine) {
    if (line->CommandIndex != ACT_FILEINSTALL || !line->ArgTotal) continue;
    const ArgRecord& arg = line->ArgList[0];
    std::wstring source(arg.Content, arg.ContentLength);
    if (arg.ExprFlag || arg.RefList || arg.ResolvedVar || source.empty()) {
      Fail(compiler_msg::InstallNotLiteral, source + L" (" + Script().SourceFiles[line->SourceIndex] + L", line " +
                                                std::to_wstring(line->SourceLine) + L")");
      return false;
    }
    if (source.size() > kMaxInstallNameChars) {
      Fail(compiler_msg::InstallNameTooLong, source);
      return false;
    }
    std::wstring name = source;
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    if (seen[name]) continue;
    seen[name] = true;
    const bool absolute = (source.size() >= 2 && source[1] == L':') || source[0] == L'\\' || source[0] == L'/';
    const std::wstring path = absolute ? source : scriptFolder + L"\\" + source;
    std::optional<std::string> bytes = IsFile(path) ? ReadBytes(path) : std::nullopt;
    if (!bytes) {
      Fail(compiler_msg::InstallMissing, path);
      return false;
    }
    files.push_back({name, std::move(*bytes)});
  }
  return true;
}

#pragma pack(push, 2)
// One image's entry in an .ico file.
struct IconFileEntry {
  BYTE Width, Height, Colors, Reserved;
  WORD Planes, BitCount;
  DWORD Bytes, Offset;
};
// One image's entry in an RT_GROUP_ICON resource.
struct IconGroupEntry {
  BYTE Width, Height, Colors, Reserved;
  WORD Planes, BitCount;
  DWORD Bytes;
  WORD Id;
};
#pragma pack(pop)

// An icon read from an .ico file: the group entries (Id still unset) and each image's bytes.
struct IconSet {
  std::vector<IconGroupEntry> Entries;
  std::vector<std::string> Images;
};

// Reads an .ico file; nullopt when it is not one.
std::optional<IconSet> ReadIconFile(const std::wstring& path) {
  std::optional<std::string> bytes = ReadBytes(path);
  constexpr size_t kHeader = 6;
  if (!bytes || bytes->size() < kHeader) return std::nullopt;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes->data());
  const WORD reserved = static_cast<WORD>(data[0] | data[1] << 8), type = static_cast<WORD>(data[2] | data[3] << 8),
             count = static_cast<WORD>(data[4] | data[5] << 8);
  if (reserved != 0 || type != 1 || count == 0 || bytes->size() < kHeader + count * sizeof(IconFileEntry))
    return std::nullopt;
  IconSet set;
  for (WORD i = 0; i < count; ++i) {
    IconFileEntry entry;
    std::memcpy(&entry, bytes->data() + kHeader + i * sizeof(IconFileEntry), sizeof entry);
    if (!entry.Bytes || entry.Offset > bytes->size() || entry.Bytes > bytes->size() - entry.Offset) return std::nullopt;
    set.Entries.push_back({entry.Width, entry.Height, entry.Colors, 0, entry.Planes, entry.BitCount, entry.Bytes, 0});
    set.Images.push_back(bytes->substr(entry.Offset, entry.Bytes));
  }
  return set;
}

// Collects the IDs of the runtime's RT_ICON images.
BOOL CALLBACK NoteIconId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
  return TRUE;
}

// The IDs of the images the runtime's main icon group uses, and the highest image ID in use.
void RuntimeIconIds(const std::wstring& runtime, std::vector<WORD>& mainImages, WORD& highest) {
  highest = 0;
  HMODULE module = LoadLibraryExW(runtime.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return;
  std::vector<WORD> all;
  EnumResourceNamesW(module, MAKEINTRESOURCEW(3), NoteIconId, reinterpret_cast<LONG_PTR>(&all));  // RT_ICON
  for (WORD id : all) highest = std::max(highest, id);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDI_MAIN), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  const DWORD size = group ? SizeofResource(module, group) : 0;
  const auto* data = size >= 6 ? static_cast<const BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
  if (data) {
    const WORD count = static_cast<WORD>(data[4] | data[5] << 8);
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(IconGroupEntry) <= size; ++i) {
      IconGroupEntry entry;
      std::memcpy(&entry, data + 6 + i * sizeof(IconGroupEntry), sizeof entry);
      mainImages.push_back(entry.Id);
    }
  }
  FreeLibrary(module);
}

// Replaces the runtime's main and small icon groups with the icon's images.
bool ReplaceIcon(HANDLE update, const std::wstring& runtime, IconSet& icon) {
  std::vector<WORD> oldImages;
  WORD highest = 0;
  RuntimeIconIds(runtime, oldImages, highest);
  for (WORD id : oldImages)
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(id), kResourceLanguage, nullptr, 0))
      return false;
  std::string group(6, '\0');
  group[2] = 1;
  group[4] = static_cast<char>(icon.Entries.size() & 0xFF);
  group[5] = static_cast<char>(icon.Entries.size() >> 8);
  for (size_t i = 0; i < icon.Entries.size(); ++i) {
    icon.Entries[i].Id = static_cast<WORD>(highest + 1 + i);
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(icon.Entries[i].Id), kResourceLanguage,
                         icon.Images[i].data(), static_cast<DWORD>(icon.Images[i].size())))
      return false;
    group.append(reinterpret_cast<const char*>(&icon.Entries[i]), sizeof(IconGroupEntry));
  }
  for (WORD groupId : {WORD{IDI_MAIN}, WORD{IDI_MAIN_SMALL}})
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(groupId), kResourceLanguage, group.data(),
                         static_cast<DWORD>(group.size())))
      return false;
  return true;
}

// Writes the script, the install files and the icon into `target` (a copy of the runtime).
bool WriteResources(const std::wstring& target, const std::wstring& runtime, const std::string& script,
                    std::vector<InstallFile>& files, std::optional<IconSet>& icon) {
  HANDLE update = BeginUpdateResourceW(target.c_str(), FALSE);
  if (!update) return false;
  bool ok = UpdateResourceW(update, MAKEINTRESOURCEW(10), kScriptResourceName, kResourceLanguage,
                            const_cast<char*>(script.data()), static_cast<DWORD>(script.size())) != 0;
  for (InstallFile& file : files)
    ok = ok && UpdateResourceW(update, MAKEINTRESOURCEW(10), file.Name.c_str(), kResourceLanguage, file.Bytes.data(),
                               static_cast<DWORD>(file.Bytes.size())) != 0;
  if (ok && icon) ok = ReplaceIcon(update, runtime, *icon);
  return EndUpdateResourceW(update, ok ? FALSE : TRUE) && ok;
}

// A temporary name in the output's folder, so the final move stays on one volume.
std::wstring TemporaryNameFor(const std::wstring& output) {
  return output + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
}

}  // namespace

bool ParseCompilerArguments(const std::vector<std::wstring>& args, CompileRequest& request, std::wstring& error) {
  std::vector<std::wstring> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (CompareStringOrdinal(args[i].c_str(), -1, L"/icon", -1, TRUE) == CSTR_EQUAL) {
      if (i + 1 >= args.size() || !request.Icon.empty()) {
        error = compiler_msg::Usage;
        return false;
      }
      request.Icon = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.empty() || positional.size() > 2 || positional[0].empty()) {
    error = compiler_msg::Usage;
    return false;
  }
  request.Script = positional[0];
  if (positional.size() == 2) request.Output = positional[1];
  return true;
}

int RunCompiler(const std::vector<std::wstring>& args) {
  CompileRequest request;
  std::wstring usage;
  if (!ParseCompilerArguments(args, request, usage)) {
    PrintLine(stderr, usage);
    return kUsageError;
  }
  const std::wstring script = FullPath(request.Script);
  if (!IsFile(script)) return Fail(compiler_msg::NoScript, script);
  std::wstring output = request.Output;
  if (output.empty()) {
    const size_t dot = script.find_last_of(L'.');
    const size_t slash = script.find_last_of(L"\\/");
    output =
        (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? script.substr(0, dot) : script) +
        L".exe";
  }
  output = FullPath(output);
  const std::wstring runtime = FolderOf(ModulePath()) + L"\\" + kRuntimeName;
  if (!IsFile(runtime)) return Fail(compiler_msg::NoRuntime, runtime);
  if (CompareStringOrdinal(output.c_str(), -1, runtime.c_str(), -1, TRUE) == CSTR_EQUAL)
    return Fail(compiler_msg::SameAsRuntime, output);
  std::optional<IconSet> icon;
  if (!request.Icon.empty()) {
    icon = ReadIconFile(FullPath(request.Icon));
    if (!icon) return Fail(compiler_msg::BadIcon, FullPath(request.Icon));
  }

  if (!ScriptLoads(script)) return Fail(compiler_msg::LoadFailed);
  std::vector<InstallFile> files;
  if (!CollectInstallFiles(FolderOf(script), files)) return kCompileFailed;
  std::optional<std::string> text = MergedScriptText(script);
  if (!text) return kCompileFailed;

  const std::wstring temporary = TemporaryNameFor(output);
  if (!CopyFileW(runtime.c_str(), temporary.c_str(), FALSE)) return Fail(compiler_msg::CannotWrite, output);
  if (!WriteResources(temporary, runtime, *text, files, icon)) {
    DeleteFileW(temporary.c_str());
    return Fail(compiler_msg::ResourcesFailed, output);
  }
  if (!MoveFileExW(temporary.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    DeleteFileW(temporary.c_str());
    return Fail(compiler_msg::CannotWrite, output);
  }
  PrintLine(stdout, std::wstring(compiler_msg::Done) + output);
  return kCompiled;
}
