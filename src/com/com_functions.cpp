// The built-in functions whose names begin with "ComObj": creating and
// getting objects, wrapping and unwrapping values, type information, flags,
// arrays, interface queries and the error switch. Failures set A_LastError
// and go through the COM error report; the function then yields "".
#include "com/com_functions.h"

#include <string>

#include "base/error_sink.h"
#include "base/script_context.h"
#include "com/com_event.h"
#include "com/com_messages.h"
#include "com/com_object.h"
#include "com/com_state.h"
#include "com/variant_convert.h"
#include "values/expr_operators.h"

namespace {

// Smallest value taken as an interface pointer given as a number.
constexpr int64_t kMinPointer = 0x10000;
// Most dimensions ComObjArray creates.
constexpr int kMaxArrayDimensions = 8;

// A CLSID from a "{...}" string or a ProgID.
HRESULT ClassIdOf(ExprToken& param, CLSID& clsid) {
  wchar_t buffer[kFloatTextChars];
  std::wstring text = ParamText(param, buffer);
  HRESULT code = CLSIDFromString(text.data(), &clsid);
  if (FAILED(code) && !text.empty() && text[0] != L'{') code = CLSIDFromProgID(text.c_str(), &clsid);
  return code;
}

// An interface or service id from its "{...}" string.
HRESULT GuidOf(ExprToken& param, GUID& guid) {
  wchar_t buffer[kFloatTextChars];
  std::wstring text = ParamText(param, buffer);
  return IIDFromString(text.data(), &guid);
}

// Sets the last error and reports a failure (Ok when reports are off).
ResultCode Failed(HRESULT code) {
  SetComLastError(code);
  return ReportComError(code);
}

// Puts a new VT_DISPATCH wrapper into the result, taking over `dispatch`.
ResultCode ResultDispatch(ExprToken& result, IDispatch* dispatch) {
  SetComLastError(S_OK);
  result.SetObject(new ComObject(VT_DISPATCH, reinterpret_cast<int64_t>(dispatch), 0));
  return ResultCode::Ok;
}

// ComObjCreate(CLSID or ProgID [, IID]).
ResultCode BifComObjCreate(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  CLSID clsid;
  HRESULT code = ClassIdOf(*params[0], clsid);
  if (FAILED(code)) return Failed(code);
  IID iid = IID_IDispatch;
  const bool raw = ParamGiven(params, count, 1);
  if (raw && FAILED(code = GuidOf(*params[1], iid))) return Failed(code);
  void* object = nullptr;
  code =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, iid, &object);
  if (FAILED(code) || !object) return Failed(FAILED(code) ? code : E_NOINTERFACE);
  if (!raw) return ResultDispatch(result, static_cast<IDispatch*>(object));
  SetComLastError(S_OK);
  result.SetInteger(reinterpret_cast<int64_t>(object));
  return ResultCode::Ok;
}

// ComObjGet(display name).
ResultCode BifComObjGet(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  wchar_t buffer[kFloatTextChars];
  IDispatch* dispatch = nullptr;
  const HRESULT code =
      CoGetObject(ParamText(*params[0], buffer), nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (FAILED(code) || !dispatch) return Failed(FAILED(code) ? code : E_NOINTERFACE);
  return ResultDispatch(result, dispatch);
}

// ComObjError([enable]): the previous switch; a number sets it.
ResultCode BifComObjError(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetInteger(Com().ShowErrors ? 1 : 0);
  if (ParamGiven(params, count, 0) && ParamNumericType(*params[0]) != PURE_NOT_NUMERIC)
    Com().ShowErrors = ParamFloat(*params[0]) != 0.0;
  return ResultCode::Ok;
}

// Text of a type information: "name" its name, "iid" its GUID.
void TypeInfoText(ITypeInfo* info, std::wstring_view what, ExprToken& result) {
  if (_wcsnicmp(what.data(), L"name", 4) == 0 && what.size() == 4) {
    BSTR name = nullptr;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name)
      SetResultText(result, {name, SysStringLen(name)});
    SysFreeString(name);
    return;
  }
  if (_wcsnicmp(what.data(), L"iid", 3) == 0 && what.size() == 3) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || !attr) return;
    wchar_t guid[40];
    const int length = StringFromGUID2(attr->guid, guid, 40);
    info->ReleaseTypeAttr(attr);
    if (length > 0) SetResultText(result, {guid, static_cast<size_t>(length - 1)});
  }
}

