// Entry point of the script author's interpreter: the first argument that
// is not a switch names the script file.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return RunProgram(instance, ScriptOrigin::File, ProcessArguments());
}
