// Fixed texts of the regular-expression, Sort and FormatTime code.
#pragma once

namespace regex_msg {
// Compile failures: code, offset in the pattern proper, the library's text.
inline constexpr wchar_t CompileError[] = L"Compile error %d at offset %d: %s";
// Longest compile-error text (characters, terminator included).
inline constexpr size_t kCompileErrorChars = 128;
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t MatchWhat[] = L"RegExMatch";
inline constexpr wchar_t ReplaceWhat[] = L"RegExReplace";
}  // namespace regex_msg
