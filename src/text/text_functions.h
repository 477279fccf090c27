// The entry points of the text subsystem's built-in functions, gathered into
// one table by text_subsystem.cpp. Each follows the contract of
// objects/builtin_functions.h.
#pragma once
#include "values/expr_token.h"

// string_functions.cpp
ResultCode BifStrLen(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
ResultCode BifSubStr(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
ResultCode BifInStr(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
ResultCode BifStrReplace(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
ResultCode BifStrSplit(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
// Trim, LTrim and RTrim, told apart by the name they were called by.
ResultCode BifTrim(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
// Asc and Ord, told apart by the name they were called by.
ResultCode BifOrd(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
ResultCode BifChr(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);

// format.cpp
ResultCode BifFormat(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast);
