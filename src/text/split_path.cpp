// SplitPath: a path or URL cut into file name, directory, extension, name
// without extension and drive.
//
// Local and network paths use "\" as separator (and a drive's ":" when no
// "\" occurs); URLs use "/" after their host. Output variables that are not
// given are not written.
#include <string_view>

#include "text/text_commands.h"
#include "text/text_values.h"

namespace {

// Argument positions of SplitPath.
enum : int { kArgInput = 0, kArgFileName = 1, kArgDirectory = 2, kArgExtension = 3, kArgNameNoExt = 4, kArgDrive = 5 };

constexpr std::wstring_view kUrlMark = L"://";
constexpr std::wstring_view kUncMark = L"\\\\";

// The pieces of a path, as views into it.
struct PathParts {
  std::wstring_view FileName;
  std::wstring_view Directory;
  std::wstring_view Drive;
};

// A URL: the drive is the scheme and host; the path separator is "/" (or
// "\" when the address has no "/" after its host).
PathParts SplitUrl(std::wstring_view path, size_t start, size_t mark) {
  const size_t hostStart = mark + kUrlMark.size();
  const wchar_t separator = path.find(L'/', hostStart) != std::wstring_view::npos ? L'/' : L'\\';
  const size_t driveEnd = path.find(separator, hostStart);
  PathParts parts;
  if (driveEnd == std::wstring_view::npos) {
    parts.Directory = path;
    parts.Drive = path.substr(start);
    return parts;
  }
  parts.Drive = path.substr(start, driveEnd - start);
  const size_t directoryEnd = path.rfind(separator);
  parts.FileName = path.substr(directoryEnd + 1);
  parts.Directory = path.substr(0, directoryEnd);
  return parts;
}

// The drive of a local or network path: "X:" or "\\server", else none.
std::wstring_view DriveOf(std::wstring_view path, size_t start) {
  const std::wstring_view rest = path.substr(start);
  if (rest.substr(0, kUncMark.size()) == kUncMark) {
    const size_t shareSlash = rest.find(L'\\', kUncMark.size());
    return rest.substr(0, shareSlash);
  }
  const bool isLetter = rest.size() >= 2 && ((rest[0] | 0x20) >= L'a' && (rest[0] | 0x20) <= L'z');
  if (isLetter && rest[1] == L':') return rest.substr(0, 2);
  return {};
}

// Cuts a path into its parts.
PathParts SplitPathParts(std::wstring_view path) {
  const size_t start =
      path.find_first_not_of(L" \t") == std::wstring_view::npos ? path.size() : path.find_first_not_of(L" \t");
  const size_t mark = path.find(kUrlMark, start);
  if (mark != std::wstring_view::npos) return SplitUrl(path, start, mark);
  PathParts parts;
  parts.Drive = DriveOf(path, start);
  size_t directoryEnd = path.rfind(L'\\');
  bool keepEnd = false;
  if (directoryEnd == std::wstring_view::npos) {
    directoryEnd = path.rfind(L':');
    keepEnd = true;  // C:x.txt has the directory C:
  }
  if (directoryEnd == std::wstring_view::npos) {
    parts.FileName = path;
    return parts;
  }
  parts.FileName = path.substr(directoryEnd + 1);
  parts.Directory = path.substr(0, keepEnd ? directoryEnd + 1 : directoryEnd);
  return parts;
}

}  // namespace

// SplitPath, InputVar [, OutFileName, OutDir, OutExtension, OutNameNoExt, OutDrive].
ResultCode CmdSplitPath(ScriptLine&, CommandArgs& args) {
  // The input is copied: an output variable may be the input variable.
  const std::wstring path(ArgText(args, kArgInput));
  const PathParts parts = SplitPathParts(path);
  const size_t dot = parts.FileName.rfind(L'.');
  const std::wstring_view extension =
      dot == std::wstring_view::npos ? std::wstring_view() : parts.FileName.substr(dot + 1);
  const std::wstring_view nameNoExt = parts.FileName.substr(0, dot);
  Variable* const* vars = args.Var;
  const auto output = [&](int index) { return index < args.Count ? vars[index] : nullptr; };
  if (StoreText(output(kArgFileName), parts.FileName) != ResultCode::Ok) return ResultCode::Fail;
  if (StoreText(output(kArgDirectory), parts.Directory) != ResultCode::Ok) return ResultCode::Fail;
  if (StoreText(output(kArgExtension), extension) != ResultCode::Ok) return ResultCode::Fail;
  if (StoreText(output(kArgNameNoExt), nameNoExt) != ResultCode::Ok) return ResultCode::Fail;
  return StoreText(output(kArgDrive), parts.Drive);
}
