// ComObject: the script's view of a COM interface pointer or of a typed
// VARIANT value (an array, a reference, a scalar with its own VARTYPE).
// Member access on a VT_DISPATCH wrapper becomes a late-bound IDispatch
// call; on a VT_ARRAY wrapper it reads and writes elements; on a VT_BYREF
// wrapper empty brackets read and write the referenced value.
//
// Invariants: a VT_DISPATCH/VT_UNKNOWN wrapper holds one reference to its
// interface (null allowed) and, once connected, its event sink; an owned VT_ARRAY (flag bit 0) is destroyed with
// the wrapper; other values own nothing.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string_view>

#include "base/result_code.h"
#include "values/object.h"

class ComEvent;
// Flag bit 0: the wrapper owns its value.
inline constexpr uint16_t kComOwnsValue = 1;

class ComObject : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  // Wraps a value as it is: an interface reference or an owned array is
  // taken over, not added.
  ComObject(VARTYPE type, int64_t value, uint16_t flags);
  ~ComObject() override;

  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;
  const wchar_t* Type() override;

  // Whether the wrapper is an interface pointer that is not null.
  bool HasInterface() const { return (VarType == VT_DISPATCH || VarType == VT_UNKNOWN) && Unknown; }

  union {
    int64_t Value;
    IUnknown* Unknown;
    IDispatch* Dispatch;
    SAFEARRAY* Array;
    void* Ref;
  };
  // The sink ComObjConnect made for this object, or null; the wrapper
  // holds its one reference.
  ComEvent* Sink = nullptr;
  VARTYPE VarType;
  uint16_t Flags;

 private:
  ResultCode InvokeDispatch(ExprToken& result, int flags, ExprToken** params, int count);
  ResultCode InvokeRef(ExprToken& result, int flags, ExprToken** params, int count);
};

// The wrapper a token stands for (itself or its variable's), or null.
ComObject* ComObjectOf(ExprToken& token);

// The coclass type information of an object (AddRef'd), or null.
ITypeInfo* CoclassTypeInfo(IUnknown* object);

// Reads the value a VARIANT pointer of that type points at into the result.
ResultCode TypedRead(VARTYPE type, void* where, ExprToken& result);
// Writes a token into the place a pointer of that type points at;
// an HRESULT for the last error (S_OK on success).
HRESULT TypedWrite(VARTYPE type, void* where, ExprToken& value);
