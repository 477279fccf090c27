// Time stamps: the fixed text form YYYYMMDDHH24MISS in which dates and times
// travel through the language, read into a calendar record (SYSTEMTIME),
// validated, and written back. Used by the time-unit arithmetic of EnvAdd
// and EnvSub, and shared with every command that reads or writes stamps.
//
// Invariants: a stamp is 1 to 14 decimal digits read in fixed positions
// (year 1-4, month 5-6, day 7-8, hour 9-10, minute 11-12, second 13-14);
// missing fields take month 1, day 1 and zero time; milliseconds are always
// 0. Anything else (other characters, more digits) is not a stamp.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// Characters of a complete stamp.
inline constexpr size_t kTimeStampChars = 14;

// Reads a stamp into a calendar record (with its day of week). With
// `validate`, the stamp is accepted only when the system can turn the
// record into a file time (a real date and time from 1601 on).
bool ReadTimeStamp(std::wstring_view text, SYSTEMTIME& out, bool validate);

// The day of the week (Sunday = 0) of a date in the Gregorian calendar;
// 1 for a month outside 1 to 12.
int DayOfWeek(int year, int month, int day);

// The stamp of a calendar record.
std::wstring WriteTimeStamp(const SYSTEMTIME& time);
// The stamp of a file time, converted to local time first when asked;
// "" when a conversion fails.
std::wstring WriteTimeStamp(const FILETIME& time, bool toLocalTime);

// A stamp as a file time; the empty text means the current local time.
// False for a text that is not a valid stamp.
bool TimeStampToFileTime(std::wstring_view text, FILETIME& out);

// File-time ticks (100 ns since 1601) and back.
int64_t FileTimeTicks(const FILETIME& time);
FILETIME FileTimeOfTicks(int64_t ticks);
inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;
