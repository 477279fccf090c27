// RegExMatchObject: the "O" form of a match, an object whose members give
// each group's position, length, text and name, the group count and the
// last (*MARK) name.
#pragma once
#include <pcre2.h>

#include <string_view>

#include "regex/regex_state.h"

class IObject;

// A new match object (one reference, the caller's) for a match whose first
// `pairs` output pairs were set; null when memory runs out.
IObject* CreateMatchObject(const CachedPattern& entry, std::wstring_view subject, const PCRE2_SIZE* ovector, int pairs,
                           const wchar_t* mark);
