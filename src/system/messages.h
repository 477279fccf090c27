// The run-time messages of the system commands (files, registry, processes),
// kept together so that every command reports the same text for the same fault.
#pragma once

namespace system_msg {
inline constexpr wchar_t Param1Invalid[] = L"Parameter #1 invalid.";
// Launching programs.
inline constexpr wchar_t RunAsNoVerbs[] = L"System verbs unsupported with RunAs.";
inline constexpr wchar_t StringTooLong[] = L"String too long.";
inline constexpr wchar_t RunAsNoAdvapi[] = L"RunAs: Missing advapi32.dll.";
inline constexpr wchar_t RunAsNoLogonFunction[] = L"CreateProcessWithLogonW.";
inline constexpr wchar_t LaunchError[] = L"Failed attempt to launch program or document:";
inline constexpr wchar_t LaunchErrorRunAs[] = L"Launch Error (possibly related to RunAs):";
}  // namespace system_msg
