// FormatTime: a time stamp (or the current time) turned into text by the
// platform's date and time formatters: the format words, the D, T, L and R
// options, and custom pictures split into a date part and a time part.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>

#include "regex/regex_commands.h"
#include "exec/time_stamps.h"
#include "values/variable.h"

namespace {

// Longest Format taken; a longer one gives the empty string.
constexpr size_t kMaxFormatChars = 2000;
// Characters of the stamp-and-options parameter that are considered.
constexpr size_t kMaxOptionChars = 255;
// Output room of one formatter call.
constexpr int kFormatterChars = 2 * static_cast<int>(kMaxFormatChars) + 100;

constexpr DWORD kDateFormKinds = DATE_SHORTDATE | DATE_LONGDATE | DATE_YEARMONTH;

struct TimeOptions {
  DWORD DateFlags = 0;
  DWORD TimeFlags = 0;
  bool DateGiven = false;
  bool TimeGiven = false;
  LCID Locale = LOCALE_USER_DEFAULT;
  bool Reverse = false;
};

// The format words; Picture for anything else.
enum class FormatWord : uint8_t { YWeek, YDay, YDay0, WDay, ShortDate, LongDate, YearMonth, Time, Default, Picture };
struct FormatWordRow {
  const wchar_t* Name;
  FormatWord Word;
};
constexpr FormatWordRow kFormatWords[] = {
    {L"YWeek", FormatWord::YWeek},         {L"YDay", FormatWord::YDay},           {L"YDay0", FormatWord::YDay0},
    {L"WDay", FormatWord::WDay},           {L"ShortDate", FormatWord::ShortDate}, {L"LongDate", FormatWord::LongDate},
    {L"YearMonth", FormatWord::YearMonth}, {L"Time", FormatWord::Time},
};

// Which formatter a picture letter belongs to.
enum class PicturePart : uint8_t { None, Date, Time };

// The part a picture letter marks.
PicturePart PartOf(wchar_t c) {
  if (wcschr(L"dMyg", c)) return PicturePart::Date;
  if (wcschr(L"hHmst", c)) return PicturePart::Time;
  return PicturePart::None;
}

// A number in decimal or "0x" hexadecimal.
DWORD OptionNumber(std::wstring_view text) {
  return static_cast<DWORD>(std::wcstoul(std::wstring(text).c_str(), nullptr, 0));
}

// Reads the options: words separated by blanks, each a letter and a value.
TimeOptions ParseTimeOptions(std::wstring_view text) {
  TimeOptions o;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    size_t end = i;
    while (end < text.size() && text[end] != L' ' && text[end] != L'\t') ++end;
    if (end == i) break;
    std::wstring_view word = text.substr(i, end - i), value = word.substr(1);
    switch (std::towupper(word[0])) {
      case L'D':
        o.DateFlags += OptionNumber(value);
        o.DateGiven = true;
        break;
      case L'T':
        o.TimeFlags += OptionNumber(value);
        o.TimeGiven = true;
        break;
      case L'L':
        o.Locale = value.size() == 3 && CompareStringOrdinal(value.data(), 3, L"Sys", 3, TRUE) == CSTR_EQUAL
                       ? LOCALE_SYSTEM_DEFAULT
                       : OptionNumber(value);
        break;
      case L'R': o.Reverse = true; break;
      default: break;
    }
    i = end;
  }
  return o;
}

