// Script files: feeding a script file's text to the parser, and the
// "#Include" and "#IncludeAgain" directives of a script read from a file.
//
// Invariants: every file read has an index in Script().SourceFiles (the main
// script is 0); reading the same file again reuses its index. While a file is
// read, Script().CurrentFileIndex is its index, so its lines and load errors
// name it; when it ends, the including file's index and line number are
// restored. Relative paths are resolved against the include folder, which
// starts as the script's folder and is changed by "#Include" of a folder.
// A compiled script's text already holds its included files: there the two
// directives are accepted and do nothing.
#pragma once
#include <string>
#include <string_view>

#include "base/result_code.h"
#include "script/directives.h"

class TextStream;
class TextFile;

// Deepest nesting of included files (a file that includes itself again
// would otherwise never end).
inline constexpr int kMaxIncludeDepth = 100;
// Extension of script files, and so of "#Include <Name>" libraries.
inline constexpr wchar_t kScriptExtension[] = L".qrv";

// Opens a script file for reading as script text (UTF-8 unless a byte-order
// mark says otherwise); false when it cannot be opened.
bool OpenScriptFileStream(const std::wstring& path, TextFile& stream);

// Reads the main script's text into the parser; the include folder starts
// as the script's folder. Load errors are reported before Fail is returned.
ResultCode ReadMainScript(TextStream& stream, int firstLineNumber);

// Carries out "#Include" (again = false) or "#IncludeAgain" with the
// directive's parameter; `line` is the directive line, the detail of its
// errors.
DirectiveResult IncludeDirective(std::wstring_view param, bool again, std::wstring_view line);

// Replaces the variable references of an include path (A_ScriptDir,
// A_LineFile, A_WorkingDir, A_AppData and the other folder variables, and
// environment variables) with their values; unknown references stay as
// written.
std::wstring ExpandIncludeVariables(std::wstring_view path);

// The full path of `path` taken relative to `folder` unless it is absolute.
std::wstring ResolveIncludePath(std::wstring_view folder, std::wstring_view path);

// The file of a library: Name.qrv in the first library folder that has it
// (beside the script, in the user's documents, beside the interpreter);
// failing that, the part of the name before its first "_" (a library
// holding a family of functions). "" when none exists.
std::wstring FindIncludeLibrary(std::wstring_view name);

// The parts of an "#Include" parameter.
struct IncludeTarget {
  bool IgnoreMissing = false;  // "*i" prefix
  bool Library = false;        // "<Name>" form
  std::wstring Path;           // the path, or the library name without brackets
};
IncludeTarget ParseIncludeParameter(std::wstring_view param);

// Include state of the load in progress (kept in ScriptState).
struct IncludeState {
  std::wstring Folder;  // relative include paths start here
  int Depth = 0;        // included files being read, one inside the other
};
