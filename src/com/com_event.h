// ComEvent: the event sink ComObjConnect attaches to a COM object. The
// server calls its IDispatch::Invoke when an event fires; the sink passes
// the event on to a handler object's method of the event's name, or to the
// script function named prefix + event name, with the event's arguments
// followed by the object that raised it.
//
// Invariants: the owner wrapper is not referenced (it owns the sink and
// clears `Owner` when it dies); the sink holds one reference to the event
// interface's type information and to the handler object; a non-zero
// cookie means the sink is advised on the owner's connection point.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "base/result_code.h"
#include "values/object.h"

class ComObject;

class ComEvent : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  // Takes over one reference to `eventInfo`.
  ComEvent(ComObject* owner, ITypeInfo* eventInfo, const IID& eventIid);
  ~ComEvent() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;
  // The script face: a sink has no members of its own.
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;
  const wchar_t* Type() override { return L"ComEvent"; }

  // Advises the sink on the owner's connection point (nothing when it is
  // already connected).
  HRESULT Connect();
  // Unadvises the sink and forgets its handler and prefix.
  void Disconnect();
  // Takes a new handler: an object (referenced) or a function-name prefix.
  void SetHandler(IObject* handler, std::wstring prefix);

  ComObject* Owner;

 private:
  // Passes an event with its new argument list to the handler.
  HRESULT Deliver(const wchar_t* eventName, LCID lcid, WORD flags, DISPPARAMS& args, VARIANT* result,
                  EXCEPINFO* exception, UINT* argError);

  ITypeInfo* eventInfo_;
  IID eventIid_;
  DWORD cookie_ = 0;
  IObject* handler_ = nullptr;
  std::wstring prefix_;
};

// The sink for an object's default source interface, found in its coclass
// type information; E_NOINTERFACE when it has none.
HRESULT CreateComEvent(ComObject& owner, ComEvent*& sink);
