// The event sink behind ComObjConnect: finding an object's event interface,
// advising and unadvising its connection point, and turning each event the
// server fires into a call of the script's handler.
#include "com/com_event.h"

#include <ocidl.h>

#include <vector>

#include "com/com_object.h"
#include "objects/func.h"

namespace {

// Most of the server's arguments passed on (the raising object comes last).
constexpr UINT kMaxEventArgs = 253;
// Longest handler function name made of prefix and event name.
constexpr size_t kMaxHandlerName = 255;
// The implementation flags that mark the default event interface.
constexpr int kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;

// The dispatch interface a coclass names as its default source, with its
// IID; null when there is none.
ITypeInfo* DefaultSourceOf(ITypeInfo* coclass, IID& iid) {
  TYPEATTR* attr = nullptr;
  if (FAILED(coclass->GetTypeAttr(&attr)) || !attr) return nullptr;
  const WORD count = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    INT implFlags = 0;
    HREFTYPE ref = 0;
    ITypeInfo* source = nullptr;
    if (FAILED(coclass->GetImplTypeFlags(i, &implFlags)) || implFlags != kDefaultSource) continue;
    if (FAILED(coclass->GetRefTypeOfImplType(i, &ref)) || FAILED(coclass->GetRefTypeInfo(ref, &source)) || !source)
      continue;
    TYPEATTR* sourceAttr = nullptr;
    bool dispatch = false;
    if (SUCCEEDED(source->GetTypeAttr(&sourceAttr)) && sourceAttr) {
      dispatch = sourceAttr->typekind == TKIND_DISPATCH;
      iid = sourceAttr->guid;
      source->ReleaseTypeAttr(sourceAttr);
    }
    if (dispatch) return source;
    source->Release();
  }
  return nullptr;
}

// The connection point of an object for an event interface (referenced).
HRESULT ConnectionPointOf(IUnknown* object, const IID& iid, IConnectionPoint*& point) {
  point = nullptr;
  IConnectionPointContainer* container = nullptr;
  HRESULT code = object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (FAILED(code) || !container) return FAILED(code) ? code : E_NOINTERFACE;
  code = container->FindConnectionPoint(iid, &point);
  container->Release();
  if (SUCCEEDED(code) && !point) code = E_NOINTERFACE;
  return code;
}

}  // namespace

HRESULT CreateComEvent(ComObject& owner, ComEvent*& sink) {
  sink = nullptr;
  ITypeInfo* coclass = CoclassTypeInfo(owner.Unknown);
  if (!coclass) return E_NOINTERFACE;
  IID iid;
  ITypeInfo* source = DefaultSourceOf(coclass, iid);
  coclass->Release();
  if (!source) return E_NOINTERFACE;
  sink = new ComEvent(&owner, source, iid);
  return S_OK;
}

ComEvent::ComEvent(ComObject* owner, ITypeInfo* eventInfo, const IID& eventIid)
    : Owner(owner), eventInfo_(eventInfo), eventIid_(eventIid) {}

ComEvent::~ComEvent() {
  if (handler_) handler_->Release();
  eventInfo_->Release();
}

STDMETHODIMP ComEvent::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, eventIid_)) {
    AddRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP ComEvent::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP ComEvent::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  eventInfo_->AddRef();
  *info = eventInfo_;
  return S_OK;
}

STDMETHODIMP ComEvent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return eventInfo_->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP ComEvent::Invoke(DISPID member, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argError) {
  if (!Owner) return DISP_E_MEMBERNOTFOUND;
  BSTR name = nullptr;
  UINT named = 0;
  if (FAILED(eventInfo_->GetNames(member, &name, 1, &named)) || named == 0 || !name) {
    SysFreeString(name);
    return DISP_E_MEMBERNOTFOUND;
  }
  // The server's arguments come last first; the raising object, passed
  // after them all, therefore goes to the front.
  const UINT given = params ? params->cArgs : 0;
  const UINT kept = given < kMaxEventArgs ? given : kMaxEventArgs;
  std::vector<VARIANT> list(kept + 1);
  list[0].vt = VT_DISPATCH;
  list[0].pdispVal = static_cast<IDispatch*>(Owner);
  for (UINT i = 0; i < kept; ++i) list[i + 1] = params->rgvarg[given - kept + i];
  DISPPARAMS args = {list.data(), nullptr, kept + 1, 0};
  // The handler may drop the last reference to the object; the sink and
  // its owner stay alive until the event has been delivered.
  Owner->AddRef();
  AddRef();
  const HRESULT code = Deliver(name, lcid, flags, args, result, exception, argError);
  SysFreeString(name);
  ComObject* owner = Owner;
  Release();
  if (owner) owner->Release();
  return code;
}

HRESULT ComEvent::Deliver(const wchar_t* eventName, LCID lcid, WORD flags, DISPPARAMS& args, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) {
  if (handler_) {
    IObject* handler = handler_;
    handler->AddRef();
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(eventName)};
    HRESULT code = handler->GetIDsOfNames(IID_NULL, names, 1, lcid, &id);
    if (SUCCEEDED(code)) code = handler->Invoke(id, IID_NULL, lcid, flags, &args, result, exception, argError);
    handler->Release();
    return code;
  }
  const std::wstring name = prefix_ + eventName;
  if (name.size() > kMaxHandlerName) return DISP_E_MEMBERNOTFOUND;
  Func* func = LookupFunction(name);
  if (!func) return DISP_E_MEMBERNOTFOUND;
  return func->Invoke(DISPID_VALUE, IID_NULL, lcid, flags, &args, result, exception, argError);
}

ResultCode ComEvent::Invoke(ExprToken&, ExprToken&, int, ExprToken**, int) { return ResultCode::NotHandled; }

HRESULT ComEvent::Connect() {
  if (cookie_ || !Owner) return S_OK;
  IConnectionPoint* point = nullptr;
  HRESULT code = ConnectionPointOf(Owner->Unknown, eventIid_, point);
  if (FAILED(code)) return code;
  code = point->Advise(static_cast<IDispatch*>(this), &cookie_);
  point->Release();
  if (FAILED(code)) cookie_ = 0;
  return code;
}

void ComEvent::Disconnect() {
  if (cookie_ && Owner && Owner->HasInterface()) {
    IConnectionPoint* point = nullptr;
    if (SUCCEEDED(ConnectionPointOf(Owner->Unknown, eventIid_, point))) {
      point->Unadvise(cookie_);
      point->Release();
    }
  }
  cookie_ = 0;
  SetHandler(nullptr, L"");
}

void ComEvent::SetHandler(IObject* handler, std::wstring prefix) {
  if (handler) handler->AddRef();
  if (handler_) handler_->Release();
  handler_ = handler;
  prefix_ = std::move(prefix);
}
