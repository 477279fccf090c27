// The line parser: classifies each logical line and turns it into script
// lines (commands with their arguments), or hands it to the directive
// handler, or defines a label.
#pragma once
#include <string>
#include <string_view>

#include "base/command_table.h"
#include "base/result_code.h"

// A line held back because the next line decides what it is: "name(...)"
// followed by a line starting with "{" defines a function (kept in
// ScriptState while it waits).
struct PendingLine {
  std::wstring Text;
  int LineNumber = 0;
};

// Receives one logical line from the reader.
ResultCode ClassifyLine(std::wstring_view text, int lineNumber);

// Parses a command or expression line; a forced action of ACT_EXPRESSION
// takes the whole text as an expression statement.
ResultCode ParseCommandLine(std::wstring_view text, ActionType forcedAction = ACT_INVALID);

// Called when the text has been read: finishes a line held back to see
// what follows it.
ResultCode FlushPendingLine();

// Forgets parser state between loads (for tests that load several scripts).
void ResetLineParser();
