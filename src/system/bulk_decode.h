// Decoding a whole file's bytes into UTF-16 text in one pass.
//
// Plain ASCII is widened sixteen bytes at a time; only the runs holding
// other bytes go through the system's converter, in pieces that end after
// a run of ASCII, so the text reads the same as one conversion of the whole
// would give. The bytes may lie inside the output's own room
// (see DecodeBytes), which spares a large read a second buffer of its size.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes count bytes in codePage (any but UTF-16) into out, which has room
// for count units. The bytes lie outside out's room or anywhere in it at or
// after byte offset count, as when they fill the room's end. Returns the
// units made, or -1 when the code page cannot be decoded (GetLastError
// tells why).
ptrdiff_t DecodeBytes(wchar_t* out, const uint8_t* in, size_t count, uint32_t codePage);