// One formatter call; empty when it fails.
std::wstring RunFormatter(bool time, const TimeOptions& o, DWORD flags, const SYSTEMTIME& st, const wchar_t* picture) {
  wchar_t buffer[kFormatterChars];
  int n = time ? GetTimeFormatW(o.Locale, flags, &st, picture, buffer, kFormatterChars)
               : GetDateFormatW(o.Locale, flags, &st, picture, buffer, kFormatterChars);
  return n > 0 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

// Day of the year, 1..366.
int DayOfYear(const SYSTEMTIME& st) {
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (st.wYear % 4 == 0 && st.wYear % 100 != 0) || st.wYear % 400 == 0;
  return kBefore[st.wMonth - 1] + st.wDay + (leap && st.wMonth > 2 ? 1 : 0);
}

// ISO 8601 weeks in a year: 53 when it starts on a Thursday, or on a
// Wednesday in a leap year.
int IsoWeeksInYear(int year) {
  SYSTEMTIME jan1{};
  ReadTimeStamp(std::to_wstring(year), jan1, false);
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return jan1.wDayOfWeek == 4 || (leap && jan1.wDayOfWeek == 3) ? 53 : 52;
}

// "YYYYWW" of the ISO week-numbering year.
std::wstring IsoWeek(const SYSTEMTIME& st) {
  int weekday = st.wDayOfWeek == 0 ? 7 : st.wDayOfWeek;
  int year = st.wYear;
  int week = (DayOfYear(st) - weekday + 10) / 7;
  if (week < 1) {
    --year;
    week = IsoWeeksInYear(year);
  } else if (week > IsoWeeksInYear(year)) {
    ++year;
    week = 1;
  }
  wchar_t text[16];
  _snwprintf(text, 15, L"%04d%02d", year, week);
  text[15] = 0;
  return text;
}

// Splits a Format into a first and a second picture, quoting every
// character that is not a letter or digit.
struct Pictures {
  std::wstring Text[2];
  PicturePart FirstPart = PicturePart::None;
};
Pictures TranslatePicture(std::wstring_view format) {
  Pictures p;
  int current = 0;
  bool quoteOpen = false;
  auto closeQuote = [&] {
    if (quoteOpen) p.Text[current] += L'\'';
    quoteOpen = false;
  };
  auto openQuote = [&] {
    if (!quoteOpen) p.Text[current] += L'\'';
    quoteOpen = true;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    wchar_t c = format[i];
    if (c == L'\'') {
      if (i + 1 < format.size() && format[i + 1] == L'\'') {
        p.Text[current] += L"''";
        ++i;
        continue;
      }
      // A literal section; two quotes inside it stand for one quote.
      openQuote();
      size_t from = i + 1, close;
      for (;;) {
        close = format.find(L'\'', from);
        if (close == std::wstring_view::npos) close = format.size();
        p.Text[current] += format.substr(from, close - from);
        if (close + 1 < format.size() && format[close + 1] == L'\'') {
          p.Text[current] += L"''";
          from = close + 2;
          continue;
        }
        break;
      }
      i = close;
      continue;
    }
    if (!iswalnum(c)) {
      openQuote();
      p.Text[current] += c;
      continue;
    }
    closeQuote();
    PicturePart part = PartOf(c);
    if (part != PicturePart::None) {
      if (p.FirstPart == PicturePart::None) {
        p.FirstPart = part;
      } else if (part != p.FirstPart && current == 0) {
        current = 1;
      }
    }
    p.Text[current] += c;
  }
  closeQuote();
  return p;
}

// The text of a Format word or picture for one calendar record.
std::wstring FormatWith(std::wstring_view format, const SYSTEMTIME& st, bool valid, const TimeOptions& o) {
  FormatWord word = format.empty() ? FormatWord::Default : FormatWord::Picture;
  for (const FormatWordRow& row : kFormatWords)
    if (format.size() == wcslen(row.Name) &&
        CompareStringOrdinal(format.data(), static_cast<int>(format.size()), row.Name, -1, TRUE) == CSTR_EQUAL)
      word = row.Word;
  DWORD timeDefault = o.TimeFlags | (o.TimeGiven ? 0 : TIME_NOSECONDS);
  auto dateOnly = [&](DWORD kind) {
    return RunFormatter(false, o, (o.DateFlags & ~kDateFormKinds) | kind, st, nullptr);
  };
  switch (word) {
    case FormatWord::YWeek: return valid ? IsoWeek(st) : std::wstring();
    case FormatWord::YDay: return valid ? std::to_wstring(DayOfYear(st)) : std::wstring();
    case FormatWord::YDay0: {
      if (!valid) return {};
      wchar_t text[8];
      _snwprintf(text, 7, L"%03d", DayOfYear(st));
      text[7] = 0;
      return text;
    }
    case FormatWord::WDay: return valid ? std::to_wstring(st.wDayOfWeek + 1) : std::wstring();
    case FormatWord::ShortDate: return dateOnly(DATE_SHORTDATE);
    case FormatWord::LongDate: return dateOnly(DATE_LONGDATE);
    case FormatWord::YearMonth: return dateOnly(DATE_YEARMONTH);
    case FormatWord::Time: return RunFormatter(true, o, timeDefault, st, nullptr);
    case FormatWord::Default: {
      std::wstring date = RunFormatter(false, o, o.DateGiven ? o.DateFlags : DATE_LONGDATE, st, nullptr);
      std::wstring time = RunFormatter(true, o, timeDefault, st, nullptr);
      return o.Reverse ? date + L' ' + time : time + L' ' + date;
    }
    case FormatWord::Picture: break;
  }
  Pictures p = TranslatePicture(format);
  bool timeFirst = p.FirstPart == PicturePart::Time;
  std::wstring out = RunFormatter(timeFirst, o, timeFirst ? o.TimeFlags : o.DateFlags, st, p.Text[0].c_str());
  if (!p.Text[1].empty())
    out += RunFormatter(!timeFirst, o, timeFirst ? o.DateFlags : o.TimeFlags, st, p.Text[1].c_str());
  return out;
}

}  // namespace

// FormatTime, OutputVar [, YYYYMMDDHH24MISS, Format]
ResultCode CmdFormatTime(ScriptLine&, CommandArgs& args) {
  Variable* output = args.Var[0];
  if (!output) return ResultCode::Ok;
  std::wstring_view format(args[2]);
  if (format.size() > kMaxFormatChars) return output->Assign();
  while (!format.empty() && (format.front() == L' ' || format.front() == L'\t')) format.remove_prefix(1);
  std::wstring_view param(args[1]);
  while (!param.empty() && (param.front() == L' ' || param.front() == L'\t')) param.remove_prefix(1);
  if (param.size() > kMaxOptionChars) param = param.substr(0, kMaxOptionChars);
  SYSTEMTIME st{};
  bool valid = true;
  std::wstring_view options = param;
  if (!param.empty() && iswdigit(param.front())) {
    size_t end = param.find_first_of(L" \t");
    std::wstring_view stamp = param.substr(0, end);
    options = end == std::wstring_view::npos ? std::wstring_view() : param.substr(end);
    ReadTimeStamp(stamp, st, false);
    SYSTEMTIME check;
    valid = ReadTimeStamp(stamp, check, true) && st.wMonth >= 1 && st.wMonth <= 12;
  } else {
    GetLocalTime(&st);
  }
  return output->Assign(FormatWith(format, st, valid, ParseTimeOptions(options)));
}
