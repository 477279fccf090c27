// The math built-in functions: rounding, remainders, minimum and maximum,
// magnitude and the elementary functions.
//
// Every argument is taken by the number rules (hexadecimal text counts); an
// argument that is not a number, or a value outside a function's domain,
// leaves the result empty. No input traps: division by zero, NaN, infinities
// and the one unrepresentable integer remainder all answer a value or "".
#include <cmath>
#include <cstdint>
#include <limits>

#include "objects/builtin_functions.h"
#include "objects/objects_state.h"

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Added toward a rounded double's sign before it is truncated to an integer,
// so that a result such as 1199.9999999999998 (1234 rounded to hundreds
// through binary fractions) still becomes 1200.
constexpr double kIntegerNudge = 0.2;

// Decimal places beyond which the formatted text of Round would be cut to
// the float-text buffer anyway.
constexpr int64_t kMaxRoundDecimals = static_cast<int64_t>(kFloatTextChars) - 1;

// Powers of ten that fit a signed 64-bit integer, 10^0 to 10^18.
constexpr int64_t kPowersOfTen[] = {1,
                                    10,
                                    100,
                                    1000,
                                    10000,
                                    100000,
                                    1000000,
                                    10000000,
                                    100000000,
                                    1000000000,
                                    10000000000,
                                    100000000000,
                                    1000000000000,
                                    10000000000000,
                                    100000000000000,
                                    1000000000000000,
                                    10000000000000000,
                                    100000000000000000,
                                    1000000000000000000};
constexpr int kLargestPowerOfTen = 18;
// Places to the left of the point beyond which every integer rounds to 0.
constexpr int64_t kMaxIntegerPlaces = kLargestPowerOfTen + 2;

// A rounded double as an integer: nudged toward its sign, then truncated
// (saturating; NaN gives 0).
int64_t NudgedInteger(double value) { return DoubleToInteger(value + (value > 0.0 ? kIntegerNudge : -kIntegerNudge)); }

// Rounds half away from zero at m = 10^digits by the double rule.
double RoundDouble(double value, double scale) {
  const double scaled = value * scale;
  // A scale that overflows leaves the value as it is (it already has no
  // more digits than asked for); one that underflows rounds everything to 0.
  if (!std::isfinite(scaled)) return value;
  if (scale == 0.0) return 0.0;
  return (value >= 0.0 ? std::floor(scaled + 0.5) : std::ceil(scaled - 0.5)) / scale;
}

// Rounds an integer half away from zero to a multiple of 10^places
// (places >= 1) without passing through a double, saturating at the limits.
int64_t RoundIntegerToTens(int64_t value, int64_t places) {
  if (places > kLargestPowerOfTen) {
    // 10^19 and beyond: only magnitudes of at least half of 10^19 round
    // away from zero, and their result does not fit.
    constexpr int64_t kHalfOf10To19 = 5000000000000000000;
    if (places == kLargestPowerOfTen + 1 && value >= kHalfOf10To19) return kInt64Max;
    if (places == kLargestPowerOfTen + 1 && value <= -kHalfOf10To19) return kInt64Min;
    return 0;
  }
  const int64_t unit = kPowersOfTen[places];
  int64_t quotient = value / unit;
  const int64_t remainder = value % unit;
  if (remainder >= unit / 2) ++quotient;
  if (remainder <= -(unit / 2)) --quotient;
  if (quotient > kInt64Max / unit) return kInt64Max;
  if (quotient < kInt64Min / unit) return kInt64Min;
  return quotient * unit;
}

