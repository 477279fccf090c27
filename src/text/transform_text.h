// The text sub-commands of Transform: Deref (escape sequences and %name%
// references expanded at run time) and HTML (text made safe for a page).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result_code.h"

class Variable;
struct ScriptLine;

// Expands escapes and references in `text` into `output`. A reference to the
// output itself inserts nothing; a name that is empty or too long is
// removed with its deref characters; an unclosed deref character is dropped.
ResultCode DerefText(ScriptLine& line, Variable& output, std::wstring_view text);

// Flags of HtmlText.
inline constexpr int64_t kHtmlNamedEntities = 1;    // names for 160-255 and the HTML 4 extras
inline constexpr int64_t kHtmlNumericEntities = 2;  // "&#n;" for the other characters of 128 and above

// The text with line feeds as "<br>" plus the line feed, the four markup
// characters as entities and the characters of 128 and above as `flags` ask.
std::wstring HtmlText(std::wstring_view text, int64_t flags);
