// Getters of the script's identity and paths, the running thread's
// settings and the loop being run. Each reads the record that owns the fact
// at the moment of the read; none keeps a copy.
#include <windows.h>

#include <string>

#include "base/script_context.h"
#include "base/script_line.h"
#include "base/version.h"
#include "values/builtin_vars.h"
#include "values/builtin_vars_getters.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// The registry key and value that name the installation folder.
constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Quorivance";
constexpr wchar_t kInstallValue[] = L"InstallDir";
constexpr wchar_t kInstalledExeName[] = L"\\Quorivance.exe";
// Longest installation folder read from the registry, in characters.
constexpr DWORD kInstallDirChars = 259;

// Bit positions of each coordinate-mode target in CoordModes.
struct CoordTarget {
  const wchar_t* Name;  // after "A_CoordMode"
  int Shift;
};
const CoordTarget kCoordTargets[] = {
    {L"Pixel", 0}, {L"Mouse", 2}, {L"ToolTip", 4}, {L"Caret", 6}, {L"Menu", 8},
};
const wchar_t* const kCoordModeWords[] = {L"Window", L"Client", L"Screen", L"Screen"};

// "On" or "Off".
size_t PutOnOff(wchar_t* buffer, bool on) { return PutBuiltInText(buffer, on ? L"On" : L"Off"); }

// The thread running now.
const ThreadSettings& Thread() { return *Values().CurrentThread; }

// The installation folder from one registry view; empty when absent.
std::wstring ReadInstallDir(REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return {};
  wchar_t dir[kInstallDirChars + 1] = {};
  DWORD bytes = kInstallDirChars * sizeof(wchar_t);
  DWORD type = 0;
  const LONG status = RegQueryValueExW(key, kInstallValue, nullptr, &type, reinterpret_cast<BYTE*>(dir), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  std::wstring text(dir, bytes / sizeof(wchar_t));
  // A stored value may carry its terminator (or several) in its size.
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace

namespace builtin {

size_t ScriptName(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Script().ScriptFileName); }
size_t ScriptDir(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Script().ScriptDirectory); }
size_t ScriptFullPath(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Script().ScriptPath); }

// The line being run, or while loading the line being read.
size_t LineNumber(wchar_t* buffer, const wchar_t*) {
  const ScriptLine* line = Script().CurrentLine;
  return PutInteger(buffer, line ? line->SourceLine : Script().CurrentLineNumber);
}

// The file that holds that line.
size_t LineFile(wchar_t* buffer, const wchar_t*) {
  const ScriptContext& script = Script();
  const size_t index =
      script.CurrentLine ? script.CurrentLine->SourceIndex : static_cast<size_t>(script.CurrentFileIndex);
  if (index >= script.SourceFiles.size()) return PutBuiltInText(buffer, L"");
  return PutBuiltInText(buffer, script.SourceFiles[index]);
}

size_t ThisLabel(wchar_t* buffer, const wchar_t*) {
  const wchar_t* label = Thread().CurrentLabel;
  return PutBuiltInText(buffer, label ? label : L"");
}

size_t QrvVersion(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, PRODUCT_VERSION); }

// The installed interpreter's path, from the registry's installation folder.
size_t QrvPath(wchar_t* buffer, const wchar_t*) {
  if (!buffer) return kInstallPathBound;
  std::wstring dir = ReadInstallDir(0);
  if (dir.empty()) dir = ReadInstallDir(KEY_WOW64_32KEY);
  if (dir.empty()) return PutBuiltInText(buffer, L"");
  std::wstring path = dir + kInstalledExeName;
  if (path.size() > kInstallPathBound - 1) path.resize(kInstallPathBound - 1);
  return PutBuiltInText(buffer, path);
}

// Only the script embedded in the runtime is a compiled script.
size_t IsCompiled(wchar_t* buffer, const wchar_t*) {
  return PutBuiltInText(buffer, Script().Origin == ScriptOrigin::Resource ? L"1" : L"");
}

