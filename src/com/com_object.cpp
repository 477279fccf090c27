// ComObject: late-bound member access through IDispatch, the typed reads
// and writes behind references and array elements, and the class name a
// wrapper shows to scripts.
#include "com/com_object.h"

#include <dispex.h>
#include <ocidl.h>

#include <cstring>
#include <string>
#include <vector>

#include "com/com_event.h"
#include "com/com_state.h"
#include "com/safe_array.h"
#include "com/variant_convert.h"
#include "objects/builtin_functions.h"
#include "objects/object_invoke.h"
#include "values/expr_operators.h"

namespace {

// IDispatchEx, which script engines' objects answer (not in the import
// libraries, so named here).
constexpr GUID kIID_IDispatchEx = {0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

// Bytes a value of each scalar type takes where a typed write puts it.
struct TypeSize {
  VARTYPE Type;
  size_t Bytes;
};
constexpr TypeSize kTypeSizes[] = {
    {VT_I2, 2},      {VT_BOOL, 2}, {VT_UI2, 2}, {VT_I4, 4},      {VT_R4, 4},       {VT_ERROR, 4}, {VT_UI4, 4},
    {VT_INT, 4},     {VT_UINT, 4}, {VT_R8, 8},  {VT_CY, 8},      {VT_DATE, 8},     {VT_BSTR, 8},  {VT_DISPATCH, 8},
    {VT_UNKNOWN, 8}, {VT_I8, 8},   {VT_UI8, 8}, {VT_INT_PTR, 8}, {VT_UINT_PTR, 8}, {VT_I1, 1},    {VT_UI1, 1},
};

// The size of a scalar type's value, 0 for a type a typed write refuses.
size_t SizeOfType(VARTYPE type) {
  for (const TypeSize& row : kTypeSizes)
    if (row.Type == type) return row.Bytes;
  return 0;
}

// Frees an EXCEPINFO's strings and empties it for the next attempt.
void ResetExcepInfo(EXCEPINFO& info) {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  info = EXCEPINFO{};
}

// The interface GUID a type information describes.
bool GuidOfTypeInfo(ITypeInfo* info, GUID& guid) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return false;
  guid = attr->guid;
  info->ReleaseTypeAttr(attr);
  return true;
}

// Whether a coclass lists an interface of that GUID among those it implements.
bool CoclassImplements(ITypeInfo* coclass, const GUID& wanted) {
  TYPEATTR* attr = nullptr;
  if (FAILED(coclass->GetTypeAttr(&attr)) || !attr) return false;
  const WORD count = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  bool found = false;
  for (UINT i = 0; i < count && !found; ++i) {
    HREFTYPE ref = 0;
    ITypeInfo* implemented = nullptr;
    if (FAILED(coclass->GetRefTypeOfImplType(i, &ref)) || FAILED(coclass->GetRefTypeInfo(ref, &implemented))) continue;
    GUID guid;
    found = GuidOfTypeInfo(implemented, guid) && IsEqualGUID(guid, wanted);
    implemented->Release();
  }
  return found;
}

// Searches the type library of a dispatch interface for its coclass.
ITypeInfo* CoclassFromLibrary(IDispatch* dispatch) {
  ITypeInfo* info = nullptr;
  if (FAILED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info) return nullptr;
  GUID guid;
  ITypeLib* library = nullptr;
  UINT index = 0;
  const bool usable = GuidOfTypeInfo(info, guid) && SUCCEEDED(info->GetContainingTypeLib(&library, &index));
  info->Release();
  if (!usable || !library) return nullptr;
  ITypeInfo* coclass = nullptr;
  const UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count && !coclass; ++i) {
    TYPEKIND kind;
    if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    ITypeInfo* candidate = nullptr;
    if (FAILED(library->GetTypeInfo(i, &candidate)) || !candidate) continue;
    if (CoclassImplements(candidate, guid))
      coclass = candidate;
    else
      candidate->Release();
  }
  library->Release();
  return coclass;
}

}  // namespace

ComObject::ComObject(VARTYPE type, int64_t value, uint16_t flags) : Value(value), VarType(type), Flags(flags) {}

