// Member access and object literals for script objects: reading a field
// (x.name, x["name"]), setting one (x.name := v) and making an object from
// {key: value, ...}. Arrays, methods and classes arrive with the full
// object model; until then those operations stay unavailable.
#pragma once

// Makes the expression evaluator use these operations.
void InstallObjectOperations();
