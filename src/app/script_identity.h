// The script's identity: its paths with the case stored on disk, and the
// main window title a second copy looks for.
#pragma once
#include <string>

// Corrects the case of each component of a full path to the case stored on
// disk. Drive letters are upper-cased; a UNC path keeps its server and share;
// paths of 260 characters or more, and components that cannot be found, are
// left as they are.
std::wstring CorrectPathCase(const std::wstring& path);

// Sets ScriptPath, ScriptDirectory, ScriptFileName, MainTitle, ExePathQuoted
// and ExeDirectory from the executable path and the script path (the same
// path for a compiled script).
bool InitScriptIdentity(const std::wstring& exePath, const std::wstring& scriptPath);
