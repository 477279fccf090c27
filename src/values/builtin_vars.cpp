// The built-in variable table (both groups, sorted), its lookup, the
// registration of the variables other layers provide, and the writers the
// getters share.
//
// Invariant: each group stays sorted by CompareNamesNoCase, which the binary
// search relies on (a unit test checks it). A variable whose value belongs
// to a part of the program that does not exist yet has no entry here: its
// owner adds it, so that it never reads as a made-up value.
#include "values/builtin_vars.h"

#include <cstring>

#include "values/builtin_vars_getters.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

using namespace builtin;

// Shorthand for a computed entry.
constexpr BuiltInVarEntry Computed(const wchar_t* name, BuiltInGetter getter) { return {name, getter, VAR_BUILTIN}; }
// Shorthand for a computed entry whose text can also be read in place.
constexpr BuiltInVarEntry Viewed(const wchar_t* name, BuiltInGetter getter, BuiltInView view) {
  return {name, getter, VAR_BUILTIN, view};
}

// The "A_" names without their prefix, sorted case-insensitively.
const BuiltInVarEntry kPrefixedGroup[] = {
    Computed(L"AppData", Folder),
    Computed(L"AppDataCommon", Folder),
    Computed(L"AutoTrim", AutoTrim),
    Computed(L"BatchLines", BatchLines),
    Computed(L"CaretX", Caret),
    Computed(L"CaretY", Caret),
    Computed(L"ComputerName", ComputerName),
    Computed(L"ComSpec", ComSpec),
    Computed(L"CoordModeCaret", CoordMode),
    Computed(L"CoordModeMenu", CoordMode),
    Computed(L"CoordModeMouse", CoordMode),
    Computed(L"CoordModePixel", CoordMode),
    Computed(L"CoordModeToolTip", CoordMode),
    Computed(L"Cursor", Cursor),
    Computed(L"DD", DatePart),
    Computed(L"DDD", DateName),
    Computed(L"DDDD", DateName),
    Computed(L"Desktop", Folder),
    Computed(L"DesktopCommon", Folder),
    Computed(L"FileEncoding", FileEncoding),
    Computed(L"FormatFloat", FormatFloat),
    Computed(L"FormatInteger", FormatInteger),
    Computed(L"Hour", DatePart),
    Computed(L"Index", Index),
    Computed(L"IPAddress1", IPAddress),
    Computed(L"IPAddress2", IPAddress),
    Computed(L"IPAddress3", IPAddress),
    Computed(L"IPAddress4", IPAddress),
    Computed(L"Is64bitOS", One),
    Computed(L"IsAdmin", IsAdmin),
    Computed(L"IsCompiled", IsCompiled),
    Computed(L"IsCritical", IsCritical),
    Computed(L"IsUnicode", One),
    Computed(L"Language", Language),
    Computed(L"LastError", LastError),
    Computed(L"LineFile", LineFile),
    Computed(L"LineNumber", LineNumber),
    Computed(L"ListLines", ListLines),
    Viewed(L"LoopField", LoopField, ViewLoopField),
    Computed(L"MDay", DatePart),
    Computed(L"Min", DatePart),
    Computed(L"MM", DatePart),
    Computed(L"MMM", DateName),
    Computed(L"MMMM", DateName),
    Computed(L"Mon", DatePart),
    Computed(L"MSec", DatePart),
    Computed(L"MyDocuments", Folder),
    Computed(L"Now", Now),
    Computed(L"NowUTC", NowUTC),
    Computed(L"NumBatchLines", BatchLines),
    Computed(L"OSType", OSType),
    Computed(L"OSVersion", OSVersion),
    Computed(L"ProgramFiles", Folder),
    Computed(L"Programs", Folder),
    Computed(L"ProgramsCommon", Folder),
    Computed(L"PtrSize", PtrSize),
    Computed(L"QrvPath", QrvPath),
    Computed(L"QrvVersion", QrvVersion),
    Computed(L"ScreenDPI", ScreenDPI),
    Computed(L"ScreenHeight", ScreenSize),
    Computed(L"ScreenWidth", ScreenSize),
    Computed(L"ScriptDir", ScriptDir),
    Computed(L"ScriptFullPath", ScriptFullPath),
    Computed(L"ScriptName", ScriptName),
    Computed(L"Sec", DatePart),
    Computed(L"Space", Space),
    Computed(L"StartMenu", Folder),
    Computed(L"StartMenuCommon", Folder),
    Computed(L"Startup", Folder),
    Computed(L"StartupCommon", Folder),
    Computed(L"StringCaseSense", StringCaseSense),
    Computed(L"Tab", Tab),
    Computed(L"Temp", Temp),
    Computed(L"ThisLabel", ThisLabel),
    Computed(L"TickCount", TickCount),
    Computed(L"TimeIdle", TimeIdle),
    Computed(L"UserName", UserName),
    Computed(L"WDay", DatePart),
    Computed(L"WinDir", WinDir),
    Computed(L"WorkingDir", WorkingDir),
    Computed(L"YDay", DatePart),
    Computed(L"Year", DatePart),
    Computed(L"YWeek", DatePart),
    Computed(L"YYYY", DatePart),
};

