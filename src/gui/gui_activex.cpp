// ActiveX controls (see gui_activex.h).
//
// The ATL library is loaded by name on first use and its host class
// registered once; without it no ActiveX control can be made. The hosted
// object is handed to the script through the ComObject function, so this
// layer needs nothing of the COM subsystem but its name.
#include "gui/gui_activex.h"

#include <windows.h>
#include <ole2.h>

#include "objects/func.h"
#include "objects/func_call.h"
#include "values/expr_token.h"
#include "values/variable.h"

namespace {

// The host window class the ATL library registers.
constexpr wchar_t kHostClass[] = L"AtlAxWin";
// ComObject(VarType, Value, Flags): the types and the flag that hands over
// the reference.
constexpr int64_t kVtDispatch = 9;
constexpr int64_t kVtUnknown = 13;
constexpr int64_t kOwnsReference = 1;

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// The ATL entry points, looked up once; null when the library is missing.
struct AtlHost {
  AtlAxGetControlFn GetControl = nullptr;
  bool Ready = false;
};

const AtlHost& Host() {
  static const AtlHost host = [] {
    AtlHost made;
    HMODULE atl = LoadLibraryW(L"atl.dll");
    if (!atl) return made;
    auto init = reinterpret_cast<AtlAxWinInitFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    made.GetControl =
        reinterpret_cast<AtlAxGetControlFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
    made.Ready = init && made.GetControl && init();
    return made;
  }();
  return host;
}

// Wraps the object as a script COM object (taking over the reference) and
// stores it in the variable.
ResultCode StoreObject(IUnknown* object, Variable& var) {
  IDispatch* dispatch = nullptr;
  const bool isDispatch = SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  IUnknown* held = isDispatch ? dispatch : object;
  if (isDispatch) object->Release();
  Func* wrap = LookupFunction(L"ComObject");
  if (!wrap) {
    held->Release();
    return var.Assign();
  }
  ExprToken args[3];
  args[0].SetInteger(isDispatch ? kVtDispatch : kVtUnknown);
  args[1].SetInteger(static_cast<int64_t>(reinterpret_cast<UINT_PTR>(held)));
  args[2].SetInteger(kOwnsReference);
  ExprToken* params[3] = {&args[0], &args[1], &args[2]};
  ExprToken result;
  if (CallFunctionChecked(*wrap, result, params, 3, false) != ResultCode::Ok) return ResultCode::Fail;
  if (result.Symbol != ExprSymbol::ObjectRef) {
    held->Release();
    return var.Assign();
  }
  return var.AssignObject(result.Object);
}

}  // namespace

ResultCode CreateActiveXControl(const CreateRequest& request, Variable* var, HWND& hwnd) {
  hwnd = nullptr;
  if (!Host().Ready) return ResultCode::Ok;
  CreateRequest host = request;
  host.ClassName = kHostClass;
  HWND made = CreateControlWindow(host);
  if (!made) return ResultCode::Ok;
  IUnknown* object = nullptr;
  if (FAILED(Host().GetControl(made, &object)) || !object) {
    DestroyWindow(made);
    return ResultCode::Ok;
  }
  if (!var) {
    object->Release();
  } else if (StoreObject(object, *var) != ResultCode::Ok) {
    DestroyWindow(made);
    return ResultCode::Fail;
  }
  hwnd = made;
  return ResultCode::Ok;
}
