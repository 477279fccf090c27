// Numeric text: the classifier and its options, text to integer and double,
// the truth rule, number-to-text formats, SetFormat and the name rules, each
// as a table of texts and what they must give.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "exec/errors.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// Narrow copy of a wide text for failure messages.
std::string Narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

struct ClassifyCase {
  const wchar_t* Text;
  NumericKind Expected;
};

TEST(NumericTextClassifier, DefaultOptions) {
  const ClassifyCase cases[] = {
      {L"12", PURE_INTEGER},        {L" 12 ", PURE_INTEGER},
      {L"\t12\t", PURE_INTEGER},    {L"+12", PURE_INTEGER},
      {L"-12", PURE_INTEGER},       {L"0x1F", PURE_INTEGER},
      {L"-0x1f", PURE_INTEGER},     {L"0X1f", PURE_INTEGER},
      {L"007", PURE_INTEGER},       {L"1.", PURE_FLOAT},
      {L".5", PURE_FLOAT},          {L"1.5e3", PURE_FLOAT},
      {L"1.0E-2", PURE_FLOAT},      {L"1.e+5", PURE_FLOAT},
      {L" -1.5 ", PURE_FLOAT},      {L"1e5", PURE_NOT_NUMERIC},
      {L"0x", PURE_NOT_NUMERIC},    {L".", PURE_NOT_NUMERIC},
      {L"1 2", PURE_NOT_NUMERIC},   {L"0x1.5", PURE_NOT_NUMERIC},
      {L"12abc", PURE_NOT_NUMERIC}, {L"", PURE_NOT_NUMERIC},
      {L"   ", PURE_NOT_NUMERIC},   {L"-", PURE_NOT_NUMERIC},
      {L"+-1", PURE_NOT_NUMERIC},   {L"1.5e", PURE_NOT_NUMERIC},
      {L"1.5e+", PURE_NOT_NUMERIC}, {L"1.5e3.2", PURE_NOT_NUMERIC},
      {L"1.2.3", PURE_NOT_NUMERIC}, {L".e5", PURE_NOT_NUMERIC},
      {L"1\n", PURE_NOT_NUMERIC},   {L"１", PURE_NOT_NUMERIC},  // full-width digit is not a digit
  };
  for (const ClassifyCase& c : cases) EXPECT_EQ(IsNumeric(c.Text), c.Expected) << Narrow(c.Text);
}

struct OptionCase {
  const wchar_t* Text;
  bool AllowNegative, AllowAllBlank, AllowFloat, AllowImpure;
  NumericKind Expected;
};

TEST(NumericTextClassifier, Options) {
  const OptionCase cases[] = {
      {L"-5", false, false, true, false, PURE_NOT_NUMERIC},
      {L"+5", false, false, true, false, PURE_INTEGER},
      {L"", false, true, true, false, PURE_INTEGER},
      {L" \t ", false, true, true, false, PURE_INTEGER},
      {L"1.5", true, false, false, false, PURE_NOT_NUMERIC},
      {L"15", true, false, false, false, PURE_INTEGER},
      {L"12abc", true, false, true, true, PURE_INTEGER},
      {L"1.5e3x", true, false, true, true, PURE_FLOAT},
      {L"1.5ex", true, false, true, true, PURE_FLOAT},
      {L"1 2", true, false, true, true, PURE_INTEGER},
      {L"abc", true, false, true, true, PURE_NOT_NUMERIC},
      {L"1.5", true, false, false, true, PURE_INTEGER},  // stops at the point
  };
  for (const OptionCase& c : cases)
    EXPECT_EQ(IsNumeric(c.Text, c.AllowNegative, c.AllowAllBlank, c.AllowFloat, c.AllowImpure), c.Expected)
        << Narrow(c.Text);
}

struct IntegerCase {
  const wchar_t* Text;
  int64_t Expected;
};

