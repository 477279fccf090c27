// The run-time messages of the text subsystem (string functions, Format and
// the legacy text commands), kept together so that every command reports the
// same text for the same fault.
#pragma once

namespace text_msg {
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t MemoryLimitReached[] = L"Memory limit reached (see #MaxMem in the help file).";
}  // namespace text_msg
