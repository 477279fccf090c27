// The built-in variable table and its getters.
#include "values/builtin_vars.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "base/script_context.h"
#include "base/script_line.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// Upper bound a getter answers for a number whose value may change
// between the length query and the text query.
constexpr size_t kNumberBound = 20;

// Writes a number in the thread's integer format; without a buffer, the bound.
size_t PutInteger(wchar_t* buffer, int64_t value) {
  if (!buffer) return kNumberBound;
  return IntegerToText(value, buffer, static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar));
}

// Writes a number always in decimal.
size_t PutDecimal(wchar_t* buffer, int64_t value) {
  if (!buffer) return kNumberBound;
  return IntegerToText(value, buffer, L'D');
}

size_t GetIndex(wchar_t* buffer, const wchar_t*) { return PutInteger(buffer, Values().CurrentThread->LoopIndex); }

size_t GetLoopField(wchar_t* buffer, const wchar_t*) {
  const wchar_t* field = Values().CurrentThread->LoopField;
  return PutBuiltInText(buffer, field ? field : L"");
}

size_t GetSpace(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L" "); }
size_t GetTab(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"\t"); }
size_t GetScriptDir(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Script().ScriptDirectory); }
size_t GetScriptName(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Script().ScriptFileName); }
size_t GetScriptFullPath(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Script().ScriptPath); }
size_t GetLastError(wchar_t* buffer, const wchar_t*) {
  return PutDecimal(buffer, Values().CurrentThread->LastErrorCode);
}
size_t GetTrue(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"1"); }
size_t GetFalse(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"0"); }
size_t GetOne(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"1"); }
// Only the embedded script of the runtime is a compiled script.
size_t GetIsCompiled(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, Script().Origin == ScriptOrigin::Resource ? L"1" : L"");
}
size_t GetPtrSize(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, L"8"); }

size_t GetLineNumber(wchar_t* buffer, const wchar_t*) {
  return PutDecimal(buffer, Script().CurrentLine ? Script().CurrentLine->SourceLine : 0);
}

size_t GetWorkingDir(wchar_t* buffer, const wchar_t*) {
  wchar_t dir[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, dir);
  if (!buffer) return length < MAX_PATH ? length : MAX_PATH;
  return PutBuiltInText(buffer, std::wstring_view(dir, length < MAX_PATH ? length : 0));
}

size_t GetFileEncoding(wchar_t* buffer, const wchar_t*) {
  uint32_t page = Values().CurrentThread->FileCodePage;
  bool noBom = (page & 0x80000000u) != 0;
  uint32_t codePage = page & 0x7FFFFFFFu;
  if (codePage == 0) return PutBuiltInText(buffer, L"");
  if (codePage == CP_UTF8) return PutBuiltInText(buffer, noBom ? L"UTF-8-RAW" : L"UTF-8");
  if (codePage == 1200) return PutBuiltInText(buffer, noBom ? L"UTF-16-RAW" : L"UTF-16");
  return PutBuiltInText(buffer, L"CP" + std::to_wstring(codePage));
}

size_t GetStringCaseSense(wchar_t* buffer, const wchar_t*) {
  static const wchar_t* const kWords[] = {L"Off", L"On", L"Locale"};
  return PutBuiltInText(buffer, kWords[Values().CurrentThread->CaseSensitivity % 3]);
}

size_t GetAutoTrim(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, Values().CurrentThread->TrimArgs ? L"On" : L"Off");
}

size_t GetFormatFloat(wchar_t* buffer, const wchar_t*) {
  // The stored format is "%" + text + "f"; the script sees only the text.
  std::wstring_view format(Values().CurrentThread->FloatFormatText);
  if (format.size() >= 2) format = format.substr(1, format.size() - 2);
  return PutBuiltInText(buffer, format);
}

size_t GetFormatInteger(wchar_t* buffer, const wchar_t*) {
  wchar_t c = static_cast<wchar_t>(Values().CurrentThread->IntegerFormatChar);
  return PutBuiltInText(buffer, std::wstring_view(&c, 1));
}

using BuiltInEntry = BuiltInVarDef;

// The "A_" names without their prefix, sorted case-insensitively.
const BuiltInEntry kAEntries[] = {
    {L"AutoTrim", GetAutoTrim},
    {L"FileEncoding", GetFileEncoding},
    {L"FormatFloat", GetFormatFloat},
    {L"FormatInteger", GetFormatInteger},
    {L"Index", GetIndex},
    {L"IsCompiled", GetIsCompiled},
    {L"IsUnicode", GetOne},
    {L"LastError", GetLastError},
    {L"LineNumber", GetLineNumber},
    {L"LoopField", GetLoopField},
    {L"PtrSize", GetPtrSize},
    {L"ScriptDir", GetScriptDir},
    {L"ScriptFullPath", GetScriptFullPath},
    {L"ScriptName", GetScriptName},
    {L"Space", GetSpace},
    {L"StringCaseSense", GetStringCaseSense},
    {L"Tab", GetTab},
    {L"WorkingDir", GetWorkingDir},
};

// The names without the prefix, sorted the same way.
const BuiltInEntry kOtherEntries[] = {
    {L"False", GetFalse},
    {L"True", GetTrue},
};

// Binary search of a sorted table.
template <size_t N>
const BuiltInEntry* Search(const BuiltInEntry (&table)[N], std::wstring_view name) {
  size_t low = 0, high = N;
  while (low < high) {
    size_t mid = (low + high) / 2;
    int order = CompareNamesNoCase(table[mid].Name, name);
    if (order == 0) return &table[mid];
    if (order < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return nullptr;
}

}  // namespace

bool LookupBuiltIn(std::wstring_view name, uint8_t& type, BuiltInGetter& getter) {
  const BuiltInEntry* entry = nullptr;
  if (name.size() > 2 && (name[0] == L'A' || name[0] == L'a') && name[1] == L'_')
    entry = Search(kAEntries, name.substr(2));
  else
    entry = Search(kOtherEntries, name);
  // Then the variables the other layers registered, by their full names.
  for (size_t t = 0; !entry && t < Values().BuiltInVarTables.size(); ++t)
    for (const BuiltInVarDef& def : Values().BuiltInVarTables[t])
      if (CompareNamesNoCase(def.Name, name) == 0) {
        entry = &def;
        break;
      }
  if (!entry) return false;
  type = VAR_BUILTIN;
  getter = entry->Getter;
  return true;
}

void InstallBuiltInVariables() { Values().FindBuiltIn = LookupBuiltIn; }

size_t PutBuiltInText(wchar_t* buffer, std::wstring_view text) {
  if (buffer) {
    std::memcpy(buffer, text.data(), text.size() * sizeof(wchar_t));
    buffer[text.size()] = L'\0';
  }
  return text.size();
}

void RegisterBuiltInVariables(std::span<const BuiltInVarDef> rows) { Values().BuiltInVarTables.push_back(rows); }
