// FileOpen and the file object: a TextFile behind the script's methods and
// properties (Read, Write, lines, numbers, raw bytes, position, length,
// encoding, handle, Close).
#pragma once
#include "objects/builtin_functions.h"

// FileOpen(Filename, Flags [, Encoding]): a file object, or "" on failure.
ResultCode FnFileOpen(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
