// Built-in variables: read-only variables whose value is computed each
// time it is read, through a getter. The table is sorted by name so a
// lookup is a binary search.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "values/variable.h"

// Finds a built-in name: sets the variable type and, for computed values,
// the getter. Names starting "A_" are looked up without the prefix.
bool LookupBuiltIn(std::wstring_view name, uint8_t& type, BuiltInGetter& getter);

// A built-in variable another layer provides: its full name ("A_ThisFunc")
// and the getter that computes its value.
struct BuiltInVarDef {
  const wchar_t* Name;
  BuiltInGetter Getter;
};

// Writes a getter's text value by the getter protocol: with a buffer, the
// text and its terminator; always its length.
size_t PutBuiltInText(wchar_t* buffer, std::wstring_view text);

// Adds a layer's built-in variables; the rows must outlive the program.
void RegisterBuiltInVariables(std::span<const BuiltInVarDef> rows);

// Makes variable creation recognise built-in names. Called once at start-up
// (and by tests) before any variable is created.
void InstallBuiltInVariables();
