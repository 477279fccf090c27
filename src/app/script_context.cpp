// The one ScriptContext instance and the process-wide switches.
#include "app/script_context.h"

ScriptContext g_script;
bool g_SkipInstanceCheck = false;
bool g_StayResident = false;
int g_ProcessExitCode = 0;
