// VARIANT <-> token conversions and the COM failure report.
//
// A VARIANT that comes back from a call is taken over: its interface
// reference or array goes into the wrapper, its BSTR is copied and freed. A
// borrowed VARIANT (an element read in place, an event's argument) stays its
// owner's, so whatever the result keeps gains its own reference.
#include "com/variant_convert.h"

#include <cstdio>
#include <string>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "com/com_enum.h"
#include "com/com_messages.h"
#include "com/com_object.h"
#include "com/com_state.h"
#include "objects/builtin_functions.h"
#include "values/expr_operators.h"
#include "values/object.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

// The .NET IEnumerable interface, which collections of managed servers
// answer instead of IEnumVARIANT.
constexpr GUID kIID_DotNetEnumerable = {0x65074F7F, 0x63C0, 0x304E, {0xAF, 0x0A, 0xD5, 0x17, 0x41, 0xCB, 0x4A, 0x8D}};

// Largest text of a system message, the code prefix included.
constexpr size_t kMaxReportChars = 4096;

// Puts a wrapper into the result.
void ResultWrapper(ExprToken& result, VARTYPE type, int64_t value, uint16_t flags) {
  result.SetObject(new ComObject(type, value, flags));
}

// An interface that is not IDispatch: an enumerator when it is one, else a
// wrapper on the best interface it answers. Takes over `unknown`.
void ResultUnknown(IUnknown* unknown, ExprToken& result) {
  IEnumVARIANT* items = nullptr;
  if (SUCCEEDED(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items))) && items) {
    unknown->Release();
    result.SetObject(NewComEnum(items));
    return;
  }
  IDispatch* dispatch = nullptr;
  if (SUCCEEDED(unknown->QueryInterface(kIID_DotNetEnumerable, reinterpret_cast<void**>(&dispatch))) && dispatch) {
    unknown->Release();
    ResultWrapper(result, VT_DISPATCH, reinterpret_cast<int64_t>(dispatch), 0);
    return;
  }
  // Calling Invoke through a pointer that is not an IDispatch would jump
  // into whatever its vtable holds there, so only a real IDispatch becomes
  // a VT_DISPATCH wrapper.
  if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) && dispatch) {
    unknown->Release();
    ResultWrapper(result, VT_DISPATCH, reinterpret_cast<int64_t>(dispatch), 0);
    return;
  }
  ResultWrapper(result, VT_UNKNOWN, reinterpret_cast<int64_t>(unknown), 0);
}

// An IDispatch: the script object itself when it is one of ours, else a
// wrapper. Takes over `dispatch` (may be null).
void ResultDispatch(IDispatch* dispatch, ExprToken& result) {
  IObject* own = nullptr;
  if (dispatch && SUCCEEDED(dispatch->QueryInterface(IID_IObject, reinterpret_cast<void**>(&own))) && own) {
    dispatch->Release();
    result.SetObject(own);
    return;
  }
  ResultWrapper(result, VT_DISPATCH, reinterpret_cast<int64_t>(dispatch), 0);
}

// A variable's value as a VARIANT: numbers it holds as numbers stay
// numbers, anything else is its text.
void VariableToVariant(Variable& var, VARIANT& variant) {
  Variable& target = *var.ResolveAlias();
  const uint8_t attrib = target.Attrib();
  if (attrib & VAR_ATTRIB_CONTENTS_OUT_OF_DATE) {
    ExprToken number;
    if (attrib & VAR_ATTRIB_HAS_VALID_INT64)
      number.SetInteger(target.ToInteger(false));
    else
      number.SetFloat(target.ToFloat(false));
    TokenToVariant(number, variant);
    return;
  }
  variant.vt = VT_BSTR;
  variant.bstrVal = SysAllocString(target.TextOf());
}

// The system's text for a code, without its trailing line break.
std::wstring SystemMessage(HRESULT code) {
  wchar_t buffer[kMaxReportChars];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, buffer, static_cast<DWORD>(kMaxReportChars), nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

// An EXCEPINFO string as text ("" for none).
std::wstring TextOfBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// Frees what an EXCEPINFO holds.
void FreeExcepInfo(EXCEPINFO* info) {
  if (!info) return;
  SysFreeString(info->bstrSource);
  SysFreeString(info->bstrDescription);
  SysFreeString(info->bstrHelpFile);
  info->bstrSource = info->bstrDescription = info->bstrHelpFile = nullptr;
}

}  // namespace

