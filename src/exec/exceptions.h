// Exceptions: the thrown value a thread holds, the exception object made
// from an error, and the report for a value nobody catches.
#pragma once
#include <string_view>

#include "base/result_code.h"
#include "values/object.h"

struct ScriptLine;

inline constexpr wchar_t kExceptionThrown[] = L"An exception was thrown.";
inline constexpr wchar_t kUnhandledException[] = L"Unhandled exception.";

// A new exception object for a line: What, File, Line, Message, and Extra
// when not empty. The caller owns the reference.
Object* MakeExceptionObject(const ScriptLine* line, std::wstring_view message, std::wstring_view what,
                            std::wstring_view extra);

// Makes an exception object (What, File, Line, Message and Extra when not
// empty) and throws it; shows the unhandled report when no Catch will take
// it. `what` empty means the line's command name. Returns Fail.
ResultCode RaiseException(const ScriptLine* line, std::wstring_view message, std::wstring_view what = {},
                          std::wstring_view extra = {});

// Makes `value` the current thread's thrown value, replacing (and
// releasing) any earlier one.
void SetThrownValue(FieldValue value);

// Takes the thrown value out of the thread; the caller owns the result.
// Returns false when nothing was thrown.
bool TakeThrownValue(FieldValue& value);

// True while the current thread holds a thrown value.
bool HasThrownValue();

// Releases the thread's thrown value, if any.
void DiscardThrownValue();

// Shows the report for the thread's thrown value that no Catch handles.
void ShowUncaughtException(const ScriptLine* line);

// Releases what a FieldValue owns.
void ReleaseFieldValue(FieldValue& value);
