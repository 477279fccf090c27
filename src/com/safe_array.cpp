// Element access and the methods of VT_ARRAY wrappers. Elements are read and
// written in place while the array is locked, so a typed write replaces the
// old content (releasing its interface or BSTR) rather than leaking it.
#include "com/safe_array.h"

#include <string_view>

#include "com/com_enum.h"
#include "com/com_object.h"
#include "com/variant_convert.h"
#include "objects/builtin_functions.h"

namespace {

// Most dimensions an index list may address.
constexpr int kMaxDimensions = 8;

using ArrayMethod = ResultCode (*)(ComObject& array, ExprToken& result, ExprToken** args, int count);

// A one-dimensional array's enumerator.
ResultCode ArrayNewEnum(ComObject& array, ExprToken& result, ExprToken**, int) {
  HRESULT code = E_NOTIMPL;
  IObject* items = SafeArrayGetDim(array.Array) == 1 ? NewComArrayEnum(array, code) : nullptr;
  SetComLastError(items ? S_OK : code);
  if (!items) return ReportComError(code);
  result.SetObject(items);
  return ResultCode::Ok;
}

// A copy of the array in a new wrapper that owns it.
ResultCode ArrayClone(ComObject& array, ExprToken& result, ExprToken**, int) {
  SAFEARRAY* copy = nullptr;
  const HRESULT code = SafeArrayCopy(array.Array, &copy);
  SetComLastError(code);
  if (FAILED(code)) return ReportComError(code);
  result.SetObject(new ComObject(array.VarType, reinterpret_cast<int64_t>(copy), kComOwnsValue));
  return ResultCode::Ok;
}

// The upper or lower bound of a dimension (the first by default).
ResultCode ArrayBound(ComObject& array, ExprToken& result, ExprToken** args, int count, bool upper) {
  const UINT dimension = ParamGiven(args, count, 0) ? static_cast<UINT>(ParamInteger(*args[0])) : 1;
  LONG bound = 0;
  const HRESULT code =
      upper ? SafeArrayGetUBound(array.Array, dimension, &bound) : SafeArrayGetLBound(array.Array, dimension, &bound);
  SetComLastError(code);
  if (FAILED(code)) return ReportComError(code);
  result.SetInteger(bound);
  return ResultCode::Ok;
}

ResultCode ArrayMaxIndex(ComObject& array, ExprToken& result, ExprToken** args, int count) {
  return ArrayBound(array, result, args, count, true);
}
ResultCode ArrayMinIndex(ComObject& array, ExprToken& result, ExprToken** args, int count) {
  return ArrayBound(array, result, args, count, false);
}

struct ArrayMethodRow {
  const wchar_t* Name;
  ArrayMethod Run;
};
constexpr ArrayMethodRow kArrayMethods[] = {
    {L"NewEnum", ArrayNewEnum},
    {L"Clone", ArrayClone},
    {L"MaxIndex", ArrayMaxIndex},
    {L"MinIndex", ArrayMinIndex},
};

// Runs a method by name (a leading "_" is ignored).
ResultCode CallArrayMethod(ComObject& array, std::wstring_view name, ExprToken& result, ExprToken** args, int count) {
  const std::wstring_view bare = !name.empty() && name[0] == L'_' ? name.substr(1) : name;
  for (const ArrayMethodRow& row : kArrayMethods)
    if (bare.size() == wcslen(row.Name) && _wcsnicmp(bare.data(), row.Name, bare.size()) == 0)
      return row.Run(array, result, args, count);
  SetComLastError(DISP_E_UNKNOWNNAME);
  return ReportComError(DISP_E_UNKNOWNNAME, name);
}

// Reads or writes one element; a wrong number or kind of index only sets
// the last error, as for a missing element.
ResultCode AccessElement(ComObject& array, ExprToken& result, bool set, ExprToken** params, int count) {
  const int indexCount = set ? count - 1 : count;
  const int dimensions = static_cast<int>(SafeArrayGetDim(array.Array));
  if (indexCount != dimensions || dimensions > kMaxDimensions) {
    SetComLastError(DISP_E_BADPARAMCOUNT);
    return ResultCode::Ok;
  }
  LONG indexes[kMaxDimensions];
  for (int i = 0; i < indexCount; ++i) {
    if (ParamNumericType(*params[i]) != PURE_INTEGER) {
      SetComLastError(E_INVALIDARG);
      return ResultCode::Ok;
    }
    indexes[i] = static_cast<LONG>(ParamInteger(*params[i]));
  }
  const VARTYPE type = static_cast<VARTYPE>(array.VarType & VT_TYPEMASK);
  HRESULT code = SafeArrayLock(array.Array);
  if (SUCCEEDED(code)) {
    void* where = nullptr;
    code = SafeArrayPtrOfIndex(array.Array, indexes, &where);
    if (SUCCEEDED(code)) {
      if (set) {
        code = TypedWrite(type, where, *params[count - 1]);
        if (SUCCEEDED(code)) CopyTokenToResult(*params[count - 1], result);
      } else {
        VARIANT reference;
        reference.vt = static_cast<VARTYPE>(type | VT_BYREF);
        reference.byref = where;
        VARIANT copy;
        VariantInit(&copy);
        code = VariantCopyInd(&copy, &reference);
        if (SUCCEEDED(code)) VariantToToken(copy, result, false);
      }
    }
    SafeArrayUnlock(array.Array);
  }
  SetComLastError(code);
  return FAILED(code) ? ReportComError(code) : ResultCode::Ok;
}

}  // namespace

ResultCode InvokeSafeArray(ComObject& array, ExprToken& result, int flags, ExprToken** params, int count) {
  if (!array.Array) {
    SetComLastError(DISP_E_BADVARTYPE);
    return ReportComError(-1);
  }
  if (flags & IF_NEWENUM) return ArrayNewEnum(array, result, nullptr, 0);
  const int kind = InvokeKindOf(flags);
  if (kind == IT_CALL) {
    wchar_t buffer[kFloatTextChars];
    const bool named = !(flags & IF_FUNCOBJ) && count > 0;
    const std::wstring name = named ? ParamText(*params[0], buffer) : L"";
    return CallArrayMethod(array, name, result, params + (named ? 1 : 0), count - (named ? 1 : 0));
  }
  return AccessElement(array, result, kind == IT_SET, params, count);
}