TEST(NumericTextConversion, TextToInteger) {
  const IntegerCase cases[] = {
      {L"12abc", 12},
      {L"1.9", 1},
      {L"1.5e3", 1},
      {L"  -42  ", -42},
      {L"+7", 7},
      {L"0x1F", 31},
      {L"-0x1f", -31},
      {L" 0XfF", 255},
      {L"9223372036854775807", kMax},
      {L"9223372036854775808", kMax},
      {L"99999999999999999999999", kMax},
      {L"-9223372036854775808", kMin},
      {L"-9223372036854775809", kMin},
      {L"-99999999999999999999999", kMin},
      {L"0x7FFFFFFFFFFFFFFF", kMax},
      {L"0xFFFFFFFFFFFFFFFF", -1},  // a 64-bit pattern
      {L"0x10000000000000000", kMax},
      {L"-0x10000000000000000", kMin},
      {L"0x", 0},
      {L"0xg", 0},
      {L"abc", 0},
      {L"", 0},
      {L"- 5", 0},
  };
  for (const IntegerCase& c : cases) EXPECT_EQ(TextToInteger(c.Text), c.Expected) << Narrow(c.Text);
}

struct DoubleCase {
  const wchar_t* Text;
  double Expected;
};

TEST(NumericTextConversion, TextToDouble) {
  const DoubleCase cases[] = {
      {L"1e5", 100000.0}, {L"1.5", 1.5},    {L" -.5", -0.5},  {L"0x10", 16.0}, {L"-0x10", -16.0}, {L"1.5e3", 1500.0},
      {L"1.0E-2", 0.01},  {L"12abc", 12.0}, {L"1.e2", 100.0}, {L"+3", 3.0},    {L"abc", 0.0},     {L"inf", 0.0},
      {L"nan", 0.0},      {L"0x.8", 0.0},   {L"", 0.0},       {L".", 0.0},     {L"1.5e", 1.5},    {L"\t2.25\t", 2.25},
  };
  for (const DoubleCase& c : cases) EXPECT_EQ(TextToDouble(c.Text), c.Expected) << Narrow(c.Text);
}

// Short plain decimals are read without the C library: every one must give
// the correctly rounded value (std::from_chars), near halfway points and long
// fractions included. The system's wcstod is off by one unit in the last
// place for some of them, which is why it is not the reference.
TEST(NumericTextConversion, PlainDecimalsAreCorrectlyRounded) {
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  auto next = [&seed]() {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + static_cast<int>(next() % 15);
    std::wstring text;
    for (int d = 0; d < digits; ++d) text += static_cast<wchar_t>(L'0' + next() % 10);
    const size_t point = next() % (text.size() + 1);
    text.insert(point, 1, L'.');
    if (text == L".") continue;
    const std::string narrow(text.begin(), text.end());
    double expected = 0.0;
    std::from_chars(narrow.data(), narrow.data() + narrow.size(), expected);
    const double got = TextToDouble(text.c_str());
    ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << Narrow(text.c_str());
  }
  const DoubleCase edges[] = {{L"8.0", 8.0},
                              {L"0.1", 0.1},
                              {L"-0.0", -0.0},
                              {L"123456789012345.", 123456789012345.0},
                              {L"0.000000000000001", 1e-15},
                              {L"2.5x", 2.5},
                              {L"9007199254740993", 9007199254740992.0}};
  for (const DoubleCase& c : edges) EXPECT_EQ(TextToDouble(c.Text), c.Expected) << Narrow(c.Text);
}