ComObject::~ComObject() {
  if (Sink) {
    // The server may still hold the sink; it must find no owner there.
    Sink->Disconnect();
    Sink->Owner = nullptr;
    Sink->Release();
  }
  if (HasInterface()) {
    Unknown->Release();
  } else if ((VarType & VT_ARRAY) && (Flags & kComOwnsValue) && Array) {
    SafeArrayDestroy(Array);
  }
}

const wchar_t* ComObject::Type() {
  if (VarType & VT_ARRAY) return L"ComObjArray";
  if (VarType & VT_BYREF) return L"ComObjRef";
  if (HasInterface()) {
    if (ITypeInfo* coclass = CoclassTypeInfo(Unknown)) {
      BSTR name = nullptr;
      const bool named = SUCCEEDED(coclass->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name;
      coclass->Release();
      if (named) {
        wcsncpy(Com().TypeName, name, kComTypeNameChars - 1);
        Com().TypeName[kComTypeNameChars - 1] = L'\0';
        SysFreeString(name);
        return Com().TypeName;
      }
    }
  }
  return VarType == VT_DISPATCH ? L"ComObject" : L"ComObj";
}

ResultCode ComObject::Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) {
  const int keys = InvokeKindOf(flags) == IT_SET ? count - 1 : count;
  if (keys <= 0 && !(flags & (IF_FUNCOBJ | IF_NEWENUM))) {
    if (VarType & VT_BYREF) return InvokeRef(result, flags, params, count);
    SetComLastError(DISP_E_BADPARAMCOUNT);
    return ReportComError(DISP_E_BADPARAMCOUNT);
  }
  if (VarType & VT_ARRAY) return InvokeSafeArray(*this, result, flags, params, count);
  if (VarType != VT_DISPATCH || !Dispatch) {
    SetComLastError(DISP_E_BADVARTYPE);
    return ReportComError(-1);
  }
  // A server may call back into the script while it works; the wrapper
  // must outlive the call even if the script drops its last reference.
  AddRef();
  ResultCode answer = InvokeDispatch(result, flags, params, count);
  Release();
  return answer;
}

// Reads or writes the value a VT_BYREF wrapper points at.
ResultCode ComObject::InvokeRef(ExprToken& result, int flags, ExprToken** params, int count) {
  const VARTYPE type = static_cast<VARTYPE>(VarType & ~VT_BYREF);
  if (InvokeKindOf(flags) != IT_SET) return TypedRead(type, Ref, result);
  ExprToken& value = *params[count - 1];
  const HRESULT code = TypedWrite(type, Ref, value);
  SetComLastError(code);
  if (FAILED(code)) return ReportComError(code);
  CopyTokenToResult(value, result);
  return ResultCode::Ok;
}