// ComObjType(object [, "name", "iid", "class" or "clsid"]).
ResultCode BifComObjType(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  ComObject* wrapper = ComObjectOf(*params[0]);
  if (!wrapper) return ResultCode::Ok;
  if (!ParamGiven(params, count, 1)) {
    result.SetInteger(wrapper->VarType);
    return ResultCode::Ok;
  }
  wchar_t buffer[kFloatTextChars];
  std::wstring what = ParamText(*params[1], buffer);
  ITypeInfo* info = nullptr;
  if (!what.empty() && (what[0] == L'C' || what[0] == L'c') && wrapper->HasInterface()) {
    info = CoclassTypeInfo(wrapper->Unknown);
    if (_wcsicmp(what.c_str(), L"class") == 0) what = L"name";
    if (_wcsicmp(what.c_str(), L"clsid") == 0) what = L"iid";
  } else if (wrapper->VarType == VT_DISPATCH && wrapper->Dispatch) {
    if (FAILED(wrapper->Dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info))) info = nullptr;
  }
  if (!info) return ResultCode::Ok;
  TypeInfoText(info, what, result);
  info->Release();
  return ResultCode::Ok;
}

// ComObjValue(object): the raw 64-bit value.
ResultCode BifComObjValue(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  if (ComObject* wrapper = ComObjectOf(*params[0])) result.SetInteger(wrapper->Value);
  return ResultCode::Ok;
}

// ComObjFlags(object [, new flags [, mask]]): the flags after the change.
ResultCode BifComObjFlags(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  ComObject* wrapper = ComObjectOf(*params[0]);
  if (!wrapper) return ResultCode::Ok;
  int64_t flags = wrapper->Flags;
  if (ParamGiven(params, count, 1)) {
    const int64_t change = ParamInteger(*params[1]);
    if (ParamGiven(params, count, 2)) {
      const int64_t mask = ParamInteger(*params[2]);
      flags = (change & mask) | (flags & ~mask);
    } else {
      flags = change < 0 ? flags & ~-change : flags | change;
    }
  }
  wrapper->Flags = static_cast<uint16_t>(flags & 0xFFFF);
  result.SetInteger(wrapper->Flags);
  return ResultCode::Ok;
}

// ComObjArray(VarType, Count1 [, Count2 ... Count8]).
ResultCode BifComObjArray(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  const VARTYPE type = static_cast<VARTYPE>(ParamInteger(*params[0]));
  SAFEARRAYBOUND bounds[kMaxArrayDimensions];
  const int dimensions = count - 1;
  for (int i = 0; i < dimensions; ++i) {
    const int64_t elements = ParamInteger(*params[i + 1]);
    if (elements < 0 || elements > UINT32_MAX) return ResultCode::Ok;
    bounds[i] = {static_cast<ULONG>(elements), 0};
  }
  SAFEARRAY* array = SafeArrayCreate(type, static_cast<UINT>(dimensions), bounds);
  if (!array) return ResultCode::Ok;
  result.SetObject(
      new ComObject(static_cast<VARTYPE>(VT_ARRAY | type), reinterpret_cast<int64_t>(array), kComOwnsValue));
  return ResultCode::Ok;
}

// The interface a parameter names: a wrapper's pointer or a number of at
// least kMinPointer; null otherwise.
IUnknown* InterfaceOf(ExprToken& param) {
  if (ComObject* wrapper = ComObjectOf(param)) return wrapper->HasInterface() ? wrapper->Unknown : nullptr;
  if (ParamNumericType(param) != PURE_INTEGER) return nullptr;
  const int64_t value = ParamInteger(param);
  return value >= kMinPointer ? reinterpret_cast<IUnknown*>(value) : nullptr;
}

// ComObjQuery(object or pointer, [SID,] IID): the interface as a number.
ResultCode BifComObjQuery(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetInteger(0);
  IUnknown* object = InterfaceOf(*params[0]);
  if (!object) {
    SetComLastError(E_INVALIDARG);
    return ReportComError(-1);
  }
  GUID iid;
  HRESULT code = GuidOf(*params[count - 1], iid);
  void* answer = nullptr;
  if (SUCCEEDED(code) && count == 2) {
    code = object->QueryInterface(iid, &answer);
  } else if (SUCCEEDED(code)) {
    GUID sid;
    IServiceProvider* provider = nullptr;
    code = GuidOf(*params[1], sid);
    if (SUCCEEDED(code)) code = object->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider));
    if (SUCCEEDED(code) && provider) {
      code = provider->QueryService(sid, iid, &answer);
      provider->Release();
    }
  }
  SetComLastError(code);
  result.SetInteger(SUCCEEDED(code) ? reinterpret_cast<int64_t>(answer) : 0);
  return ResultCode::Ok;
}

// ComObject(string): the running object registered for a class.
ResultCode ActiveObject(ExprToken& name, ExprToken& result) {
  CLSID clsid;
  HRESULT code = ClassIdOf(name, clsid);
  IUnknown* unknown = nullptr;
  if (SUCCEEDED(code)) code = GetActiveObject(clsid, nullptr, &unknown);
  IDispatch* dispatch = nullptr;
  if (SUCCEEDED(code) && unknown) {
    code = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    unknown->Release();
  }
  if (FAILED(code) || !dispatch) return Failed(FAILED(code) ? code : E_NOINTERFACE);
  return ResultDispatch(result, dispatch);
}

