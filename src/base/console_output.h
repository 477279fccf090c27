// Text written to the process's standard output and standard error, which
// reach the console (or the Unix side under Wine) even from a GUI program.
#pragma once
#include <windows.h>

#include <string_view>

// Writes the text to the standard handle (STD_OUTPUT_HANDLE or
// STD_ERROR_HANDLE) as UTF-8. Returns false when there is no such handle or
// the write fails.
bool WriteToStdHandle(DWORD which, std::wstring_view text);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::wstring_view text);