// Round(number [, digits]): an integer for digits <= 0, else text with that
// many decimals.
ResultCode CallRound(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  const NumericKind kind = ParamNumericType(*params[0]);
  if (kind == PURE_NOT_NUMERIC) return ResultCode::Ok;
  const int64_t digits = ParamGiven(params, count, 1) ? ParamInteger(*params[1]) : 0;

  if (kind == PURE_INTEGER && digits <= 0) {
    // Integers keep every digit; a double would lose those beyond 2^53.
    const int64_t value = ParamInteger(*params[0]);
    // Beyond 10^20 every integer rounds to 0; clamping keeps -digits defined.
    const int64_t places = digits < -kMaxIntegerPlaces ? kMaxIntegerPlaces : -digits;
    result.SetInteger(digits == 0 ? value : RoundIntegerToTens(value, places));
    return ResultCode::Ok;
  }
  const double value = ParamFloat(*params[0]);
  const double rounded = RoundDouble(value, std::pow(10.0, static_cast<double>(digits)));
  if (digits <= 0) {
    result.SetInteger(NudgedInteger(rounded));
    return ResultCode::Ok;
  }
  // The format "%0.<digits>f".
  wchar_t format[kIntegerTextChars + 4] = L"%0.";
  const size_t digitsLength = IntegerToText(digits < kMaxRoundDecimals ? digits : kMaxRoundDecimals, format + 3);
  format[3 + digitsLength] = L'f';
  format[4 + digitsLength] = L'\0';
  wchar_t* text = Objects().RoundText;  // valid until the next call of Round
  FloatToText(rounded, text, kFloatTextChars, format);
  result.SetText(text);
  return ResultCode::Ok;
}

// Floor(number) and Ceil(number): the integer at or below (above) it.
template <bool kCeiling>
ResultCode CallFloorCeil(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  const NumericKind kind = ParamNumericType(*params[0]);
  if (kind == PURE_NOT_NUMERIC) return ResultCode::Ok;
  if (kind == PURE_INTEGER) {
    result.SetInteger(ParamInteger(*params[0]));
    return ResultCode::Ok;
  }
  const double value = ParamFloat(*params[0]);
  result.SetInteger(NudgedInteger(kCeiling ? std::ceil(value) : std::floor(value)));
  return ResultCode::Ok;
}

// Mod of two integers, also the integer form of Mod; a zero divisor gives
// "", which is not an integer.
bool IntegerMod(const int64_t* args, int64_t& result) {
  if (args[1] == 0) return false;
  // The smallest integer divided by -1 would trap; its remainder is 0.
  result = args[1] == -1 ? 0 : args[0] % args[1];
  return true;
}

// Mod(dividend, divisor): the remainder with the dividend's sign; "" for a
// zero divisor.
ResultCode CallMod(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  const NumericKind dividendKind = ParamNumericType(*params[0]);
  const NumericKind divisorKind = ParamNumericType(*params[1]);
  if (dividendKind == PURE_NOT_NUMERIC || divisorKind == PURE_NOT_NUMERIC) return ResultCode::Ok;
  if (dividendKind == PURE_INTEGER && divisorKind == PURE_INTEGER) {
    const int64_t operands[] = {ParamInteger(*params[0]), ParamInteger(*params[1])};
    int64_t remainder = 0;
    if (IntegerMod(operands, remainder)) result.SetInteger(remainder);
    return ResultCode::Ok;
  }
  const double divisor = ParamFloat(*params[1]);
  if (divisor == 0.0) return ResultCode::Ok;
  result.SetFloat(std::fmod(ParamFloat(*params[0]), divisor));
  return ResultCode::Ok;
}

// Whether a is below b, comparing integers and doubles exactly (the long
// double of this target holds every 64-bit integer).
bool NumberLess(ExprToken& a, NumericKind aKind, ExprToken& b, NumericKind bKind) {
  if (aKind == PURE_INTEGER && bKind == PURE_INTEGER) return ParamInteger(a) < ParamInteger(b);
  const long double left = aKind == PURE_INTEGER ? static_cast<long double>(ParamInteger(a)) : ParamFloat(a);
  const long double right = bKind == PURE_INTEGER ? static_cast<long double>(ParamInteger(b)) : ParamFloat(b);
  return left < right;
}

// Min(...) and Max(...): the smallest (largest) argument with its own kind;
// the first of equal ones; "" when any argument is not a number.
template <bool kMaximum>
ResultCode CallMinMax(const ExprFunc&, ExprToken& result, ExprToken** params, int count, bool) {
  int best = -1;
  NumericKind bestKind = PURE_NOT_NUMERIC;
  for (int i = 0; i < count; ++i) {
    const NumericKind kind = ParamNumericType(*params[i]);
    if (kind == PURE_NOT_NUMERIC) return ResultCode::Ok;
    const bool better = best < 0 || (kMaximum ? NumberLess(*params[best], bestKind, *params[i], kind)
                                              : NumberLess(*params[i], kind, *params[best], bestKind));
    if (better) {
      best = i;
      bestKind = kind;
    }
  }
  if (best < 0) return ResultCode::Ok;
  if (bestKind == PURE_INTEGER)
    result.SetInteger(ParamInteger(*params[best]));
  else
    result.SetFloat(ParamFloat(*params[best]));
  return ResultCode::Ok;
}

