// Entry point of the script compiler, qrvc.exe: a console program, so its
// messages and exit code reach the shell that runs it.
#include <string>
#include <vector>

#include "app/script_compiler.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  return RunCompiler(args);
}
