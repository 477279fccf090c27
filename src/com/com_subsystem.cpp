// Registers the COM subsystem: initialises COM for the script thread,
// installs the IDispatch face of script objects, lists the ComObj functions.
#include "com/com_subsystem.h"

#include <objbase.h>

#include "com/com_functions.h"
#include "com/com_state.h"
#include "com/script_dispatch.h"

namespace state_detail {
ComState com;
}  // namespace state_detail

namespace {

void StartCom() {
  // Start-up has usually initialised OLE already; this adds one count that
  // Exit takes back, so COM is ready however the interpreter was started.
  const HRESULT code = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Com().Initialized = SUCCEEDED(code);
  InstallScriptDispatch();
}

void ExitCom() {
  if (Com().Initialized) CoUninitialize();
  Com().Initialized = false;
}

void ResetCom() {
  Com().ShowErrors = true;
  InstallScriptDispatch();
}

}  // namespace

const Subsystem& ComSubsystem() {
  static const BuiltInFamily kFunctions = ComFunctions();
  static const Subsystem kCom{.Name = L"com",
                              .Functions = kFunctions.Defs,
                              .FunctionCount = kFunctions.Count,
                              .Startup = StartCom,
                              .Exit = ExitCom,
                              .Reset = ResetCom};
  return kCom;
}
