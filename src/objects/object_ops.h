// Member access for script objects: reading a field (x.name, x["name"],
// through the base chain), setting one (x.name := v), calling a method
// (x.name(...)), and calling an object as a function (%fn%(...)). Compound
// assignments to members and "new" arrive with the full object model; until
// then those operations fail with a clear error.
#pragma once

// Makes the expression evaluator use these operations.
void InstallObjectOperations();
