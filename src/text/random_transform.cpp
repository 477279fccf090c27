// Random and the numeric sub-commands of Transform.
//
// Random draws from the process's one MT19937 generator (TextState). The
// Transform sub-commands are rows of a table; every numeric domain error and
// every unknown sub-command leaves the output variable empty, never an
// error. The text sub-commands Deref and HTML live in transform_text.cpp.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/script_line.h"
#include "text/text_commands.h"
#include "text/text_state.h"
#include "text/text_values.h"
#include "text/transform_text.h"
#include "values/variable.h"

namespace {

// Argument positions of Random.
enum : int { kArgRandomOutput = 0, kArgMinimum = 1, kArgMaximum = 2, kArgSeed = 1 };
// Argument positions of Transform.
enum : int { kArgOutput = 0, kArgSubCommand = 1, kArgValue1 = 2, kArgValue2 = 3 };

// The largest 32-bit output of the generator, as Random's float scale.
constexpr double kGeneratorMax = 4294967295.0;
// Random's bounds when none are given.
constexpr int64_t kDefaultIntegerMax = INT32_MAX;
constexpr double kDefaultFloatMax = 2147483647.0;
// Added toward the sign before Ceil and Floor truncate to an integer.
constexpr double kIntegerNudge = 0.2;
// The 32-bit values that BitNot complements in 32 bits.
constexpr uint64_t kLow32Bits = 0xFFFFFFFFull;
// Shift counts are taken modulo this.
constexpr int64_t kShiftModulus = 64;

// The next 32-bit output, seeding from the tick count when nothing seeded yet.
uint32_t NextRandom() {
  TextState& state = Text();
  if (!state.GeneratorSeeded) {
    state.Generator.seed(GetTickCount());
    state.GeneratorSeeded = true;
  }
  return static_cast<uint32_t>(state.Generator());
}

// Whether a text is a floating-point number by the number rules.
bool IsFloatText(std::wstring_view text) { return IsNumeric(std::wstring(text).c_str()) == PURE_FLOAT; }

}  // namespace

void SeedRandomFromClock() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  Text().Generator.seed(now.dwLowDateTime);
  Text().GeneratorSeeded = true;
}

// Random, OutputVar [, Min, Max]; or Random,, NewSeed.
ResultCode CmdRandom(ScriptLine&, CommandArgs& args) {
  Variable* output = args.Count > kArgRandomOutput ? args.Var[kArgRandomOutput] : nullptr;
  if (!output) {
    Text().Generator.seed(static_cast<uint32_t>(TextToInteger(args[kArgSeed])));
    Text().GeneratorSeeded = true;
    return ResultCode::Ok;
  }
  const std::wstring_view minText = args[kArgMinimum];
  const std::wstring_view maxText = args[kArgMaximum];
  if (IsFloatText(minText) || IsFloatText(maxText)) {
    double minimum = minText.empty() ? 0.0 : TextToDouble(args[kArgMinimum]);
    double maximum = maxText.empty() ? kDefaultFloatMax : TextToDouble(args[kArgMaximum]);
    if (maximum < minimum) std::swap(minimum, maximum);
    const double r = static_cast<double>(NextRandom());
    return output->AssignFloat(r * (1.0 / kGeneratorMax) * (maximum - minimum) + minimum);
  }
  int64_t minimum = minText.empty() ? 0 : ArgInt32(args, kArgMinimum);
  int64_t maximum = maxText.empty() ? kDefaultIntegerMax : ArgInt32(args, kArgMaximum);
  if (maximum < minimum) std::swap(minimum, maximum);
  const uint64_t range = static_cast<uint64_t>(maximum - minimum) + 1;
  return output->AssignInteger(minimum + static_cast<int64_t>(NextRandom() % range));
}

namespace {

// What a Transform sub-command works on.
struct TransformInput {
  ScriptLine& Line;
  Variable& Output;
  std::wstring Value1;
  std::wstring Value2;

