// One-line renderings of script lines, for ListLines and error dialogs.
#pragma once
#include <string>

struct ScriptLine;

// "%03u: " with the line number, then the command and its arguments as
// written, cut to `limit` characters. No line ending is added.
std::wstring RenderLine(const ScriptLine& line, size_t limit);
