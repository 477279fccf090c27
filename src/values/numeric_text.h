// Numeric text: the one classifier that decides whether a text is a number,
// the conversions between text and the two binary number kinds, the truth
// rule, number-to-text formatting and the variable-name rules.
//
// Invariants: nothing here allocates; every routine takes its text
// zero-terminated (or as a view where the name says so) and writes at most the
// buffer it is given; blanks are only spaces and tabs; hexadecimal text is
// "0x" or "0X" followed by at least one hexadecimal digit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result_code.h"

// Fixed message texts of variables and values.
namespace msg {
inline constexpr wchar_t VarNameTooLong[] = L"Variable name too long.";
inline constexpr wchar_t FuncNameTooLong[] = L"Function name too long.";
// The name follows, at most 300 characters of it, then a closing quote.
inline constexpr wchar_t VarNameIllegalChar[] = L"The following variable name contains an illegal character:\n\"";
inline constexpr wchar_t FuncNameIllegalChar[] = L"The following function name contains an illegal character:\n\"";
inline constexpr size_t kIllegalNameShown = 300;
inline constexpr wchar_t MemoryLimitReached[] = L"Memory limit reached (see #MaxMem in the help file).";
inline constexpr wchar_t InvalidValue[] = L"Invalid value.";
inline constexpr wchar_t AnObject[] = L"An object.";
inline constexpr wchar_t IllegalParameterName[] = L"Illegal parameter name.";
inline constexpr wchar_t EnvVarAccessed[] = L"An environment variable is being accessed; see #NoEnv.";
}  // namespace msg

// What kind of number a text is, as the classifier sees it.
enum NumericKind { PURE_NOT_NUMERIC = 0, PURE_INTEGER = 1, PURE_FLOAT = 2 };

// Longest variable or function name, in characters.
inline constexpr size_t kMaxVarNameLength = 253;
// Characters an integer's text can need: "-0x8000000000000000" or
// "-9223372036854775808", plus the terminator, with room to spare.
inline constexpr size_t kIntegerTextChars = 24;
// Characters a float's text may take where a fixed buffer is used (expansion
// buffers, tokens): 255 plus the terminator.
inline constexpr size_t kFloatTextChars = 256;
// Characters of the widest float text this module ever produces: "%f" of the
// largest double (309 digits) with the largest precision SetFormat allows,
// a sign and the terminator. Wider requests (huge widths) are cut here.
inline constexpr size_t kFloatTextMaxChars = 640;

// Classifies a text. allowNegative accepts a leading "-"; allowAllBlank makes
// an empty or all-blank text an integer; allowFloat accepts a decimal point;
// allowImpure accepts a numeric prefix followed by anything.
NumericKind IsNumeric(const wchar_t* text, bool allowNegative = true, bool allowAllBlank = false,
                      bool allowFloat = true, bool allowImpure = false);

// The integer a text starts with: base 16 after "0x", else base 10 reading
// the leading digits; saturates at the 64-bit limits.
int64_t TextToInteger(const wchar_t* text);
// The double a text starts with: hexadecimal through TextToInteger, else the
// longest leading decimal floating-point number; 0.0 when there is none.
double TextToDouble(const wchar_t* text);
// A double as an integer: truncation toward zero, saturating at the 64-bit
// limits; NaN gives 0.
int64_t DoubleToInteger(double value);

// The truth rule for text: empty, and texts whose number is zero, are false.
bool TextIsTrue(const wchar_t* text);

// Writes an integer with an integer format ('D' decimal, 'h' or 'H'
// hexadecimal with "0x") into a buffer of kIntegerTextChars; returns the length.
size_t IntegerToText(int64_t value, wchar_t* buffer, wchar_t format = 'D');
// Writes a double with a printf-style float format into a buffer of
// bufferChars (at least 1); the text is cut to fit. Returns the length
// written. A format that IsValidFloatFormat rejects writes the empty text.
size_t FloatToText(double value, wchar_t* buffer, size_t bufferChars, const wchar_t* format);
// Whether a float format is one that can safely format a double:
// "%", flags, width, optional "." and precision, optional "l", and one of
// the conversions a A e E f F g G, nothing else.
bool IsValidFloatFormat(const wchar_t* format);

// Whether a name has a valid length and only valid characters.
bool IsValidVariableName(std::wstring_view name);
// Checks a variable (or function) name and reports the first fault as a
// load error; Fail after a report.
ResultCode ValidateVariableName(std::wstring_view name, bool isFunction = false);
