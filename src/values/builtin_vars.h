// Built-in variables: read-only variables whose value is computed each time
// it is read, through a getter, plus the two clipboard variables.
//
// The table (BuiltInVarTable) has two groups, each sorted by case-insensitive
// ordinal comparison so that a lookup is one binary search: the names that
// begin with "A_" (stored without the prefix) and the few others. A name
// that starts with "A_" is looked for only in the first group. Layers above
// the values layer add their own variables (full names) at start-up; those
// are looked for after the table.
//
// Getter protocol: without a buffer a getter answers an upper bound of the
// length it will write; with a buffer it writes the value and a terminator
// and answers the value's length. Values that may change between the two
// calls answer a fixed bound when sizing, never a measurement.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "values/variable.h"

// Finds a built-in name: sets the variable type (VAR_BUILTIN, VAR_CLIPBOARD
// or VAR_CLIPBOARDALL) and, for VAR_BUILTIN, the getter.
bool LookupBuiltIn(std::wstring_view name, uint8_t& type, BuiltInGetter& getter, BuiltInView& view);

// A built-in variable another layer provides: its full name ("A_ThisFunc")
// and the getter that computes its value.
struct BuiltInVarDef {
  const wchar_t* Name;
  BuiltInGetter Getter;
  BuiltInView View = nullptr;  // for text that lies in memory of its own
};

// One entry of the table: the name (without "A_" in the first group) and
// either a getter or, for the clipboard variables, a variable type.
struct BuiltInVarEntry {
  const wchar_t* Name;
  BuiltInGetter Getter;
  uint8_t Type;                // VAR_BUILTIN, or VAR_CLIPBOARD / VAR_CLIPBOARDALL (no getter)
  BuiltInView View = nullptr;  // for text that lies in memory of its own
};

// The two sorted groups of the table, for lookups and for tests.
std::span<const BuiltInVarEntry> BuiltInPrefixedGroup();
std::span<const BuiltInVarEntry> BuiltInOtherGroup();

// Writes a getter's text value by the getter protocol: with a buffer, the
// text and its terminator; always its length.
size_t PutBuiltInText(wchar_t* buffer, std::wstring_view text);

// Adds a layer's built-in variables; the rows must outlive the program.
void RegisterBuiltInVariables(std::span<const BuiltInVarDef> rows);

// Makes variable creation recognise built-in names and reads the facts that
// are fixed for the life of the process. Called once at start-up (and by
// tests) before any variable is created.
void InstallBuiltInVariables();

// Facts and short-lived snapshots the getters keep between reads (held in
// Values().BuiltIns, written only by the getters and by start-up).
struct BuiltInVarCache {
  // The local time the date parts share, and the tick it was taken at.
  SYSTEMTIME DateSnapshot = {};
  DWORD DateSnapshotTick = 0;
  bool HasDateSnapshot = false;
  // Decided at start-up: the operating system's version text and the
  // screen's horizontal pixels per logical inch.
  wchar_t OSVersion[40] = {};
  int ScreenDPI = 0;
  // The caret position of the last reading, per foreground window.
  HWND CaretWindow = nullptr;
  DWORD CaretTick = 0;
  bool CaretKnown = false;  // false: "no caret" was the result
  POINT Caret = {};
  // The system cursors, loaded on the first A_Cursor read.
  HCURSOR Cursors[15] = {};
  bool CursorsLoaded = false;
};
