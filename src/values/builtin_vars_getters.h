// The getters behind the built-in variable table, by family, and the
// writers they share. Only the table (builtin_vars.cpp) and the getter files
// include this. Every getter follows the protocol of builtin_vars.h.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

// Bounds answered when sizing values that may change before they are written.
inline constexpr size_t kNumberBound = 20;        // any 64-bit number in any integer format
inline constexpr size_t kDatePartBound = 6;       // one date part ("%d", "%02d", "%04d%02d")
inline constexpr size_t kTimeStampBound = 14;     // YYYYMMDDHH24MISS
inline constexpr size_t kScreenDPIBound = 21;     // A_ScreenDPI
inline constexpr size_t kIPAddressBound = 31;     // dotted address
inline constexpr size_t kCursorBound = 63;        // A_Cursor
inline constexpr size_t kInstallPathBound = 260;  // A_QrvPath

// Writes a number in the thread's integer format; without a buffer, the bound.
size_t PutInteger(wchar_t* buffer, int64_t value);
// Writes a number in decimal whatever the integer format.
size_t PutDecimal(wchar_t* buffer, int64_t value);

namespace builtin {

// Script identity, thread settings and loops (builtin_vars_script.cpp).
size_t ScriptName(wchar_t* buffer, const wchar_t* name);
size_t ScriptDir(wchar_t* buffer, const wchar_t* name);
size_t ScriptFullPath(wchar_t* buffer, const wchar_t* name);
size_t LineNumber(wchar_t* buffer, const wchar_t* name);
size_t LineFile(wchar_t* buffer, const wchar_t* name);
size_t ThisLabel(wchar_t* buffer, const wchar_t* name);
size_t QrvVersion(wchar_t* buffer, const wchar_t* name);
size_t QrvPath(wchar_t* buffer, const wchar_t* name);
size_t IsCompiled(wchar_t* buffer, const wchar_t* name);
size_t BatchLines(wchar_t* buffer, const wchar_t* name);
size_t ListLines(wchar_t* buffer, const wchar_t* name);
size_t AutoTrim(wchar_t* buffer, const wchar_t* name);
size_t StringCaseSense(wchar_t* buffer, const wchar_t* name);
size_t FormatInteger(wchar_t* buffer, const wchar_t* name);
size_t FormatFloat(wchar_t* buffer, const wchar_t* name);
size_t FileEncoding(wchar_t* buffer, const wchar_t* name);
size_t IsCritical(wchar_t* buffer, const wchar_t* name);
size_t LastError(wchar_t* buffer, const wchar_t* name);
size_t CoordMode(wchar_t* buffer, const wchar_t* name);
size_t Index(wchar_t* buffer, const wchar_t* name);
size_t LoopField(wchar_t* buffer, const wchar_t* name);
const wchar_t* ViewLoopField();

// Dates and times (builtin_vars_time.cpp).
// The ISO 8601 week-numbering year and week of a date (its wYear, wMonth,
// wDay and wDayOfWeek), as year * 100 + week.
int IsoYearWeek(const SYSTEMTIME& date);
size_t DatePart(wchar_t* buffer, const wchar_t* name);
size_t DateName(wchar_t* buffer, const wchar_t* name);
size_t Now(wchar_t* buffer, const wchar_t* name);
size_t NowUTC(wchar_t* buffer, const wchar_t* name);
size_t TickCount(wchar_t* buffer, const wchar_t* name);
size_t TimeIdle(wchar_t* buffer, const wchar_t* name);

// The system, the user and the screen (builtin_vars_system.cpp).
size_t OSType(wchar_t* buffer, const wchar_t* name);
size_t OSVersion(wchar_t* buffer, const wchar_t* name);
size_t One(wchar_t* buffer, const wchar_t* name);
size_t Zero(wchar_t* buffer, const wchar_t* name);
size_t PtrSize(wchar_t* buffer, const wchar_t* name);
size_t Language(wchar_t* buffer, const wchar_t* name);
size_t ComputerName(wchar_t* buffer, const wchar_t* name);
size_t UserName(wchar_t* buffer, const wchar_t* name);
size_t IsAdmin(wchar_t* buffer, const wchar_t* name);
size_t IPAddress(wchar_t* buffer, const wchar_t* name);
size_t ScreenSize(wchar_t* buffer, const wchar_t* name);
size_t ScreenDPI(wchar_t* buffer, const wchar_t* name);
size_t Cursor(wchar_t* buffer, const wchar_t* name);
size_t Caret(wchar_t* buffer, const wchar_t* name);
size_t WorkingDir(wchar_t* buffer, const wchar_t* name);
size_t WinDir(wchar_t* buffer, const wchar_t* name);
size_t Temp(wchar_t* buffer, const wchar_t* name);
size_t ComSpec(wchar_t* buffer, const wchar_t* name);
size_t Folder(wchar_t* buffer, const wchar_t* name);
size_t Space(wchar_t* buffer, const wchar_t* name);
size_t Tab(wchar_t* buffer, const wchar_t* name);

// Start-up facts (builtin_vars_system.cpp): the version text and the DPI.
void ReadStartupFacts();

}  // namespace builtin
