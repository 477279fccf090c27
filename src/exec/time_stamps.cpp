// Reading, validating and writing time stamps (see time_stamps.h).
#include "exec/time_stamps.h"

#include <cstdio>

namespace {

// Where each field of a stamp starts and how many digits it has.
struct StampField {
  size_t Start;
  size_t Digits;
  WORD Default;
};
constexpr StampField kYearField{0, 4, 0};
constexpr StampField kMonthField{4, 2, 1};
constexpr StampField kDayField{6, 2, 1};
constexpr StampField kHourField{8, 2, 0};
constexpr StampField kMinuteField{10, 2, 0};
constexpr StampField kSecondField{12, 2, 0};

// The value of a field: its digits as a decimal number (a field cut short
// by the end of the stamp uses the digits it has), or its default.
WORD ReadField(std::wstring_view text, const StampField& field) {
  if (field.Start >= text.size()) return field.Default;
  unsigned value = 0;
  for (size_t i = field.Start; i < field.Start + field.Digits && i < text.size(); ++i)
    value = value * 10 + static_cast<unsigned>(text[i] - L'0');
  return static_cast<WORD>(value);
}

// Month offsets of the day-of-week rule.
constexpr int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
constexpr int kDaysPerWeek = 7;

// Days of each month in a common year.
constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kFebruary = 2;
// The first year a file time can hold.
constexpr int kFirstFileTimeYear = 1601;

// Whether a Gregorian year has 29 February.
bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Whether the record names a real date and time that a file time can hold.
// Checked here as well as by the system, whose conversion does not reject
// every impossible date on every platform (29 February of a common year).
bool IsRealDateTime(const SYSTEMTIME& time) {
  if (time.wYear < kFirstFileTimeYear || time.wMonth < 1 || time.wMonth > 12) return false;
  const int days = kDaysInMonth[time.wMonth - 1] + (time.wMonth == kFebruary && IsLeapYear(time.wYear) ? 1 : 0);
  if (time.wDay < 1 || time.wDay > days) return false;
  return time.wHour < 24 && time.wMinute < 60 && time.wSecond < 60;
}

}  // namespace

int DayOfWeek(int year, int month, int day) {
  if (month < 1 || month > 12) return 1;
  if (month < 3) --year;
  const int sum = year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day;
  return ((sum % kDaysPerWeek) + kDaysPerWeek) % kDaysPerWeek;
}

bool ReadTimeStamp(std::wstring_view text, SYSTEMTIME& out, bool validate) {
  if (text.empty() || text.size() > kTimeStampChars) return false;
  for (wchar_t c : text)
    if (c < L'0' || c > L'9') return false;
  out = SYSTEMTIME{};
  out.wYear = ReadField(text, kYearField);
  out.wMonth = ReadField(text, kMonthField);
  out.wDay = ReadField(text, kDayField);
  out.wHour = ReadField(text, kHourField);
  out.wMinute = ReadField(text, kMinuteField);
  out.wSecond = ReadField(text, kSecondField);
  out.wDayOfWeek = static_cast<WORD>(DayOfWeek(out.wYear, out.wMonth, out.wDay));
  if (!validate) return true;
  FILETIME check;
  return IsRealDateTime(out) && SystemTimeToFileTime(&out, &check) != 0;
}

std::wstring WriteTimeStamp(const SYSTEMTIME& time) {
  wchar_t text[kTimeStampChars + 16];
  std::swprintf(text, std::size(text), L"%04d%02d%02d%02d%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute, time.wSecond);
  return text;
}

std::wstring WriteTimeStamp(const FILETIME& time, bool toLocalTime) {
  FILETIME local = time;
  if (toLocalTime && !FileTimeToLocalFileTime(&time, &local)) return {};
  SYSTEMTIME calendar;
  if (!FileTimeToSystemTime(&local, &calendar)) return {};
  return WriteTimeStamp(calendar);
}

bool TimeStampToFileTime(std::wstring_view text, FILETIME& out) {
  SYSTEMTIME calendar;
  if (text.empty())
    GetLocalTime(&calendar);
  else if (!ReadTimeStamp(text, calendar, true))
    return false;
  return SystemTimeToFileTime(&calendar, &out) != 0;
}

int64_t FileTimeTicks(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

FILETIME FileTimeOfTicks(int64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
  time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return time;
}
