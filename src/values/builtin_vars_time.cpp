// Getters of the date and time: the date parts (which share one local-time
// snapshot for 50 ms so that several parts read together agree), the
// month and weekday names, the time stamps, the tick count and the idle time.
//
// Invariant: a sizing call (no buffer) never refreshes the snapshot, so the
// text call that follows writes a value of the size just answered.
#include <windows.h>

#include <cstdio>

#include "values/builtin_vars.h"
#include "values/builtin_vars_getters.h"
#include "values/values_state.h"

namespace {

// How long the date parts share one snapshot.
constexpr DWORD kDateSnapshotMs = 50;
// Room GetDateFormatW gets for a month or weekday name.
constexpr int kDateNameChars = 999;
// Days before each month in a common and in a leap year.
constexpr int kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

// Which date part a name asks for.
enum class DatePartKind { Year, Month, Day, Hour, Minute, Second, MSec, WDay, YDay, YWeek };

struct DatePartName {
  const wchar_t* Name;  // after "A_"
  DatePartKind Kind;
};
const DatePartName kDatePartNames[] = {
    {L"YYYY", DatePartKind::Year},   {L"Year", DatePartKind::Year},  {L"MM", DatePartKind::Month},
    {L"Mon", DatePartKind::Month},   {L"DD", DatePartKind::Day},     {L"MDay", DatePartKind::Day},
    {L"Hour", DatePartKind::Hour},   {L"Min", DatePartKind::Minute}, {L"Sec", DatePartKind::Second},
    {L"MSec", DatePartKind::MSec},   {L"WDay", DatePartKind::WDay},  {L"YDay", DatePartKind::YDay},
    {L"YWeek", DatePartKind::YWeek},
};

// The pictures of the month and weekday names.
struct DateNamePicture {
  const wchar_t* Name;  // after "A_"
  const wchar_t* Picture;
};
const DateNamePicture kDateNamePictures[] = {
    {L"MMMM", L"MMMM"}, {L"MMM", L"MMM"}, {L"DDDD", L"dddd"}, {L"DDD", L"ddd"}};

// The name without its "A_".
std::wstring_view WithoutPrefix(const wchar_t* name) { return std::wstring_view(name).substr(2); }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Day of the year, 1 to 366.
int DayOfYear(const SYSTEMTIME& t) {
  return kDaysBeforeMonth[IsLeapYear(t.wYear) ? 1 : 0][(t.wMonth - 1) % 12] + t.wDay;
}

// Day of the week with Monday 1 .. Sunday 7.
int IsoWeekday(const SYSTEMTIME& t) { return t.wDayOfWeek == 0 ? 7 : t.wDayOfWeek; }

// ISO 8601 weeks in a year: 53 when it starts on Thursday, or on Wednesday
// in a leap year.
int WeeksInYear(int year) {
  // Weekday of 1 January (0 Sunday) by Zeller's congruence in Gauss's form.
  const int y = year - 1;
  const int jan1 = (1 + 5 * (y % 4) + 4 * (y % 100) + 6 * (y % 400)) % 7;
  return jan1 == 4 || (jan1 == 3 && IsLeapYear(year)) ? 53 : 52;
}

// The shared local-time snapshot, refreshed when asked or when stale.
const SYSTEMTIME& DateSnapshot(bool forceRefresh) {
  BuiltInVarCache& cache = Values().BuiltIns;
  const DWORD now = GetTickCount();
  if (forceRefresh || !cache.HasDateSnapshot || now - cache.DateSnapshotTick > kDateSnapshotMs) {
    GetLocalTime(&cache.DateSnapshot);
    cache.DateSnapshotTick = now;
    cache.HasDateSnapshot = true;
  }
  return cache.DateSnapshot;
}

// Writes formatted text of at most kTimeStampBound characters.
template <typename... Args>
size_t PutFormatted(wchar_t* buffer, const wchar_t* format, Args... args) {
  wchar_t text[kTimeStampBound + 8];
  const int written = std::swprintf(text, sizeof(text) / sizeof(text[0]), format, args...);
  return PutBuiltInText(buffer, std::wstring_view(text, written > 0 ? static_cast<size_t>(written) : 0));
}

// A time as YYYYMMDDHH24MISS.
size_t PutTimeStamp(wchar_t* buffer, const SYSTEMTIME& t) {
  if (!buffer) return kTimeStampBound;
  return PutFormatted(buffer, L"%04d%02d%02d%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// One date part of a time.
size_t PutDatePart(wchar_t* buffer, DatePartKind kind, const SYSTEMTIME& t) {
  switch (kind) {
    case DatePartKind::Year: return PutFormatted(buffer, L"%d", t.wYear);
    case DatePartKind::Month: return PutFormatted(buffer, L"%02d", t.wMonth);
    case DatePartKind::Day: return PutFormatted(buffer, L"%02d", t.wDay);
    case DatePartKind::Hour: return PutFormatted(buffer, L"%02d", t.wHour);
    case DatePartKind::Minute: return PutFormatted(buffer, L"%02d", t.wMinute);
    case DatePartKind::Second: return PutFormatted(buffer, L"%02d", t.wSecond);
    case DatePartKind::MSec: return PutFormatted(buffer, L"%03d", t.wMilliseconds);
    case DatePartKind::WDay: return PutFormatted(buffer, L"%d", t.wDayOfWeek + 1);
    case DatePartKind::YDay: return PutFormatted(buffer, L"%d", DayOfYear(t));
    case DatePartKind::YWeek: {
      const int yearWeek = builtin::IsoYearWeek(t);
      return PutFormatted(buffer, L"%04d%02d", yearWeek / 100, yearWeek % 100);
    }
  }
  return PutBuiltInText(buffer, L"");
}

}  // namespace

namespace builtin {

// The ISO week-numbering year and week, as year * 100 + week.
int IsoYearWeek(const SYSTEMTIME& t) {
  int year = t.wYear;
  const int week = (DayOfYear(t) - IsoWeekday(t) + 10) / 7;
  if (week < 1) {
    --year;
    return year * 100 + WeeksInYear(year);
  }
  if (week > WeeksInYear(year)) return (year + 1) * 100 + 1;
  return year * 100 + week;
}

// A_YYYY and its relatives; A_MSec always takes a fresh snapshot.
size_t DatePart(wchar_t* buffer, const wchar_t* name) {
  if (!buffer) return kDatePartBound;
  const std::wstring_view part = WithoutPrefix(name);
  for (const DatePartName& entry : kDatePartNames)
    if (EqualsNoCase(entry.Name, part))
      return PutDatePart(buffer, entry.Kind, DateSnapshot(entry.Kind == DatePartKind::MSec));
  return PutBuiltInText(buffer, L"");
}

// A_MMMM, A_MMM, A_DDDD, A_DDD in the user's locale. Sizing answers the
// room the name is formatted into, since the day may change in between.
size_t DateName(wchar_t* buffer, const wchar_t* name) {
  if (!buffer) return kDateNameChars;
  const std::wstring_view which = WithoutPrefix(name);
  for (const DateNamePicture& entry : kDateNamePictures) {
    if (!EqualsNoCase(entry.Name, which)) continue;
    wchar_t text[kDateNameChars + 1];
    const int written = GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, entry.Picture, text, kDateNameChars);
    const size_t length = written > 0 ? static_cast<size_t>(written - 1) : 0;
    return PutBuiltInText(buffer, std::wstring_view(text, length));
  }
  return PutBuiltInText(buffer, L"");
}

size_t Now(wchar_t* buffer, const wchar_t*) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return PutTimeStamp(buffer, t);
}

size_t NowUTC(wchar_t* buffer, const wchar_t*) {
  SYSTEMTIME t;
  GetSystemTime(&t);
  return PutTimeStamp(buffer, t);
}

size_t TickCount(wchar_t* buffer, const wchar_t*) { return PutInteger(buffer, GetTickCount()); }

// Milliseconds since the session's last input event; "" when unknown.
size_t TimeIdle(wchar_t* buffer, const wchar_t*) {
  if (!buffer) return kNumberBound;
  LASTINPUTINFO info = {sizeof(info), 0};
  if (!GetLastInputInfo(&info)) return PutBuiltInText(buffer, L"");
  return PutInteger(buffer, static_cast<DWORD>(GetTickCount() - info.dwTime));
}

}  // namespace builtin