// A late-bound get, put or call on the wrapped IDispatch.
ResultCode ComObject::InvokeDispatch(ExprToken& result, int flags, ExprToken** params, int count) {
  const int kind = InvokeKindOf(flags);
  const bool named = !(flags & (IF_FUNCOBJ | IF_NEWENUM)) && count > 0;
  wchar_t buffer[kFloatTextChars];
  std::wstring name = named ? ParamText(*params[0], buffer) : L"";
  if (flags & IF_NEWENUM) name = L"_NewEnum";

  DISPID id = DISPID_VALUE;
  HRESULT code = S_OK;
  if (flags & IF_NEWENUM) {
    id = DISPID_NEWENUM;
  } else if (named) {
    LPOLESTR names[] = {name.data()};
    code = Dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (code == DISP_E_UNKNOWNNAME && kind == IT_SET) {
      // Servers that take new members (script engines' objects) create an
      // expando property for an unknown name being assigned.
      IDispatchEx* expando = nullptr;
      if (SUCCEEDED(Dispatch->QueryInterface(kIID_IDispatchEx, reinterpret_cast<void**>(&expando))) && expando) {
        BSTR text = SysAllocString(name.c_str());
        code = expando->GetDispID(text, fdexNameEnsure, &id);
        SysFreeString(text);
        expando->Release();
      }
    } else if (code == DISP_E_UNKNOWNNAME && kind == IT_CALL && name.empty()) {
      id = DISPID_VALUE;
      code = S_OK;
    }
  }
  if (FAILED(code)) {
    SetComLastError(code);
    return ReportComError(code, name);
  }

  // An enumeration request's only parameter is the name For asked for.
  const int skipped = named || (flags & IF_NEWENUM) ? 1 : 0;
  ExprToken** args = params + skipped;
  const int argCount = count - skipped - (kind == IT_SET ? 1 : 0);
  const int total = argCount + (kind == IT_SET ? 1 : 0);
  std::vector<VARIANT> vars(static_cast<size_t>(total > 0 ? total : 0));
  // COM takes arguments last first; a put's value comes before them all.
  for (int i = 0; i < argCount; ++i) TokenToVariant(*args[i], vars[static_cast<size_t>(total - 1 - i)]);
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS dispParams = {vars.data(), nullptr, static_cast<UINT>(total), 0};
  if (kind == IT_SET) {
    TokenToVariant(*params[count - 1], vars[0]);
    dispParams.rgdispidNamedArgs = &putId;
    dispParams.cNamedArgs = 1;
  }

  VARIANT out;
  VariantInit(&out);
  EXCEPINFO info = {};
  auto call = [&](WORD how) {
    ResetExcepInfo(info);
    VariantClear(&out);
    return Dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, how, &dispParams, kind == IT_SET ? nullptr : &out, &info,
                            nullptr);
  };
  if (kind == IT_SET) {
    code = E_FAIL;
    if (vars[0].vt == VT_DISPATCH) code = call(DISPATCH_PROPERTYPUTREF);
    if (FAILED(code)) code = call(DISPATCH_PROPERTYPUT);
  } else if (kind == IT_CALL && argCount == 0) {
    code = call(DISPATCH_METHOD);
    if (code == DISP_E_MEMBERNOTFOUND) code = call(DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  } else {
    code = call(DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  }
  for (VARIANT& var : vars) VariantClear(&var);
  SetComLastError(code);
  if (FAILED(code)) {
    VariantClear(&out);
    return ReportComError(code, name, &info);
  }
  ResetExcepInfo(info);
  if (kind == IT_SET)
    CopyTokenToResult(*params[count - 1], result);
  else
    VariantToToken(out, result, false);
  return ResultCode::Ok;
}

ComObject* ComObjectOf(ExprToken& token) { return dynamic_cast<ComObject*>(ObjectOf(token)); }

ITypeInfo* CoclassTypeInfo(IUnknown* object) {
  ITypeInfo* info = nullptr;
  IProvideClassInfo* provider = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&provider))) && provider) {
    const HRESULT code = provider->GetClassInfo(&info);
    provider->Release();
    if (SUCCEEDED(code) && info) return info;
  }
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) || !dispatch) return nullptr;
  info = CoclassFromLibrary(dispatch);
  dispatch->Release();
  return info;
}

ResultCode TypedRead(VARTYPE type, void* where, ExprToken& result) {
  VARIANT reference;
  reference.vt = static_cast<VARTYPE>(type | VT_BYREF);
  reference.byref = where;
  VARIANT copy;
  VariantInit(&copy);
  const HRESULT code = VariantCopyInd(&copy, &reference);
  SetComLastError(code);
  if (FAILED(code)) return ReportComError(code);
  VariantToToken(copy, result, false);
  return ResultCode::Ok;
}

HRESULT TypedWrite(VARTYPE type, void* where, ExprToken& value) {
  if (type == VT_VARIANT) {
    VARIANT* target = static_cast<VARIANT*>(where);
    VariantClear(target);
    TokenToVariant(value, *target);
    return S_OK;
  }
  const size_t bytes = SizeOfType(type);
  if (!bytes) return DISP_E_BADVARTYPE;
  VARIANT converted;
  TokenToVariant(value, converted);
  if (converted.vt != type) {
    const HRESULT code = VariantChangeType(&converted, &converted, 0, type);
    if (FAILED(code)) {
      VariantClear(&converted);
      return code;
    }
  }
  if (type == VT_DISPATCH || type == VT_UNKNOWN) {
    if (IUnknown* old = *static_cast<IUnknown**>(where)) old->Release();
  } else if (type == VT_BSTR) {
    SysFreeString(*static_cast<BSTR*>(where));
  }
  // The target takes over what the converted value holds.
  std::memcpy(where, &converted.llVal, bytes);
  return S_OK;
}
