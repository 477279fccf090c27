// Format's placeholder parser and the built-in called through its table
// entry: indexes (numbered, unnumbered, hexadecimal, 0), the conversion
// (flags, width, precision, type, its length limit), the brace escapes and
// what does not parse; and the time-stamp reader that EnvAdd/EnvSub use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builtin_call_fixture.h"
#include "exec/time_stamps.h"
#include "text/format.h"

namespace {

struct ParseCase {
  const wchar_t* Pattern;
  int64_t Previous;
  PlaceholderKind Kind;
  size_t End;
  int64_t Index;
  const char* Flags;
  int Width;
  int Precision;
  wchar_t Type;
};

TEST(FormatPlaceholder, ParsesEachForm) {
  const std::vector<ParseCase> cases = {
      {L"{}", 0, PlaceholderKind::Value, 2, 1, "", -1, -1, 0},
      {L"{}", 4, PlaceholderKind::Value, 2, 5, "", -1, -1, 0},
      {L"{3}", 0, PlaceholderKind::Value, 3, 3, "", -1, -1, 0},
      {L"{0}", 7, PlaceholderKind::Value, 3, 0, "", -1, -1, 0},
      {L"{0x1A}", 0, PlaceholderKind::Value, 6, 26, "", -1, -1, 0},
      {L"{:08.3f}", 0, PlaceholderKind::Value, 8, 1, "0", 8, 3, L'f'},
      {L"{2:-+ #12.0X}x", 0, PlaceholderKind::Value, 13, 2, "-+ #", 12, 0, L'X'},
      {L"{:.}", 0, PlaceholderKind::Value, 4, 1, "", -1, 0, 0},
      {L"{:T}", 0, PlaceholderKind::Value, 4, 1, "", -1, -1, L'T'},
      {L"{:}", 0, PlaceholderKind::Value, 3, 1, "", -1, -1, 0},
      {L"{{}", 0, PlaceholderKind::Brace, 3, 0, "", -1, -1, 0},
      {L"{}}", 0, PlaceholderKind::Brace, 3, 0, "", -1, -1, 0},
      {L"{", 0, PlaceholderKind::Literal, 0, 0, "", -1, -1, 0},
      {L"{1", 0, PlaceholderKind::Literal, 0, 0, "", -1, -1, 0},
      {L"{:q}", 0, PlaceholderKind::Literal, 0, 0, "", -1, -1, 0},
      {L"{:F}", 0, PlaceholderKind::Literal, 0, 0, "", -1, -1, 0},
      {L"{ 1}", 0, PlaceholderKind::Literal, 0, 0, "", -1, -1, 0},
      {L"{1:ff}", 0, PlaceholderKind::Literal, 0, 0, "", -1, -1, 0},
  };
  for (const ParseCase& c : cases) {
    const Placeholder p = ParsePlaceholder(c.Pattern, 0, c.Previous);
    const std::string label = NarrowText(c.Pattern);
    ASSERT_EQ(p.Kind, c.Kind) << label;
    if (c.Kind == PlaceholderKind::Literal) continue;
    EXPECT_EQ(p.End, c.End) << label;
    if (c.Kind == PlaceholderKind::Brace) {
      EXPECT_EQ(p.Brace, c.Pattern[1]) << label;
      continue;
    }
    EXPECT_EQ(p.Index, c.Index) << label;
    EXPECT_STREQ(p.Flags, c.Flags) << label;
    EXPECT_EQ(p.Width, c.Width) << label;
    EXPECT_EQ(p.Precision, c.Precision) << label;
    EXPECT_EQ(p.Type, c.Type) << label;
  }
}

TEST(FormatPlaceholder, ConversionLengthLimit) {
  // "%", the conversion, "I64" and the type must fit in 51 characters:
  // "." plus 45 digits plus "d" does, one digit more does not.
  const std::wstring fits = L"{:." + std::wstring(44, L'0') + L"5d}";
  const std::wstring tooLong = L"{:." + std::wstring(45, L'0') + L"5d}";
  const Placeholder ok = ParsePlaceholder(fits, 0, 0);
  EXPECT_EQ(ok.Kind, PlaceholderKind::Value);
  EXPECT_EQ(ok.Precision, 5);
  EXPECT_EQ(ParsePlaceholder(tooLong, 0, 0).Kind, PlaceholderKind::Literal);
}

TEST(FormatPlaceholder, WidthIsKeptWithinOnePiece) {
  const Placeholder p = ParsePlaceholder(L"{:99999999999d}", 0, 0);
  ASSERT_EQ(p.Kind, PlaceholderKind::Value);
  EXPECT_EQ(p.Width, static_cast<int>(kMaxPieceChars));
}

TEST(FormatFunction, FillsPlaceholders) {
  EXPECT_EQ(CallBuiltIn(L"Format", {ArgText(L"{:5.2f}"), ArgFloat(3.14159)}).Shown(), "s: 3.14");
  EXPECT_EQ(CallBuiltIn(L"Format", {ArgText(L"{2}{}"), ArgInt(1), ArgInt(2), ArgInt(3)}).Shown(), "s:23");
  EXPECT_EQ(CallBuiltIn(L"Format", {ArgText(L"{:x}/{:X}"), ArgInt(255), ArgInt(255)}).Shown(), "s:ff/FF");
  EXPECT_EQ(CallBuiltIn(L"Format", {ArgText(L"{:T}"), ArgText(L"o'neil and 3rd")}).Shown(), "s:O'neil And 3Rd");
  EXPECT_EQ(CallBuiltIn(L"Format", {ArgText(L"{3}")}).Shown(), "s:{3}");
  EXPECT_EQ(CallBuiltIn(L"Format", {ArgText(L"{:d}"), ArgText(L"0x10")}).Shown(), "s:16");
  // A piece is cut at its limit instead of growing without bound.
  const CallOutcome wide = CallBuiltIn(L"Format", {ArgText(L"{:99999999d}"), ArgInt(1)});
  EXPECT_EQ(wide.Text.size(), kMaxPieceChars);
}

struct StampCase {
  const wchar_t* Text;
  bool Validate;
  bool Valid;
  int Year, Month, Day, Hour, Minute, Second, DayOfWeek;
};

TEST(TimeStamps, ReadsFieldsAndValidates) {
  const std::vector<StampCase> cases = {
      {L"2004", true, true, 2004, 1, 1, 0, 0, 0, 4},
      {L"20040229", true, true, 2004, 2, 29, 0, 0, 0, 0},
      {L"20050229", true, false, 2005, 2, 29, 0, 0, 0, 2},
      {L"20050229", false, true, 2005, 2, 29, 0, 0, 0, 2},
      {L"20041231235959", true, true, 2004, 12, 31, 23, 59, 59, 5},
      {L"2004011", true, true, 2004, 1, 1, 0, 0, 0, 4},
      {L"20041301", true, false, 2004, 13, 1, 0, 0, 0, 1},
      {L"16000101", true, false, 1600, 1, 1, 0, 0, 0, 6},
      {L"200401011200000", true, false, 0, 0, 0, 0, 0, 0, 0},
      {L"2004x1", true, false, 0, 0, 0, 0, 0, 0, 0},
      {L"", true, false, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const StampCase& c : cases) {
    SYSTEMTIME time{};
    const bool read = ReadTimeStamp(c.Text, time, c.Validate);
    const std::string label = NarrowText(c.Text);
    EXPECT_EQ(read, c.Valid) << label;
    if (!c.Year) continue;
    EXPECT_EQ(time.wYear, c.Year) << label;
    EXPECT_EQ(time.wMonth, c.Month) << label;
    EXPECT_EQ(time.wDay, c.Day) << label;
    EXPECT_EQ(time.wHour, c.Hour) << label;
    EXPECT_EQ(time.wMinute, c.Minute) << label;
    EXPECT_EQ(time.wSecond, c.Second) << label;
    EXPECT_EQ(time.wDayOfWeek, c.DayOfWeek) << label;
  }
}

TEST(TimeStamps, WritesFixedWidthForm) {
  SYSTEMTIME time{};
  time.wYear = 987;
  time.wMonth = 3;
  time.wDay = 4;
  time.wHour = 5;
  time.wMinute = 6;
  time.wSecond = 7;
  EXPECT_EQ(WriteTimeStamp(time), L"09870304050607");
}

}  // namespace
