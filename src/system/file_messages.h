// The run-time messages of the file commands and file objects.
#pragma once

namespace file_msg {
inline constexpr wchar_t OutOfMemory[] = L"Out of memory.";
inline constexpr wchar_t FailedToOpen[] = L"Failed to open file.";
inline constexpr wchar_t Param2Invalid[] = L"Parameter #2 invalid.";
inline constexpr wchar_t Param3Invalid[] = L"Parameter #3 invalid.";
}  // namespace file_msg
