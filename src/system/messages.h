// The run-time messages of the system commands (files, registry, processes),
// kept together so that every command reports the same text for the same fault.
#pragma once

namespace system_msg {
inline constexpr wchar_t Param1Invalid[] = L"Parameter #1 invalid.";
}  // namespace system_msg
