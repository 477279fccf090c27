// Conversions between the script's value tokens and VARIANTs, both ways,
// and the COM failure report that every call ends in when it goes wrong.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string_view>

#include "base/result_code.h"
#include "values/expr_token.h"

// Puts a VARIANT's value into a result token. With `borrowed` the VARIANT
// stays the caller's (interfaces gain a reference, texts are copied);
// otherwise the result takes over its contents and the VARIANT is left empty.
void VariantToToken(VARIANT& variant, ExprToken& result, bool borrowed);

// A token as a VARIANT the caller clears (VariantClear) after use.
void TokenToVariant(ExprToken& token, VARIANT& variant);

// Copies a token into a result: objects gain a reference, text is copied.
void CopyTokenToResult(ExprToken& value, ExprToken& result);

// Makes a token the empty string that owns nothing.
inline void ClearToken(ExprToken& token) {
  token.SetText(L"");
  token.HeapText = nullptr;
}

// Stores the HRESULT as the thread's last error (A_LastError).
void SetComLastError(HRESULT code);

// The COM error report: sets the last error and, while reports are on,
// raises the run-time error for `code` (−1: "No valid COM object!") with the
// member as its extra text. Frees the EXCEPINFO's strings. Fail when an
// error was raised, else Ok (the expression then yields "").
ResultCode ReportComError(HRESULT code, std::wstring_view member = {}, EXCEPINFO* info = nullptr);
