// The script compiler: turns a script file into a copy of the runtime that
// carries it. The script is first loaded exactly as the author's
// interpreter would load it (a load error stops the compile with the same
// report); its "#Include" files are then merged into one text headed by the
// compiler comment, stored as the runtime's ">QUORIVANCE SCRIPT<" RCDATA
// resource; every file a FileInstall line names is stored as an RCDATA
// resource named after it in capitals; and the window icon is replaced when
// asked.
//
// Invariant: the output is written under a temporary name beside it and
// moved into place only when complete, so a failed compile never leaves a
// half-written executable (an existing output stays as it was).
#pragma once
#include <string>
#include <vector>

// The first line of every compiled script.
inline constexpr char kCompilerComment[] = "; <COMPILER: v1.1.29.01>";

// What one compile was asked to do.
struct CompileRequest {
  std::wstring Script;  // the script file
  std::wstring Output;  // the executable to write ("" = the script's name with .exe)
  std::wstring Icon;    // an .ico file to use as the program's icon ("" = keep)
};

// Reads the compiler's command line: SCRIPT.qrv [OUT.exe] [/icon FILE.ico].
// False with a usage message in `error` when it is not of that form.
bool ParseCompilerArguments(const std::vector<std::wstring>& args, CompileRequest& request, std::wstring& error);

// Runs a whole compile and returns the process exit code: 0 when the
// executable was written, 1 for a failure (reported on standard error),
// 2 for a usage error.
int RunCompiler(const std::vector<std::wstring>& args);
