// Entry point of the compiled-script runtime: the script is the
// executable's own resource and every argument is a switch or a parameter.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return RunProgram(instance, ScriptOrigin::Resource, ProcessArguments());
}
