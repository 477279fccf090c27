// The IDispatch face of script objects: member names become DISPIDs from
// one process-wide table, and IDispatch::Invoke becomes a script Invoke with
// the arguments converted from VARIANTs; errors the script raises come back
// as DISP_E_EXCEPTION with an EXCEPINFO made from the thrown object.
#pragma once

// Installs the two dispatch hooks into the values layer.
void InstallScriptDispatch();
