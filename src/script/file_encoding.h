// Encoding names: the one table through which FileEncoding, FileAppend,
// FileOpen and file objects turn a name into a code-page value, and the way
// back for A_FileEncoding.
//
// A code-page value keeps the code page in its low 31 bits; bit 31 asks that
// a new file gets no byte-order mark. Code page 0 is the system ANSI code
// page. Every value ParseEncodingName produces has a name that parses back
// to it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint32_t kCodePageNoBom = 0x80000000u;
inline constexpr uint32_t kCodePageMask = 0x7FFFFFFFu;
inline constexpr uint32_t kCodePageUtf8 = 65001;
inline constexpr uint32_t kCodePageUtf16 = 1200;

// Parses an encoding name, ignoring case; false (codePage untouched) when
// the name is not one.
bool ParseEncodingName(std::wstring_view name, uint32_t& codePage);

// The name of a code-page value as A_FileEncoding shows it.
std::wstring EncodingNameOf(uint32_t codePage);

// The TextStream flag that puts a byte-order mark at the start of a new file
// written in this code-page value; 0 when it gets none.
uint32_t ByteOrderMarkFlag(uint32_t codePage);
