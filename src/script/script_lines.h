// Building the line list and the label list while the script loads.
#pragma once
#include <string_view>

#include "base/result_code.h"
#include "base/script_line.h"

// Appends a line to the script with its argument records already built.
// Unless `noPreprocess` is set, it becomes the marked line of every label
// still waiting for one (a label may not mark an Else, Until or Catch).
// Returns null after reporting an error.
ScriptLine* AppendScriptLine(ActionType action, ArgRecord* args, int argCount, bool noPreprocess);

// Defines a label for the next line added. Fails with "Duplicate label."
// when one of that name exists (hotkey labels may repeat).
ResultCode DefineLabel(std::wstring_view name, bool forHotkey);

// The label of that name (case-insensitive), or null.
Label* FindLabel(std::wstring_view name);

// Creates the empty-named placeholder label that loading starts with.
void CreatePlaceholderLabel();