// Abs of an integer, also the integer form of Abs.
bool IntegerAbs(const int64_t* args, int64_t& result) {
  result = args[0] < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(args[0])) : args[0];
  return true;
}

// Abs(number): the magnitude, keeping the kind. The smallest integer has
// no positive counterpart and stays as it is (two's-complement arithmetic).
ResultCode CallAbs(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  const NumericKind kind = ParamNumericType(*params[0]);
  if (kind == PURE_NOT_NUMERIC) return ResultCode::Ok;
  if (kind == PURE_INTEGER) {
    const int64_t value = ParamInteger(*params[0]);
    int64_t magnitude = 0;
    IntegerAbs(&value, magnitude);
    result.SetInteger(magnitude);
  } else {
    result.SetFloat(std::fabs(ParamFloat(*params[0])));
  }
  return ResultCode::Ok;
}

// A function of one double with the inputs it accepts: outside Low..High
// the result is "".
struct UnaryMath {
  double (*Apply)(double);
  double Low;
  double High;
};

constexpr UnaryMath kSin{[](double x) { return std::sin(x); }, -kInfinity, kInfinity};
constexpr UnaryMath kCos{[](double x) { return std::cos(x); }, -kInfinity, kInfinity};
constexpr UnaryMath kTan{[](double x) { return std::tan(x); }, -kInfinity, kInfinity};
constexpr UnaryMath kASin{[](double x) { return std::asin(x); }, -1.0, 1.0};
constexpr UnaryMath kACos{[](double x) { return std::acos(x); }, -1.0, 1.0};
constexpr UnaryMath kATan{[](double x) { return std::atan(x); }, -kInfinity, kInfinity};
constexpr UnaryMath kExp{[](double x) { return std::exp(x); }, -kInfinity, kInfinity};
constexpr UnaryMath kSqrt{[](double x) { return std::sqrt(x); }, 0.0, kInfinity};
constexpr UnaryMath kLog{[](double x) { return std::log10(x); }, 0.0, kInfinity};
constexpr UnaryMath kLn{[](double x) { return std::log(x); }, 0.0, kInfinity};

// Sin, Cos, Tan, ASin, ACos, ATan, Exp, Sqrt, Log and Ln: a float, or ""
// outside the function's domain.
template <const UnaryMath& kOp>
ResultCode CallUnaryMath(const ExprFunc&, ExprToken& result, ExprToken** params, int, bool) {
  if (ParamNumericType(*params[0]) == PURE_NOT_NUMERIC) return ResultCode::Ok;
  const double value = ParamFloat(*params[0]);
  if (value < kOp.Low || value > kOp.High) return ResultCode::Ok;
  result.SetFloat(kOp.Apply(value));
  return ResultCode::Ok;
}

const BuiltInFunctionDef kMathFunctions[] = {
    {L"Round", 1, 2, CallRound},
    {L"Floor", 1, 1, CallFloorCeil<false>},
    {L"Ceil", 1, 1, CallFloorCeil<true>},
    {L"Mod", 2, 2, CallMod, IntegerMod},
    {L"Min", 1, kUnlimitedParams, CallMinMax<false>},
    {L"Max", 1, kUnlimitedParams, CallMinMax<true>},
    {L"Abs", 1, 1, CallAbs, IntegerAbs},
    {L"Sin", 1, 1, CallUnaryMath<kSin>},
    {L"Cos", 1, 1, CallUnaryMath<kCos>},
    {L"Tan", 1, 1, CallUnaryMath<kTan>},
    {L"ASin", 1, 1, CallUnaryMath<kASin>},
    {L"ACos", 1, 1, CallUnaryMath<kACos>},
    {L"ATan", 1, 1, CallUnaryMath<kATan>},
    {L"Exp", 1, 1, CallUnaryMath<kExp>},
    {L"Sqrt", 1, 1, CallUnaryMath<kSqrt>},
    {L"Log", 1, 1, CallUnaryMath<kLog>},
    {L"Ln", 1, 1, CallUnaryMath<kLn>},
};

}  // namespace

BuiltInFamily MathFunctions() { return {kMathFunctions, sizeof(kMathFunctions) / sizeof(kMathFunctions[0])}; }