// The names without the prefix, sorted the same way.
const BuiltInVarEntry kOtherGroup[] = {
    {L"Clipboard", nullptr, VAR_CLIPBOARD}, {L"ClipboardAll", nullptr, VAR_CLIPBOARDALL},
    Computed(L"ComSpec", ComSpec),          Computed(L"False", Zero),
    Computed(L"ProgramFiles", Folder),      Computed(L"True", One),
};

// Binary search of one sorted group.
const BuiltInVarEntry* SearchGroup(std::span<const BuiltInVarEntry> group, std::wstring_view name) {
  size_t low = 0, high = group.size();
  while (low < high) {
    const size_t mid = (low + high) / 2;
    const int order = CompareNamesNoCase(group[mid].Name, name);
    if (order == 0) return &group[mid];
    if (order < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return nullptr;
}

// The row another layer registered under that full name, or null.
const BuiltInVarDef* SearchRegistered(std::wstring_view name) {
  for (const std::span<const BuiltInVarDef>& rows : Values().BuiltInVarTables)
    for (const BuiltInVarDef& def : rows)
      if (CompareNamesNoCase(def.Name, name) == 0) return &def;
  return nullptr;
}

}  // namespace

std::span<const BuiltInVarEntry> BuiltInPrefixedGroup() { return kPrefixedGroup; }
std::span<const BuiltInVarEntry> BuiltInOtherGroup() { return kOtherGroup; }

bool LookupBuiltIn(std::wstring_view name, uint8_t& type, BuiltInGetter& getter, BuiltInView& view) {
  const bool prefixed = name.size() > 2 && (name[0] == L'A' || name[0] == L'a') && name[1] == L'_';
  const BuiltInVarEntry* entry =
      prefixed ? SearchGroup(kPrefixedGroup, name.substr(2)) : SearchGroup(kOtherGroup, name);
  if (entry) {
    type = entry->Type;
    getter = entry->Getter;
    view = entry->View;
    return true;
  }
  if (const BuiltInVarDef* registered = SearchRegistered(name)) {
    type = VAR_BUILTIN;
    getter = registered->Getter;
    view = registered->View;
    return true;
  }
  return false;
}

void InstallBuiltInVariables() {
  Values().FindBuiltIn = LookupBuiltIn;
  ReadStartupFacts();
}

size_t PutBuiltInText(wchar_t* buffer, std::wstring_view text) {
  if (buffer) {
    std::memcpy(buffer, text.data(), text.size() * sizeof(wchar_t));
    buffer[text.size()] = L'\0';
  }
  return text.size();
}

size_t PutInteger(wchar_t* buffer, int64_t value) {
  if (!buffer) return kNumberBound;
  return IntegerToText(value, buffer, static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar));
}

size_t PutDecimal(wchar_t* buffer, int64_t value) {
  if (!buffer) return kNumberBound;
  return IntegerToText(value, buffer, L'D');
}

void RegisterBuiltInVariables(std::span<const BuiltInVarDef> rows) { Values().BuiltInVarTables.push_back(rows); }