void VariantToToken(VARIANT& variant, ExprToken& result, bool borrowed) {
  const VARTYPE type = variant.vt;
  if (type & (VT_ARRAY | VT_BYREF)) {
    ResultWrapper(result, type, reinterpret_cast<int64_t>(variant.byref),
                  (borrowed || !(type & VT_ARRAY)) ? 0 : kComOwnsValue);
    if (!borrowed) variant.vt = VT_EMPTY;
    return;
  }
  switch (type) {
    case VT_EMPTY:
    case VT_NULL: result.SetText(L""); return;
    case VT_I2: result.SetInteger(variant.iVal); return;
    case VT_BOOL: result.SetInteger(variant.boolVal); return;
    case VT_I4: result.SetInteger(variant.lVal); return;
    case VT_ERROR: result.SetInteger(variant.scode); return;
    case VT_R4: result.SetFloat(static_cast<double>(variant.fltVal)); return;
    case VT_R8: result.SetFloat(variant.dblVal); return;
    case VT_BSTR:
      SetResultText(result, {variant.bstrVal ? variant.bstrVal : L"", SysStringLen(variant.bstrVal)});
      if (!borrowed) VariantClear(&variant);
      return;
    case VT_UNKNOWN:
      if (!variant.punkVal) {
        ResultWrapper(result, VT_UNKNOWN, 0, 0);
        return;
      }
      if (borrowed) variant.punkVal->AddRef();
      ResultUnknown(variant.punkVal, result);
      if (!borrowed) variant.vt = VT_EMPTY;
      return;
    case VT_DISPATCH:
      if (borrowed && variant.pdispVal) variant.pdispVal->AddRef();
      ResultDispatch(variant.pdispVal, result);
      if (!borrowed) variant.vt = VT_EMPTY;
      return;
    default: break;
  }
  // Currency, dates, decimals and the integer widths scripts have no own
  // form for travel as their text.
  VARIANT text;
  VariantInit(&text);
  if (SUCCEEDED(VariantChangeType(&text, &variant, 0, VT_BSTR)))
    SetResultText(result, {text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal)});
  else
    result.SetText(L"");
  VariantClear(&text);
  if (!borrowed) VariantClear(&variant);
}

void TokenToVariant(ExprToken& token, VARIANT& variant) {
  VariantInit(&variant);
  if (IObject* object = ObjectOf(token)) {
    if (auto* wrapper = dynamic_cast<ComObject*>(object)) {
      variant.vt = wrapper->VarType;
      variant.llVal = wrapper->Value;
      if (wrapper->HasInterface()) {
        wrapper->Unknown->AddRef();
      } else if ((wrapper->VarType & VT_ARRAY) && (wrapper->Flags & kComOwnsValue) && wrapper->Array) {
        // The callee may keep or free what it gets; the wrapper keeps its own.
        if (FAILED(SafeArrayCopy(wrapper->Array, &variant.parray))) variant.vt = VT_EMPTY;
      }
      return;
    }
    object->AddRef();
    variant.vt = VT_DISPATCH;
    variant.pdispVal = object;
    return;
  }
  switch (token.Symbol) {
    case ExprSymbol::Omitted:
      variant.vt = VT_ERROR;
      variant.scode = DISP_E_PARAMNOTFOUND;
      return;
    case ExprSymbol::Integer:
      if (token.ValueInt64 >= INT32_MIN && token.ValueInt64 <= INT32_MAX) {
        variant.vt = VT_I4;
        variant.lVal = static_cast<LONG>(token.ValueInt64);
      } else {
        variant.vt = VT_R8;
        variant.dblVal = static_cast<double>(token.ValueInt64);
      }
      return;
    case ExprSymbol::Float:
      variant.vt = VT_R8;
      variant.dblVal = token.ValueDouble;
      return;
    case ExprSymbol::VariableRef: VariableToVariant(*token.Var, variant); return;
    case ExprSymbol::RawWord: {
      const NumericKind kind = ParamNumericType(token);
      if (kind != PURE_NOT_NUMERIC) {
        ExprToken number;
        if (kind == PURE_INTEGER)
          number.SetInteger(ParamInteger(token));
        else
          number.SetFloat(ParamFloat(token));
        TokenToVariant(number, variant);
        return;
      }
      break;
    }
    default: break;
  }
  wchar_t buffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* text = ParamText(token, buffer, &length);
  variant.vt = VT_BSTR;
  variant.bstrVal = SysAllocStringLen(text, static_cast<UINT>(length));
}

void CopyTokenToResult(ExprToken& value, ExprToken& result) {
  if (IObject* object = ObjectOf(value)) {
    object->AddRef();
    result.SetObject(object);
    return;
  }
  if (value.Symbol == ExprSymbol::Integer) return result.SetInteger(value.ValueInt64);
  if (value.Symbol == ExprSymbol::Float) return result.SetFloat(value.ValueDouble);
  wchar_t buffer[kFloatTextChars];
  size_t length = 0;
  const wchar_t* text = ParamText(value, buffer, &length);
  SetResultText(result, {text, length});
}

void SetComLastError(HRESULT code) { Values().CurrentThread->LastErrorCode = static_cast<uint32_t>(code); }

ResultCode ReportComError(HRESULT code, std::wstring_view member, EXCEPINFO* info) {
  if (!Com().ShowErrors) {
    FreeExcepInfo(info);
    return ResultCode::Ok;
  }
  if (code == DISP_E_EXCEPTION && info) {
    if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info);
    code = info->wCode ? static_cast<HRESULT>(info->wCode + 0x80040200u) : info->scode;
  }
  std::wstring text;
  if (code == -1) {
    text = com_msg::NoValidObject;
  } else {
    wchar_t prefix[16];
    swprintf(prefix, 16, com_msg::CodeFormat, static_cast<unsigned>(code));
    text = prefix + SystemMessage(code);
    if (info) {
      text += L"\nSource:\t\t" + TextOfBstr(info->bstrSource) + L"\nDescription:\t" +
              TextOfBstr(info->bstrDescription) + L"\nHelpFile:\t\t" + TextOfBstr(info->bstrHelpFile) +
              L"\nHelpContext:\t" + std::to_wstring(static_cast<long>(info->dwHelpContext));
    }
    if (text.size() > kMaxReportChars) text.resize(kMaxReportChars);
  }
  FreeExcepInfo(info);
  return ReportLineError(Script().CurrentLine, text, ERROR_KIND_ERROR, member);
}