// ComObject(pointer): a wrapper on the IDispatch the pointer answers, else
// on the pointer itself as VT_UNKNOWN (never called as if it were an
// IDispatch).
ResultCode WrapPointer(int64_t value, ExprToken& result) {
  if (value < kMinPointer) {
    SetComLastError(E_INVALIDARG);
    return ReportComError(-1);
  }
  IUnknown* unknown = reinterpret_cast<IUnknown*>(value);
  IDispatch* dispatch = nullptr;
  if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) && dispatch)
    return ResultDispatch(result, dispatch);
  unknown->AddRef();
  result.SetObject(new ComObject(VT_UNKNOWN, value, 0));
  return ResultCode::Ok;
}

// ComObject, ComObjEnwrap, ComObjUnwrap, ComObjActive, ComObjMissing,
// ComObjParameter: what they do depends on the arguments alone.
ResultCode BifComObject(const ExprFunc& func, ExprToken& result, ExprToken** params, int count, bool expandLast) {
  if (count == 0) {
    result.SetObject(new ComObject(VT_ERROR, static_cast<uint32_t>(DISP_E_PARAMNOTFOUND), 0));
    return ResultCode::Ok;
  }
  if (ComObject* wrapper = ComObjectOf(*params[0])) {
    if (count > 1) return BifComObjType(func, result, params, count, expandLast);
    if (wrapper->VarType == VT_DISPATCH && wrapper->Dispatch) {
      wrapper->Dispatch->AddRef();
      result.SetInteger(wrapper->Value);
    }
    return ResultCode::Ok;
  }
  if (ParamNumericType(*params[0]) != PURE_INTEGER) return ActiveObject(*params[0], result);
  if (count == 1) return WrapPointer(ParamInteger(*params[0]), result);
  const VARTYPE type = static_cast<VARTYPE>(ParamInteger(*params[0]));
  const int64_t value = ParamInteger(*params[1]);
  const uint16_t flags = ParamGiven(params, count, 2) ? static_cast<uint16_t>(ParamInteger(*params[2])) : 0;
  if ((type == VT_DISPATCH || type == VT_UNKNOWN) && value && !(flags & kComOwnsValue)) {
    if (value < kMinPointer) {
      SetComLastError(E_INVALIDARG);
      return ReportComError(-1);
    }
    reinterpret_cast<IUnknown*>(value)->AddRef();
  }
  result.SetObject(new ComObject(type, value, flags));
  return ResultCode::Ok;
}

// ComObjConnect(object [, prefix or handler]): connects the object's events
// to the handler, or with one parameter disconnects them.
ResultCode BifComObjConnect(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  result.SetText(L"");
  ComObject* wrapper = ComObjectOf(*params[0]);
  if (!wrapper || !wrapper->HasInterface()) {
    SetComLastError(E_INVALIDARG);
    return ReportComError(-1);
  }
  if (!wrapper->Sink) {
    const HRESULT code = CreateComEvent(*wrapper, wrapper->Sink);
    if (FAILED(code)) return Failed(code);
  }
  ComEvent& sink = *wrapper->Sink;
  if (!ParamGiven(params, count, 1)) {
    sink.Disconnect();
    SetComLastError(S_OK);
    return ResultCode::Ok;
  }
  const HRESULT code = sink.Connect();
  if (FAILED(code)) return Failed(code);
  // A new handler replaces the old one of either kind: a prefix given after
  // a handler object must not leave the object receiving the events.
  if (IObject* handler = ObjectOf(*params[1])) {
    sink.SetHandler(handler, L"");
  } else {
    wchar_t buffer[kFloatTextChars];
    sink.SetHandler(nullptr, ParamText(*params[1], buffer));
  }
  SetComLastError(S_OK);
  return ResultCode::Ok;
}

const BuiltInFunctionDef kComFunctions[] = {
    {L"ComObjCreate", 1, 2, BifComObjCreate},   {L"ComObjGet", 1, 1, BifComObjGet},
    {L"ComObjConnect", 1, 2, BifComObjConnect}, {L"ComObjError", 0, 1, BifComObjError},
    {L"ComObjType", 1, 2, BifComObjType},       {L"ComObjValue", 1, 1, BifComObjValue},
    {L"ComObjFlags", 1, 3, BifComObjFlags},     {L"ComObjArray", 2, 9, BifComObjArray},
    {L"ComObjQuery", 2, 3, BifComObjQuery},     {L"ComObject", 0, 3, BifComObject},
    {L"ComObjEnwrap", 0, 3, BifComObject},      {L"ComObjUnwrap", 0, 3, BifComObject},
    {L"ComObjActive", 0, 3, BifComObject},      {L"ComObjMissing", 0, 3, BifComObject},
    {L"ComObjParameter", 0, 3, BifComObject},
};

}  // namespace

BuiltInFamily ComFunctions() { return {kComFunctions, std::size(kComFunctions)}; }
