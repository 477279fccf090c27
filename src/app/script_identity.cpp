// Script paths and title.
#include "app/script_identity.h"

#include <windows.h>

#include "base/script_context.h"

namespace {

// Longest path whose case is corrected (MAX_PATH less the terminator).
constexpr size_t kMaxCorrectablePath = MAX_PATH - 1;

// The directory part and the file-name part of a full path.
void SplitPath(const std::wstring& path, std::wstring& directory, std::wstring& name) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) {
    directory.clear();
    name = path;
    return;
  }
  directory = path.substr(0, slash);
  name = path.substr(slash + 1);
}

// Where the first correctable component starts: after "X:\" or after
// "\\server\share\".
size_t FirstComponent(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.size() > 2 && (path[2] == L'\\' || path[2] == L'/') ? 3 : 2;
  if (path.compare(0, 2, L"\\\\") == 0) {
    size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos) return path.size();
    size_t share = path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
  }
  return 0;
}

}  // namespace

std::wstring CorrectPathCase(const std::wstring& path) {
  if (path.size() > kMaxCorrectablePath) return path;
  std::wstring out = path;
  if (out.size() >= 2 && out[1] == L':') out[0] = static_cast<wchar_t>(towupper(out[0]));
  size_t start = FirstComponent(out);
  while (start < out.size()) {
    size_t end = out.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = out.size();
    if (end > start) {
      std::wstring prefix = out.substr(0, end);
      WIN32_FIND_DATAW found;
      HANDLE search = FindFirstFileW(prefix.c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        std::wstring_view onDisk(found.cFileName);
        if (onDisk.size() == end - start) out.replace(start, end - start, onDisk);
      }
    }
    start = end + 1;
  }
  return out;
}

bool InitScriptIdentity(const std::wstring& exePath, const std::wstring& scriptPath) {
  ScriptContext& s = Script();
  s.ScriptPath = CorrectPathCase(scriptPath);
  SplitPath(s.ScriptPath, s.ScriptDirectory, s.ScriptFileName);
  s.MainTitle = s.ScriptDirectory + L"\\" + s.ScriptFileName;
  std::wstring exe = CorrectPathCase(exePath);
  std::wstring exeName;
  SplitPath(exe, s.ExeDirectory, exeName);
  s.ExePathQuoted = L"\"" + exe + L"\"";
  return true;
}