// "Nms" with a time limit, else the line count.
size_t BatchLines(wchar_t* buffer, const wchar_t*) {
  const ThreadSettings& thread = Thread();
  if (thread.BatchTimeLimit < 0) return PutInteger(buffer, thread.BatchLineLimit);
  if (!buffer) return kNumberBound + 2;
  const size_t length = IntegerToText(thread.BatchTimeLimit, buffer, L'D');
  return length + PutBuiltInText(buffer + length, L"ms");
}

size_t ListLines(wchar_t* buffer, const wchar_t*) { return PutBuiltInText(buffer, Thread().LogLines ? L"1" : L"0"); }
size_t AutoTrim(wchar_t* buffer, const wchar_t*) { return PutOnOff(buffer, Thread().TrimArgs); }

size_t StringCaseSense(wchar_t* buffer, const wchar_t*) {
  static const wchar_t* const kWords[] = {L"Off", L"On", L"Locale"};
  return PutBuiltInText(buffer, kWords[Thread().CaseSensitivity % 3]);
}

size_t FormatInteger(wchar_t* buffer, const wchar_t*) {
  const wchar_t c = static_cast<wchar_t>(Thread().IntegerFormatChar);
  return PutBuiltInText(buffer, std::wstring_view(&c, 1));
}

// The stored format is "%" + text + "f" (or the text's own letter); the
// script sees it without the "%" and without a final "f".
size_t FormatFloat(wchar_t* buffer, const wchar_t*) {
  std::wstring_view format(Thread().FloatFormatText);
  if (!format.empty() && format.front() == L'%') format.remove_prefix(1);
  if (!format.empty() && format.back() == L'f') format.remove_suffix(1);
  return PutBuiltInText(buffer, format);
}

size_t FileEncoding(wchar_t* buffer, const wchar_t*) {
  const uint32_t page = Thread().FileCodePage;
  const bool noBom = (page & 0x80000000u) != 0;
  const uint32_t codePage = page & 0x7FFFFFFFu;
  if (page == 0) return PutBuiltInText(buffer, L"");
  if (codePage == CP_UTF8) return PutBuiltInText(buffer, noBom ? L"UTF-8-RAW" : L"UTF-8");
  if (codePage == 1200) return PutBuiltInText(buffer, noBom ? L"UTF-16-RAW" : L"UTF-16");
  return PutBuiltInText(buffer, L"CP" + std::to_wstring(page));
}

// The message-check interval of a critical thread, else 0.
size_t IsCritical(wchar_t* buffer, const wchar_t*) {
  const ThreadSettings& thread = Thread();
  if (!thread.IsCriticalThread) return PutBuiltInText(buffer, L"0");
  return PutInteger(buffer, thread.MessageCheckInterval);
}

// A system error code is a signed 32-bit number to scripts.
size_t LastError(wchar_t* buffer, const wchar_t*) {
  return PutDecimal(buffer, static_cast<int32_t>(Thread().LastErrorCode));
}

// A_CoordModePixel and its relatives: the target's 2-bit mode as a word.
size_t CoordMode(wchar_t* buffer, const wchar_t* name) {
  const std::wstring_view target = std::wstring_view(name).substr(sizeof("A_CoordMode") - 1);
  for (const CoordTarget& entry : kCoordTargets)
    if (EqualsNoCase(entry.Name, target))
      return PutBuiltInText(buffer, kCoordModeWords[(Thread().CoordModes >> entry.Shift) & 3]);
  return PutBuiltInText(buffer, L"");
}

size_t Index(wchar_t* buffer, const wchar_t*) { return PutInteger(buffer, Thread().LoopIndex); }

size_t LoopField(wchar_t* buffer, const wchar_t*) {
  const wchar_t* field = Thread().LoopField;
  return PutBuiltInText(buffer, field ? field : L"");
}

// The parse loop keeps its field until the next iteration.
const wchar_t* ViewLoopField() {
  const wchar_t* field = Thread().LoopField;
  return field ? field : L"";
}

}  // namespace builtin
