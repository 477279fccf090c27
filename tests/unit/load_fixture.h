// Loads script text in memory the way a script file is loaded, capturing
// load errors instead of showing them. Shared by the parser and linker tests.
#pragma once
#include <string>
#include <vector>

#include "base/result_code.h"
#include "base/script_line.h"

struct LoadOutcome {
  ResultCode Result = ResultCode::Ok;
  std::wstring Error;
  std::wstring ErrorExtra;
  int ErrorLine = -1;
  std::vector<ScriptLine*> Lines;  // in order, the implicit Exit lines included
};

enum class LoadDepth { ParseOnly, Full };

// Parses (and with Full, links) UTF-8 script text whose first line is line 1.
LoadOutcome LoadText(const std::string& utf8, LoadDepth depth = LoadDepth::Full);

// The text of an argument: its content, or its resolved variable's name.
std::wstring ArgTextOf(const ArgRecord& arg);

// ASCII rendering of a wide text for test messages (other characters as "?").
std::string Narrow(const std::wstring& text);

// A script that must fail to load with this message at this line.
struct LoadErrorCase {
  const char* Script;
  const wchar_t* Message;
  int Line;
};

// Loads each script and checks that it fails with its message and line.
void ExpectLoadErrors(const std::vector<LoadErrorCase>& cases, LoadDepth depth);