  double Number1() const { return TextToDouble(Value1.c_str()); }
  double Number2() const { return TextToDouble(Value2.c_str()); }
  int64_t Integer1() const { return TextToInteger(Value1.c_str()); }
  int64_t Integer2() const { return TextToInteger(Value2.c_str()); }
  bool AnyFloatText() const { return IsFloatText(Value1) || IsFloatText(Value2); }
};

using TransformFunction = ResultCode (*)(TransformInput& in);

// An empty output: the answer to every domain error.
ResultCode Empty(TransformInput& in) { return in.Output.Assign(); }

// A result stored as a float, or as an integer truncated toward zero.
ResultCode StoreNumber(TransformInput& in, double value, bool asFloat) {
  return asFloat ? in.Output.AssignFloat(value) : in.Output.AssignInteger(DoubleToInteger(value));
}

// Asc: the first code unit of value 1.
ResultCode TransformAsc(TransformInput& in) {
  if (in.Value1.empty()) return Empty(in);
  return in.Output.AssignInteger(static_cast<uint16_t>(in.Value1[0]));
}

// Chr: one code unit; none above 0xFFFF.
ResultCode TransformChr(TransformInput& in) {
  constexpr int64_t kLargestUnit = 0xFFFF;
  const int64_t unit = in.Integer1();
  if (unit <= 0 || unit > kLargestUnit) return Empty(in);
  const wchar_t text[2] = {static_cast<wchar_t>(unit), L'\0'};
  return in.Output.Assign(text, 1);
}

// Mod: the remainder of the division; a divisor of 0 gives "".
ResultCode TransformMod(TransformInput& in) {
  const double divisor = in.Number2();
  if (divisor == 0.0) return Empty(in);
  return StoreNumber(in, std::fmod(in.Number1(), divisor), in.AnyFloatText());
}

// Pow: base ^ exponent, with a negative base allowed for whole exponents.
ResultCode TransformPow(TransformInput& in) {
  const double base = in.Number1();
  const double exponent = in.Number2();
  const bool asFloat = in.AnyFloatText() || exponent < 0.0;
  if (base == 0.0 && exponent < 0.0) return Empty(in);
  if (base >= 0.0) return StoreNumber(in, std::pow(base, exponent), asFloat);
  if (exponent != std::trunc(exponent)) return Empty(in);
  const double magnitude = std::pow(-base, exponent);
  return StoreNumber(in, std::fabs(std::fmod(exponent, 2.0)) == 1.0 ? -magnitude : magnitude, asFloat);
}

// Exp: e ^ value.
ResultCode TransformExp(TransformInput& in) { return in.Output.AssignFloat(std::exp(in.Number1())); }

// Sqrt, Log and Ln: "" for a negative value.
ResultCode TransformSqrt(TransformInput& in) {
  const double value = in.Number1();
  return value < 0.0 ? Empty(in) : in.Output.AssignFloat(std::sqrt(value));
}
ResultCode TransformLog(TransformInput& in) {
  const double value = in.Number1();
  return value < 0.0 ? Empty(in) : in.Output.AssignFloat(std::log10(value));
}
ResultCode TransformLn(TransformInput& in) {
  const double value = in.Number1();
  return value < 0.0 ? Empty(in) : in.Output.AssignFloat(std::log(value));
}

// Round: half away from zero to N places (N < 0 rounds to tens, hundreds...).
ResultCode TransformRound(TransformInput& in) {
  const int64_t places = in.Value2.empty() ? 0 : in.Integer2();
  const double value = in.Number1();
  double rounded;
  if (places >= 0) {
    const double scale = std::pow(10.0, static_cast<double>(places));
    rounded = value >= 0.0 ? std::floor(value * scale + 0.5) / scale : std::ceil(value * scale - 0.5) / scale;
  } else {
    // Dividing by 10^-N rather than multiplying by 10^N keeps whole
    // results whole (1235 to tens is 1240, not 1239.9999).
    const double unit = std::pow(10.0, static_cast<double>(-places));
    rounded = value >= 0.0 ? std::floor(value / unit + 0.5) * unit : std::ceil(value / unit - 0.5) * unit;
  }
  return StoreNumber(in, rounded, places > 0 && IsFloatText(in.Value1));
}

// Ceil and Floor: nudged by 0.2 toward the result's sign, then truncated.
template <bool kCeiling>
ResultCode TransformCeilFloor(TransformInput& in) {
  const double whole = kCeiling ? std::ceil(in.Number1()) : std::floor(in.Number1());
  return in.Output.AssignInteger(DoubleToInteger(whole + (whole > 0.0 ? kIntegerNudge : -kIntegerNudge)));
}

// Abs: the text without leading blanks and one leading "-", kept as written.
ResultCode TransformAbs(TransformInput& in) {
  std::wstring_view text = in.Value1;
  const size_t first = text.find_first_not_of(L" \t");
  text.remove_prefix(first == std::wstring_view::npos ? text.size() : first);
  if (!text.empty() && text[0] == L'-') text.remove_prefix(1);
  return StoreText(&in.Output, std::wstring(text));
}

// The trigonometric functions of value 1 in radians.
template <double (*kFunction)(double)>
ResultCode TransformTrig(TransformInput& in) {
  return in.Output.AssignFloat(kFunction(in.Number1()));
}

// ASin and ACos: "" outside -1 to 1.
template <double (*kFunction)(double)>
ResultCode TransformArc(TransformInput& in) {
  const double value = in.Number1();
  if (value < -1.0 || value > 1.0) return Empty(in);
  return in.Output.AssignFloat(kFunction(value));
}

// Wrappers with one fixed signature for the templates above.
double Sine(double x) { return std::sin(x); }
double Cosine(double x) { return std::cos(x); }
double Tangent(double x) { return std::tan(x); }
double ArcSine(double x) { return std::asin(x); }
double ArcCosine(double x) { return std::acos(x); }
double ArcTangent(double x) { return std::atan(x); }

// BitAnd, BitOr, BitXOr of two 64-bit integers.
ResultCode TransformBitAnd(TransformInput& in) { return in.Output.AssignInteger(in.Integer1() & in.Integer2()); }
ResultCode TransformBitOr(TransformInput& in) { return in.Output.AssignInteger(in.Integer1() | in.Integer2()); }
ResultCode TransformBitXOr(TransformInput& in) { return in.Output.AssignInteger(in.Integer1() ^ in.Integer2()); }

// BitNot: a 32-bit complement for values that fit in 32 unsigned bits,
// else the 64-bit one.
ResultCode TransformBitNot(TransformInput& in) {
  const uint64_t value = static_cast<uint64_t>(in.Integer1());
  const uint64_t complement = value <= kLow32Bits ? (~value & kLow32Bits) : ~value;
  return in.Output.AssignInteger(static_cast<int64_t>(complement));
}

// BitShiftLeft and BitShiftRight (arithmetic) by value 2 modulo 64.
ResultCode TransformShiftLeft(TransformInput& in) {
  const int64_t count = ((in.Integer2() % kShiftModulus) + kShiftModulus) % kShiftModulus;
  return in.Output.AssignInteger(static_cast<int64_t>(static_cast<uint64_t>(in.Integer1()) << count));
}
ResultCode TransformShiftRight(TransformInput& in) {
  const int64_t count = ((in.Integer2() % kShiftModulus) + kShiftModulus) % kShiftModulus;
  return in.Output.AssignInteger(in.Integer1() >> count);
}

// Deref and HTML (transform_text.cpp).
ResultCode TransformDeref(TransformInput& in) { return DerefText(in.Line, in.Output, in.Value1); }
ResultCode TransformHtml(TransformInput& in) {
  const int64_t flags = in.Value2.empty() ? 1 : in.Integer2();
  return StoreText(&in.Output, HtmlText(in.Value1, flags));
}

struct TransformRow {
  const wchar_t* Name;
  TransformFunction Run;
};

const TransformRow kTransformRows[] = {
    {L"Asc", TransformAsc},
    {L"Chr", TransformChr},
    {L"Deref", TransformDeref},
    {L"HTML", TransformHtml},
    {L"Mod", TransformMod},
    {L"Pow", TransformPow},
    {L"Exp", TransformExp},
    {L"Sqrt", TransformSqrt},
    {L"Log", TransformLog},
    {L"Ln", TransformLn},
    {L"Round", TransformRound},
    {L"Ceil", TransformCeilFloor<true>},
    {L"Floor", TransformCeilFloor<false>},
    {L"Abs", TransformAbs},
    {L"Sin", TransformTrig<Sine>},
    {L"Cos", TransformTrig<Cosine>},
    {L"Tan", TransformTrig<Tangent>},
    {L"ASin", TransformArc<ArcSine>},
    {L"ACos", TransformArc<ArcCosine>},
    {L"ATan", TransformTrig<ArcTangent>},
    {L"BitAnd", TransformBitAnd},
    {L"BitOr", TransformBitOr},
    {L"BitXOr", TransformBitXOr},
    {L"BitNot", TransformBitNot},
    {L"BitShiftLeft", TransformShiftLeft},
    {L"BitShiftRight", TransformShiftRight},
};

}  // namespace

// Transform, OutputVar, SubCommand, Value1 [, Value2].
ResultCode CmdTransform(ScriptLine& line, CommandArgs& args) {
  Variable* output = args.Var[kArgOutput];
  if (!output) return ResultCode::Ok;
  const std::wstring_view subCommand = args[kArgSubCommand];
  for (const TransformRow& row : kTransformRows) {
    if (!EqualsNoCase(subCommand, row.Name)) continue;
    TransformInput in{line, *output, std::wstring(ArgText(args, kArgValue1)), std::wstring(ArgText(args, kArgValue2))};
    return row.Run(in);
  }
  return output->Assign();
}
