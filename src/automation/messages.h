// The run-time messages of the automation commands (files, windows, processes),
// kept together so that every command reports the same text for the same fault.
#pragma once

namespace automation_msg {
inline constexpr wchar_t Param1Invalid[] = L"Parameter #1 invalid.";
}  // namespace automation_msg
