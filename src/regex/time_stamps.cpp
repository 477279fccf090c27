// Reading and writing YYYYMMDDHH24MISS stamps: fields in fixed positions,
// the day of the week computed by the Gregorian rule.
#include "regex/time_stamps.h"

#include <cstdio>
#include <cwctype>

namespace {

// Position and width of each field in a stamp.
struct StampField {
  size_t Offset;
  size_t Width;
  WORD SYSTEMTIME::*Field;
  WORD Default;
};
constexpr StampField kStampFields[] = {
    {0, 4, &SYSTEMTIME::wYear, 0}, {4, 2, &SYSTEMTIME::wMonth, 1},   {6, 2, &SYSTEMTIME::wDay, 1},
    {8, 2, &SYSTEMTIME::wHour, 0}, {10, 2, &SYSTEMTIME::wMinute, 0}, {12, 2, &SYSTEMTIME::wSecond, 0},
};

// Month offsets of the day-of-week rule.
constexpr int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};

// Sunday = 0; a month outside 1..12 gives 1.
WORD DayOfWeek(int year, int month, int day) {
  if (month < 1 || month > 12) return 1;
  if (month < 3) --year;
  int dow = (year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) % 7;
  return static_cast<WORD>(dow < 0 ? dow + 7 : dow);
}

// A field's characters as a decimal integer (up to its first non-digit).
WORD ReadField(std::wstring_view digits) {
  unsigned value = 0;
  for (wchar_t c : digits) {
    if (!iswdigit(c)) break;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  return static_cast<WORD>(value);
}

}  // namespace

// Fixed positions; the fields a short stamp lacks take their defaults.
bool ReadTimeStamp(std::wstring_view stamp, SYSTEMTIME& time, bool validate) {
  time = SYSTEMTIME{};
  if (stamp.size() > 14) stamp = stamp.substr(0, 14);
  for (const StampField& f : kStampFields)
    time.*f.Field = f.Offset < stamp.size() ? ReadField(stamp.substr(f.Offset, f.Width)) : f.Default;
  time.wDayOfWeek = DayOfWeek(time.wYear, time.wMonth, time.wDay);
  if (!validate) return true;
  FILETIME fileTime;
  return SystemTimeToFileTime(&time, &fileTime) != 0;
}

std::wstring WriteTimeStamp(const SYSTEMTIME& time) {
  wchar_t text[32];
  _snwprintf(text, 31, L"%04d%02d%02d%02d%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
             time.wSecond);
  text[31] = 0;
  return text;
}
