// Built-in variables: read-only variables whose value is computed each
// time it is read, through a getter. The table is sorted by name so a
// lookup is a binary search.
#pragma once
#include <cstdint>
#include <string_view>

#include "values/variable.h"

// Finds a built-in name: sets the variable type and, for computed values,
// the getter. Names starting "A_" are looked up without the prefix.
bool LookupBuiltIn(std::wstring_view name, uint8_t& type, BuiltInGetter& getter);

// Makes variable creation recognise built-in names. Called once at start-up
// (and by tests) before any variable is created.
void InstallBuiltInVariables();
