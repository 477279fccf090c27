// How the text subsystem reads its arguments and writes its results: texts
// with their full stored length (a variable may hold zero characters inside
// its text), output variables written safely even when they are also the
// input, and function results checked against #MaxMem.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result_code.h"
#include "exec/command_args.h"
#include "text/text_search.h"
#include "text/text_state.h"
#include "values/expr_operators.h"
#include "values/expr_token.h"
#include "values/numeric_text.h"

class Variable;

// A function argument's text: a variable's whole stored text (past embedded
// zeros), a number in the thread's formats (written to `numberBuffer`), any
// other text up to its first zero; objects give "".
std::wstring_view ParamView(ExprToken& param, wchar_t* numberBuffer);

// A command argument's text: when it names a normal variable, that
// variable's whole stored text; otherwise the expanded text.
std::wstring_view ArgText(const CommandArgs& args, int index);

// Stores text in an output variable (none: nothing happens). The text may
// lie in the variable's own buffer. Enforces #MaxMem, reporting the line's
// error (an exception inside Try).
ResultCode StoreText(Variable* output, std::wstring_view text);

// Puts text into a function's result as a heap block the caller frees.
// Text beyond #MaxMem, or no memory for it, reports the line's error and
// returns Fail.
ResultCode SetResultTextChecked(ExprToken& result, std::wstring_view text);
// The same, but a text of up to kShortResultChars goes into the function's
// short result buffer instead of a heap block.
ResultCode SetResultTextChecked(ExprToken& result, std::wstring_view text, ShortResultSlot slot);

// A heap block (AllocVarHeap) for a text of `chars` characters and its
// terminator; null after reporting the line's error when the text would
// pass #MaxMem or memory runs out.
wchar_t* AllocTextBlock(size_t chars);
// Hands a filled block to a function's result; the caller frees it.
void SetResultBlock(ExprToken& result, wchar_t* block);
// Hands a filled block of `chars` characters to an output variable (none:
// the block is freed); a normal variable takes it over without a copy.
ResultCode StoreBlock(Variable* output, wchar_t* block, size_t chars);

// The haystack with up to `limit` (negative: all) matches of the search
// text replaced, as a heap block (AllocTextBlock) of `length` characters;
// null with `replaced` 0 when nothing matched. Null with `failed` set after
// the line's error was reported.
wchar_t* ReplaceIntoBlock(std::wstring_view haystack, std::wstring_view search, std::wstring_view replacement,
                          CaseMode mode, int64_t limit, size_t& replaced, size_t& length, bool& failed);

// A command argument as a 32-bit integer by the text-to-integer rule
// (decimal or "0x" hexadecimal; "" is 0), clamped to the 32-bit range.
int32_t ArgInt32(const CommandArgs& args, int index);

// Sets ErrorLevel to a text or a number, for the commands that report a
// result there (not a failure: nothing is thrown inside Try).
ResultCode SetErrorLevel(std::wstring_view text);
ResultCode SetErrorLevel(int64_t value);
