// Loading: reads the script text (the executable's resource or a script
// file), and hands every logical line to the parser.
#pragma once
#include "base/result_code.h"

// Names of the RCDATA resources that may hold the embedded script.
inline constexpr wchar_t kScriptResourceName[] = L">QUORIVANCE SCRIPT<";
inline constexpr wchar_t kScriptResourceNameWithIcon[] = L">QRV WITH ICON<";

// Loads the script of Script()'s origin. On Fail the error has been reported.
ResultCode LoadScript();

// Completes a load after the last line of text: the implicit Exit lines,
// block linking and jump resolution, and ErrorLevel. Used by LoadScript
// and by tools that feed lines themselves.
ResultCode FinishLoad();
