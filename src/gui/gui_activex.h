// ActiveX controls: an object hosted in the ATL control-host window, which
// provides the OLE in-place container (client site, in-place site and frame)
// around it; the object reaches the script as a COM object.
#pragma once
#include <windows.h>

#include "base/result_code.h"
#include "gui/gui_controls.h"

class Variable;

// Creates the host window for the ProgID, CLSID or URL in the request's
// text; on success stores the hosted object in `var` (when given) and sets
// `hwnd`. A host that cannot be made, or an object it could not obtain,
// leaves `hwnd` null (the caller reports the failure); a failure to store
// the object has been reported and returns Fail, the host destroyed.
ResultCode CreateActiveXControl(const CreateRequest& request, Variable* var, HWND& hwnd);