TEST(NumericTextConversion, DoubleToIntegerTruncatesAndSaturates) {
  const struct {
    double Value;
    int64_t Expected;
  } cases[] = {
      {1.9, 1},
      {-1.9, -1},
      {0.0, 0},
      {1e30, kMax},
      {-1e30, kMin},
      {9223372036854775808.0, kMax},
      {std::numeric_limits<double>::infinity(), kMax},
      {std::nan(""), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(DoubleToInteger(c.Value), c.Expected) << c.Value;
}

TEST(NumericTextTruth, TextTable) {
  const struct {
    const wchar_t* Text;
    bool Expected;
  } cases[] = {
      {L"0", false},   {L"00", false}, {L" 0 ", false},  {L"0.0", false}, {L"-0", false},
      {L"0x0", false}, {L"", false},   {L".0", false},   {L"+0", false},  {L"0e0", true},  // "0e0" is not numeric text
      {L" ", true},    {L"a", true},   {L"0a", true},    {L"1", true},    {L"-1", true},
      {L"0.1", true},  {L"0x1", true}, {L"-0x0", false}, {L" 1 ", true},
  };
  for (const auto& c : cases) EXPECT_EQ(TextIsTrue(c.Text), c.Expected) << Narrow(c.Text);
}

TEST(NumericTextFormat, IntegerFormats) {
  const struct {
    int64_t Value;
    wchar_t Format;
    const wchar_t* Expected;
  } cases[] = {
      {0, 'D', L"0"},
      {-31, 'D', L"-31"},
      {-31, 'h', L"-0x1f"},
      {-31, 'H', L"-0x1F"},
      {255, 'H', L"0xFF"},
      {0, 'h', L"0x0"},
      {kMax, 'D', L"9223372036854775807"},
      {kMin, 'D', L"-9223372036854775808"},
      {kMin, 'h', L"-0x8000000000000000"},
      {kMax, 'h', L"0x7fffffffffffffff"},
  };
  for (const auto& c : cases) {
    wchar_t buffer[kIntegerTextChars];
    const size_t length = IntegerToText(c.Value, buffer, c.Format);
    EXPECT_STREQ(buffer, c.Expected);
    EXPECT_EQ(length, std::wcslen(c.Expected));
  }
}

// Decimal text agrees with the standard library on both sides of every
// power of ten, where the digit count changes.
TEST(NumericTextFormat, DecimalAtEveryDigitCount) {
  std::vector<int64_t> values = {0, 1, -1, kMax, kMin, kMin + 1};
  for (int64_t power = 1; power <= kMax / 10; power *= 10)
    for (int64_t around : {power * 10 - 1, power * 10, power * 10 + 1, power * 7 + 3})
      for (int64_t value : {around, -around}) values.push_back(value);
  for (int64_t value : values) {
    wchar_t buffer[kIntegerTextChars];
    const size_t length = IntegerToText(value, buffer, 'D');
    EXPECT_EQ(std::wstring(buffer), std::to_wstring(value));
    EXPECT_EQ(length, std::to_wstring(value).size());
  }
}

TEST(NumericTextFormat, FloatFormats) {
  const struct {
    double Value;
    const wchar_t* Format;
    const wchar_t* Expected;
  } cases[] = {
      {1.5, L"%0.6f", L"1.500000"},
      {1.5, L"%0.2f", L"1.50"},
      {-0.126, L"%0.2f", L"-0.13"},
      {100000.0, L"%.f", L"100000"},
      {1.5, L"%5.1f", L"  1.5"},
      {1.5, L"%-5.1f|", L""},
      {1.5, L"%s", L""},
      {1.5, L"%n", L""},
      {1.5, L"%", L""},
      {1.5, L"%d", L""},
      {1.5, L"x%f", L""},
      {1.5, L"%0.2lf", L"1.50"},
      {1234.5, L"%0.1E", L"1.2E+03"},
  };
  for (const auto& c : cases) {
    wchar_t buffer[kFloatTextChars];
    const size_t length = FloatToText(c.Value, buffer, kFloatTextChars, c.Format);
    EXPECT_STREQ(buffer, c.Expected) << Narrow(c.Format);
    EXPECT_EQ(length, std::wcslen(c.Expected));
  }
}

TEST(NumericTextFormat, LargeFloatsAreWholeOrCutToTheBuffer) {
  // 1e300 in "%f" has 301 digits before the point: more than 255 characters.
  wchar_t big[kFloatTextMaxChars];
  const size_t length = FloatToText(1e300, big, kFloatTextMaxChars, L"%0.6f");
  EXPECT_EQ(length, 301u + 7u);
  EXPECT_EQ(big[0], L'1');
  EXPECT_STREQ(big + 301, L".000000");
  wchar_t small[10];
  EXPECT_EQ(FloatToText(1e300, small, 10, L"%0.6f"), 9u);
  EXPECT_EQ(std::wcslen(small), 9u);
}

// SetFormat applied to a fresh record: the resulting formats, or failure.
TEST(NumericTextSetFormat, FloatAndIntegerKinds) {
  const struct {
    const wchar_t* Kind;
    const wchar_t* Format;
    ResultCode Result;
    const wchar_t* FloatFormat;
    char IntegerFormat;
  } cases[] = {
      {L"Float", L"0.2", ResultCode::Ok, L"%0.2f", 'D'},
      {L"float", L"0.3e", ResultCode::Ok, L"%0.3e", 'D'},
      {L"FloatFast", L"0.3g", ResultCode::Ok, L"%0.3g", 'D'},
      {L"Float", L"", ResultCode::Ok, L"%.f", 'D'},
      {L"Float", L"5", ResultCode::Ok, L"%5.f", 'D'},
      {L"Float", L"-0.1", ResultCode::Ok, L"%-0.1f", 'D'},
      {L"Float", L" +0.1", ResultCode::Ok, L"% +0.1f", 'D'},
      {L"Float", L"-", ResultCode::Ok, L"%-.f", 'D'},
      {L"Float", L"0.2s", ResultCode::Fail, L"%0.6f", 'D'},  // would read the double as a pointer
      {L"Float", L"0.2n", ResultCode::Fail, L"%0.6f", 'D'},
      {L"Float", L"0.250", ResultCode::Fail, L"%0.6f", 'D'},  // precision + length + 2 > 255
      {L"Float", L"0.248", ResultCode::Ok, L"%0.248f", 'D'},
      {L"Float", L"1.1234567890123456789012345678", ResultCode::Ok, L"%0.6f", 'D'},  // 30: ignored
      {L"Integer", L"H", ResultCode::Ok, L"%0.6f", 'H'},
      {L"IntegerFast", L"hex", ResultCode::Ok, L"%0.6f", 'h'},
      {L"integer", L"d", ResultCode::Ok, L"%0.6f", 'D'},
      {L"Integer", L"x", ResultCode::Ok, L"%0.6f", 'D'},
      {L"Number", L"0.2", ResultCode::Fail, L"%0.6f", 'D'},
  };
  for (const auto& c : cases) {
    ThreadSettings settings;
    EXPECT_EQ(settings.ApplySetFormat(c.Kind, c.Format), c.Result) << Narrow(c.Kind) << " " << Narrow(c.Format);
    EXPECT_STREQ(settings.FloatFormatText, c.FloatFormat) << Narrow(c.Format);
    EXPECT_EQ(settings.IntegerFormatChar, c.IntegerFormat) << Narrow(c.Format);
  }
}

TEST(NumericTextSetFormat, LongestTextFitsTheFormatBuffer) {
  // 29 characters without a point: "%", the text, "." and "f" all fit.
  ThreadSettings settings;
  const std::wstring text(29, L'1');
  EXPECT_EQ(settings.ApplySetFormat(L"Float", text), ResultCode::Ok);
  EXPECT_EQ(std::wstring(settings.FloatFormatText), L"%" + text + L".f");
  EXPECT_TRUE(IsValidFloatFormat(settings.FloatFormatText));
}

// Load errors reported by the name checks.
std::vector<std::wstring> g_reported;

void CaptureReport(std::wstring_view message, std::wstring_view, int) { g_reported.emplace_back(message); }

TEST(NumericTextNames, ValidityAndMessages) {
  SetLoadErrorSink(CaptureReport);
  const std::wstring longest(253, L'a');
  const std::wstring tooLong(254, L'a');
  const struct {
    std::wstring Name;
    bool IsFunction;
    const wchar_t* Message;  // null: accepted
  } cases[] = {
      {longest, false, nullptr},
      {L"abc_$#@9", false, nullptr},
      {L"\u00e9t\u00e9", false, nullptr},
      {L"0", false, nullptr},
      {tooLong, false, L"Variable name too long."},
      {tooLong, true, L"Function name too long."},
      {L"a-b", false, L"The following variable name contains an illegal character:\n\"a-b\""},
      {L"a b", true, L"The following function name contains an illegal character:\n\"a b\""},
      {L"x.y", false, L"The following variable name contains an illegal character:\n\"x.y\""},
      {L"", false, L"The following variable name contains an illegal character:\n\" \""},
  };
  for (const auto& c : cases) {
    g_reported.clear();
    const ResultCode result = ValidateVariableName(c.Name, c.IsFunction);
    EXPECT_EQ(IsValidVariableName(c.Name), c.Message == nullptr) << Narrow(c.Name);
    if (!c.Message) {
      EXPECT_EQ(result, ResultCode::Ok) << Narrow(c.Name);
      EXPECT_TRUE(g_reported.empty());
    } else {
      EXPECT_EQ(result, ResultCode::Fail) << Narrow(c.Name);
      ASSERT_EQ(g_reported.size(), 1u);
      EXPECT_EQ(g_reported[0], c.Message);
    }
  }
  SetLoadErrorSink(nullptr);
}

}  // namespace
